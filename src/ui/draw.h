// Drawing into a window canvas: antialiased shapes (rectangles, rounded
// rectangles, circles, polygons, strokes), text in DejaVu Sans, and images.
// Coordinates are window pixels (floats); the painter scales them to the
// canvas's device pixels, so everything stays sharp at any scale.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/window.h"

namespace tv::ui {

// 0xAARRGGBB, alpha not premultiplied.
using Colour = uint32_t;
constexpr Colour rgb(uint32_t v) { return 0xFF000000u | v; }
constexpr Colour withAlpha(Colour c, uint32_t alpha) { return (c & 0x00FFFFFFu) | (alpha << 24); }
// a + (b - a) t, channel by channel (alpha too).
Colour mix(Colour a, Colour b, float t);

struct PointF {
    float x = 0.0f, y = 0.0f;
};

struct RectF {
    float left = 0.0f, top = 0.0f, right = 0.0f, bottom = 0.0f;
    float width() const { return right - left; }
    float height() const { return bottom - top; }
    float centreX() const { return 0.5f * (left + right); }
    float centreY() const { return 0.5f * (top + bottom); }
    RectF inset(float d) const { return {left + d, top + d, right - d, bottom - d}; }
    RectF inset(float dx, float dy) const { return {left + dx, top + dy, right - dx, bottom - dy}; }
    bool contains(float x, float y) const { return x >= left && x < right && y >= top && y < bottom; }
};

// Closed contours of straight segments. Contours wound the same way add
// up (overlaps unite); a contour wound the other way cuts a hole.
struct Path {
    std::vector<std::vector<PointF>> contours;
    void moveTo(float x, float y) { contours.push_back({{x, y}}); }
    void lineTo(float x, float y) { contours.back().push_back({x, y}); }
    // An arc of the circle (cx, cy, r) from angle a0 to a1 (radians, y down:
    // positive angles turn clockwise on screen).
    void arcTo(float cx, float cy, float r, float a0, float a1);
    void addRect(const RectF& r);
    void addRoundRect(const RectF& r, float radius);
    void addCircle(float cx, float cy, float r);
    void addPolygon(const std::vector<PointF>& points);
    // A line of width w with round ends, as a closed contour set.
    void addStroke(const std::vector<PointF>& points, float w, bool closed = false);
    void reverseLast();  // turns the last contour into a hole
    void translate(float dx, float dy);
    void scale(float s, float cx, float cy);
};

class Painter {
public:
    Painter(platform::Canvas& canvas, const platform::WindowRect& clip);

    float scale() const { return canvas_.scale; }
    platform::WindowRect clip() const { return clip_; }
    void setClip(const platform::WindowRect& clip);
    bool visible(const RectF& r) const;

    void fillRect(const RectF& r, Colour c);
    void fillRoundRect(const RectF& r, float radius, Colour c);
    // A vertical gradient from top to bottom colour.
    void fillRoundRectGradient(const RectF& r, float radius, Colour top, Colour bottom);
    void strokeRoundRect(const RectF& r, float radius, float width, Colour c);
    void fillCircle(float cx, float cy, float r, Colour c);
    void strokeCircle(float cx, float cy, float r, float width, Colour c);
    void line(float x0, float y0, float x1, float y1, float width, Colour c);
    void fillPath(const Path& path, Colour c);
    void fillPathGradient(const Path& path, Colour top, Colour bottom, float y0, float y1);

    // Text in DejaVu Sans at size pixels (the em), baseline at y.
    void text(std::string_view utf8, float x, float baseline, float size, Colour c);
    // Text fitted into r: align 0 left, 1 centre, 2 right, centred vertically;
    // cut with an ellipsis when it does not fit. underline: index of the byte
    // whose character is underlined (a mnemonic), or -1.
    void textIn(std::string_view utf8, const RectF& r, int align, float size, Colour c, int underline = -1);

    // An image of 0xFFRRGGBB words at window rectangle dst, nearest sampling.
    void image(const uint32_t* pixels, int32_t width, int32_t height, int32_t stride, const RectF& dst);
    // Per-pixel colour from a function of the window position (shaded globes).
    template <typename F>
    void shade(const RectF& r, F colourAt);

    // Device-pixel access for shade().
    platform::Canvas& canvas() { return canvas_; }

private:
    void fill(const Path& path, Colour c, const Colour* gradient, float g0, float g1);

    platform::Canvas& canvas_;
    platform::WindowRect clip_;
    int32_t cx0_, cy0_, cx1_, cy1_;  // clip in device pixels
    std::vector<float> accumulation_;
};

// Blends c over the canvas word at p with coverage (0..1).
void blendPixel(uint32_t& p, Colour c, float coverage);

template <typename F>
void Painter::shade(const RectF& r, F colourAt) {
    const float s = canvas_.scale;
    const int32_t x0 = std::max(cx0_, int32_t(r.left * s)), x1 = std::min(cx1_, int32_t(r.right * s + 0.999f));
    const int32_t y0 = std::max(cy0_, int32_t(r.top * s)), y1 = std::min(cy1_, int32_t(r.bottom * s + 0.999f));
    for (int32_t y = y0; y < y1; ++y) {
        uint32_t* row = canvas_.pixels + size_t(y) * size_t(canvas_.stride);
        for (int32_t x = x0; x < x1; ++x) {
            float coverage = 0.0f;
            const Colour c = colourAt((float(x) + 0.5f) / s, (float(y) + 0.5f) / s, 1.0f / s, coverage);
            if (coverage > 0.0f) blendPixel(row[x], c, coverage);
        }
    }
}

// Text measures at size pixels.
float textWidth(std::string_view utf8, float size);
float textAscent(float size);
float textDescent(float size);  // positive, below the baseline
// Text broken at blanks into lines that fit width.
std::vector<std::string> wrapText(std::string_view text, float width, float size);

}  // namespace tv::ui
