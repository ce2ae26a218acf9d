#include <unistd.h>

#include "platform/console.h"

namespace tv::platform {

bool stderrIsTerminal() { return isatty(STDERR_FILENO) == 1; }

void useBinaryStandardStreams() {}

std::vector<std::string> commandLineArguments(int argc, char** argv) { return {argv, argv + argc}; }

}  // namespace tv::platform
