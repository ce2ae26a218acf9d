// The standard output is the C library's on every system.
#include <cstdio>

#include "platform/console.h"

namespace tv::platform {

void printLine(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

}  // namespace tv::platform
