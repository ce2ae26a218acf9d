// libFuzzer target: the dialog's events-file reader.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "ui/controls.h"
#include "ui/replay.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<tv::ui::ReplayStep> steps;
    std::string error;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (!tv::ui::parseReplay(text, steps, &error)) {
        if (error.empty()) std::abort();
        return 0;
    }
    // Every step names its line; control ids and lengths stay in range.
    int32_t previous = 0;
    for (const tv::ui::ReplayStep& s : steps) {
        if (s.line <= previous || s.text.size() > tv::ui::kReplayMaxLine) std::abort();
        if (s.kind == tv::ui::ReplayStep::Type && !tv::ui::control(s.id)) std::abort();
        previous = s.line;
    }
    return 0;
}
