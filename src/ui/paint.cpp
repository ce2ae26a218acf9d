// The dialog's look: a light, flat theme with one accent colour. Every
// control is drawn from its descriptor and its values; nothing here changes
// the dialog's state.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "persist/memory_dots.h"
#include "ui/art.h"
#include "ui/dialog_internal.h"
#include "ui/draw.h"
#include "ui/theme.h"

namespace tv::ui {

namespace {


RectF toRect(const ControlRect& r) { return {float(r.left), float(r.top), float(r.right), float(r.bottom)}; }

bool focused(const DialogState& s, int id) { return s.focus == id; }

void focusRing(Painter& p, const RectF& r, float radius) {
    p.strokeRoundRect(r.inset(-2.5f), radius + 2.5f, 1.5f, withAlpha(theme::accent, 0xB0));
}

Colour toColour(const Colour16& c) {
    return rgb((uint32_t(channelTo8(c.red)) << 16) | (uint32_t(channelTo8(c.green)) << 8) |
               uint32_t(channelTo8(c.blue)));
}

// ---- controls ---------------------------------------------------------------------------

void paintHeading(Painter& p, const Control& c) {
    const RectF r = toRect(c.rect);
    const float baseline = r.bottom - 7.0f;
    std::string upper(c.caption);
    for (char& ch : upper) ch = char(std::toupper(static_cast<unsigned char>(ch)));
    p.text(upper, r.left, baseline, 10.0f, theme::heading);
    const float w = textWidth(upper, 10.0f);
    p.fillRect({r.left + w + 8.0f, baseline - 3.5f, r.right, baseline - 2.5f}, theme::hairline);
}

void paintLabel(const DialogState& s, Painter& p, const Control& c) {
    const std::string_view text = labelOf(c.id);
    if (text.empty()) return;
    const bool enabled = s.enabled[size_t(c.companion)];
    const int align = c.align == 0 ? 2 : (c.align == 1 ? 0 : 1);
    p.textIn(text, toRect(c.rect), align, theme::textSize, enabled ? theme::text : theme::disabled);
}

void paintSlider(const DialogState& s, Painter& p, const Control& c) {
    const RectF r = toRect(c.rect);
    const float cy = r.centreY();
    if (!s.enabled[size_t(c.id)]) {
        p.fillRoundRect({r.left + 1, cy - 2, r.right - 1, cy + 2}, 2.0f, rgb(0xDEDEDE));
        return;
    }
    const float left = thumbLeft(s, c.id);
    const float tc = left + 0.5f * kThumbWidth;
    const Colour fill = c.bitmap == 102 ? theme::water : theme::accent;
    p.fillRoundRect({r.left + 1, cy - 2, r.right - 1, cy + 2}, 2.0f, theme::track);
    p.fillRoundRect({r.left + 1, cy - 2, tc, cy + 2}, 2.0f, fill);
    const bool active = s.captured == c.id || s.hot == c.id;
    if (focused(s, c.id)) p.fillCircle(tc, cy, 9.5f, withAlpha(theme::accent, 0x40));
    p.fillCircle(tc, cy + 0.6f, 6.6f, withAlpha(rgb(0x000000), 0x30));
    p.fillCircle(tc, cy, 6.0f, active ? fill : rgb(0x7F8894));
    p.fillCircle(tc, cy, 4.8f, theme::field);
}

void paintEdit(const DialogState& s, Painter& p, const Control& c) {
    const RectF r = toRect(c.rect);
    const EditBox& e = s.edits[size_t(c.id)];
    const bool focus = focused(s, c.id);
    p.fillRoundRect(r, 4.0f, theme::field);
    p.strokeRoundRect(r, 4.0f, focus ? 1.5f : 1.0f, focus ? theme::accent : theme::border);
    const float textRight = r.right - 5.0f;
    const float w = textWidth(e.text, theme::textSize);
    const float left = textRight - w;
    auto xAt = [&](int32_t i) {
        return left + textWidth(std::string_view(e.text).substr(0, size_t(i)), theme::textSize);
    };
    if (focus && e.caret != e.anchor) {
        const float a = xAt(std::min(e.caret, e.anchor)), b = xAt(std::max(e.caret, e.anchor));
        p.fillRect({a, r.top + 4, b, r.bottom - 4}, theme::accentSoft);
    }
    p.textIn(e.text, {left, r.top, textRight + 1.0f, r.bottom}, 0, theme::textSize,
             s.enabled[size_t(c.companion)] ? theme::text : theme::disabled);
    if (focus) {
        const float x = std::round(xAt(e.caret) * p.scale()) / p.scale();
        p.fillRect({x, r.top + 4, x + 1.0f, r.bottom - 4}, theme::text);
    }
}

void paintCheckBox(const DialogState& s, Painter& p, const Control& c) {
    const RectF r = toRect(c.rect);
    const bool on = s.values[size_t(c.id)] != 0;
    const bool pressed = s.pressed == c.id || (s.pressed != kNoControl && control(s.pressed)->companion == c.id &&
                                               control(s.pressed)->kind == Kind::Label);
    const bool hot = s.hot == c.id ||
                     (s.hot != kNoControl && control(s.hot)->kind == Kind::Label && control(s.hot)->companion == c.id);
    if (on) {
        p.fillRoundRect(r, 3.0f, pressed && s.pressInside ? rgb(0x2458B8) : theme::accent);
        Path tick;
        tick.addStroke({{r.left + 3.4f, r.top + 7.2f}, {r.left + 6.0f, r.top + 9.8f}, {r.left + 10.8f, r.top + 4.4f}},
                       1.8f);
        p.fillPath(tick, theme::field);
    } else {
        p.fillRoundRect(r, 3.0f, pressed && s.pressInside ? rgb(0xE4E8EE) : theme::field);
        p.strokeRoundRect(r, 3.0f, 1.0f, hot ? theme::borderHot : rgb(0x98A1AD));
    }
    if (focused(s, c.id)) focusRing(p, r, 3.0f);
}

void paintColourButton(const DialogState& s, Painter& p, const Control& c) {
    const RectF r = toRect(c.rect);
    const Colour colour = toColour(s.colours[size_t(c.id)]);
    const bool pressed = s.pressed == c.id && s.pressInside;
    p.fillRoundRect(r, 4.0f, colour);
    p.strokeRoundRect(r, 4.0f, 1.0f, mix(colour, rgb(0x000000), 0.35f));
    p.strokeRoundRect(r.inset(1.0f), 3.0f, 1.0f, withAlpha(rgb(0xFFFFFF), pressed ? 0x20 : 0x60));
    if (s.hot == c.id) p.strokeRoundRect(r.inset(-1.5f), 5.5f, 1.0f, theme::borderHot);
    if (focused(s, c.id)) focusRing(p, r, 4.0f);
}

void paintButton(const DialogState& s, Painter& p, const Control& c) {
    const RectF r = toRect(c.rect);
    const bool enabled = s.enabled[size_t(c.id)];
    const bool pressed = s.pressed == c.id && s.pressInside;
    const bool hot = enabled && (s.hot == c.id || pressed);
    const bool primary = c.id == kOk;
    drawButtonFace(p, r, pressed, hot, primary);
    const Colour ink = primary ? theme::field : (enabled ? theme::text : rgb(0xA8AEB6));
    int underline = -1;
    const std::string caption = captionText(c.caption, &underline);
    if (c.glyph != Glyph::None) {
        const float side = 16.0f;
        const float gap = caption.empty() ? 0.0f : 6.0f;
        const float total = side + gap + (caption.empty() ? 0.0f : textWidth(caption, theme::textSize));
        const float x0 = std::round(r.centreX() - total / 2.0f);
        const float y0 = std::round(r.centreY() - side / 2.0f);
        drawGlyph(p, c.glyph, {x0, y0, x0 + side, y0 + side}, enabled ? (primary ? ink : rgb(0x3A4350)) : ink);
        if (!caption.empty())
            p.textIn(caption, {x0 + side + gap, r.top, r.right, r.bottom}, 0, theme::textSize, ink, underline);
    } else {
        p.textIn(caption, r, 1, theme::textSize, ink, underline);
    }
    if (focused(s, c.id)) focusRing(p, r, 5.0f);
}

void paintGlobe(const DialogState& s, Painter& p, const Control& c) {
    const RectF r = toRect(c.rect);
    const float cx = r.left + kGlobeCentreX, cy = r.top + kGlobeCentreY, radius = kGlobeRadius;
    const auto& v = s.vectors[size_t(c.id)];
    const bool light = c.id == kLightGlobe;
    p.fillCircle(cx, cy + 1.5f, radius + 1.5f, withAlpha(rgb(0x000000), 0x28));
    // A sphere: lit by the light vector, or carrying a grid that turns with the axis.
    const float lx = light ? v[0] : -0.5f, ly = light ? v[1] : -0.55f, lz = light ? v[2] : 0.67f;
    float ax = v[0], ay = v[1], az = v[2];
    p.shade({cx - radius - 1, cy - radius - 1, cx + radius + 1, cy + radius + 1}, [&](float x, float y, float px,
                                                                                      float& coverage) {
        const float dx = (x - cx) / radius, dy = (y - cy) / radius;
        const float d = std::sqrt(dx * dx + dy * dy);
        coverage = std::clamp((1.0f - d) * radius / px + 0.5f, 0.0f, 1.0f);
        const float dz = std::sqrt(std::max(0.0f, 1.0f - d * d));
        const float lambert = std::max(0.0f, dx * lx + dy * ly + dz * lz);
        Colour base = light ? mix(rgb(0x0E1A2E), rgb(0xF4D58A), std::pow(lambert, 0.8f))
                            : mix(rgb(0x24344C), rgb(0x8FB4E6), 0.15f + 0.85f * lambert);
        if (!light) {
            // Latitude circles and meridians about the axis.
            const float lat = dx * ax + dy * ay + dz * az;
            const float band =
                std::fabs(std::fmod(std::asin(std::clamp(lat, -1.0f, 1.0f)) * 6.0f / 3.14159f + 10.0f, 1.0f) - 0.5f);
            if (band > 0.46f) base = mix(base, rgb(0xFFFFFF), 0.25f);
            if (std::fabs(lat) > 0.97f) base = mix(base, rgb(0xFFFFFF), 0.5f);
        }
        return base;
    });
    p.strokeCircle(cx, cy, radius, 1.0f, withAlpha(rgb(0x000000), 0x50));
    if (!s.enabled[size_t(c.id)]) return;
    // The line towards the marker: solid on the near side, faint on the far side.
    const float mx = r.left + 42.0f + 33.0f * v[0], my = r.top + 41.0f + 33.0f * v[1];
    const bool near = v[2] >= 0.0f;
    const Colour ink = light ? rgb(0xFFFFFF) : rgb(0xFFD166);
    p.line(cx + (mx - cx) * 0.12f, cy + (my - cy) * 0.12f, mx, my, 1.5f, withAlpha(ink, near ? 0xE0 : 0x70));
    p.fillCircle(mx, my, 5.0f, withAlpha(rgb(0x000000), 0x50));
    p.fillCircle(mx, my, 4.0f, ink);
    p.fillCircle(mx, my, 2.0f, light ? rgb(0xF0A020) : rgb(0x24344C));
}

void paintModeList(const DialogState& s, Painter& p, const Control& c) {
    const RectF r = toRect(c.rect);
    const bool enabled = s.enabled[size_t(c.id)];
    p.fillRoundRect(r, 4.0f, enabled ? theme::field : rgb(0xEDEEF0));
    p.strokeRoundRect(r, 4.0f, 1.0f, (s.hot == c.id && enabled) || s.listOpen ? theme::borderHot : theme::border);
    const int index = std::clamp(s.values[size_t(c.id)] - 1, 0, 13);
    p.textIn(modeName(index), {r.left + 8, r.top, r.right - 22, r.bottom}, 0, theme::textSize,
             enabled ? theme::text : theme::disabled);
    Path chevron;
    const float x = r.right - 12.0f, y = r.centreY();
    chevron.addStroke({{x - 3.5f, y - 1.5f}, {x, y + 2.0f}, {x + 3.5f, y - 1.5f}}, 1.5f);
    p.fillPath(chevron, enabled ? theme::secondary : theme::disabled);
    if (focused(s, c.id)) focusRing(p, r, 4.0f);
}

void paintListPopup(const DialogState& s, Painter& p) {
    const RectF r = toRect(listPopupRect());
    p.fillRoundRect(r.inset(-3.0f, -3.0f).inset(0, -1), 8.0f, withAlpha(rgb(0x000000), 0x14));
    p.fillRoundRect(r.inset(-1.0f), 6.0f, withAlpha(rgb(0x000000), 0x20));
    p.fillRoundRect(r, 5.0f, theme::field);
    p.strokeRoundRect(r, 5.0f, 1.0f, theme::border);
    for (int i = 0; i < 14; ++i) {
        const RectF item = toRect(listItemRect(i));
        const bool hot = i == s.listHot, selected = i + 1 == s.values[kModeList];
        if (hot) p.fillRoundRect(item, 3.0f, theme::accent);
        p.textIn(modeName(i), {item.left + 22, item.top, item.right - 6, item.bottom}, 0, theme::textSize,
                 hot ? theme::field : theme::text);
        if (selected) {
            Path tick;
            tick.addStroke({{item.left + 7, item.top + 9.2f},
                            {item.left + 9.6f, item.top + 11.8f},
                            {item.left + 14.4f, item.top + 6.4f}},
                           1.6f);
            p.fillPath(tick, hot ? theme::field : theme::accent);
        }
    }
}

void paintPreview(const DialogState& s, Painter& p, const Control& c) {
    const RectF r = toRect(c.rect);
    p.fillRoundRect(r, 6.0f, theme::pane);
    const RectF inner = toRect(previewInner());
    // The one-pixel frame round the image area.
    p.strokeRoundRect(inner.inset(-1.0f), 0.0f, 1.0f, rgb(0x000000));
    const StateBlock& st = *s.setup.state;
    if (s.previewShown && s.surface && s.surface->pixels && st.renderWidth > 0 && st.renderHeight > 0) {
        float ox, oy;
        previewOrigin(s, ox, oy);
        const int32_t w = std::min(st.renderWidth, s.surface->width), h = std::min(st.renderHeight, s.surface->height);
        p.image(s.surface->pixels, w, h, s.surface->stride, {ox, oy, ox + float(w), oy + float(h)});
    } else if (!s.setup.preview.available) {
        p.textIn("No preview from this host", inner, 1, theme::textSize, rgb(0x8A93A0));
    }
}

void paintNameStrip(const DialogState& s, Painter& p, const Control& c) {
    const RectF r = toRect(c.rect);
    p.fillRoundRect(r, 5.0f, rgb(0xE5E8EC));
    p.textIn(s.setup.params->settingsName, r.inset(8.0f, 0.0f), 1, theme::textSize, theme::text);
}

void paintDot(const DialogState& s, Painter& p, const Control& c) {
    const RectF r = toRect(c.rect);
    const int n = dotIndex(c.id);
    const int16_t state = s.setup.state->dotDisplay[n];
    const bool pressed = (s.values[size_t(c.id)] & 2) != 0;
    const float cx = r.centreX(), cy = r.centreY();
    const bool hot = s.hot == c.id;
    if (state == persist::kDotEmpty) {
        p.fillCircle(cx, cy, 5.5f, pressed ? rgb(0xD5DAE1) : theme::field);
        p.strokeCircle(cx, cy, 5.5f, 1.2f, hot ? theme::accent : rgb(0xA9B1BC));
    } else if (state == persist::kDotCurrent) {
        p.strokeCircle(cx, cy, 8.0f, 1.5f, withAlpha(theme::accent, 0x90));
        p.fillCircle(cx, cy, 5.5f, pressed ? rgb(0x2458B8) : theme::accent);
    } else {
        p.fillCircle(cx, cy, 5.5f, pressed ? rgb(0x3C4654) : (hot ? rgb(0x4F5C6E) : rgb(0x6B7789)));
    }
}

void paintSpecialDot(const DialogState& s, Painter& p, const Control& c) {
    const RectF r = toRect(c.rect);
    p.fillRoundRect(r, 6.0f, theme::pane);
    if (s.picture.width > 0) {
        std::vector<uint32_t> words(size_t(s.picture.width) * size_t(s.picture.height));
        for (size_t i = 0; i < words.size(); ++i) {
            const uint8_t* px = s.picture.pixels.data() + 3 * i;
            words[i] = 0xFF000000u | (uint32_t(px[0]) << 16) | (uint32_t(px[1]) << 8) | px[2];
        }
        p.image(words.data(), s.picture.width, s.picture.height, s.picture.width, r.inset(4.0f));
        const int hover = s.setup.state->hoverDot;
        if (hover >= 0) {
            char name[16];
            std::snprintf(name, sizeof name, "%d", hover + 1);
            const RectF badge{r.right - 22, r.bottom - 18, r.right - 5, r.bottom - 5};
            p.fillRoundRect(badge, 6.0f, withAlpha(rgb(0x000000), 0x90));
            p.textIn(name, badge, 1, 10.0f, theme::field);
        }
    } else {
        drawGlyph(p, Glyph::Logo, {r.centreX() - 20, r.centreY() - 20, r.centreX() + 20, r.centreY() + 20},
                  theme::field);
    }
}

void paintMemoryNote(Painter& p) {
    const ControlRect dot = control(kSpecialDot)->rect;
    const RectF r{float(control(kPreview)->rect.left), float(dot.top), float(dot.left - 12), float(dot.bottom)};
    const char* note =
        "The dots at the right keep planets between runs. Click an empty dot to keep this one, a filled dot "
        "to bring its planet back; right-click empties a dot. The picture shows the dot under the pointer.";
    float y = r.top + 11.0f;
    for (const std::string& line : wrapText(note, r.width(), theme::textSize)) {
        p.text(line, r.left, y, theme::textSize, theme::secondary);
        y += 15.0f;
    }
}

void paintBrand(Painter& p) {
    const ControlRect mark = control(kAbout)->rect;
    const float x = float(mark.right + 12);
    p.text("Terravane", x, float(mark.top) + 24.0f, 18.0f, theme::heading);
    p.text("1.93  \xC2\xB7  planets for paint programs", x, float(mark.top) + 41.0f, theme::textSize, theme::secondary);
}

void paintTooltip(const DialogState& s, Painter& p) {
    const std::string_view text = tooltip(s.tipFor);
    if (text.empty()) return;
    const std::vector<std::string> lines = wrapText(text, 240.0f, theme::textSize);
    float w = 0.0f;
    for (const std::string& l : lines) w = std::max(w, textWidth(l, theme::textSize));
    const float h = 15.0f * float(lines.size()) + 8.0f;
    float x = s.tipX + 4.0f, y = s.tipY + 22.0f;
    x = std::clamp(x, 4.0f, float(kDialogWidth) - w - 18.0f);
    if (y + h > float(kDialogHeight) - 4.0f) y = s.tipY - h - 10.0f;
    const RectF r{x, y, x + w + 14.0f, y + h};
    p.fillRoundRect(r.inset(-1.0f), 6.0f, withAlpha(rgb(0x000000), 0x30));
    p.fillRoundRect(r, 5.0f, theme::tip);
    float baseline = r.top + 15.0f;
    for (const std::string& l : lines) {
        p.text(l, r.left + 7.0f, baseline, theme::textSize, rgb(0xF4F6F8));
        baseline += 15.0f;
    }
}

}  // namespace

void paint(const DialogState& s, Painter& p) {
    const platform::WindowRect clip = p.clip();
    p.fillRect({float(clip.left), float(clip.top), float(clip.right), float(clip.bottom)}, theme::background);
    // The band of the command buttons.
    p.fillRect({0.0f, 516.0f, float(kDialogWidth), 517.0f}, theme::hairline);
    paintMemoryNote(p);
    paintBrand(p);
    // The band the memory dots sit on.
    const ControlRect first = control(kFirstDot)->rect, last = control(kLastDot)->rect;
    p.fillRoundRect({float(first.left - 4), float(first.top - 6), float(first.right + 4), float(last.bottom + 6)},
                    12.0f, rgb(0xE6E9EE));
    for (const Control& c : controls()) {
        const RectF r = toRect(c.rect).inset(-5.0f);
        if (!p.visible(r)) continue;
        switch (c.kind) {
            case Kind::Heading: paintHeading(p, c); break;
            case Kind::Label: paintLabel(s, p, c); break;
            case Kind::Slider: paintSlider(s, p, c); break;
            case Kind::SliderEdit: paintEdit(s, p, c); break;
            case Kind::CheckBox: paintCheckBox(s, p, c); break;
            case Kind::ColourButton: paintColourButton(s, p, c); break;
            case Kind::IconButton:
            case Kind::DialogButton: paintButton(s, p, c); break;
            case Kind::Globe: paintGlobe(s, p, c); break;
            case Kind::ModeList: paintModeList(s, p, c); break;
            case Kind::Preview: paintPreview(s, p, c); break;
            case Kind::NameStrip: paintNameStrip(s, p, c); break;
            case Kind::MemoryDot: paintDot(s, p, c); break;
            case Kind::SpecialDot: paintSpecialDot(s, p, c); break;
            case Kind::Icon: drawLogo(p, toRect(c.rect)); break;
            case Kind::None: break;
        }
    }
    if (s.listOpen) paintListPopup(s, p);
    if (s.tipShown) paintTooltip(s, p);
}

}  // namespace tv::ui
