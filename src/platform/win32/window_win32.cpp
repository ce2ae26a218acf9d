// The Win32 window peer: a top-level window owned by the host's window that
// shows the client's canvas (a DIB section at the monitor's scale factor),
// turns mouse, key, timer and close messages into events, keeps the cursors,
// feeds the system's tooltip window with the client's tips, and runs a modal
// loop with the owner disabled. Its secondary windows are top-level windows
// of the same kind owned by it; a modal one disables its owner and the
// owner's other secondary windows while it is open. Every window and its
// tooltip are made with the module's visual-styles context active and
// per-monitor DPI awareness.
// windows.h before the common controls and dialogs headers
#include "platform/win32/wide.h"

#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <set>
#include <vector>

#include "platform/display_context.h"
#include "platform/win32/system_dialogs.h"
#include "platform/win32/ui_context.h"
#include "platform/window.h"

#ifndef WM_DPICHANGED
#define WM_DPICHANGED 0x02E0
#endif

namespace tv::platform {

namespace {

using namespace win32;

constexpr wchar_t kClassName[] = L"TerravaneDialog";
constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
// A modal secondary window (a progress window) has no system menu and no close box.
constexpr DWORD kModalChildStyle = WS_POPUP | WS_CAPTION | WS_CLIPCHILDREN;
constexpr UINT_PTR kTipTool = 1;

WindowRect unite(const WindowRect& a, const WindowRect& b) {
    if (a.empty()) return b;
    if (b.empty()) return a;
    return {std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right), std::max(a.bottom, b.bottom)};
}

uint32_t keyModifiers() {
    uint32_t m = 0;
    if (GetKeyState(VK_SHIFT) < 0) m |= kModShift;
    if (GetKeyState(VK_CONTROL) < 0) m |= kModControl;
    if (GetKeyState(VK_MENU) < 0) m |= kModAlt;
    return m;
}

Key keyOf(WPARAM vk) {
    switch (vk) {
        case VK_TAB: return Key::Tab;
        case VK_RETURN: return Key::Return;
        case VK_ESCAPE: return Key::Escape;
        case VK_SPACE: return Key::Space;
        case VK_BACK: return Key::Backspace;
        case VK_DELETE: return Key::Delete;
        case VK_LEFT: return Key::Left;
        case VK_RIGHT: return Key::Right;
        case VK_UP: return Key::Up;
        case VK_DOWN: return Key::Down;
        case VK_HOME: return Key::Home;
        case VK_END: return Key::End;
        case VK_PRIOR: return Key::PageUp;
        case VK_NEXT: return Key::PageDown;
        default: return Key::None;
    }
}

class Win32Peer final : public Window {
public:
    // A secondary window when child is given: owned by ownerPeer, its client
    // area where the options say.
    Win32Peer(const WindowOptions& options, WindowClient& client, Win32Peer* ownerPeer = nullptr,
              const ChildOptions* child = nullptr)
        : client_(client), width_(options.width), height_(options.height), ownerPeer_(ownerPeer) {
        HWND parent = ownerPeer ? ownerPeer->hwnd_ : static_cast<HWND>(options.parent);
        owner_ = parent && IsWindow(parent) ? GetAncestor(parent, GA_ROOT) : nullptr;
        ActivationScope styles;
        DpiScope dpi;
        INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_WIN95_CLASSES};
        InitCommonControlsEx(&icc);
        const DWORD style = child && child->modal ? kModalChildStyle : kStyle;
        const DWORD exStyle = WS_EX_DLGMODALFRAME | (owner_ ? 0 : WS_EX_APPWINDOW);
        hwnd_ = CreateWindowExW(exStyle, kClassName, widen(options.title).c_str(), style, CW_USEDEFAULT,
                                CW_USEDEFAULT, width_, height_, owner_, nullptr, thisModule(), this);
        if (!hwnd_) return;
        scale_ = float(windowDpi(hwnd_)) / 96.0f;
        const SIZE outer = outerSize(device(width_), device(height_), style, exStyle, windowDpi(hwnd_));
        SetWindowPos(hwnd_, nullptr, 0, 0, outer.cx, outer.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        makeCanvas();
        if (child) {
            placeClientAt(child->x, child->y);
            ownerPeer_->children_.push_back(this);
            if (child->modal) holdOwner();
            ShowWindow(hwnd_, SW_SHOW);
            return;  // the client's own drawing shows no tips
        }
        centreWindow(hwnd_, owner_, false);
        tooltip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP,
                                   CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd_, nullptr,
                                   thisModule(), nullptr);
        if (tooltip_) {
            TOOLINFOW tool = toolInfo();
            tool.lpszText = LPSTR_TEXTCALLBACKW;
            SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
            SendMessageW(tooltip_, TTM_SETMAXTIPWIDTH, 0, device(320));
        }
    }

