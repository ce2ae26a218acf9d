// terravane edit: an interactive filter run, as a paint program makes one: the
// plug-in's dialog with its live preview, then (on OK) the render into the
// image, written to a file. --replay drives the dialog from an events file
// through the headless window peer instead of a window on the screen.
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "cli_common.h"
#include "commands.h"
#include "image_io.h"
#include "platform/environment.h"
#include "platform/files.h"
#include "platform/interrupt.h"
#include "platform/window.h"
#include "plugin_render.h"
#include "preset_io.h"
#include "ui/replay.h"

namespace tv::cli {

namespace {

constexpr const char* kCommand = "edit";

void editUsage(FILE* out) {
    std::fprintf(out,
                 "usage: terravane edit [IMAGE] [-o OUT] [--size WxH] [--depth 8|16|32] [--gray] [--layer]\n"
                 "                      [--preset FILE.q1q] [--set \"NAME=VALUE\"]... [--defaults] [--threads N]\n"
                 "                      [--quiet] [--replay EVENTS [--screenshot FILE.png]]\n"
                 "\n"
                 "  IMAGE           the image to filter (its size and depth are the defaults)\n"
                 "  -o OUT          output file (default: IMAGE's name with \"-planet\", else planet.png)\n"
                 "  --replay F      drive the dialog from the events file F, without a display\n"
                 "  --screenshot P  with --replay: the dialog as a PNG picture when the replay ends\n"
                 "  other options as for terravane render; OK renders and writes OUT, Cancel writes\n"
                 "  nothing (exit status 1)\n");
}

// IMAGE's name with "-planet" before its extension.
std::string defaultOutput(const std::string& image) {
    if (image.empty()) return "planet.png";
    const std::string ext = platform::extensionOf(image);
    return image.substr(0, image.size() - ext.size()) + "-planet" + (ext.empty() ? ".png" : ext);
}

// A usage error: one line, exit status 2.
int usageError(const std::string& message) {
    failWith(kCommand, message);
    return 2;
}

}  // namespace

int runEdit(int argc, char** argv) {
    std::string output, imagePath, replay, screenshot, preset, value, error;
    PluginRenderRequest request;
    request.interactive = true;
    bool depthGiven = false, quiet = false, defaults = false;
    std::vector<std::string> assignments;

    ArgReader args(argc, argv);
    while (!args.done()) {
        const std::string_view opt = args.next();
        if (opt == "--help" || opt == "-h") {
            editUsage(stdout);
            return 0;
        }
        if (opt == "--gray" || opt == "--grey") {
            request.grey = true;
        } else if (opt == "--layer") {
            request.layer = true;
        } else if (opt == "--quiet" || opt == "-q") {
            quiet = true;
        } else if (opt == "--defaults") {
            defaults = true;
        } else if (opt == "-o" || opt == "--size" || opt == "--depth" || opt == "--set" || opt == "--preset" ||
                   opt == "--threads" || opt == "--replay" || opt == "--screenshot") {
            if (!args.value(value)) return usageError(std::string(opt) + " needs a value");
            bool ok = true;
            if (opt == "-o")
                output = value;
            else if (opt == "--size")
                ok = parseSize(value, request.width, request.height, &error);
            else if (opt == "--depth")
                ok = depthGiven = parseDepth(value, request.depth, &error);
            else if (opt == "--set")
                assignments.push_back(value);
            else if (opt == "--preset")
                preset = value;
            else if (opt == "--threads")
                ok = parseThreads(value, request.threads, &error);
            else if (opt == "--replay")
                replay = value;
            else
                screenshot = value;
            if (!ok) return usageError(error);
        } else if (!opt.empty() && opt[0] != '-' && imagePath.empty()) {
            imagePath = std::string(opt);
        } else {
            return usageError("unknown option \"" + std::string(opt) + "\" (try terravane edit --help)");
        }
    }
    if (!screenshot.empty() && replay.empty()) return usageError("--screenshot needs --replay");

    // The dialog's peer: the events file's replay, or a window on the display.
    if (!replay.empty()) {
        std::vector<uint8_t> bytes;
        std::vector<ui::ReplayStep> steps;
        if (!platform::readFile(replay, bytes, ui::kReplayMaxBytes))
            return usageError("cannot read the events file \"" + replay + "\"");
        if (!ui::parseReplay(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), steps,
                             &error))
            return usageError(replay + ": " + error);
        platform::setEnvironmentValue("TERRAVANE_DIALOG_REPLAY", replay);
        if (!screenshot.empty())
            platform::setEnvironmentValue("TERRAVANE_DIALOG_SCREENSHOT", screenshot);
        else
            platform::unsetEnvironmentValue("TERRAVANE_DIALOG_SCREENSHOT");
    } else {
        platform::unsetEnvironmentValue("TERRAVANE_DIALOG_REPLAY");
        platform::unsetEnvironmentValue("TERRAVANE_DIALOG_PEER");
        std::string why;
        if (!platform::nativeWindowsAvailable(&why))
            return usageError("cannot show the dialog: " + why + " (use --replay to run without one)");
    }

    if (defaults || !preset.empty() || !assignments.empty()) {
        ParamRecord record = defaultRecord();
        if (!preset.empty() && !loadPresetFile(preset, record, &error)) return failWith(kCommand, error);
        if (!applyAssignments(record, assignments, &error)) return failWith(kCommand, error);
        request.settings = descriptorOf(record);
    }

    if (output.empty()) output = defaultOutput(imagePath);
    const ImageFormat format = formatForPath(output);
    if (format == ImageFormat::Unknown)
        return failWith(kCommand,
                        "cannot tell the image type of \"" + output + "\" (use .png, .tif, .exr, .ppm or .pgm)");
    if (format == ImageFormat::Pgm) request.grey = true;
    std::optional<Image> source;
    if (!imagePath.empty()) {
        Image read;
        if (!readImage(imagePath, read, &error)) return failWith(kCommand, imagePath + ": " + error);
        source = std::move(read);
    }
    request.source = source ? &*source : nullptr;
    if (!depthGiven) {
        request.depth = format == ImageFormat::Exr ? 32 : (source ? source->depth : 8);
        if (!formatSupportsDepth(format, request.depth, nullptr)) request.depth = 16;
    }
    HostImageShape shape;
    if (!resolveHostImage(request, shape, &error)) return failWith(kCommand, error);
    if (!formatSupportsDepth(format, shape.depth, &error)) return failWith(kCommand, error);
    {
        platform::FileWriter probe;
        if (probe.open(output) != platform::kFileOk) return failWith(kCommand, "cannot write \"" + output + "\"");
        probe.abandon();
    }

    ProgressBar bar(!quiet);
    request.progress = &bar;
    platform::InterruptWatch interrupt;
    request.interrupt = &interrupt;
    Image image;
    std::string warning;
    const bool rendered = renderThroughPlugin(request, image, &error, &warning);
    if (!warning.empty()) std::fprintf(stderr, "terravane %s: warning: %s\n", kCommand, warning.c_str());
    if (!rendered) return failWith(kCommand, error);
    if (!writeImage(output, image, &error)) return failWith(kCommand, error);
    return 0;
}

}  // namespace tv::cli
