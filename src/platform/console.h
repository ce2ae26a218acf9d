// The terminal: whether standard error is one, and Ctrl-C as a cancel request.
#pragma once

namespace tv::platform {

bool stderrIsTerminal();
int terminalColumns();  // 80 when unknown

// After this, Ctrl-C sets a flag instead of ending the process; a second
// Ctrl-C while the flag is set ends it.
void installInterruptHandler();
bool interruptRequested();
void clearInterrupt();

}  // namespace tv::platform
