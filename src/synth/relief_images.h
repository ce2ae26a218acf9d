// The five built-in relief images: raw 8-bit grey, one byte per pixel, rows
// top to bottom. Resources 146, 148, 149, 150 are 384 x 384 crater fields
// (128 = no relief, exactly 128 outside the inscribed circle); resource 151 is
// the 512 x 512 Moon's near side (stored turned by 180 degrees, so that it
// shows north up on the globe).
#pragma once

#include <cstdint>

namespace tv {

struct ReliefImage {
    const uint8_t* pixels = nullptr;
    int32_t width = 0;
    int32_t height = 0;
};

constexpr int32_t kReliefResourceIds[5] = {151, 146, 148, 149, 150};  // the load order

// The image of a resource id; false (and an empty image) for an unknown id.
bool findReliefImage(int32_t resourceId, ReliefImage& image);

}  // namespace tv
