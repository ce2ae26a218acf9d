// terravane render as a paint program's filter run: source images, masks,
// transparency, the repeat-filter flow across processes, Ctrl-C, and bad
// input (one line, no file).
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "cli_fixture.h"
#include "host.h"
#include "host/params/fields.h"
#include "platform/files.h"

namespace tv::cli {
namespace {

class RenderHostTest : public CliTest {
protected:
    // A w x h image of one colour (8-bit, channels 1..4).
    void writeSolid(const std::string& name, int32_t w, int32_t h, std::initializer_list<uint8_t> pixel) {
        Image image;
        ASSERT_TRUE(image.allocate(w, h, int32_t(pixel.size()), 8));
        for (size_t i = 0; i < image.data.size(); ++i) image.data[i] = pixel.begin()[i % pixel.size()];
        std::string error;
        ASSERT_TRUE(writeImage(path(name), image, &error)) << error;
    }
    Image read(const std::string& name) {
        Image image;
        std::string error;
        EXPECT_TRUE(readImage(path(name), image, &error)) << error;
        return image;
    }
    // The settings the module played last, as it recorded them.
    int32_t played(const char* name) {
        const auto d = host::loadRecordedDescriptor(nullptr);
        const ScriptKey* k = findScriptKey(name);
        const pi::DescriptorItem* item = d && k ? d->find(k->key) : nullptr;
        return item ? item->integer : INT32_MIN;
    }
};

TEST_F(RenderHostTest, CompositeOverASourceInsideAMask) {
    writeSolid("photo.png", 90, 60, {40, 80, 120});
    writeSolid("noise.png", 90, 60, {200, 200, 200, 255});
    // The mask selects the left 60 columns.
    Image mask;
    ASSERT_TRUE(mask.allocate(90, 60, 1, 8));
    for (int32_t y = 0; y < 60; ++y)
        for (int32_t x = 0; x < 60; ++x) mask.data[size_t(y) * 90 + size_t(x)] = 255;
    ASSERT_TRUE(writeImage(path("left.png"), mask, nullptr));

    const Run r = run("render --source photo.png --mask left.png --set glue=composite --set \"planet size=70\" "
                      "-o out.png --quiet");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const Image out = read("out.png");
    ASSERT_EQ(out.width, 90);  // the source's size and kind
    ASSERT_EQ(out.height, 60);
    ASSERT_EQ(out.channels, 3);
    auto at = [&](int32_t x, int32_t y, int32_t c) { return out.data[(size_t(y) * 90 + size_t(x)) * 3 + size_t(c)]; };
    EXPECT_EQ(at(85, 30, 2), 120);  // outside the selection: the source
    EXPECT_EQ(at(1, 1, 0), 40);     // inside it, beside the planet: the source too
    EXPECT_NE(at(30, 30, 2), 120);  // the planet, centred in the selection
    // Normal mode paints space black inside the selection.
    ASSERT_EQ(run("render --source photo.png --mask left.png --set glue=normal -o black.png --quiet").status, 0);
    const Image black = read("black.png");
    EXPECT_EQ(black.data[(size_t(1) * 90 + 1) * 3], 0);
    EXPECT_EQ(black.data[(size_t(30) * 90 + 85) * 3], 40);
}

TEST_F(RenderHostTest, LayersGreyAndDepthsFollowTheHostImage) {
    // A transparent layer: the planet's coverage becomes the alpha.
    ASSERT_EQ(run("render --layer --size 64x48 --set glue=composite --set \"air depth=0\" -o layer.png --quiet").status, 0);
    const Image layer = read("layer.png");
    ASSERT_EQ(layer.channels, 4);
    EXPECT_EQ(layer.sample(1, 1, 3), 0.0f);
    EXPECT_EQ(layer.sample(32, 24, 3), 1.0f);
    // A grey 16-bit source gives a grey 16-bit image by default.
    Image grey;
    ASSERT_TRUE(grey.allocate(40, 30, 1, 16));
    std::fill(grey.data.begin(), grey.data.end(), 0x80);
    ASSERT_TRUE(writeImage(path("grey.png"), grey, nullptr));
    ASSERT_EQ(run("render --source grey.png --set glue=composite -o g.tif --quiet").status, 0);
    const Image g = read("g.tif");
    EXPECT_EQ(g.channels, 1);
    EXPECT_EQ(g.depth, 16);
    EXPECT_NEAR(g.sample(0, 0, 0), float(0x8080) / 65535.0f, 2.0f / 65535.0f);
    // The same source at 32 bits and another size: resampled, floats.
    ASSERT_EQ(run("render --source grey.png --size 20x15 --depth 32 -o g.exr --quiet").status, 0);
    EXPECT_EQ(slurp(path("g.exr")).substr(0, 4), std::string("\x76\x2f\x31\x01", 4));
}

TEST_F(RenderHostTest, RepeatRunsPlayTheLastSettings) {
    ASSERT_EQ(run("render --set \"planet size=30\" --set \"random seed=9\" --size 48x48 -o a.png --quiet").status, 0);
    // No settings: the recorded ones play again.
    ASSERT_EQ(run("render --size 48x48 -o b.png --quiet").status, 0);
    EXPECT_EQ(slurp(path("b.png")), slurp(path("a.png")));
    // Without the recorded descriptor the cached settings of the last render play.
    std::filesystem::remove(root_ / "home" / host::kRecordedDescriptorFile);
    ASSERT_EQ(run("render --size 48x48 -o c.png --quiet").status, 0);
    EXPECT_EQ(played("planet size"), 30);
    EXPECT_EQ(played("random seed"), 9);
    // --defaults starts afresh.
    ASSERT_EQ(run("render --defaults --size 48x48 -o d.png --quiet").status, 0);
    EXPECT_EQ(played("planet size"), 65);
    EXPECT_NE(slurp(path("d.png")), slurp(path("a.png")));
    // A damaged recorded descriptor is a warning, not a failure.
    std::filesystem::resize_file(root_ / "home" / host::kRecordedDescriptorFile, 3);
    const Run damaged = run("render --size 48x48 -o e.png --quiet");
    EXPECT_EQ(damaged.status, 0);
    EXPECT_NE(damaged.err.find("warning"), std::string::npos) << damaged.err;
}

TEST_F(RenderHostTest, BadImagesAndMasksGiveOneLineAndNoFile) {
    writeSolid("small.png", 30, 20, {9, 9, 9});
    writeSolid("wide.png", 31, 20, {255});
    writeSolid("black.png", 30, 20, {0});
    ASSERT_TRUE(platform::writeFileAtomic(path("broken.png"), reinterpret_cast<const uint8_t*>("\x89PNG\r\n\x1a\nxx"), 10) ==
                platform::kFileOk);
    std::filesystem::copy_file(path("small.png"), path("small.exr"));
    const char* cases[] = {
        "render --source missing.png -o x.png",                 // no such file
        "render --source broken.png -o x.png",                  // damaged
        "render --source small.exr -o x.png",                   // a kind the host cannot read
        "render --source small.png --mask wide.png -o x.png",   // another size
        "render --size 31x20 --mask small.png -o x.png",        // another size than --size
        "render --source small.png --mask black.png -o x.png",  // selects nothing
        "render --layer -o x.ppm",                              // no room for transparency
        "render --source small.png --depth 32 -o x.png",        // PNG holds no floats
        "render --source",                                      // missing value
    };
    for (const char* args : cases) {
        const Run r = run(args);
        EXPECT_NE(r.status, 0) << args;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << args << ": " << r.err;
        EXPECT_EQ(r.err.rfind("terravane render: ", 0), 0u) << args << ": " << r.err;
        EXPECT_FALSE(exists("x.png") || exists("x.ppm")) << args;
    }
    EXPECT_NE(run("render --source small.png --mask wide.png -o x.png").err.find("31x20"), std::string::npos);
}

// Ctrl-C during a render cancels it through the module: one line, no file.
TEST_F(RenderHostTest, InterruptCancelsTheRender) {
    const std::string err = path("stderr.txt");
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (chdir(root_.c_str()) != 0) _exit(100);
        FILE* e = std::freopen(err.c_str(), "w", stderr);
        if (!e) _exit(101);
        const std::string exe = std::string(TV_BINARY_DIR) + "/terravane";
        execl(exe.c_str(), exe.c_str(), "render", "--size", "1536x1536", "--threads", "1", "-o", "big.png",
              "--quiet", static_cast<char*>(nullptr));
        _exit(102);
    }
    // Wait until the command catches Ctrl-C (SIGINT in its caught set), then press it.
    const std::string status = "/proc/" + std::to_string(child) + "/status";
    bool catching = false;
    for (int i = 0; i < 1000 && !catching; ++i) {
        std::ifstream in(status);
        std::string line;
        while (std::getline(in, line))
            if (line.rfind("SigCgt:", 0) == 0) catching = (std::stoull(line.substr(7), nullptr, 16) & (1ull << (SIGINT - 1))) != 0;
        if (!catching) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_TRUE(catching);
    kill(child, SIGINT);
    int raw = 0;
    ASSERT_EQ(waitpid(child, &raw, 0), child);
    ASSERT_TRUE(WIFEXITED(raw));
    EXPECT_EQ(WEXITSTATUS(raw), 1);
    const std::string message = slurp(err);
    EXPECT_NE(message.find("cancelled (-128)"), std::string::npos) << message;
    EXPECT_EQ(std::count(message.begin(), message.end(), '\n'), 1);
    EXPECT_FALSE(exists("big.png"));
}

}  // namespace
}  // namespace tv::cli
