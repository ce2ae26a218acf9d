// Helpers shared by the synthesis tests: planets with their tables built and
// small pyramids filled by the test.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "synth/noise.h"
#include "synth/planet_data.h"
#include "synth/pyramid.h"

namespace tv::test {

inline std::unique_ptr<PlanetData> planetWithSeed(int32_t seed) {
    auto planet = std::make_unique<PlanetData>();
    buildSeedTable(*planet, seed);
    buildLattice(*planet);
    return planet;
}

// An 8-bit pyramid with every level built, level 0 from value(x, y).
inline void fillPyramid(ImagePyramid& pyramid, int32_t width, int32_t height,
                        const std::function<int(int, int)>& value) {
    ASSERT_TRUE(createPyramid(pyramid, width, height, kFormatGrey8, kWrapClamp));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) setPixel(pyramid, 0, x, y, 0, static_cast<float>(value(x, y)));
    pyramid.state = 1;
    buildChain(pyramid);
}

}  // namespace tv::test
