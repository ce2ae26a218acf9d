// Settings files on the command line: --preset, and the thumbnail a saved
// preset carries.
#pragma once

#include <string>

#include "base/image.h"
#include "params/params.h"

namespace tv::cli {

// The defaults, then the settings file at path (the settings name becomes the
// file's name). False with one clear reason when it cannot be opened or is
// not a sound settings file; record is then unchanged.
bool loadPresetFile(const std::string& path, ParamRecord& record, std::string* error);

// Renders the 128 x 128 thumbnail of record and writes it with the settings
// to path (whole, or not at all).
bool savePresetFile(const std::string& path, const ParamRecord& record, std::string* error);

}  // namespace tv::cli
