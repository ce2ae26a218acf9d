// Antialiased shapes by exact area coverage: every edge of a path adds its
// signed area to an accumulation row, and a running sum along the row gives
// each pixel's coverage. Text: glyphs rasterised by stb_truetype from the
// built-in DejaVu Sans, kept per size.
#include "ui/draw.h"

#include <array>
#include <cmath>
#include <cstring>
#include <map>
#include <string>
#include <mutex>

#include "base/utf8.h"

#define STB_TRUETYPE_IMPLEMENTATION
#define STBTT_STATIC
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#endif
#include <stb/stb_truetype.h>
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

namespace tv::ui {

extern const unsigned char kDialogFont[];
extern const size_t kDialogFontSize;

namespace {

constexpr float kPi = 3.14159265358979f;

int32_t floorToInt(float v) { return int32_t(std::floor(v)); }
int32_t ceilToInt(float v) { return int32_t(std::ceil(v)); }

// Segments for an arc of radius r (window pixels) over angle a at a scale.
int32_t arcSteps(float r, float a, float s) {
    const float device = std::max(r * s, 0.5f);
    const int32_t n = int32_t(std::ceil(std::fabs(a) * std::sqrt(device) * 1.2f));
    return std::clamp(n, 2, 256);
}

// ---- the font -------------------------------------------------------------------

struct Glyph {
    int32_t width = 0, height = 0, x0 = 0, y0 = 0;
    std::vector<uint8_t> coverage;
};

struct Font {
    stbtt_fontinfo info{};
    bool ok = false;
    int ascent = 0, descent = 0;
    std::map<uint64_t, Glyph> glyphs;  // (pixel size x 64) << 32 | code point
    std::map<uint32_t, int> indices;
    std::mutex lock;

    Font() {
        ok = stbtt_InitFont(&info, kDialogFont, stbtt_GetFontOffsetForIndex(kDialogFont, 0)) != 0;
        if (ok) stbtt_GetFontVMetrics(&info, &ascent, &descent, nullptr);
    }
    float scaleFor(float size) const { return stbtt_ScaleForMappingEmToPixels(&info, size); }
    int index(uint32_t code) {
        auto it = indices.find(code);
        if (it != indices.end()) return it->second;
        int i = stbtt_FindGlyphIndex(&info, int(code));
        if (i == 0 && code != 0xFFFD) i = stbtt_FindGlyphIndex(&info, 0xFFFD);
        indices[code] = i;
        return i;
    }
    const Glyph& glyph(uint32_t code, float size) {
        const uint64_t key = (uint64_t(uint32_t(size * 64.0f)) << 32) | code;
        auto it = glyphs.find(key);
        if (it != glyphs.end()) return it->second;
        Glyph g;
        const float s = scaleFor(size);
        int x0, y0, x1, y1;
        const int gi = index(code);
        stbtt_GetGlyphBitmapBox(&info, gi, s, s, &x0, &y0, &x1, &y1);
        g.width = std::max(0, x1 - x0);
        g.height = std::max(0, y1 - y0);
        g.x0 = x0;
        g.y0 = y0;
        if (g.width > 0 && g.height > 0) {
            g.coverage.assign(size_t(g.width) * size_t(g.height), 0);
            stbtt_MakeGlyphBitmap(&info, g.coverage.data(), g.width, g.height, g.width, s, s, gi);
        }
        return glyphs.emplace(key, std::move(g)).first->second;
    }
    float advance(uint32_t code, uint32_t next, float size) {
        int adv = 0, lsb = 0;
        const int gi = index(code);
        stbtt_GetGlyphHMetrics(&info, gi, &adv, &lsb);
        float a = float(adv);
        if (next) a += float(stbtt_GetGlyphKernAdvance(&info, gi, index(next)));
        return a * scaleFor(size);
    }
};

Font& font() {
    static Font f;
    return f;
}

// Unhinted glyphs look faint at dialog sizes: coverage is lifted a little.
const std::array<float, 256>& textCoverage() {
    static const std::array<float, 256> table = [] {
        std::array<float, 256> t{};
        for (int i = 0; i < 256; ++i) t[size_t(i)] = std::pow(float(i) / 255.0f, 0.78f);
        return t;
    }();
    return table;
}

}  // namespace

Colour mix(Colour a, Colour b, float t) {
    t = std::clamp(t, 0.0f, 1.0f);
    Colour out = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        const float ca = float((a >> shift) & 0xFF), cb = float((b >> shift) & 0xFF);
        out |= uint32_t(std::lround(ca + (cb - ca) * t)) << shift;
    }
    return out;
}

