// The main dialog, platform-neutral: its state, the one function that turns an
// event into changes of that state and the actions a window peer carries out
// (repaint, timers, cursors, system dialogs, the end), and the painting.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "base/image.h"
#include "params/params.h"
#include "persist/undo.h"
#include "platform/window.h"
#include "render/engine.h"
#include "ui/controls.h"
#include "ui/secondary.h"

namespace tv::ui {

class Painter;

// The host's side of the preview, given by the module.
struct PreviewHost {
    void* context = nullptr;
    bool available = false;                   // the host can deliver and show a preview (the host-preview flag)
    bool canZoom = false;                     // ... at a reduced sampling (zoom buttons work)
    int32_t imageWidth = 0, imageHeight = 0;  // the filter rectangle
    // Renders the visible window at the record's sample factor and origin
    // into the state block's preview image, cut to paneWidth x paneHeight.
    // Returns 0 or the host's result.
    int32_t (*render)(void* context, int32_t paneWidth, int32_t paneHeight) = nullptr;
    // Hands the preview image to the host's display routine, which draws it
    // at the top left of the native drawing context.
    int32_t (*display)(void* context, void* nativeContext) = nullptr;
};

// The host's colour picker, when it offers one: true when the user chose a
// colour (rgb then holds it), false when cancelled.
struct HostColourPicker {
    void* context = nullptr;
    bool (*pick)(void* context, const std::string& prompt, uint8_t rgb[3]) = nullptr;
};

struct DialogSetup {
    ParamRecord* params = nullptr;
    StateBlock* state = nullptr;
    persist::UndoSlots* undo = nullptr;
    Engine* engine = nullptr;  // for exports, thumbnails and the cloud map
    PreviewHost preview;
    HostColourPicker hostColours;
    bool modeListEnabled = true;  // false for 32-bit images
    int32_t depthBits = 8;        // the host image's (the layered export's depth)
};

struct EditBox {
    std::string text;
    int32_t caret = 0;   // byte offsets
    int32_t anchor = 0;  // the other end of the selection
};

// A system dialog the dialog is waiting for.
enum class Pending : uint8_t {
    None,
    Colour,
    Load,
    Save,
    Layers,
    CatalogueFolder,
    CataloguePage,
    DotsPage,
    RefreshFolder,
};

// The timers.
constexpr int32_t kPreviewTimer = 8064;  // re-render a second after the last keystroke
constexpr int32_t kTooltipTimer = 8070;  // show the tooltip of the control under the pointer
constexpr int32_t kPreviewTimerMs = 1000;
constexpr int32_t kTooltipTimerMs = 600;

// The cursors of our own.
enum class CursorId : uint8_t { Arrow, Wait, Target, Grabbing };

struct DialogState {
    DialogSetup setup;
    // Control tables, indexed by control id.
    std::array<int32_t, kControlCount> values{};
    std::array<int32_t, kControlCount> minimum{}, maximum{};
    std::array<Colour16, kControlCount> colours{};
    std::array<std::array<float, 3>, kControlCount> vectors{};
    std::array<bool, kControlCount> enabled{};
    std::array<EditBox, kControlCount> edits;
    ParamRecord saved{};  // what Cancel restores

    // Mouse: the control under capture, where the mouse was, the press flags.
    int captured = kNoControl;
    float lastX = 0.0f, lastY = 0.0f;
    bool lastCtrl = false;
    bool rightFlag = false, ctrlFlag = false;
    bool moved = false;
    bool dragChanged = false;  // the captured control's value changed
    float grabOffset = 0.0f;   // a slider's thumb was taken this far from the point the arithmetic expects
    int hot = kNoControl;      // under the pointer
    int pressed = kNoControl;  // a button held down (drawn pressed while the pointer is on it)
    bool pressInside = false;
    int focus = kNoControl;
    CursorId cursor = CursorId::Arrow;

