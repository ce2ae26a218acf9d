// The dialog's system dialogs and secondary windows, replayed: settings files
// and colours through the module in this process; Layers, the catalogue
// pages and the about box through terravane edit; the GTK file and colour
// choosers under Xvfb.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "../support/plugin.h"
#include "../support/terravane.h"
#include "image_io.h"
#include "persist/settings_file.h"
#include "platform/files.h"
#include "ui/controls.h"
#include "ui/dialog.h"

namespace tv::test {
namespace {

class WindowsRunTest : public PluginTest {
protected:
    // The dialog over a 320 x 200 image, started from planet size 40.
    int16_t runDialog(const std::string& replay, const host::HostOptions& base = {}) {
        EXPECT_TRUE(writeText(path("events.txt"), replay));
        ::setenv("TERRAVANE_DIALOG_REPLAY", path("events.txt").c_str(), 1);
        host::HostImage image = host::blankImage(320, 200, 8, false, false);
        host::HostOptions options = base;
        options.playInfo = pi::plugInDialogDisplay;
        host::RunRequest request;
        request.interactive = true;
        request.descriptor = descriptorWith({{"planet size", 40}});
        session_ = host::FilterSession{};
        host::FilterHost filter(module_, session_, image, nullptr, options);
        host::RunReport report;
        const int16_t result = filter.run(request, report);
        ::unsetenv("TERRAVANE_DIALOG_REPLAY");
        return result;
    }
    static ParamRecord preset() {
        ParamRecord p = defaultRecord();
        p.planetSize = 77;
        p.seaLevel = 12;
        p.landColor = {0x1234, 0x5678, 0x9ABC};
        p.outputMode = 5;
        p.backlighting = 1;
        p.lightX = 0.5f;
        return p;
    }
    static void expectSettings(const ParamRecord& got, const ParamRecord& want) {
        EXPECT_EQ(got.planetSize, want.planetSize);
        EXPECT_EQ(got.seaLevel, want.seaLevel);
        EXPECT_EQ(got.landColor, want.landColor);
        EXPECT_EQ(got.outputMode, want.outputMode);
        EXPECT_EQ(got.backlighting, want.backlighting);
        EXPECT_FLOAT_EQ(got.lightX, want.lightX);
    }
};

// Load sets every control and the name strip; Undo after Dice goes back to
// the loaded settings, Undo after the Load to the ones before; the system
// colour dialog's white is 65280; Save adds ".q1q" and writes what the
// dialog holds.
TEST_F(WindowsRunTest, LoadSaveUndoAndColours) {
    ASSERT_EQ(persist::writeSettingsFile(path("p.q1q"), preset(), nullptr), 0);
    const std::string load = "answer-file " + path("p.q1q") + "\nclick @35\n";
    ASSERT_EQ(runDialog("click @27\n" + load + "click @72\nclick @74\n" +
                        "answer-colour 255 255 255\nclick @8\nanswer-colour cancel\nclick @9\n"
                        "answer-file " + path("saved") + "\nclick @26\nok\n"),
              0);
    ParamRecord r = record();
    expectSettings(r, preset());
    EXPECT_EQ(r.airColor, (Colour16{65280, 65280, 65280}));
    EXPECT_EQ(r.seaColor, defaultRecord().seaColor);
    EXPECT_STREQ(r.settingsName, "saved.q1q");
    ParamRecord saved = defaultRecord();
    ASSERT_EQ(persist::readSettingsFile(path("saved.q1q"), persist::ReadMode::Load, &saved,
                                        static_cast<RgbImage*>(nullptr)),
              0);
    expectSettings(saved, preset());
    EXPECT_EQ(saved.airColor, r.airColor);

    ASSERT_EQ(runDialog(load + "click @74\nok\n"), 0);
    EXPECT_EQ(record().planetSize, 40);
}

// A host with a colour picker gets the colour's high bytes and the prompt,
// and its answer becomes the colour; its cancel leaves the colour whole.
TEST_F(WindowsRunTest, TheHostsColourPicker) {
    std::vector<std::string> prompts;
    host::HostOptions options;
    options.colourPicker = [&](const std::string& prompt, uint8_t rgb[3]) {
        prompts.push_back(prompt + " " + std::to_string(rgb[0]));
        rgb[0] = 255;
        rgb[1] = 128;
        rgb[2] = 1;
        return prompts.size() == 1;
    };
    ASSERT_EQ(runDialog("click @7\nclick @9\nok\n", options), 0);
    EXPECT_EQ(prompts, (std::vector<std::string>{
                           "Choose the land color. " + std::to_string(defaultRecord().landColor.red >> 8),
                           "Choose the water color. " + std::to_string(defaultRecord().seaColor.red >> 8)}));
    EXPECT_EQ(record().landColor, (Colour16{65280, 32768, 256}));
    EXPECT_EQ(record().seaColor, defaultRecord().seaColor);
}

// The about selector shows the about box on its own; its visit button opens
// the maker's page (a replay prints it) and closes the box.
TEST_F(WindowsRunTest, TheAboutSelector) {
    float x = 0, y = 0;
    ASSERT_TRUE(ui::windowControlPoint(ui::WindowId::About, ui::kAboutVisit, 0.5f, 0.5f, x, y));
    ASSERT_TRUE(writeText(path("about.txt"), "screenshot " + path("about.png") + "\nclick " + std::to_string(x) +
                                                 " " + std::to_string(y) + "\n"));
    ::setenv("TERRAVANE_DIALOG_REPLAY", path("about.txt").c_str(), 1);
    host::HostImage image = host::blankImage(8, 8, 8, false, false);
    host::FilterHost filter(module_, session_, image, nullptr, {});
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(filter.about(), 0);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "opened " + std::string(ui::productAddress()) + "\n");
    ::unsetenv("TERRAVANE_DIALOG_REPLAY");
    cli::Image about;
    std::string why;
    ASSERT_TRUE(cli::readImage(path("about.png"), about, &why)) << why;
    EXPECT_EQ(about.width, ui::windowWidth(ui::WindowId::About));
}

// A file dialog that is waiting for its answer keeps every other request out.
TEST(FileDialogGuard, ASecondRequestIsRefused) {
    ParamRecord params = defaultRecord();
    StateBlock state{};
    ui::DialogState s;
    ui::DialogSetup setup;
    setup.params = &params;
    setup.state = &state;
    ui::Actions out;
    ui::openDialog(s, setup, out);
    auto click = [&](int id) {
        out.clear();
        ui::Event e;
        e.window.kind = platform::WindowEvent::Command;
        e.window.id = id;
        ui::handle(s, e, out);
        return std::count_if(out.begin(), out.end(),
                             [](const ui::Action& a) { return a.kind == ui::Action::FileDialog; });
    };
    EXPECT_EQ(click(ui::kSave), 1);
    EXPECT_EQ(click(ui::kLoad), 0);
    EXPECT_EQ(click(ui::kLayers), 0);
    ui::Event cancelled;
    cancelled.kind = ui::Event::Answer;
    ui::handle(s, cancelled, out);
    EXPECT_EQ(click(ui::kLoad), 1);
}

// Secondary windows: across the owner's middle less a caption button (two
// thirds of one without a system menu), a third of the free height down,
// kept on the screen and never at a negative position.
TEST(CentreWindow, TheOwnersMiddleAThirdDownOnTheScreen) {
    const platform::ScreenGeometry owner{{100, 50, 1006, 625}, {0, 0, 1280, 800}, 30};
    const struct {
        platform::ScreenGeometry owner;
        int32_t w, h;
        bool systemMenu;
        int32_t x, y;
    } cases[] = {
        {owner, 560, 320, true, 100 + 173 - 30, 50 + 85},
        {owner, 300, 110, false, 100 + 303 - 20, 50 + 155},
        {{{900, 600, 1806, 1175}, {0, 0, 1280, 800}, 30}, 560, 320, true, 720, 480},  // back on the screen
        {{{-400, -300, 100, 0}, {0, 0, 1280, 800}, 30}, 560, 320, true, 0, 0},
    };
    for (const auto& c : cases) {
        int32_t x = -1, y = -1;
        ui::centreWindow(c.owner, c.w, c.h, c.systemMenu, x, y);
        EXPECT_EQ(x, c.x) << c.w;
        EXPECT_EQ(y, c.y) << c.w;
    }
}

class WindowsEditTest : public CommandTest {};

// Layers writes a layered document; a cancelled export leaves nothing; both
// catalogue pages are written and recorded as opened; the about box opens
// once, and OK closes it with the dialog.
TEST_F(WindowsEditTest, LayersCataloguesAndAbout) {
    std::filesystem::create_directories(path("presets"));
    ASSERT_EQ(run("preset save -o presets/a.q1q --set \"planet size=60\"").status, 0);
    ASSERT_TRUE(writeText(path("events.txt"),
                          "answer-file doc\nclick @71\nwait-export\n"
                          "answer-file gone.psd\nclick @71\nwindow layers\ntimer\nclick @1\nwait-export\n"
                          "window main\n"
                          "answer-folder presets\nanswer-file page\nclick @150\n"
                          "answer-file dots.html\nclick @119 right\n"
                          "click @25\nclick @25\nwindow about\nscreenshot about.png\n"
                          "window main\nclick @116\nok\n"));
    const Result r = run("edit --size 600x400 --replay events.txt -o out.png");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "opened page.html\nopened dots.html\n");
    ASSERT_EQ(std::system(("identify '" + path("doc.psd") + "' > '" + path("identify.txt") + "'").c_str()), 0);
    EXPECT_EQ(countOf(readText(path("identify.txt")), "PSD 600x400 "), 12u) << readText(path("identify.txt"));
    EXPECT_NE(readText(path("page.html")).find("web_images/a.jpg"), std::string::npos);
    EXPECT_NE(readText(path("dots.html")).find("web_images/dot%201.jpg"), std::string::npos);
    // Nothing of the cancelled export, not even a temporary file.
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(root_)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"about.png", "doc.psd", "dots.html", "events.txt", "home",
                                               "identify.txt", "out.png", "page.html", "presets", "web_images"}));
    cli::Image about;
    std::string why;
    ASSERT_TRUE(cli::readImage(path("about.png"), about, &why)) << why;
    EXPECT_EQ(about.width, ui::windowWidth(ui::WindowId::About));
}

}  // namespace
}  // namespace tv::test

