#include <algorithm>

#include "platform/win32/ui_context.h"

namespace tv::platform::win32 {

namespace {

// The context is made once and kept for the life of the module.
HANDLE moduleContext() {
    static const HANDLE context = [] {
        ACTCTXW actx{};
        actx.cbSize = sizeof(actx);
        actx.dwFlags = ACTCTX_FLAG_HMODULE_VALID | ACTCTX_FLAG_RESOURCE_NAME_VALID;
        actx.hModule = thisModule();
        actx.lpResourceName = MAKEINTRESOURCEW(2);
        return CreateActCtxW(&actx);
    }();
    return context;
}

template <typename F>
F user32Function(const char* name) {
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    return user32 ? reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(user32, name))) : nullptr;
}

using SetThreadDpiContext = HANDLE(WINAPI*)(HANDLE);
using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
using AdjustForDpi = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
const HANDLE kPerMonitorAwareV2 = reinterpret_cast<HANDLE>(intptr_t(-4));

}  // namespace

HMODULE thisModule() {
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&thisModule), &module);
    return module;
}

ActivationScope::ActivationScope() {
    const HANDLE context = moduleContext();
    if (context != INVALID_HANDLE_VALUE) active_ = ActivateActCtx(context, &cookie_) != FALSE;
}

ActivationScope::~ActivationScope() {
    if (active_) DeactivateActCtx(0, cookie_);
}

DpiScope::DpiScope() {
    static const auto set = user32Function<SetThreadDpiContext>("SetThreadDpiAwarenessContext");
    if (set) previous_ = set(kPerMonitorAwareV2);
}

DpiScope::~DpiScope() {
    static const auto set = user32Function<SetThreadDpiContext>("SetThreadDpiAwarenessContext");
    if (set && previous_) set(previous_);
}

UINT windowDpi(HWND window) {
    static const auto get = user32Function<GetDpiForWindowFn>("GetDpiForWindow");
    UINT dpi = get && window ? get(window) : 0;
    if (dpi == 0) {
        HDC screen = GetDC(nullptr);
        dpi = screen ? UINT(GetDeviceCaps(screen, LOGPIXELSX)) : 96;
        if (screen) ReleaseDC(nullptr, screen);
    }
    return dpi ? dpi : 96;
}

SIZE outerSize(int width, int height, DWORD style, DWORD exStyle, UINT dpi) {
    static const auto adjust = user32Function<AdjustForDpi>("AdjustWindowRectExForDpi");
    RECT r{0, 0, width, height};
    if (!adjust || !adjust(&r, style, FALSE, exStyle, dpi)) AdjustWindowRectEx(&r, style, FALSE, exStyle);
    return SIZE{r.right - r.left, r.bottom - r.top};
}

void centreWindow(HWND window, HWND owner, bool bothAxes) {
    RECT box{};
    GetWindowRect(window, &box);
    const LONG w = box.right - box.left, h = box.bottom - box.top;
    RECT area{};
    HMONITOR monitor = nullptr;
    if (owner && IsWindow(owner)) {
        GetClientRect(owner, &area);
        MapWindowPoints(owner, nullptr, reinterpret_cast<POINT*>(&area), 2);
        monitor = MonitorFromWindow(owner, MONITOR_DEFAULTTONEAREST);
    } else {
        POINT cursor{};
        GetCursorPos(&cursor);
        monitor = MonitorFromPoint(cursor, MONITOR_DEFAULTTOPRIMARY);
    }
    MONITORINFO info{};
    info.cbSize = sizeof(info);
    if (!GetMonitorInfoW(monitor, &info)) SystemParametersInfoW(SPI_GETWORKAREA, 0, &info.rcWork, 0);
    if (!owner) area = info.rcWork;
    LONG x = area.left + (area.right - area.left - w) / 2;
    LONG y = area.top + (area.bottom - area.top - h) / (bothAxes ? 2 : 3);
    if (!bothAxes) {
        const bool systemMenu = (GetWindowLongW(window, GWL_STYLE) & WS_SYSMENU) != 0;
        const LONG button = GetSystemMetrics(SM_CXSIZE);
        x -= systemMenu ? button : button * 2 / 3;
    }
    const RECT& screen = info.rcWork;
    if (x + w > screen.right) x = screen.right - w;
    if (y + h > screen.bottom) y = screen.bottom - h;
    x = std::max(x, screen.left);
    y = std::max(y, screen.top);
    SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace tv::platform::win32
