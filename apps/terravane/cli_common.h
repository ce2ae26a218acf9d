// Pieces the sub-commands share: reading options, the settings assignments,
// sizes and depths, one-line errors and the progress bar.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "params/params.h"

namespace tv::cli {

// Walks argv after the sub-command name.
class ArgReader {
public:
    ArgReader(int argc, char** argv) : argc_(argc), argv_(argv) {}
    bool done() const { return index_ >= argc_; }
    std::string_view next() { return argv_[index_++]; }
    // The value of the option just read ("-o FILE"); false when none follows.
    bool value(std::string& out) {
        if (index_ >= argc_) return false;
        out = argv_[index_++];
        return true;
    }

private:
    int argc_;
    char** argv_;
    int index_ = 1;  // argv[0] is the sub-command
};

// "WxH" with both sides 1..65536 and at most 2^28 pixels.
bool parseSize(std::string_view text, int32_t& width, int32_t& height, std::string* error);
// 8, 16 or 32.
bool parseDepth(std::string_view text, int32_t& depth, std::string* error);
// A worker thread count 1..100.
bool parseThreads(std::string_view text, int32_t& threads, std::string* error);

// Applies "NAME=VALUE" assignments in order; stops at the first bad one.
bool applyAssignments(ParamRecord& record, const std::vector<std::string>& assignments, std::string* error);

// The exit status of a command the user cancelled (Ctrl-C).
constexpr int kExitCancelled = 130;

// Prints "terravane COMMAND: message" on stderr and returns the failure status 1.
int failWith(const char* command, const std::string& message);

// A progress bar on stderr for work that takes more than a second: drawn only
// when stderr is a terminal and the bar is not switched off.
class ProgressBar {
public:
    explicit ProgressBar(bool enabled);
    ~ProgressBar();
    void update(int32_t thousandths);
    void finish();  // draws 100 % and ends the line when anything was drawn

private:
    bool enabled_;
    bool drawn_ = false;
    double start_;
};

}  // namespace tv::cli
