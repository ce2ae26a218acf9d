// Runs the built terravane command in a fresh working folder.
#include "cli_fixture.h"

namespace tv::cli {
namespace {

TEST_F(CliTest, RendersTheDefaultPlanetToPng) {
    const Run r = run("render -o planet.png --size 96x64 --quiet");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    Image image;
    std::string error;
    ASSERT_TRUE(readImage(path("planet.png"), image, &error)) << error;
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
    Image a, b, c;
    ASSERT_TRUE(readImage(path("a.png"), a, nullptr));
    ASSERT_TRUE(readImage(path("b.tif"), b, nullptr));
    ASSERT_TRUE(readImage(path("c.pgm"), c, nullptr));
    EXPECT_EQ(a.channels, 1);
    EXPECT_EQ(a.depth, 16);
    EXPECT_EQ(b.depth, 32);
    EXPECT_EQ(b.channels, 3);
    EXPECT_EQ(c.channels, 1);
    // The same map three times: 16-bit grey, 32-bit float colour (on the
    // 65535 scale, so about half as bright), 8-bit grey.
    for (int32_t x = 0; x < 40; x += 7) {
        const float grey16 = a.sample(x, 10, 0);
        EXPECT_NEAR(grey16, c.sample(x, 10, 0), 2.5f / 255.0f);
        const float grey32 = 0.3f * b.sample(x, 10, 0) + 0.59f * b.sample(x, 10, 1) + 0.11f * b.sample(x, 10, 2);
        if (grey16 < 0.95f) {
            EXPECT_NEAR(grey32, 0.5f * grey16, 2.5f / 255.0f);
        }
    }
    const std::string exr = slurp(path("d.exr"));
    ASSERT_GT(exr.size(), 4u);
    EXPECT_EQ(exr.substr(0, 4), std::string("\x76\x2f\x31\x01", 4));
    // A different seed is a different planet.
    ASSERT_EQ(run("render -o e.png --size 40x20 --set \"random seed=5\" --quiet").status, 0);
    ASSERT_EQ(run("render -o f.png --size 40x20 --defaults --quiet").status, 0);
    EXPECT_NE(slurp(path("e.png")), slurp(path("f.png")));
}

TEST_F(CliTest, BadInputGivesOneLineAndNoFile) {
    const char* cases[] = {
        "render -o x.png --set \"planet colour=3\"",       // unknown name
        "render -o x.png --set \"planet size=big\"",       // unreadable value
        "render -o x.png --set \"glue=spherical\"",        // unknown mode
        "render -o x.png --size 0x10",                     // zero size
        "render -o x.png --size 10",                       // no height
        "render -o x.png --depth 12",                      // bad depth
        "render -o x.png --depth 32",                      // PNG cannot hold floats
        "render -o x.exr --depth 8",                       // OpenEXR holds floats only
        "render -o x.jpg",                                 // unknown image type
        "render -o missing/folder/x.png --size 8x8",       // unwritable output
        "render -o x.png --threads 0",                     // bad thread count
        "render -o x.png --frobnicate",                    // unknown option
        "render -o",                                       // missing value
        "preset show extra.q1q",                           // not in this build
        "preset frobnicate",
    };
    for (const char* args : cases) {
        const Run r = run(args);
        EXPECT_NE(r.status, 0) << args;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << args << ": " << r.err;
        EXPECT_EQ(r.err.rfind("terravane ", 0), 0u) << args << ": " << r.err;
        EXPECT_EQ(entries(), 0u) << args;
    }
    // The name of what was wrong is in the message.
    EXPECT_NE(run("render -o x.png --set \"planet colour=3\"").err.find("planet colour"), std::string::npos);
}

TEST_F(CliTest, AFailedRenderLeavesAnOlderFileAlone) {
    ASSERT_EQ(run("render -o keep.png --size 16x16 --quiet").status, 0);
    const std::string before = slurp(path("keep.png"));
    EXPECT_NE(run("render -o keep.png --size 16x16 --set \"sea level=deep\"").status, 0);
    EXPECT_EQ(slurp(path("keep.png")), before);
}

TEST_F(CliTest, PresetShowPrintsTheDefaultsAsJson) {
    const Run r = run("preset show");
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string& j = r.out;
    EXPECT_EQ(j.front(), '{');
    EXPECT_NE(j.find("\"land color\": [15132, 17105, 40133]"), std::string::npos) << j;
    EXPECT_NE(j.find("\"light x\": -0.68"), std::string::npos);
    EXPECT_NE(j.find("\"planet size\": 65"), std::string::npos);
    EXPECT_NE(j.find("\"output mode\": 1"), std::string::npos);
    EXPECT_NE(j.find("\"settings name\": \"Terravane settings\""), std::string::npos);
    EXPECT_NE(j.find("\"real clouds\": false"), std::string::npos);
    EXPECT_EQ(j.find("nan"), std::string::npos);
    // One key per settings field, in order, commas between them.
    EXPECT_LT(j.find("\"light x\""), j.find("\"settings name\""));
    EXPECT_EQ(std::count(j.begin(), j.end(), ':'), std::count(j.begin(), j.end(), ',') + 1 - 8 * 2);
}

}  // namespace
}  // namespace tv::cli
