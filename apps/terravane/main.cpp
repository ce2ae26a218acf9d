// terravane: the command-line host. It plays the part of a paint program
// for the plug-in module, and offers the engine's other commands.
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "cli_common.h"
#include "commands.h"
#include "platform/console.h"

#ifndef TV_VERSION
#define TV_VERSION "unknown"
#endif

namespace {

struct Command {
    const char* name;
    int (*run)(int, char**);
    const char* summary;
};

const Command kCommands[] = {
    {"render", tv::cli::runRender, "render a planet into an image file"},
    {"params", tv::cli::runParams, "list every setting name with its range, default and meaning"},
    {"edit", tv::cli::runEdit, "interactive run: the dialog, then the render"},
    {"preset", tv::cli::runPreset, "show, save or dice settings files"},
    {"layers", tv::cli::runLayers, "write every map of a planet as a layered document"},
    {"catalogue", tv::cli::runCatalogue, "write HTML pages of preset or memory-dot thumbnails"},
    {"clouds", tv::cli::runClouds, "satellite cloud images: list, fetch, convert, update-list"},
};

void usage(FILE* out) {
    std::fprintf(out, "usage: terravane COMMAND [options]\n       terravane --version\n\n"
                      "Makes planets: renders them through the Terravane filter module, as a paint\n"
                      "program would, and writes presets, layered documents and catalogue pages.\n\n"
                      "commands:\n");
    for (const auto& c : kCommands) std::fprintf(out, "  %-10s %s\n", c.name, c.summary);
    std::fprintf(out, "\nterravane COMMAND --help shows a command's options.\n");
    std::fputs(tv::cli::kEnvironmentHelp, out);
}

}  // namespace

int main(int argc, char** rawArgv) {
    tv::platform::useBinaryStandardStreams();
    // The arguments as UTF-8 (on Windows the system's own are in the ANSI code page).
    std::vector<std::string> arguments = tv::platform::commandLineArguments(argc, rawArgv);
    std::vector<char*> pointers;
    for (std::string& a : arguments) pointers.push_back(a.data());
    pointers.push_back(nullptr);
    argc = int(arguments.size());
    char** argv = pointers.data();
    if (argc < 2) {
        usage(stderr);
        return tv::cli::kExitUsage;
    }
    if (!std::strcmp(argv[1], "--version") || !std::strcmp(argv[1], "-V")) {
        std::printf("terravane %s\n", TV_VERSION);
        return tv::cli::kExitOk;
    }
    if (!std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h") || !std::strcmp(argv[1], "help")) {
        // "help COMMAND" is "COMMAND --help".
        if (argc > 2 && !std::strcmp(argv[1], "help"))
            for (const auto& c : kCommands)
                if (!std::strcmp(argv[2], c.name)) {
                    char help[] = "--help";
                    char* args[] = {argv[2], help, nullptr};
                    return c.run(2, args);
                }
        usage(stdout);
        return tv::cli::kExitOk;
    }
    for (const auto& c : kCommands)
        if (!std::strcmp(argv[1], c.name)) {
            try {
                return c.run(argc - 1, argv + 1);
            } catch (const std::bad_alloc&) {
                // Files being written are abandoned on the way out; the
                // message stays one line.
                std::fprintf(stderr, "terravane %s: not enough memory\n", c.name);
                return tv::cli::kExitFailure;
            }
        }
    std::fprintf(stderr, "terravane: unknown command \"%s\" (try terravane --help)\n", argv[1]);
    return tv::cli::kExitUsage;
}
