#include "host/transfer.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace tv {

namespace {

Rect fromRect16(const pi::Rect16& r) { return {r.top, r.left, r.bottom, r.right}; }
Rect fromVRect(const pi::VRect& r) { return {r.top, r.left, r.bottom, r.right}; }
pi::Rect16 toRect16(const Rect& r) {
    return {pi::int16(r.top), pi::int16(r.left), pi::int16(r.bottom), pi::int16(r.right)};
}
pi::VRect toVRect(const Rect& r) { return {r.top, r.left, r.bottom, r.right}; }

Rect shifted(const Rect& r, int32_t dx, int32_t dy) {
    return {r.top + dy, r.left + dx, r.bottom + dy, r.right + dx};
}

int32_t sampleBytes(int32_t depthBits) { return depthBits == 8 ? 1 : (depthBits == 16 ? 2 : 4); }

float sampleAt(const uint8_t* p, int32_t depthBits) {
    switch (depthBits) {
        case 8: return float(*p);
        case 16: {
            uint16_t v;
            std::memcpy(&v, p, 2);
            return float(v);
        }
        default: {
            float v;
            std::memcpy(&v, p, 4);
            return v;
        }
    }
}

void storeSample(uint8_t* p, int32_t depthBits, float channel) {
    switch (depthBits) {
        case 8: {
            const float v = std::clamp(std::nearbyint(channel * 255.0f), 0.0f, 255.0f);
            *p = uint8_t(v);
            break;
        }
        case 16: {
            const float v = std::clamp(std::nearbyint(channel * 32768.0f), 0.0f, 32768.0f);
            const uint16_t s = uint16_t(v);
            std::memcpy(p, &s, 2);
            break;
        }
        default: std::memcpy(p, &channel, 4); break;
    }
}

// Planes 0 .. planes-1, rates f x 65536, paddings -1 (edge replication).
void planesAndRates(pi::FilterRecord* r, int32_t factor) {
    r->inLoPlane = r->outLoPlane = 0;
    r->inHiPlane = r->outHiPlane = pi::int16(r->planes - 1);
    r->inputRate = r->maskRate = factor << 16;
    r->inputPadding = r->outputPadding = r->maskPadding = -1;
}

void fillTarget(const HostTransfer& t, const Rect& area, RenderTarget& target) {
    const pi::FilterRecord* r = t.record;
    target.depthBits = depthClass(r);
    target.grey = isGrey(r);
    target.hasTransparency = hasEditableTransparency(r);
    // The host delivers the mask with each tile, not at set-up: haveMask says it will.
    target.hasMask = r->haveMask != 0;
    target.floatUnclamped = target.depthBits == 32 && t.params->renderDestination == kDestinationHost;
    target.area = area;
    const Rect f = filterRect(r);
    target.fullWidth = f.width();
    target.fullHeight = f.height();
}

}  // namespace

bool usesBigDocument(const pi::FilterRecord* r) {
    return r->bigDocumentData && r->bigDocumentData->PluginUsing32BitCoordinates != 0;
}

Rect filterRect(const pi::FilterRecord* r) {
    return usesBigDocument(r) ? fromVRect(r->bigDocumentData->filterRect32) : fromRect16(r->filterRect);
}
Rect inRect(const pi::FilterRecord* r) {
    return usesBigDocument(r) ? fromVRect(r->bigDocumentData->inRect32) : fromRect16(r->inRect);
}
Rect outRect(const pi::FilterRecord* r) {
    return usesBigDocument(r) ? fromVRect(r->bigDocumentData->outRect32) : fromRect16(r->outRect);
}
Rect maskRect(const pi::FilterRecord* r) {
    return usesBigDocument(r) ? fromVRect(r->bigDocumentData->maskRect32) : fromRect16(r->maskRect);
}
void setInRect(pi::FilterRecord* r, const Rect& rect) {
    if (usesBigDocument(r))
        r->bigDocumentData->inRect32 = toVRect(rect);
    else
        r->inRect = toRect16(rect);
}
void setOutRect(pi::FilterRecord* r, const Rect& rect) {
    if (usesBigDocument(r))
        r->bigDocumentData->outRect32 = toVRect(rect);
    else
        r->outRect = toRect16(rect);
}
void setMaskRect(pi::FilterRecord* r, const Rect& rect) {
    if (usesBigDocument(r))
        r->bigDocumentData->maskRect32 = toVRect(rect);
    else
        r->maskRect = toRect16(rect);
}
void floatOrigin(const pi::FilterRecord* r, int32_t& x, int32_t& y) {
    if (usesBigDocument(r)) {
        x = r->bigDocumentData->floatCoord32.h;
        y = r->bigDocumentData->floatCoord32.v;
    } else {
        x = r->floatCoord.h;
        y = r->floatCoord.v;
    }
}

