// The look of the secondary windows: the chooser's radio buttons, the
// progress windows' status and bar, the about box and the information
// picture, in the dialog's theme.
#include <algorithm>
#include <cmath>

#include "ui/art.h"
#include "ui/dialog.h"
#include "ui/draw.h"
#include "ui/secondary.h"
#include "ui/theme.h"

namespace tv::ui {

namespace {

RectF toRect(const ControlRect& r) { return {float(r.left), float(r.top), float(r.right), float(r.bottom)}; }

void background(Painter& p, WindowId id) {
    const platform::WindowRect clip = p.clip();
    p.fillRect({float(clip.left), float(clip.top), float(clip.right), float(clip.bottom)}, theme::background);
    (void)id;
}

void pushButton(Painter& p, const SmallControl& c, const ButtonTrack& m, bool enabled = true) {
    const RectF r = toRect(c.rect);
    const bool pressed = m.pressed == c.id && m.inside;
    const bool hot = enabled && (m.hot == c.id || pressed);
    const bool primary = c.kind == SmallControl::DefaultButton;
    drawButtonFace(p, r, pressed, hot, primary);
    const Colour ink = primary ? theme::field : (enabled ? theme::text : rgb(0xA8AEB6));
    p.textIn(c.caption, r, 1, theme::textSize, ink);
}

void radio(Painter& p, const SmallControl& c, const ButtonTrack& m, std::string_view name, bool on, bool enabled,
           bool cached) {
    const RectF r = toRect(c.rect);
    const float cx = r.left + 9.0f, cy = r.centreY();
    const bool hot = enabled && (m.hot == c.id || (m.pressed == c.id && m.inside));
    if (enabled && (hot || on)) p.fillRoundRect(r, 5.0f, on ? rgb(0xE4EDFC) : rgb(0xEBEEF2));
    if (on) {
        p.fillCircle(cx, cy, 7.0f, enabled ? theme::accent : theme::disabled);
        p.fillCircle(cx, cy, 3.0f, theme::field);
    } else {
        p.fillCircle(cx, cy, 7.0f, theme::field);
        p.strokeCircle(cx, cy, 6.5f, 1.0f, enabled ? (hot ? theme::borderHot : rgb(0x98A1AD)) : rgb(0xC8CDD4));
    }
    float right = r.right - 6.0f;
    if (cached) {
        const float w = textWidth("cached", 9.0f) + 10.0f;
        const RectF tag{right - w, cy - 7.0f, right, cy + 7.0f};
        p.fillRoundRect(tag, 7.0f, rgb(0xD9EFE3));
        p.textIn("cached", tag, 1, 9.0f, rgb(0x2E7D4F));
        right = tag.left - 6.0f;
    }
    p.textIn(name, {r.left + 24.0f, r.top, right, r.bottom}, 0, theme::textSize,
             enabled ? theme::text : theme::disabled);
}

void bar(Painter& p, const SmallControl& c, int32_t thousandths) {
    const RectF r = toRect(c.rect);
    p.fillRoundRect(r, 3.0f, theme::track);
    if (thousandths > 0)
        p.fillRoundRect({r.left, r.top, r.left + std::max(6.0f, r.width() * float(thousandths) / 1000.0f), r.bottom},
                        3.0f, theme::accent);
}

void paintClouds(const DialogState& s, Painter& p) {
    const WindowId id = WindowId::Clouds;
    const CloudsWindow& w = s.windows.clouds;
    const ButtonTrack& m = s.windows.mouse[size_t(id)];
    for (const SmallControl& c : windowControls(id)) {
        if (!p.visible(toRect(c.rect).inset(-4.0f))) continue;
        if (c.kind == SmallControl::Radio) {
            const int index = c.id - kChooserFirstRadio;
            const bool available = w.model.available[index];
            radio(p, c, m, available ? std::string_view(w.model.names[index]) : std::string_view(c.caption),
                  w.model.selected == index, available, available && w.cached[index]);
        } else if (c.id == kChooserPrompt) {
            p.textIn(c.caption, toRect(c.rect), 0, 12.0f, theme::heading);
        } else if (c.id == kChooserVersion) {
            p.textIn(w.model.versionLabel.empty() ? std::string_view(c.caption) : std::string_view(w.model.versionLabel),
                     toRect(c.rect), 0, theme::textSize, theme::secondary);
        } else {
            pushButton(p, c, m);
        }
    }
    p.fillRect({0.0f, 265.0f, float(windowWidth(id)), 266.0f}, theme::hairline);
}

void paintProgress(const DialogState& s, WindowId id, Painter& p) {
    const ProgressWindow& w = id == WindowId::Export ? s.windows.exporting : s.windows.download;
    const ButtonTrack& m = s.windows.mouse[size_t(id)];
    for (const SmallControl& c : windowControls(id)) {
        switch (c.id) {
            case kProgressStatus: p.textIn(w.status, toRect(c.rect), 1, 12.0f, theme::text); break;
            case kProgressCaption: p.textIn(c.caption, toRect(c.rect), 1, theme::textSize, theme::secondary); break;
            case kProgressBar: bar(p, c, w.thousandths); break;
            default: pushButton(p, c, m, !w.cancelling); break;
        }
    }
}

void paintAboutBody(const ButtonTrack& m, Painter& p) {
    const WindowId id = WindowId::About;
    for (const SmallControl& c : windowControls(id)) {
        const RectF r = toRect(c.rect);
        if (c.id == kAboutPicture) {
            drawLogo(p, r);
        } else if (c.id == kAboutText) {
            p.text("Terravane", r.left, r.top + 22.0f, 22.0f, theme::heading);
            p.text("Version 1.93  \xC2\xB7  planets for paint programs", r.left, r.top + 42.0f, theme::textSize,
                   theme::secondary);
#ifdef _WIN32
            const char* credit =
                "Made with libjpeg (this software is based in part on the work of the Independent JPEG "
                "Group) and stb_truetype; text in DejaVu Sans.";
#else
            const char* credit =
                "Made with libjpeg (this software is based in part on the work of the Independent JPEG "
                "Group), libpng, libtiff, OpenEXR, libcurl, GTK and stb_truetype; text in DejaVu Sans.";
#endif
            float y = r.top + 66.0f;
            for (const std::string& line : wrapText(credit, r.width(), 10.0f)) {
                p.text(line, r.left, y, 10.0f, theme::text);
                y += 14.0f;
            }
        } else {
            pushButton(p, c, m);
        }
    }
    p.fillRect({0.0f, 146.0f, float(windowWidth(id)), 147.0f}, theme::hairline);
}

// The information picture: how the dialog is used, drawn as a card of
// button pictures and short notes.
void paintInformation(const DialogState& s, Painter& p) {
    const WindowId id = WindowId::Information;
    const SmallControl& picture = *windowControl(id, kInfoPicture);
    const RectF card = toRect(picture.rect);
    p.fillRect({card.left, card.top, card.right, card.top + 64.0f}, rgb(0x1A2433));
    drawLogo(p, {16.0f, 10.0f, 60.0f, 54.0f});
    p.text("Terravane at a glance", 72.0f, 32.0f, 18.0f, rgb(0xF4F6F8));
    p.text("Every change shows in the preview at once.", 72.0f, 50.0f, theme::textSize, rgb(0xB8C2D0));
    struct Note {
        Glyph glyph;
        const char* text;
    };
    static constexpr Note kNotes[] = {
        {Glyph::ZoomIn, "Click the preview to place the planet; zoom with - + %, drag to look around when zoomed in."},
        {Glyph::Logo, "Drag the globes to move the light and tilt the axis; with Ctrl they point at you."},
        {Glyph::Undo, "Dots at the right keep planets: click an empty dot to keep one, a filled dot to bring it "
                      "back, right-click to empty it. Undo goes back and forth."},
        {Glyph::Dice, "Dice makes a random planet, Ecce a new seed of the same one, Plain the plain defaults."},
        {Glyph::Clouds, "Clouds fetches a weather-satellite picture of the Earth for real clouds."},
        {Glyph::Layers, "Layers writes every map of the planet as one layered document."},
        {Glyph::Catalogue, "The grid button writes a web page of a folder of presets; right-click the big dot "
                           "for a page of the dots."},
    };
    float y = card.top + 80.0f;
    for (const Note& n : kNotes) {
        const RectF box{20.0f, y - 1.0f, 38.0f, y + 17.0f};
        p.fillRoundRect(box.inset(-4.0f), 5.0f, rgb(0xE4EDFC));
        if (n.glyph == Glyph::Logo)
            drawLogo(p, box);
        else
            drawGlyph(p, n.glyph, box, rgb(0x3A4350));
        float line = y + 12.0f;
        for (const std::string& l : wrapText(n.text, card.right - 72.0f, theme::textSize)) {
            p.text(l, 54.0f, line, theme::textSize, theme::text);
            line += 15.0f;
        }
        y = std::max(y + 32.0f, line + 6.0f);
    }
    pushButton(p, *windowControl(id, kInfoClose), s.windows.mouse[size_t(id)]);
}

}  // namespace

void paintWindow(const DialogState& s, WindowId id, Painter& p) {
    background(p, id);
    switch (id) {
        case WindowId::Clouds: paintClouds(s, p); break;
        case WindowId::Download:
        case WindowId::Export: paintProgress(s, id, p); break;
        case WindowId::About: paintAboutBody(s.windows.mouse[size_t(id)], p); break;
        case WindowId::Information: paintInformation(s, p); break;
        case WindowId::Main: paint(s, p); break;
    }
}

void paintAbout(const ButtonTrack& mouse, Painter& p) {
    background(p, WindowId::About);
    paintAboutBody(mouse, p);
}

}  // namespace tv::ui
