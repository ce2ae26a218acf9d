// Pieces the sub-commands share: reading options, the settings assignments,
// sizes and depths, one-line errors and the progress bar.
#pragma once

#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "params/params.h"

namespace tv::cli {

// Exit statuses, the same in every sub-command.
constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;    // the work could not be done
constexpr int kExitUsage = 2;      // the command line itself is wrong
constexpr int kExitCancelled = 130;  // Ctrl-C

// Walks argv after the sub-command name. "--opt=value" reads as "--opt value";
// a value given that way to an option that takes none is an error (done()
// then stops the walk and error() says so).
class ArgReader {
public:
    ArgReader(int argc, char** argv) : argc_(argc), argv_(argv) {}
    bool done();
    std::string_view next();
    // The value of the option just read ("-o FILE", "-o=FILE", "--set=N=V");
    // false when none follows.
    bool value(std::string& out);
    const std::string& error() const { return error_; }

private:
    int argc_;
    char** argv_;
    int index_ = 1;  // argv[0] is the sub-command
    std::string option_, inline_;
    bool hasInline_ = false;
    std::string error_;
};

// The environment variables, for every --help.
extern const char* const kEnvironmentHelp;

// Prints the usage text of a command followed by the environment variables.
void printHelp(FILE* out, const char* usage);

// "WxH" with both sides 1..65536 and at most 2^28 pixels.
bool parseSize(std::string_view text, int32_t& width, int32_t& height, std::string* error);
// 8, 16 or 32.
bool parseDepth(std::string_view text, int32_t& depth, std::string* error);
// A worker thread count 1..100.
bool parseThreads(std::string_view text, int32_t& threads, std::string* error);

// Applies "NAME=VALUE" assignments in order; stops at the first bad one.
bool applyAssignments(ParamRecord& record, const std::vector<std::string>& assignments, std::string* error);

// Prints "terravane COMMAND: message" on stderr and returns the failure status 1.
int failWith(const char* command, const std::string& message);
// A mistake in the command line: "terravane COMMAND: message (try terravane
// COMMAND --help)" and the usage status 2.
int usageError(const char* command, const std::string& message);
// "terravane COMMAND: message" and the cancelled status 130.
int cancelledWith(const char* command, const std::string& message);

// "cannot write "PATH": REASON" with the system's reason when it gave one.
std::string cannotWrite(const std::string& path);
std::string cannotRead(const std::string& path);

// Whether a file name ends in one of the extensions (".psd"; any letter case).
bool hasExtension(const std::string& path, std::initializer_list<const char*> extensions);

// The settings a command starts from: the defaults, a settings file
// (--preset) or a settings JSON (--settings, "-" for standard input), then
// the --set assignments. False with a reason.
struct SettingsOptions {
    std::string preset, json;
    std::vector<std::string> assignments;
    bool given() const { return !preset.empty() || !json.empty() || !assignments.empty(); }
};
bool buildSettings(const SettingsOptions& options, ParamRecord& record, std::string* error);

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
