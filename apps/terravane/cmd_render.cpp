// terravane render: a silent filter run through the plug-in module, the way a
// paint program asks for one, written to an image file.
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "cli_common.h"
#include "commands.h"
#include "image_io.h"
#include "platform/files.h"
#include "platform/interrupt.h"
#include "plugin_render.h"
#include "preset_io.h"
#include "render_stream.h"

namespace tv::cli {

namespace {

constexpr const char* kCommand = "render";

void renderUsage(FILE* out) {
    std::fprintf(out,
                 "usage: terravane render [-o OUT] [--size WxH] [--depth 8|16|32] [--gray] [--source IMAGE]\n"
                 "                        [--mask IMAGE] [--layer] [--preset FILE.q1q] [--set \"NAME=VALUE\"]...\n"
                 "                        [--defaults] [--threads N] [--quiet]\n"
                 "\n"
                 "  -o OUT          output file (default planet.png); the extension picks the format:\n"
                 "                  .png (8/16 bits), .tif (8/16/32), .exr (32-bit float), .ppm, .pgm\n"
                 "  --size WxH      image size (default: the source's, else 1024x1024)\n"
                 "  --depth N       bits per channel (default: the source's, else 8; 32 for .exr)\n"
                 "  --gray          one grey channel (also when the source is grey)\n"
                 "  --source IMAGE  the image to filter (.png, .tif, .ppm, .pgm); \"glue=composite\"\n"
                 "                  lays the planet over it\n"
                 "  --mask IMAGE    a selection of the image's size: white selected, black not\n"
                 "  --layer         the image has an editable transparency plane (the source's alpha;\n"
                 "                  without a source it starts transparent)\n"
                 "  --preset F      settings from the settings file F\n"
                 "  --set N=V       a setting by its scripting name, e.g. \"planet size=80\", \"glue=lit map\"\n"
                 "  --defaults      the default settings\n"
                 "                  (--preset, --set and --defaults start from the defaults; without\n"
                 "                  any of them the last run's settings play again)\n"
                 "  --threads N     worker threads (default one per processor)\n"
                 "  --quiet         no progress bar\n");
}

bool readInput(const char* what, const std::string& path, std::optional<Image>& image, std::string* error) {
    Image read;
    std::string why;
    if (!readImage(path, read, &why)) {
        if (error) *error = std::string(what) + ": " + why;
        return false;
    }
    image = std::move(read);
    return true;
}

}  // namespace

int runRender(int argc, char** argv) {
    std::string output = "planet.png";
    PluginRenderRequest request;
    bool depthGiven = false, quiet = false, defaults = false;
    std::vector<std::string> assignments;
    std::string error, value, preset, sourcePath, maskPath;

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
        } else if (opt == "--layer") {
            request.layer = true;
        } else if (opt == "--defaults") {
            defaults = true;
        } else if (opt == "-o" || opt == "--size" || opt == "--depth" || opt == "--set" || opt == "--threads" ||
                   opt == "--preset" || opt == "--source" || opt == "--mask") {
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
            } else if (opt == "--source") {
                sourcePath = value;
            } else if (opt == "--mask") {
                maskPath = value;
            } else {
                ok = parseThreads(value, request.threads, &error);
            }
            if (!ok) return failWith(kCommand, error);
        } else {
            return failWith(kCommand, "unknown option \"" + std::string(opt) + "\" (try terravane render --help)");
        }
    }

    // The settings to play: built from the defaults, a settings file and the
    // assignments; with none of them the last run's settings play again.
    if (defaults || !preset.empty() || !assignments.empty()) {
        ParamRecord record = defaultRecord();
        if (!preset.empty() && !loadPresetFile(preset, record, &error)) return failWith(kCommand, error);
        if (!applyAssignments(record, assignments, &error)) return failWith(kCommand, error);
        request.settings = descriptorOf(record);
    }

    const ImageFormat format = formatForPath(output);
    if (format == ImageFormat::Unknown)
        return failWith(kCommand, "cannot tell the image type of \"" + output + "\" (use .png, .tif, .exr, .ppm or .pgm)");
    if (format == ImageFormat::Pgm) request.grey = true;
    if (request.layer && (format == ImageFormat::Ppm || format == ImageFormat::Pgm))
        return failWith(kCommand, std::string(formatName(format)) +
                                      " files hold no transparency plane (use .png, .tif or .exr with --layer)");

    // The source is read a band at a time as the render goes (only its header now).
    std::optional<Image> mask;
    ImageReader source;
    if (!sourcePath.empty()) {
        std::string why;
        if (!source.open(sourcePath, &why)) return failWith(kCommand, "--source: " + why);
        request.sourceReader = &source;
    }
    if (!maskPath.empty() && !readInput("--mask", maskPath, mask, &error)) return failWith(kCommand, error);
    request.mask = mask ? &*mask : nullptr;

    // The depth: as given, else the source's when the file can hold it.
    if (!depthGiven) {
        request.depth = format == ImageFormat::Exr ? 32 : (request.sourceReader ? source.depth() : 8);
        if (!formatSupportsDepth(format, request.depth, nullptr)) request.depth = 16;
    }
    HostImageShape shape;
    if (!resolveHostImage(request, shape, &error)) return failWith(kCommand, error);
    if (!formatSupportsDepth(format, shape.depth, &error)) return failWith(kCommand, error);

    // Find out now, not after the render, whether the output can be written.
    {
        platform::FileWriter probe;
        if (probe.open(output) != platform::kFileOk) return failWith(kCommand, "cannot write \"" + output + "\"");
        probe.abandon();
    }

    ProgressBar bar(!quiet);
    request.progress = &bar;
    // Ctrl-C cancels the render and the write until the file is put in place;
    // an existing file stays as it was.
    platform::InterruptWatch interrupt;
    request.interrupt = &interrupt;
    std::string warning;
    StreamedRender outcome;
    const bool written = renderToFile(request, output, format, outcome, &error, &warning);
    if (!warning.empty()) std::fprintf(stderr, "terravane %s: warning: %s\n", kCommand, warning.c_str());
    if (outcome.cancelled) {
        std::fprintf(stderr, "terravane %s: %s\n", kCommand, error.c_str());
        return kExitCancelled;
    }
    if (!written) return failWith(kCommand, error);
    return 0;
}

}  // namespace tv::cli