void blendPixel(uint32_t& p, Colour c, float coverage) {
    const float a = coverage * float(c >> 24) / 255.0f;
    if (a <= 0.0f) return;
    if (a >= 0.999f) {
        p = c | 0xFF000000u;
        return;
    }
    const uint32_t da8 = p >> 24;
    if (da8 == 0xFF) {
        uint32_t out = 0xFF000000u;
        for (int shift = 0; shift < 24; shift += 8) {
            const float d = float((p >> shift) & 0xFF), s = float((c >> shift) & 0xFF);
            out |= uint32_t(d + (s - d) * a + 0.5f) << shift;
        }
        p = out;
        return;
    }
    // A canvas with transparency (cursors): "over" with straight alpha.
    const float da = float(da8) / 255.0f, oa = a + da * (1.0f - a);
    uint32_t out = uint32_t(oa * 255.0f + 0.5f) << 24;
    for (int shift = 0; shift < 24; shift += 8) {
        const float d = float((p >> shift) & 0xFF), s = float((c >> shift) & 0xFF);
        out |= uint32_t(std::min(255.0f, (s * a + d * da * (1.0f - a)) / oa + 0.5f)) << shift;
    }
    p = out;
}

// ---- paths ----------------------------------------------------------------------

void Path::arcTo(float cx, float cy, float r, float a0, float a1) {
    const int32_t n = arcSteps(r, a1 - a0, 2.0f);
    for (int32_t i = 0; i <= n; ++i) {
        const float a = a0 + (a1 - a0) * float(i) / float(n);
        const PointF p{cx + r * std::cos(a), cy + r * std::sin(a)};
        if (contours.empty())
            moveTo(p.x, p.y);
        else
            contours.back().push_back(p);
    }
}

void Path::addRect(const RectF& r) {
    moveTo(r.left, r.top);
    lineTo(r.right, r.top);
    lineTo(r.right, r.bottom);
    lineTo(r.left, r.bottom);
}

void Path::addRoundRect(const RectF& r, float radius) {
    radius = std::min({radius, 0.5f * r.width(), 0.5f * r.height()});
    if (radius <= 0.0f) {
        addRect(r);
        return;
    }
    contours.emplace_back();
    arcTo(r.right - radius, r.top + radius, radius, -0.5f * kPi, 0.0f);
    arcTo(r.right - radius, r.bottom - radius, radius, 0.0f, 0.5f * kPi);
    arcTo(r.left + radius, r.bottom - radius, radius, 0.5f * kPi, kPi);
    arcTo(r.left + radius, r.top + radius, radius, kPi, 1.5f * kPi);
}

void Path::addCircle(float cx, float cy, float r) {
    contours.emplace_back();
    arcTo(cx, cy, r, 0.0f, 2.0f * kPi);
}

void Path::addPolygon(const std::vector<PointF>& points) { contours.push_back(points); }

void Path::addStroke(const std::vector<PointF>& points, float w, bool closed) {
    const float h = 0.5f * w;
    const size_t n = points.size();
    if (n == 0) return;
    const size_t segments = closed ? n : n - 1;
    for (size_t i = 0; i < segments; ++i) {
        const PointF a = points[i], b = points[(i + 1) % n];
        const float dx = b.x - a.x, dy = b.y - a.y, len = std::sqrt(dx * dx + dy * dy);
        if (len <= 0.0f) continue;
        const float nx = -dy / len * h, ny = dx / len * h;
        // Clockwise on screen, like the circles.
        addPolygon({{a.x - nx, a.y - ny}, {b.x - nx, b.y - ny}, {b.x + nx, b.y + ny}, {a.x + nx, a.y + ny}});
    }
    for (size_t i = 0; i < n; ++i) addCircle(points[i].x, points[i].y, h);
}

void Path::reverseLast() {
    if (!contours.empty()) std::reverse(contours.back().begin(), contours.back().end());
}

void Path::translate(float dx, float dy) {
    for (auto& c : contours)
        for (auto& p : c) {
            p.x += dx;
            p.y += dy;
        }
}

void Path::scale(float s, float cx, float cy) {
    for (auto& c : contours)
        for (auto& p : c) {
            p.x = cx + (p.x - cx) * s;
            p.y = cy + (p.y - cy) * s;
        }
}

// ---- the painter ----------------------------------------------------------------

