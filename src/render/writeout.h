// The pixel write-out: a finished cell colour onto its destination.
#pragma once

#include <cmath>
#include <cstdint>

#include "params/params.h"
#include "render/engine.h"

namespace tv {

struct WriteContext {
    int32_t mode = kModeNormal;
    int32_t destination = kDestinationExport;
    RenderTarget target;
    HostBridge* host = nullptr;         // destination 0 (and the preview's source)
    ExportImage* exportImage = nullptr; // destination 2
    PreviewImage* preview = nullptr;    // destination 1
    // The render area's top-left in host pixels: host calls get x + areaLeft, y + areaTop.
    int32_t areaLeft = 0, areaTop = 0;
};

// Writes one pixel: highlight spill, grey conversion, the output mode's
// compositing, the over rule, the selection mask, then the store. x and y are
// render-area pixels (the preview and export images start at the area's
// top-left). extra = (air opacity, surface coverage).
void writePixel(const WriteContext& w, int32_t x, int32_t y, const float colour[4], const float extra[2]);

// The over rule: colour with alpha a laid over a source pixel with alpha b.
void layOver(const float source[4], float rgba[4]);

// Spreads the excess of channels above 1 to the others (not for float images).
void spillHighlights(float rgb[3]);

// v rounded to the nearest integer, ties to even (std::nearbyint in the
// default rounding mode), without a library call.
inline float roundToEven(float v) {
    // Below 2^23 adding 2^23 leaves no fraction bits, so the sum is rounded
    // to the nearest integer, ties to even; from 2^23 on every float is whole
    // (and NaN stays NaN). The sign is the value's, as for -0.3 -> -0.
    constexpr float kWhole = 8388608.0f;
    const float a = std::fabs(v);
    if (!(a < kWhole)) return v;
    return std::copysign((a + kWhole) - kWhole, v);
}

}  // namespace tv
