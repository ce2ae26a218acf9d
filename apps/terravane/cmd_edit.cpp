// terravane edit: an interactive filter run, as a paint program makes one: the
// plug-in's dialog with its live preview, then (on OK) the render into the
// image, written to a file. It takes render's options; --replay drives the
// dialog from an events file through the headless window peer instead of a
// window on the screen.
#include <cstdio>
#include <string>
#include <vector>

#include "cli_common.h"
#include "commands.h"
#include "image_io.h"
#include "platform/environment.h"
#include "platform/files.h"
#include "platform/window.h"
#include "ui/replay.h"

namespace tv::cli {

namespace {

constexpr const char* kCommand = "edit";

void editUsage(FILE* out) {
    std::fprintf(out,
                 "usage: terravane edit [IMAGE] [-o OUT] [render's options] [--replay EVENTS [--screenshot FILE.png]]\n"
                 "\n"
                 "  IMAGE           the image to filter (as --source; its size and depth are the defaults)\n"
                 "  -o OUT          output file (default: IMAGE's name with \"-planet\", else planet.png)\n"
                 "  --replay F      drive the dialog from the events file F, without a display\n"
                 "  --screenshot P  with --replay: the dialog as a PNG picture when the replay ends\n"
                 "\n"
                 "OK renders and writes OUT; Cancel writes nothing (exit status 1). The other options\n"
                 "are render's (terravane render --help).\n");
}

// A usage error: one line, exit status 2.
int usageError(const std::string& message) {
    failWith(kCommand, message);
    return 2;
}

// IMAGE's name with "-planet" before its extension (".png" for a type that is
// read but not written, such as JPEG).
std::string defaultOutput(const std::string& image) {
    if (image.empty()) return "planet.png";
    const std::string ext = platform::extensionOf(image);
    const ImageFormat format = formatForPath(image);
    const bool written = format != ImageFormat::Unknown && format != ImageFormat::Jpeg;
    return image.substr(0, image.size() - ext.size()) + "-planet" + (written ? ext : ".png");
}

// Render's options that take a value (so that it is not taken for IMAGE).
bool takesValue(std::string_view opt) {
    for (const char* o : {"-o", "--size", "--depth", "--set", "--threads", "--preset", "--settings", "--source", "--mask",
                          "--format"})
        if (opt == o) return true;
    return false;
}

}  // namespace

int runEdit(int argc, char** argv) {
    std::string image, replay, screenshot;
    bool outputGiven = false;
    std::vector<std::string> rest{kCommand};
    for (int i = 1; i < argc; ++i) {
        const std::string_view opt = argv[i];
        if (opt == "--help" || opt == "-h") {
            editUsage(stdout);
            return 0;
        }
        if (opt == "--replay" || opt == "--screenshot") {
            if (i + 1 >= argc) return usageError(std::string(opt) + " needs a value");
            (opt == "--replay" ? replay : screenshot) = argv[++i];
        } else if (takesValue(opt) && i + 1 < argc) {
            outputGiven = outputGiven || opt == "-o";
            rest.push_back(argv[i]);
            rest.push_back(argv[++i]);
        } else if (!opt.empty() && opt[0] != '-' && image.empty()) {
            image = std::string(opt);
        } else {
            rest.push_back(argv[i]);
        }
    }
    if (!screenshot.empty() && replay.empty()) return usageError("--screenshot needs --replay");

    // The dialog's peer: the events file's replay, or a window on the display.
    if (!replay.empty()) {
        std::vector<uint8_t> bytes;
        std::vector<ui::ReplayStep> steps;
        std::string error;
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

    if (!image.empty()) rest.insert(rest.end(), {"--source", image});
    if (!outputGiven) rest.insert(rest.end(), {"-o", defaultOutput(image)});
    std::vector<char*> args;
    for (std::string& a : rest) args.push_back(a.data());
    return runFilterCommand(int(args.size()), args.data(), kCommand, true);
}

}  // namespace tv::cli
