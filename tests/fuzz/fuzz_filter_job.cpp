// The headers terravane-gimp's two processes send each other: a decoded
// header encodes back to the same bytes.
#include <cstddef>
#include <cstdint>

#include "filter_job.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    tv::gimp::FilterJob job;
    if (tv::gimp::decodeJobHeader(data, size, job, nullptr) && tv::gimp::encodeJobHeader(job).size() != size)
        __builtin_trap();
    tv::gimp::FilterOutcome outcome;
    if (tv::gimp::decodeOutcomeHeader(data, size, outcome, nullptr) &&
        tv::gimp::encodeOutcomeHeader(outcome).size() != size)
        __builtin_trap();
    return 0;
}
