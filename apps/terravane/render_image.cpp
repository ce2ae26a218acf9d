#include "render_image.h"

#include <cstring>

#include "cli_common.h"
#include "render/render.h"

namespace tv::cli {

namespace {

void reportProgress(void* context, int32_t thousandths) {
    static_cast<ProgressBar*>(context)->update(thousandths);
}

}  // namespace

bool renderImage(const ParamRecord& record, const RenderRequest& request, Image& out, std::string* error) {
    ParamRecord params = record;
    StateBlock state{};
    params.stateBlock = &state;
    Engine engine;
    initEngine(engine, &params, &state);
    if (request.progress) {
        engine.exportProgress = reportProgress;
        engine.exportProgressContext = request.progress;
    }
    ExportImage image;
    image.grey = request.grey;
    const int32_t bytes = request.depth / 8;
    const int32_t r = renderToExportImage(engine, image, request.width, request.height, bytes);
    if (r != 0) {
        if (error) *error = "the render failed (result " + std::to_string(r) + ")";
        return false;
    }
    if (request.progress) request.progress->finish();

    const int32_t channels = request.grey ? 1 : 3;
    if (!out.allocate(image.width, image.height, channels, request.depth)) {
        if (error) *error = "the image is too large";
        return false;
    }
    const size_t pixels = size_t(image.width) * size_t(image.height);
    for (size_t i = 0; i < pixels; ++i) {
        for (int32_t c = 0; c < channels; ++c) {
            // Grey images carry the luminance in every channel; take green.
            const size_t from = (i * 4 + size_t(request.grey ? 1 : c)) * size_t(bytes);
            const size_t to = (i * size_t(channels) + size_t(c)) * size_t(bytes);
            if (bytes == 2) {
                uint16_t v;
                std::memcpy(&v, image.pixels.data() + from, 2);
                const uint16_t s = fileSample16(v);
                std::memcpy(out.data.data() + to, &s, 2);
            } else {
                std::memcpy(out.data.data() + to, image.pixels.data() + from, size_t(bytes));
            }
        }
    }
    return true;
}

}  // namespace tv::cli
