// terravane render and preset show, run as a user runs them: formats, depths,
// settings, and bad input (one line, non-zero status, no file).
#include <OpenEXR/ImfFrameBuffer.h>
#include <OpenEXR/ImfInputFile.h>

#include <cmath>

#include "../support/images.h"
#include "../support/sanitizers.h"
#include "../support/terravane.h"
#include "persist/settings_file.h"
#include "platform/files.h"

namespace tv::test {
namespace {

using cli::Image;

class CliTest : public CommandTest {
protected:
    Image read(const std::string& name) {
        Image image;
        std::string error;
        EXPECT_TRUE(cli::readImage(path(name), image, &error)) << name << ": " << error;
        return image;
    }
    // Nothing but the working folder.
    size_t entries() const {
        size_t n = 0;
        for (const auto& e : std::filesystem::directory_iterator(root_)) n += e.path().filename() != "home";
        return n;
    }
};

TEST_F(CliTest, RendersTheDefaultPlanetToPng) {
    const Result r = run("render -o planet.png --size 96x64 --quiet");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const Image image = read("planet.png");
    EXPECT_EQ(image.width, 96);
    EXPECT_EQ(image.height, 64);
    EXPECT_EQ(image.channels, 3);
    EXPECT_EQ(image.depth, 8);
    // A planet in the middle, black space in the corner.
    EXPECT_GT(image.sample(48, 32, 0) + image.sample(48, 32, 1) + image.sample(48, 32, 2), 0.05f);
    EXPECT_EQ(image.sample(0, 0, 0) + image.sample(0, 0, 1) + image.sample(0, 0, 2), 0.0f);
}

TEST_F(CliTest, SettingsDepthsAndFormatsFollowTheOptions) {
    ASSERT_EQ(run("render -o a.png --size 40x20 --depth 16 --gray --set \"glue=map color\" --quiet").status, 0);
    ASSERT_EQ(run("render -o b.tif --size 40x20 --depth 32 --set \"glue=4\" --quiet").status, 0);
    ASSERT_EQ(run("render -o c.pgm --size 40x20 --set \"glue=map color\" --quiet").status, 0);
    ASSERT_EQ(run("render -o d.exr --size 40x20 --quiet").status, 0);
    const Image a = read("a.png"), b = read("b.tif"), c = read("c.pgm");
    EXPECT_EQ(a.channels, 1);
    EXPECT_EQ(a.depth, 16);
    EXPECT_EQ(b.depth, 32);
    EXPECT_EQ(b.channels, 3);
    EXPECT_EQ(c.channels, 1);
    // The same map three times: 16-bit grey, 32-bit float colour (white at
    // 1.0), 8-bit grey.
    for (int32_t x = 0; x < 40; x += 7) {
        const float grey16 = a.sample(x, 10, 0);
        EXPECT_NEAR(grey16, c.sample(x, 10, 0), 2.5f / 255.0f);
        const float grey32 = 0.3f * b.sample(x, 10, 0) + 0.59f * b.sample(x, 10, 1) + 0.11f * b.sample(x, 10, 2);
        EXPECT_NEAR(grey32, grey16, 2.0f / 255.0f);
    }
    // OpenEXR holds linear light: the float TIFF's values through the sRGB curve.
    ASSERT_EQ(run("render -o d.tif --size 40x20 --depth 32 --quiet").status, 0);
    const Image tif = read("d.tif");
    Imf::InputFile exr(path("d.exr").c_str());
    std::vector<float> red(40 * 20);
    Imf::FrameBuffer fb;
    fb.insert("R", Imf::Slice(Imf::FLOAT, reinterpret_cast<char*>(red.data()), sizeof(float), 40 * sizeof(float)));
    exr.setFrameBuffer(fb);
    exr.readPixels(0, 19);
    for (int32_t i = 0; i < 40 * 20; i += 13) {
        const double v = tif.sample(i % 40, i / 40, 0);
        EXPECT_NEAR(red[size_t(i)], v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4), 1e-6) << i;
    }
    // A different seed is a different planet.
    ASSERT_EQ(run("render -o e.png --size 40x20 --set \"random seed=5\" --quiet").status, 0);
    ASSERT_EQ(run("render -o f.png --size 40x20 --defaults --quiet").status, 0);
    EXPECT_NE(readText(path("e.png")), readText(path("f.png")));
}

TEST_F(CliTest, BadInputGivesOneLineAndNoFile) {
    ASSERT_TRUE(cli::writeImage(path("small.png"), solidImage(30, 20, 8, {0.04f, 0.04f, 0.04f}), nullptr));
    ASSERT_TRUE(cli::writeImage(path("wide.png"), solidImage(31, 20, 8, {1.0f}), nullptr));
    ASSERT_TRUE(cli::writeImage(path("black.png"), solidImage(30, 20, 8, {0.0f}), nullptr));
    ASSERT_TRUE(writeText(path("broken.png"), "\x89PNG\r\n\x1a\nxx"));
    ASSERT_TRUE(writeText(path("small.exr"), "v/1 is not enough"));
    const size_t inputs = entries();
    // The arguments, and what the message must name.
    const std::pair<const char*, const char*> cases[] = {
        {"render -o x.png --set \"planet colour=3\"", "planet colour"},  // unknown name
        {"render -o x.png --set \"planet size=big\"", "big"},           // unreadable value
        {"render -o x.png --set \"glue=spherical\"", "spherical"},      // unknown mode
        {"render -o x.png --size 0x10", "0x10"},                         // zero size
        {"render -o x.png --depth 12", "12"},                            // bad depth
        {"render -o x.png --depth 32", ""},                              // PNG cannot hold floats
        {"render -o x.exr --depth 8", ""},                               // OpenEXR holds floats only
        {"render -o x.jpg", "x.jpg"},                                    // unknown image type
        {"render -o missing/folder/x.png --size 8x8", ""},               // unwritable output
        {"render -o x.png --threads 0", "0"},                            // bad thread count
        {"render -o x.png --frobnicate", "--frobnicate"},                // unknown option
        {"render -o", "-o"},                                             // missing value
        {"render --source missing.png -o x.png", "missing.png"},         // no such file
        {"render --source broken.png -o x.png", "broken.png"},           // damaged
        {"render --source small.exr -o x.png", "small.exr"},             // a kind the host cannot read
        {"render --source small.png --mask wide.png -o x.png", "31x20"},  // another size
        {"render --size 31x20 --mask small.png -o x.png", "30x20"},      // another size than --size
        {"render --source small.png --mask black.png -o x.png", "selects no pixels"},
        {"render --layer -o x.ppm", ""},                                 // no room for transparency
        {"preset show extra.q1q", "extra.q1q"},                          // no such file
        {"preset show >/dev/full", "standard output"},                  // nowhere to print
        {"clouds", "which clouds command"},
        {"clouds fetch 12", "12"},
        {"clouds convert disc.gif", "--entry"},
    };
    for (const auto& [args, says] : cases) {
        const Result r = run(args);
        const std::string command = std::string(args).substr(0, std::string(args).find(' '));
        EXPECT_NE(r.status, 0) << args;
        EXPECT_TRUE(r.oneErrorLine()) << args << ": " << r.err;
        EXPECT_EQ(r.err.rfind("terravane " + command + ": ", 0), 0u) << args << ": " << r.err;
        EXPECT_NE(r.err.find(says), std::string::npos) << args << ": " << r.err;
        EXPECT_EQ(entries(), inputs) << args;
    }
}

TEST_F(CliTest, RunningOutOfMemoryIsOneLineAndNoFile) {
    if (test::kUnderAddressSanitizer) GTEST_SKIP() << test::kNoAddressSpaceLimit;
    // 65536 x 16384 at 32 bits: a band of its rows alone needs 200 MB.
    const Result r = run("render -o big.exr --size 65536x16384 --defaults --quiet", "ulimit -v 600000");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.oneErrorLine()) << r.err;
    EXPECT_EQ(r.err, "terravane render: not enough memory\n");
    EXPECT_EQ(entries(), 0u);
}

