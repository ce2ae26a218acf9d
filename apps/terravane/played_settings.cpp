#include "played_settings.h"

#include <cmath>
#include <cstring>

#include "base/bytes.h"
#include "host.h"
#include "params/fields.h"
#include "persist/settings_file.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "plugin_render.h"

namespace tv::cli {

namespace {

// Where a key's value lives in the record, and how many bytes it takes.
const uint8_t* storage(const ParamRecord& r, const ScriptKey& k, size_t& bytes) {
    const auto* base = reinterpret_cast<const uint8_t*>(&r) + k.offset;
    if (k.value == ScriptValue::Channel) {
        bytes = sizeof(uint16_t);
        return base + size_t(k.channel) * sizeof(uint16_t);
    }
    bytes = 4;
    return base;
}

bool sameItem(const pi::DescriptorItem& a, const pi::DescriptorItem& b) {
    return a.type == b.type && a.enumType == b.enumType && a.integer == b.integer &&
           std::memcmp(&a.number, &b.number, sizeof a.number) == 0;
}

// Words 50 to 55 (light, axis: value x 100) and 70, 71 (centres: x 65536)
// of a settings file. The module's own writer truncates; the host writes the
// nearest word, so that a value the file format can hold comes back exactly.
void roundFloatWords(std::vector<uint8_t>& file, const ParamRecord& r) {
    auto put = [&](int word, double v) {
        const size_t at = size_t(word - 1) * 4;
        const int32_t w = truncatedToWord(std::nearbyint(v));
        for (int i = 0; i < 4; ++i) file[at + size_t(i)] = uint8_t(uint32_t(w) >> (24 - 8 * i));
    };
    const float scaled[6] = {r.lightX, r.lightY, r.lightZ, r.axisX, r.axisY, r.axisZ};
    for (int i = 0; i < 6; ++i) put(50 + i, double(scaled[i]) * 100.0);
    put(70, double(r.xCenter) * 65536.0);
    put(71, double(r.yCenter) * 65536.0);
}

std::string valueText(const ParamRecord& r, const ScriptKey& k) {
    if (k.value == ScriptValue::Float) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%g", getScriptFloat(r, k));
        return buf;
    }
    if (k.value == ScriptValue::Channel) {
        const auto* c = reinterpret_cast<const Colour16*>(reinterpret_cast<const uint8_t*>(&r) + k.offset);
        return std::to_string((*c)[k.channel]);
    }
    return std::to_string(getScriptInteger(r, k));
}

// "\"light z\" 0.274226 is played as 0.27" for the first few keys that differ.
std::string differences(const ParamRecord& wanted, const ParamRecord& played) {
    std::string out;
    int shown = 0;
    for (const ScriptKey& k : scriptKeys()) {
        size_t n = 0, m = 0;
        const uint8_t* a = storage(wanted, k, n);
        const uint8_t* b = storage(played, k, m);
        if (std::memcmp(a, b, n) == 0) continue;
        if (shown++ == 3) {
            out += ", ...";
            break;
        }
        if (!out.empty()) out += ", ";
        out.append("\"").append(k.name).append("\" ").append(valueText(wanted, k));
        out.append(" is played as ").append(valueText(played, k));
    }
    return out;
}

}  // namespace

ParamRecord recordFromDescriptor(const pi::MemoryDescriptor& d) {
    ParamRecord r = defaultRecord();
    for (const pi::DescriptorItem& item : d.items) {
        const ScriptKey* k = findScriptKeyByCode(item.key);
        if (!k) continue;
        switch (k->value) {
            case ScriptValue::Float: setScriptFloat(r, *k, item.number); break;
            case ScriptValue::Boolean: setScriptInteger(r, *k, item.integer ? 1 : 0); break;
            case ScriptValue::Enumerated: r.outputMode = outputModeFromEnumerator(uint32_t(item.integer)); break;
            default: setScriptInteger(r, *k, item.integer); break;
        }
    }
    return r;
}

bool sameScriptedSettings(const ParamRecord& a, const ParamRecord& b) {
    for (const ScriptKey& k : scriptKeys()) {
        size_t n = 0, m = 0;
        const uint8_t* x = storage(a, k, n);
        const uint8_t* y = storage(b, k, m);
        if (std::memcmp(x, y, n) != 0) return false;
    }
    return true;
}

