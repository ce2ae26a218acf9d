#include <cstdio>

#include "commands.h"

namespace tv::cli {

int runLayers(int, char**) {
    std::fprintf(stderr, "terravane layers: not available in this build\n");
    return 2;
}

}  // namespace tv::cli
