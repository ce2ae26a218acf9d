// terravane render as a paint program's filter run: source images, masks,
// transparency, the repeat-filter flow across processes, and Ctrl-C.
#include "../support/images.h"
#include "../support/terravane.h"
#include "host.h"
#include "params/fields.h"

namespace tv::test {
namespace {

using cli::Image;

class RenderHostTest : public CommandTest {
protected:
    Image read(const std::string& name) {
        Image image;
        std::string error;
        EXPECT_TRUE(cli::readImage(path(name), image, &error)) << error;
        return image;
    }
    // The settings the module played last, as it recorded them.
    int32_t played(const char* name) {
        const auto d = host::loadRecordedDescriptor(nullptr);
        const pi::DescriptorItem* item = d ? d->find(findScriptKey(name)->key) : nullptr;
        return item ? item->integer : INT32_MIN;
    }
};

TEST_F(RenderHostTest, CompositeOverASourceInsideAMask) {
    ASSERT_TRUE(cli::writeImage(path("photo.png"), solidImage(90, 60, 8, {0.2f, 0.4f, 0.6f}), nullptr));
    ASSERT_TRUE(cli::writeImage(path("left.png"), leftMask(90, 60, 60), nullptr));
    const Result r = run("render --source photo.png --mask left.png --set glue=composite --set \"planet size=70\" "
                      "-o out.png --quiet");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const Image out = read("out.png");
    ASSERT_EQ(out.width, 90);  // the source's size and kind
    ASSERT_EQ(out.height, 60);
    ASSERT_EQ(out.channels, 3);
    auto at = [&](const Image& i, int32_t x, int32_t y, int32_t c) { return i.data[(size_t(y) * 90 + size_t(x)) * 3 + size_t(c)]; };
    EXPECT_EQ(at(out, 85, 30, 2), 153);  // outside the selection: the source
    EXPECT_EQ(at(out, 1, 1, 0), 51);     // inside it, beside the planet: the source too
    EXPECT_NE(at(out, 30, 30, 2), 153);  // the planet, centred in the selection
    // Normal mode paints space black inside the selection.
    ASSERT_EQ(run("render --source photo.png --mask left.png --set glue=normal -o black.png --quiet").status, 0);
    const Image black = read("black.png");
    EXPECT_EQ(at(black, 1, 1, 0), 0);
    EXPECT_EQ(at(black, 85, 30, 0), 51);
}

TEST_F(RenderHostTest, RepeatRunsPlayTheLastSettings) {
    ASSERT_EQ(run("render --set \"planet size=30\" --set \"random seed=9\" --size 48x48 -o a.png --quiet").status, 0);
    // No settings: the recorded ones play again.
    ASSERT_EQ(run("render --size 48x48 -o b.png --quiet").status, 0);
    EXPECT_EQ(readText(path("b.png")), readText(path("a.png")));
    // Without the recorded descriptor the cached settings of the last render play.
    std::filesystem::remove(home_ / host::kRecordedDescriptorFile);
    ASSERT_EQ(run("render --size 48x48 -o c.png --quiet").status, 0);
    EXPECT_EQ(played("planet size"), 30);
    EXPECT_EQ(played("random seed"), 9);
    // --defaults starts afresh, and so does an empty working folder.
    ASSERT_EQ(run("render --defaults --size 48x48 -o d.png --quiet").status, 0);
    EXPECT_EQ(played("planet size"), 65);
    EXPECT_NE(readText(path("d.png")), readText(path("a.png")));
    std::filesystem::remove_all(home_);
    ASSERT_EQ(run("render --size 48x48 -o e.png --quiet").status, 0);
    EXPECT_EQ(readText(path("e.png")), readText(path("d.png")));
    // A damaged recorded descriptor is a warning, not a failure.
    std::filesystem::resize_file(home_ / host::kRecordedDescriptorFile, 3);
    const Result damaged = run("render --size 48x48 -o f.png --quiet");
    EXPECT_EQ(damaged.status, 0);
    EXPECT_NE(damaged.err.find("warning"), std::string::npos) << damaged.err;
    EXPECT_NE(damaged.err.find("damaged"), std::string::npos) << damaged.err;
}

// Ctrl-C during a render cancels it through the module: one line, no file.
TEST_F(RenderHostTest, InterruptCancelsTheRender) {
    const std::string err = path("stderr.txt");
    const pid_t child =
        startTerravane(root_, {"render", "--size", "1536x1536", "--threads", "1", "-o", "big.png", "--quiet"}, err);
    ASSERT_GT(child, 0);
    // Pressed once the command catches it.
    ASSERT_TRUE(waitFor([&] { return catchesInterrupt(child); }));
    ::kill(child, SIGINT);
    EXPECT_EQ(exitStatusOf(child), 130);
    const std::string message = readText(err);
    EXPECT_NE(message.find("cancelled"), std::string::npos) << message;
    EXPECT_EQ(std::count(message.begin(), message.end(), '\n'), 1);
    EXPECT_FALSE(exists("big.png"));
    // Nothing recorded for a repeat run, no cached settings.
    EXPECT_FALSE(std::filesystem::exists(home_ / host::kRecordedDescriptorFile));
    EXPECT_FALSE(std::filesystem::exists(home_ / "Terravane cached settings D"));
}

}  // namespace
}  // namespace tv::test