Painter::Painter(platform::Canvas& canvas, const platform::WindowRect& clip) : canvas_(canvas) { setClip(clip); }

void Painter::setClip(const platform::WindowRect& clip) {
    clip_ = clip;
    const float s = canvas_.scale;
    cx0_ = std::clamp(floorToInt(float(clip.left) * s), 0, canvas_.width);
    cy0_ = std::clamp(floorToInt(float(clip.top) * s), 0, canvas_.height);
    cx1_ = std::clamp(ceilToInt(float(clip.right) * s), cx0_, canvas_.width);
    cy1_ = std::clamp(ceilToInt(float(clip.bottom) * s), cy0_, canvas_.height);
}

bool Painter::visible(const RectF& r) const {
    return r.right > float(clip_.left) && r.left < float(clip_.right) && r.bottom > float(clip_.top) &&
           r.top < float(clip_.bottom);
}

void Painter::fill(const Path& path, Colour c, const Colour* gradient, float g0, float g1) {
    const float s = canvas_.scale;
    float minX = 1e30f, minY = 1e30f, maxX = -1e30f, maxY = -1e30f;
    for (const auto& contour : path.contours)
        for (const auto& p : contour) {
            minX = std::min(minX, p.x * s);
            maxX = std::max(maxX, p.x * s);
            minY = std::min(minY, p.y * s);
            maxY = std::max(maxY, p.y * s);
        }
    if (minX > maxX) return;
    const int32_t bx0 = floorToInt(minX), bx1 = ceilToInt(maxX) + 2;
    const int32_t by0 = std::max(floorToInt(minY), cy0_), by1 = std::min(ceilToInt(maxY), cy1_);
    if (by0 >= by1 || bx1 <= cx0_ || bx0 >= cx1_) return;
    const int32_t w = bx1 - bx0, h = by1 - by0;
    accumulation_.assign(size_t(w) * size_t(h), 0.0f);
    float* acc = accumulation_.data();

    auto edge = [&](float x0, float y0, float x1, float y1) {
        if (y0 == y1) return;
        float dir = 1.0f;
        if (y0 > y1) {
            std::swap(x0, x1);
            std::swap(y0, y1);
            dir = -1.0f;
        }
        const float dxdy = (x1 - x0) / (y1 - y0);
        // Clipped to the rows of the buffer.
        const float top = float(by0), bottom = float(by1);
        if (y1 <= top || y0 >= bottom) return;
        if (y0 < top) {
            x0 += dxdy * (top - y0);
            y0 = top;
        }
        if (y1 > bottom) y1 = bottom;
        float x = x0 - float(bx0);
        for (int32_t y = floorToInt(y0); y < ceilToInt(y1); ++y) {
            float* row = acc + size_t(y - by0) * size_t(w);
            const float dy = std::min(float(y + 1), y1) - std::max(float(y), y0);
            const float xnext = x + dxdy * dy;
            const float d = dy * dir;
            const float xa = std::clamp(std::min(x, xnext), 0.0f, float(w - 2));
            const float xb = std::clamp(std::max(x, xnext), 0.0f, float(w - 2));
            const int32_t xaFloor = floorToInt(xa);
            const int32_t xbCeil = ceilToInt(xb);
            if (xbCeil <= xaFloor + 1) {
                const float xmf = 0.5f * (xa + xb) - float(xaFloor);
                row[xaFloor] += d - d * xmf;
                row[xaFloor + 1] += d * xmf;
            } else {
                const float inv = 1.0f / (xb - xa);
                const float xaf = xa - float(xaFloor);
                const float a0 = 0.5f * inv * (1.0f - xaf) * (1.0f - xaf);
                const float xbf = xb - float(xbCeil) + 1.0f;
                const float am = 0.5f * inv * xbf * xbf;
                row[xaFloor] += d * a0;
                if (xbCeil == xaFloor + 2) {
                    row[xaFloor + 1] += d * (1.0f - a0 - am);
                } else {
                    const float a1 = inv * (1.5f - xaf);
                    row[xaFloor + 1] += d * (a1 - a0);
                    for (int32_t xi = xaFloor + 2; xi < xbCeil - 1; ++xi) row[xi] += d * inv;
                    const float a2 = a1 + float(xbCeil - xaFloor - 3) * inv;
                    row[xbCeil - 1] += d * (1.0f - a2 - am);
                }
                row[xbCeil] += d * am;
            }
            x = xnext;
        }
    };
    for (const auto& contour : path.contours) {
        const size_t n = contour.size();
        for (size_t i = 0; i < n; ++i) {
            const PointF a = contour[i], b = contour[(i + 1) % n];
            edge(a.x * s, a.y * s, b.x * s, b.y * s);
        }
    }
    for (int32_t y = by0; y < by1; ++y) {
        const float* row = acc + size_t(y - by0) * size_t(w);
        uint32_t* out = canvas_.pixels + size_t(y) * size_t(canvas_.stride);
        Colour colour = c;
        if (gradient) colour = mix(c, *gradient, g1 > g0 ? ((float(y) + 0.5f) / s - g0) / (g1 - g0) : 0.0f);
        float sum = 0.0f;
        for (int32_t i = 0; i < w; ++i) {
            sum += row[i];
            const int32_t x = bx0 + i;
            if (x < cx0_ || x >= cx1_) continue;
            const float coverage = std::min(1.0f, std::fabs(sum));
            if (coverage > 0.002f) blendPixel(out[x], colour, coverage);
        }
    }
}

