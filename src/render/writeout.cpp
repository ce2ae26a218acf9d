#include "render/writeout.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace tv {

namespace {

float clamp01(float v) { return v < 0.0f ? 0.0f : (v > 1.0f ? 1.0f : v); }

// The preview image's pixel (clamped into it), opaque; all 0 without pixels.
void readPreview(const PreviewImage* preview, int32_t x, int32_t y, float out[4]) {
    out[0] = out[1] = out[2] = out[3] = 0.0f;
    if (!preview || !preview->pixels) return;
    const PreviewImage& pv = *preview;
    const int32_t px = std::clamp(x, 0, std::max(0, pv.rowLength - 1));
    const int32_t py = std::clamp(y, 0, std::max(0, pv.height - 1));
    const size_t at = size_t(py) * size_t(pv.rowLength) + size_t(px);
    for (int c = 0; c < 3; ++c) {
        const int plane = pv.planeCount >= 3 ? c : 0;
        out[c] = float(pv.pixels[size_t(plane) * size_t(pv.planeSize) + at]) / 255.0f;
    }
    out[3] = 1.0f;
}

void readSource(const WriteContext& w, int32_t x, int32_t y, float out[4]) {
    out[0] = out[1] = out[2] = out[3] = 0.0f;
    if (w.destination == kDestinationExport) return;
    if (w.host && w.host->readSource) {
        w.host->readSource(w.host->context, x + w.areaLeft, y + w.areaTop, out);
        return;
    }
    // Without a host the preview image holds the host image as delivered.
    if (w.destination == kDestinationPreview) readPreview(w.preview, x, y, out);
}

float readMask(const WriteContext& w, int32_t x, int32_t y) {
    if (!w.target.hasMask || !w.host || !w.host->readMask || w.destination == kDestinationExport) return 1.0f;
    return w.host->readMask(w.host->context, x + w.areaLeft, y + w.areaTop);
}

uint16_t toU16(float v, float scale) {
    const float s = roundToEven(v * scale);
    return uint16_t(s < 0.0f ? 0.0f : (s > 65535.0f ? 65535.0f : s));
}

void storeExport(ExportImage& image, int32_t x, int32_t y, const float rgba[4]) {
    if (x < 0 || y < 0 || x >= image.width || y >= image.height) return;
    const size_t bpc = size_t(image.bytesPerChannel);
    uint8_t* at = image.pixels.data() + (size_t(y) * size_t(image.width) + size_t(x)) * 4 * bpc;
    for (int c = 0; c < 4; ++c) {
        if (bpc == 1) {
            at[c] = uint8_t(std::min(255.0f, std::max(0.0f, roundToEven(rgba[c] * 255.0f))));
        } else if (bpc == 2) {
            const uint16_t v = toU16(rgba[c], 32768.0f);
            std::memcpy(at + 2 * c, &v, 2);
        } else {
            std::memcpy(at + 4 * c, &rgba[c], 4);
        }
    }
}

void storePreview(PreviewImage& pv, int32_t x, int32_t y, const float rgba[4]) {
    if (!pv.pixels || pv.rowLength <= 0 || pv.height <= 0) return;
    x = std::clamp(x, 0, pv.rowLength - 1);
    y = std::clamp(y, 0, pv.height - 1);
    const size_t at = size_t(y) * size_t(pv.rowLength) + size_t(x);
    auto byte = [](float v) { return uint8_t(std::min(255.0f, std::max(0.0f, roundToEven(v * 255.0f)))); };
    if (pv.planeCount < 3) {
        pv.pixels[at] = byte(rgba[1]);
        return;
    }
    for (int c = 0; c < 3; ++c) pv.pixels[size_t(c) * size_t(pv.planeSize) + at] = byte(rgba[c]);
}

}  // namespace

