#include "params/fields.h"

#include "base/bytes.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace tv {

namespace {

#define TV_FIELD(name, kind, member) RecordField{name, FieldKind::kind, offsetof(ParamRecord, member)}

const RecordField kFields[] = {
    TV_FIELD("light x", Float, lightX),
    TV_FIELD("light y", Float, lightY),
    TV_FIELD("light z", Float, lightZ),
    TV_FIELD("axis x", Float, axisX),
    TV_FIELD("axis y", Float, axisY),
    TV_FIELD("axis z", Float, axisZ),
    TV_FIELD("output mode", Int, outputMode),
    TV_FIELD("random seed", Int, randomSeed),
    TV_FIELD("X center", Float, xCenter),
    TV_FIELD("Y center", Float, yCenter),
    TV_FIELD("land color", Colour, landColor),
    TV_FIELD("air color", Colour, airColor),
    TV_FIELD("sea color", Colour, seaColor),
    TV_FIELD("desert color", Colour, desertColor),
    TV_FIELD("ice color", Colour, iceColor),
    TV_FIELD("cloud color", Colour, cloudColor),
    TV_FIELD("city color", Colour, cityColor),
    TV_FIELD("spare color", Colour, spareColor),
    TV_FIELD("air depth", Int, airDepth),
    TV_FIELD("cloud height", Int, cloudHeight),
    TV_FIELD("cloud shadows", Int, cloudShadows),
    TV_FIELD("sunset", Int, sunset),
    TV_FIELD("planet size", Int, planetSize),
    TV_FIELD("land complexity", Int, landComplexity),
    TV_FIELD("spare value 1", Int, spareValue1),
    TV_FIELD("storm size", Int, stormSize),
    TV_FIELD("storm count", Int, stormCount),
    TV_FIELD("storm swirl", Int, stormSwirl),
    TV_FIELD("air brightness", Int, airBrightness),
    TV_FIELD("real clouds", Switch, realClouds),
    TV_FIELD("backlighting", Switch, backlighting),
    TV_FIELD("real luna", Switch, realLuna),
    TV_FIELD("sea level", Int, seaLevel),
    TV_FIELD("desert", Int, desert),
    TV_FIELD("crater count", Int, craterCount),
    TV_FIELD("crater size", Int, craterSize),
    TV_FIELD("crater texture", Int, craterTexture),
    TV_FIELD("land texture", Int, landTexture),
    TV_FIELD("cloud coverage", Int, cloudCoverage),
    TV_FIELD("cloud edges", Int, cloudEdges),
    TV_FIELD("spare value 2", Int, spareValue2),
    TV_FIELD("cities", Int, cities),
    TV_FIELD("cloud viscosity", Int, cloudViscosity),
    TV_FIELD("cloud coriolis", Int, cloudCoriolis),
    TV_FIELD("lunar climate", Switch, lunarClimate),
    TV_FIELD("ice", Int, ice),
    TV_FIELD("cloud texture", Int, cloudTexture),
    TV_FIELD("downloaded clouds", Int, downloadedClouds),
    TV_FIELD("settings name", Text, settingsName),
};
#undef TV_FIELD

#define TV_KEY(name, code, type, value, member, ch) \
    ScriptKey{name, fourCC(code), fourCC(type), ScriptValue::value, offsetof(ParamRecord, member), ch}

const ScriptKey kKeys[kScriptKeyCount] = {
    TV_KEY("land red", "0001", "long", Channel, landColor, 0),
    TV_KEY("land green", "0002", "long", Channel, landColor, 1),
    TV_KEY("land blue", "0003", "long", Channel, landColor, 2),
    TV_KEY("air red", "0004", "long", Channel, airColor, 0),
    TV_KEY("air green", "0005", "long", Channel, airColor, 1),
    TV_KEY("air blue", "0006", "long", Channel, airColor, 2),
    TV_KEY("sea red", "0007", "long", Channel, seaColor, 0),
    TV_KEY("sea green", "0008", "long", Channel, seaColor, 1),
    TV_KEY("sea blue", "0009", "long", Channel, seaColor, 2),
    TV_KEY("air depth", "0010", "long", Integer, airDepth, 0),
    TV_KEY("cloud height", "0011", "long", Integer, cloudHeight, 0),
    TV_KEY("cloud shadows", "0012", "long", Integer, cloudShadows, 0),
    TV_KEY("sunset", "0013", "long", Integer, sunset, 0),
    TV_KEY("planet size", "0014", "long", Integer, planetSize, 0),
    TV_KEY("land complexity", "0015", "long", Integer, landComplexity, 0),
    TV_KEY("storm size", "0016", "long", Integer, stormSize, 0),
    TV_KEY("storm count", "0017", "long", Integer, stormCount, 0),
    TV_KEY("storm swirl", "0018", "long", Integer, stormSwirl, 0),
    TV_KEY("air brightness", "0019", "long", Integer, airBrightness, 0),
    TV_KEY("real clouds", "0020", "long", Boolean, realClouds, 0),
    TV_KEY("backlighting", "0021", "long", Boolean, backlighting, 0),
    TV_KEY("sea level", "0022", "long", Integer, seaLevel, 0),
    TV_KEY("desert", "0023", "long", Integer, desert, 0),
    TV_KEY("crater count", "0024", "long", Integer, craterCount, 0),
    TV_KEY("crater size", "24p5", "long", Integer, craterSize, 0),
    TV_KEY("crater texture", "0025", "long", Integer, craterTexture, 0),
    TV_KEY("cloud edges", "0026", "long", Integer, cloudEdges, 0),
    TV_KEY("cloud red", "0027", "long", Channel, cloudColor, 0),
    TV_KEY("cloud green", "0028", "long", Channel, cloudColor, 1),
    TV_KEY("cloud blue", "0029", "long", Channel, cloudColor, 2),
    TV_KEY("land texture", "0030", "long", Integer, landTexture, 0),
    TV_KEY("cloud coverage", "0031", "long", Integer, cloudCoverage, 0),
    TV_KEY("real luna", "0032", "long", Boolean, realLuna, 0),
    TV_KEY("glue", "LGky", "LGty", Enumerated, outputMode, 0),
    TV_KEY("cities", "0034", "long", Integer, cities, 0),
    TV_KEY("cloud viscosity", "0035", "long", Integer, cloudViscosity, 0),
    TV_KEY("lunar climate", "0036", "long", Boolean, lunarClimate, 0),
    TV_KEY("ice", "0037", "long", Integer, ice, 0),
    TV_KEY("cloud texture", "0038", "long", Integer, cloudTexture, 0),
    TV_KEY("light x", "0039", "long", Float, lightX, 0),
    TV_KEY("light y", "0040", "long", Float, lightY, 0),
    TV_KEY("light z", "0041", "long", Float, lightZ, 0),
    TV_KEY("axis x", "0042", "long", Float, axisX, 0),
    TV_KEY("axis y", "0043", "long", Float, axisY, 0),
    TV_KEY("axis z", "0044", "long", Float, axisZ, 0),
    TV_KEY("random seed", "0045", "long", Integer, randomSeed, 0),
    TV_KEY("cloud coriolis", "0046", "long", Integer, cloudCoriolis, 0),
    TV_KEY("downloaded clouds", "0047", "long", Integer, downloadedClouds, 0),
    TV_KEY("desert red", "0048", "long", Channel, desertColor, 0),
    TV_KEY("desert green", "0049", "long", Channel, desertColor, 1),
    TV_KEY("desert blue", "0050", "long", Channel, desertColor, 2),
    TV_KEY("ice red", "0051", "long", Channel, iceColor, 0),
    TV_KEY("ice green", "0052", "long", Channel, iceColor, 1),
    TV_KEY("ice blue", "0053", "long", Channel, iceColor, 2),
    TV_KEY("city red", "0054", "long", Channel, cityColor, 0),
    TV_KEY("city green", "0055", "long", Channel, cityColor, 1),
    TV_KEY("city blue", "0056", "long", Channel, cityColor, 2),
    TV_KEY("X center", "0057", "doub", Float, xCenter, 0),
    TV_KEY("Y center", "0058", "doub", Float, yCenter, 0),
};
#undef TV_KEY

const char* const kModeNames[kOutputModeCount + 1] = {
    nullptr,      "normal",     "composite",  "lit map", "map color",   "land color",  "land bump",
    "ocean mask", "air color",  "cloud mask", "cloud bump", "cities", "mural",    "hypsometric",
    "bump w/o ocean",
};

template <typename T>
T& at(ParamRecord& r, size_t offset) {
    return *reinterpret_cast<T*>(reinterpret_cast<char*>(&r) + offset);
}
template <typename T>
const T& at(const ParamRecord& r, size_t offset) {
    return *reinterpret_cast<const T*>(reinterpret_cast<const char*>(&r) + offset);
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

bool parseInt(std::string_view s, int32_t& out) {
    if (!s.empty() && s.front() == '+') s.remove_prefix(1);
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
    return ec == std::errc() && p == s.data() + s.size() && !s.empty();
}

bool parseDouble(std::string_view s, double& out) {
    if (!s.empty() && s.front() == '+') s.remove_prefix(1);
    if (s.empty()) return false;
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
    return ec == std::errc() && p == s.data() + s.size() && std::isfinite(out);
}

}  // namespace

std::span<const RecordField> settingsFields() { return kFields; }

const RecordField* findSettingsField(std::string_view name) {
    for (const auto& f : kFields)
        if (name == f.name) return &f;
    return nullptr;
}

std::span<const ScriptKey> scriptKeys() { return kKeys; }

const ScriptKey* findScriptKey(std::string_view name) {
    for (const auto& k : kKeys)
        if (name == k.name) return &k;
    return nullptr;
}

const ScriptKey* findScriptKeyByCode(uint32_t key) {
    for (const auto& k : kKeys)
        if (k.key == key) return &k;
    return nullptr;
}

uint32_t outputModeEnumerator(int32_t mode) {
    if (mode < 1 || mode > kOutputModeCount) return 0;
    return fourCC("LG00") + uint32_t((mode / 10) << 8) + uint32_t(mode % 10);
}

int32_t outputModeFromEnumerator(uint32_t e) {
    for (int32_t m = 1; m <= kOutputModeCount; ++m)
        if (outputModeEnumerator(m) == e) return m;
    return 0;
}

const char* outputModeName(int32_t mode) {
    return (mode >= 1 && mode <= kOutputModeCount) ? kModeNames[mode] : nullptr;
}

int32_t parseOutputMode(std::string_view text) {
    text = trim(text);
    for (int32_t m = 1; m <= kOutputModeCount; ++m)
        if (text == kModeNames[m]) return m;
    int32_t n = 0;
    if (parseInt(text, n) && n >= 1 && n <= kOutputModeCount) return n;
    return 0;
}

int32_t getScriptInteger(const ParamRecord& r, const ScriptKey& k) {
    switch (k.value) {
        case ScriptValue::Channel:
            return channelTo8(at<Colour16>(r, k.offset)[k.channel]);
        case ScriptValue::Boolean:
            return at<int32_t>(r, k.offset) & 0xFF;
        default:
            return at<int32_t>(r, k.offset);
    }
}

double getScriptFloat(const ParamRecord& r, const ScriptKey& k) {
    return static_cast<double>(at<float>(r, k.offset));
}

void setScriptInteger(ParamRecord& r, const ScriptKey& k, int32_t v) {
    switch (k.value) {
        case ScriptValue::Channel:
            at<Colour16>(r, k.offset)[k.channel] = channelFrom8(v);
            break;
        case ScriptValue::Boolean:
            at<int32_t>(r, k.offset) = v ? 1 : 0;
            break;
        case ScriptValue::Float:
            at<float>(r, k.offset) = static_cast<float>(v);
            break;
        default:
            at<int32_t>(r, k.offset) = v;
            break;
    }
}

void setScriptFloat(ParamRecord& r, const ScriptKey& k, double v) {
    if (k.value == ScriptValue::Float)
        at<float>(r, k.offset) = static_cast<float>(v);
    else
        setScriptInteger(r, k, truncatedToWord(v));
}

bool applyScriptingAssignment(ParamRecord& r, std::string_view assignment, std::string* error) {
    const size_t eq = assignment.find('=');
    if (eq == std::string_view::npos) {
        if (error) *error = "expected NAME=VALUE, got \"" + std::string(assignment) + "\"";
        return false;
    }
    const std::string_view name = trim(assignment.substr(0, eq));
    const std::string_view value = trim(assignment.substr(eq + 1));
    const ScriptKey* key = findScriptKey(name);
    if (!key) {
        if (error) *error = "unknown parameter name \"" + std::string(name) + "\"";
        return false;
    }
    auto bad = [&](const char* what) {
        if (error)
            *error = "unreadable value \"" + std::string(value) + "\" for \"" + std::string(name) +
                     "\" (" + what + ")";
        return false;
    };
    int32_t i = 0;
    double d = 0.0;
    switch (key->value) {
        case ScriptValue::Enumerated: {
            const int32_t mode = parseOutputMode(value);
            if (!mode) return bad("expected an output mode name or a number 1 to 14");
            at<int32_t>(r, key->offset) = mode;
            return true;
        }
        case ScriptValue::Boolean:
            if (value == "true" || value == "on") i = 1;
            else if (value == "false" || value == "off") i = 0;
            else if (!parseInt(value, i) || (i != 0 && i != 1)) return bad("expected 0, 1, true or false");
            setScriptInteger(r, *key, i);
            return true;
        case ScriptValue::Float:
            if (!parseDouble(value, d)) return bad("expected a number");
            setScriptFloat(r, *key, d);
            return true;
        case ScriptValue::Channel:
            if (!parseInt(value, i)) return bad("expected an integer");
            if (i < 0 || i > 255) return bad("expected 0 to 255");
            setScriptInteger(r, *key, i);
            return true;
        case ScriptValue::Integer:
            if (!parseInt(value, i)) return bad("expected an integer");
            setScriptInteger(r, *key, i);
            return true;
    }
    return bad("unsupported");
}

}  // namespace tv
