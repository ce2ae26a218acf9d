// Button pictures on a 16 x 16 grid, scaled to their box; 1.5-pixel strokes
// with round ends, one colour each, in the manner of a modern line icon set.
#include "ui/art.h"

#include <cmath>

#include "ui/dialog.h"
#include "ui/theme.h"

namespace tv::ui {

namespace {

constexpr float kPi = 3.14159265358979f;

struct Grid {
    RectF box;
    float unit;
    PointF at(float x, float y) const { return {box.left + x * unit, box.top + y * unit}; }
    float len(float v) const { return v * unit; }
};

void stroke(Painter& p, const Grid& g, std::initializer_list<PointF> points, Colour c, float w = 1.5f,
            bool closed = false) {
    std::vector<PointF> pts;
    for (const PointF& q : points) pts.push_back(g.at(q.x, q.y));
    Path path;
    path.addStroke(pts, g.len(w), closed);
    p.fillPath(path, c);
}

std::vector<PointF> arcPoints(const Grid& g, float cx, float cy, float r, float a0, float a1) {
    std::vector<PointF> pts;
    const int n = 24;
    for (int i = 0; i <= n; ++i) {
        const float a = a0 + (a1 - a0) * float(i) / float(n);
        pts.push_back(g.at(cx + r * std::cos(a), cy + r * std::sin(a)));
    }
    return pts;
}

void strokeArc(Painter& p, const Grid& g, float cx, float cy, float r, float a0, float a1, Colour c, float w = 1.5f) {
    Path path;
    path.addStroke(arcPoints(g, cx, cy, r, a0, a1), g.len(w));
    p.fillPath(path, c);
}

void fillCircle(Painter& p, const Grid& g, float x, float y, float r, Colour c) {
    const PointF q = g.at(x, y);
    p.fillCircle(q.x, q.y, g.len(r), c);
}

void roundRectStroke(Painter& p, const Grid& g, float l, float t, float r, float b, float radius, Colour c,
                     float w = 1.5f) {
    const PointF a = g.at(l, t), z = g.at(r, b);
    p.strokeRoundRect({a.x - g.len(w) / 2, a.y - g.len(w) / 2, z.x + g.len(w) / 2, z.y + g.len(w) / 2},
                      g.len(radius + w / 2), g.len(w), c);
}

void cloud(Painter& p, const Grid& g, Colour c) {
    Path path;
    auto circle = [&](float x, float y, float r) {
        const PointF q = g.at(x, y);
        path.addCircle(q.x, q.y, g.len(r));
    };
    circle(5.0f, 10.0f, 3.2f);
    circle(8.6f, 7.4f, 4.2f);
    circle(12.0f, 10.4f, 2.8f);
    const PointF a = g.at(5.0f, 9.0f), b = g.at(12.0f, 13.2f);
    path.addRect({a.x, a.y, b.x, b.y});
    p.fillPath(path, c);
}

}  // namespace

void drawGlyph(Painter& p, Glyph glyph, const RectF& box, Colour c) {
    const Grid g{box, box.width() / 16.0f};
    switch (glyph) {
        case Glyph::Load:  // an open folder
            stroke(p, g, {{2.0f, 12.5f}, {2.0f, 3.5f}, {6.0f, 3.5f}, {7.5f, 5.0f}, {12.5f, 5.0f}, {12.5f, 7.0f}}, c);
            stroke(p, g, {{2.0f, 12.5f}, {4.0f, 7.5f}, {14.5f, 7.5f}, {12.5f, 12.5f}}, c, 1.5f, true);
            break;
        case Glyph::Save:  // an arrow down into a tray
            stroke(p, g, {{8.0f, 2.0f}, {8.0f, 10.0f}}, c);
            stroke(p, g, {{4.5f, 6.8f}, {8.0f, 10.2f}, {11.5f, 6.8f}}, c);
            stroke(p, g, {{2.5f, 10.5f}, {2.5f, 13.5f}, {13.5f, 13.5f}, {13.5f, 10.5f}}, c);
            break;
        case Glyph::Plain:  // a fresh sheet
            stroke(p, g, {{3.5f, 1.8f}, {9.5f, 1.8f}, {12.5f, 4.8f}, {12.5f, 14.2f}, {3.5f, 14.2f}}, c, 1.5f, true);
            stroke(p, g, {{9.3f, 2.0f}, {9.3f, 5.0f}, {12.3f, 5.0f}}, c);
            break;
        case Glyph::Undo:  // an arrow turning back
            strokeArc(p, g, 8.5f, 9.0f, 4.8f, -0.5f * kPi, 0.75f * kPi, c);
            stroke(p, g, {{8.5f, 4.2f}, {3.5f, 4.2f}}, c);
            stroke(p, g, {{5.8f, 1.8f}, {3.3f, 4.2f}, {5.8f, 6.6f}}, c);
            break;
        case Glyph::Dice: {  // a die showing five
            roundRectStroke(p, g, 2.5f, 2.5f, 13.5f, 13.5f, 2.5f, c);
            for (const PointF q : {PointF{5.6f, 5.6f}, PointF{10.4f, 5.6f}, PointF{8.0f, 8.0f}, PointF{5.6f, 10.4f},
                                   PointF{10.4f, 10.4f}})
                fillCircle(p, g, q.x, q.y, 1.15f, c);
            break;
        }
        case Glyph::Ecce: {  // a new seed: a four-pointed sparkle and a small one
            Path path;
            auto star = [&](float cx, float cy, float r, float w) {
                std::vector<PointF> pts;
                for (int i = 0; i < 8; ++i) {
                    const float a = float(i) * kPi / 4.0f - kPi / 2.0f;
                    const float rr = (i % 2 == 0) ? r : w;
                    pts.push_back(g.at(cx + rr * std::cos(a), cy + rr * std::sin(a)));
                }
                path.addPolygon(pts);
            };
            star(7.0f, 8.5f, 6.0f, 1.6f);
            star(12.8f, 3.4f, 2.6f, 0.8f);
            p.fillPath(path, c);
            break;
        }
        case Glyph::Clouds: cloud(p, g, c); break;
        case Glyph::Layers: {  // three sheets
            auto sheet = [&](float dy) {
                stroke(p, g, {{8.0f, 2.5f + dy}, {14.0f, 5.5f + dy}, {8.0f, 8.5f + dy}, {2.0f, 5.5f + dy}}, c, 1.4f,
                       true);
            };
            sheet(5.0f);
            sheet(2.5f);
            Path top;
            top.addPolygon({g.at(8.0f, 1.8f), g.at(14.6f, 5.1f), g.at(8.0f, 8.4f), g.at(1.4f, 5.1f)});
            p.fillPath(top, c);
            break;
        }
        case Glyph::ZoomOut:
        case Glyph::ZoomIn: {
            const PointF ctr = g.at(6.8f, 6.8f);
            p.strokeCircle(ctr.x, ctr.y, g.len(5.0f), g.len(1.5f), c);
            stroke(p, g, {{10.6f, 10.6f}, {14.0f, 14.0f}}, c, 1.8f);
            stroke(p, g, {{4.6f, 6.8f}, {9.0f, 6.8f}}, c);
            if (glyph == Glyph::ZoomIn) stroke(p, g, {{6.8f, 4.6f}, {6.8f, 9.0f}}, c);
            break;
        }
        case Glyph::Percent:
            stroke(p, g, {{12.5f, 2.5f}, {3.5f, 13.5f}}, c);
            {
                const PointF a = g.at(4.5f, 4.5f), b = g.at(11.5f, 11.5f);
                p.strokeCircle(a.x, a.y, g.len(2.3f), g.len(1.4f), c);
                p.strokeCircle(b.x, b.y, g.len(2.3f), g.len(1.4f), c);
            }
            break;
        case Glyph::Catalogue:  // a page of pictures
            roundRectStroke(p, g, 1.8f, 1.8f, 6.8f, 6.8f, 1.0f, c, 1.3f);
            roundRectStroke(p, g, 9.2f, 1.8f, 14.2f, 6.8f, 1.0f, c, 1.3f);
            roundRectStroke(p, g, 1.8f, 9.2f, 6.8f, 14.2f, 1.0f, c, 1.3f);
            roundRectStroke(p, g, 9.2f, 9.2f, 14.2f, 14.2f, 1.0f, c, 1.3f);
            break;
        case Glyph::Information: {
            const PointF ctr = g.at(8.0f, 8.0f);
            p.strokeCircle(ctr.x, ctr.y, g.len(6.5f), g.len(1.4f), c);
            fillCircle(p, g, 8.0f, 4.9f, 1.0f, c);
            stroke(p, g, {{8.0f, 7.3f}, {8.0f, 11.5f}}, c, 1.6f);
            break;
        }
        case Glyph::Logo: drawLogo(p, box); break;
        case Glyph::None: break;
    }
}

void drawLogo(Painter& p, const RectF& box) {
    const float cx = box.centreX(), cy = box.centreY(), r = box.width() * 0.30f;
    const float tilt = -0.35f;
    // The back half of the ring, the planet, then the front half.
    auto ring = [&](bool front) {
        std::vector<PointF> pts;
        const float a0 = front ? 0.0f : kPi, a1 = front ? kPi : 2.0f * kPi;
        for (int i = 0; i <= 32; ++i) {
            const float a = a0 + (a1 - a0) * float(i) / 32.0f;
            const float x = 1.55f * r * std::cos(a), y = 0.42f * r * std::sin(a);
            pts.push_back({cx + x * std::cos(tilt) - y * std::sin(tilt), cy + x * std::sin(tilt) + y * std::cos(tilt)});
        }
        Path path;
        path.addStroke(pts, std::max(1.5f, r * 0.16f));
        p.fillPath(path, rgb(0xE0A040));
    };
    ring(false);
    p.shade({cx - r - 1, cy - r - 1, cx + r + 1, cy + r + 1}, [&](float x, float y, float px, float& coverage) {
        const float dx = (x - cx) / r, dy = (y - cy) / r, d = std::sqrt(dx * dx + dy * dy);
        coverage = std::clamp((1.0f - d) * r / (px * 1.0f) + 0.5f, 0.0f, 1.0f);
        const float z = std::sqrt(std::max(0.0f, 1.0f - d * d));
        const float light = std::clamp(-0.55f * dx - 0.6f * dy + 0.58f * z, 0.0f, 1.0f);
        // Sea blue with a band of land.
        const float band = std::sin(dx * 5.0f + dy * 2.2f) * std::cos(dy * 6.0f - dx);
        const Colour base = band > 0.35f ? rgb(0x4E9A58) : rgb(0x2C6FC9);
        return mix(rgb(0x0B1630), base, 0.25f + 0.85f * light);
    });
    ring(true);
}

// ---- cursors -----------------------------------------------------------------------------

platform::CursorShape cursorShape(CursorId id, float scale) {
    platform::CursorShape shape;
    if (id == CursorId::Arrow || id == CursorId::Wait) {
        shape.kind = id == CursorId::Arrow ? platform::CursorShape::Arrow : platform::CursorShape::Wait;
        return shape;
    }
    const int32_t side = int32_t(std::lround(24.0f * scale));
    std::vector<uint32_t> pixels(size_t(side) * size_t(side), 0u);
    platform::Canvas canvas{pixels.data(), side, side, side, scale};
    Painter p(canvas, {0, 0, 24, 24});
    const Colour dark = rgb(0x101418), light = rgb(0xFFFFFF);
    auto both = [&](auto draw) {
        draw(light, 3.2f);
        draw(dark, 1.4f);
    };
    if (id == CursorId::Target) {
        // A cross with a ring: where the planet's centre goes.
        both([&](Colour c, float w) {
            p.line(12, 2, 12, 8, w, c);
            p.line(12, 16, 12, 22, w, c);
            p.line(2, 12, 8, 12, w, c);
            p.line(16, 12, 22, 12, w, c);
            p.strokeCircle(12, 12, 5.0f + w / 2, w, c);
        });
    } else {
        // Four arrows: the view moves with the pointer.
        both([&](Colour c, float w) {
            p.line(12, 3, 12, 21, w, c);
            p.line(3, 12, 21, 12, w, c);
            for (const auto& [x, y, dx, dy] : {std::array<float, 4>{12, 3, 1, 0}, std::array<float, 4>{12, 21, 1, 0},
                                               std::array<float, 4>{3, 12, 0, 1}, std::array<float, 4>{21, 12, 0, 1}}) {
                const float sx = x == 12 ? 0.0f : (x < 12 ? 1.0f : -1.0f),
                            sy = y == 12 ? 0.0f : (y < 12 ? 1.0f : -1.0f);
                p.line(x, y, x + 3.5f * sx + 3.5f * dx, y + 3.5f * sy + 3.5f * dy, w, c);
                p.line(x, y, x + 3.5f * sx - 3.5f * dx, y + 3.5f * sy - 3.5f * dy, w, c);
            }
        });
    }
    // Premultiplied for the peer.
    for (uint32_t& px : pixels) {
        const uint32_t a = px >> 24;
        uint32_t out = a << 24;
        for (int shift = 0; shift < 24; shift += 8) out |= ((((px >> shift) & 0xFF) * a + 127) / 255) << shift;
        px = out;
    }
    shape.kind = platform::CursorShape::Image;
    shape.id = int32_t(id);
    shape.width = shape.height = side;
    shape.scale = scale;
    shape.hotX = shape.hotY = int32_t(std::lround(12.0f * scale));
    shape.pixels = std::move(pixels);
    return shape;
}

void drawButtonFace(Painter& p, const RectF& r, bool pressed, bool hot, bool primary) {
    if (primary) {
        p.fillRoundRect(r, 5.0f, pressed ? rgb(0x2459BA) : (hot ? rgb(0x3A7AEA) : theme::accent));
        return;
    }
    p.fillRoundRectGradient(r, 5.0f, pressed ? rgb(0xE2E6EC) : (hot ? rgb(0xFBFCFF) : rgb(0xFFFFFF)),
                            pressed ? rgb(0xE8EBF0) : (hot ? rgb(0xF0F4FC) : rgb(0xF6F7F9)));
    p.strokeRoundRect(r, 5.0f, 1.0f, hot ? theme::borderHot : theme::border);
}

}  // namespace tv::ui
