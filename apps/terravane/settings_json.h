// Settings given by name: the JSON object that `preset show` prints, read
// back whole, and the "NAME=VALUE" assignments of --set. Names are the
// scripting names ("land red", 0..255, stored as v << 8, as a descriptor
// carries them) and the record's own field names ("land color" with three
// 16-bit channels, "output mode", "spare value 1", "settings name").
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "params/params.h"

namespace tv::cli {

// The longest settings text read (a settings object is a few kilobytes).
constexpr size_t kMaxSettingsJsonBytes = 1 << 20;

// The defaults, then every member of the JSON object in order. False with a
// reason that names the member (record unchanged) for anything else: not an
// object, an unknown name, a value of the wrong kind or out of its range.
bool parseSettingsJson(std::string_view text, ParamRecord& record, std::string* error);

// parseSettingsJson on a file, or on standard input for "-".
bool readSettingsJson(const std::string& path, ParamRecord& record, std::string* error);

// "NAME=VALUE": a scripting name first, else a field name. Colours take three
// channels ("land color=15132,17105,40133", brackets allowed), "output mode"
// a number or a mode name.
bool applySettingAssignment(ParamRecord& record, std::string_view assignment, std::string* error);

}  // namespace tv::cli
