#include "persist/settings_file.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <utility>

#include "base/bytes.h"
#include "clouds/jpeg_memory.h"
#include "params/settings_writer.h"
#include "persist/memory_dots.h"
#include "persist/thumbnail.h"
#include "platform/files.h"

namespace tv::persist {

namespace {

// A conversion of words done wide, kept inside a word: old files may hold any
// value, and 100 - word or word x word must not overflow.
int32_t clampedWord(int64_t v) {
    return static_cast<int32_t>(
        std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

// The thumbnail block: kind 1 with a 128 x 128 JPEG stream, or kind 0.
void putThumbnail(ByteWriter& w, const RgbImage* thumbnail) {
    if (!thumbnail || thumbnail->width <= 0 || thumbnail->height <= 0 ||
        thumbnail->pixels.size() < size_t(thumbnail->width) * size_t(thumbnail->height) * 3) {
        w.i32(0);
        return;
    }
    const RgbImage square = scaleImage(*thumbnail, kThumbnailSide, kThumbnailSide);
    std::vector<uint8_t> stream(size_t(kThumbnailSide) * kThumbnailSide * 6);
    // A reader takes at most 49152 bytes: a picture too busy for the finest
    // class is stored one class coarser at a time until it fits.
    for (int quality = kThumbnailQuality; quality >= 0; quality = (quality > 99 ? 99 : quality) - 10) {
        size_t n = 0;
        if (jpeg::encodeRgb(square.pixels.data(), square.width, square.height, quality, stream.data(),
                            stream.size(), &n) != jpeg::kOk)
            break;
        if (n <= kThumbnailMaxBytes) {
            w.i32(1);
            w.i32(square.width);
            w.i32(square.height);
            w.i32(static_cast<int32_t>(n));
            w.bytes(stream.data(), n);
            return;
        }
    }
    w.i32(0);
}

// ---- reading -----------------------------------------------------------------

struct Parser {
    ByteReader in;
    std::string error;

    bool word(int32_t& v) {
        if (in.i32(v)) return true;
        if (error.empty()) error = "the file ends early (truncated settings file)";
        return false;
    }
    bool skip() {
        int32_t v;
        return word(v);
    }
    bool integer(int32_t& field) { return word(field); }
    bool colour(Colour16& c) {
        int32_t r, g, b;
        if (!word(r) || !word(g) || !word(b)) return false;
        c = {uint16_t(r & 0xFFFF), uint16_t(g & 0xFFFF), uint16_t(b & 0xFFFF)};
        return true;
    }
    // word x 0.01 as a float that the writer (value x 100, truncated toward
    // zero) turns back into the same word: for half of all words the nearest
    // float lies just below, and light and axis lost 0.01 at every save and
    // load (the cached settings do that at every run). One step up then.
    bool hundredths(float& field) {
        int32_t w;
        if (!word(w)) return false;
        field = static_cast<float>(w * 0.01);
        if (truncatedToWord(double(field) * 100.0) != w) {
            const float next = std::nextafter(field, w > 0 ? HUGE_VALF : -HUGE_VALF);
            if (truncatedToWord(double(next) * 100.0) == w) field = next;
        }
        return true;
    }
    bool fraction(float& field) {
        int32_t w;
        if (!word(w)) return false;
        field = static_cast<float>(w / 65536.0);
        return true;
    }
    bool fail(std::string why) {
        if (error.empty()) error = std::move(why);
        return false;
    }
};

// The settings words of version v, with the conversions of older versions, in
// the order the versions introduced them.
bool parseSettings(Parser& p, int32_t v, ParamRecord& r) {
    // Colours and the first fifteen scalars.
    if (!p.colour(r.landColor) || !p.colour(r.airColor) || !p.colour(r.seaColor)) return false;
    for (int32_t* f : {&r.airDepth, &r.cloudHeight, &r.cloudShadows, &r.sunset, &r.planetSize, &r.landComplexity,
                       &r.spareValue1, &r.stormSize, &r.stormCount, &r.stormSwirl, &r.airBrightness,
                       &r.realClouds, &r.backlighting, &r.seaLevel, &r.desert})
        if (!p.integer(*f)) return false;
    if (v < 15) r.desert = clampedWord(100 - int64_t(r.desert));
    for (int32_t* f : {&r.craterCount, &r.craterSize, &r.craterTexture, &r.cloudEdges, &r.spareValue2})
        if (!p.integer(*f)) return false;
    if (!p.colour(r.cloudColor) || !p.colour(r.cloudColor)) return false;  // the second copy is kept
    if (v > 1) {
        if (!p.colour(r.spareColor) || !p.integer(r.landTexture) || !p.integer(r.cloudCoverage) ||
            !p.integer(r.realLuna))
            return false;
        if (v < 11) r.realLuna = clampedWord(int64_t(r.realLuna) + 1);
    }
    if (v > 2 && (!p.integer(r.outputMode) || !p.skip())) return false;
    if (v < 32) r.outputMode = r.outputMode == 11 ? kModeComposite : kModeNormal;
    if (v > 3 && (!p.integer(r.cities) || !p.integer(r.cloudViscosity) || !p.integer(r.lunarClimate)))
        return false;
    if (v > 4) {
        if (!p.integer(r.ice) || !p.integer(r.cloudTexture)) return false;
        if (v < 13) r.cloudTexture = clampedWord(100 - int64_t(r.cloudTexture));
    }
    if (v < 7) {
        r.cloudColor = r.landColor;
        r.ice = 100;
        r.airBrightness = 50;
    }
    if (v > 7 && (!p.hundredths(r.lightX) || !p.hundredths(r.lightY) || !p.hundredths(r.lightZ))) return false;
    if (v < 9) r.landTexture = 0;
    if (v > 7 && (!p.hundredths(r.axisX) || !p.hundredths(r.axisY) || !p.hundredths(r.axisZ))) return false;
    if (v > 11 && !p.integer(r.randomSeed)) return false;
    if (v > 13 && !p.integer(r.cloudCoriolis)) return false;
    if (v > 15 && !p.skip()) return false;
    if (v > 16 && !p.integer(r.downloadedClouds)) return false;
    if (v > 17 && (!p.colour(r.desertColor) || !p.colour(r.iceColor))) return false;
    if (v < 19) r.landComplexity = 57;
    if (v < 20) r.craterCount = 0;
    if (v < 21) r.landTexture = 50;
    return true;
}

// A picture read from either thumbnail block.
struct Picture {
    bool found = false;
    bool decoded = false;
    RgbImage image;
    std::string problem;
};

// The old block: 0, or width, height and that many RGB pixels.
bool parseOldThumbnail(Parser& p, bool wanted, Picture& pic) {
    int32_t present;
    if (!p.word(present)) return false;
    if (present == 0) return true;
    int32_t w, h;
    if (!p.word(w) || !p.word(h)) return false;
    if (w < 0 || w > kThumbnailMaxSide || h < 0 || h > kThumbnailMaxSide)
        return p.fail("impossible picture size " + std::to_string(w) + " x " + std::to_string(h));
    const size_t bytes = size_t(w) * size_t(h) * 3;
    if (bytes > p.in.remaining()) return p.fail("the file ends inside its picture (truncated settings file)");
    if (wanted && w > 0 && h > 0) {
        pic.found = true;
        pic.image = RgbImage(w, h);
        p.in.bytes(pic.image.pixels.data(), bytes);
        pic.decoded = true;
    } else {
        p.in.skip(bytes);
    }
    return true;
}

// The current block: kind, then for kind 1 (and any higher kind, which is
// skipped) width, height, byte count and the bytes.
bool parseThumbnail(Parser& p, bool wanted, Picture& pic) {
    int32_t kind;
    if (!p.word(kind)) return false;
    if (kind == 0) return true;
    if (kind < 0) return p.fail("unknown picture kind " + std::to_string(kind));
    int32_t w, h, n;
    if (!p.word(w) || !p.word(h) || !p.word(n)) return false;
    if (n < 0) return p.fail("impossible picture byte count " + std::to_string(n));
    if (size_t(n) > p.in.remaining()) return p.fail("the file ends inside its picture (truncated settings file)");
    const uint8_t* stream = p.in.current();
    p.in.skip(size_t(n));
    if (kind != 1 || !wanted) return true;
    pic.found = true;
    if (size_t(n) > kThumbnailMaxBytes) {
        pic.problem = "the picture is larger than 49152 bytes and was skipped";
        return true;
    }
    w = std::clamp(w, 0, kThumbnailMaxSide);
    h = std::clamp(h, 0, kThumbnailMaxSide);
    jpeg::DecodedImage decoded;
    const int code = jpeg::decodeRgb(stream, size_t(n), decoded, kThumbnailMaxSide);
    if (code != jpeg::kOk) {
        pic.problem = "the picture's JPEG data is broken (code " + std::to_string(code) + ")";
        return true;
    }
    if (decoded.width != w || decoded.height != h) {
        pic.problem = "the picture's JPEG data does not match its size";
        return true;
    }
    pic.image.width = decoded.width;
    pic.image.height = decoded.height;
    pic.image.pixels = std::move(decoded.pixels);
    pic.decoded = true;
    return true;
}

}  // namespace

std::vector<uint8_t> encodeSettings(const ParamRecord& r, const RgbImage* thumbnail) {
    // Words 1 to 71 come from the writer the scripting exchange shares.
    struct Words : SettingsOutput {
        ByteWriter out;
        void word(int32_t v) override { out.i32(v); }
    } words;
    writeSettings(r, SettingsWriteMode::File, words);
    putThumbnail(words.out, thumbnail);
    return std::move(words.out.data());
}

int writeSettingsFile(const std::string& path, const ParamRecord& record, const RgbImage* thumbnail) {
    const std::vector<uint8_t> bytes = encodeSettings(record, thumbnail);
    return platform::writeFileAtomic(path, bytes.data(), bytes.size());
}

int decodeSettings(const uint8_t* data, size_t size, ReadMode mode, ParamRecord* record, RgbImage* thumbnail,
                   ReadReport* report) {
    ReadReport local;
    ReadReport& rep = report ? *report : local;
    rep = ReadReport();
    if (mode == ReadMode::Load && !record) {
        rep.message = "no record to load into";
        return platform::kFileReadError;
    }
    Parser p{ByteReader(data, data ? size : 0), {}};
    int32_t v = 0;
    if (!p.word(v)) {
        rep.message = size == 0 ? "the file is empty" : "the file ends early (truncated settings file)";
        return platform::kFileReadError;
    }
    rep.version = v;
    if (v < 1 || v > kSettingsVersion) {
        rep.message = "not a Terravane settings file (unknown version " + std::to_string(v) + ")";
        return platform::kFileReadError;
    }
    // Everything goes into copies first; the caller's record and picture change
    // only once the whole file has been read.
    ParamRecord scratch = record ? *record : defaultRecord();
    Picture pic;
    const bool wanted = thumbnail != nullptr;
    bool ok = parseSettings(p, v, scratch);
    if (ok && v > 21) ok = parseOldThumbnail(p, wanted, pic);
    if (ok && v > 22) ok = p.colour(scratch.cityColor);
    if (ok && v < 24) {
        scratch.cities = 0;
        scratch.airDepth = truncatedToWord(scratch.airDepth / 0.3);
    }
    if (ok && v < 25) scratch.landTexture = clampedWord(int64_t(scratch.cloudTexture) * scratch.landTexture / 100);
    if (ok && v > 29) ok = p.fraction(scratch.xCenter) && p.fraction(scratch.yCenter);
    if (ok && v == 30) scratch.landColor = {0x1E1E, 0x3C3C, 0x1E1E};
    if (ok && v > 39) ok = parseThumbnail(p, wanted, pic);
    if (!ok) {
        rep.message = p.error;
        return platform::kFileReadError;
    }
    if (mode == ReadMode::Load) *record = scratch;
    rep.thumbnailFound = pic.found;
    if (pic.decoded && thumbnail) {
        *thumbnail = std::move(pic.image);
        rep.thumbnailLoaded = true;
    }
    rep.message = pic.problem;
    return platform::kFileOk;
}

int readSettingsFile(const std::string& path, ReadMode mode, ParamRecord* record, RgbImage* thumbnail,
                     ReadReport* report) {
    ReadReport local;
    ReadReport& rep = report ? *report : local;
    std::vector<uint8_t> bytes;
    if (!platform::readFile(path, bytes, kSettingsFileMaxBytes)) {
        rep = ReadReport();
        rep.message = platform::fileExists(path) ? path + ": cannot be read, or is too large for a settings file"
                                                 : path + ": cannot be opened";
        return platform::kFileOpenError;
    }
    const int result = decodeSettings(bytes.data(), bytes.size(), mode, record, thumbnail, &rep);
    if (!rep.message.empty()) rep.message = path + ": " + rep.message;
    return result;
}

int readSettingsFile(const std::string& path, ReadMode mode, ParamRecord* record, StateBlock& state,
                     ReadReport* report) {
    ReadReport local;
    ReadReport& rep = report ? *report : local;
    RgbImage picture;
    const int result = readSettingsFile(path, mode, record, &picture, &rep);
    if (result == platform::kFileOk && rep.thumbnailLoaded) replaceThumbnail(state, std::move(picture));
    return result;
}

std::string saveFileStem(std::string_view name) {
    std::string stem(name.empty() ? std::string_view(kDefaultSettingsName) : name);
    const size_t dot = stem.find_last_of('.');
    if (dot != std::string::npos) stem.resize(dot);
    if (stem.empty()) stem = kDefaultSettingsName;
    return stem;
}

int savePreset(const std::string& path, ParamRecord& record, const StateBlock* state) {
    const int result = writeSettingsFile(path, record, state ? state->thumbnail : nullptr);
    if (result == platform::kFileOk) {
        setText(record.settingsName, platform::fileNameOf(path).c_str());
        setText(record.settingsFolder, platform::folderOf(path).c_str());
    }
    return result;
}

int openPreset(const std::string& path, ParamRecord& record, StateBlock* state, ReadReport* report) {
    ParamRecord loaded = record;
    loadDefaults(loaded);
    RgbImage picture;
    ReadReport local;
    ReadReport& rep = report ? *report : local;
    const int result = readSettingsFile(path, ReadMode::Load, &loaded, state ? &picture : nullptr, &rep);
    if (result != platform::kFileOk) return result;
    setText(loaded.settingsName, platform::fileNameOf(path).c_str());
    setText(loaded.settingsFolder, platform::folderOf(path).c_str());
    record = loaded;
    if (state && rep.thumbnailLoaded) replaceThumbnail(*state, std::move(picture));
    return result;
}

void plainSettings(ParamRecord& record) {
    loadDefaults(record);
    setText(record.settingsName, "plain settings");
}

std::string cachedSettingsPath() { return platform::workingFile(kCachedSettingsName); }

int writeCachedSettings(const ParamRecord& record, const StateBlock& state) {
    return writeSettingsFile(cachedSettingsPath(), record, state.thumbnail);
}

int readCachedSettings(ParamRecord& record, StateBlock& state, ReadReport* report) {
    return readSettingsFile(cachedSettingsPath(), ReadMode::Load, &record, state, report);
}

int refreshPresetFolder(const std::string& folder, ParamRecord& record, StateBlock& state,
                        const RefreshHooks& hooks) {
    std::vector<platform::FolderEntry> entries;
    if (!platform::listFolder(folder, entries)) return -1;
    const std::string keep = dotFilePath(kMemoryDotCount);
    if (writeSettingsFile(keep, record, state.thumbnail) != platform::kFileOk) return -1;
    int rewritten = 0;
    for (const auto& e : entries) {
        if (e.isFolder || e.readOnly) continue;
        const bool old = e.name.find("q9q") != std::string::npos;
        if (!old && e.name.find("q5q") == std::string::npos) continue;
        const std::string path = platform::joinPath(folder, e.name);
        ParamRecord loaded = record;
        if (readSettingsFile(path, ReadMode::Load, &loaded, state) != platform::kFileOk) continue;
        setText(loaded.settingsName, e.name.c_str());
        record = loaded;
        if (hooks.refresh) hooks.refresh(hooks.context, record, state);
        if (writeSettingsFile(path, record, state.thumbnail) != platform::kFileOk) continue;
        ++rewritten;
        if (old) {
            // A preset already holding the new name is never replaced: the
            // rewritten old file then keeps its own name.
            const std::string renamed = platform::joinPath(folder, platform::stemOf(e.name) + ".q5q");
            if (!platform::fileExists(renamed)) platform::renameFile(path, renamed);
        }
    }
    readSettingsFile(keep, ReadMode::Load, &record, state);
    return rewritten;
}

}  // namespace tv::persist
