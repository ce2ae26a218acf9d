// A plain 8-bit RGB image (thumbnails, the preview's pictures).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tv {

struct RgbImage {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint8_t> pixels;  // width x height x 3, rows top to bottom

    RgbImage() = default;
    RgbImage(int32_t w, int32_t h) : width(w), height(h), pixels(size_t(w > 0 ? w : 0) * size_t(h > 0 ? h : 0) * 3) {}
    uint8_t* at(int32_t x, int32_t y) { return pixels.data() + (size_t(y) * size_t(width) + size_t(x)) * 3; }
    const uint8_t* at(int32_t x, int32_t y) const {
        return pixels.data() + (size_t(y) * size_t(width) + size_t(x)) * 3;
    }
};

}  // namespace tv
