#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>

#include "platform/child_process.h"

extern char** environ;

namespace tv::platform {

namespace {

int fdOf(Channel c) { return static_cast<int>(c); }

void ignoreBrokenPipes() {
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGPIPE, &ignore, nullptr);
}

}  // namespace

bool startChild(const std::string& program, const std::vector<std::string>& args, ChildProcess& child,
                std::string* error) {
    int in[2], out[2];
    if (pipe2(in, O_CLOEXEC) != 0) {
        if (error) *error = std::string("cannot make a pipe: ") + std::strerror(errno);
        return false;
    }
    if (pipe2(out, O_CLOEXEC) != 0) {
        if (error) *error = std::string("cannot make a pipe: ") + std::strerror(errno);
        close(in[0]);
        close(in[1]);
        return false;
    }
    ignoreBrokenPipes();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int failed = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(in[0]);
    close(out[1]);
    if (failed != 0) {
        if (error) *error = "cannot start " + program + ": " + std::strerror(failed);
        close(in[1]);
        close(out[0]);
        return false;
    }
    child.id = pid;
    child.toChild = in[1];
    child.fromChild = out[0];
    return true;
}

std::string currentProgram() {
    char buffer[4096];
    const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    return n > 0 ? std::string(buffer, size_t(n)) : std::string();
}

int waitChild(ChildProcess& child) {
    closeChannel(child.toChild);
    closeChannel(child.fromChild);
    if (child.id <= 0) return -1;
    int status = 0;
    pid_t r;
    do {
        r = waitpid(pid_t(child.id), &status, 0);
    } while (r < 0 && errno == EINTR);
    child.id = 0;
    return r > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool parentChannels(Channel& fromParent, Channel& toParent) {
    ignoreBrokenPipes();
    const int answers = fcntl(1, F_DUPFD_CLOEXEC, 3);
    if (answers < 0 || dup2(2, 1) < 0) return false;
    fromParent = 0;
    toParent = answers;
    return true;
}

bool writeChannel(Channel channel, const void* data, size_t size) {
    const auto* p = static_cast<const uint8_t*>(data);
    while (size > 0) {
        const ssize_t n = write(fdOf(channel), p, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        size -= size_t(n);
    }
    return true;
}

bool readChannel(Channel channel, void* data, size_t size) {
    auto* p = static_cast<uint8_t*>(data);
    while (size > 0) {
        const ssize_t n = read(fdOf(channel), p, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        size -= size_t(n);
    }
    return true;
}

bool channelReadable(Channel channel) {
    pollfd p{fdOf(channel), POLLIN, 0};
    return poll(&p, 1, 0) > 0 && (p.revents & (POLLIN | POLLHUP | POLLERR)) != 0;
}

void closeChannel(Channel& channel) {
    if (channel != kNoChannel) close(fdOf(channel));
    channel = kNoChannel;
}

}  // namespace tv::platform