void Painter::fillPath(const Path& path, Colour c) { fill(path, c, nullptr, 0.0f, 0.0f); }

void Painter::fillPathGradient(const Path& path, Colour top, Colour bottom, float y0, float y1) {
    fill(path, top, &bottom, y0, y1);
}

void Painter::fillRect(const RectF& r, Colour c) {
    if (!visible(r)) return;
    Path p;
    p.addRect(r);
    fillPath(p, c);
}

void Painter::fillRoundRect(const RectF& r, float radius, Colour c) {
    if (!visible(r)) return;
    Path p;
    p.addRoundRect(r, radius);
    fillPath(p, c);
}

void Painter::fillRoundRectGradient(const RectF& r, float radius, Colour top, Colour bottom) {
    if (!visible(r)) return;
    Path p;
    p.addRoundRect(r, radius);
    fillPathGradient(p, top, bottom, r.top, r.bottom);
}

void Painter::strokeRoundRect(const RectF& r, float radius, float width, Colour c) {
    if (!visible(r)) return;
    Path p;
    p.addRoundRect(r, radius);
    p.addRoundRect(r.inset(width), std::max(0.0f, radius - width));
    p.reverseLast();
    fillPath(p, c);
}

void Painter::fillCircle(float cx, float cy, float r, Colour c) {
    Path p;
    p.addCircle(cx, cy, r);
    fillPath(p, c);
}

void Painter::strokeCircle(float cx, float cy, float r, float width, Colour c) {
    Path p;
    p.addCircle(cx, cy, r);
    p.addCircle(cx, cy, std::max(0.0f, r - width));
    p.reverseLast();
    fillPath(p, c);
}

void Painter::line(float x0, float y0, float x1, float y1, float width, Colour c) {
    Path p;
    p.addStroke({{x0, y0}, {x1, y1}}, width);
    fillPath(p, c);
}

void Painter::image(const uint32_t* pixels, int32_t width, int32_t height, int32_t stride, const RectF& dst) {
    if (!pixels || width <= 0 || height <= 0 || dst.width() <= 0.0f || dst.height() <= 0.0f) return;
    const float s = canvas_.scale;
    const int32_t x0 = std::max(cx0_, int32_t(std::lround(dst.left * s)));
    const int32_t x1 = std::min(cx1_, int32_t(std::lround(dst.right * s)));
    const int32_t y0 = std::max(cy0_, int32_t(std::lround(dst.top * s)));
    const int32_t y1 = std::min(cy1_, int32_t(std::lround(dst.bottom * s)));
    const float fx = float(width) / (dst.width() * s), fy = float(height) / (dst.height() * s);
    const float ox = dst.left * s, oy = dst.top * s;
    for (int32_t y = y0; y < y1; ++y) {
        const int32_t sy = std::clamp(int32_t((float(y) + 0.5f - oy) * fy), 0, height - 1);
        const uint32_t* src = pixels + size_t(sy) * size_t(stride);
        uint32_t* out = canvas_.pixels + size_t(y) * size_t(canvas_.stride);
        for (int32_t x = x0; x < x1; ++x)
            out[x] = src[std::clamp(int32_t((float(x) + 0.5f - ox) * fx), 0, width - 1)] | 0xFF000000u;
    }
}

// ---- text -----------------------------------------------------------------------