    ~Win32Peer() override {
        if (ownerDisabled_) EnableWindow(owner_, TRUE);
        // What a modal window held is enabled before it goes, so that the owner gets the activation back.
        for (HWND held : held_)
            if (IsWindow(held)) EnableWindow(held, TRUE);
        if (ownerPeer_) {
            auto& siblings = ownerPeer_->children_;
            siblings.erase(std::remove(siblings.begin(), siblings.end(), this), siblings.end());
        }
        for (Win32Peer* c : children_) c->ownerPeer_ = nullptr;
        *alive_ = false;
        if (tooltip_) DestroyWindow(tooltip_);
        if (hwnd_) {
            SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
            DestroyWindow(hwnd_);
        }
        releaseCanvas();
        for (auto& [id, cursor] : cursors_) DestroyCursor(cursor);
    }

    bool created() const { return hwnd_ != nullptr && canvas_.pixels != nullptr; }

    void invalidate(const WindowRect& r) override {
        const WindowRect d = r.empty() ? WindowRect{0, 0, width_, height_} : r;
        dirty_ = unite(dirty_, d);
        const RECT dr = deviceRect(d);
        InvalidateRect(hwnd_, &dr, FALSE);
    }

    void flush() override { UpdateWindow(hwnd_); }

    void setTimer(int32_t id, int32_t ms) override {
        timers_.insert(id);
        SetTimer(hwnd_, UINT_PTR(id), UINT(std::max(ms, 1)), nullptr);
    }

    void killTimer(int32_t id) override {
        timers_.erase(id);
        KillTimer(hwnd_, UINT_PTR(id));
    }

    void setCursor(const CursorShape& shape) override {
        HCURSOR cursor = nullptr;
        if (shape.kind == CursorShape::Image && !shape.pixels.empty()) {
            auto it = cursors_.find(shape.id);
            cursor = it != cursors_.end() ? it->second : (cursors_[shape.id] = imageCursor(shape));
        }
        if (!cursor) cursor = LoadCursorW(nullptr, shape.kind == CursorShape::Wait ? IDC_WAIT : IDC_ARROW);
        cursor_ = cursor;
        POINT p{};
        GetCursorPos(&p);
        if (GetCapture() == hwnd_ || WindowFromPoint(p) == hwnd_) ::SetCursor(cursor_);
    }

    float scale() const override { return scale_; }
    bool showsTooltips() const override { return tooltip_ != nullptr; }

