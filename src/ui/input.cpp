// Mouse, keyboard and timers: hit tests, capture and drags (sliders, globes,
// the preview, dots, buttons), the drop-down list, edit boxes with a caret and
// a selection, focus and mnemonics, tooltips and the memory-dot pictures.
#include <algorithm>
#include <cmath>

#include "persist/memory_dots.h"
#include "ui/dialog_internal.h"
#include "ui/draw.h"

namespace tv::ui {

using namespace detail;

namespace {

constexpr float kTextSize = 11.0f;
constexpr int32_t kEditPadding = 5;
constexpr size_t kEditMaxLength = 12;

bool isButtonLike(Kind k) {
    return k == Kind::IconButton || k == Kind::DialogButton || k == Kind::ColourButton || k == Kind::CheckBox;
}

bool takesCapture(Kind k) {
    return k == Kind::Slider || k == Kind::Globe || k == Kind::Icon || k == Kind::MemoryDot || k == Kind::SpecialDot ||
           k == Kind::Preview;
}

bool focusable(const DialogState& s, int id) {
    const auto order = tabOrder();
    return control(id) && s.enabled[size_t(id)] && std::find(order.begin(), order.end(), id) != order.end();
}

// ---- edit boxes ----------------------------------------------------------------------

float editTextLeft(const EditBox& e, const ControlRect& r) {
    return float(r.right - kEditPadding) - textWidth(e.text, kTextSize);
}

int32_t caretAt(const EditBox& e, const ControlRect& r, float x) {
    const float left = editTextLeft(e, r);
    int32_t best = 0;
    float bestDistance = std::fabs(x - left);
    for (int32_t i = 1; i <= int32_t(e.text.size()); ++i) {
        const float d = std::fabs(x - (left + textWidth(std::string_view(e.text).substr(0, size_t(i)), kTextSize)));
        if (d < bestDistance) {
            bestDistance = d;
            best = i;
        }
    }
    return best;
}

void selectAll(EditBox& e) {
    e.anchor = 0;
    e.caret = int32_t(e.text.size());
}

// Replaces the selection with text; true when the box changed.
bool insertText(EditBox& e, const std::string& text) {
    const int32_t a = std::min(e.caret, e.anchor), b = std::max(e.caret, e.anchor);
    if (a == b && text.empty()) return false;
    if (e.text.size() - size_t(b - a) + text.size() > kEditMaxLength) return false;
    e.text.replace(size_t(a), size_t(b - a), text);
    e.caret = e.anchor = a + int32_t(text.size());
    return true;
}

bool editKey(EditBox& e, platform::Key key, uint32_t mods) {
    const bool shift = mods & platform::kModShift;
    const int32_t n = int32_t(e.text.size());
    auto moveTo = [&](int32_t to) {
        e.caret = std::clamp(to, 0, n);
        if (!shift) e.anchor = e.caret;
    };
    const bool selection = e.caret != e.anchor;
    switch (key) {
        case platform::Key::Left: moveTo(!shift && selection ? std::min(e.caret, e.anchor) : e.caret - 1); return false;
        case platform::Key::Right:
            moveTo(!shift && selection ? std::max(e.caret, e.anchor) : e.caret + 1);
            return false;
        case platform::Key::Home: moveTo(0); return false;
        case platform::Key::End: moveTo(n); return false;
        case platform::Key::Backspace:
            if (!selection && e.caret > 0) e.anchor = e.caret - 1;
            return insertText(e, "");
        case platform::Key::Delete:
            if (!selection && e.caret < n) e.anchor = e.caret + 1;
            return insertText(e, "");
        default: return false;
    }
}

// ---- focus and mnemonics -------------------------------------------------------------

void setFocus(DialogState& s, int id, Actions& out) {
    if (s.focus == id) return;
    if (s.focus != kNoControl) repaint(out, s.focus);
    s.focus = id;
    if (id != kNoControl) {
        repaint(out, id);
        if (kindOf(id) == Kind::SliderEdit) selectAll(s.edits[size_t(id)]);
    }
}

void moveFocus(DialogState& s, bool backwards, Actions& out) {
    const auto order = tabOrder();
    const int n = int(order.size());
    int at = -1;
    for (int i = 0; i < n; ++i)
        if (order[size_t(i)] == s.focus) at = i;
    for (int step = 1; step <= n; ++step) {
        const int i = backwards ? (at < 0 ? n - step : (at - step + n) % n) : (at + step) % n;
        const int id = order[size_t(i)];
        if (focusable(s, id)) {
            setFocus(s, id, out);
            return;
        }
    }
}

bool mnemonic(DialogState& s, uint32_t letter, Actions& out) {
    std::vector<int> matches;
    for (int16_t id : tabOrder()) {
        const Control* c = control(id);
        if (c->caption && mnemonicOf(c->caption) == letter && s.enabled[size_t(id)]) matches.push_back(id);
    }
    if (matches.empty()) return false;
    if (matches.size() == 1) {
        setFocus(s, matches[0], out);
        command(s, matches[0], 0, out);
        return true;
    }
    // Shared by several: each press moves the focus to the next of them.
    auto it = std::find(matches.begin(), matches.end(), s.focus);
    setFocus(s, it == matches.end() || it + 1 == matches.end() ? matches[0] : *(it + 1), out);
    return true;
}

// ---- tooltips and hover ---------------------------------------------------------------

void hideTip(DialogState& s, Actions& out) {
    if (s.tipShown) repaintAll(out);
    s.tipShown = false;
    killTimer(out, kTooltipTimer);
}

void setHot(DialogState& s, int id, Actions& out) {
    if (s.hot == id) return;
    const int before = s.hot;
    s.hot = id;
    repaint(out, before);
    repaint(out, id);
    hideTip(s, out);
    s.tipFor = id;
    if (id != kNoControl && !tooltip(id).empty() && !s.listOpen && !s.systemTips)
        setTimer(out, kTooltipTimer, kTooltipTimerMs);
    // A filled memory dot shows its picture.
    const int n = dotIndex(id);
    StateBlock& st = *s.setup.state;
    if (n >= 0 && st.dotDisplay[n] != persist::kDotEmpty) applyDotChange(s, persist::showDotPicture(n, st), out);
}

void hoverCursor(DialogState& s, float x, float y, Actions& out) {
    if (s.captured == kPreview) {
        setCursor(s, out, CursorId::Grabbing);
    } else if (s.hot == kPreview && onPreviewImage(s, x, y)) {
        setCursor(s, out, CursorId::Target);
    } else {
        setCursor(s, out, CursorId::Arrow);
    }
}

// ---- drags ----------------------------------------------------------------------------

void sliderTo(DialogState& s, int id, int32_t v, Actions& out) {
    if (v == s.values[size_t(id)]) return;
    setControlValue(s, id, v);
    s.dragChanged = true;
    repaint(out, id);
    repaint(out, control(id)->companion);
}

void globeTo(DialogState& s, int id, float x, float y, bool ctrl, Actions& out) {
    const Control* c = control(id);
    float v[3];
    globeVector(x - float(c->rect.left) - kGlobeCentreX, y - float(c->rect.top) - kGlobeCentreY, ctrl, v);
    auto& stored = s.vectors[size_t(id)];
    if (stored[0] == v[0] && stored[1] == v[1] && stored[2] == v[2]) return;
    for (int i = 0; i < 3; ++i) stored[size_t(i)] = v[i];
    s.dragChanged = true;
    repaint(out, id);
}

// The preview follows a drag while a frame takes no longer than this.
constexpr double kLiveFrameSeconds = 0.05;

void livePreview(DialogState& s, Actions& out) {
    if (s.dragChanged && s.lastRenderSeconds <= kLiveFrameSeconds) renderPreview(s, out);
}

void pan(DialogState& s, float x, float y, Actions& out) {
    ParamRecord& r = *s.setup.params;
    const int32_t f = std::max(1, r.sampleFactor);
    const int32_t dx = (int32_t(std::floor(x)) - int32_t(std::floor(s.lastX))) * f;
    const int32_t dy = (int32_t(std::floor(y)) - int32_t(std::floor(s.lastY))) * f;
    if (dx == 0 && dy == 0) return;
    s.moved = true;
    r.previewOriginX -= dx;
    r.previewOriginY -= dy;
    clampOrigin(s);
    renderPreview(s, out);
}

void endDrag(DialogState& s, float x, float y, Actions& out) {
    const int id = s.captured;
    s.captured = kNoControl;
    const Kind k = kindOf(id);
    if (id == kPreview) {
        if (!s.moved) {
            centreFromClick(s, x, y);
            renderPreview(s, out);
        }
        return;
    }
    if (k == Kind::MemoryDot || k == Kind::SpecialDot || k == Kind::Icon) {
        const int n = dotIndex(id);
        if (n >= 0) {
            s.values[size_t(id)] &= ~2;
            repaint(out, id);
        }
        if (control(id)->rect.contains(x, y)) command(s, id, 0, out);
        return;
    }
    if ((k == Kind::Slider || k == Kind::Globe) && s.dragChanged) valueChanged(s, out);
}

// ---- the drop-down list -------------------------------------------------------------

void closeList(DialogState& s, Actions& out) {
    if (!s.listOpen) return;
    s.listOpen = false;
    repaintAll(out);
}

void chooseListItem(DialogState& s, int index, Actions& out) {
    closeList(s, out);
    if (index < 0 || index >= 14 || index + 1 == s.values[kModeList]) return;
    s.values[kModeList] = index + 1;
    repaint(out, kModeList);
    command(s, kModeList, 1, out);
}

// ---- mouse ----------------------------------------------------------------------------

void mouseDown(DialogState& s, const platform::WindowEvent& e, Actions& out) {
    hideTip(s, out);
    if (s.listOpen) {
        const ControlRect popup = listPopupRect();
        if (popup.contains(e.x, e.y))
            chooseListItem(s, int((e.y - float(popup.top) - 2.0f) / float(kListItemHeight)), out);
        else
            closeList(s, out);
        return;
    }
    if (s.captured != kNoControl) return;
    const bool right = e.button == platform::MouseButton::Right;
    if (e.button != platform::MouseButton::Left && !right) return;
    const int id = hitTest(s, e.x, e.y);
    if (id == kNoControl || !s.enabled[size_t(id)]) return;
    const Kind k = kindOf(id);
    s.rightFlag = right;
    s.ctrlFlag = !right && (e.modifiers & platform::kModControl);
    s.lastX = e.x;
    s.lastY = e.y;
    s.lastCtrl = e.modifiers & platform::kModControl;
    s.moved = false;
    s.dragChanged = false;
    if (right) {
        // Only memory dots answer the right button.
        if (k == Kind::MemoryDot || k == Kind::SpecialDot) s.captured = id;
        return;
    }
    if (takesCapture(k)) {
        if (k == Kind::Preview) {
            if (s.setup.params->sampleFactor != s.fitFactor) {
                s.captured = id;
                setCursor(s, out, CursorId::Grabbing);
            } else {
                centreFromClick(s, e.x, e.y);
                renderPreview(s, out);
            }
            return;
        }
        s.captured = id;
        if (k == Kind::Slider) {
            setFocus(s, id, out);
            const float left = thumbLeft(s, id);
            if (e.x >= left && e.x < left + kThumbWidth) {
                // Taken by the thumb: it moves with the pointer from where it was held.
                const Control* c = control(id);
                const float span = float(std::max(1, c->rect.width() - 14));
                const float range = float(std::max(1, s.maximum[size_t(id)] - s.minimum[size_t(id)]));
                const float expected =
                    float(c->rect.left + 5) + float(s.values[size_t(id)] - s.minimum[size_t(id)]) * span / range;
                s.grabOffset = e.x - expected;
            } else {
                s.grabOffset = 0.0f;
                sliderTo(s, id, sliderValueAt(s, id, e.x), out);
                livePreview(s, out);
            }
        } else if (k == Kind::Globe) {
            globeTo(s, id, e.x, e.y, s.lastCtrl, out);
            livePreview(s, out);
        } else if (k == Kind::MemoryDot) {
            s.values[size_t(id)] |= 2;
            repaint(out, id);
        }
        return;
    }
    if (k == Kind::SliderEdit) {
        setFocus(s, id, out);
        EditBox& box = s.edits[size_t(id)];
        if (e.clicks >= 2) {
            selectAll(box);
        } else {
            box.caret = caretAt(box, control(id)->rect, e.x);
            if (!(e.modifiers & platform::kModShift)) box.anchor = box.caret;
        }
        s.captured = id;
        repaint(out, id);
        return;
    }
    if (k == Kind::ModeList) {
        setFocus(s, id, out);
        s.listOpen = true;
        s.listHot = s.values[kModeList] - 1;
        repaintAll(out);
        return;
    }
    if (isButtonLike(k) || k == Kind::Label) {
        const int target = k == Kind::Label ? int(control(id)->companion) : id;
        if (kindOf(target) != Kind::CheckBox && k == Kind::Label) return;
        if (k != Kind::Label) setFocus(s, target, out);
        s.pressed = id;
        s.pressInside = true;
        repaint(out, target);
    }
}

void mouseMove(DialogState& s, const platform::WindowEvent& e, Actions& out) {
    if (s.listOpen) {
        const ControlRect popup = listPopupRect();
        const int hot = popup.contains(e.x, e.y) ? int((e.y - float(popup.top) - 2.0f) / float(kListItemHeight)) : -1;
        if (hot != s.listHot && hot >= 0 && hot < 14) {
            s.listHot = hot;
            repaintRect(out, {popup.left, popup.top, popup.right, popup.bottom});
        }
        return;
    }
    if (s.pressed != kNoControl) {
        const bool inside = control(s.pressed)->rect.contains(e.x, e.y);
        if (inside != s.pressInside) {
            s.pressInside = inside;
            const Control* c = control(s.pressed);
            repaint(out, c->kind == Kind::Label ? int(c->companion) : s.pressed);
        }
        return;
    }
    const int id = s.captured;
    if (id != kNoControl) {
        const Kind k = kindOf(id);
        const bool ctrl = e.modifiers & platform::kModControl;
        const bool same = e.x == s.lastX && e.y == s.lastY;
        if (k == Kind::Slider && !same) {
            sliderTo(s, id, sliderValueAt(s, id, e.x - s.grabOffset), out);
            livePreview(s, out);
        } else if (k == Kind::Globe && !(same && ctrl == s.lastCtrl)) {
            const bool before = s.dragChanged;
            s.dragChanged = false;
            globeTo(s, id, e.x, e.y, ctrl, out);
            livePreview(s, out);
            s.dragChanged = s.dragChanged || before;
        } else if (k == Kind::Preview) {
            pan(s, e.x, e.y, out);
        } else if (k == Kind::SliderEdit) {
            EditBox& box = s.edits[size_t(id)];
            const int32_t caret = caretAt(box, control(id)->rect, e.x);
            if (caret != box.caret) {
                box.caret = caret;
                repaint(out, id);
            }
        }
        s.lastX = e.x;
        s.lastY = e.y;
        s.lastCtrl = ctrl;
        hoverCursor(s, e.x, e.y, out);
        return;
    }
    setHot(s, hitTest(s, e.x, e.y), out);
    s.lastX = e.x;
    s.lastY = e.y;
    hoverCursor(s, e.x, e.y, out);
}

void mouseUp(DialogState& s, const platform::WindowEvent& e, Actions& out) {
    if (s.pressed != kNoControl) {
        const int id = s.pressed;
        const Control* c = control(id);
        s.pressed = kNoControl;
        const int target = c->kind == Kind::Label ? int(c->companion) : id;
        repaint(out, target);
        if (c->rect.contains(e.x, e.y)) {
            if (kindOf(target) == Kind::CheckBox) {
                s.values[size_t(target)] = s.values[size_t(target)] ? 0 : 1;
                repaint(out, target);
            }
            command(s, target, 0, out);
        }
        return;
    }
    if (s.captured == kNoControl) return;
    endDrag(s, e.x, e.y, out);
    hoverCursor(s, e.x, e.y, out);
}

// ---- keyboard -------------------------------------------------------------------------

void keyDown(DialogState& s, const platform::WindowEvent& e, Actions& out) {
    hideTip(s, out);
    using platform::Key;
    const bool alt = e.modifiers & platform::kModAlt, ctrl = e.modifiers & platform::kModControl;
    if (s.listOpen) {
        if (e.key == Key::Up || e.key == Key::Down) {
            s.listHot = std::clamp(s.listHot + (e.key == Key::Up ? -1 : 1), 0, 13);
            repaintAll(out);
        } else if (e.key == Key::Return || e.key == Key::Space) {
            chooseListItem(s, s.listHot, out);
        } else if (e.key == Key::Escape || e.key == Key::Tab) {
            closeList(s, out);
        }
        return;
    }
    const Kind focusKind = kindOf(s.focus);
    if (e.key == Key::Tab) {
        moveFocus(s, e.modifiers & platform::kModShift, out);
        return;
    }
    if (e.key == Key::Return) {
        command(s, kOk, 0, out);
        return;
    }
    if (e.key == Key::Escape) {
        command(s, kCancel, 0, out);
        return;
    }
    if (e.key == Key::Character && (alt || (focusKind != Kind::SliderEdit && !ctrl))) {
        const uint32_t letter = e.character < 128 ? uint32_t(std::tolower(int(e.character))) : e.character;
        if (mnemonic(s, letter, out) || alt) return;
    }
    if (focusKind == Kind::SliderEdit) {
        EditBox& box = s.edits[size_t(s.focus)];
        if (ctrl && e.key == Key::Character && (e.character == 'a' || e.character == 'A')) {
            selectAll(box);
        } else if (editKey(box, e.key, e.modifiers)) {
            command(s, s.focus, kEditChange, out);
        }
        repaint(out, s.focus);
        return;
    }
    if (focusKind == Kind::Slider) {
        const int id = s.focus;
        int32_t v = s.values[size_t(id)];
        switch (e.key) {
            case Key::Left:
            case Key::Down: v -= 1; break;
            case Key::Right:
            case Key::Up: v += 1; break;
            case Key::PageDown: v -= 10; break;
            case Key::PageUp: v += 10; break;
            case Key::Home: v = s.minimum[size_t(id)]; break;
            case Key::End: v = s.maximum[size_t(id)]; break;
            default: return;
        }
        s.dragChanged = false;
        sliderTo(s, id, std::clamp(v, s.minimum[size_t(id)], s.maximum[size_t(id)]), out);
        if (s.dragChanged) valueChanged(s, out);
        return;
    }
    if (focusKind == Kind::ModeList) {
        if (e.key == Key::Space) {
            s.listOpen = true;
            s.listHot = s.values[kModeList] - 1;
            repaintAll(out);
        } else if (e.key == Key::Up || e.key == Key::Down || e.key == Key::Left || e.key == Key::Right) {
            const int step = (e.key == Key::Up || e.key == Key::Left) ? -1 : 1;
            const int index = std::clamp(s.values[kModeList] - 1 + step, 0, 13);
            if (index + 1 != s.values[kModeList]) {
                s.values[kModeList] = index + 1;
                repaint(out, kModeList);
                command(s, kModeList, 1, out);
            }
        }
        return;
    }
    if (e.key == Key::Space && isButtonLike(focusKind)) {
        if (focusKind == Kind::CheckBox) s.values[size_t(s.focus)] = s.values[size_t(s.focus)] ? 0 : 1;
        repaint(out, s.focus);
        command(s, s.focus, 0, out);
    }
}

void textTyped(DialogState& s, const platform::WindowEvent& e, Actions& out) {
    if (kindOf(s.focus) != Kind::SliderEdit || s.listOpen) return;
    const uint32_t c = e.character;
    if (!((c >= '0' && c <= '9') || c == '.' || c == '-' || c == '+')) return;
    EditBox& box = s.edits[size_t(s.focus)];
    if (insertText(box, std::string(1, char(c)))) command(s, s.focus, kEditChange, out);
    repaint(out, s.focus);
}

}  // namespace

// ---- arithmetic ---------------------------------------------------------------------------

int32_t sliderValueAt(const DialogState& s, int id, float x) {
    const Control* c = control(id);
    const int32_t lo = s.minimum[size_t(id)], hi = s.maximum[size_t(id)];
    const int32_t range = std::max(1, hi - lo);
    const int32_t span = std::max(1, c->rect.width() - 14);
    const int32_t xi = int32_t(std::floor(x));
    const int32_t v = lo + (xi - 4 - (c->rect.left + 1)) * range / span;
    return std::clamp(v, lo, hi);
}

float thumbLeft(const DialogState& s, int id) {
    const Control* c = control(id);
    const int32_t lo = s.minimum[size_t(id)], hi = s.maximum[size_t(id)];
    const int32_t range = std::max(1, hi - lo);
    const int32_t v = std::clamp(s.values[size_t(id)], lo, hi);
    return float(c->rect.left + 1 + (v - lo) * (c->rect.width() - 15) / range);
}

void globeVector(float dx, float dy, bool ctrl, float v[3]) {
    const float r = std::sqrt(dx * dx + dy * dy);
    float x = dx / std::max(r, kGlobeRadius), y = dy / std::max(r, kGlobeRadius);
    if (ctrl) x = y = 0.0f;
    const float z = std::sqrt(std::max(0.0f, 1.0f - x * x - y * y));
    const float length = std::sqrt(x * x + y * y + z * z);
    v[0] = x / length;
    v[1] = y / length;
    v[2] = z / length;
}

ControlRect listPopupRect() {
    const ControlRect r = control(kModeList)->rect;
    const int16_t height = int16_t(14 * kListItemHeight + 4);
    // Opens upward: below the list there is no room.
    return {r.left, int16_t(r.top - height - 2), r.right, int16_t(r.top - 2)};
}

ControlRect listItemRect(int index) {
    const ControlRect p = listPopupRect();
    const int16_t top = int16_t(p.top + 2 + index * kListItemHeight);
    return {int16_t(p.left + 2), top, int16_t(p.right - 2), int16_t(top + kListItemHeight)};
}

int hitTest(const DialogState& s, float x, float y) {
    (void)s;
    for (const Control& c : controls()) {
        if (c.kind == Kind::Heading || c.kind == Kind::NameStrip || c.kind == Kind::None) continue;
        if (c.kind == Kind::Label && kindOf(int(c.companion)) != Kind::CheckBox) {
            if (c.rect.contains(x, y)) return c.id;  // for its tooltip
            continue;
        }
        if (c.rect.contains(x, y)) return c.id;
    }
    return kNoControl;
}

bool controlPoint(int id, float fx, float fy, float& x, float& y) {
    const Control* c = control(id);
    if (!c) return false;
    x = float(c->rect.left) + fx * float(c->rect.width());
    y = float(c->rect.top) + fy * float(c->rect.height());
    return true;
}

void windowEvent(DialogState& s, const platform::WindowEvent& e, Actions& out) {
    using W = platform::WindowEvent;
    // While a progress window is open the dialog only ends (OK or Cancel from
    // a script, its close box), which stops the job first.
    if (modalWindowOpen(s) && e.kind != W::Command && e.kind != W::Close) return;
    switch (e.kind) {
        case W::MouseDown: mouseDown(s, e, out); break;
        case W::MouseMove: mouseMove(s, e, out); break;
        case W::MouseUp: mouseUp(s, e, out); break;
        case W::MouseLeave:
            if (s.captured == kNoControl && s.pressed == kNoControl) {
                setHot(s, kNoControl, out);
                setCursor(s, out, CursorId::Arrow);
            }
            break;
        case W::Wheel:
            if (hitTest(s, e.x, e.y) == kPreview && e.steps != 0) {
                const int id = e.steps > 0 ? kZoomIn : kZoomOut;
                if (s.enabled[size_t(id)]) command(s, id, 0, out);
            }
            break;
        case W::KeyDown: keyDown(s, e, out); break;
        case W::Text: textTyped(s, e, out); break;
        case W::Timer:
            if (e.id == kPreviewTimer && s.editTimerRunning) {
                valueChanged(s, out);
                for (const Control& c : controls())
                    if (c.kind == Kind::SliderEdit) repaint(out, c.id);
            } else if (e.id == kTooltipTimer && s.tipFor != kNoControl && s.tipFor == s.hot && !s.listOpen &&
                       s.captured == kNoControl) {
                s.tipShown = true;
                s.tipX = s.lastX;
                s.tipY = s.lastY;
                repaintAll(out);
            }
            break;
        case W::Close: command(s, kCancel, 0, out); break;
        case W::Command: command(s, e.id, 0, out); break;
        case W::FocusLost: hideTip(s, out); break;
    }
}

}  // namespace tv::ui
