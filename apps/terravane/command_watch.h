// Progress bar and Ctrl-C for the long export commands, as one context the
// engine's progress and cancel hooks can point at.
#pragma once

#include <cstdint>

#include "cli_common.h"
#include "platform/interrupt.h"

namespace tv::cli {

struct CommandWatch {
    explicit CommandWatch(bool showProgress) : bar(showProgress) {}
    ProgressBar bar;
    platform::InterruptWatch interrupt;  // Ctrl-C stops the work cleanly

    static void progress(void* context, int32_t thousandths) {
        static_cast<CommandWatch*>(context)->bar.update(thousandths);
    }
    static void progressOf(void* context, int32_t done, int32_t total) {
        progress(context, total > 0 ? int32_t(int64_t(done) * 1000 / total) : 1000);
    }
    static bool interrupted(void* context) { return static_cast<CommandWatch*>(context)->interrupt.interrupted(); }
};

}  // namespace tv::cli
