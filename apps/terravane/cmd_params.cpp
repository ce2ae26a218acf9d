// terravane params: every name --set and --settings take, with its kind,
// range, default and meaning, and the output modes.
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "cli_common.h"
#include "commands.h"
#include "json_writer.h"
#include "params/fields.h"

namespace tv::cli {

namespace {

constexpr const char* kCommand = "params";

constexpr const char* kUsage =
    "usage: terravane params [--json]\n"
    "\n"
    "Lists every setting name that --set and --settings take: its kind, range, default\n"
    "and meaning, then the fourteen output modes (\"glue\", \"output mode\").\n"
    "\n"
    "  --json   the same as one JSON object, for programs\n";

struct Meaning {
    const char* name;
    const char* range;  // null: by kind
    const char* text;
};

// One line of meaning per name; colour channels and fields share theirs.
const Meaning kMeanings[] = {
    {"land color", nullptr, "colour of land"},
    {"air color", nullptr, "colour of the atmosphere"},
    {"sea color", nullptr, "colour of water"},
    {"desert color", nullptr, "colour of desert"},
    {"ice color", nullptr, "colour of ice"},
    {"cloud color", nullptr, "colour of clouds"},
    {"city color", nullptr, "colour of city lights"},
    {"spare color", nullptr, "spare colour: carried by settings files, no effect"},
    {"air depth", "0-100", "thickness of the atmosphere"},
    {"cloud height", "0-100", "height of the cloud layer"},
    {"cloud shadows", "0-100", "strength of cloud shadows"},
    {"sunset", "0-100", "strength of the sunset band"},
    {"planet size", "0-100", "size of the globe in the image"},
    {"land complexity", "0-100", "detail of the land height field"},
    {"storm size", "0-100", "size of storms"},
    {"storm count", "0-100", "number of storms"},
    {"storm swirl", "0-100", "spin of storms"},
    {"air brightness", "0-100", "brightness of the atmosphere"},
    {"real clouds", nullptr, "clouds from a cached satellite image (terravane clouds) instead of synthetic ones"},
    {"backlighting", nullptr, "light the atmosphere from behind"},
    {"sea level", "0-100", "water level over the height field"},
    {"desert", "0-100", "amount of desert"},
    {"crater count", "0-100", "number of craters"},
    {"crater size", "0-100", "size of craters"},
    {"crater texture", "0-100", "roughness of craters"},
    {"cloud edges", "0-100", "sharpness of cloud edges"},
    {"land texture", "0-100", "fine texture of land"},
    {"cloud coverage", "0-100", "share of the sky covered by clouds"},
    {"real luna", nullptr, "the Moon's own relief instead of synthetic terrain"},
    {"glue", "1-14 or a name", "output mode: the globe, or one of the flat maps (below)"},
    {"output mode", "1-14 or a name", "output mode, as \"glue\""},
    {"cities", "0-100", "amount of city lights"},
    {"cloud viscosity", "0-100", "smoothness of cloud flow"},
    {"lunar climate", nullptr, "moon-like surface: relief in shades of the land colour, no desert or ice"},
    {"ice", "0-100", "amount of polar ice"},
    {"cloud texture", "0-100", "fine texture of clouds"},
    {"light x", "-1 to 1", "light direction (unit vector towards the light), x: right"},
    {"light y", "-1 to 1", "light direction, y: down"},
    {"light z", "-1 to 1", "light direction, z: towards the viewer"},
    {"axis x", "-1 to 1", "rotation axis (unit vector), x"},
    {"axis y", "-1 to 1", "rotation axis, y"},
    {"axis z", "-1 to 1", "rotation axis, z"},
    {"random seed", "any whole number", "seed of all procedural noise: another seed, another planet"},
    {"cloud coriolis", "0-100", "Coriolis twist of clouds"},
    {"downloaded clouds", "0-11", "catalogue entry of the satellite clouds (with real clouds)"},
    {"X center", "0-1", "centre of the planet, as a fraction of the image's width"},
    {"Y center", "0-1", "centre of the planet, as a fraction of the image's height"},
    {"spare value 1", "any whole number", "spare: carried by settings files, no effect"},
    {"spare value 2", "any whole number", "spare: carried by settings files, no effect"},
    {"settings name", "259 bytes", "name of the settings (a saved preset takes its file's name)"},
};

const Meaning* meaningOf(std::string_view name) {
    for (const Meaning& m : kMeanings)
        if (name == m.name) return &m;
    return nullptr;
}

// "land red" -> "land color".
std::string colourOf(std::string_view name) { return std::string(name.substr(0, name.find(' '))) + " color"; }

struct Row {
    std::string name, kind, range, defaultText, meaning;
};

std::string floatText(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.6g", v);
    return buf;
}

template <typename Visit>
void forEachRow(Visit visit) {
    const ParamRecord d = defaultRecord();
    for (const ScriptKey& k : scriptKeys()) {
        Row r{k.name, "", "", "", ""};
        const Meaning* m = meaningOf(k.name);
        switch (k.value) {
            case ScriptValue::Channel: {
                static const char* const kChannel[3] = {"red", "green", "blue"};
                r.kind = "channel";
                r.range = "0-255";
                r.defaultText = std::to_string(getScriptInteger(d, k));
                const Meaning* colour = meaningOf(colourOf(k.name));
                r.meaning = std::string(kChannel[k.channel]) + " of the " + (colour ? colour->text : "colour") +
                            ", 8 bits (\"" + colourOf(k.name) + "\" takes all 16)";
                break;
            }
            case ScriptValue::Integer:
                r.kind = "integer";
                r.defaultText = std::to_string(getScriptInteger(d, k));
                break;
            case ScriptValue::Boolean:
                r.kind = "switch";
                r.range = "0/1, true/false";
                r.defaultText = getScriptInteger(d, k) ? "1" : "0";
                break;
            case ScriptValue::Float:
                r.kind = "float";
                r.defaultText = floatText(getScriptFloat(d, k));
                break;
            case ScriptValue::Enumerated:
                r.kind = "mode";
                r.defaultText = outputModeName(d.outputMode);
                break;
        }
        if (m && k.value != ScriptValue::Channel) {
            if (m->range) r.range = m->range;
            r.meaning = m->text;
        }
        visit(r);
    }
    // The record's own names that are not scripting names.
    for (const RecordField& f : settingsFields()) {
        if (findScriptKey(f.name)) continue;
        Row r{f.name, "", "", "", ""};
        const char* at = reinterpret_cast<const char*>(&d) + f.offset;
        const Meaning* m = meaningOf(f.name);
        switch (f.kind) {
            case FieldKind::Colour: {
                Colour16 c;
                std::memcpy(&c, at, sizeof c);
                r.kind = "colour";
                r.range = "3 x 0-65535";
                r.defaultText = std::to_string(c.red) + "," + std::to_string(c.green) + "," + std::to_string(c.blue);
                const Meaning* colour = meaningOf(f.name);
                r.meaning = std::string(colour ? colour->text : "colour") + ", red, green and blue in 16 bits";
                break;
            }
            case FieldKind::Text:
                r.kind = "text";
                r.defaultText = d.settingsName;
                break;
            default: {
                int32_t v;
                std::memcpy(&v, at, sizeof v);
                r.kind = f.offset == offsetof(ParamRecord, outputMode) ? "mode" : "integer";
                r.defaultText = std::to_string(v);
                break;
            }
        }
        if (m && f.kind != FieldKind::Colour) {
            if (m->range) r.range = m->range;
            r.meaning = m->text;
        }
        visit(r);
    }
}

int printText() {
    std::printf("%-18s %-8s %-16s %-22s %s\n", "NAME", "KIND", "RANGE", "DEFAULT", "MEANING");
    forEachRow([](const Row& r) {
        std::printf("%-18s %-8s %-16s %-22s %s\n", r.name.c_str(), r.kind.c_str(), r.range.c_str(),
                    r.defaultText.c_str(), r.meaning.c_str());
    });
    std::printf("\nOUTPUT MODES (\"glue\" and \"output mode\" take the number or the name)\n");
    for (int32_t m = 1; m <= kOutputModeCount; ++m) std::printf("%3d  %s\n", m, outputModeName(m));
    return std::fflush(stdout) == 0 ? kExitOk : failWith(kCommand, "cannot write to standard output");
}

int printJson() {
    std::string out = "{\n  \"parameters\": [";
    bool first = true;
    forEachRow([&](const Row& r) {
        JsonWriter w;
        w.beginObject();
        w.key("name");
        w.text(r.name);
        w.key("kind");
        w.text(r.kind);
        w.key("range");
        w.text(r.range);
        w.key("default");
        w.text(r.defaultText);
        w.key("meaning");
        w.text(r.meaning);
        w.endObject();
        // One line per parameter.
        std::string item;
        for (char c : w.str())
            if (c != '\n' && !(c == ' ' && !item.empty() && item.back() == ' ')) item += c;
            else if (c == '\n') item += ' ';
        out += (first ? "\n    " : ",\n    ") + item;
        first = false;
    });
    out += "\n  ],\n  \"output modes\": [";
    for (int32_t m = 1; m <= kOutputModeCount; ++m) {
        JsonWriter w;
        w.text(outputModeName(m));
        out += (m == 1 ? "\n    " : ",\n    ") + std::string("{\"number\": ") + std::to_string(m) +
               ", \"name\": " + w.str() + "}";
    }
    out += "\n  ]\n}\n";
    std::fwrite(out.data(), 1, out.size(), stdout);
    return std::fflush(stdout) == 0 ? kExitOk : failWith(kCommand, "cannot write to standard output");
}

}  // namespace

int runParams(int argc, char** argv) {
    bool json = false;
    ArgReader args(argc, argv);
    while (!args.done()) {
        const std::string_view opt = args.next();
        if (opt == "--help" || opt == "-h") {
            printHelp(stdout, kUsage);
            return kExitOk;
        }
        if (opt != "--json") return usageError(kCommand, "unexpected \"" + std::string(opt) + "\"");
        json = true;
    }
    if (!args.error().empty()) return usageError(kCommand, args.error());
    return json ? printJson() : printText();
}

}  // namespace tv::cli
