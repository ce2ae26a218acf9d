// The dialog's behaviour: the exchange with the record, the commands with
// their undo classes, mouse capture and drags, the keyboard, memory dots,
// tooltips and the system dialogs' answers.
#include "ui/dialog.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "export/catalogue.h"
#include "export/layers_export.h"
#include "clouds/cloud_cache.h"
#include "persist/dice.h"
#include "persist/memory_dots.h"
#include "persist/settings_file.h"
#include "persist/thumbnail.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "ui/dialog_internal.h"

namespace tv::ui {

namespace {

// ---- record fields -------------------------------------------------------------------

int32_t* intField(ParamRecord& r, Field f) {
    switch (f) {
        case Field::AirDepth: return &r.airDepth;
        case Field::CloudHeight: return &r.cloudHeight;
        case Field::CloudShadows: return &r.cloudShadows;
        case Field::Sunset: return &r.sunset;
        case Field::PlanetSize: return &r.planetSize;
        case Field::LandComplexity: return &r.landComplexity;
        case Field::StormSize: return &r.stormSize;
        case Field::StormCount: return &r.stormCount;
        case Field::StormSwirl: return &r.stormSwirl;
        case Field::AirBrightness: return &r.airBrightness;
        case Field::RealClouds: return &r.realClouds;
        case Field::Backlighting: return &r.backlighting;
        case Field::RealLuna: return &r.realLuna;
        case Field::SeaLevel: return &r.seaLevel;
        case Field::Desert: return &r.desert;
        case Field::CraterCount: return &r.craterCount;
        case Field::CraterSize: return &r.craterSize;
        case Field::CraterTexture: return &r.craterTexture;
        case Field::LandTexture: return &r.landTexture;
        case Field::CloudCoverage: return &r.cloudCoverage;
        case Field::CloudEdges: return &r.cloudEdges;
        case Field::Cities: return &r.cities;
        case Field::CloudViscosity: return &r.cloudViscosity;
        case Field::CloudCoriolis: return &r.cloudCoriolis;
        case Field::LunarClimate: return &r.lunarClimate;
        case Field::Ice: return &r.ice;
        case Field::CloudTexture: return &r.cloudTexture;
        case Field::OutputMode: return &r.outputMode;
        default: return nullptr;
    }
}

Colour16* colourField(ParamRecord& r, Field f) {
    switch (f) {
        case Field::LandColour: return &r.landColor;
        case Field::AirColour: return &r.airColor;
        case Field::SeaColour: return &r.seaColor;
        case Field::DesertColour: return &r.desertColor;
        case Field::IceColour: return &r.iceColor;
        case Field::CloudColour: return &r.cloudColor;
        case Field::CityColour: return &r.cityColor;
        default: return nullptr;
    }
}

float* vectorField(ParamRecord& r, Field f) {
    if (f == Field::Light) return &r.lightX;
    if (f == Field::Axis) return &r.axisX;
    return nullptr;
}

// The exchange order.
constexpr int16_t kExchangeOrder[] = {
    48,  52,  105,                                              // check boxes
    7,   8,   9,   19, 20,  14,  29,                            // colours
    12,  11,  10,  13, 37,  39,  43,  45, 47, 51,               // sliders
    21,  48,  52,                                               // check boxes
    55,  57,  59,  61, 107, 110, 114, 63, 69, 65, 67, 103, 98,  // sliders
    73,                                                         // the list
    112, 100,                                                   // globes
};

// Text of a number as "%g" writes it, whatever the process's locale.
std::string formatNumber(double v) {
    char buffer[64];
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::general, 6);
    return std::string(buffer, r.ptr);
}

// A decimal number at the start of text (blanks and a '+' allowed before
// it); 0 when there is none, as the C library's conversion reads it.
double parseNumber(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    if (i < text.size() && text[i] == '+') ++i;
    double v = 0.0;
    const auto r = std::from_chars(text.data() + i, text.data() + text.size(), v);
    return r.ec == std::errc() && std::isfinite(v) ? v : 0.0;
}

}  // namespace

// ---- the exchange ---------------------------------------------------------------------

