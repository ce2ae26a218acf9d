#include "settings_source.h"

#include <sstream>

#include "cli_common.h"
#include "persist/settings_file.h"
#include "platform/files.h"
#include "played_settings.h"
#include "settings_json.h"

namespace tv::gimp {

namespace {

bool fail(std::string* error, const std::string& why) {
    if (error) *error = why;
    return false;
}

bool startsWithBrace(const std::string& text) {
    const size_t at = text.find_first_not_of(" \t\r\n");
    return at != std::string::npos && text[at] == '{';
}

}  // namespace

bool settingsFromScript(const std::string& settings, const std::string& assignments, ParamRecord& record,
                        std::string* error) {
    cli::SettingsOptions options;
    std::istringstream lines(assignments);
    for (std::string line; std::getline(lines, line);) {
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
        if (!line.empty()) options.assignments.push_back(line);
    }
    ParamRecord r = defaultRecord();
    std::string why;
    if (startsWithBrace(settings)) {
        if (!cli::parseSettingsJson(settings, r, &why)) return fail(error, "the settings text: " + why);
        if (!cli::applyAssignments(r, options.assignments, error)) return false;
        record = r;
        return true;
    }
    if (!settings.empty()) {
        if (!platform::fileExists(settings) || platform::isFolder(settings))
            return fail(error, "no settings file \"" + settings + "\"");
        // A JSON text starts with a brace; a settings file with its version word.
        std::vector<uint8_t> text;
        if (!platform::readFile(settings, text, cli::kMaxSettingsJsonBytes) ||
            !startsWithBrace(std::string(text.begin(), text.end())))
            options.preset = settings;
        else
            options.json = settings;
    }
    if (!cli::buildSettings(options, r, error)) return false;
    record = r;
    return true;
}

std::optional<ParamRecord> settingsFromLastValues(const std::vector<uint8_t>& descriptor,
                                                  const std::vector<uint8_t>& settingsFile) {
    ParamRecord cached = defaultRecord();
    const bool haveCached =
        !settingsFile.empty() && persist::decodeSettings(settingsFile.data(), settingsFile.size(),
                                                         persist::ReadMode::Load, &cached, nullptr) == platform::kFileOk;
    pi::MemoryDescriptor recorded;
    if (descriptor.empty() || !pi::decodeDescriptor(descriptor.data(), descriptor.size(), recorded))
        return haveCached ? std::optional<ParamRecord>(cached) : std::nullopt;
    return cli::mergeRecordedSettings(recorded, haveCached ? &cached : nullptr);
}

}  // namespace tv::gimp
