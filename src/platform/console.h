// The terminal: whether standard error is one.
#pragma once

namespace tv::platform {

bool stderrIsTerminal();

}  // namespace tv::platform
