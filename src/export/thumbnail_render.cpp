// Catalogue thumbnails rendered by the engine.
#include <cstring>

#include "export/catalogue.h"
#include "render/render.h"

namespace tv {

namespace {

int32_t renderWithEngine(void*, const ParamRecord& record, int32_t width, int32_t height, RgbImage& out) {
    ParamRecord params = record;
    StateBlock state{};
    params.stateBlock = &state;
    Engine engine;
    initEngine(engine, &params, &state);
    ExportImage image;
    if (const int32_t rc = renderToExportImage(engine, image, width, height, 1); rc != 0) return rc;
    out = RgbImage(width, height);
    const size_t pixels = size_t(width) * size_t(height);
    for (size_t i = 0; i < pixels; ++i) std::memcpy(out.pixels.data() + i * 3, image.pixels.data() + i * 4, 3);
    return 0;
}

}  // namespace

ThumbnailRenderer engineThumbnailRenderer() { return ThumbnailRenderer{nullptr, renderWithEngine}; }

}  // namespace tv
