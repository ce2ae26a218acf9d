// One writer for the settings of a planet, with a mode switch: in file mode it
// produces the words of a settings file (version 40, words 1 to 71; the caller
// appends the thumbnail block), in scripting mode it puts the fifty-nine
// scripting keys. Both walk the same sequence, so the scripting keys come out
// in the settings file's field order, and the file-only words (version, spare
// values, the second cloud colour, the spare colour, constants, the old
// thumbnail word) are skipped in scripting mode.
#pragma once

#include <cstdint>

#include "params/fields.h"
#include "params/params.h"

namespace tv {

enum class SettingsWriteMode { File, Scripting };

constexpr int32_t kSettingsFileVersion = 40;
constexpr int kSettingsFileWordCount = 71;  // words before the thumbnail block

struct SettingsOutput {
    virtual ~SettingsOutput() = default;
    // File mode: the next word.
    virtual void word(int32_t) {}
    // Scripting mode: one key with its descriptor value.
    virtual void putInteger(const ScriptKey&, int32_t) {}
    virtual void putBoolean(const ScriptKey&, bool) {}
    virtual void putFloat(const ScriptKey&, double) {}
    virtual void putEnumerated(const ScriptKey&, uint32_t /*enumType*/, uint32_t /*enumerator*/) {}
};

void writeSettings(const ParamRecord& record, SettingsWriteMode mode, SettingsOutput& out);

}  // namespace tv