double getControlValue(DialogState& s, int id) {
    const Control* c = control(id);
    if (!c) return 0.0;
    if (c->kind == Kind::Slider) {
        EditBox& edit = s.edits[size_t(c->companion)];
        const double read = parseNumber(edit.text);
        const double v = std::clamp(read, double(s.minimum[size_t(id)]), double(s.maximum[size_t(id)]));
        if (v != read) {
            edit.text = formatNumber(v);
            edit.caret = edit.anchor = int32_t(edit.text.size());
        }
        return v;
    }
    if (c->kind == Kind::CheckBox) return s.values[size_t(id)] ? 1.0 : 0.0;
    return double(s.values[size_t(id)]);
}

void setControlValue(DialogState& s, int id, double value) {
    const Control* c = control(id);
    if (!c) return;
    if (c->kind == Kind::Slider) {
        s.values[size_t(id)] = int32_t(value);
        EditBox& edit = s.edits[size_t(c->companion)];
        edit.text = formatNumber(value);
        edit.caret = edit.anchor = int32_t(edit.text.size());
    } else if (c->kind == Kind::CheckBox) {
        s.values[size_t(id)] = value != 0.0 ? 1 : 0;
    } else {
        s.values[size_t(id)] = int32_t(value);
    }
}

void readControls(DialogState& s) {
    ParamRecord& r = *s.setup.params;
    for (int16_t id : kExchangeOrder) {
        const Control* c = control(id);
        if (int32_t* v = intField(r, c->field)) *v = int32_t(getControlValue(s, id));
        if (Colour16* col = colourField(r, c->field)) *col = s.colours[size_t(id)];
        if (float* vec = vectorField(r, c->field))
            for (int i = 0; i < 3; ++i) vec[i] = s.vectors[size_t(id)][size_t(i)];
    }
}

void writeControls(DialogState& s) {
    ParamRecord& r = *s.setup.params;
    for (int16_t id : kExchangeOrder) {
        const Control* c = control(id);
        if (int32_t* v = intField(r, c->field)) setControlValue(s, id, double(*v));
        if (Colour16* col = colourField(r, c->field)) s.colours[size_t(id)] = *col;
        if (float* vec = vectorField(r, c->field))
            for (int i = 0; i < 3; ++i) s.vectors[size_t(id)][size_t(i)] = vec[i];
    }
}

