// The window peer: one top-level window that shows a canvas the client paints
// itself, and turns the system's mouse, key and timer messages into plain
// events. The client (the dialog) does all drawing and all behaviour; a peer
// only shows pixels, forwards events, keeps timers and cursors, runs a modal
// loop and opens the system's own dialogs. Backends: gtk/ (Linux), win32/
// (Windows) and headless/ (no display: events come from a script, the canvas
// can be saved as a PNG file).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tv::platform {

// A rectangle in window pixels (96 dots per inch), right and bottom exclusive.
struct WindowRect {
    int32_t left = 0, top = 0, right = 0, bottom = 0;
    bool empty() const { return right <= left || bottom <= top; }
};

// The pixels the client paints into: device pixels, one 32-bit word each,
// 0xAARRGGBB (bytes B, G, R, A in memory on a little-endian machine: the
// layout of a top-down 32-bit DIB section and of a Cairo RGB24 image), rows
// top to bottom. scale is device pixels per window pixel.
struct Canvas {
    uint32_t* pixels = nullptr;
    int32_t width = 0, height = 0;  // device pixels
    int32_t stride = 0;             // words from one row to the next
    float scale = 1.0f;
};

// A surface at one device pixel per window pixel on which the host's own
// display routine draws (the preview). nativeContext is what the host's
// routine receives: on Windows a device context with the surface's pixels
// selected into it; elsewhere a pointer to the surface itself, recognised by
// its magic word.
struct DisplaySurface {
    uint32_t magic = 0;
    int32_t width = 0, height = 0;
    int32_t stride = 0;  // words
    uint32_t* pixels = nullptr;
    void* nativeContext = nullptr;
};
constexpr uint32_t kDisplaySurfaceMagic = 0x54565053u;  // "TVPS"

enum class MouseButton : uint8_t { None, Left, Right, Middle };

enum Modifier : uint32_t {
    kModShift = 1,
    kModControl = 2,
    kModAlt = 4,
};

enum class Key : uint8_t {
    None,
    Character,  // a printable key; WindowEvent::character holds its code point
    Tab,
    Return,
    Escape,
    Space,
    Backspace,
    Delete,
    Left,
    Right,
    Up,
    Down,
    Home,
    End,
    PageUp,
    PageDown,
};

struct WindowEvent {
    enum Kind : uint8_t {
        MouseDown,
        MouseUp,
        MouseMove,
        MouseLeave,
        Wheel,    // steps > 0 away from the user
        KeyDown,  // key, modifiers (and character for Key::Character)
        Text,     // character: a typed code point
        Timer,    // timer id
        Close,    // the window's close box
        Command,  // id: a command sent from outside (the headless script's ok and cancel)
        FocusLost,
    };
    Kind kind = MouseMove;
    float x = 0.0f, y = 0.0f;  // window pixels
    MouseButton button = MouseButton::None;
    uint32_t modifiers = 0;
    int32_t clicks = 1;  // 2 for the second press of a double click
    Key key = Key::None;
    uint32_t character = 0;
    int32_t id = 0;     // timer or command id
    int32_t steps = 0;  // wheel
};

// A cursor of the client's own drawing (premultiplied 0xAARRGGBB at the
// given scale), or a system one.
struct CursorShape {
    enum Kind : uint8_t { Arrow, Wait, Image } kind = Arrow;
    int32_t id = 0;                 // identifies an image cursor, so a peer can keep it
    int32_t width = 0, height = 0;  // device pixels
    float scale = 1.0f;
    int32_t hotX = 0, hotY = 0;  // device pixels
    std::vector<uint32_t> pixels;
};

// A picture a file carries, for a file chooser's preview panel: 0xFFRRGGBB
// words, rows top to bottom.
struct FilePicture {
    int32_t width = 0, height = 0;
    std::vector<uint32_t> pixels;
};