namespace tv::test {
namespace {

// Under Xvfb, a running terravane edit opens the GTK file chooser (Load) and
// the host's colour chooser (a colour button); each is shown, then closed
// with Escape, and Escape ends the dialog.
TEST_F(WindowsEditTest, FileAndColourChoosersUnderXvfb) {
    if (std::system("command -v Xvfb >/dev/null && command -v xdotool >/dev/null && command -v import >/dev/null") != 0)
        GTEST_SKIP() << "Xvfb, xdotool or ImageMagick's import is missing (scripts/install-deps installs them)";
    float lx = 0, ly = 0, cx = 0, cy = 0;
    ASSERT_TRUE(ui::controlPoint(ui::kLoad, 0.5f, 0.5f, lx, ly));
    ASSERT_TRUE(ui::controlPoint(ui::kLandColourButton, 0.5f, 0.5f, cx, cy));
    auto waitWindow = [](const std::string& name, const std::string& var) {
        return "for i in $(seq 100); do " + var + "=$(xdotool search --onlyvisible --name '" + name +
               "' | tail -1); [ -n \"$" + var + "\" ] && break; sleep 0.1; done\n";
    };
    auto waitGone = [](const std::string& var) {
        return "for i in $(seq 50); do xdotool getwindowname $" + var + " >/dev/null 2>&1 || break; sleep 0.1; done\n";
    };
    const std::string script =
        "unset TERRAVANE_DIALOG_PEER TERRAVANE_DIALOG_REPLAY\n"
        "export HOME=\"$PWD/user\" XDG_CONFIG_HOME=\"$PWD/user/config\" XDG_DATA_HOME=\"$PWD/user/data\" "
        "GSETTINGS_BACKEND=memory NO_AT_BRIDGE=1\n"
        "mkdir -p user\n"
        // A display number the server picks itself: engineers and runs share the machine.
        "Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>display.num >/dev/null 2>&1 &\n"
        "xvfb=$!\n"
        "for i in $(seq 100); do [ -s display.num ] && break; sleep 0.1; done\n"
        "export DISPLAY=:$(cat display.num)\n"
        "trap 'kill $xvfb 2>/dev/null' EXIT\n"
        "for i in $(seq 100); do xdotool getdisplaygeometry >/dev/null 2>&1 && break; sleep 0.1; done\n"
        "'" + terravanePath() + "' edit --defaults --size 300x200 -o g.png >/dev/null 2>edit.err </dev/null &\n"
        "edit=$!\n" +
        waitWindow("^Terravane$", "w") + "sleep 1\n" +
        "xdotool mousemove --window $w " + std::to_string(int(lx)) + " " + std::to_string(int(ly)) + " click 1\n" +
        waitWindow("^Open a settings file$", "f") + "[ -n \"$f\" ] && echo files > seen\nsleep 1\n" +
        "import -window root files.png\n"
        "xdotool windowfocus $f key Escape\n" + waitGone("f") +
        "xdotool mousemove --window $w " + std::to_string(int(cx)) + " " + std::to_string(int(cy)) + " click 1\n" +
        waitWindow("^Choose the land color.$", "c") + "[ -n \"$c\" ] && echo colour >> seen\nsleep 1\n" +
        "import -window root colour.png\n"
        "xdotool windowfocus $c key Escape\n" + waitGone("c") +
        "xdotool windowfocus $w key Escape\n"
        "for i in $(seq 100); do kill -0 $edit 2>/dev/null || break; sleep 0.1; done\n"
        "kill $edit 2>/dev/null\n"
        "wait $edit\n"
        "echo $? > edit.status\n";
    ASSERT_TRUE(writeText(path("xvfb.sh"), script));
    std::system(("cd '" + root_.string() + "' && sh xvfb.sh >xvfb.out 2>&1").c_str());
    EXPECT_EQ(readText(path("seen")), "files\ncolour\n") << readText(path("xvfb.out"));
    EXPECT_EQ(readText(path("edit.status")), "1\n") << readText(path("edit.err"));
    for (const char* shot : {"files.png", "colour.png"}) {
        cli::Image screen;
        std::string why;
        ASSERT_TRUE(cli::readImage(path(shot), screen, &why)) << why;
        EXPECT_EQ(screen.width, 1280);
    }
    if (const char* keep = std::getenv("TERRAVANE_KEEP_SCREENSHOTS")) {
        std::filesystem::copy_file(path("files.png"), std::string(keep) + "/files.png",
                                   std::filesystem::copy_options::overwrite_existing);
        std::filesystem::copy_file(path("colour.png"), std::string(keep) + "/colour.png",
                                   std::filesystem::copy_options::overwrite_existing);
    }
}

}  // namespace
}  // namespace tv::test
