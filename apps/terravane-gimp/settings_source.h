// The settings a script gives plug-in-terravane, and the settings GIMP keeps
// between runs (its last values: the descriptor the module recorded and the
// settings file it wrote in that run).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "host/pi/memory_descriptor.h"
#include "params/params.h"

namespace tv::gimp {

// settings: empty for the defaults; a JSON object as terravane preset show
// prints it; or the path of a JSON settings file or a .q1q settings file (told
// apart by their content). assignments: "NAME=VALUE" lines applied after it,
// as terravane render --set takes them. False with a reason naming the file.
bool settingsFromScript(const std::string& settings, const std::string& assignments, ParamRecord& record,
                        std::string* error);

// The settings of the last run from what GIMP kept: the recorded descriptor
// and the module's settings file of that run (either may be missing or
// damaged: then what is sound is used). None when nothing sound was kept.
std::optional<ParamRecord> settingsFromLastValues(const std::vector<uint8_t>& descriptor,
                                                  const std::vector<uint8_t>& settingsFile);

}  // namespace tv::gimp
