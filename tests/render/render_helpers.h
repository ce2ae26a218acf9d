// Small renders for the renderer's tests.
#pragma once

#include <cstring>

#include "params/params.h"
#include "render/render.h"

namespace tv::testing {

struct Rendered {
    ExportImage image;
    int32_t result = 0;

    // Channel c of pixel (x, y) in 0..1 whatever the depth.
    float at(int32_t x, int32_t y, int c) const {
        const size_t i = (size_t(y) * size_t(image.width) + size_t(x)) * 4 + size_t(c);
        if (image.bytesPerChannel == 1) return image.pixels[i] / 255.0f;
        if (image.bytesPerChannel == 2) {
            uint16_t v;
            std::memcpy(&v, image.pixels.data() + 2 * i, 2);
            return v / 32768.0f;
        }
        float v;
        std::memcpy(&v, image.pixels.data() + 4 * i, 4);
        return v;
    }
};

inline Rendered renderRecord(const ParamRecord& record, int32_t width, int32_t height, int32_t bytesPerChannel = 1) {
    ParamRecord params = record;
    StateBlock state{};
    Engine engine;
    initEngine(engine, &params, &state);
    Rendered r;
    r.result = renderToExportImage(engine, r.image, width, height, bytesPerChannel);
    return r;
}

inline ParamRecord withMode(int32_t mode) {
    ParamRecord r = defaultRecord();
    r.outputMode = mode;
    return r;
}

inline void setLight(ParamRecord& r, float x, float y, float z) {
    r.lightX = x;
    r.lightY = y;
    r.lightZ = z;
}

}  // namespace tv::testing
