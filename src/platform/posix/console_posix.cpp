#include <unistd.h>

#include "platform/console.h"

namespace tv::platform {

bool stderrIsTerminal() { return isatty(STDERR_FILENO) == 1; }

}  // namespace tv::platform
