// The preview's arithmetic: the fit factor, the visible window in the pane,
// zooming, panning and the planet's centre from a click; and its rendering
// through the host.
#include <algorithm>
#include <cmath>

#include "platform/clock.h"
#include "ui/dialog_internal.h"

namespace tv::ui {

using namespace detail;

namespace {

int32_t ceilDiv(int32_t a, int32_t b) { return (a + b - 1) / b; }

// The visible window's size at factor f: the image at 1/f, cut to the pane.
void windowAt(const DialogState& s, int32_t f, int32_t& w, int32_t& h) {
    const ControlRect inner = previewInner();
    f = std::max(1, f);
    w = std::min(s.setup.preview.imageWidth / f, int32_t(inner.width()));
    h = std::min(s.setup.preview.imageHeight / f, int32_t(inner.height()));
}

}  // namespace

ControlRect previewInner() {
    const ControlRect r = control(kPreview)->rect;
    return {int16_t(r.left + 2), int16_t(r.top + 2), int16_t(r.right - 2), int16_t(r.bottom - 2)};
}

int32_t fitFactorFor(int32_t w, int32_t h, int32_t pw, int32_t ph) {
    if (w <= 0 || h <= 0 || pw <= 0 || ph <= 0) return 1;
    return std::max(ceilDiv(h, std::min(h, ph)), ceilDiv(w, std::min(w, pw)));
}

void previewOrigin(const DialogState& s, float& x, float& y) {
    const ControlRect inner = previewInner();
    const StateBlock& st = *s.setup.state;
    x = float(inner.left + (inner.width() - st.renderWidth) / 2);
    y = float(inner.top + (inner.height() - st.renderHeight) / 2);
}

bool onPreviewImage(const DialogState& s, float x, float y) {
    if (!s.previewShown) return false;
    float ox, oy;
    previewOrigin(s, ox, oy);
    const StateBlock& st = *s.setup.state;
    return x >= ox && y >= oy && x < ox + float(st.renderWidth) && y < oy + float(st.renderHeight);
}

void clampOrigin(DialogState& s) {
    ParamRecord& r = *s.setup.params;
    const int32_t f = std::max(1, r.sampleFactor);
    int32_t w, h;
    windowAt(s, f, w, h);
    const int32_t maxX = std::max(0, (s.setup.preview.imageWidth / f - w) * f);
    const int32_t maxY = std::max(0, (s.setup.preview.imageHeight / f - h) * f);
    r.previewOriginX = std::clamp(r.previewOriginX, 0, maxX);
    r.previewOriginY = std::clamp(r.previewOriginY, 0, maxY);
}

void keepViewCentre(DialogState& s, int32_t from, int32_t to) {
    ParamRecord& r = *s.setup.params;
    int32_t w0, h0, w1, h1;
    windowAt(s, from, w0, h0);
    windowAt(s, to, w1, h1);
    const int64_t cx = int64_t(r.previewOriginX) + int64_t(w0) * from / 2;
    const int64_t cy = int64_t(r.previewOriginY) + int64_t(h0) * from / 2;
    r.previewOriginX = int32_t(std::max<int64_t>(0, cx - int64_t(w1) * to / 2));
    r.previewOriginY = int32_t(std::max<int64_t>(0, cy - int64_t(h1) * to / 2));
    const int32_t keep = r.sampleFactor;
    r.sampleFactor = to;
    clampOrigin(s);
    r.sampleFactor = keep;
}

void centreFromClick(DialogState& s, float x, float y) {
    ParamRecord& r = *s.setup.params;
    const PreviewHost& h = s.setup.preview;
    if (h.imageWidth <= 0 || h.imageHeight <= 0) return;
    float ox, oy;
    previewOrigin(s, ox, oy);
    const int32_t f = std::max(1, r.sampleFactor);
    const int32_t px = int32_t(std::floor(x - ox)), py = int32_t(std::floor(y - oy));
    r.xCenter = float(double(int64_t(px) * f + r.previewOriginX) / double(h.imageWidth));
    r.yCenter = float(double(int64_t(py) * f + r.previewOriginY) / double(h.imageHeight));
}

void renderPreview(DialogState& s, Actions& out) {
    PreviewHost& h = s.setup.preview;
    if (!h.available || !h.render) return;
    readControls(s);
    clampOrigin(s);
    const ControlRect inner = previewInner();
    const double started = platform::monotonicSeconds();
    const int32_t result = h.render(h.context, inner.width(), inner.height());
    if (result != 0) {
        // A host that cannot deliver the first preview shows none in this dialog.
        if (!s.previewShown) {
            h.available = false;
            s.setup.params->hostPreviewFlag = 0;
        }
        repaint(out, kPreview);
        return;
    }
    if (s.surface && h.display) h.display(h.context, s.surface->nativeContext);
    s.lastRenderSeconds = platform::monotonicSeconds() - started;
    s.previewShown = true;
    repaint(out, kPreview);
}

void updateZoomButtons(DialogState& s, Actions& out) {
    const int32_t f = s.setup.params->sampleFactor;
    const bool zoom = s.setup.preview.available && s.setup.preview.canZoom;
    const bool in = zoom && f > 1, outward = zoom && f < s.fitFactor, full = zoom && !(f == 1 && s.fitFactor == 1);
    const std::pair<int, bool> flags[] = {{kZoomIn, in}, {kZoomOut, outward}, {kZoomFull, full}};
    for (const auto& [id, on] : flags) {
        if (s.enabled[size_t(id)] == on) continue;
        s.enabled[size_t(id)] = on;
        repaint(out, id);
        if (!on && s.focus == id) s.focus = kNoControl;
    }
}

}  // namespace tv::ui
