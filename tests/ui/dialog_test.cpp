// The dialog's rules without a window: events in, state and actions out. The
// host's preview is a stand-in that only sets the visible window's size.
#include <gtest/gtest.h>

#include <cstring>

#include "persist/dice.h"
#include "persist/memory_dots.h"
#include "persist/settings_file.h"
#include "persist/undo.h"
#include "../support/temp_home.h"
#include "ui/dialog.h"

namespace tv::ui {
namespace {

using platform::WindowEvent;

class DialogTest : public test::TempHome {
protected:
    ParamRecord params = defaultRecord();
    StateBlock state{};
    persist::UndoSlots undo;
    DialogState s;
    Actions last;
    int32_t width = 1920, height = 1080;

    static int32_t render(void* c, int32_t pw, int32_t ph) {
        auto& t = *static_cast<DialogTest*>(c);
        const int32_t f = t.params.sampleFactor;
        t.state.renderWidth = std::min(t.width / f, pw);
        t.state.renderHeight = std::min(t.height / f, ph);
        return 0;
    }

    void open(bool canZoom = true) {
        persist::clearUndo(undo, state);
        persist::recordUndo(params, state, undo, true);  // as start does before the dialog
        DialogSetup setup;
        setup.params = &params;
        setup.state = &state;
        setup.undo = &undo;
        setup.preview = {this, true, canZoom, width, height, render, nullptr};
        openDialog(s, setup, last);
    }
    void send(const WindowEvent& e) {
        last.clear();
        Event ev;
        ev.window = e;
        handle(s, ev, last);
    }
    void mouse(WindowEvent::Kind kind, float x, float y, uint32_t mods = 0, bool right = false) {
        WindowEvent e{kind};
        e.x = x;
        e.y = y;
        e.modifiers = mods;
        e.button = right ? platform::MouseButton::Right : platform::MouseButton::Left;
        send(e);
    }
    void click(int id, float fx = 0.5f, float fy = 0.5f, uint32_t mods = 0, bool right = false) {
        float x, y;
        ASSERT_TRUE(controlPoint(id, fx, fy, x, y));
        mouse(WindowEvent::MouseDown, x, y, mods, right);
        mouse(WindowEvent::MouseUp, x, y, mods, right);
    }
    void key(platform::Key k, uint32_t mods = 0, uint32_t character = 0) {
        WindowEvent e{WindowEvent::KeyDown};
        e.key = k;
        e.modifiers = mods;
        e.character = character;
        send(e);
    }
    void typeInto(int edit, const char* text) {
        click(edit);
        key(platform::Key::End);
        key(platform::Key::Home, platform::kModShift);
        for (const char* c = text; *c; ++c) {
            WindowEvent e{WindowEvent::Text};
            e.character = uint32_t(*c);
            send(e);
        }
    }
    void timer(int32_t id) {
        WindowEvent e{WindowEvent::Timer};
        e.id = id;
        send(e);
    }
    bool ended(int code) const {
        for (const Action& a : last)
            if (a.kind == Action::End) return a.code == code;
        return false;
    }
};

TEST_F(DialogTest, PreviewFitsZoomsPansAndPlacesThePlanet) {
    open();
    EXPECT_EQ(s.fitFactor, 7);  // 1080 / 173 and 1920 / 287, rounded up
    EXPECT_EQ(params.sampleFactor, 7);
    EXPECT_FALSE(s.enabled[kZoomOut]);
    EXPECT_TRUE(s.enabled[kZoomIn] && s.enabled[kZoomFull]);

    // A click on the image's centre at the fit factor puts the planet there.
    float ox, oy;
    previewOrigin(s, ox, oy);
    mouse(WindowEvent::MouseDown, ox + state.renderWidth / 2.0f, oy + state.renderHeight / 2.0f);
    mouse(WindowEvent::MouseUp, ox + state.renderWidth / 2.0f, oy + state.renderHeight / 2.0f);
    EXPECT_NEAR(params.xCenter, 0.5f, 7.0f / 1920.0f);
    EXPECT_NEAR(params.yCenter, 0.5f, 7.0f / 1080.0f);

    // Zoomed in, the view keeps its centre; a drag pans within the image.
    click(kZoomIn);
    click(kZoomIn);
    EXPECT_EQ(params.sampleFactor, 5);
    EXPECT_GT(params.previewOriginX, 0);
    const int32_t originX = params.previewOriginX;
    const ControlRect pane = previewInner();
    mouse(WindowEvent::MouseDown, pane.left + 100, pane.top + 50);
    mouse(WindowEvent::MouseMove, pane.left + 90, pane.top + 50);
    mouse(WindowEvent::MouseUp, pane.left + 90, pane.top + 50);
    EXPECT_EQ(params.previewOriginX, originX + 50);
    EXPECT_NEAR(params.xCenter, 0.5f, 0.01f);                   // a drag is no click
    mouse(WindowEvent::MouseDown, pane.left - 2000, pane.top);  // off the dialog: nothing
    mouse(WindowEvent::MouseUp, pane.left - 2000, pane.top);
    // A press and release without a move is a click, even when zoomed in.
    mouse(WindowEvent::MouseDown, pane.left + 1, pane.top + 1);
    mouse(WindowEvent::MouseUp, pane.left + 1, pane.top + 1);
    EXPECT_LT(params.xCenter, 0.5f);

    // Back at the fit factor the offsets return to 0; 100 % is factor 1.
    click(kZoomOut);
    click(kZoomOut);
    EXPECT_EQ(params.sampleFactor, 7);
    EXPECT_EQ(params.previewOriginX, 0);
    EXPECT_EQ(params.previewOriginY, 0);
    click(kZoomFull);
    EXPECT_EQ(params.sampleFactor, 1);
    EXPECT_FALSE(s.enabled[kZoomIn]);
    // The wheel over the preview zooms too.
    WindowEvent wheel{WindowEvent::Wheel};
    wheel.x = pane.left + 10;
    wheel.y = pane.top + 10;
    wheel.steps = -1;
    send(wheel);
    EXPECT_EQ(params.sampleFactor, 2);
}

TEST_F(DialogTest, ASmallImageFitsAtOneAndCannotZoom) {
    width = 200;
    height = 100;
    open();
    EXPECT_EQ(s.fitFactor, 1);
    EXPECT_FALSE(s.enabled[kZoomIn] || s.enabled[kZoomOut] || s.enabled[kZoomFull]);
    float ox, oy;
    previewOrigin(s, ox, oy);
    mouse(WindowEvent::MouseDown, ox + 50, oy + 25);
    mouse(WindowEvent::MouseUp, ox + 50, oy + 25);
    EXPECT_NEAR(params.xCenter, 0.25f, 0.006f);
    EXPECT_NEAR(params.yCenter, 0.25f, 0.011f);
}

TEST_F(DialogTest, TypingSlidersGlobesAndTheKeyboard) {
    open();
    // Typed values are clamped at once and the box rewritten when the timer fires.
    typeInto(85, "150");
    EXPECT_EQ(s.values[39], 100);
    EXPECT_EQ(s.edits[85].text, "150");
    timer(kPreviewTimer);
    EXPECT_EQ(s.edits[85].text, "100");
    EXPECT_EQ(params.landComplexity, 100);

    // Dragging a slider: 100 values over 100 pixels, clamped at the ends.
    float x, y;
    controlPoint(37, 0.0f, 0.5f, x, y);
    mouse(WindowEvent::MouseDown, x - 30, y);
    EXPECT_EQ(s.captured, kNoControl);  // outside the track
    mouse(WindowEvent::MouseDown, x + 2, y);
    mouse(WindowEvent::MouseMove, x + 45, y);
    EXPECT_EQ(s.values[37], 40);
    mouse(WindowEvent::MouseMove, x + 400, y);
    mouse(WindowEvent::MouseUp, x + 400, y);
    EXPECT_EQ(params.planetSize, 100);
    EXPECT_EQ(s.edits[86].text, "100");

    // The arrows step the focused slider; Ctrl on a globe points it at the viewer.
    key(platform::Key::Left);
    key(platform::Key::PageDown);
    EXPECT_EQ(params.planetSize, 89);
    controlPoint(kLightGlobe, 0.1f, 0.1f, x, y);
    mouse(WindowEvent::MouseDown, x, y);
    mouse(WindowEvent::MouseMove, x + 3, y, platform::kModControl);
    mouse(WindowEvent::MouseUp, x + 3, y, platform::kModControl);
    EXPECT_EQ(params.lightX, 0.0f);
    EXPECT_EQ(params.lightY, 0.0f);
    EXPECT_EQ(params.lightZ, 1.0f);

    // Tab walks the controls; a mnemonic clicks its button; Return is OK.
    s.focus = kNoControl;
    key(platform::Key::Tab);
    EXPECT_EQ(s.focus, 37);
    key(platform::Key::Tab);
    EXPECT_EQ(s.focus, 86);
    key(platform::Key::Tab, platform::kModShift);
    EXPECT_EQ(s.focus, 37);
    key(platform::Key::Character, platform::kModAlt, 'e');
    EXPECT_EQ(std::string(params.settingsName), "random settings");
    key(platform::Key::Return);
    EXPECT_TRUE(ended(kOk));
}

TEST_F(DialogTest, UndoAlternatesEcceChangesTheSeedAndCancelRestoresEverything) {
    open();
    const ParamRecord start = params;
    click(45, 0.9f);  // storm count
    const int32_t changed = params.stormCount;
    ASSERT_NE(changed, start.stormCount);
    // A colour dialog cancelled changes nothing and records no undo step.
    click(kLandColourButton);
    ASSERT_EQ(s.pending, Pending::Colour);
    Event cancelled;
    cancelled.kind = Event::Answer;
    handle(s, cancelled, last);
    click(kUndo);
    EXPECT_EQ(params.stormCount, start.stormCount);
    click(kUndo);
    EXPECT_EQ(params.stormCount, changed);

    persist::seedModuleRandom(5);
    ParamRecord before = params;
    click(kEcce);
    EXPECT_NE(params.randomSeed, before.randomSeed);
    EXPECT_LE(params.randomSeed, 0x7FF);
    before.randomSeed = params.randomSeed;
    setText(before.settingsName, "random settings");
    EXPECT_EQ(std::memcmp(&before, &params, offsetof(ParamRecord, dialogFlags)), 0);  // nothing else
    click(kDice);
    EXPECT_EQ(params.planetSize, start.planetSize);
    EXPECT_EQ(std::string(params.settingsName), "random settings");
    click(kPlain);
    EXPECT_EQ(std::string(params.settingsName), "plain settings");

    // Cancel brings back the record exactly as it was when the dialog opened.
    key(platform::Key::Escape);
    EXPECT_TRUE(ended(kCancel));
    params.renderDestination = start.renderDestination;  // set for the preview before the copy was taken
    EXPECT_EQ(std::memcmp(&params, &s.saved, sizeof params), 0);
}

TEST_F(DialogTest, MemoryDots) {
    // Dot 0 is kept from an earlier run: the starting settings land in dot 1.
    state.dotMarks[0] = 1;
    persist::saveDotMap(state);
    persist::writeSettingsFile(persist::dotFilePath(0), defaultRecord(), nullptr);
    open();
    EXPECT_EQ(state.dotDisplay[0], persist::kDotFilled);
    EXPECT_EQ(state.dotDisplay[1], persist::kDotCurrent);
    EXPECT_EQ(state.dotMarks[1], 0);

    click(kFirstDot + 4);  // kept
    EXPECT_EQ(state.dotMarks[4], 1);
    EXPECT_EQ(state.dotDisplay[4], persist::kDotCurrent);
    EXPECT_EQ(state.dotDisplay[1], persist::kDotFilled);
    click(kFirstDot + 5, 0.5f, 0.5f, platform::kModControl);  // filled for now, not kept
    EXPECT_EQ(state.dotMarks[5], 0);
    EXPECT_EQ(state.dotDisplay[5], persist::kDotCurrent);

    // A change makes the current dot a plain filled one.
    click(43, 0.1f);
    EXPECT_EQ(state.dotDisplay[5], persist::kDotFilled);

    // A plain click on a filled dot brings it back under its own name.
    click(kFirstDot + 1);
    EXPECT_EQ(std::string(params.settingsName), "dot 2");
    EXPECT_EQ(params.stormSize, defaultRecord().stormSize);
    EXPECT_EQ(state.dotDisplay[1], persist::kDotCurrent);

    // A right click empties a dot and the map is written at once.
    click(kFirstDot + 4, 0.5f, 0.5f, 0, true);
    EXPECT_EQ(state.dotDisplay[4], persist::kDotEmpty);
    StateBlock reread{};
    ASSERT_EQ(persist::loadDotMap(reread), 0);
    EXPECT_EQ(reread.dotMarks[0], 1);
    EXPECT_EQ(reread.dotMarks[4], 0);
}

}  // namespace
}  // namespace tv::ui
