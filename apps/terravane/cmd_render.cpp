// terravane render: renders a planet into an image file.
#include <cstdio>
#include <string>
#include <vector>

#include "cli_common.h"
#include "commands.h"
#include "image_io.h"
#include "platform/files.h"
#include "preset_io.h"
#include "render/jobs.h"
#include "render_image.h"

namespace tv::cli {

namespace {

constexpr const char* kCommand = "render";

void renderUsage(FILE* out) {
    std::fprintf(out,
                 "usage: terravane render [-o OUT] [--size WxH] [--depth 8|16|32] [--gray]\n"
                 "                        [--preset FILE.q1q] [--set \"NAME=VALUE\"]... [--threads N] [--quiet]\n"
                 "\n"
                 "  -o OUT        output file (default planet.png); the extension picks the format:\n"
                 "                .png (8/16 bits), .tif (8/16/32), .exr (32-bit float), .ppm, .pgm\n"
                 "  --size WxH    image size (default 1024x1024)\n"
                 "  --depth N     bits per channel (default 8; 32 for .exr)\n"
                 "  --gray        one grey channel\n"
                 "  --preset F    start from the settings file F instead of the defaults\n"
                 "  --set N=V     a setting by its scripting name, e.g. \"planet size=80\", \"glue=lit map\"\n"
                 "  --threads N   worker threads (default one per processor)\n"
                 "  --quiet       no progress bar\n");
}

}  // namespace

int runRender(int argc, char** argv) {
    std::string output = "planet.png";
    RenderRequest request;
    bool depthGiven = false, quiet = false;
    int32_t threads = 0;
    std::vector<std::string> assignments;
    std::string error, value, preset;

    ArgReader args(argc, argv);
    while (!args.done()) {
        const std::string_view opt = args.next();
        if (opt == "--help" || opt == "-h") {
            renderUsage(stdout);
            return 0;
        }
        if (opt == "--gray" || opt == "--grey") {
            request.grey = true;
        } else if (opt == "--quiet" || opt == "-q") {
            quiet = true;
        } else if (opt == "-o" || opt == "--size" || opt == "--depth" || opt == "--set" || opt == "--threads" ||
                   opt == "--preset") {
            if (!args.value(value)) return failWith(kCommand, std::string(opt) + " needs a value");
            bool ok = true;
            if (opt == "-o") {
                output = value;
            } else if (opt == "--size") {
                ok = parseSize(value, request.width, request.height, &error);
            } else if (opt == "--depth") {
                ok = parseDepth(value, request.depth, &error);
                depthGiven = true;
            } else if (opt == "--set") {
                assignments.push_back(value);
            } else if (opt == "--preset") {
                preset = value;
            } else {
                ok = parseThreads(value, threads, &error);
            }
            if (!ok) return failWith(kCommand, error);
        } else {
            return failWith(kCommand, "unknown option \"" + std::string(opt) + "\" (try terravane render --help)");
        }
    }

    ParamRecord record = defaultRecord();
    if (!preset.empty() && !loadPresetFile(preset, record, &error)) return failWith(kCommand, error);
    if (!applyAssignments(record, assignments, &error)) return failWith(kCommand, error);

    const ImageFormat format = formatForPath(output);
    if (format == ImageFormat::Unknown)
        return failWith(kCommand, "cannot tell the image type of \"" + output + "\" (use .png, .tif, .exr, .ppm or .pgm)");
    if (format == ImageFormat::Exr && !depthGiven) request.depth = 32;
    if (format == ImageFormat::Pgm) request.grey = true;
    if (!formatSupportsDepth(format, request.depth, &error)) return failWith(kCommand, error);

    // Find out now, not after the render, whether the output can be written.
    {
        platform::FileWriter probe;
        if (probe.open(output) != platform::kFileOk) return failWith(kCommand, "cannot write \"" + output + "\"");
        probe.abandon();
    }

    if (threads > 0) setForcedThreadCount(threads);
    ProgressBar bar(!quiet);
    request.progress = &bar;
    Image image;
    if (!renderImage(record, request, image, &error)) return failWith(kCommand, error);
    if (!writeImage(output, image, &error)) return failWith(kCommand, error);
    return 0;
}

}  // namespace tv::cli