    int32_t runModal() override {
        ended_ = false;
        ShowWindow(hwnd_, SW_SHOW);
        SetForegroundWindow(hwnd_);
        SetFocus(hwnd_);
        if (owner_ && IsWindowEnabled(owner_)) {
            EnableWindow(owner_, FALSE);
            ownerDisabled_ = true;
        }
        MSG msg;
        while (!ended_) {
            const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
            if (got == 0) {  // the application is quitting: pass it on, as the close box
                PostQuitMessage(int(msg.wParam));
                deliver(WindowEvent{WindowEvent::Close});
                if (!ended_) endModal(2);
                break;
            }
            if (got == -1) break;
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        // The owner is enabled before the window goes, so that it gets the activation back.
        if (ownerDisabled_) {
            EnableWindow(owner_, TRUE);
            ownerDisabled_ = false;
        }
        if (tooltip_) SendMessageW(tooltip_, TTM_POP, 0, 0);
        ShowWindow(hwnd_, SW_HIDE);
        return code_;
    }

    void endModal(int32_t code) override {
        code_ = code;
        ended_ = true;
        PostMessageW(hwnd_, WM_NULL, 0, 0);
    }

    DisplaySurface* displaySurface(int32_t width, int32_t height) override { return display_.resize(width, height); }

    bool chooseFile(const FileRequest& request, std::string& path) override {
        return runFileDialog(hwnd_, request, path);
    }
    bool chooseFolder(const std::string& prompt, std::string& folder) override {
        return runFolderDialog(hwnd_, prompt, folder);
    }
    bool chooseColour(const std::string& prompt, uint8_t rgb[3], uint32_t custom[kCustomColourCount]) override {
        return runColourDialog(hwnd_, prompt, rgb, custom);
    }
    void showMessage(const std::string& title, const std::string& text) override {
        runMessageBox(hwnd_, title, text);
    }

    bool openPage(const std::string& page, std::string* error) override {
        const auto done = reinterpret_cast<INT_PTR>(
            ShellExecuteW(hwnd_, L"open", widen(page).c_str(), nullptr, nullptr, SW_SHOWNORMAL));
        if (done > 32) return true;  // the system's way of saying it started
        if (error) *error = errorText(done == SE_ERR_NOASSOC ? ERROR_NO_ASSOCIATION : GetLastError());
        return false;
    }

    std::unique_ptr<Window> openChild(const ChildOptions& options, WindowClient& client, std::string* error) override {
        WindowOptions o;
        o.title = options.title;
        o.width = options.width;
        o.height = options.height;
        auto peer = std::make_unique<Win32Peer>(o, client, this, &options);
        if (peer->created()) return peer;
        if (error) *error = "the window cannot be created: " + errorText(GetLastError());
        return nullptr;
    }

    // In window pixels: the screen's device pixels over this window's scale.
    ScreenGeometry screenGeometry() const override {
        ScreenGeometry g;
        RECT client{};
        GetClientRect(hwnd_, &client);
        MapWindowPoints(hwnd_, nullptr, reinterpret_cast<POINT*>(&client), 2);
        g.client = windowRect(client);
        MONITORINFO info{};
        info.cbSize = sizeof(info);
        if (!GetMonitorInfoW(MonitorFromWindow(hwnd_, MONITOR_DEFAULTTONEAREST), &info))
            SystemParametersInfoW(SPI_GETWORKAREA, 0, &info.rcWork, 0);
        g.workArea = windowRect(info.rcWork);
        // The metric is at the system's dots per inch.
        HDC screen = GetDC(nullptr);
        const int systemDpi = screen ? GetDeviceCaps(screen, LOGPIXELSX) : 96;
        if (screen) ReleaseDC(nullptr, screen);
        g.captionButton = MulDiv(GetSystemMetrics(SM_CXSIZE), 96, systemDpi > 0 ? systemDpi : 96);
        return g;
    }

    void raise() override {
        SetWindowPos(hwnd_, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
        SetForegroundWindow(hwnd_);
    }

    static LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_NCCREATE) {
            auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
            SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        }
        auto* peer = reinterpret_cast<Win32Peer*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        if (peer) {
            LRESULT result = 0;
            if (peer->handle(message, wParam, lParam, result)) return result;
        }
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }

private:
    int32_t device(int32_t v) const { return int32_t(std::lround(float(v) * scale_)); }

    WindowRect windowRect(const RECT& r) const {
        return {int32_t(std::lround(float(r.left) / scale_)), int32_t(std::lround(float(r.top) / scale_)),
                int32_t(std::lround(float(r.right) / scale_)), int32_t(std::lround(float(r.bottom) / scale_))};
    }

