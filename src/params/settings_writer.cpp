#include "params/settings_writer.h"

#include <cstddef>
#include <cstdint>

#include "base/bytes.h"

namespace tv {

namespace {

enum class Item { Version, Key, SpareValue1, SpareValue2, CloudColourAgain, SpareColour, One, Zero };

struct Step {
    Item item;
    int count;  // keys taken from the scripting table, or words of a colour
};

// The settings file's word order. Key runs advance through the scripting key
// table, which lists the keys in exactly this order.
constexpr Step kSequence[] = {
    {Item::Version, 1},
    {Item::Key, 15},  // land, air, sea colours; air depth .. land complexity
    {Item::SpareValue1, 1},
    {Item::Key, 12},  // storm size .. cloud edges
    {Item::SpareValue2, 1},
    {Item::Key, 3},   // cloud colour
    {Item::CloudColourAgain, 3},
    {Item::SpareColour, 3},
    {Item::Key, 4},   // land texture, cloud coverage, real luna, glue
    {Item::One, 1},
    {Item::Key, 13},  // cities .. cloud coriolis
    {Item::One, 1},
    {Item::Key, 7},   // downloaded clouds, desert and ice colours
    {Item::Zero, 1},  // no old thumbnail
    {Item::Key, 5},   // city colour, X and Y center
};

constexpr int totalKeys() {
    int n = 0;
    for (const Step& s : kSequence)
        if (s.item == Item::Key) n += s.count;
    return n;
}
constexpr int totalWords() {
    int n = 0;
    for (const Step& s : kSequence) n += s.count;
    return n;
}
static_assert(totalKeys() == kScriptKeyCount);
static_assert(totalWords() == kSettingsFileWordCount);

const int32_t& scalar(const ParamRecord& r, const ScriptKey& k) {
    return *reinterpret_cast<const int32_t*>(reinterpret_cast<const char*>(&r) + k.offset);
}
const Colour16& colour(const ParamRecord& r, const ScriptKey& k) {
    return *reinterpret_cast<const Colour16*>(reinterpret_cast<const char*>(&r) + k.offset);
}
float floatField(const ParamRecord& r, const ScriptKey& k) {
    return *reinterpret_cast<const float*>(reinterpret_cast<const char*>(&r) + k.offset);
}

// A key's word in a settings file.
int32_t fileWord(const ParamRecord& r, const ScriptKey& k) {
    switch (k.value) {
        case ScriptValue::Channel: return colour(r, k)[k.channel];
        case ScriptValue::Float:
            // The centres are stored as value x 65536, the light and axis as value x 100;
            // any float a descriptor or the command line put into the record can be written.
            if (k.type == fourCC("doub")) return truncatedToWord(double(floatField(r, k)) * 65536.0);
            return truncatedToWord(double(floatField(r, k)) * 100.0);
        default: return scalar(r, k);
    }
}

void putKey(const ParamRecord& r, const ScriptKey& k, SettingsOutput& out) {
    switch (k.value) {
        case ScriptValue::Channel:
        case ScriptValue::Integer: out.putInteger(k, getScriptInteger(r, k)); break;
        case ScriptValue::Boolean: out.putBoolean(k, (scalar(r, k) & 0xFF) != 0); break;
        case ScriptValue::Float: out.putFloat(k, getScriptFloat(r, k)); break;
        case ScriptValue::Enumerated: {
            const uint32_t e = outputModeEnumerator(scalar(r, k));
            out.putEnumerated(k, kOutputModeEnumType, e ? e : fourCC("<NO>"));
            break;
        }
    }
}

}  // namespace

void writeSettings(const ParamRecord& r, SettingsWriteMode mode, SettingsOutput& out) {
    const auto keys = scriptKeys();
    size_t next = 0;
    const bool file = mode == SettingsWriteMode::File;
    for (const Step& s : kSequence) {
        if (s.item == Item::Key) {
            for (int i = 0; i < s.count; ++i, ++next) {
                if (file)
                    out.word(fileWord(r, keys[next]));
                else
                    putKey(r, keys[next], out);
            }
            continue;
        }
        if (!file) continue;
        switch (s.item) {
            case Item::Version: out.word(kSettingsFileVersion); break;
            case Item::SpareValue1: out.word(r.spareValue1); break;
            case Item::SpareValue2: out.word(r.spareValue2); break;
            case Item::CloudColourAgain:
                for (int c = 0; c < 3; ++c) out.word(r.cloudColor[c]);
                break;
            case Item::SpareColour:
                for (int c = 0; c < 3; ++c) out.word(r.spareColor[c]);
                break;
            case Item::One: out.word(1); break;
            case Item::Zero: out.word(0); break;
            case Item::Key: break;
        }
    }
}

}  // namespace tv
