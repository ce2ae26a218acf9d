// Whole rows in and out of a one-byte-per-pixel pyramid level, tile by tile.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "synth/pyramid.h"

namespace tv {

inline void writePyramidRow(ImagePyramid& p, int32_t level, int32_t y, const uint8_t* values) {
    const int32_t width = p.levelWidth[level];
    for (int32_t x = 0; x < width;) {
        const int32_t run = std::min(width - x, kPyramidTileSize - (x & (kPyramidTileSize - 1)));
        std::memcpy(pixelAddress(p, level, x, y), values + x, size_t(run));
        x += run;
    }
}

inline void readPyramidRow(const ImagePyramid& p, int32_t level, int32_t y, uint8_t* values) {
    const int32_t width = p.levelWidth[level];
    for (int32_t x = 0; x < width;) {
        const int32_t run = std::min(width - x, kPyramidTileSize - (x & (kPyramidTileSize - 1)));
        std::memcpy(values + x, pixelAddress(p, level, x, y), size_t(run));
        x += run;
    }
}

}  // namespace tv
