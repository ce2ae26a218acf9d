// Tiled rasters with a chain of halved levels, sampled with a Lanczos-2 filter
// within a level and linear blending between levels.
#pragma once

#include <cstdint>

#include "base/types.h"

namespace tv {

constexpr int kMaxPyramidLevels = 20;
constexpr int kPyramidTileSize = 512;

// Pixel formats.
enum PixelFormat : int32_t {
    kFormatGrey8 = 0,      // 1 x 8-bit, unit 255
    kFormatGrey16 = 1,     // 1 x 16-bit, 0..32768
    kFormatGrey16Raw = 2,  // 1 x 16-bit, unit 1
    kFormatRGBA8 = 3,      // 4 x 8-bit
    kFormatRGBA16 = 4,     // 4 x 16-bit, 0..32768
    kFormatGreyFloat = 5,  // 1 x float
    kFormatRGB16Raw = 7,   // 3 x 16-bit, unit 1
    kFormatRGBAFloat = 9,  // 4 x float
};

enum WrapMode : int32_t {
    kWrapNone = -1,  // level 0 only, no chain
    kWrapClamp = 0,
    kWrapBoth = 1,
    kWrapX = 2,
};

struct PyramidTile {
    uint8_t* pixels = nullptr;  // owned by the pyramid
    int32_t top = 0, left = 0;  // within the level, multiples of 512
    int32_t width = 0, height = 0;
};

struct ImagePyramid {
    int32_t levelWidth[kMaxPyramidLevels] = {};
    int32_t levelHeight[kMaxPyramidLevels] = {};
    int32_t levelMaxX[kMaxPyramidLevels] = {};
    int32_t levelMaxY[kMaxPyramidLevels] = {};
    int32_t topLevel = 0;
    int32_t format = kFormatGrey8;
    int32_t channels = 0;
    int32_t bytesPerChannel = 0;
    int32_t bytesPerPixel = 0;
    PyramidTile* tiles = nullptr;
    int32_t tileCount = 0;
    int32_t tilesAcross[kMaxPyramidLevels] = {};
    int32_t firstTile[kMaxPyramidLevels] = {};
    int32_t wrapMode = kWrapClamp;
    float unitScale = 1.0f;  // 1 / unit value
    float maxValue = 1.0f;   // the unit value
    int32_t state = 0;       // 0 created, 1 level 0 filled, 2 chain built

    ImagePyramid() = default;
    ImagePyramid(const ImagePyramid&) = delete;
    ImagePyramid& operator=(const ImagePyramid&) = delete;
    ImagePyramid(ImagePyramid&& other) noexcept;
    ImagePyramid& operator=(ImagePyramid&& other) noexcept;
    ~ImagePyramid();

    bool empty() const { return tiles == nullptr; }
};

// Frees previous content, computes level sizes, allocates every tile of every
// level. False (and an empty pyramid) for a non-positive size or a failed allocation.
bool createPyramid(ImagePyramid& p, int32_t width, int32_t height, int32_t format, int32_t wrapMode);
void freePyramid(ImagePyramid& p);

// Address of pixel (x, y) of a level (no clamping; the caller keeps it inside).
uint8_t* pixelAddress(const ImagePyramid& p, int32_t level, int32_t x, int32_t y);

// Raw channel values in the format's own scale (0..255, 0..32768, floats).
// getPixel clamps x and y into the level and returns 0 on an empty pyramid;
// setPixel ignores coordinates outside the level.
float getPixel(const ImagePyramid& p, int32_t level, int32_t x, int32_t y, int32_t channel = 0);
void setPixel(ImagePyramid& p, int32_t level, int32_t x, int32_t y, int32_t channel, float value);
// Four channels scaled to 0..1 (grey formats replicate, alpha = 1).
void getPixelRGBA(const ImagePyramid& p, int32_t level, int32_t x, int32_t y, float out[4]);
void setPixelRGBA(ImagePyramid& p, int32_t level, int32_t x, int32_t y, const float rgba[4]);

// Computes levels 1..topLevel as batches of jobs on the worker threads,
// one level after another. Sets state 2. No-op for kWrapNone.
void buildChain(ImagePyramid& p);
// Fills level + 1 inside rect (clipped) from level.
void reduceLevel(ImagePyramid& p, int32_t level, const Rect& rect);

// Lanczos-2 weights for 128 phases and five taps, in three forms.
struct FilterTable {
    float weights[128][5];
    int32_t weights2048[128][5];
    int32_t weights32768[128][5];
};
void buildFilterTable(FilterTable& table);
const FilterTable& filterTable();  // built once, shared read-only

// Filtered value of one level at pixel position (X, Y), in the format's scale.
float sampleLevel(const ImagePyramid& p, int32_t level, float x, float y);
// u across the columns, v over the rows from the first stored row, both 0..1;
// blended between level and level + 1 by frac.
float samplePyramid(const ImagePyramid& p, int32_t level, float frac, float u, float v);
void samplePyramidRGBA(const ImagePyramid& p, int32_t level, float frac, float u, float v, float out[4]);

// Scales the whole source into the destination's size and rebuilds its chain.
void resampleImage(const ImagePyramid& source, ImagePyramid& destination);

}  // namespace tv