TEST_F(CliTest, AFailedRenderLeavesAnOlderFileAlone) {
    ASSERT_EQ(run("render -o keep.png --size 16x16 --quiet").status, 0);
    const std::string before = readText(path("keep.png"));
    EXPECT_NE(run("render -o keep.png --size 16x16 --set \"sea level=deep\"").status, 0);
    EXPECT_EQ(readText(path("keep.png")), before);
}

TEST_F(CliTest, PresetShowPrintsTheDefaultsAsJson) {
    const Result r = run("preset show");
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string& j = r.out;
    EXPECT_EQ(j.front(), '{');
    for (const char* pair : {"\"land color\": [15132, 17105, 40133]", "\"light x\": -0.68", "\"planet size\": 65",
                             "\"output mode\": 1", "\"settings name\": \"Terravane settings\"", "\"real clouds\": false"})
        EXPECT_NE(j.find(pair), std::string::npos) << pair << " in " << j;
    EXPECT_EQ(j.find("nan"), std::string::npos);
    // One key per settings field, in order, commas between them.
    EXPECT_LT(j.find("\"light x\""), j.find("\"settings name\""));
    EXPECT_EQ(std::count(j.begin(), j.end(), ':'), std::count(j.begin(), j.end(), ',') + 1 - 8 * 2);
    // A switch stored as another number than 0 or 1 (older files count real
    // luna from 1) shows that number.
    ParamRecord stored = defaultRecord();
    stored.realLuna = 2;
    stored.lunarClimate = 1;
    ASSERT_EQ(persist::writeSettingsFile(path("old.q1q"), stored, nullptr), platform::kFileOk);
    const std::string old = run("preset show old.q1q").out;
    EXPECT_NE(old.find("\"real luna\": 2,"), std::string::npos) << old;
    EXPECT_NE(old.find("\"lunar climate\": true,"), std::string::npos) << old;
}

}  // namespace
}  // namespace tv::test
