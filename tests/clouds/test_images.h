// Images the cloud tests make themselves: a GIF encoder (real LZW), JPEG
// streams, and Earth-disc-like pictures to feed them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tv::test {

struct IndexedPicture {
    int width = 0, height = 0;
    std::vector<uint8_t> pixels;                    // palette indices, rows top to bottom
    std::vector<uint8_t> palette;                   // r, g, b per entry
    uint8_t& at(int x, int y) { return pixels[size_t(y) * width + x]; }
};

struct GifOptions {
    bool interlaced = false;
    bool localTable = false;     // put the palette in the image descriptor instead of the header
    int transparentIndex = -1;   // write a graphic-control extension
    int minCodeSize = 8;
    bool comment = false;        // a comment extension before the image
};

std::vector<uint8_t> encodeGif(const IndexedPicture& picture, const GifOptions& options = {});

// A grey palette (entry i = grey i) with entry 3 replaced by an overlay colour.
std::vector<uint8_t> greyPalette();

// An Earth-like disc of clouds over a black background: disc box (left, top,
// diameter), cloud grey levels 40..250 inside, and optional overlay grid
// lines (palette index 3) every gridStep pixels inside the disc.
IndexedPicture earthDisc(int width, int height, int left, int top, int diameter, int gridStep);

// RGB rows top to bottom, 3 bytes per pixel.
std::vector<uint8_t> encodeJpeg(int width, int height, const std::vector<uint8_t>& rgb, int quality = 95);
// The same disc in RGB (no overlays).
std::vector<uint8_t> earthDiscRgb(int width, int height, int left, int top, int diameter);

}  // namespace tv::test