namespace detail {

void repaint(Actions& out, int id) {
    const Control* c = control(id);
    if (!c) return;
    Action a;
    a.rect = {c->rect.left - 4, c->rect.top - 4, c->rect.right + 4, c->rect.bottom + 4};
    out.push_back(a);
}

void repaintRect(Actions& out, const platform::WindowRect& r) {
    Action a;
    a.rect = r;
    out.push_back(a);
}

void repaintAll(Actions& out) { out.push_back(Action{}); }

void setTimer(Actions& out, int32_t id, int32_t ms) {
    Action a;
    a.kind = Action::SetTimer;
    a.id = id;
    a.ms = ms;
    out.push_back(a);
}

void killTimer(Actions& out, int32_t id) {
    Action a;
    a.kind = Action::KillTimer;
    a.id = id;
    out.push_back(a);
}

void setCursor(DialogState& s, Actions& out, CursorId cursor) {
    if (s.cursor == cursor) return;
    s.cursor = cursor;
    Action a;
    a.kind = Action::Cursor;
    a.cursor = cursor;
    out.push_back(a);
}

void message(Actions& out, const std::string& title, const std::string& text) {
    Action a;
    a.kind = Action::Message;
    a.title = title;
    a.text = text;
    out.push_back(a);
}

void cancelEditTimer(DialogState& s, Actions& out) {
    if (!s.editTimerRunning) return;
    s.editTimerRunning = false;
    killTimer(out, kPreviewTimer);
}

// The record's slider values may lie outside the range (from files): the
// write then the read leave them clamped, as when the dialog opens.
void refreshFromRecord(DialogState& s, Actions& out) {
    writeControls(s);
    readControls(s);
    repaintAll(out);
}

// The state block's thumbnail from the preview: the largest square of the
// visible window, centred.
void takeThumbnail(DialogState& s) {
    StateBlock& st = *s.setup.state;
    const PreviewImage& pv = st.preview;
    if (!s.previewShown || !pv.pixels || pv.rowLength <= 0 || pv.height <= 0) return;
    RgbImage image(pv.rowLength, pv.height);
    for (int32_t y = 0; y < pv.height; ++y)
        for (int32_t x = 0; x < pv.rowLength; ++x) {
            const size_t at = size_t(y) * size_t(pv.rowLength) + size_t(x);
            uint8_t* o = image.at(x, y);
            for (int c = 0; c < 3; ++c)
                o[c] = pv.pixels[size_t(pv.planeCount >= 3 ? c : 0) * size_t(pv.planeSize) + at];
        }
    RgbImage square = persist::centredSquare(image, Rect{0, 0, st.renderHeight, st.renderWidth});
    if (square.width > 0) persist::replaceThumbnail(st, std::move(square));
}

void showPicture(DialogState& s, Actions& out) {
    const StateBlock& st = *s.setup.state;
    if (st.thumbnail && st.thumbnail->width > 0)
        s.picture = persist::scaleImage(*st.thumbnail, persist::kDotPictureSide, persist::kDotPictureSide);
    else
        s.picture = RgbImage();
    repaint(out, kSpecialDot);
}

void applyDotChange(DialogState& s, const persist::DotChange& change, Actions& out) {
    for (int n = 0; n < kMemoryDotCount; ++n)
        if (change.repaint & (1u << n)) repaint(out, kFirstDot + n);
    if (change.pictureShown) showPicture(s, out);
    if (change.pictureHidden) {
        s.picture = RgbImage();
        repaint(out, kSpecialDot);
    }
}

// The current dot becomes a plain filled dot.
void plainCurrentDot(DialogState& s, Actions& out) {
    StateBlock& st = *s.setup.state;
    for (int n = 0; n < kMemoryDotCount; ++n)
        if (st.dotDisplay[n] == persist::kDotCurrent) {
            st.dotDisplay[n] = persist::kDotFilled;
            repaint(out, kFirstDot + n);
        }
}

int currentDot(const DialogState& s) {
    for (int n = 0; n < kMemoryDotCount; ++n)
        if (s.setup.state->dotDisplay[n] == persist::kDotCurrent) return n;
    return -1;
}

// An undo step is recorded only when the settings differ from the latest
// step: a click or a drag that changed nothing would otherwise make the next
// Undo go back to the very same settings.
void applyUndoClass(DialogState& s, int undoClass) {
    if (undoClass == 0 || !s.setup.undo) return;
    const persist::UndoSlots& undo = *s.setup.undo;
    const int32_t latest = s.setup.state->undoIndex;
    if (latest >= 0 && latest < 2 && undo.valid[latest]) {
        SettingsSnapshot now{}, then{};
        copyToSnapshot(*s.setup.params, now);
        copyToSnapshot(undo.slot[latest], then);
        if (std::memcmp(&now, &then, sizeof now) == 0) return;
    }
    persist::recordUndo(*s.setup.params, *s.setup.state, *s.setup.undo, undoClass == 2);
}

// Real clouds stay on only with a cloud map to draw them from.
void checkRealClouds(DialogState& s, Actions& out) {
    ParamRecord& r = *s.setup.params;
    if (!r.realClouds) return;
    const bool loaded = s.setup.engine && loadCloudMapForRender(s.setup.engine->cloudMap, r);
    if (loaded) return;
    r.realClouds = 0;
    setControlValue(s, kRealCloudsBox, 0);
    repaint(out, kRealCloudsBox);
}

void valueChanged(DialogState& s, Actions& out) {
    readControls(s);
    applyUndoClass(s, 1);
    plainCurrentDot(s, out);
    cancelEditTimer(s, out);
    renderPreview(s, out);
}

void setName(DialogState& s, const char* name, Actions& out) {
    setText(s.setup.params->settingsName, name);
    repaint(out, kNameStrip);
}

// The end of every click command, once its handler is done.
void finishClick(DialogState& s, int id, int undoClass, bool changed, Actions& out) {
    readControls(s);
    applyUndoClass(s, undoClass);
    if (undoClass != 0 && dotIndex(id) < 0 && id != kSpecialDot) plainCurrentDot(s, out);
    checkRealClouds(s, out);
    cancelEditTimer(s, out);
    if (changed) renderPreview(s, out);
    ParamRecord& r = *s.setup.params;
    if (id == kOk || id == kCancel) closeSecondaryWindows(s, out);
    if (id == kOk) {
        readControls(s);
        // The final render reads the whole image at sample factor 1.
        r.sampleFactor = 1;
        r.previewOriginX = r.previewOriginY = 0;
        s.endCode = kOk;
        Action a;
        a.kind = Action::End;
        a.code = kOk;
        out.push_back(a);
    } else if (id == kCancel) {
        *s.setup.params = s.saved;
        s.endCode = kCancel;
        Action a;
        a.kind = Action::End;
        a.code = kCancel;
        out.push_back(a);
    }
}

}  // namespace detail

