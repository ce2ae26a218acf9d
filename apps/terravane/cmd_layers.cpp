// terravane layers: writes every map of a planet as one layered document.
#include <cstdio>
#include <string>
#include <vector>

#include "cli_common.h"
#include "command_watch.h"
#include "commands.h"
#include "export/layers_export.h"
#include "export/psd_writer.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "preset_io.h"
#include "synth/jobs.h"
#include "render/render.h"

namespace tv::cli {

namespace {

constexpr const char* kCommand = "layers";

constexpr const char* kUsage =
    "usage: terravane layers -o FILE.psd [--size WxH] [--depth 8|16|32]\n"
    "                        [--preset FILE.q1q | --settings FILE.json|-] [--set \"NAME=VALUE\"]...\n"
    "                        [--threads N] [--quiet]\n"
    "\n"
    "  -o FILE.psd   the layered document to write (eleven layers, from \"lit map\" to \"mural\")\n"
    "  --size WxH    the size of every layer (default 1024x1024, at most 30000 a side)\n"
    "  --depth N     bits per channel (default 8)\n"
    "  --preset F    start from a settings file instead of the defaults\n"
    "  --settings F  start from settings as JSON (\"-\": standard input)\n"
    "  --set N=V     a setting by name (terravane params lists them), applied last\n"
    "  --threads N   worker threads (default one per processor)\n"
    "  --quiet       no progress bar\n"
    "\n"
    "Ctrl-C stops the export; an existing FILE.psd is then left as it was.\n";

std::string exportErrorText(int32_t code, const std::string& path) {
    switch (code) {
    case platform::kFileOpenError: {
        const std::string why = platform::lastErrorText();
        return "cannot create \"" + path + "\"" + (why.empty() ? "" : ": " + why);
    }
    case platform::kFileWriteError: {
        const std::string why = platform::lastErrorText();
        return "could not write \"" + path + "\"" + (why.empty() ? "" : ": " + why) + " (it is left as it was)";
    }
    case kExportFailed:
        return "the render buffers could not be set up";
    case -128:
        return "cancelled";
    default:
        return "the render failed (result " + std::to_string(code) + ")";
    }
}

}  // namespace

int runLayers(int argc, char** argv) {
    std::string output, error, value;
    int32_t width = 1024, height = 1024, depth = 8, threads = 0;
    bool quiet = false;
    SettingsOptions settings;

    ArgReader args(argc, argv);
    while (!args.done()) {
        const std::string_view opt = args.next();
        if (opt == "--help" || opt == "-h") {
            printHelp(stdout, kUsage);
            return kExitOk;
        }
        if (opt == "--quiet" || opt == "-q") {
            quiet = true;
            continue;
        }
        if (opt != "-o" && opt != "--size" && opt != "--depth" && opt != "--preset" && opt != "--settings" &&
            opt != "--set" && opt != "--threads")
            return usageError(kCommand, "unknown option \"" + std::string(opt) + "\"");
        if (!args.value(value)) return usageError(kCommand, std::string(opt) + " needs a value");
        bool ok = true;
        if (opt == "-o") {
            output = value;
        } else if (opt == "--size") {
            ok = parseSize(value, width, height, &error);
        } else if (opt == "--depth") {
            ok = parseDepth(value, depth, &error);
        } else if (opt == "--preset") {
            settings.preset = value;
        } else if (opt == "--settings") {
            settings.json = value;
        } else if (opt == "--set") {
            settings.assignments.push_back(value);
        } else {
            ok = parseThreads(value, threads, &error);
        }
        if (!ok) return usageError(kCommand, error);
    }
    if (!args.error().empty()) return usageError(kCommand, args.error());
    if (output.empty()) return usageError(kCommand, "no output file (use -o FILE.psd)");
    if (!hasExtension(output, {".psd"}))
        return usageError(kCommand, "\"" + output + "\" is not a layered document name (it must end in .psd)");
    if (width > kPsdMaxSide || height > kPsdMaxSide)
        return usageError(kCommand, "a layered document holds at most " + std::to_string(kPsdMaxSide) + " pixels a side");

    ParamRecord params = defaultRecord();
    if (!buildSettings(settings, params, &error)) return failWith(kCommand, error);

    if (threads > 0) setForcedThreadCount(threads);
    StateBlock state{};
    params.stateBlock = &state;
    Engine engine;
    initEngine(engine, &params, &state);
    CommandWatch watch(!quiet);
    LayersRequest request;
    request.width = width;
    request.height = height;
    request.depthBits = depth;
    request.progress = {&watch, CommandWatch::progress, CommandWatch::interrupted};
    platform::clearLastError();
    const int32_t rc = exportLayers(engine, output, request);
    if (rc == -128) return cancelledWith(kCommand, "cancelled; \"" + output + "\" is left as it was");
    if (rc != 0) return failWith(kCommand, exportErrorText(rc, output));
    watch.bar.finish();
    return kExitOk;
}

}  // namespace tv::cli