    // Moves the window so that its client area's top-left is at (x, y) screen window pixels.
    void placeClientAt(int32_t x, int32_t y) {
        RECT frame{};
        GetWindowRect(hwnd_, &frame);
        POINT origin{0, 0};
        ClientToScreen(hwnd_, &origin);
        const float at = ownerPeer_ ? ownerPeer_->scale_ : scale_;  // the owner's pixels gave x and y
        SetWindowPos(hwnd_, nullptr, LONG(std::lround(float(x) * at)) - (origin.x - frame.left),
                     LONG(std::lround(float(y) * at)) - (origin.y - frame.top), 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }

    // A modal window: its owner and the owner's other windows take no input
    // until it goes (timers and posted messages still reach them).
    void holdOwner() {
        std::vector<HWND> all{ownerPeer_->hwnd_};
        for (const Win32Peer* c : ownerPeer_->children_)
            if (c != this) all.push_back(c->hwnd_);
        for (HWND w : all)
            if (IsWindowEnabled(w)) {
                EnableWindow(w, FALSE);
                held_.push_back(w);
            }
    }

    RECT deviceRect(const WindowRect& r) const {
        return RECT{LONG(std::floor(float(r.left) * scale_)), LONG(std::floor(float(r.top) * scale_)),
                    LONG(std::ceil(float(r.right) * scale_)), LONG(std::ceil(float(r.bottom) * scale_))};
    }

    TOOLINFOW toolInfo() const {
        TOOLINFOW tool{};
        tool.cbSize = TTTOOLINFOW_V2_SIZE;  // understood by every version of the control
        tool.hwnd = hwnd_;
        tool.uId = kTipTool;
        GetClientRect(hwnd_, &tool.rect);
        return tool;
    }

    void makeCanvas() {
        releaseCanvas();
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        info.bmiHeader.biWidth = device(width_);
        info.bmiHeader.biHeight = -device(height_);
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        canvasDc_ = CreateCompatibleDC(nullptr);
        canvasBitmap_ = canvasDc_ ? CreateDIBSection(canvasDc_, &info, DIB_RGB_COLORS, &bits, nullptr, 0) : nullptr;
        if (!canvasBitmap_ || !bits) {
            releaseCanvas();
            return;
        }
        previousBitmap_ = SelectObject(canvasDc_, canvasBitmap_);
        canvas_.pixels = static_cast<uint32_t*>(bits);
        canvas_.width = device(width_);
        canvas_.height = device(height_);
        canvas_.stride = canvas_.width;
        canvas_.scale = scale_;
        std::fill_n(canvas_.pixels, size_t(canvas_.width) * size_t(canvas_.height), 0xFF000000u);
        dirty_ = {0, 0, width_, height_};
    }

    void releaseCanvas() {
        if (canvasDc_ && previousBitmap_) SelectObject(canvasDc_, previousBitmap_);
        if (canvasBitmap_) DeleteObject(canvasBitmap_);
        if (canvasDc_) DeleteDC(canvasDc_);
        canvasDc_ = nullptr;
        canvasBitmap_ = nullptr;
        previousBitmap_ = nullptr;
        canvas_ = Canvas{};
    }

    // A cursor from premultiplied pixels (the system wants them straight).
    static HCURSOR imageCursor(const CursorShape& shape) {
        if (shape.width <= 0 || shape.height <= 0 || shape.pixels.size() < size_t(shape.width) * size_t(shape.height))
            return nullptr;
        BITMAPV5HEADER header{};
        header.bV5Size = sizeof(header);
        header.bV5Width = shape.width;
        header.bV5Height = -shape.height;
        header.bV5Planes = 1;
        header.bV5BitCount = 32;
        header.bV5Compression = BI_BITFIELDS;
        header.bV5RedMask = 0x00FF0000;
        header.bV5GreenMask = 0x0000FF00;
        header.bV5BlueMask = 0x000000FF;
        header.bV5AlphaMask = 0xFF000000;
        void* bits = nullptr;
        HDC screen = GetDC(nullptr);
        HBITMAP colour = CreateDIBSection(screen, reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS, &bits,
                                          nullptr, 0);
        ReleaseDC(nullptr, screen);
        if (!colour || !bits) return nullptr;
        auto* out = static_cast<uint32_t*>(bits);
        for (size_t i = 0; i < size_t(shape.width) * size_t(shape.height); ++i) {
            const uint32_t p = shape.pixels[i], a = p >> 24;
            auto straight = [&](int shift) { return a ? std::min<uint32_t>(255, ((p >> shift) & 0xFF) * 255 / a) : 0; };
            out[i] = (a << 24) | (straight(16) << 16) | (straight(8) << 8) | straight(0);
        }
        std::vector<uint8_t> zeros(size_t((shape.width + 15) / 16 * 2) * size_t(shape.height), 0);
        HBITMAP mask = CreateBitmap(shape.width, shape.height, 1, 1, zeros.data());
        ICONINFO icon{FALSE, DWORD(shape.hotX), DWORD(shape.hotY), mask, colour};
        HCURSOR cursor = CreateIconIndirect(&icon);
        DeleteObject(mask);
        DeleteObject(colour);
        return cursor;
    }

    // False when the client closed this window (a secondary one) meanwhile.
    bool deliver(const WindowEvent& e) {
        const std::shared_ptr<bool> alive = alive_;
        if (!ended_) client_.event(e);
        return *alive;
    }

    WindowEvent mouseEvent(WindowEvent::Kind kind, LPARAM lParam, WPARAM wParam) const {
        WindowEvent e{kind};
        e.x = float(short(LOWORD(lParam))) / scale_;
        e.y = float(short(HIWORD(lParam))) / scale_;
        if (wParam & MK_SHIFT) e.modifiers |= kModShift;
        if (wParam & MK_CONTROL) e.modifiers |= kModControl;
        if (GetKeyState(VK_MENU) < 0) e.modifiers |= kModAlt;
        return e;
    }

    void relayToTip(UINT message, WPARAM wParam, LPARAM lParam) {
        if (!tooltip_) return;
        MSG msg{hwnd_, message, wParam, lParam, DWORD(GetMessageTime()), {}};
        GetCursorPos(&msg.pt);
        SendMessageW(tooltip_, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&msg));
    }

