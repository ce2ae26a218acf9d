// libFuzzer target: the settings JSON reader (--settings). Whatever the text,
// it must not read out of bounds, and a text it refuses changes nothing and
// says why.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "settings_json.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tv;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    ParamRecord record = defaultRecord();
    record.planetSize = 12345;  // a record that the defaults would change
    const ParamRecord before = record;
    std::string error;
    if (!cli::parseSettingsJson(text, record, &error)) {
        if (std::memcmp(&record, &before, sizeof record) != 0 || error.empty()) std::abort();
    } else if (record.settingsName[kTextLength - 1] != '\0') {
        std::abort();
    }
    // The same text as one --set assignment.
    ParamRecord assigned = before;
    if (!cli::applySettingAssignment(assigned, text, &error) && std::memcmp(&assigned, &before, sizeof assigned) != 0)
        std::abort();
    return 0;
}
