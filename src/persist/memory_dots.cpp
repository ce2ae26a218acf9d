#include "persist/memory_dots.h"

#include <cstdio>

#include "base/bytes.h"
#include "persist/settings_file.h"
#include "platform/files.h"

namespace tv::persist {

namespace {

bool validDot(int32_t n) { return n >= 0 && n < kMemoryDotCount; }
bool shown(int16_t s) { return s == kDotFilled || s == kDotCurrent; }

// Every current dot becomes filled and dot n current.
uint32_t makeCurrent(int32_t n, StateBlock& state) {
    uint32_t changed = 0;
    for (int32_t i = 0; i < kMemoryDotCount; ++i)
        if (state.dotDisplay[i] == kDotCurrent && i != n) {
            state.dotDisplay[i] = kDotFilled;
            changed |= 1u << i;
        }
    if (state.dotDisplay[n] != kDotCurrent) changed |= 1u << n;
    state.dotDisplay[n] = kDotCurrent;
    return changed;
}

}  // namespace

std::string dotFileName(int32_t n) {
    char name[64];
    std::snprintf(name, sizeof name, "Terravane A memory dot %d.q1q", static_cast<int>(n));
    return name;
}

std::string dotFilePath(int32_t n) { return platform::workingFile(dotFileName(n)); }
std::string dotMapPath() { return platform::workingFile(kDotMapName); }

int loadDotMap(StateBlock& state) {
    for (auto& m : state.dotMarks) m = 0;
    std::vector<uint8_t> bytes;
    if (!platform::readFile(dotMapPath(), bytes, 1 << 16)) return platform::kFileOpenError;
    ByteReader in(bytes);
    int32_t marks[kMemoryDotCount];
    int32_t version;
    bool ok = in.i32(version);  // not checked
    for (auto& m : marks) ok = ok && in.i32(m);
    if (!ok) return platform::kFileReadError;
    for (int i = 0; i < kMemoryDotCount; ++i) state.dotMarks[i] = marks[i] != 0 ? 1 : 0;
    return platform::kFileOk;
}

int saveDotMap(const StateBlock& state) {
    ByteWriter w;
    w.i32(kDotMapVersion);
    for (int32_t m : state.dotMarks) w.i32(m);
    return platform::writeFileAtomic(dotMapPath(), w.data().data(), w.size());
}

void openDotDisplay(StateBlock& state) {
    for (int i = 0; i < kMemoryDotCount; ++i) state.dotDisplay[i] = state.dotMarks[i] ? kDotFilled : kDotEmpty;
    state.hoverDot = kNoDot;
}

uint32_t clearDotDisplay(StateBlock& state) {
    uint32_t changed = 0;
    for (int i = 0; i < kMemoryDotCount; ++i) {
        if (state.dotDisplay[i] != kDotEmpty) changed |= 1u << i;
        state.dotDisplay[i] = kDotEmpty;
    }
    hideDotPicture(state);
    return changed;
}

int32_t firstFreeDot(const StateBlock& state) {
    for (int32_t i = 0; i < kMemoryDotCount; ++i)
        if (state.dotMarks[i] == 0) return i;
    return kNoDot;
}

int32_t firstDotNotShown(const StateBlock& state) {
    for (int32_t i = 0; i < kMemoryDotCount; ++i)
        if (!shown(state.dotDisplay[i])) return i;
    return kNoDot;
}

DotChange storeDot(int32_t n, const ParamRecord& record, StateBlock& state) {
    DotChange change;
    if (!validDot(n)) return change;
    change.result = writeSettingsFile(dotFilePath(n), record, state.thumbnail);
    if (change.result != platform::kFileOk) return change;
    change.repaint = makeCurrent(n, state);
    const DotChange picture = showDotPicture(n, state);
    change.pictureShown = picture.pictureShown;
    change.pictureHidden = picture.pictureHidden;
    return change;
}

DotChange recallDot(int32_t n, ParamRecord& record, StateBlock& state) {
    DotChange change;
    if (!validDot(n)) return change;
    char name[32];
    std::snprintf(name, sizeof name, "dot %d", static_cast<int>(n + 1));
    setText(record.settingsName, name);
    change.result = readSettingsFile(dotFilePath(n), ReadMode::Load, &record, state);
    change.repaint = makeCurrent(n, state);
    return change;
}

DotChange showDotPicture(int32_t n, StateBlock& state) {
    DotChange change;
    if (!validDot(n) || n == state.hoverDot) return change;
    ReadReport report;
    change.result = readSettingsFile(dotFilePath(n), ReadMode::ThumbnailOnly, nullptr, state, &report);
    state.hoverDot = n;
    if (report.thumbnailLoaded)
        change.pictureShown = true;
    else
        change.pictureHidden = true;  // no file, or no readable picture in it
    return change;
}

DotChange hideDotPicture(StateBlock& state) {
    DotChange change;
    change.pictureHidden = true;
    state.hoverDot = kNoDot;
    return change;
}

DotClickResult clickDot(int32_t n, DotClick click, ParamRecord& record, StateBlock& state) {
    DotClickResult r;
    if (!validDot(n)) return r;
    const bool filled = shown(state.dotDisplay[n]);
    if (!filled) {
        if (click == DotClick::Right) return r;
        r.change = storeDot(n, record, state);
        if (r.change.result != platform::kFileOk) return r;  // nothing kept, nothing shown
        state.dotMarks[n] = click == DotClick::Plain ? 1 : 0;
        r.action = DotAction::Stored;
        return r;
    }
    switch (click) {
    case DotClick::Right:
        state.dotDisplay[n] = kDotEmpty;
        state.dotMarks[n] = 0;
        r.change = hideDotPicture(state);
        r.change.repaint = 1u << n;
        r.action = DotAction::Removed;
        break;
    case DotClick::Ctrl:
        state.dotMarks[n] = 0;
        r.action = DotAction::Unmarked;
        break;
    case DotClick::Plain:
        r.change = recallDot(n, record, state);
        r.action = DotAction::Recalled;
        break;
    }
    return r;
}

}  // namespace tv::persist