    // The part under the pointer changed: the old tip goes.
    void trackTip(float x, float y) {
        std::string text;
        const int32_t id = client_.tooltipAt(x, y, text);
        if (id == tipId_) return;
        tipId_ = id;
        tipText_ = widen(text);
        if (tooltip_) SendMessageW(tooltip_, TTM_POP, 0, 0);
    }

    void button(WindowEvent::Kind kind, MouseButton which, WPARAM wParam, LPARAM lParam, int clicks) {
        WindowEvent e = mouseEvent(kind, lParam, wParam);
        e.button = which;
        e.clicks = clicks;
        if (kind == WindowEvent::MouseDown) {
            SetFocus(hwnd_);
            SetCapture(hwnd_);
        } else if (!(wParam & (MK_LBUTTON | MK_RBUTTON | MK_MBUTTON)) && GetCapture() == hwnd_) {
            ReleaseCapture();
        }
        deliver(e);
    }

    void character(uint32_t c) {
        if (c <= 0x20 || c == 0x7F) return;  // control characters and the space bar come as keys
        WindowEvent down{WindowEvent::KeyDown};
        down.key = Key::Character;
        down.character = c;
        down.modifiers = keyModifiers() & kModShift;
        if (!deliver(down)) return;
        WindowEvent text{WindowEvent::Text};
        text.character = c;
        deliver(text);
    }