void storeRenderGeometry(StateBlock& state, const Rect& area) {
    state.renderRect = area;
    state.renderWidth = std::max(0, area.width());
    state.renderHeight = std::max(0, area.height());
    // Beyond 2^31 pixels (a big document) the count stays at the largest word.
    state.renderPixels = int32_t(std::min<int64_t>(int64_t(state.renderWidth) * state.renderHeight, INT32_MAX));
    state.areaFirstRow = area.top;
    state.areaLastRow = area.bottom - 1;
    state.areaFirstColumn = area.left;
    state.areaLastColumn = area.right - 1;
}

void fullAreaSetUp(HostTransfer& t, RenderTarget& target) {
    pi::FilterRecord* r = t.record;
    const Rect area = filterRect(r);
    t.params->sampleFactor = 1;
    setInRect(r, area);
    setOutRect(r, area);
    if (r->haveMask)
        setMaskRect(r, area);
    else
        setMaskRect(r, {area.top, area.left, area.top + 1, area.left + 1});
    planesAndRates(r, 1);
    storeRenderGeometry(*t.state, area);
    fillTarget(t, area, target);
}

int32_t previewSetUp(HostTransfer& t, int32_t factor, RenderTarget& target) {
    pi::FilterRecord* r = t.record;
    if (!r->advanceState || !r->displayPixels || r->samplingSupport == 0) {
        factor = 1;
        t.params->sampleFactor = 1;
    } else {
        factor = std::max(1, factor);
    }
    const Rect f = filterRect(r);
    Rect area{f.top / factor, f.left / factor, f.bottom / factor, f.right / factor};
    area.bottom = area.top + std::min(area.height(), t.paneHeight);
    area.right = area.left + std::min(area.width(), t.paneWidth);
    if (r->hostSig == pi::kHostPhotoshop8 && factor >= 2) {
        const int32_t h = area.height(), w = area.width();
        const int32_t dx = t.params->previewOriginX / factor, dy = t.params->previewOriginY / factor;
        area = {dy, dx, h + dy, w + dx};
    }
    storeRenderGeometry(*t.state, area);
    planesAndRates(r, factor);
    fillTarget(t, area, target);
    return factor;
}

int16_t requestTile(HostTransfer& t, const Rect& tile) {
    pi::FilterRecord* r = t.record;
    const int32_t factor = std::max(1, t.params->sampleFactor);
    int32_t fx = 0, fy = 0;
    floatOrigin(r, fx, fy);
    Rect rect = shifted(tile, fx / factor, fy / factor);
    rect = shifted(rect, t.params->previewOriginX / factor, t.params->previewOriginY / factor);
    t.tile = tile;
    setInRect(r, rect);
    setOutRect(r, rect);
    if (r->haveMask) setMaskRect(r, rect);
    planesAndRates(r, factor);
    r->inPreDummyPlanes = r->inPostDummyPlanes = 0;
    r->outPreDummyPlanes = r->outPostDummyPlanes = 0;
    r->autoMask = 0;  // the module applies the selection itself
    const int16_t result = r->advanceState ? r->advanceState() : pi::int16(pi::filterBadParameters);
    if (t.result) *t.result = result;
    return result;
}