float textWidth(std::string_view utf8, float size) {
    Font& f = font();
    if (!f.ok) return 0.0f;
    std::lock_guard<std::mutex> guard(f.lock);
    float w = 0.0f;
    for (size_t i = 0; i < utf8.size();) {
        const uint32_t code = nextCharacter(utf8, i);
        size_t j = i;
        const uint32_t next = i < utf8.size() ? nextCharacter(utf8, j) : 0;
        w += f.advance(code, next, size);
    }
    return w;
}

float textAscent(float size) {
    Font& f = font();
    return f.ok ? float(f.ascent) * f.scaleFor(size) : size;
}

float textDescent(float size) {
    Font& f = font();
    return f.ok ? -float(f.descent) * f.scaleFor(size) : 0.0f;
}

void Painter::text(std::string_view utf8, float x, float baseline, float size, Colour c) {
    Font& f = font();
    if (!f.ok) return;
    std::lock_guard<std::mutex> guard(f.lock);
    const float s = canvas_.scale;
    const float deviceSize = size * s;
    const auto& lift = textCoverage();
    const int32_t base = int32_t(std::lround(baseline * s));
    float pen = x * s;
    for (size_t i = 0; i < utf8.size();) {
        const uint32_t code = nextCharacter(utf8, i);
        size_t j = i;
        const uint32_t next = i < utf8.size() ? nextCharacter(utf8, j) : 0;
        const Glyph& g = f.glyph(code, deviceSize);
        const int32_t gx = int32_t(std::lround(pen)) + g.x0, gy = base + g.y0;
        for (int32_t y = std::max(gy, cy0_); y < std::min(gy + g.height, cy1_); ++y) {
            uint32_t* out = canvas_.pixels + size_t(y) * size_t(canvas_.stride);
            const uint8_t* cov = g.coverage.data() + size_t(y - gy) * size_t(g.width);
            for (int32_t x = std::max(gx, cx0_); x < std::min(gx + g.width, cx1_); ++x) {
                const uint8_t v = cov[x - gx];
                if (v) blendPixel(out[x], c, lift[v]);
            }
        }
        pen += f.advance(code, next, deviceSize);
    }
}

void Painter::textIn(std::string_view utf8, const RectF& r, int align, float size, Colour c, int underline) {
    std::string fitted(utf8);
    float w = textWidth(fitted, size);
    if (w > r.width() && !fitted.empty()) {
        // Cut at a character boundary and end with an ellipsis.
        const std::string ellipsis = "\xE2\x80\xA6";
        while (!fitted.empty() && textWidth(fitted + ellipsis, size) > r.width()) {
            size_t cut = fitted.size() - 1;
            while (cut > 0 && (static_cast<unsigned char>(fitted[cut]) & 0xC0) == 0x80) --cut;
            fitted.resize(cut);
        }
        fitted += ellipsis;
        w = textWidth(fitted, size);
        underline = -1;
    }
    float x = r.left;
    if (align == 1) x = r.centreX() - 0.5f * w;
    if (align == 2) x = r.right - w;
    // The line's ascent and descent centred in the rectangle, on whole pixels.
    const float ascent = textAscent(size), descent = textDescent(size);
    const float baseline = std::round((r.centreY() + 0.5f * (ascent - descent)) * scale()) / scale();
    x = std::round(x * scale()) / scale();
    text(fitted, x, baseline, size, c);
    if (underline >= 0 && size_t(underline) < fitted.size()) {
        const float u0 = x + textWidth(std::string_view(fitted).substr(0, size_t(underline)), size);
        size_t end = size_t(underline);
        nextCharacter(fitted, end);
        const float u1 = x + textWidth(std::string_view(fitted).substr(0, end), size);
        const float t = std::max(1.0f, std::round(scale())) / scale();
        fillRect({u0, baseline + t, u1, baseline + 2.0f * t}, c);
    }
}

// Text broken into lines that fit width.
std::vector<std::string> wrapText(std::string_view text, float width, float size) {
    std::vector<std::string> lines;
    std::string line;
    size_t i = 0;
    while (i < text.size()) {
        const size_t end = std::min(text.find(' ', i), text.size());
        const std::string word(text.substr(i, end - i));
        const std::string candidate = line.empty() ? word : line + " " + word;
        if (!line.empty() && textWidth(candidate, size) > width) {
            lines.push_back(line);
            line = word;
        } else {
            line = candidate;
        }
        i = end + 1;
    }
    if (!line.empty()) lines.push_back(line);
    return lines;
}

}  // namespace tv::ui
