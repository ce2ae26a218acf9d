// Random settings: a 15-bit pseudo-random generator and the Dice command,
// which replaces most settings by random values within plausible ranges.
#pragma once

#include <cstdint>

#include "params/params.h"

namespace tv::persist {

// The C library's classic generator: 15-bit results (0..32767), the same
// sequence for the same seed on every platform.
struct RandomSource {
    uint32_t state = 1;
    void seed(uint32_t s) { state = s; }
    int32_t next() {
        state = state * 214013u + 2531011u;
        return static_cast<int32_t>((state >> 16) & 0x7FFF);
    }
};

// The module's generator: lives as long as the module, seeded at every prepare.
RandomSource& moduleRandom();
void seedModuleRandom(uint32_t seed);
void seedModuleRandomWithTime();  // the current time in seconds

// lo..hi inclusive (swapped when lo > hi); ranges wider than 2047 are not covered.
int32_t randomInteger(RandomSource& rng, int32_t lo, int32_t hi);
// Each channel (result AND 0xFF) x 256, red, green, blue.
Colour16 randomColour(RandomSource& rng);
// A random colour pulled towards its own luminance by k/256 (larger k: greyer).
Colour16 tintedRandomColour(RandomSource& rng, int32_t k);

// Randomises the record and names it "random settings". Leaves planet size,
// backlighting, lunar climate, downloaded clouds, the light and axis vectors,
// X/Y center and the output mode as they are.
void dice(ParamRecord& record, RandomSource& rng);

}  // namespace tv::persist
