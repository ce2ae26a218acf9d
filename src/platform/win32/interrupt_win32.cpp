// Ctrl-C and Ctrl-Break through the console's control handler: the first is
// remembered, a second during the same watch falls through to the default
// handler, which ends the process.
#include <atomic>

#include "platform/interrupt.h"
#include "platform/win32/wide.h"

namespace tv::platform {

namespace {

std::atomic<int> gInterrupts{0};

BOOL WINAPI onControl(DWORD type) {
    if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT) return FALSE;
    return gInterrupts.fetch_add(1) >= 1 ? FALSE : TRUE;
}

}  // namespace

InterruptWatch::InterruptWatch() {
    gInterrupts = 0;
    SetConsoleCtrlHandler(onControl, TRUE);
}

InterruptWatch::~InterruptWatch() { SetConsoleCtrlHandler(onControl, FALSE); }

bool InterruptWatch::interrupted() const { return gInterrupts.load() > 0; }

}  // namespace tv::platform
