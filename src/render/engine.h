// The engine's context for one module instance: the two host-kept blocks,
// the planet data, the rasters, and where the current render goes.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "base/types.h"
#include "params/params.h"
#include "synth/cloud_map.h"
#include "synth/planet_data.h"
#include "synth/pyramid.h"

namespace tv {

// What a render writes into.
struct RenderTarget {
    int32_t depthBits = 8;         // 8, 16 or 32 bits per channel
    bool grey = false;             // one colour plane: store the luminance
    bool hasTransparency = false;  // the layer has an editable transparency plane
    bool hasMask = false;          // the host passes a selection mask
    bool floatUnclamped = false;   // keep values above 1 (32-bit host image, float export)
    Rect area;                     // the render area, in host (or export) pixels
    int32_t fullWidth = 0;         // the full image area: the filter rectangle or export size
    int32_t fullHeight = 0;
};

// The host side of a render into the host image (destination 0): the plug-in
// frame fills it with the filter record's transfer functions. All calls are
// made on the driver thread. Coordinates are absolute host pixels.
struct HostBridge {
    void* context = nullptr;
    // Sets up the host's planes, rates and rectangles for a render to the host
    // image (the full filter area, sample factor 1) or to the preview (at the
    // record's sample factor), and fills the target's area and image kind.
    int32_t (*setUpPlanes)(void* context, int32_t destination, RenderTarget& target) = nullptr;
    // Asks the host to deliver the tile's buffers; returns the host's result.
    int32_t (*requestTile)(void* context, const Rect& tile) = nullptr;
    bool (*cancelled)(void* context) = nullptr;
    void (*progress)(void* context, int32_t done, int32_t total) = nullptr;
    void (*readSource)(void* context, int32_t x, int32_t y, float rgba[4]) = nullptr;
    float (*readMask)(void* context, int32_t x, int32_t y) = nullptr;
    void (*store)(void* context, int32_t x, int32_t y, const float rgba[4]) = nullptr;
};

// An export image (destination 2): four interleaved channels R, G, B, A per
// pixel at 1, 2 or 4 bytes per channel (8-bit 0..255, 16-bit 0..32768, float).
// Samples are in native byte order; rows top to bottom.
struct ExportImage {
    int32_t width = 0;
    int32_t height = 0;
    int32_t bytesPerChannel = 1;
    bool grey = false;  // set before rendering: store the luminance in R, G and B
    std::vector<uint8_t> pixels;
};

struct Engine {
    ParamRecord* params = nullptr;
    StateBlock* state = nullptr;
    std::unique_ptr<PlanetData> planet;
    ImagePyramid reliefs[kReliefCount];
    CloudMap cloudMap;
    RenderTarget target;
    HostBridge* host = nullptr;          // destination 0
    ExportImage* exportImage = nullptr;  // destination 2
    // Progress of an export (destination 2), in thousandths of the current pass.
    void (*exportProgress)(void* context, int32_t thousandths) = nullptr;
    void* exportProgressContext = nullptr;
    int32_t result = 0;                  // the selector's result code
    // Each worker slot's buffers, kept from one tile and one render to the
    // next (previews render many times): see render.cpp.
    std::shared_ptr<struct SlotBuffers> buffers;
};

}  // namespace tv
