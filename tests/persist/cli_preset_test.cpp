// terravane preset show|save|dice and render --preset, run as a user would.
#include "../support/terravane.h"
#include "image_io.h"
#include "persist/settings_file.h"
#include "platform/files.h"

namespace tv::test {
namespace {

class PresetCommand : public CommandTest {
protected:
    // Pixels brighter than a dark background.
    int64_t litPixels(const std::string& name) {
        cli::Image image;
        std::string error;
        EXPECT_TRUE(cli::readImage(path(name), image, &error)) << error;
        int64_t n = 0;
        for (int32_t y = 0; y < image.height; ++y)
            for (int32_t x = 0; x < image.width; ++x) n += image.sample(x, y, 1) > 0.1f;
        return n;
    }
};

TEST_F(PresetCommand, SaveWritesSettingsWithARenderedThumbnailThatShowReads) {
    const Result saved = run("preset save -o small.q1q --set 'planet size=40' --set 'random seed=321'");
    ASSERT_EQ(saved.status, 0) << saved.err;
    ParamRecord r = defaultRecord();
    RgbImage thumbnail;
    persist::ReadReport report;
    ASSERT_EQ(persist::readSettingsFile(path("small.q1q"), persist::ReadMode::Load, &r, &thumbnail, &report),
              platform::kFileOk);
    EXPECT_EQ(r.planetSize, 40);
    ASSERT_TRUE(report.thumbnailLoaded);
    int lit = 0;  // a planet, not a black square, and not filling it: size 40
    for (size_t i = 1; i < thumbnail.pixels.size(); i += 3) lit += thumbnail.pixels[i] > 25;
    EXPECT_TRUE(lit > 128 * 128 / 20 && lit < 128 * 128 * 9 / 10) << lit;

    const Result shown = run("preset show small.q1q");
    ASSERT_EQ(shown.status, 0) << shown.err;
    EXPECT_NE(shown.out.find("\"planet size\": 40"), std::string::npos) << shown.out;
    EXPECT_NE(shown.out.find("\"random seed\": 321"), std::string::npos);
    EXPECT_NE(shown.out.find("\"settings name\": \"small.q1q\""), std::string::npos);

    // render --preset draws that planet: smaller than the default one.
    ASSERT_EQ(run("render --preset small.q1q --size 96x96 --quiet -o small.png").status, 0);
    ASSERT_EQ(run("render --defaults --size 96x96 --quiet -o default.png").status, 0);
    EXPECT_LT(litPixels("small.png") * 2, litPixels("default.png"));
}

TEST_F(PresetCommand, BadFilesAndOptionsFailWithOneLine) {
    ASSERT_EQ(run("preset save -o whole.q1q").status, 0);
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(platform::readFile(path("whole.q1q"), bytes));
    ASSERT_EQ(platform::writeFileAtomic(path("cut.q1q"), bytes.data(), 100), platform::kFileOk);
    for (const char* args : {"preset show cut.q1q", "render --preset cut.q1q -o x.png", "preset save",
                             "preset dice --seed many -o d.q1q", "preset save -o y.q1q --preset cut.q1q"}) {
        const Result r = run(args);
        EXPECT_NE(r.status, 0) << args;
        EXPECT_TRUE(r.oneErrorLine() && r.out.empty()) << args << ": " << r.err;
    }
    EXPECT_FALSE(platform::fileExists(path("x.png")) || platform::fileExists(path("y.q1q")));
    EXPECT_NE(run("preset show cut.q1q").err.find("truncated"), std::string::npos);
}

}  // namespace
}  // namespace tv::test
