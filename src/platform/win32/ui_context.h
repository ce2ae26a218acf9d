// What every window and system dialog of ours is made in: the module's own
// visual-styles manifest as the active activation context (common controls
// version 6), and, for the dialog window, per-monitor DPI awareness of the
// thread. Both fall back to nothing on systems that lack them. Internal to
// src/platform/win32.
#pragma once

#include "platform/win32/wide.h"

namespace tv::platform::win32 {

// The module (the plug-in, or the executable) this code is linked into.
HMODULE thisModule();

// While alive, the module's manifest (resource 2 of type RT_MANIFEST) is the
// thread's active activation context.
class ActivationScope {
public:
    ActivationScope();
    ~ActivationScope();
    ActivationScope(const ActivationScope&) = delete;
    ActivationScope& operator=(const ActivationScope&) = delete;
    bool active() const { return active_; }

private:
    ULONG_PTR cookie_ = 0;
    bool active_ = false;
};

// While alive, windows this thread creates are per-monitor DPI aware.
class DpiScope {
public:
    DpiScope();
    ~DpiScope();
    DpiScope(const DpiScope&) = delete;
    DpiScope& operator=(const DpiScope&) = delete;

private:
    HANDLE previous_ = nullptr;
};

// The dots per inch a window is shown at (96 when the system cannot say).
UINT windowDpi(HWND window);
// The outer size of a window whose client area is width x height at dpi.
SIZE outerSize(int width, int height, DWORD style, DWORD exStyle, UINT dpi);
// Places window centred over the owner's client area (the monitor's work area
// without an owner): horizontally centred, then moved left by the width of a
// caption button, one third of the free height down; kept on the monitor.
// bothAxes: centred in both directions, as file dialogs are.
void centreWindow(HWND window, HWND owner, bool bothAxes);

}  // namespace tv::platform::win32