using namespace detail;

namespace {

// The undo class of a click on id (dots are decided by their handler).
int undoClassOf(int id) {
    switch (id) {
        case kCancel:
        case kOk:
        case kSave:
        case kZoomIn:
        case kZoomOut:
        case kZoomFull:
        case kUndo:
        case kCatalogue: return 0;
        case kLoad: return 2;
        default: break;
    }
    const Kind k = kindOf(id);
    if (k == Kind::SliderEdit || k == Kind::Label) return 0;
    return 1;
}

// The picture a settings file carries, for the open dialog's preview.
bool settingsPicture(const std::string& path, platform::FilePicture& picture) {
    RgbImage thumbnail;
    if (persist::readSettingsFile(path, persist::ReadMode::ThumbnailOnly, nullptr, &thumbnail) != platform::kFileOk ||
        thumbnail.width <= 0 || thumbnail.height <= 0)
        return false;
    picture.width = thumbnail.width;
    picture.height = thumbnail.height;
    picture.pixels.resize(size_t(thumbnail.width) * size_t(thumbnail.height));
    for (size_t i = 0; i < picture.pixels.size(); ++i) {
        const uint8_t* p = thumbnail.pixels.data() + i * 3;
        picture.pixels[i] = 0xFF000000u | (uint32_t(p[0]) << 16) | (uint32_t(p[1]) << 8) | p[2];
    }
    return true;
}

void askFile(DialogState& s, Pending pending, bool save, const char* title, const char* filter, const char* pattern,
             const std::string& folder, const std::string& name, Actions& out) {
    s.pending = pending;
    Action a;
    a.kind = Action::FileDialog;
    a.file.save = save;
    a.file.title = title;
    a.file.filterName = filter;
    a.file.pattern = pattern;
    a.file.folder = folder;
    a.file.initialName = name;
    if (pending == Pending::Load) a.file.picture = settingsPicture;
    out.push_back(a);
}

void askFolder(DialogState& s, Pending pending, Actions& out) {
    s.pending = pending;
    Action a;
    a.kind = Action::FolderDialog;
    a.text = "Choose any file in the source folder";
    out.push_back(a);
}

void startWork(DialogState& s, Pending work, const std::string& path, Actions& out) {
    s.work = work;
    s.workPath = path;
    setCursor(s, out, CursorId::Wait);
    Action a;
    a.kind = Action::Work;
    out.push_back(a);
}

// Memory dots, the special dot and the catalogue button.
void clickDot(DialogState& s, int id, Actions& out) {
    StateBlock& st = *s.setup.state;
    ParamRecord& r = *s.setup.params;
    const int n = dotIndex(id);
    const persist::DotClick click =
        s.rightFlag ? persist::DotClick::Right : (s.ctrlFlag ? persist::DotClick::Ctrl : persist::DotClick::Plain);
    if (n >= 0) {
        const bool filled = st.dotDisplay[n] != persist::kDotEmpty;
        if (!filled && click != persist::DotClick::Right) takeThumbnail(s);
        st.hoverDot = persist::kNoDot;  // the picture is read again
        const persist::DotClickResult result = persist::clickDot(n, click, r, st);
        applyDotChange(s, result.change, out);
        if (result.action == persist::DotAction::Removed) persist::saveDotMap(st);
        if (result.action == persist::DotAction::Recalled) {
            writeControls(s);
            repaintAll(out);
        }
        const bool filledNow = st.dotDisplay[n] != persist::kDotEmpty;
        const int undoClass = (click == persist::DotClick::Plain && filledNow) ? 2 : 0;
        finishClick(s, id, undoClass, result.action == persist::DotAction::Recalled, out);
        return;
    }
    // The special dot.
    if (click == persist::DotClick::Right) {
        askFile(s, Pending::DotsPage, true, "Save an HTML page", "HTML files (*.html)", "*.html", r.catalogueFolder,
                "Terravane memory dots.html", out);
        return;
    }
    if (click == persist::DotClick::Ctrl) {
        askFolder(s, Pending::RefreshFolder, out);
        return;
    }
    const int current = currentDot(s);
    if (current >= 0) {
        st.hoverDot = persist::kNoDot;
        applyDotChange(s, persist::recallDot(current, r, st), out);
        writeControls(s);
        repaintAll(out);
    }
    finishClick(s, id, current >= 0 ? 2 : 1, current >= 0, out);
}

void zoom(DialogState& s, int id) {
    ParamRecord& r = *s.setup.params;
    if (!s.setup.preview.canZoom) return;
    const int32_t before = r.sampleFactor;
    int32_t f = before;
    if (id == kZoomOut && f < s.fitFactor) ++f;
    if (id == kZoomIn && f > 1) --f;
    if (id == kZoomFull) f = 1;
    if (f == before) return;
    keepViewCentre(s, before, f);
    r.sampleFactor = f;
    if (f == s.fitFactor) r.previewOriginX = r.previewOriginY = 0;
}

void clickCommand(DialogState& s, int id, Actions& out) {
    ParamRecord& r = *s.setup.params;
    StateBlock& st = *s.setup.state;
    const Kind kind = kindOf(id);
    if (id != kCancel) readControls(s);  // what was typed counts before any handler
    bool changed = false;
    if (kind == Kind::CheckBox) {
        renderPreview(s, out);
    } else if (kind == Kind::ColourButton) {
        s.pending = Pending::Colour;
        s.pendingControl = id;
        Action a;
        a.kind = Action::ColourDialog;
        a.host = s.setup.hostColours.pick != nullptr;
        a.text = std::string(colourPrompt(id));
        const Colour16 c = s.colours[size_t(id)];
        a.rgb[0] = uint8_t(channelTo8(c.red));
        a.rgb[1] = uint8_t(channelTo8(c.green));
        a.rgb[2] = uint8_t(channelTo8(c.blue));
        out.push_back(a);
        return;
    } else if (id == kZoomOut || id == kZoomIn || id == kZoomFull) {
        zoom(s, id);
        updateZoomButtons(s, out);
        changed = true;
    } else if (id == kSave) {
        const std::string stem = persist::saveFileStem(r.settingsName);
        askFile(s, Pending::Save, true, "Save a settings file", "Terravane presets (*.q1q)", "*.q1q", r.settingsFolder,
                stem + persist::kPresetExtension, out);
        return;
    } else if (id == kLoad) {
        askFile(s, Pending::Load, false, "Open a settings file", "Terravane presets (*.q1q)", "*.q1q", r.settingsFolder,
                "", out);
        return;
    } else if (id == kLayers) {
        askFile(s, Pending::Layers, true, "Save a PSD file", "Photoshop files (*.psd)", "*.psd", r.documentFolder,
                "Terravane layers.psd", out);
        return;
    } else if (dotIndex(id) >= 0 || id == kSpecialDot) {
        clickDot(s, id, out);
        return;
    } else if (id == kCatalogue) {
        askFolder(s, Pending::CatalogueFolder, out);
        return;
    } else if (id == kAbout || id == kInformation) {
        openAboutOrInformation(s, id == kAbout ? WindowId::About : WindowId::Information, out);
    } else if (id == kUndo) {
        if (s.setup.undo && persist::undo(r, st, *s.setup.undo)) {
            refreshFromRecord(s, out);
            changed = true;
        }
    } else if (id == kDice) {
        persist::dice(r, persist::moduleRandom());
        setName(s, "random settings", out);
        refreshFromRecord(s, out);
        changed = true;
    } else if (id == kEcce) {
        r.randomSeed = persist::moduleRandom().next() & 0x7FF;
        setName(s, "random settings", out);
        refreshFromRecord(s, out);
        changed = true;
    } else if (id == kPlain) {
        persist::plainSettings(r);
        refreshFromRecord(s, out);
        changed = true;
    } else if (id == kClouds) {
        openClouds(s, out);
    }
    finishClick(s, id, undoClassOf(id), changed, out);
}

}  // namespace

