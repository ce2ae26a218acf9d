#include <cstdio>

#include "commands.h"

namespace tv::cli {

int runClouds(int, char**) {
    std::fprintf(stderr, "terravane clouds: not available in this build\n");
    return 2;
}

}  // namespace tv::cli
