// Outside programs the tests use to read our files with readers we did not
// write (ImageMagick, a validator, node).
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <string>

namespace tv::test {

// Runs a shell command; its exit status (-1 when it did not exit), and its
// standard output in *output.
inline int runCommand(const std::string& command, std::string* output = nullptr) {
    FILE* p = ::popen(command.c_str(), "r");
    if (!p) return -1;
    char buf[4096];
    size_t n;
    if (output) output->clear();
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0)
        if (output) output->append(buf, n);
    const int status = ::pclose(p);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

inline bool haveProgram(const std::string& name) {
    return runCommand("command -v " + name + " >/dev/null 2>&1") == 0;
}

}  // namespace tv::test
