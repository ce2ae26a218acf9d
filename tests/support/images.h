// Small images in the command line's image record.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <initializer_list>

#include "image_io.h"

namespace tv::test {

// Every pixel the same: one value (0..1, floats as they are) per channel.
inline cli::Image solidImage(int32_t w, int32_t h, int32_t depth, std::initializer_list<float> values) {
    cli::Image image;
    EXPECT_TRUE(image.allocate(w, h, int32_t(values.size()), depth));
    for (size_t i = 0; i < size_t(w) * size_t(h) * values.size(); ++i) {
        const float v = values.begin()[i % values.size()];
        if (depth == 8) image.data[i] = uint8_t(std::nearbyint(v * 255.0f));
        if (depth == 16) {
            const uint16_t s = uint16_t(std::nearbyint(v * 65535.0f));
            std::memcpy(image.data.data() + 2 * i, &s, 2);
        }
        if (depth == 32) std::memcpy(image.data.data() + 4 * i, &v, 4);
    }
    return image;
}

// An 8-bit grey mask selecting the columns left of x.
inline cli::Image leftMask(int32_t w, int32_t h, int32_t x) {
    cli::Image mask = solidImage(w, h, 8, {0.0f});
    for (int32_t y = 0; y < h; ++y) std::memset(mask.data.data() + size_t(y) * size_t(w), 255, size_t(x));
    return mask;
}

}  // namespace tv::test