bool cancelTest(HostTransfer& t) { return t.record->abortProc && t.record->abortProc() != 0; }

void reportProgress(HostTransfer& t, int32_t done, int32_t total) {
    if (t.record->progressProc) t.record->progressProc(done, total);
}

void readSourcePixel(const HostTransfer& t, int32_t x, int32_t y, float rgba[4]) {
    const pi::FilterRecord* r = t.record;
    if (!r->inData) {
        rgba[0] = rgba[1] = rgba[2] = rgba[3] = 0.0f;
        return;
    }
    if (!t.tile.contains(x, y)) return;  // outside the tile: left as it was
    const int32_t depth = depthClass(r);
    const int32_t bytes = sampleBytes(depth);
    const int32_t samples = r->inHiPlane - r->inLoPlane + 1;
    const float scale = 1.0f / fullScale(depth);
    const auto* p = static_cast<const uint8_t*>(r->inData) + ptrdiff_t(x - t.tile.left) * samples * bytes +
                    ptrdiff_t(y - t.tile.top) * r->inRowBytes;
    if (isGrey(r)) {
        rgba[0] = rgba[1] = rgba[2] = sampleAt(p, depth) * scale;
    } else {
        for (int c = 0; c < 3; ++c) rgba[c] = sampleAt(p + c * bytes, depth) * scale;
    }
    rgba[3] = hasEditableTransparency(r) && r->inLayerPlanes < samples
                  ? sampleAt(p + r->inLayerPlanes * bytes, depth) * scale
                  : 1.0f;
}

float readMask(const HostTransfer& t, int32_t x, int32_t y) {
    const pi::FilterRecord* r = t.record;
    if (!r->maskData) return 1.0f;
    // The mask rectangle is in host coordinates: the pixel's position there.
    const int32_t factor = std::max(1, t.params->sampleFactor);
    int32_t fx = 0, fy = 0;
    floatOrigin(r, fx, fy);
    const int32_t hx = x + fx / factor + t.params->previewOriginX / factor;
    const int32_t hy = y + fy / factor + t.params->previewOriginY / factor;
    const Rect m = maskRect(r);
    if (!m.contains(hx, hy)) return 0.0f;
    const auto* p = static_cast<const uint8_t*>(r->maskData);
    return float(p[ptrdiff_t(hx - m.left) + ptrdiff_t(hy - m.top) * r->maskRowBytes]) / 255.0f;
}

void storePixel(HostTransfer& t, int32_t x, int32_t y, const float rgba[4]) {
    pi::FilterRecord* r = t.record;
    if (t.params->renderDestination == kDestinationPreview) {
        PreviewImage& p = t.state->preview;
        if (!p.pixels || p.rowLength <= 0 || p.height <= 0) return;
        const Rect& area = t.state->renderRect;
        const int32_t px = std::clamp(x - area.left, 0, p.rowLength - 1);
        const int32_t py = std::clamp(y - area.top, 0, p.height - 1);
        const size_t at = size_t(py) * size_t(p.rowLength) + size_t(px);
        auto to8 = [](float v) { return uint8_t(std::clamp(std::nearbyint(v * 255.0f), 0.0f, 255.0f)); };
        if (p.planeCount < 3) {
            p.pixels[at] = to8(rgba[1]);
        } else {
            for (int c = 0; c < 3; ++c) p.pixels[size_t(c) * size_t(p.planeSize) + at] = to8(rgba[c]);
        }
        return;
    }
    if (t.params->renderDestination != kDestinationHost || !r->outData) return;
    if (!t.tile.contains(x, y)) return;
    const int32_t ox = x - t.tile.left, oy = y - t.tile.top;
    const Rect out = outRect(r);
    if (ox >= out.width() || oy >= out.height()) return;
    const int32_t depth = depthClass(r);
    const int32_t bytes = sampleBytes(depth);
    auto* p = static_cast<uint8_t*>(r->outData) + ptrdiff_t(ox) * r->planes * bytes + ptrdiff_t(oy) * r->outRowBytes;
    if (isGrey(r)) {
        storeSample(p, depth, rgba[1]);  // the luminance after the grey conversion
    } else {
        for (int c = 0; c < 3; ++c) storeSample(p + c * bytes, depth, rgba[c]);
    }
    if (hasEditableTransparency(r) && r->inLayerPlanes < r->planes)
        storeSample(p + r->inLayerPlanes * bytes, depth, rgba[3]);
}

