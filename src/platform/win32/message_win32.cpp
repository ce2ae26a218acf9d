// A refusal or warning of the module as a small task-modal message box (a
// paint program gives the module no console), also written to the standard
// error stream when there is one.
#include <cstdio>

#include "platform/message.h"
#include "platform/win32/wide.h"

namespace tv::platform {

void showMessage(const char* title, const char* text) {
    std::fprintf(stderr, "%s: %s\n", title, text);
    std::fflush(stderr);
    MessageBoxW(nullptr, win32::widen(text).c_str(), win32::widen(title).c_str(),
                MB_OK | MB_ICONWARNING | MB_TASKMODAL | MB_SETFOREGROUND);
}

}  // namespace tv::platform
