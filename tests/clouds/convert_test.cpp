#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "../support/temp_home.h"
#include "clouds/cloud_convert.h"
#include "clouds/gif_decoder.h"
#include "synth/pyramid.h"
#include "test_images.h"

namespace tv {
namespace {

CatalogueEntry gifEntry(float left, float width, float top, float height) {
    CatalogueEntry e;
    std::strcpy(e.url, "http://127.0.0.1/latest_fd.GIF");
    e.discLeft = left;
    e.discWidth = width;
    e.discTop = top;
    e.discHeight = height;
    e.overlayA = 3;
    e.flags = kPaintOutOverlays;
    return e;
}

uint8_t level0(const CloudMap& map, int x, int y) { return uint8_t(getPixel(map.pyramid, 0, x, y)); }

TEST(CloudLevels, BlackAndWhiteLevelsStretchTheGreysAndNamesFollowTheAddress) {
    uint8_t t[256];
    cloudLevels(70.0f / 255.0f, 0.9f, t);
    EXPECT_TRUE(t[70] == 0 && t[71] > 0 && t[229] < 255 && t[230] == 255);
    for (int g = 1; g < 256; ++g) EXPECT_GE(t[g], t[g - 1]);
    cloudLevels(0.6f, 1.0f, t);  // both image kinds divide by the level range
    EXPECT_TRUE(t[255] == 255 && t[153] == 0);
    cloudLevels(0.5f, 0.5f, t);  // no range: taken as 1
    EXPECT_EQ(t[255], 127);
    EXPECT_EQ(imageKindOfUrl("http://a/b/latest.GIF"), CloudImageKind::Gif);
    EXPECT_EQ(imageKindOfUrl("http://a/b.jpg?x"), CloudImageKind::Jpeg);
    EXPECT_EQ(imageKindOfUrl("http://a/b.gif?.jpg"), CloudImageKind::Gif);
    EXPECT_EQ(imageKindOfUrl("http://a/b.png"), CloudImageKind::None);
    EXPECT_EQ(downloadedImageName("http://a/b.jpeg"), "Terravane clouds.jpg");
    EXPECT_EQ(downloadedImageName("http://a/b.png"), "Terravane clouds");
}

// Rows 0..6 are overlay (index 3, yellow: full cloud if left alone); rows 7..11 grey 100.
GifImage overlayRows() {
    GifImage g;
    g.width = 12;
    g.height = 12;
    g.pixels.assign(144, 100);
    std::fill(g.pixels.begin(), g.pixels.begin() + 7 * 12, 3);
    return g;
}

TEST(PaintOut, OverlaysTakeTheirNeighboursInAtMostFourPasses) {
    GifImage g = overlayRows();
    std::vector<uint8_t> cloud(144);
    for (size_t i = 0; i < cloud.size(); ++i) cloud[i] = g.pixels[i] == 3 ? 255 : 100;
    // The box starts at row 1; its last row and column are 12 + 2 - 2 = 12, cut to the image.
    const int unresolved = paintOutOverlays(g, cloud, 3, -1, DiscBox{0, 14, 1, 13});
    // Each pass reaches one row further up: rows 6, 5, 4, 3 take the cloud
    // (and index 0); rows 1 and 2 keep their value; row 0 lies outside the box.
    EXPECT_EQ(unresolved, 2 * 12);
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 12; ++x)
            ASSERT_TRUE(y <= 2 ? cloud[size_t(y) * 12 + x] == 255 && g.pixels[size_t(y) * 12 + x] == 3
                               : cloud[size_t(y) * 12 + x] == 100 && g.pixels[size_t(y) * 12 + x] == (y < 7 ? 0 : 100))
                << x << "," << y;
}

TEST(PaintOut, MeanOfTheNonOverlayNeighbours) {
    GifImage g;
    g.width = 5;
    g.height = 5;
    g.pixels.assign(25, 7);
    std::vector<uint8_t> cloud(25, 0);
    for (int i = 0; i < 25; ++i) cloud[i] = uint8_t(10 * i);
    g.pixels[12] = 0;  // centre: overlay colour A = 0
    g.pixels[13] = 1;  // right of it: overlay colour B = 1
    const int unresolved = paintOutOverlays(g, cloud, 0, 1, DiscBox{0, 6, 0, 6});
    EXPECT_EQ(unresolved, 0);
    // Centre: neighbours 6, 7, 8, 11, 16, 17, 18 (13 is overlay when the centre is done).
    EXPECT_EQ(cloud[12], (60 + 70 + 80 + 110 + 160 + 170 + 180) / 7);
    EXPECT_EQ(g.pixels[12], 2);  // 0 and 1 are overlay colours, so 2 replaces them
    // Then 13 sees the resolved centre among its neighbours.
    EXPECT_EQ(cloud[13], (70 + 80 + 90 + cloud[12] + 140 + 170 + 180 + 190) / 8);
}

TEST(FindDisc, OutermostColumnsAndRowsWithFiveDarkPixels) {
    const int w = 40, h = 30;
    std::vector<uint8_t> cloud(size_t(w) * h, 255);
    for (int y = 5; y <= 24; ++y)
        for (int x = 10; x <= 29; ++x) cloud[size_t(y) * w + x] = 0;
    for (int y = 0; y < 4; ++y) cloud[size_t(y) * w + 3] = 0;      // four dark pixels: not enough
    for (int x = 33; x < 37; ++x) cloud[size_t(27) * w + x] = 0;  // likewise in a row
    DiscBox box{1, 2, 3, 4};
    findDisc(cloud, w, h, 128, box);
    EXPECT_EQ(box.left, 10);
    EXPECT_EQ(box.width, 19);
    EXPECT_EQ(box.top, 5);
    EXPECT_EQ(box.height, 19);

    std::vector<uint8_t> bright(size_t(w) * h, 200);
    DiscBox kept{1, 2, 3, 4};
    findDisc(bright, w, h, 128, kept);
    EXPECT_EQ(kept.left, 1);
    EXPECT_EQ(kept.width, 2);
    EXPECT_EQ(kept.top, 3);
    EXPECT_EQ(kept.height, 4);
}

class ConvertTest : public test::TempHome {};

TEST_F(ConvertTest, AGifDiscBecomesACloudMapWithoutItsGrid) {
    const test::IndexedPicture picture = test::earthDisc(160, 140, 12, 6, 126, 16);
    const std::vector<uint8_t> file = test::encodeGif(picture);
    const CatalogueEntry entry = gifEntry(12, 126, 6, 126);
    CloudMap map;
    ASSERT_EQ(convertImageData(map, 2, entry, file.data(), file.size(), CloudImageKind::Gif), kConvertOk);
    ASSERT_TRUE(map.loaded && map.index == 2 && map.width == 160 && map.height == 140 && map.pyramid.state == 2);
    EXPECT_FLOAT_EQ(map.offsetU, 12.0f / 160);
    EXPECT_FLOAT_EQ(map.scaleV, 126.0f / 140);
    int gridPixels = 0, outside = 0;
    for (int y = 0; y < 140; ++y)
        for (int x = 0; x < 160; ++x) {
            const int index = picture.pixels[size_t(y) * 160 + x];
            if (index != 3) {
                EXPECT_EQ(level0(map, x, y), index) << x << "," << y;  // grey g, black 0, white 1
                continue;
            }
            // The passes stop one short of the box's last column and row.
            if (x > 12 + 126 - 2 || y > 6 + 126 - 2) {
                EXPECT_EQ(level0(map, x, y), 255);
                ++outside;
                continue;
            }
            ++gridPixels;
            // A painted-out grid pixel lies within the range of the cloud around it
            // (a 7 x 7 window: earlier painted pixels feed later ones).
            int lo = 255, hi = 0;
            for (int dy = -3; dy <= 3; ++dy)
                for (int dx = -3; dx <= 3; ++dx) {
                    const int n = picture.pixels[size_t(y + dy) * 160 + x + dx];
                    if (n != 3) lo = std::min(lo, n), hi = std::max(hi, n);
                }
            if (lo <= hi) {
                EXPECT_GE(level0(map, x, y), lo) << x << "," << y;
                EXPECT_LE(level0(map, x, y), hi) << x << "," << y;
            }
        }
    EXPECT_GT(gridPixels, 500);
    EXPECT_GT(outside, 0);
}

TEST_F(ConvertTest, AJpegDividesByTheLevelRange) {
    const int w = 64, h = 48;
    std::vector<uint8_t> rgb(size_t(w) * h * 3, 255);
    for (int x = 0; x < w; ++x)
        for (int y = 24; y < h; ++y) std::memset(&rgb[(size_t(y) * w + x) * 3], 0, 3);
    const std::vector<uint8_t> jpeg = test::encodeJpeg(w, h, rgb);
    CatalogueEntry entry;
    std::strcpy(entry.url, "http://127.0.0.1/x.jpg");
    entry.blackLevel = 0.6f;
    entry.whiteLevel = 1.0f;
    entry.discLeft = 4;
    entry.discWidth = 56.5f;
    entry.discTop = 2;
    entry.discHeight = 44;
    entry.flags = kFindDisc | kPaintOutOverlays;  // not used for JPEG images
    CloudMap map;
    ASSERT_EQ(convertImageData(map, 7, entry, jpeg.data(), jpeg.size(), CloudImageKind::Jpeg), kConvertOk);
    ASSERT_TRUE(map.loaded);
    EXPECT_EQ(map.index, 7);
    EXPECT_EQ(map.width, w);
    EXPECT_EQ(map.discWidth, 56.5f);
    EXPECT_FLOAT_EQ(map.scaleU, 56.5f / w);
    // White has luminance (77 + 150 + 28) x 255 >> 8 = 254: (254/255 - 0.6) / 0.4 of full cloud.
    // (Multiplying by the range instead would give 40.)
    uint8_t t[256];
    cloudLevels(0.6f, 1.0f, t);
    EXPECT_EQ(level0(map, 10, 5), t[254]);
    EXPECT_GE(level0(map, 10, 5), 250);
    EXPECT_EQ(level0(map, 10, 40), 0);
}

TEST_F(ConvertTest, FailuresLeaveNoMapButAnUnknownKindLeavesAll) {
    const std::vector<uint8_t> gif = test::encodeGif(test::earthDisc(40, 30, 2, 2, 26, 0));
    const CatalogueEntry entry = gifEntry(2, 26, 2, 26);
    CloudMap map;
    ASSERT_EQ(convertImageData(map, 1, entry, gif.data(), gif.size(), CloudImageKind::Gif), kConvertOk);

    // An address naming neither kind: nothing is touched.
    CatalogueEntry png = entry;
    std::strcpy(png.url, "http://127.0.0.1/latest.png");
    EXPECT_EQ(convertDownloadedImage(map, 5, png), kConvertNoKind);
    EXPECT_TRUE(map.loaded && map.index == 1 && map.width == 40);

    std::vector<uint8_t> broken(gif.begin(), gif.begin() + long(gif.size() / 2));
    EXPECT_EQ(convertImageData(map, 1, entry, broken.data(), broken.size(), CloudImageKind::Gif), kConvertBadGif);
    EXPECT_FALSE(map.loaded);
    EXPECT_TRUE(map.pyramid.empty());

    ASSERT_EQ(convertImageData(map, 1, entry, gif.data(), gif.size(), CloudImageKind::Gif), kConvertOk);
    EXPECT_NE(convertImageData(map, 1, entry, gif.data(), gif.size(), CloudImageKind::Jpeg), kConvertOk);
    EXPECT_FALSE(map.loaded);

    // The downloaded file is missing.
    EXPECT_EQ(convertDownloadedImage(map, 1, entry), kConvertOpenError);
    EXPECT_FALSE(map.loaded);
}

}  // namespace
}  // namespace tv