    bool handle(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
        switch (message) {
            case WM_PAINT: {
                PAINTSTRUCT ps;
                HDC dc = BeginPaint(hwnd_, &ps);
                if (canvas_.pixels) {
                    if (!dirty_.empty()) {
                        const WindowRect d = dirty_;
                        dirty_ = {};
                        GdiFlush();
                        client_.paint(canvas_, d);
                    }
                    BitBlt(dc, ps.rcPaint.left, ps.rcPaint.top, ps.rcPaint.right - ps.rcPaint.left,
                           ps.rcPaint.bottom - ps.rcPaint.top, canvasDc_, ps.rcPaint.left, ps.rcPaint.top, SRCCOPY);
                }
                EndPaint(hwnd_, &ps);
                return true;
            }
            case WM_ERASEBKGND: result = 1; return true;
            case WM_MOUSEMOVE: {
                relayToTip(message, wParam, lParam);
                if (!tracking_) {
                    TRACKMOUSEEVENT track{sizeof(track), TME_LEAVE, hwnd_, 0};
                    tracking_ = TrackMouseEvent(&track) != FALSE;
                }
                const WindowEvent e = mouseEvent(WindowEvent::MouseMove, lParam, wParam);
                trackTip(e.x, e.y);
                deliver(e);
                return true;
            }
            case WM_NCMOUSEMOVE: relayToTip(message, wParam, lParam); return false;
            case WM_MOUSELEAVE:
                tracking_ = false;
                tipId_ = -1;
                deliver(WindowEvent{WindowEvent::MouseLeave});
                return true;
            case WM_LBUTTONDOWN:
            case WM_LBUTTONDBLCLK:
            case WM_RBUTTONDOWN:
            case WM_RBUTTONDBLCLK:
            case WM_MBUTTONDOWN:
            case WM_MBUTTONDBLCLK: {
                relayToTip(message, wParam, lParam);
                const bool twice =
                    message == WM_LBUTTONDBLCLK || message == WM_RBUTTONDBLCLK || message == WM_MBUTTONDBLCLK;
                const MouseButton which = message == WM_LBUTTONDOWN || message == WM_LBUTTONDBLCLK ? MouseButton::Left
                                          : message == WM_RBUTTONDOWN || message == WM_RBUTTONDBLCLK
                                              ? MouseButton::Right
                                              : MouseButton::Middle;
                button(WindowEvent::MouseDown, which, wParam, lParam, twice ? 2 : 1);
                return true;
            }
            case WM_LBUTTONUP:
            case WM_RBUTTONUP:
            case WM_MBUTTONUP:
                relayToTip(message, wParam, lParam);
                button(WindowEvent::MouseUp,
                       message == WM_LBUTTONUP   ? MouseButton::Left
                       : message == WM_RBUTTONUP ? MouseButton::Right
                                                 : MouseButton::Middle,
                       wParam, lParam, 1);
                return true;
            case WM_MOUSEWHEEL: {
                wheel_ += GET_WHEEL_DELTA_WPARAM(wParam);
                const int steps = wheel_ / WHEEL_DELTA;
                if (steps == 0) return true;
                wheel_ -= steps * WHEEL_DELTA;
                POINT p{short(LOWORD(lParam)), short(HIWORD(lParam))};
                ScreenToClient(hwnd_, &p);
                WindowEvent e = mouseEvent(WindowEvent::Wheel, MAKELPARAM(p.x, p.y), GET_KEYSTATE_WPARAM(wParam));
                e.steps = steps;
                deliver(e);
                return true;
            }
            case WM_SETCURSOR:
                if (LOWORD(lParam) == HTCLIENT && cursor_) {
                    ::SetCursor(cursor_);
                    result = TRUE;
                    return true;
                }
                return false;
            case WM_KEYDOWN:
            case WM_SYSKEYDOWN: {
                const uint32_t mods = keyModifiers();
                WindowEvent e{WindowEvent::KeyDown};
                e.modifiers = mods;
                e.key = keyOf(wParam);
                if (e.key == Key::None) {
                    // Letters and digits with Ctrl or Alt (mnemonics, shortcuts); plain typing comes as WM_CHAR.
                    if (!(mods & (kModControl | kModAlt))) return message == WM_KEYDOWN;
                    const UINT c = MapVirtualKeyW(UINT(wParam), MAPVK_VK_TO_CHAR) & 0x7FFFFFFF;
                    if (c < 0x20) return false;  // Alt alone, F keys: the system's (Alt+F4 closes)
                    e.key = Key::Character;
                    e.character = c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c;
                }
                deliver(e);
                return true;
            }
            case WM_CHAR: {
                const uint32_t unit = uint32_t(wParam);
                if (unit >= 0xD800 && unit < 0xDC00) {
                    highSurrogate_ = unit;
                } else if (unit >= 0xDC00 && unit < 0xE000) {
                    if (highSurrogate_) character(0x10000 + ((highSurrogate_ - 0xD800) << 10) + (unit - 0xDC00));
                    highSurrogate_ = 0;
                } else {
                    character(unit);  // Ctrl with a letter gives a control character, which goes
                }
                return true;
            }
            case WM_SYSCHAR: return true;  // mnemonics are the dialog's: no menu, no beep
            case WM_TIMER: {
                const int32_t id = int32_t(wParam);
                KillTimer(hwnd_, wParam);
                if (timers_.erase(id)) {
                    WindowEvent e{WindowEvent::Timer};
                    e.id = id;
                    deliver(e);
                }
                return true;
            }
            case WM_CLOSE: deliver(WindowEvent{WindowEvent::Close}); return true;
            case WM_KILLFOCUS: deliver(WindowEvent{WindowEvent::FocusLost}); return true;
            case WM_NOTIFY: {
                auto* info = reinterpret_cast<NMTTDISPINFOW*>(lParam);
                if (info->hdr.hwndFrom == tooltip_ && info->hdr.code == TTN_GETDISPINFOW) {
                    info->lpszText = tipId_ >= 0 ? tipText_.data() : const_cast<wchar_t*>(L"");
                    return true;
                }
                return false;
            }
            case WM_DPICHANGED: {
                scale_ = float(HIWORD(wParam)) / 96.0f;
                makeCanvas();
                const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
                SetWindowPos(hwnd_, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                             suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
                if (tooltip_) {
                    TOOLINFOW tool = toolInfo();
                    SendMessageW(tooltip_, TTM_NEWTOOLRECTW, 0, reinterpret_cast<LPARAM>(&tool));
                }
                InvalidateRect(hwnd_, nullptr, FALSE);
                return true;
            }
            default: return false;
        }
    }

    WindowClient& client_;
    int32_t width_, height_;
    Win32Peer* ownerPeer_ = nullptr;   // a secondary window's owner
    std::vector<Win32Peer*> children_;  // this window's open secondary windows
    std::vector<HWND> held_;            // what a modal window disabled
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    HWND owner_ = nullptr;
    HWND hwnd_ = nullptr;
    HWND tooltip_ = nullptr;
    float scale_ = 1.0f;
    HDC canvasDc_ = nullptr;
    HBITMAP canvasBitmap_ = nullptr;
    HGDIOBJ previousBitmap_ = nullptr;
    Canvas canvas_;
    WindowRect dirty_;
    DisplaySurfaceStore display_;
    std::set<int32_t> timers_;
    std::map<int32_t, HCURSOR> cursors_;
    HCURSOR cursor_ = LoadCursorW(nullptr, IDC_ARROW);
    bool tracking_ = false;
    bool ownerDisabled_ = false;
    bool ended_ = false;
    int32_t code_ = 0;
    int wheel_ = 0;
    uint32_t highSurrogate_ = 0;
    int32_t tipId_ = -1;
    std::wstring tipText_;
};

bool registerClass(std::string* why) {
    static const bool registered = [] {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof(wc);
        wc.style = CS_DBLCLKS;
        wc.lpfnWndProc = Win32Peer::windowProc;
        wc.hInstance = thisModule();
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        wc.lpszClassName = kClassName;
        return RegisterClassExW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
    }();
    if (!registered && why) *why = "the window class cannot be registered: " + errorText(GetLastError());
    return registered;
}

}  // namespace

