#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <vector>

#include "../support/temp_home.h"
#include "base/bytes.h"
#include "clouds/cloud_chooser.h"
#include "clouds/cloud_convert.h"
#include "local_server.h"
#include "platform/files.h"
#include "render/render.h"
#include "synth/pyramid.h"
#include "test_images.h"

namespace tv {
namespace {

CatalogueEntry listEntry(const std::string& url, const char* name, float size) {
    CatalogueEntry e;
    e.valid = true;
    std::strncpy(e.url, url.c_str(), sizeof e.url - 1);
    std::strcpy(e.name, name);
    e.discLeft = 2;
    e.discWidth = size - 4.5f;
    e.discTop = 2;
    e.discHeight = size - 4;
    e.overlayA = 3;
    e.flags = kPaintOutOverlays;
    return e;
}

CloudMap convertedGif(int index, int w, int h) {
    const std::vector<uint8_t> gif = test::encodeGif(test::earthDisc(w, h, 3, 2, std::min(w, h) - 5, 9));
    CloudMap map;
    const CatalogueEntry e = listEntry("http://127.0.0.1/x.gif", "x", float(w));
    EXPECT_EQ(convertImageData(map, index, e, gif.data(), gif.size(), CloudImageKind::Gif), kConvertOk);
    return map;
}

size_t fileSize(const std::string& path) { return size_t(std::filesystem::file_size(path)); }

class CloudCacheTest : public test::TempHome {
protected:
    void SetUp() override {
        TempHome::SetUp();
        params = defaultRecord();
        params.lastCloudImage = -1;
    }
    ParamRecord params;
};

TEST_F(CloudCacheTest, AMapRoundTripsThroughItsCacheFileAndOnlyForItsIndex) {
    const CloudMap map = convertedGif(3, 700, 530);
    ASSERT_EQ(saveToCache(map, 3), kCacheOk);
    const std::string path = cacheFilePath(3);
    EXPECT_EQ(platform::fileNameOf(path), "Terravane cached clouds 03");
    size_t levels = 0;
    for (int l = 0; l <= map.pyramid.topLevel; ++l)
        levels += size_t(map.pyramid.levelWidth[l]) * size_t(map.pyramid.levelHeight[l]);
    EXPECT_EQ(fileSize(path), 36 + levels);
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(platform::readFile(path, bytes));
    ByteReader r(bytes);
    uint32_t magic;
    int32_t version, w, h, left, discWidth, top, discHeight, index;
    ASSERT_TRUE(r.u32(magic) && r.i32(version) && r.i32(w) && r.i32(h) && r.i32(left) && r.i32(discWidth) &&
                r.i32(top) && r.i32(discHeight) && r.i32(index));
    EXPECT_TRUE(magic == kCloudCacheMagic && version == 1 && w == 700 && h == 530 && index == 3);
    EXPECT_EQ(discWidth, 695);  // 695.5 truncated

    CloudMap back;
    ASSERT_EQ(loadFromCache(back, &params, 3), kCacheOk);
    EXPECT_TRUE(back.loaded && back.index == 3 && back.pyramid.state == 2);
    EXPECT_FLOAT_EQ(back.scaleU, 695.0f / 700);
    EXPECT_TRUE(params.lastCloudImage == 3 && params.downloadedClouds == 3 && params.cloudCacheLoaded == 1);
    ASSERT_EQ(back.pyramid.topLevel, map.pyramid.topLevel);
    for (int l = 0; l <= map.pyramid.topLevel; ++l)
        for (int y = 0; y < map.pyramid.levelHeight[l]; y += 7)
            for (int x = 0; x < map.pyramid.levelWidth[l]; x += 5)
                ASSERT_EQ(getPixel(back.pyramid, l, x, y), getPixel(map.pyramid, l, x, y)) << l << " " << x << "," << y;
    // A smaller map written over it leaves no tail of the old one.
    ASSERT_EQ(saveToCache(convertedGif(3, 40, 30), 3), kCacheOk);
    EXPECT_LT(fileSize(path), 40u * 30 * 2);
    // Only a map converted or loaded for the index is saved under it.
    CloudMap other = convertedGif(2, 50, 40);
    EXPECT_EQ(saveToCache(other, 5), kCacheNoMap);
    EXPECT_FALSE(platform::fileExists(cacheFilePath(5)));
    other.loaded = false;
    EXPECT_EQ(saveToCache(other, 2), kCacheNoMap);
}

TEST_F(CloudCacheTest, BrokenCacheFilesLoadNothing) {
    const CloudMap map = convertedGif(4, 60, 50);
    std::vector<uint8_t> good;
    ASSERT_TRUE(encodeCloudCache(map, good));
    CloudMap out;
    // Every cut, a foreign magic, impossible sizes, and a file stored for another index.
    for (size_t n : {size_t(0), size_t(35), size_t(36), size_t(36 + 60 * 50), good.size() - 1}) {
        EXPECT_EQ(decodeCloudCache(good.data(), n, 4, out), kCacheReadError) << n;
        EXPECT_FALSE(out.loaded);
    }
    std::vector<uint8_t> bad = good;
    bad[0] = 0;
    EXPECT_EQ(decodeCloudCache(bad.data(), bad.size(), 4, out), kCacheReadError);
    for (uint8_t at : {8, 12, 16, 24}) {  // width, height, disc left, disc top
        bad = good;
        bad[at] = 0x80;
        EXPECT_EQ(decodeCloudCache(bad.data(), bad.size(), 4, out), kCacheReadError) << int(at);
    }
    EXPECT_EQ(decodeCloudCache(good.data(), good.size(), 5, out), kCacheReadError);
    // Bytes after the last level are tolerated.
    bad = good;
    bad.resize(bad.size() + 100, 9);
    EXPECT_EQ(decodeCloudCache(bad.data(), bad.size(), 4, out), kCacheOk);

    // A broken file costs the map in memory its loaded flag, and the render uses none.
    CloudMap inMemory = convertedGif(1, 30, 20);
    ASSERT_EQ(platform::writeFileAtomic(cacheFilePath(4), good.data(), good.size() - 1), platform::kFileOk);
    EXPECT_EQ(loadFromCache(inMemory, &params, 4), kCacheReadError);
    EXPECT_FALSE(inMemory.loaded);
    EXPECT_EQ(params.lastCloudImage, -1);
    EXPECT_EQ(loadFromCache(inMemory, &params, 6), kCacheOpenError);
}

TEST_F(CloudCacheTest, TheRenderSetUpLoadsTheChosenCache) {
    ASSERT_EQ(saveToCache(convertedGif(7, 64, 64), 7), kCacheOk);
    CloudMap map;
    params.realClouds = 0;
    params.downloadedClouds = 7;
    EXPECT_FALSE(loadCloudMapForRender(map, params));
    EXPECT_FALSE(map.loaded);
    params.realClouds = 1;
    ASSERT_TRUE(loadCloudMapForRender(map, params));
    EXPECT_EQ(map.index, 7);
    EXPECT_EQ(params.lastCloudImage, 7);
    // `last cloud image` wins over `downloaded clouds`; without a cache file no map is used.
    params.downloadedClouds = 7;
    params.lastCloudImage = 8;
    EXPECT_FALSE(loadCloudMapForRender(map, params));
    EXPECT_FALSE(map.loaded);
}

TEST_F(CloudCacheTest, ACacheFileOfEarlierBuildsRendersNorthUp) {
    // A disc of thin cloud with a thick patch in its north-west, cached in the
    // layout every build has written (the picture as taken, rows top down).
    CloudMap disc;
    ASSERT_TRUE(createPyramid(disc.pyramid, 64, 64, kFormatGrey8, kWrapClamp));
    for (int32_t y = 0; y < 64; ++y)
        for (int32_t x = 0; x < 64; ++x) setPixel(disc.pyramid, 0, x, y, 0, x < 24 && y < 24 ? 250.0f : 20.0f);
    buildChain(disc.pyramid);
    disc.width = disc.height = 64;
    disc.discWidth = disc.discHeight = 64;
    normaliseDisc(disc);
    disc.loaded = true;
    disc.index = 5;
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(encodeCloudCache(disc, bytes));
    ASSERT_EQ(platform::writeFileAtomic(cacheFilePath(5), bytes.data(), bytes.size()), platform::kFileOk);
    ParamRecord r = defaultRecord();
    r.realClouds = 1;
    r.downloadedClouds = 5;
    r.lightX = r.lightY = 0.0f;
    r.lightZ = 1.0f;
    StateBlock state{};
    Engine engine;
    initEngine(engine, &r, &state);
    ExportImage image;
    ASSERT_EQ(renderToExportImage(engine, image, 64, 64, 1), 0);
    auto green = [&](int32_t x, int32_t y) { return image.pixels[(size_t(y) * 64 + size_t(x)) * 4 + 1]; };
    EXPECT_GT(green(24, 24), green(40, 40) + 40);  // the patch in the upper left, as in the picture
}

// The fetch and the chooser against a list whose entries live on a local server.
class FetchTest : public CloudCacheTest {
protected:
    void SetUp() override {
        CloudCacheTest::SetUp();
        gif = test::encodeGif(test::earthDisc(90, 80, 3, 2, 75, 10));
        jpeg = test::encodeJpeg(96, 72, test::earthDiscRgb(96, 72, 10, 2, 68));
        server.answer("/ir.gif", {.body = test::asText(gif)});
        server.answer("/vis.jpeg", {.body = test::asText(jpeg)});
        server.answer("/wrong.gif", {.body = "<html>this is not an image</html>"});
        CatalogueEntry entries[kListEntryCount];
        entries[0] = listEntry(server.url("/ir.gif"), "infrared", 90);
        entries[1] = listEntry(server.url("/vis.jpeg"), "visible", 96);
        entries[2] = listEntry(server.url("/gone.gif"), "gone", 90);
        entries[3] = listEntry(server.url("/wrong.gif"), "wrong", 90);
        entries[4] = listEntry(server.url("/photo.png"), "neither", 90);
        ASSERT_EQ(writeUrlList(entries, 11), kCatalogueOk);
        hooks.netrcPath = "";
        context.catalogue = &catalogue;
        context.hooks = &hooks;
    }
    size_t imageRequests() {
        size_t n = 0;
        for (const auto& r : server.requests()) n += r.path != "/dl/terravane-data-v3.dat";
        return n;
    }
    test::LocalServer server;
    std::vector<uint8_t> gif, jpeg;
    CloudCatalogue catalogue;
    DownloadHooks hooks;
    CloudFetchContext context;
    CloudMap map;
};

TEST_F(FetchTest, DownloadConvertCacheAndFailures) {
    ASSERT_EQ(fetchClouds(context, map, &params, 0, false), 0) << context.detail;
    EXPECT_TRUE(map.loaded && map.index == 0 && map.width == 90);
    EXPECT_TRUE(platform::fileExists(home() + "Terravane clouds.gif") && platform::fileExists(cacheFilePath(0)));
    EXPECT_TRUE(params.lastCloudImage == 0 && params.downloadedClouds == 0);
    ASSERT_EQ(fetchClouds(context, map, &params, 1, true), 0) << context.detail;  // cache first, but none: download
    EXPECT_TRUE(map.index == 1 && map.width == 96 && platform::fileExists(home() + "Terravane clouds.jpg"));
    // Cache first with a cache: no request.
    const size_t before = imageRequests();
    ASSERT_EQ(fetchClouds(context, map, &params, 0, true), 0);
    EXPECT_EQ(map.index, 0);
    EXPECT_EQ(imageRequests(), before);

    // A failed download keeps the previous map and caches nothing, with or
    // without "Try cache first".
    for (bool cacheFirst : {false, true}) {
        EXPECT_EQ(fetchClouds(context, map, &params, 2, cacheFirst), kDownloadCannotOpen);
        EXPECT_NE(context.detail.find("404"), std::string::npos) << context.detail;
        EXPECT_TRUE(map.loaded && map.index == 0);
        EXPECT_FALSE(platform::fileExists(cacheFilePath(2)));
        EXPECT_TRUE(params.lastCloudImage == 0 && params.downloadedClouds == 2);
    }
    // A body that is not an image: no map, no cache. Neither a GIF nor a JPEG
    // address, and an empty slot.
    EXPECT_EQ(fetchClouds(context, map, &params, 3, false), kConvertBadGif);
    EXPECT_FALSE(map.loaded);
    EXPECT_FALSE(platform::fileExists(cacheFilePath(3)));
    EXPECT_EQ(fetchClouds(context, map, &params, 4, false), kConvertNoKind);
    EXPECT_EQ(fetchClouds(context, map, &params, 5, false), kEntryMissing);
}

TEST_F(FetchTest, TheChooserUpdatesTheListAndFetchesTheSelection) {
    params.downloadedClouds = 9;  // not in this list
    CloudChooser chooser;
    ASSERT_TRUE(openChooser(chooser, context, params));
    EXPECT_FALSE(openChooser(chooser, context, params));
    EXPECT_TRUE(chooser.selected == 0 && params.downloadedClouds == 0 && chooser.versionLabel == "v. 11");
    for (int i = 0; i < kListEntryCount; ++i) EXPECT_EQ(chooser.available[i], i <= 4) << i;
    chooserSelect(chooser, 7);  // disabled
    EXPECT_EQ(chooser.selected, 0);
    // "Update this list": a list server that sends the built-in table, its
    // image server being ours; then one that sends something else, or more
    // than a list file can hold, which leaves the list as it was.
    ::setenv("TERRAVANE_IMAGE_SERVER_1", server.base().c_str(), 1);
    ASSERT_EQ(writeBuiltInList(), kCatalogueOk);
    std::vector<uint8_t> builtIn, now;
    ASSERT_TRUE(platform::readFile(urlListPath(), builtIn));
    server.answer("/dl/terravane-data-v3.dat", {.body = test::asText(builtIn)});
    ::setenv("TERRAVANE_LIST_SERVER", server.base().c_str(), 1);
    ChooserOutcome o = chooserCommand(chooser, ChooserCommand::UpdateList, context, map, params);
    EXPECT_TRUE(o.status == 0 && o.closed == kChooserStaysOpen && chooser.open) << context.detail;
    EXPECT_EQ(chooser.names[9], "METEOSAT-7 infrared 4 km");
    std::string oversized = test::asText(builtIn);
    oversized.resize(oversized.size() + 10000, '\0');
    for (const std::string& body : {std::string("<html>maintenance</html>"), oversized}) {
        server.answer("/dl/terravane-data-v3.dat", {.body = body});
        EXPECT_EQ(chooserCommand(chooser, ChooserCommand::UpdateList, context, map, params).status, kListReadError);
        ASSERT_TRUE(platform::readFile(urlListPath(), now));
        EXPECT_EQ(now, builtIn);
    }
    // OK fetches the selection, entry 1 of the built-in table.
    server.answer("/data/geo/west/latest_west_wv_fd.gif", {.body = test::asText(gif)});
    chooserSelect(chooser, 1);
    o = chooserCommand(chooser, ChooserCommand::Ok, context, map, params);
    EXPECT_TRUE(o.closed == kChooserClosedOk && o.accepted && o.status == 0) << context.detail;
    EXPECT_TRUE(map.loaded && map.index == 1 && platform::fileExists(cacheFilePath(1)));
}

}  // namespace
}  // namespace tv
