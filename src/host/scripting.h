// The scripting exchange: the host's descriptor read into the parameter record
// at start, and every scriptable setting written into a new descriptor at finish.
#pragma once

#include <cstdint>

#include "params/params.h"
#include "host/pi/pi_types.h"

namespace tv {

// The host offers descriptor parameters of version 0 with complete read (18)
// and write (16) procedure tables.
bool descriptorAvailable(const pi::FilterRecord* record);
// Descriptor available, not a 'PSP8'/'PSP9' host, and the host's open-read
// procedure accepts its descriptor with our key list.
bool recordedParametersPresent(pi::FilterRecord* record);

// Fills the record from the host's descriptor (defaults first, so keys the
// descriptor lacks take their defaults) and sets the state block's show-dialog
// flag from the play information. Returns the selector's result: 0, or an
// error from closing the descriptor other than -1715 (a missing key).
int16_t readScriptingParameters(pi::FilterRecord* record, ParamRecord& params, StateBlock& state);

// Builds a new descriptor from the record; the host's descriptor handle is
// replaced (the old one disposed) and the record information set to optional.
void writeScriptingParameters(pi::FilterRecord* record, const ParamRecord& params);

}  // namespace tv
