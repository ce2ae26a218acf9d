#include <cstdio>

#include "commands.h"

namespace tv::cli {

int runEdit(int, char**) {
    std::fprintf(stderr, "terravane edit: not available in this build\n");
    return 2;
}

}  // namespace tv::cli
