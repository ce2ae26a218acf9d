#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "../support/programs.h"
#include "../support/temp_home.h"
#include "clouds/jpeg_memory.h"
#include "export/catalogue.h"
#include "export/html_page.h"
#include "export/thumbnail_jpeg.h"
#include "persist/memory_dots.h"
#include "persist/settings_file.h"
#include "platform/files.h"

namespace tv::test {
namespace {

// Paints the whole thumbnail in the record's land colour and remembers what
// it was asked for.
struct FakeRenderer {
    std::vector<int32_t> planetSizes;
    int32_t failAfter = -1;
    static int32_t render(void* context, const ParamRecord& record, int32_t w, int32_t h, RgbImage& out) {
        auto* self = static_cast<FakeRenderer*>(context);
        if (int32_t(self->planetSizes.size()) == self->failAfter) return -128;
        self->planetSizes.push_back(record.planetSize);
        out = RgbImage(w, h);
        for (size_t i = 0; i < out.pixels.size(); i += 3) {
            out.pixels[i] = uint8_t(record.landColor.red >> 8);
            out.pixels[i + 1] = uint8_t(record.landColor.green >> 8);
            out.pixels[i + 2] = uint8_t(record.landColor.blue >> 8);
        }
        return 0;
    }
    ThumbnailRenderer renderer() { return {this, &FakeRenderer::render}; }
};

class CatalogueTest : public TempHome {
protected:
    void preset(const std::string& folder, const std::string& name, int32_t planetSize, uint8_t red) {
        ParamRecord r = defaultRecord();
        r.planetSize = planetSize;
        r.landColor.red = uint16_t(red << 8);
        std::filesystem::create_directories(path(folder));
        ASSERT_EQ(persist::writeSettingsFile(path(folder + "/" + name), r, nullptr), 0);
    }
};

TEST_F(CatalogueTest, PresetsPageShowsEveryReadablePresetOfTheFolder) {
    preset("My & Co", "Red Moon.q1q", 41, 200);
    preset("My & Co", "Blue.q1q", 42, 10);
    std::filesystem::create_directories(path("My & Co/folder.q1q"));
    {
        const std::string junk = "not a settings file";
        ASSERT_EQ(platform::writeFileAtomic(path("My & Co/broken.q1q"), junk.data(), junk.size()), 0);
        ASSERT_EQ(platform::writeFileAtomic(path("My & Co/notes.txt"), junk.data(), junk.size()), 0);
    }
    FakeRenderer fake;
    std::vector<int32_t> progress;
    CatalogueProgress onProgress{&progress, [](void* c, int32_t done, int32_t total) {
                                     static_cast<std::vector<int32_t>*>(c)->push_back(done * 100 + total);
                                 }};
    CatalogueReport report;
    ASSERT_EQ(writePresetsCatalogue(path("My & Co"), path("page.html"), fake.renderer(), onProgress, &report), 0);
    EXPECT_EQ(report.images, 2);
    EXPECT_EQ(report.skipped, 1);
    EXPECT_EQ(fake.planetSizes, (std::vector<int32_t>{42, 41}));  // in name order
    EXPECT_EQ(progress, (std::vector<int32_t>{103, 203, 303}));

    const std::string html = readText(path("page.html"));
    EXPECT_NE(html.find("Terravane presets from My &amp; Co"), std::string::npos);
    EXPECT_NE(html.find("<img src=\"web_images/Red%20Moon.jpg\""), std::string::npos);
    EXPECT_NE(html.find(">Red Moon</font>"), std::string::npos);
    EXPECT_EQ(html.find("broken"), std::string::npos);
    EXPECT_EQ(countOf(html, "<p></p>"), 3u);  // one row of five

    // The thumbnail: 88 x 88 in the preset's colour, with both metadata segments.
    const std::vector<uint8_t> jpeg = readBytes(path("web_images/Red Moon.jpg"));
    jpeg::DecodedImage decoded;
    ASSERT_EQ(jpeg::decodeRgb(jpeg.data(), jpeg.size(), decoded), jpeg::kOk);
    EXPECT_EQ(decoded.width, 88);
    EXPECT_EQ(decoded.height, 88);
    EXPECT_NEAR(decoded.pixels[0], 200, 3);
    const std::string bytes(jpeg.begin(), jpeg.end());
    EXPECT_NE(bytes.find("Photoshop 3.0"), std::string::npos);
    EXPECT_NE(bytes.find(std::string("Exif\0\0MM", 8)), std::string::npos);
}

TEST_F(CatalogueTest, EveryPresetGetsAPictureOfItsOwn) {
    // Names that differ after ".q1q", or only in letter case (one file on
    // some systems), would share a picture.
    preset("m", "Moon.q1q", 30, 200);
    preset("m", "moon.q1q", 31, 100);
    preset("m", "moon.q1q~", 32, 10);
    FakeRenderer fake;
    ASSERT_EQ(writePresetsCatalogue(path("m"), path("page.html"), fake.renderer(), {}), 0);
    const std::string html = readText(path("page.html"));
    const std::pair<const char*, int> pictures[] = {{"Moon", 200}, {"moon (2)", 100}, {"moon.q1q~", 10}};
    for (const auto& [name, red] : pictures) {
        EXPECT_NE(html.find("web_images/" + escapeFileName(name) + ".jpg\""), std::string::npos) << name;
        const std::vector<uint8_t> jpeg = readBytes(path(std::string("web_images/") + name + ".jpg"));
        jpeg::DecodedImage decoded;
        ASSERT_EQ(jpeg::decodeRgb(jpeg.data(), jpeg.size(), decoded), jpeg::kOk) << name;
        EXPECT_NEAR(decoded.pixels[0], red, 3) << name;
    }
    EXPECT_EQ(countOf(html, ">moon</font>"), 2u);  // the captions stay the presets' names
}

TEST_F(CatalogueTest, EmptyMissingOrCancelledFolders) {
    std::filesystem::create_directories(path("empty"));
    FakeRenderer fake;
    ASSERT_EQ(writePresetsCatalogue(path("empty"), path("page.html"), fake.renderer(), {}), 0);
    EXPECT_EQ(countOf(readText(path("page.html")), "<img"), 0u);
    EXPECT_EQ(writePresetsCatalogue(path("nowhere"), path("other.html"), fake.renderer(), {}), platform::kFileOpenError);
    EXPECT_FALSE(std::filesystem::exists(path("other.html")));
    // A cancelled render, or a cancel asked for between thumbnails: no page.
    preset("two", "a.q1q", 30, 1);
    preset("two", "b.q1q", 31, 1);
    fake.failAfter = 1;
    EXPECT_EQ(writePresetsCatalogue(path("two"), path("two.html"), fake.renderer(), {}), -128);
    FakeRenderer second;
    int32_t reports = 0;
    CatalogueProgress progress{&reports, [](void* c, int32_t, int32_t) { ++*static_cast<int32_t*>(c); },
                               [](void* c) { return *static_cast<int32_t*>(c) >= 1; }};
    EXPECT_EQ(writePresetsCatalogue(path("two"), path("two.html"), second.renderer(), progress), -128);
    EXPECT_EQ(second.planetSizes.size(), 1u);
    EXPECT_FALSE(std::filesystem::exists(path("two.html")));
}

TEST_F(CatalogueTest, ThumbnailMetadataIsReadableByImageMagick) {
    RgbImage image(16, 16);
    std::vector<uint8_t> jpeg;
    ASSERT_EQ(encodeThumbnailJpeg(image, "crater;moon", {2025, 6, 30, 0, 0, 0}, jpeg), 0);
    ASSERT_TRUE(writeBytes(path("t.jpg"), jpeg));
    std::string out;
    ASSERT_EQ(runCommand("identify -format '%[EXIF:Software]|%[IPTC:2:120]|%[IPTC:2:55]|%[IPTC:2:25]' '" +
                             path("t.jpg") + "' 2>&1",
                         &out),
              0);
    EXPECT_EQ(out, "Terravane|Made with Terravane|20250630|Terravane;crater;moon");
    EXPECT_NE(encodeThumbnailJpeg(RgbImage{}, "", {2025, 1, 1, 0, 0, 0}, jpeg), 0);
}

}  // namespace
}  // namespace tv::test
