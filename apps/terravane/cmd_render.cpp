// terravane render: a silent filter run through the plug-in module, the way a
// paint program asks for one, written to an image file.
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "cli_common.h"
#include "clouds/cloud_cache.h"
#include "commands.h"
#include "image_io.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/interrupt.h"
#include "played_settings.h"
#include "plugin_render.h"
#include "render_stream.h"

namespace tv::cli {

namespace {

constexpr const char* kCommand = "render";

constexpr const char* kUsage =
    "usage: terravane render [-o OUT|-] [--format TYPE] [--size WxH] [--depth 8|16|32] [--gray]\n"
    "                        [--source IMAGE] [--mask IMAGE] [--layer]\n"
    "                        [--preset FILE.q1q | --settings FILE.json|- | --defaults]\n"
    "                        [--set \"NAME=VALUE\"]... [--threads N] [--quiet]\n"
    "\n"
    "A silent filter run of the plug-in module over an image, written to OUT.\n"
    "\n"
    "  -o OUT            output file (default planet.png), \"-\" for standard output; the\n"
    "                    extension picks the type: .png (8/16 bits), .tif (8/16/32),\n"
    "                    .exr (32-bit float), .ppm, .pgm\n"
    "  --format TYPE     png, tif, exr, ppm or pgm: the type when OUT has no extension\n"
    "                    or is \"-\" (there the default is png)\n"
    "  --size WxH        image size (default: the source's, else 1024x1024)\n"
    "  --depth N         bits per channel (default: the source's, else 8; 32 for .exr)\n"
    "  --gray            one grey channel (also when the source is grey)\n"
    "  --source IMAGE    the image to filter (PNG, TIFF, JPEG, PPM or PGM, recognised by\n"
    "                    content); \"glue=composite\" lays the planet over it\n"
    "  --mask IMAGE      a selection of the image's size: white selected, black not\n"
    "  --layer           the image has an editable transparency plane (the source's alpha;\n"
    "                    without a source it starts transparent)\n"
    "  --preset F        settings from the settings file F\n"
    "  --settings F      settings as JSON, as terravane preset show prints them (\"-\":\n"
    "                    standard input)\n"
    "  --defaults        the default settings\n"
    "  --set N=V         a setting by name (terravane params lists them), applied last:\n"
    "                    \"planet size=80\", \"glue=lit map\", \"land color=51200,30720,7680\"\n"
    "                    (--preset, --settings, --set and --defaults start from the\n"
    "                    defaults; without any of them the last run's settings play again)\n"
    "  --threads N       worker threads (default one per processor)\n"
    "  --quiet           no progress bar\n"
    "\n"
    "Ctrl-C cancels at any stage, the file write too; an existing OUT is then left as it\n"
    "was. Written to standard output (-o -), an image is sent as it is made: a cancel\n"
    "or a failure there leaves partial output in the pipe.\n";

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

int runRender(int argc, char** argv) { return runFilterCommand(argc, argv, kCommand, false); }

int runFilterCommand(int argc, char** argv, const char* command, bool interactive) {
    std::string output = "planet.png", formatText;
    PluginRenderRequest request;
    request.interactive = interactive;
    bool depthGiven = false, quiet = false, defaults = false;
    SettingsOptions settings;
    std::string error, value, sourcePath, maskPath;

    ArgReader args(argc, argv);
    while (!args.done()) {
        const std::string_view opt = args.next();
        if (opt == "--help" || opt == "-h") {
            printHelp(stdout, kUsage);
            return kExitOk;
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
                   opt == "--preset" || opt == "--settings" || opt == "--source" || opt == "--mask" ||
                   opt == "--format") {
            if (!args.value(value)) return usageError(command, std::string(opt) + " needs a value");
            bool ok = true;
            if (opt == "-o") {
                output = value;
            } else if (opt == "--size") {
                ok = parseSize(value, request.width, request.height, &error);
            } else if (opt == "--depth") {
                ok = parseDepth(value, request.depth, &error);
                depthGiven = true;
            } else if (opt == "--set") {
                settings.assignments.push_back(value);
            } else if (opt == "--preset") {
                settings.preset = value;
            } else if (opt == "--settings") {
                settings.json = value;
            } else if (opt == "--source") {
                sourcePath = value;
            } else if (opt == "--mask") {
                maskPath = value;
            } else if (opt == "--format") {
                formatText = value;
            } else {
                ok = parseThreads(value, request.threads, &error);
            }
            if (!ok) return usageError(command, error);
        } else {
            return usageError(command, "unknown option \"" + std::string(opt) + "\"");
        }
    }
    if (!args.error().empty()) return usageError(command, args.error());

    // The settings to play: built from the defaults, a settings file or JSON
    // and the assignments; with none of them the last run's settings again.
    std::string warning;
    auto warn = [&](const std::string& text) {
        if (!text.empty()) std::fprintf(stderr, "terravane %s: warning: %s\n", command, text.c_str());
    };
    ParamRecord played = defaultRecord();
    if (defaults || settings.given()) {
        if (!buildSettings(settings, played, &error)) return failWith(command, error);
    } else if (auto last = lastRunSettings(&warning)) {
        played = *last;
    }
    warn(warning);
    warning.clear();
    request.record = played;

    // The file type: --format, else the extension (standard output: PNG).
    ImageFormat format = formatForPath(output);
    if (!formatText.empty()) {
        const ImageFormat named = formatForName(formatText);
        if (named == ImageFormat::Unknown)
            return usageError(command, "unknown --format \"" + formatText + "\" (expected png, tif, exr, ppm or pgm)");
        if (format != ImageFormat::Unknown && format != named)
            return usageError(command, "--format " + formatText + " does not match the name \"" + output + "\"");
        format = named;
    } else if (output == "-") {
        format = ImageFormat::Png;
    }
    if (format == ImageFormat::Unknown)
        return usageError(command, "cannot tell the image type of \"" + output +
                                        "\" (use .png, .tif, .exr, .ppm, .pgm, .bmp or .pfm, or --format)");
    if (format == ImageFormat::Pgm) request.grey = true;
    if (request.layer && (format == ImageFormat::Ppm || format == ImageFormat::Pgm || format == ImageFormat::Pfm))
        return usageError(command, std::string(formatName(format)) +
                                        " files hold no transparency plane (use .png, .tif, .exr or .bmp with --layer)");

    // The source is read a band at a time as the render goes (only its header now).
    std::optional<Image> mask;
    ImageReader source;
    if (!sourcePath.empty()) {
        std::string why;
        if (!source.open(sourcePath, &why)) return failWith(command, "--source: " + why);
        request.sourceReader = &source;
    }
    if (!maskPath.empty() && !readInput("--mask", maskPath, mask, &error)) return failWith(command, error);
    request.mask = mask ? &*mask : nullptr;

    // The depth: as given, else the source's when the file can hold it.
    if (!depthGiven) {
        request.depth = format == ImageFormat::Exr || format == ImageFormat::Pfm
                            ? 32
                            : (request.sourceReader ? source.depth() : 8);
        if (!formatSupportsDepth(format, request.depth, nullptr)) request.depth = 16;
    }
    HostImageShape shape;
    if (!resolveHostImage(request, shape, &error)) return failWith(command, error);
    if (!formatSupportsDepth(format, shape.depth, &error)) return usageError(command, error);

    // Find out now, not after the render, whether the output can be written.
    if (output != "-") {
        platform::FileWriter probe;
        platform::clearLastError();
        if (probe.open(output) != platform::kFileOk) return failWith(command, cannotWrite(output));
        probe.abandon();
    }

    // Real clouds need a cloud map in the cache; without one the module
    // renders synthetic clouds.
    if (played.realClouds != 0 && !platform::fileExists(cacheFilePath(played.downloadedClouds)))
        warn("no cloud map is cached for \"downloaded clouds\" " + std::to_string(played.downloadedClouds) +
             " (terravane clouds fetch N or clouds convert IMAGE --entry N makes one): the planet gets "
             "synthetic clouds");

    ProgressBar bar(!quiet);
    request.progress = &bar;
    // Ctrl-C cancels the render and the write until the file is put in place;
    // an existing file stays as it was.
    platform::InterruptWatch interrupt;
    request.interrupt = &interrupt;
    StreamedRender outcome;
    const bool written = renderToFile(request, output, format, outcome, &error, &warning);
    warn(warning);
    if (outcome.cancelled) return cancelledWith(command, error);
    if (!written) return failWith(command, error);
    return kExitOk;
}

}  // namespace tv::cli
