// Renders a record into an image of the command line's own (the export
// destination), for the render command, the contact sheet and benchmarks.
#pragma once

#include <cstdint>
#include <string>

#include "params/params.h"
#include "image_io.h"

namespace tv::cli {

class ProgressBar;

struct RenderRequest {
    int32_t width = 1024;
    int32_t height = 1024;
    int32_t depth = 8;  // 8, 16 or 32 bits per channel
    bool grey = false;  // one channel: the luminance
    ProgressBar* progress = nullptr;
};

// Renders record at the requested size into out (1 or 3 channels; 16-bit
// samples scaled to 0..65535). False with a reason when the render fails.
bool renderImage(const ParamRecord& record, const RenderRequest& request, Image& out, std::string* error);

}  // namespace tv::cli
