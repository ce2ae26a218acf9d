#include <cstdio>

#include "commands.h"

namespace tv::cli {

int runPreset(int, char**) {
    std::fprintf(stderr, "terravane preset: not available in this build\n");
    return 2;
}

}  // namespace tv::cli
