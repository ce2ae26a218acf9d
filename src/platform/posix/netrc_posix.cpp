// Where the user's netrc file is, and whether others may read a file.
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/files.h"
#include "platform/netrc.h"

namespace tv::platform {

std::vector<std::string> userNetrcFiles() {
    const char* home = std::getenv("HOME");
    if (!home || !*home) {
        const passwd* user = ::getpwuid(::getuid());
        home = user ? user->pw_dir : nullptr;
    }
    if (!home || !*home) return {};
    return {joinPath(home, ".netrc")};
}

bool readableByOthers(const std::string& path) {
    struct stat s;
    return ::stat(path.c_str(), &s) == 0 && (s.st_mode & (S_IRGRP | S_IROTH)) != 0;
}

}  // namespace tv::platform
