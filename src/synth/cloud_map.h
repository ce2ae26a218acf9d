// A satellite cloud map: a one-channel 8-bit pyramid of the Earth's disc with
// the disc's placement in the image.
#pragma once

#include <cstdint>

#include "synth/pyramid.h"

namespace tv {

struct CloudMap {
    ImagePyramid pyramid;
    bool loaded = false;
    int32_t index = -1;  // catalogue index the map was converted or loaded for
    int32_t width = 0, height = 0;
    float discLeft = 0, discWidth = 0, discTop = 0, discHeight = 0;  // image pixels
    // The normalised disc: left/top edge and width/height as fractions of the image.
    float offsetU = 0, offsetV = 0, scaleU = 0, scaleV = 0;
};

}  // namespace tv
