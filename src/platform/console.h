// The console the command line runs in.
#pragma once

namespace tv::platform {

// True when the standard error stream is a terminal (progress bars are drawn only there).
bool stderrIsTerminal();

}  // namespace tv::platform
