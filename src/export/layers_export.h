// The layered export run through the engine: every layer rendered at the
// full size with render destination 2, streamed into the document writer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "render/engine.h"

namespace tv {

// Told as the export goes: thousandths of the whole export (all eleven
// layers). When cancelled() says so, the export stops within the current
// layer and returns -128, leaving any older file as it was.
struct LayersProgress {
    void* context = nullptr;
    void (*report)(void* context, int32_t thousandths) = nullptr;
    bool (*cancelled)(void* context) = nullptr;
};

struct LayersRequest {
    int32_t width = 0;   // the filter area's size
    int32_t height = 0;
    int32_t depthBits = 8;            // 8, 16 or 32 (anything else counts as 8)
    std::vector<uint8_t> iccProfile;  // the host's colour profile, if it gives one
    LayersProgress progress;
};

// Writes every map of the engine's current planet as one layered document.
// The user's output mode, the render destination, pass counters, sample
// factor, full-render flag and the engine's export image and progress hooks
// are restored afterwards, whatever happened. Returns 0, 99 when the file
// cannot be created, -20 on a write failure, -99 when the buffers cannot be
// set up, -128 when the render was cancelled, or the render's error.
int32_t exportLayers(Engine& engine, const std::string& path, const LayersRequest& request);

// The overall progress in thousandths after `done` whole layers and
// `thousandths` of the next one, over `layers` layers.
int32_t layersProgress(int32_t done, int32_t thousandths, int32_t layers);

}  // namespace tv