void command(DialogState& s, int id, int code, Actions& out) {
    const Kind kind = kindOf(id);
    if (kind == Kind::ModeList && code == 1) {
        valueChanged(s, out);
        return;
    }
    if (code == kEditChange) {
        const Control* edit = control(id);
        if (!edit || edit->kind != Kind::SliderEdit) return;
        const int sliderId = int(edit->companion);
        const double v = std::clamp(parseNumber(s.edits[size_t(id)].text), double(s.minimum[size_t(sliderId)]),
                                    double(s.maximum[size_t(sliderId)]));
        s.values[size_t(sliderId)] = int32_t(v);
        repaint(out, sliderId);
        s.editTimerRunning = true;
        setTimer(out, kPreviewTimer, kPreviewTimerMs);
        return;
    }
    if (code != 0 || s.pending != Pending::None || s.work != Pending::None || s.endCode != 0) return;
    // A progress window holds the dialog; only its end (OK, Cancel) passes,
    // and stops the job first.
    if (modalWindowOpen(s)) {
        if (id != kOk && id != kCancel) return;
        closeSecondaryWindows(s, out);
    }
    if (!s.enabled[size_t(std::clamp(id, 0, kControlCount - 1))]) return;
    clickCommand(s, id, out);
}

// ---- answers of the system dialogs and long work ---------------------------------

