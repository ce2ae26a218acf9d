// terravane layers: writes every map of a planet as one layered document.
#include <cstdio>
#include <string>
#include <vector>

#include "cli_common.h"
#include "command_watch.h"
#include "commands.h"
#include "export/layers_export.h"
#include "export/psd_writer.h"
#include "platform/files.h"
#include "preset_io.h"
#include "synth/jobs.h"
#include "render/render.h"

namespace tv::cli {

namespace {

constexpr const char* kCommand = "layers";

void layersUsage(FILE* out) {
    std::fprintf(out,
                 "usage: terravane layers -o FILE.psd [--size WxH] [--depth 8|16|32] [--preset FILE.q1q]\n"
                 "                        [--set \"NAME=VALUE\"]... [--threads N] [--quiet]\n"
                 "\n"
                 "  -o FILE.psd   the layered document to write (eleven layers, from \"lit map\" to \"mural\")\n"
                 "  --size WxH    the size of every layer (default 1024x1024, at most 30000 a side)\n"
                 "  --depth N     bits per channel (default 8)\n"
                 "  --preset F    start from a settings file instead of the defaults\n"
                 "  --set N=V     a setting by its scripting name, applied after the preset\n"
                 "  --threads N   worker threads (default one per processor)\n"
                 "  --quiet       no progress bar\n"
                 "\n"
                 "Ctrl-C stops the export; an existing FILE.psd is then left as it was.\n");
}

std::string exportErrorText(int32_t code, const std::string& path) {
    switch (code) {
    case platform::kFileOpenError:
        return "cannot create \"" + path + "\"";
    case platform::kFileWriteError:
        return "could not write \"" + path + "\" (it is left as it was)";
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
    std::string output, preset, error, value;
    int32_t width = 1024, height = 1024, depth = 8, threads = 0;
    bool quiet = false;
    std::vector<std::string> assignments;

    ArgReader args(argc, argv);
    while (!args.done()) {
        const std::string_view opt = args.next();
        if (opt == "--help" || opt == "-h") {
            layersUsage(stdout);
            return 0;
        }
        if (opt == "--quiet" || opt == "-q") {
            quiet = true;
            continue;
        }
        if (opt != "-o" && opt != "--size" && opt != "--depth" && opt != "--preset" && opt != "--set" &&
            opt != "--threads")
            return failWith(kCommand, "unknown option \"" + std::string(opt) + "\" (try terravane layers --help)");
        if (!args.value(value)) return failWith(kCommand, std::string(opt) + " needs a value");
        bool ok = true;
        if (opt == "-o") {
            output = value;
        } else if (opt == "--size") {
            ok = parseSize(value, width, height, &error);
        } else if (opt == "--depth") {
            ok = parseDepth(value, depth, &error);
        } else if (opt == "--preset") {
            preset = value;
        } else if (opt == "--set") {
            assignments.push_back(value);
        } else {
            ok = parseThreads(value, threads, &error);
        }
        if (!ok) return failWith(kCommand, error);
    }
    if (output.empty()) return failWith(kCommand, "no output file (use -o FILE.psd)");
    if (width > kPsdMaxSide || height > kPsdMaxSide)
        return failWith(kCommand, "a layered document holds at most " + std::to_string(kPsdMaxSide) + " pixels a side");

    ParamRecord params = defaultRecord();
    if (!preset.empty() && !loadPresetFile(preset, params, &error)) return failWith(kCommand, error);
    if (!applyAssignments(params, assignments, &error)) return failWith(kCommand, error);

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
    const int32_t rc = exportLayers(engine, output, request);
    if (rc != 0) return failWith(kCommand, exportErrorText(rc, output));
    watch.bar.finish();
    return 0;
}

}  // namespace tv::cli