SettingsPlay planSettingsPlay(const ParamRecord& record) {
    SettingsPlay play;
    // The keys whose value differs from the defaults' (the descriptor's or the
    // record's: "ice red=225" is 0xE100, not the default 0xE1E1).
    const ParamRecord plain = defaultRecord();
    const pi::MemoryDescriptor all = descriptorOf(record), defaults = descriptorOf(plain);
    for (const pi::DescriptorItem& item : all.items) {
        const pi::DescriptorItem* d = defaults.find(item.key);
        const ScriptKey* k = findScriptKeyByCode(item.key);
        size_t n = 0, m = 0;
        const uint8_t* mine = storage(record, *k, n);
        const uint8_t* theirs = storage(plain, *k, m);
        if (!d || !sameItem(*d, item) || std::memcmp(mine, theirs, n) != 0) play.descriptor.put(item);
    }
    const ParamRecord byDescriptor = recordFromDescriptor(play.descriptor);
    if (sameScriptedSettings(byDescriptor, record)) return play;

    play.viaDescriptor = false;
    play.descriptor = {};
    play.cachedFile = persist::encodeSettings(record, nullptr);
    roundFloatWords(play.cachedFile, record);
    ParamRecord byFile = defaultRecord();
    if (persist::decodeSettings(play.cachedFile.data(), play.cachedFile.size(), persist::ReadMode::Load, &byFile,
                                nullptr) != platform::kFileOk)
        byFile = defaultRecord();
    if (!sameScriptedSettings(byFile, record)) play.loss = differences(record, byFile);
    return play;
}

ParamRecord mergeRecordedSettings(const pi::MemoryDescriptor& recorded, const ParamRecord* cached) {
    ParamRecord r = recordFromDescriptor(recorded);
    if (!cached) return r;
    // The descriptor's 8-bit colours and 0/1 switches, completed from the
    // settings file where the two agree (both were written by the same run).
    for (const ScriptKey& k : scriptKeys()) {
        auto* to = reinterpret_cast<uint8_t*>(&r) + k.offset;
        const auto* from = reinterpret_cast<const uint8_t*>(cached) + k.offset;
        if (k.value == ScriptValue::Channel) {
            auto& c = *reinterpret_cast<Colour16*>(to);
            const auto& f = *reinterpret_cast<const Colour16*>(from);
            if (channelTo8(c[k.channel]) == channelTo8(f[k.channel])) c[k.channel] = f[k.channel];
        } else if (k.value == ScriptValue::Boolean) {
            int32_t v, f;
            std::memcpy(&v, to, 4);
            std::memcpy(&f, from, 4);
            if (v == ((f & 0xFF) != 0 ? 1 : 0)) std::memcpy(to, &f, 4);
        }
    }
    r.spareColor = cached->spareColor;
    r.spareValue1 = cached->spareValue1;
    r.spareValue2 = cached->spareValue2;
    return r;
}

std::optional<ParamRecord> lastRunSettings(std::string* warning) {
    std::string damaged;
    const std::optional<pi::MemoryDescriptor> recorded = host::loadRecordedDescriptor(&damaged);
    if (!damaged.empty() && warning) *warning = damaged;
    ParamRecord cached = defaultRecord();
    const std::string cachedPath = persist::cachedSettingsPath();
    const bool haveCached = platform::fileExists(cachedPath) &&
                            persist::readSettingsFile(cachedPath, persist::ReadMode::Load, &cached, nullptr) ==
                                platform::kFileOk;
    if (!recorded) return haveCached ? std::optional<ParamRecord>(cached) : std::nullopt;
    return mergeRecordedSettings(*recorded, haveCached ? &cached : nullptr);
}

bool PlacedSettings::place(const std::vector<uint8_t>& bytes, std::string* error) {
    const std::string path = persist::cachedSettingsPath();
    hadPrevious_ = platform::fileExists(path) && platform::readFile(path, previous_, persist::kSettingsFileMaxBytes);
    platform::clearLastError();
    if (platform::writeFileAtomic(path, bytes.data(), bytes.size()) != platform::kFileOk) {
        const std::string why = platform::lastErrorText();
        if (error)
            *error = "cannot write the settings for the module to \"" + path + "\"" + (why.empty() ? "" : ": " + why);
        return false;
    }
    placed_ = true;
    return true;
}

PlacedSettings::~PlacedSettings() {
    if (!placed_) return;
    const std::string path = persist::cachedSettingsPath();
    if (hadPrevious_)
        platform::writeFileAtomic(path, previous_.data(), previous_.size());
    else
        platform::removeFile(path);
}

}  // namespace tv::cli
