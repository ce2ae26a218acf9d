// How the command line hands a whole set of settings to the module in a real
// filter run. A paint program has two ways: the recorded scripting
// descriptor (colours carry 8 bits, everything else exactly) and, when it
// offers none, the module's own cached settings file (colours carry 16 bits,
// light and axis two decimals). The host takes the one that brings the
// settings across unchanged: the descriptor, holding only the keys that
// differ from the defaults (the module starts a descriptor read from its
// defaults), or the cached settings file put in place before the run.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "host/pi/memory_descriptor.h"
#include "params/params.h"

namespace tv::cli {

// What the module holds after reading d: the defaults, then every key.
ParamRecord recordFromDescriptor(const pi::MemoryDescriptor& d);

// Whether a and b agree in every setting a render reads (every scripting key).
bool sameScriptedSettings(const ParamRecord& a, const ParamRecord& b);

struct SettingsPlay {
    bool viaDescriptor = true;
    pi::MemoryDescriptor descriptor;    // viaDescriptor: the keys that differ from the defaults
    std::vector<uint8_t> cachedFile;    // otherwise: the cached settings file to put in place
    std::string loss;                   // what neither way can carry exactly (empty when nothing)
};
SettingsPlay planSettingsPlay(const ParamRecord& record);

// The settings the last run played: its recorded descriptor, with the full
// colours (and stored switch values) of the cached settings file the module
// wrote in the same run; the cached settings alone when nothing was recorded;
// none when neither is there. warning receives why a damaged file was ignored.
std::optional<ParamRecord> lastRunSettings(std::string* warning);
// The settings of a run from what it left: the descriptor it recorded and,
// when there is one, the settings file it wrote (null: none).
ParamRecord mergeRecordedSettings(const pi::MemoryDescriptor& recorded, const ParamRecord* cached);

// The lock (a file of the working folder) that a run of the module holds
// from placing its settings until it has read back what the module wrote:
// runs of other processes in the same working folder wait for it, since they
// share the cached settings file and the recorded descriptor.
constexpr const char* kFilterRunLock = "Terravane filter run";

// Puts the cached settings file in place for one run and takes it back
// (the previous file, or none) unless the run succeeded.
class PlacedSettings {
public:
    bool place(const std::vector<uint8_t>& bytes, std::string* error);
    void keep() { placed_ = false; }
    ~PlacedSettings();

private:
    bool placed_ = false;
    bool hadPrevious_ = false;
    std::vector<uint8_t> previous_;
};

}  // namespace tv::cli
