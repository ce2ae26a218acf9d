// terravane edit and the module's dialog, replayed without a display; and
// once in a real GTK window under Xvfb.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <cstring>

#include "../support/plugin.h"
#include "../support/terravane.h"
#include "image_io.h"
#include "persist/settings_file.h"
#include "platform/files.h"

namespace tv::test {
namespace {

class EditTest : public CommandTest {
protected:
    std::string events(const std::string& name, const std::string& text) {
        EXPECT_TRUE(writeText(path(name), text));
        return name;
    }
};

// A replay with no change writes exactly what render writes; what the
// dialog changed is recorded, so that a bare render repeats it.
TEST_F(EditTest, OkRendersWhatRenderWritesAndRecordsTheSettings) {
    events("ok.txt", "# nothing changed\nok\n");
    ASSERT_EQ(run("edit --defaults --size 320x200 --replay ok.txt -o e.png").status, 0);
    ASSERT_EQ(run("render --defaults --size 320x200 -o r.png").status, 0);
    EXPECT_EQ(readBytes(path("e.png")), readBytes(path("r.png")));

    events("edit.txt", "type 37 30\ndrag @112:0.2,0.3 @112:0.8,0.6\nclick @52\nok\n");
    const Result edited = run("edit --size 320x200 --replay edit.txt");
    ASSERT_EQ(edited.status, 0) << edited.err;
    ASSERT_EQ(run("render --size 320x200 -o again.png").status, 0);
    EXPECT_EQ(readBytes(path("planet.png")), readBytes(path("again.png")));
    ParamRecord cached = defaultRecord();
    ASSERT_EQ(persist::readSettingsFile(home() + persist::kCachedSettingsName, persist::ReadMode::Load, &cached,
                                        static_cast<RgbImage*>(nullptr)),
              0);
    EXPECT_EQ(cached.planetSize, 30);
    EXPECT_EQ(cached.backlighting, 1);
    EXPECT_GT(cached.lightX, 0.0f);
}

TEST_F(EditTest, BadEventsAndNoDisplayAreUsageErrors) {
    const struct {
        const char* text;
        const char* says;
    } cases[] = {
        {"ok\njump 3 4\n", "line 2: unknown event \"jump\""},
        {"# c\n\nclick @999\n", "line 3: no control \"@999\""},
        {"type 36 5\n", "line 1: control 36 has no edit box"},
        {"key Hyper+Q\n", "line 1: unknown key"},
        {"answer-colour 1 2 300\n", "line 1: answer-colour needs R G B"},
        {"drag 1 2 @18:x,0.5\n", "line 1: bad fractions"},
    };
    for (const auto& c : cases) {
        events("bad.txt", c.text);
        const Result r = run("edit --replay bad.txt -o x.png");
        EXPECT_EQ(r.status, 2) << c.text;
        EXPECT_TRUE(r.oneErrorLine()) << r.err;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    }
    EXPECT_FALSE(exists("x.png"));
    const Result noDisplay = run("edit -o x.png", "unset DISPLAY WAYLAND_DISPLAY");
    EXPECT_EQ(noDisplay.status, 2);
    EXPECT_TRUE(noDisplay.oneErrorLine()) << noDisplay.err;
    // A system dialog nobody answered ends the replay as a cancel, naming the line.
    events("unanswered.txt", "click @26\nok\n");
    const Result unanswered = run("edit --replay unanswered.txt -o x.png");
    EXPECT_EQ(unanswered.status, 1);
    EXPECT_NE(unanswered.err.find("line 1: no answer was queued for the file dialog \"Save a settings file\""),
              std::string::npos)
        << unanswered.err;
}

// The canvas at scale 2: the preview shows the planet, the dot that holds
// the starting settings is the current one, the others are empty.
TEST_F(EditTest, ScreenshotOfTheCanvas) {
    events("shot.txt", "answer-file saved\nclick @26\nmove 5 5\nscreenshot shot.png\ncancel\n");
    const Result r =
        run("edit --defaults --size 640x400 --replay shot.txt --screenshot end.png", "export TERRAVANE_DIALOG_SCALE=2");
    ASSERT_EQ(r.status, 1) << r.err;
    EXPECT_TRUE(exists("saved.q1q"));
    cli::Image shot, end;
    std::string why;
    ASSERT_TRUE(cli::readImage(path("shot.png"), shot, &why)) << why;
    ASSERT_TRUE(cli::readImage(path("end.png"), end, &why)) << why;
    ASSERT_EQ(shot.width, 1812);
    ASSERT_EQ(shot.height, 1150);
    EXPECT_EQ(shot.data, end.data);
    auto rgb = [&](int x, int y) {
        return (uint32_t(shot.data[(size_t(y) * 1812 + x) * 3]) << 16) |
               (uint32_t(shot.data[(size_t(y) * 1812 + x) * 3 + 1]) << 8) | shot.data[(size_t(y) * 1812 + x) * 3 + 2];
    };
    EXPECT_EQ(rgb(2 * 884, 2 * 22), 0x2F6FDEu);  // dot 1, current
    EXPECT_EQ(rgb(2 * 884, 2 * 42), 0xFFFFFFu);  // dot 2, empty
    const int cx = 2 * (572 + 291 / 2), cy = 2 * (12 + 177 / 2);
    const uint32_t centre = rgb(cx, cy);
    EXPECT_GT(((centre >> 16) & 0xFF) + ((centre >> 8) & 0xFF) + (centre & 0xFF), 120u);  // the lit planet
    // The image (640 x 400 at a third: 213 x 133, centred in the pane) has a black corner.
    EXPECT_EQ(rgb(2 * (574 + (287 - 213) / 2) + 2, 2 * (14 + (173 - 133) / 2) + 2), 0x000000u);
}

// Cancel after many edits: the record is exactly what the dialog started
// with, the host hears "cancelled" and nothing is rendered or cached.
class DialogRunTest : public PluginTest {
protected:
    int16_t runDialog(const std::string& replay, host::RunReport& report) {
        EXPECT_TRUE(writeText(path("events.txt"), replay));
        ::setenv("TERRAVANE_DIALOG_REPLAY", path("events.txt").c_str(), 1);
        host::HostImage image = host::blankImage(320, 200, 8, false, false);
        host::HostOptions options;
        options.playInfo = pi::plugInDialogDisplay;
        host::RunRequest request;
        request.interactive = true;
        request.descriptor = descriptorWith({{"planet size", 40}, {"glue", 3}, {"light x", 0.5}});
        host::FilterHost filter(module_, session_, image, nullptr, options);
        const int16_t result = filter.run(request, report);
        ::unsetenv("TERRAVANE_DIALOG_REPLAY");
        return result;
    }
};

TEST_F(DialogRunTest, CancelAfterManyEditsRestoresTheStartingRecord) {
    host::RunReport report;
    ASSERT_EQ(runDialog("cancel\n", report), pi::userCanceledErr);
    ParamRecord untouched = record();
    EXPECT_EQ(untouched.planetSize, 40);
    session_ = host::FilterSession{};
    const char* edits =
        "drag @37 @37:0.9,0.5\ntype 59 77\ntimer\nclick @72\nclick @75\nclick @27\nclick @74\n"
        "answer-colour 255 255 255\nclick @7\nclick @48\nclick @105\nclick @73\nclick @73:0.5,-5\n"
        "drag @100 @100:0.1,0.1\nclick @18:0.2,0.3\nclick @32\nclick @125\nclick @126 ctrl\ncancel\n";
    ASSERT_EQ(runDialog(edits, report), pi::userCanceledErr);
    EXPECT_EQ(report.failedSelector, pi::kSelectorStart);
    ParamRecord restored = record();
    restored.stateBlock = untouched.stateBlock;  // the host's new block
    EXPECT_EQ(std::memcmp(&restored, &untouched, sizeof restored), 0);
    EXPECT_FALSE(platform::fileExists(home() + persist::kCachedSettingsName));
}

// The real window: under Xvfb, terravane edit shows the dialog, and Escape
// (sent to the window) ends it as cancelled.
TEST_F(EditTest, GtkWindowUnderXvfb) {
    if (std::system("command -v Xvfb >/dev/null && command -v xdotool >/dev/null && command -v import >/dev/null") != 0)
        GTEST_SKIP() << "Xvfb, xdotool or ImageMagick's import is missing (scripts/install-deps installs them)";
    const std::string script =
        "unset TERRAVANE_DIALOG_PEER TERRAVANE_DIALOG_REPLAY\n"
        "export DISPLAY=:" +
        std::to_string(90 + ::getpid() % 500) +
        "\n"
        "Xvfb $DISPLAY -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &\n"
        "xvfb=$!\n"
        "trap 'kill $xvfb 2>/dev/null' EXIT\n"
        "for i in $(seq 100); do xdotool getdisplaygeometry >/dev/null 2>&1 && break; sleep 0.1; done\n"
        "'" +
        terravanePath() +
        "' edit --defaults --size 400x300 -o g.png >/dev/null 2>edit.err </dev/null &\n"
        "edit=$!\n"
        "for i in $(seq 300); do w=$(xdotool search --onlyvisible --name '^Terravane$' | tail -1); [ -n \"$w\" ] && "
        "break; sleep 0.1; done\n"
        "sleep 1\n"
        "import -window root screen.png\n"
        "xdotool windowfocus \"$w\" key Escape\n"
        "for i in $(seq 100); do kill -0 $edit 2>/dev/null || break; sleep 0.1; done\n"
        "kill $edit 2>/dev/null\n"
        "wait $edit\n"
        "echo $? > edit.status\n";
    ASSERT_TRUE(writeText(path("xvfb.sh"), script));
    std::system(("cd '" + root_.string() + "' && sh xvfb.sh >xvfb.out 2>&1").c_str());
    EXPECT_EQ(readText(path("edit.status")), "1\n") << readText(path("edit.err"));
    EXPECT_NE(readText(path("edit.err")).find("cancelled"), std::string::npos);
    EXPECT_FALSE(exists("g.png"));
    cli::Image screen;
    std::string why;
    ASSERT_TRUE(cli::readImage(path("screen.png"), screen, &why)) << why;
    // The dialog, light on the whole, sits in the middle of the black screen.
    double middle = 0.0;
    for (int y = 300; y < 500; ++y)
        for (int x = 440; x < 840; ++x) middle += screen.sample(x, y, 1);
    EXPECT_GT(middle / (200.0 * 400.0), 0.6);
    EXPECT_LT(screen.sample(5, 5, 1), 0.1f);
}

}  // namespace
}  // namespace tv::test