bool nativeWindowsAvailable(std::string* why) {
    // Windows always has a desktop; a service or a locked-down station has none to draw on.
    HDESK desk = OpenInputDesktop(0, FALSE, GENERIC_READ);
    if (!desk) {
        if (why) *why = "no desktop to show a window on";
        return false;
    }
    CloseDesktop(desk);
    if (!registerClass(why)) return false;
    // Wine without an X display has a desktop but makes no windows.
    HWND probe = CreateWindowExW(0, kClassName, L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, thisModule(), nullptr);
    if (!probe) {
        const DWORD error = GetLastError();
        if (why) *why = "no window can be made here" + (error ? ": " + errorText(error) : std::string(" (no display)"));
        return false;
    }
    DestroyWindow(probe);
    return true;
}

bool chooseColourNative(const std::string& prompt, uint8_t rgb[3]) {
    // The host's own custom colours, kept while it runs.
    static uint32_t custom[kCustomColourCount] = {
        0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF,
        0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF,
    };
    // Over the window the user works in (the dialog that asks).
    return runColourDialog(GetActiveWindow(), prompt, rgb, custom);
}

std::unique_ptr<Window> openNativeWindow(const WindowOptions& options, WindowClient& client, std::string* error) {
    if (!registerClass(error)) return nullptr;
    auto peer = std::make_unique<Win32Peer>(options, client);
    if (!peer->created()) {
        if (error) *error = "the window cannot be created: " + errorText(GetLastError());
        return nullptr;
    }
    return peer;
}

}  // namespace tv::platform