void spillHighlights(float rgb[3]) {
    int over = 0;
    float excess = 0.0f;
    for (int i = 0; i < 3; ++i)
        if (rgb[i] > 1.0f) {
            ++over;
            excess += rgb[i] - 1.0f;
        }
    const float s = excess * 60.0f / 256.0f;
    if (over == 1) {
        int hot = rgb[0] > 1.0f ? 0 : (rgb[1] > 1.0f ? 1 : 2);
        // The other two, in the order (G, B) for red, (R, B) for green, (R, G) for blue.
        const int first = hot == 0 ? 1 : 0;
        const int second = hot == 2 ? 1 : 2;
        rgb[first] += s * 0.5f;
        rgb[second] += s * 0.5f;
        if (rgb[first] > 1.0f) {
            rgb[second] += rgb[first] - 1.0f;
            if (rgb[second] > 1.0f) rgb[first] += rgb[second] - 1.0f;
        }
    } else if (over == 2) {
        for (int i = 0; i < 3; ++i)
            if (!(rgb[i] > 1.0f)) rgb[i] += s;
    }
}

void layOver(const float source[4], float rgba[4]) {
    const float a = rgba[3], b = source[3];
    const float denom = b + a - b * a;
    const float t = denom != 0.0f ? a / denom : 0.0f;
    for (int i = 0; i < 3; ++i) rgba[i] = source[i] + t * (rgba[i] - source[i]);
    rgba[3] = a * (1.0f - b) + b;
}

void writePixel(const WriteContext& w, int32_t x, int32_t y, const float colour[4], const float extra[2]) {
    // A float host image or float export keeps values above 1; every other
    // destination holds 0..1.
    const bool unclamped = w.target.floatUnclamped;
    float c[4] = {colour[0], colour[1], colour[2], colour[3]};
    if (!unclamped) c[3] *= 1.007f;
    c[3] = clamp01(c[3]);
    for (int i = 0; i < 3; ++i)
        if (c[i] < 0.0f) c[i] = 0.0f;

    if (!unclamped) spillHighlights(c);
    if (w.target.grey) c[0] = c[1] = c[2] = 0.3f * c[0] + 0.59f * c[1] + 0.11f * c[2];

    float source[4];
    readSource(w, x, y, source);

    // The output mode's compositing, the same at every depth.
    switch (w.mode) {
        case kModeComposite:
            if (w.target.hasTransparency) {
                c[3] = clamp01(std::max(extra[0], extra[1]));
            } else {
                for (int i = 0; i < 3; ++i) {
                    c[i] += source[i] * (1.0f - extra[1]);
                    if (!unclamped) c[i] = std::min(c[i], 1.0f);
                }
            }
            break;
        case kModeNormal:
        case kModeMural:
        case 0:
            break;
        default:
            c[3] = 1.0f;
            for (int i = 0; i < 3; ++i) c[i] = clamp01(c[i]);
            break;
    }
    if (c[3] < 1.0f && w.destination == kDestinationHost && !w.target.hasTransparency) layOver(source, c);
    for (int i = 0; i < 3; ++i) c[i] = std::min(c[i], unclamped ? 65535.0f : 1.0f);

    if (w.destination == kDestinationPreview) {
        float background[4];
        readPreview(w.preview, x, y, background);
        if (background[3] == 0.0f) background[3] = 1.0f;  // no background yet: black
        layOver(background, c);
    }

    const float m = readMask(w, x, y);
    if (m < 1.0f)
        for (int i = 0; i < 4; ++i) c[i] = source[i] + m * (c[i] - source[i]);
    // Settings far out of range can make values that are not numbers; no
    // destination converts those safely: they are stored as 0.
    for (float& v : c)
        if (v != v) v = 0.0f;

    switch (w.destination) {
        case kDestinationHost:
            if (w.host && w.host->store) w.host->store(w.host->context, x + w.areaLeft, y + w.areaTop, c);
            break;
        case kDestinationPreview:
            if (w.preview) storePreview(*w.preview, x, y, c);
            break;
        default:
            if (w.exportImage) storeExport(*w.exportImage, x, y, c);
            break;
    }
}

}  // namespace tv
