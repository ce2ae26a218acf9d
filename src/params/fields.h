// Name tables over the parameter record: the settings fields under their own
// names (used by the JSON of the command line), and the fifty-nine scripting
// keys (names, four-character keys and value types of the terminology).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "params/params.h"

namespace tv {

enum class FieldKind { Int, Switch, Float, Colour, Text };

struct RecordField {
    const char* name;  // "land color", "light x", "settings name" ...
    FieldKind kind;
    size_t offset;     // into ParamRecord
};

// Every settings field, in the record's declared order.
std::span<const RecordField> settingsFields();
const RecordField* findSettingsField(std::string_view name);

// Value a scripting key carries in a descriptor.
enum class ScriptValue {
    Channel,     // integer 0..255, one channel of a colour (stored as v << 8)
    Integer,     // integer field, stored as read
    Boolean,     // switch
    Float,       // float field, exchanged as a double
    Enumerated,  // "glue": 'LG01'..'LG14' of type 'LGty'
};

constexpr uint32_t fourCC(const char (&s)[5]) {
    return (uint32_t(uint8_t(s[0])) << 24) | (uint32_t(uint8_t(s[1])) << 16) |
           (uint32_t(uint8_t(s[2])) << 8) | uint32_t(uint8_t(s[3]));
}

struct ScriptKey {
    const char* name;    // "land red"
    uint32_t key;        // '0001'
    uint32_t type;       // terminology type: 'long', 'doub' or 'LGty'
    ScriptValue value;
    size_t offset;       // field in ParamRecord (the Colour16 for channels)
    int channel;         // 0..2 for channels, else 0
};

constexpr int kScriptKeyCount = 59;
std::span<const ScriptKey> scriptKeys();  // in terminology order
const ScriptKey* findScriptKey(std::string_view name);
const ScriptKey* findScriptKeyByCode(uint32_t key);

constexpr uint32_t kOutputModeEnumType = fourCC("LGty");
constexpr uint32_t kGlueKey = fourCC("LGky");
// 'LG01'..'LG14' for modes 1..14; 0 for any other mode.
uint32_t outputModeEnumerator(int32_t mode);
// Mode 1..14 for 'LG01'..'LG14', else 0.
int32_t outputModeFromEnumerator(uint32_t enumerator);

// The fourteen mode names, index 1..14 ("normal" .. "bump w/o ocean").
const char* outputModeName(int32_t mode);
// Mode number for a name or a decimal number 1..14; 0 when neither.
int32_t parseOutputMode(std::string_view text);

// Reads and writes a scripting key's value in the record, with the same
// conversions the descriptor exchange uses.
int32_t getScriptInteger(const ParamRecord& r, const ScriptKey& k);  // Channel, Integer, Boolean, Enumerated(mode)
double getScriptFloat(const ParamRecord& r, const ScriptKey& k);
void setScriptInteger(ParamRecord& r, const ScriptKey& k, int32_t v);
void setScriptFloat(ParamRecord& r, const ScriptKey& k, double v);

// "NAME=VALUE" with a scripting name: integers, floats, 0/1/true/false, a
// mode name or number for "glue". On failure returns false and says why.
bool applyScriptingAssignment(ParamRecord& r, std::string_view assignment, std::string* error);

}  // namespace tv
