// Runs the main dialog modally in a window peer: the system's own, or the
// headless one when the host asked for a replay.
#pragma once

#include "ui/dialog.h"

namespace tv::ui {

// 3 when the user pressed OK, 2 when cancelled, -1 when no window could be
// opened. parentWindow is the host's window, when it gives one.
int runMainDialog(const DialogSetup& setup, void* parentWindow);

// The about box on its own (the about selector): returns when the user
// closes it; -1 when no window could be opened.
int runAboutBox(void* parentWindow);

}  // namespace tv::ui
