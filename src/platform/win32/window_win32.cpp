// The Win32 window peer.
#include "platform/window.h"

namespace tv::platform {

bool nativeWindowsAvailable(std::string* why) {
    if (why) *why = "this build has no dialog window for Windows yet";
    return false;
}

std::unique_ptr<Window> openNativeWindow(const WindowOptions&, WindowClient&, std::string* error) {
    nativeWindowsAvailable(error);
    return nullptr;
}

}  // namespace tv::platform
