#include <cstdio>

#include "commands.h"

namespace tv::cli {

int runCatalogue(int, char**) {
    std::fprintf(stderr, "terravane catalogue: not available in this build\n");
    return 2;
}

}  // namespace tv::cli
