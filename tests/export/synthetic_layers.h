// Synthetic layers for the layered document writer.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "export/psd_writer.h"

namespace tv::test {

// The layers of a document, bottom to top.
const char* const kLayerNames[] = {"lit map",   "map color", "land color", "land bump", "bump w/o ocean", "ocean mask",
                                   "air color", "cloud mask", "cloud bump", "cities",   "mural"};

// A synthetic layer: every sample a function of layer, channel and position,
// with transparency that varies across the image.
inline uint32_t syntheticSample(int32_t layer, int c, int32_t x, int32_t y, uint32_t full) {
    const uint32_t v = uint32_t(layer * 37 + c * 61 + x * 5 + y * 3) % 256u;
    if (c == 3) return x % 3 == 0 ? full : full * ((v % 128u) + 64u) / 255u;
    return full * v / 255u;
}

struct SyntheticLayers {
    int32_t rendered = 0;
    int32_t failAt = 0;  // index whose render fails with -128, 0 for none
    std::vector<int32_t> order;

    static int32_t render(void* context, int32_t index, ExportImage& image);
    PsdLayerSource source() { return PsdLayerSource{this, &SyntheticLayers::render}; }
    int32_t width = 0, height = 0, bytesPerChannel = 1;
};

inline int32_t SyntheticLayers::render(void* context, int32_t index, ExportImage& image) {
    auto* self = static_cast<SyntheticLayers*>(context);
    self->order.push_back(index);
    if (index == self->failAt) return -128;
    ++self->rendered;
    image.width = self->width;
    image.height = self->height;
    image.bytesPerChannel = self->bytesPerChannel;
    const size_t bpc = size_t(self->bytesPerChannel);
    image.pixels.assign(size_t(self->width) * size_t(self->height) * 4 * bpc, 0);
    for (int32_t y = 0; y < self->height; ++y)
        for (int32_t x = 0; x < self->width; ++x)
            for (int c = 0; c < 4; ++c) {
                uint8_t* at = image.pixels.data() + ((size_t(y) * size_t(self->width) + size_t(x)) * 4 + size_t(c)) * bpc;
                if (bpc == 1) {
                    *at = uint8_t(syntheticSample(index, c, x, y, 255));
                } else if (bpc == 2) {
                    const uint16_t v = uint16_t(syntheticSample(index, c, x, y, 32768));
                    std::memcpy(at, &v, 2);
                } else {
                    const float v = float(syntheticSample(index, c, x, y, 255)) / 255.0f;
                    std::memcpy(at, &v, 4);
                }
            }
    return 0;
}

}  // namespace tv::test
