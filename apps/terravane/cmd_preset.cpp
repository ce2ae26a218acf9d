// terravane preset: settings files as JSON, saved with a rendered thumbnail,
// or diced into a random planet.
#include <charconv>
#include <cstdio>
#include <string>
#include <vector>

#include "cli_common.h"
#include "commands.h"
#include "json_writer.h"
#include "persist/dice.h"
#include "platform/clock.h"
#include "preset_io.h"

namespace tv::cli {

namespace {

constexpr const char* kCommand = "preset";

void presetUsage(FILE* out) {
    std::fprintf(out,
                 "usage: terravane preset show [FILE.q1q]\n"
                 "       terravane preset save -o FILE.q1q [--preset FILE.q1q] [--set \"NAME=VALUE\"]...\n"
                 "       terravane preset dice -o FILE.q1q [--seed N] [--preset FILE.q1q] [--set \"NAME=VALUE\"]...\n"
                 "\n"
                 "  show          print the settings of FILE (the defaults when none) as JSON\n"
                 "  save          write a settings file with a 128 x 128 thumbnail\n"
                 "  dice          random settings (planet size, lighting, axis, centre and output\n"
                 "                mode are kept), written like save\n"
                 "  -o FILE       the settings file to write\n"
                 "  --preset F    start from the settings of F instead of the defaults\n"
                 "  --set N=V     a setting by its scripting name, applied last\n"
                 "  --seed N      the random generator's seed (default: the time; printed)\n");
}

int show(int argc, char** argv) {
    ParamRecord record = defaultRecord();
    std::string error;
    if (argc > 3) return failWith(kCommand, "show takes at most one file");
    if (argc == 3 && (std::string(argv[2]) == "--help" || std::string(argv[2]) == "-h")) {
        presetUsage(stdout);
        return 0;
    }
    if (argc == 3 && !loadPresetFile(argv[2], record, &error)) return failWith(kCommand, error);
    const std::string json = settingsJson(record);
    std::fwrite(json.data(), 1, json.size(), stdout);
    return std::fflush(stdout) == 0 ? 0 : failWith(kCommand, "cannot write the settings to standard output");
}

bool parseSeed(std::string_view text, uint32_t& seed) {
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), seed);
    return ec == std::errc() && end == text.data() + text.size();
}

// save and dice: the same options; dice randomises before the assignments.
int write(int argc, char** argv, bool diceIt) {
    std::string output, preset, value, error;
    std::vector<std::string> assignments;
    uint32_t seed = 0;
    bool seedGiven = false;
    ArgReader args(argc - 1, argv + 1);
    while (!args.done()) {
        const std::string_view opt = args.next();
        if (opt == "--help" || opt == "-h") {
            presetUsage(stdout);
            return 0;
        }
        const bool takesValue = opt == "-o" || opt == "--preset" || opt == "--set" || (diceIt && opt == "--seed");
        if (!takesValue)
            return failWith(kCommand, "unknown option \"" + std::string(opt) + "\" (try terravane preset --help)");
        if (!args.value(value)) return failWith(kCommand, std::string(opt) + " needs a value");
        if (opt == "-o") {
            output = value;
        } else if (opt == "--preset") {
            preset = value;
        } else if (opt == "--set") {
            assignments.push_back(value);
        } else {
            if (!parseSeed(value, seed))
                return failWith(kCommand, "--seed needs a whole number from 0 to 4294967295, not \"" + value + "\"");
            seedGiven = true;
        }
    }
    if (output.empty()) return failWith(kCommand, std::string(argv[1]) + " needs -o FILE.q1q");

    ParamRecord record = defaultRecord();
    if (!preset.empty() && !loadPresetFile(preset, record, &error)) return failWith(kCommand, error);
    if (diceIt) {
        if (!seedGiven) {
            seed = static_cast<uint32_t>(platform::unixTime());
            std::printf("seed %u\n", seed);
        }
        persist::RandomSource rng;
        rng.seed(seed);
        persist::dice(record, rng);
    }
    if (!applyAssignments(record, assignments, &error)) return failWith(kCommand, error);
    if (!savePresetFile(output, record, &error)) return failWith(kCommand, error);
    return std::fflush(stdout) == 0 ? 0 : failWith(kCommand, "cannot write the seed to standard output");
}

}  // namespace

int runPreset(int argc, char** argv) {
    if (argc < 2) return failWith(kCommand, "expected a sub-command: show, save or dice");
    const std::string sub = argv[1];
    if (sub == "--help" || sub == "-h") {
        presetUsage(stdout);
        return 0;
    }
    if (sub == "show") return show(argc, argv);
    if (sub == "save") return write(argc, argv, false);
    if (sub == "dice") return write(argc, argv, true);
    return failWith(kCommand, "unknown sub-command \"" + sub + "\" (expected show, save or dice)");
}

}  // namespace tv::cli
