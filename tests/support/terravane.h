// Runs the built terravane command as a user would from a shell.
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "temp_home.h"

namespace tv::test {

inline std::string terravanePath() { return std::string(TV_BINARY_DIR) + "/terravane"; }

struct Result {
    int status = -1;  // the exit status; -1 when it did not exit
    std::string out, err;
    bool oneErrorLine() const { return std::count(err.begin(), err.end(), '\n') == 1; }
};

// Runs terravane inside folder with the arguments (shell-quoted where needed;
// a redirection among them wins over the capture) and no input; its output
// streams are kept beside the folder. before runs first in the same shell
// (e.g. a ulimit).
inline Result runTerravane(const std::filesystem::path& folder, const std::string& args,
                           const std::string& before = "") {
    const std::string out = folder.string() + ".out", err = folder.string() + ".err";
    const std::string command = "cd '" + folder.string() + "' && " + (before.empty() ? "" : before + " && ") + "'" +
                                terravanePath() + "' >'" + out + "' 2>'" + err + "' </dev/null " + args;
    const int raw = std::system(command.c_str());
    Result r{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, readText(out), readText(err)};
    std::filesystem::remove(out);
    std::filesystem::remove(err);
    return r;
}

// Starts terravane inside folder with its standard error into errFile.
inline pid_t startTerravane(const std::filesystem::path& folder, std::vector<std::string> args,
                            const std::string& errFile) {
    const pid_t child = ::fork();
    if (child != 0) return child;
    if (::chdir(folder.c_str()) != 0 || !std::freopen(errFile.c_str(), "w", stderr)) ::_exit(100);
    const std::string program = terravanePath();
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    ::execv(program.c_str(), argv.data());
    ::_exit(101);
}

// Waits (at most about ten seconds) until done() holds.
template <typename Done>
bool waitFor(Done done) {
    for (int i = 0; i < 2000; ++i) {
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return done();
}

// Whether the process has a handler installed for Ctrl-C.
inline bool catchesInterrupt(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(in, line);)
        if (line.rfind("SigCgt:", 0) == 0) return (std::stoull(line.substr(7), nullptr, 16) >> (SIGINT - 1)) & 1;
    return false;
}

// The exit status of the child, -1 when it did not exit by itself.
inline int exitStatusOf(pid_t child) {
    int raw = 0;
    if (::waitpid(child, &raw, 0) != child || !WIFEXITED(raw)) return -1;
    return WEXITSTATUS(raw);
}

class CommandTest : public TempHome {
protected:
    Result run(const std::string& args, const std::string& before = "") const {
        return runTerravane(root_, args, before);
    }
};

}  // namespace tv::test
