#include <cstdio>

#include "commands.h"

namespace tv::cli {

int runRender(int, char**) {
    std::fprintf(stderr, "terravane render: not available in this build\n");
    return 2;
}

}  // namespace tv::cli
