// terravane preset: settings files as JSON, saved with a rendered thumbnail,
// or diced into a random planet.
#include <charconv>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "cli_common.h"
#include "commands.h"
#include "json_writer.h"
#include "persist/dice.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "played_settings.h"
#include "preset_io.h"

namespace tv::cli {

namespace {

constexpr const char* kCommand = "preset";

constexpr const char* kUsage =
    "usage: terravane preset show [FILE.q1q | --last]\n"
    "       terravane preset save -o FILE.q1q [--preset FILE.q1q | --settings FILE.json|-]\n"
    "                             [--set \"NAME=VALUE\"]...\n"
    "       terravane preset dice -o FILE.q1q [--seed N] [--preset FILE.q1q | --settings FILE.json|-]\n"
    "                             [--set \"NAME=VALUE\"]...\n"
    "\n"
    "  show          print the settings of FILE (the defaults when none) as JSON; render,\n"
    "                layers and preset save take it back whole with --settings\n"
    "  show --last   the settings the last render played\n"
    "  save          write a settings file with a 128 x 128 thumbnail\n"
    "  dice          random settings (planet size, lighting, axis, centre and output\n"
    "                mode are kept), written like save\n"
    "  -o FILE.q1q   the settings file to write\n"
    "  --preset F    start from the settings of F instead of the defaults\n"
    "  --settings F  start from settings as JSON (\"-\": standard input)\n"
    "  --set N=V     a setting by name (terravane params lists them), applied last\n"
    "  --seed N      the random generator's seed (default: the time; printed)\n";

int printJson(const ParamRecord& record) {
    const std::string json = settingsJson(record);
    std::fwrite(json.data(), 1, json.size(), stdout);
    return std::fflush(stdout) == 0 ? kExitOk : failWith(kCommand, "cannot write the settings to standard output");
}

int show(int argc, char** argv) {
    ParamRecord record = defaultRecord();
    std::string error, file;
    bool last = false;
    ArgReader args(argc - 1, argv + 1);
    while (!args.done()) {
        const std::string_view opt = args.next();
        if (opt == "--help" || opt == "-h") {
            printHelp(stdout, kUsage);
            return kExitOk;
        }
        if (opt == "--last") {
            last = true;
        } else if (!opt.starts_with("-") && file.empty()) {
            file = opt;
        } else {
            return usageError(kCommand, "unexpected \"" + std::string(opt) + "\" (show takes at most one file, or --last)");
        }
    }
    if (!args.error().empty()) return usageError(kCommand, args.error());
    if (last && !file.empty()) return usageError(kCommand, "show takes a file or --last, not both");
    if (last) {
        std::string warning;
        const std::optional<ParamRecord> played = lastRunSettings(&warning);
        if (!warning.empty()) std::fprintf(stderr, "terravane %s: warning: %s\n", kCommand, warning.c_str());
        if (!played)
            return failWith(kCommand, "no render has run yet with the working folder \"" +
                                          platform::workingFolder() + "\"");
        record = *played;
    } else if (!file.empty() && !loadPresetFile(file, record, &error)) {
        return failWith(kCommand, error);
    }
    return printJson(record);
}

bool parseSeed(std::string_view text, uint32_t& seed) {
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), seed);
    return ec == std::errc() && end == text.data() + text.size();
}

// save and dice: the same options; dice randomises before the assignments.
int write(int argc, char** argv, bool diceIt) {
    std::string output, value, error;
    SettingsOptions settings;
    uint32_t seed = 0;
    bool seedGiven = false;
    ArgReader args(argc - 1, argv + 1);
    while (!args.done()) {
        const std::string_view opt = args.next();
        if (opt == "--help" || opt == "-h") {
            printHelp(stdout, kUsage);
            return kExitOk;
        }
        const bool takesValue = opt == "-o" || opt == "--preset" || opt == "--settings" || opt == "--set" ||
                                (diceIt && opt == "--seed");
        if (!takesValue) return usageError(kCommand, "unknown option \"" + std::string(opt) + "\"");
        if (!args.value(value)) return usageError(kCommand, std::string(opt) + " needs a value");
        if (opt == "-o") {
            output = value;
        } else if (opt == "--preset") {
            settings.preset = value;
        } else if (opt == "--settings") {
            settings.json = value;
        } else if (opt == "--set") {
            settings.assignments.push_back(value);
        } else {
            if (!parseSeed(value, seed))
                return usageError(kCommand, "--seed needs a whole number from 0 to 4294967295, not \"" + value + "\"");
            seedGiven = true;
        }
    }
    if (!args.error().empty()) return usageError(kCommand, args.error());
    if (output.empty()) return usageError(kCommand, std::string(argv[1]) + " needs -o FILE.q1q");
    if (!hasExtension(output, {".q1q"}))
        return usageError(kCommand, "\"" + output + "\" is not a settings file name (it must end in .q1q)");

    ParamRecord record = defaultRecord();
    SettingsOptions base = settings;
    base.assignments.clear();
    if (!buildSettings(base, record, &error)) return failWith(kCommand, error);
    if (diceIt) {
        if (!seedGiven) {
            seed = static_cast<uint32_t>(platform::unixTime());
            std::printf("seed %u\n", seed);
        }
        persist::RandomSource rng;
        rng.seed(seed);
        persist::dice(record, rng);
    }
    if (!applyAssignments(record, settings.assignments, &error)) return failWith(kCommand, error);
    if (!savePresetFile(output, record, &error)) return failWith(kCommand, error);
    return std::fflush(stdout) == 0 ? kExitOk : failWith(kCommand, "cannot write the seed to standard output");
}

}  // namespace

int runPreset(int argc, char** argv) {
    if (argc < 2) return usageError(kCommand, "expected a sub-command: show, save or dice");
    const std::string sub = argv[1];
    if (sub == "--help" || sub == "-h") {
        printHelp(stdout, kUsage);
        return kExitOk;
    }
    if (sub == "show") return show(argc, argv);
    if (sub == "save") return write(argc, argv, false);
    if (sub == "dice") return write(argc, argv, true);
    return usageError(kCommand, "unknown sub-command \"" + sub + "\" (expected show, save or dice)");
}

}  // namespace tv::cli