namespace {

void answer(DialogState& s, const Event& e, Actions& out) {
    const Pending pending = s.pending;
    s.pending = Pending::None;
    ParamRecord& r = *s.setup.params;
    StateBlock& st = *s.setup.state;
    switch (pending) {
        case Pending::Colour: {
            const int id = s.pendingControl;
            bool changed = false;
            if (e.ok) {
                const Colour16 c{channelFrom8(e.rgb[0]), channelFrom8(e.rgb[1]), channelFrom8(e.rgb[2])};
                changed = !(c == s.colours[size_t(id)]);
                s.colours[size_t(id)] = c;
                repaint(out, id);
            }
            finishClick(s, id, 1, changed, out);
            return;
        }
        case Pending::Save:
            if (e.ok) {
                std::string path = e.path;
                if (platform::extensionOf(path).empty()) path += persist::kPresetExtension;
                takeThumbnail(s);
                if (persist::savePreset(path, r, &st) != platform::kFileOk)
                    message(out, "Save a settings file", "The settings could not be written to \"" + path + "\".");
                repaint(out, kNameStrip);
            }
            finishClick(s, kSave, 0, false, out);
            return;
        case Pending::Load: {
            bool loaded = false;
            if (e.ok) {
                persist::ReadReport report;
                loaded = persist::openPreset(e.path, r, &st, &report) == platform::kFileOk;
                if (loaded) {
                    refreshFromRecord(s, out);
                } else {
                    message(out, "Open a settings file",
                            "\"" + e.path + "\" could not be read" +
                                (report.message.empty() ? "." : ": " + report.message));
                }
            }
            finishClick(s, kLoad, 2, loaded, out);
            return;
        }
        case Pending::Layers:
            if (!e.ok) {
                finishClick(s, kLayers, 1, false, out);
                return;
            }
            setText(r.documentFolder, platform::folderOf(e.path).c_str());
            startExport(s, e.path, out);
            return;
        case Pending::CatalogueFolder:
            if (!e.ok) {
                finishClick(s, kCatalogue, 0, false, out);
                return;
            }
            s.pendingFolder = e.path;
            askFile(s, Pending::CataloguePage, true, "Save an HTML page", "HTML files (*.html)", "*.html",
                    r.catalogueFolder, "Terravane presets.html", out);
            return;
        case Pending::CataloguePage:
            if (!e.ok) {
                finishClick(s, kCatalogue, 0, false, out);
                return;
            }
            startWork(s, Pending::CataloguePage, e.path, out);
            return;
        case Pending::DotsPage:
            if (!e.ok) {
                finishClick(s, kSpecialDot, currentDot(s) >= 0 ? 2 : 1, false, out);
                return;
            }
            startWork(s, Pending::DotsPage, e.path, out);
            return;
        case Pending::RefreshFolder:
            if (!e.ok) {
                finishClick(s, kSpecialDot, currentDot(s) >= 0 ? 2 : 1, false, out);
                return;
            }
            startWork(s, Pending::RefreshFolder, e.path, out);
            return;
        case Pending::None: return;
    }
}

void openPage(Actions& out, const std::string& page) {
    Action a;
    a.kind = Action::OpenPage;
    a.text = page;
    out.push_back(a);
}

void refreshHook(void* context, ParamRecord&, StateBlock&) {
    auto* s = static_cast<DialogState*>(context);
    Actions ignored;
    writeControls(*s);
    renderPreview(*s, ignored);
    takeThumbnail(*s);
}

void work(DialogState& s, Actions& out) {
    const Pending what = s.work;
    s.work = Pending::None;
    ParamRecord& r = *s.setup.params;
    StateBlock& st = *s.setup.state;
    const std::string path = s.workPath;
    int32_t result = 0;
    switch (what) {
        case Pending::CataloguePage:
            setText(r.catalogueFolder, platform::folderOf(path).c_str());
            result = writePresetsCatalogue(s.pendingFolder, path, engineThumbnailRenderer(), CatalogueProgress{});
            if (result != 0)
                message(out, "Save an HTML page", "The page could not be written (" + std::to_string(result) + ").");
            else
                openPage(out, path);
            finishClick(s, kCatalogue, 0, false, out);
            break;
        case Pending::DotsPage:
            setText(r.catalogueFolder, platform::folderOf(path).c_str());
            result = writeMemoryDotsCatalogue(st, path, engineThumbnailRenderer(), CatalogueProgress{});
            if (result != 0)
                message(out, "Save an HTML page", "The page could not be written (" + std::to_string(result) + ").");
            else
                openPage(out, path);
            finishClick(s, kSpecialDot, currentDot(s) >= 0 ? 2 : 1, false, out);
            break;
        case Pending::RefreshFolder: {
            persist::RefreshHooks hooks;
            hooks.context = &s;
            hooks.refresh = refreshHook;
            if (persist::refreshPresetFolder(path, r, st, hooks) < 0)
                message(out, "Presets", "The folder \"" + path + "\" could not be read.");
            refreshFromRecord(s, out);
            finishClick(s, kSpecialDot, currentDot(s) >= 0 ? 2 : 1, true, out);
            break;
        }
        default: break;
    }
    setCursor(s, out, CursorId::Arrow);
}

}  // namespace

