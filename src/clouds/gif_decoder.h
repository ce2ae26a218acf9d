// A GIF decoder (87a and 89a) for palette satellite images: the first image
// of the file, its palette and transparency index.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tv {

// Images larger than this many pixels are refused (the satellite images are
// a few hundred pixels across).
constexpr int64_t kGifMaxPixels = int64_t(1) << 26;

struct GifPaletteEntry {
    uint8_t red = 0, green = 0, blue = 0;
    bool unused = true;  // no pixel of the image uses this entry
};

struct GifImage {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint8_t> pixels;  // palette indices, rows top to bottom
    GifPaletteEntry palette[256];
    int32_t paletteSize = 0;       // 1 + the highest index in use
    int32_t transparentIndex = -1;
    bool interlaced = false;

    // Palette index at (x, y); 0 outside the image.
    uint8_t at(int32_t x, int32_t y) const {
        if (x < 0 || y < 0 || x >= width || y >= height) return 0;
        return pixels[size_t(y) * size_t(width) + size_t(x)];
    }
};

enum class GifStatus {
    Ok,
    NotGif,        // no "GIF87a"/"GIF89a" signature
    Truncated,     // the data ends inside a block
    BadImage,      // zero or oversized image, no image at all
    BadCodeSize,   // LZW minimum code size outside 1..8
    BadCode,       // an LZW code that names no table entry
};

// Decodes the first image. On failure out is left empty (width and height 0).
GifStatus decodeGif(const uint8_t* data, size_t size, GifImage& out, int64_t maxPixels = kGifMaxPixels);
const char* gifStatusText(GifStatus status);

}  // namespace tv