// The system's file chooser. A save dialog asks before it replaces a file,
// and a name typed without an extension gets the pattern's (".q1q" for
// "*.q1q"; none for "*").
struct FileRequest {
    bool save = false;
    std::string title;
    std::string filterName;   // "Terravane presets (*.q1q)"
    std::string pattern;      // "*.q1q"; empty or "*" for every file
    std::string folder;       // where it opens; empty: the system's choice
    std::string initialName;  // save: the name proposed
    // Open: a preview panel beside the list shows the selected file's
    // picture, when this gives one (empty, or false: the panel stays empty).
    std::function<bool(const std::string& path, FilePicture& picture)> picture;
};

// The colour chooser's custom colours (0x00RRGGBB), kept by the caller for
// as long as the module lives and shared by every colour button.
constexpr int kCustomColourCount = 16;

// A secondary window of a dialog (a chooser, a progress window, the about
// box): drawn by its own client like the dialog, placed where the client
// says, closed by destroying it.
struct ChildOptions {
    std::string name;   // a short name by which a script addresses it ("clouds")
    std::string title;
    int32_t width = 0, height = 0;  // window pixels
    int32_t x = 0, y = 0;           // where its client area's top-left goes, screen window pixels
    // While a modal child is open, its owner and the owner's other children
    // take no mouse or key input (they still paint and get timers).
    bool modal = false;
};

// Where a window's client area is on the screen, and the screen's work area,
// in window pixels; captionButton is the width of a title-bar button.
struct ScreenGeometry {
    WindowRect client;
    WindowRect workArea;
    int32_t captionButton = 0;
};

class WindowClient {
public:
    virtual ~WindowClient() = default;
    // Paints the part dirty (window pixels) of the canvas; the rest of the
    // canvas keeps what it held.
    virtual void paint(Canvas& canvas, const WindowRect& dirty) = 0;
    virtual void event(const WindowEvent& event) = 0;
    // For a peer that shows tips in the system's tooltip window: the text for
    // the point (x, y), and a number for the part of the window it belongs to
    // (the tip is taken down when the pointer moves to another); -1 for none.
    virtual int32_t tooltipAt(float x, float y, std::string& text) {
        (void)x, (void)y, (void)text;
        return -1;
    }
};

class Window {
public:
    virtual ~Window() = default;
    // Asks for a paint of r (empty: the whole window).
    virtual void invalidate(const WindowRect& r) = 0;
    // Paints what is invalid now (before long work on the window's thread).
    virtual void flush() = 0;
    // A one-shot timer: after ms milliseconds the client gets a Timer event
    // with this id. Setting a running timer starts it again.
    virtual void setTimer(int32_t id, int32_t ms) = 0;
    virtual void killTimer(int32_t id) = 0;
    virtual void setCursor(const CursorShape& cursor) = 0;
    virtual float scale() const = 0;
    // True when the peer shows the client's tips itself (tooltipAt), so that
    // the client draws none.
    virtual bool showsTooltips() const { return false; }
    // Runs a modal loop until endModal; returns its code.
    virtual int32_t runModal() = 0;
    virtual void endModal(int32_t code) = 0;
    // The preview's display surface, width x height window pixels (the peer
    // keeps it until the next call or the window's end).
    virtual DisplaySurface* displaySurface(int32_t width, int32_t height) = 0;

    // The system's dialogs, modal over this window. False when cancelled.
    virtual bool chooseFile(const FileRequest& request, std::string& path) = 0;
    virtual bool chooseFolder(const std::string& prompt, std::string& folder) = 0;
    // custom: the shared custom colours, shown by the dialog (it may change them).
    virtual bool chooseColour(const std::string& prompt, uint8_t rgb[3], uint32_t custom[kCustomColourCount]) = 0;
    virtual void showMessage(const std::string& title, const std::string& text) = 0;

    // Opens a page (an address or an HTML file) in the user's browser; false
    // with a reason when that cannot be started.
    virtual bool openPage(const std::string& page, std::string* error) = 0;