int16_t copyHostImageForPreview(HostTransfer& t) {
    pi::FilterRecord* r = t.record;
    PreviewImage& p = t.state->preview;
    if (!p.pixels || !r->advanceState) return pi::noErr;
    const int32_t w = std::min(t.state->renderWidth, p.rowLength);
    const int32_t h = std::min(t.state->renderHeight, p.height);
    const int32_t depth = depthClass(r);
    const int32_t bytes = sampleBytes(depth);
    for (int32_t plane = 0; plane < r->planes && plane < p.planeCount; ++plane) {
        r->inLoPlane = r->inHiPlane = pi::int16(plane);
        const int16_t result = r->advanceState();
        if (result != pi::noErr) {
            if (t.result) *t.result = result;
            return result;
        }
        if (!r->inData) continue;
        for (int32_t y = 0; y < h; ++y) {
            const auto* row = static_cast<const uint8_t*>(r->inData) + ptrdiff_t(y) * r->inRowBytes;
            uint8_t* dst = p.pixels + size_t(plane) * size_t(p.planeSize) + size_t(y) * size_t(p.rowLength);
            for (int32_t x = 0; x < w; ++x) {
                const uint8_t* s = row + ptrdiff_t(x) * bytes;
                if (depth == 8) {
                    dst[x] = *s;
                } else if (depth == 16) {
                    uint16_t v;
                    std::memcpy(&v, s, 2);
                    dst[x] = uint8_t(std::min<int32_t>(255, int32_t(v) * 10 / 1285));
                } else {
                    float v;
                    std::memcpy(&v, s, 4);
                    dst[x] = uint8_t(std::nearbyint(std::clamp(v, 0.0f, 1.0f) * 255.0f));
                }
            }
        }
    }
    return pi::noErr;
}

namespace {

HostTransfer& ctx(void* c) { return *static_cast<HostTransfer*>(c); }

int32_t bridgeSetUp(void* c, int32_t destination, RenderTarget& target) {
    HostTransfer& t = ctx(c);
    t.params->renderDestination = destination;
    if (destination == kDestinationPreview)
        previewSetUp(t, t.params->sampleFactor, target);
    else
        fullAreaSetUp(t, target);
    return t.result ? *t.result : 0;
}
int32_t bridgeRequest(void* c, const Rect& tile) { return requestTile(ctx(c), tile); }
bool bridgeCancelled(void* c) { return cancelTest(ctx(c)); }
void bridgeProgress(void* c, int32_t done, int32_t total) { reportProgress(ctx(c), done, total); }
void bridgeRead(void* c, int32_t x, int32_t y, float rgba[4]) { readSourcePixel(ctx(c), x, y, rgba); }
float bridgeMask(void* c, int32_t x, int32_t y) { return readMask(ctx(c), x, y); }
void bridgeStore(void* c, int32_t x, int32_t y, const float rgba[4]) { storePixel(ctx(c), x, y, rgba); }

}  // namespace

HostBridge makeHostBridge(HostTransfer& t) {
    HostBridge b;
    b.context = &t;
    b.setUpPlanes = bridgeSetUp;
    b.requestTile = bridgeRequest;
    b.cancelled = bridgeCancelled;
    b.progress = bridgeProgress;
    b.readSource = bridgeRead;
    b.readMask = bridgeMask;
    b.store = bridgeStore;
    return b;
}

}  // namespace tv