// ---- creation ---------------------------------------------------------------------

void openDialog(DialogState& s, const DialogSetup& setup, Actions& out) {
    s.setup = setup;
    ParamRecord& r = *s.setup.params;
    StateBlock& st = *s.setup.state;
    s.enabled.fill(true);
    r.renderDestination = kDestinationPreview;
    s.captured = kNoControl;
    s.saved = r;
    for (const Control& c : controls()) {
        s.minimum[size_t(c.id)] = c.minimum;
        s.maximum[size_t(c.id)] = c.maximum;
    }
    writeControls(s);
    readControls(s);
    persist::clearDotDisplay(st);
    persist::loadDotMap(st);
    s.enabled[kModeList] = s.setup.modeListEnabled;
    if (s.setup.preview.available) {
        const ControlRect inner = previewInner();
        s.fitFactor = s.setup.preview.canZoom ? fitFactorFor(s.setup.preview.imageWidth, s.setup.preview.imageHeight,
                                                             inner.width(), inner.height())
                                              : 1;
        r.sampleFactor = s.fitFactor;
        r.previewOriginX = r.previewOriginY = 0;
        renderPreview(s, out);
    }
    persist::openDotDisplay(st);
    updateZoomButtons(s, out);
    const int32_t first = persist::firstFreeDot(st);
    if (first >= 0) {
        takeThumbnail(s);
        applyDotChange(s, persist::storeDot(first, r, st), out);
    }
    repaintAll(out);
}

void handle(DialogState& s, const Event& e, Actions& out) {
    if (s.endCode != 0) return;
    switch (e.kind) {
        case Event::Answer: answer(s, e, out); break;
        case Event::Work: work(s, out); break;
        case Event::Window:
            if (e.target == WindowId::Main)
                windowEvent(s, e.window, out);
            else
                secondaryEvent(s, e.target, e.window, out);
            break;
    }
}

}  // namespace tv::ui
