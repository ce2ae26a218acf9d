// A helper process joined to its parent by two pipes: the parent writes to
// the helper's standard input and reads its standard output; standard error
// is shared. Work runs in a helper when the process that asked for it may be
// ended while the work runs (the helper notices and stops cleanly).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tv::platform {

// One direction of a pipe to or from the other process.
using Channel = intptr_t;
constexpr Channel kNoChannel = -1;

struct ChildProcess {
    intptr_t id = 0;
    Channel toChild = kNoChannel;    // the helper's standard input
    Channel fromChild = kNoChannel;  // the helper's standard output
};

// Starts program with args (args[0] is the program's name for itself). Once a
// helper is started, writing to one that has ended fails instead of ending
// this process. False with a reason.
bool startChild(const std::string& program, const std::vector<std::string>& args, ChildProcess& child,
                std::string* error);
// The file of the running program (to start another copy of it as a helper).
std::string currentProgram();
// Closes both channels and waits for the helper: its exit status, or -1 when
// it did not exit by itself.
int waitChild(ChildProcess& child);

// In the helper: the channels to the parent. Standard output becomes a copy
// of standard error, so that nothing printed later mixes with the answers.
bool parentChannels(Channel& fromParent, Channel& toParent);

// Writes all size bytes; false when the other side has gone.
bool writeChannel(Channel channel, const void* data, size_t size);
// Reads exactly size bytes; false at the end of the stream or on an error.
bool readChannel(Channel channel, void* data, size_t size);
// Whether something (or the end of the stream) waits to be read, without waiting.
bool channelReadable(Channel channel);
void closeChannel(Channel& channel);

}  // namespace tv::platform