    // Preview.
    int32_t fitFactor = 1;
    bool previewShown = false;
    double lastRenderSeconds = 0.0;
    platform::DisplaySurface* surface = nullptr;

    // The map-mode list's drop-down.
    bool listOpen = false;
    int listHot = -1;

    // Tooltip.
    int tipFor = kNoControl;
    bool tipShown = false;
    float tipX = 0.0f, tipY = 0.0f;
    bool systemTips = false;  // the peer shows the tips in the system's window

    // The memory dot picture (88 x 88), shown in the special dot.
    RgbImage picture;

    bool editTimerRunning = false;
    Pending pending = Pending::None;
    int pendingControl = kNoControl;
    std::string pendingFolder;
    Pending work = Pending::None;  // a long job asked for (a Work event runs it)
    std::string workPath;
    int endCode = 0;  // 3 OK, 2 Cancel once ended

    SecondaryState windows;
};

// What happened.
struct Event {
    enum Kind : uint8_t { Window, Answer, Work } kind = Window;
    platform::WindowEvent window;
    WindowId target = WindowId::Main;  // the window a Window event came to
    // The answer to a system dialog.
    bool ok = false;
    std::string path;
    uint8_t rgb[3] = {0, 0, 0};
};

// What the peer is to do, in order.
struct Action {
    enum Kind : uint8_t {
        Repaint,       // rect (empty: everything)
        SetTimer,      // id, ms
        KillTimer,     // id
        Cursor,        // cursor
        FileDialog,    // file
        FolderDialog,  // text: the prompt
        ColourDialog,  // text: the prompt; rgb; host: the host's picker rather than the system's dialog
        Message,       // title, text
        Work,          // a long job: show the wait cursor, paint, then send a Work event
        End,           // code
        OpenWindow,    // window: a secondary window, centred over the dialog
        CloseWindow,   // window
        RaiseWindow,   // window: to the front
        OpenPage,      // text: a page for the browser
    } kind = Repaint;
    WindowId window = WindowId::Main;  // Repaint, SetTimer, KillTimer and the window actions
    bool host = false;
    platform::WindowRect rect;
    int32_t id = 0, ms = 0, code = 0;
    CursorId cursor = CursorId::Arrow;
    platform::FileRequest file;
    std::string title, text;
    uint8_t rgb[3] = {0, 0, 0};
};
using Actions = std::vector<Action>;

// Creation: tables, ranges, values from the record, the dot display, the first
// preview, the starting settings in the first free dot.
void openDialog(DialogState& s, const DialogSetup& setup, Actions& out);
// Every rule of the dialog.
void handle(DialogState& s, const Event& e, Actions& out);
// Draws the dialog (the part inside the painter's clip).
void paint(const DialogState& s, Painter& p);
// Draws a secondary window.
void paintWindow(const DialogState& s, WindowId id, Painter& p);

// ---- pieces the peer and the tests use -----------------------------------------

// Exchange between the control tables and the record, in the dialog's order.
void readControls(DialogState& s);   // controls -> record
void writeControls(DialogState& s);  // record -> controls
double getControlValue(DialogState& s, int id);
void setControlValue(DialogState& s, int id, double value);

// The preview pane's inner rectangle (the image area) in window pixels.
ControlRect previewInner();
// The fit factor of an image of w x h in a pane of pw x ph (integer arithmetic).
int32_t fitFactorFor(int32_t w, int32_t h, int32_t pw, int32_t ph);
// Where the visible window sits in the pane (its top-left).
void previewOrigin(const DialogState& s, float& x, float& y);

// The control at (x, y) the mouse acts on, or -1.
int hitTest(const DialogState& s, float x, float y);
// The centre of a control (for scripts); false when it has none.
bool controlPoint(int id, float fx, float fy, float& x, float& y);

// A cursor drawn for the peer.
platform::CursorShape cursorShape(CursorId id, float scale);

}  // namespace tv::ui