    // Secondary windows: owned by this window, shown at once; null with a
    // reason when none can be made. runModal and endModal are not used on them.
    virtual std::unique_ptr<Window> openChild(const ChildOptions& options, WindowClient& client,
                                              std::string* error) = 0;
    virtual ScreenGeometry screenGeometry() const = 0;
    // Brings the window to the front.
    virtual void raise() = 0;
};

struct WindowOptions {
    std::string title;
    int32_t width = 0, height = 0;  // window pixels
    // The host's window as its platform data names it, when it gives one: a
    // window handle on Windows, an X11 window id on Linux.
    void* parent = nullptr;
};

// Whether the system can show windows here (a display can be opened).
bool nativeWindowsAvailable(std::string* why);
// The system's colour dialog on its own (a host's colour picker), modal over
// the process's active window. False when cancelled or when none can be shown.
bool chooseColourNative(const std::string& prompt, uint8_t rgb[3]);
// The system's window peer; null with a reason when no window can be opened.
std::unique_ptr<Window> openNativeWindow(const WindowOptions& options, WindowClient& client, std::string* error);

// ---- the headless peer ----------------------------------------------------------

class HeadlessWindow;

// Drives a headless window: the peer's modal loop calls step() until it
// returns false or the window ends; each step acts on the window. The
// system's dialogs are answered by the script.
class HeadlessScript {
public:
    virtual ~HeadlessScript() = default;
    virtual bool step(HeadlessWindow& window) = 0;
    virtual bool answerFile(const FileRequest& request, std::string& path) = 0;
    virtual bool answerFolder(const std::string& prompt, std::string& folder) = 0;
    virtual bool answerColour(const std::string& prompt, uint8_t rgb[3]) = 0;
    virtual void answerMessage(const std::string& title, const std::string& text) = 0;
    // A page the dialog opened (recorded, not shown).
    virtual void pageOpened(const std::string& page) = 0;
    // The script ran out before the window ended: the window gets Close.
};

class HeadlessWindow : public Window {
public:
    // Hands an event to the client (and paints what it invalidated).
    virtual void deliver(const WindowEvent& event) = 0;
    // Fires every running timer once, in the order they were set.
    virtual void fireTimers() = 0;
    virtual bool ended() const = 0;
    virtual const CursorShape& cursor() const = 0;
    // Paints what is invalid and writes the canvas as an 8-bit RGB PNG file.
    virtual bool writeScreenshot(const std::string& path, std::string* error) = 0;
    // An open secondary window by its name ("main": this one); null when none is open.
    virtual HeadlessWindow* window(const std::string& name) = 0;
    // Whether this window takes input now (no modal child of its owner is open).
    virtual bool takesInput() const = 0;
};

std::unique_ptr<HeadlessWindow> openHeadlessWindow(const WindowOptions& options, WindowClient& client,
                                                   HeadlessScript& script, float scale);

// The dialog peer a module should use, from the environment its host set:
// TERRAVANE_DIALOG_REPLAY names an events file for the headless peer (and
// TERRAVANE_DIALOG_SCREENSHOT a PNG written when the replay ends,
// TERRAVANE_DIALOG_SCALE its scale); TERRAVANE_DIALOG_PEER=none stands for a
// system that cannot show the dialog. Otherwise the native peer.
struct DialogPeerChoice {
    enum Kind : uint8_t { Native, Headless, None } kind = Native;
    std::string replayPath;
    std::string screenshotPath;
    float scale = 1.0f;
};
DialogPeerChoice dialogPeerChoice();

// Writes rows of 0xAARRGGBB words as an 8-bit RGB PNG file (whole or not at all).
bool writeCanvasPng(const std::string& path, const uint32_t* pixels, int32_t width, int32_t height, int32_t stride,
                    std::string* error);

}  // namespace tv::platform
