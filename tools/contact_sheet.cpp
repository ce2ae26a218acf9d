// tool_contact_sheet: renders the fourteen output modes of one planet into a
// labelled contact sheet (PNG).
//
//   tool_contact_sheet OUT.png [CELL_WIDTH] ["NAME=VALUE"]...
//
// Globe modes are rendered square-ish in their cell, maps at 2:1. The
// composite mode is rendered into an image of its own through the host
// destination, laid over a checkerboard so that the compositing shows.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "cli_common.h"
#include "params/fields.h"
#include "image_io.h"
#include "render/render.h"
#include "render_image.h"
#include "sheet_text.h"


namespace {

using tv::cli::Image;

// A host image in memory: a checkerboard source, results stored as floats.
struct MemoryHost {
    int32_t width = 0, height = 0;
    std::vector<float> pixels;  // RGBA

    static int32_t setUp(void* c, int32_t, tv::RenderTarget& t) {
        auto* h = static_cast<MemoryHost*>(c);
        t.depthBits = 8;
        t.area = {0, 0, h->height, h->width};
        t.fullWidth = h->width;
        t.fullHeight = h->height;
        return 0;
    }
    static int32_t request(void*, const tv::Rect&) { return 0; }
    static void read(void* c, int32_t x, int32_t y, float rgba[4]) {
        auto* h = static_cast<MemoryHost*>(c);
        std::memcpy(rgba, &h->pixels[(size_t(y) * size_t(h->width) + size_t(x)) * 4], 4 * sizeof(float));
    }
    static void store(void* c, int32_t x, int32_t y, const float rgba[4]) {
        auto* h = static_cast<MemoryHost*>(c);
        std::memcpy(&h->pixels[(size_t(y) * size_t(h->width) + size_t(x)) * 4], rgba, 4 * sizeof(float));
    }
};

bool renderComposite(const tv::ParamRecord& record, int32_t w, int32_t h, Image& out) {
    MemoryHost host;
    host.width = w;
    host.height = h;
    host.pixels.resize(size_t(w) * size_t(h) * 4);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            const float v = ((x / 16 + y / 16) & 1) ? 0.55f : 0.35f;
            float* p = &host.pixels[(size_t(y) * size_t(w) + size_t(x)) * 4];
            p[0] = v;
            p[1] = v * 0.9f;
            p[2] = v * 0.8f;
            p[3] = 1.0f;
        }
    tv::HostBridge bridge;
    bridge.context = &host;
    bridge.setUpPlanes = MemoryHost::setUp;
    bridge.requestTile = MemoryHost::request;
    bridge.readSource = MemoryHost::read;
    bridge.store = MemoryHost::store;
    tv::ParamRecord params = record;
    tv::StateBlock state{};
    tv::Engine engine;
    tv::initEngine(engine, &params, &state);
    engine.host = &bridge;
    if (tv::renderFinal(engine) != 0) return false;
    if (!out.allocate(w, h, 3, 8)) return false;
    for (size_t i = 0; i < size_t(w) * size_t(h); ++i)
        for (int c = 0; c < 3; ++c)
            out.data[i * 3 + size_t(c)] = uint8_t(std::clamp(host.pixels[i * 4 + size_t(c)], 0.0f, 1.0f) * 255.0f + 0.5f);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: tool_contact_sheet OUT.png [CELL_WIDTH] [\"NAME=VALUE\"]...\n");
        return 2;
    }
    const std::string output = argv[1];
    int32_t cellWidth = 320;
    int argi = 2;
    if (argi < argc && std::strchr(argv[argi], '=') == nullptr) cellWidth = std::max(32, std::atoi(argv[argi++]));
    tv::ParamRecord record = tv::defaultRecord();
    for (; argi < argc; ++argi) {
        std::string error;
        if (!tv::applyScriptingAssignment(record, argv[argi], &error)) {
            std::fprintf(stderr, "tool_contact_sheet: %s\n", error.c_str());
            return 1;
        }
    }

    const int32_t cellHeight = cellWidth / 2, label = 22, gap = 6, columns = 4;
    const int32_t rows = (tv::kOutputModeCount + columns - 1) / columns;
    Image sheet;
    if (!sheet.allocate(gap + columns * (cellWidth + gap), gap + rows * (cellHeight + label + gap), 3, 8)) return 1;
    std::fill(sheet.data.begin(), sheet.data.end(), uint8_t(40));

    for (int32_t mode = 1; mode <= tv::kOutputModeCount; ++mode) {
        tv::ParamRecord r = record;
        r.outputMode = mode;
        Image cell;
        bool ok;
        if (mode == tv::kModeComposite) {
            ok = renderComposite(r, cellWidth, cellHeight, cell);
        } else {
            tv::cli::RenderRequest request;
            request.width = cellWidth;
            request.height = cellHeight;
            std::string error;
            ok = tv::cli::renderImage(r, request, cell, &error);
        }
        if (!ok) {
            std::fprintf(stderr, "tool_contact_sheet: mode %d failed to render\n", mode);
            return 1;
        }
        const int32_t col = (mode - 1) % columns, row = (mode - 1) / columns;
        const int32_t x0 = gap + col * (cellWidth + gap), y0 = gap + row * (cellHeight + label + gap);
        for (int32_t y = 0; y < cellHeight; ++y)
            std::memcpy(sheet.data.data() + (size_t(y0 + y) * size_t(sheet.width) + size_t(x0)) * 3,
                        cell.data.data() + size_t(y) * cell.rowBytes(), cell.rowBytes());
        drawSheetText(sheet, x0 + 2, y0 + cellHeight + 4, std::to_string(mode) + "  " + tv::outputModeName(mode), 2);
    }
    std::string error;
    if (!tv::cli::writeImage(output, sheet, &error)) {
        std::fprintf(stderr, "tool_contact_sheet: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
