// Stand-in renderer used until the globe renderer is part of the engine
// library: a flat-shaded disc in the land colour on black, drawn tile by tile
// through the same host bridge, with the write-out steps the frame relies on
// (grey conversion, composite over the source, the selection mask, alpha).
// It is replaced by the engine's renderFinal.
#include "host/frame_render.h"

#include <algorithm>
#include <cmath>

namespace tv {

struct FrameEngine {
    ParamRecord* params = nullptr;
    StateBlock* state = nullptr;
};

FrameEngine* createFrameEngine(ParamRecord* params, StateBlock* state) {
    return new (std::nothrow) FrameEngine{params, state};
}

void destroyFrameEngine(FrameEngine* engine) { delete engine; }

void rebindFrameEngine(FrameEngine* engine, ParamRecord* params, StateBlock* state) {
    engine->params = params;
    engine->state = state;
}

namespace {

void shade(const ParamRecord& p, const RenderTarget& target, int32_t x, int32_t y, float rgba[4], float& coverage) {
    const float w = float(target.fullWidth), h = float(target.fullHeight);
    const float radius = 0.5f * std::min(w, h) * float(p.planetSize) / 100.0f;
    const float cx = p.xCenter * w, cy = p.yCenter * h;
    const float dx = (float(x) + 0.5f - cx) / std::max(radius, 1.0f);
    const float dy = (float(y) + 0.5f - cy) / std::max(radius, 1.0f);
    const float d2 = dx * dx + dy * dy;
    coverage = d2 < 1.0f ? 1.0f : 0.0f;
    rgba[0] = rgba[1] = rgba[2] = 0.0f;
    rgba[3] = coverage;
    if (coverage == 0.0f) return;
    const float dz = std::sqrt(1.0f - d2);
    const float light = std::max(0.0f, -(dx * p.lightX + dy * p.lightY) + dz * p.lightZ);
    for (int c = 0; c < 3; ++c) rgba[c] = float(p.landColor[c]) / 65535.0f * (0.15f + 0.85f * light);
}

}  // namespace

int32_t renderIntoHost(FrameEngine* engine, HostBridge& bridge) {
    ParamRecord& p = *engine->params;
    RenderTarget target;
    p.renderDestination = kDestinationHost;
    int32_t result = bridge.setUpPlanes(bridge.context, kDestinationHost, target);
    if (result != 0) return result;
    const Rect area = target.area;
    const int32_t across = (area.width() + 255) / 256, down = (area.height() + 255) / 256;
    const int32_t jobs = across * down;
    p.passCount = p.passIndex = 1;
    for (int32_t j = 0; j < jobs && result == 0; ++j) {
        if (bridge.cancelled(bridge.context)) {
            result = -128;
            break;
        }
        const int32_t top = area.top + 256 * (j / across), left = area.left + 256 * (j % across);
        const Rect tile{top, left, std::min(top + 256, area.bottom), std::min(left + 256, area.right)};
        result = bridge.requestTile(bridge.context, tile);
        if (result != 0) break;
        for (int32_t y = tile.top; y < tile.bottom; ++y)
            for (int32_t x = tile.left; x < tile.right; ++x) {
                float c[4], coverage = 0.0f, source[4] = {0, 0, 0, 0};
                shade(p, target, x - area.left, y - area.top, c, coverage);
                if (target.grey) c[0] = c[1] = c[2] = 0.3f * c[0] + 0.59f * c[1] + 0.11f * c[2];
                bridge.readSource(bridge.context, x, y, source);
                if (p.outputMode == kModeComposite && !target.hasTransparency && target.depthBits != 32) {
                    for (int k = 0; k < 3; ++k) c[k] = std::min(1.0f, c[k] + source[k] * (1.0f - coverage));
                    c[3] = 1.0f;
                } else if (!target.hasTransparency) {
                    c[3] = 1.0f;
                }
                const float m = bridge.readMask(bridge.context, x, y);
                if (m < 1.0f)
                    for (int k = 0; k < 4; ++k) c[k] = source[k] + m * (c[k] - source[k]);
                bridge.store(bridge.context, x, y, c);
            }
        bridge.progress(bridge.context, int32_t(int64_t(j + 1) * 1000 / jobs), 1000);
    }
    p.passIndex = -1;
    return result;
}

}  // namespace tv
