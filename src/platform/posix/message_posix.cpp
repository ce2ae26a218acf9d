#include <cstdio>

#include "platform/message.h"

namespace tv::platform {

void showMessage(const char* title, const char* text) {
    std::fprintf(stderr, "%s: %s\n", title, text);
    std::fflush(stderr);
}

}  // namespace tv::platform
