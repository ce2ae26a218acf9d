#include "platform/write_faults.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

#include "platform/environment.h"

namespace tv::platform {

WriteFault nextWriteStep(WriteStep step) {
    static std::mutex counting;
    const std::lock_guard<std::mutex> hold(counting);
    const std::string value = environmentValue(kFailWriteStepVariable);
    if (value.empty()) return WriteFault::None;
    char* end = nullptr;
    const long n = std::strtol(value.c_str(), &end, 10);
    const std::string kind = end ? std::string(end) : std::string();
    if (n <= 0) return WriteFault::None;
    setEnvironmentValue(kFailWriteStepVariable, std::to_string(n - 1) + kind);
    if (n > 1) return WriteFault::None;
    const WriteFault fault = kind == ":EIO" ? WriteFault::IoError : WriteFault::NoSpace;
    static const char* const kSteps[] = {"write", "flush", "rename"};
    std::fprintf(stderr, "terravane: injected %s at the %s of a file\n",
                 fault == WriteFault::IoError ? "an input/output error" : "a full disk", kSteps[int(step)]);
    return fault;
}

}  // namespace tv::platform
