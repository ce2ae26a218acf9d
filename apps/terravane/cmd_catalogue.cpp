// terravane catalogue: HTML pages of thumbnails of a folder of presets or of
// the memory dots.
#include <cstdio>
#include <string>

#include "cli_common.h"
#include "command_watch.h"
#include "commands.h"
#include "export/catalogue.h"
#include "persist/memory_dots.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "synth/jobs.h"

namespace tv::cli {

namespace {

constexpr const char* kCommand = "catalogue";

constexpr const char* kUsage =
    "usage: terravane catalogue presets FOLDER -o PAGE.html [--threads N] [--quiet]\n"
    "       terravane catalogue dots -o PAGE.html [--threads N] [--quiet]\n"
    "\n"
    "  presets FOLDER  a page of every preset (\"*.q1q\") of the folder, five to a row\n"
    "  dots            a page of every kept memory dot, four to a row\n"
    "  -o PAGE.html    the page (.html or .htm); its thumbnails go to a \"web_images\"\n"
    "                  folder beside it\n"
    "  --threads N     worker threads (default one per processor)\n"
    "  --quiet         no progress bar\n";

std::string failureText(int32_t code, const std::string& page) {
    switch (code) {
    case platform::kFileOpenError: {
        const std::string why = platform::lastErrorText();
        return "cannot create \"" + page + "\" or its \"web_images\" folder" + (why.empty() ? "" : ": " + why);
    }
    case platform::kFileWriteError: {
        const std::string why = platform::lastErrorText();
        return "could not write \"" + page + "\" or one of its images" + (why.empty() ? "" : ": " + why);
    }
    case -128:
        return "cancelled";
    default:
        return "a thumbnail could not be rendered (result " + std::to_string(code) + ")";
    }
}

}  // namespace

int runCatalogue(int argc, char** argv) {
    std::string kind, folder, page, value, error;
    int32_t threads = 0;
    bool quiet = false;
    ArgReader args(argc, argv);
    while (!args.done()) {
        const std::string_view opt = args.next();
        if (opt == "--help" || opt == "-h") {
            printHelp(stdout, kUsage);
            return kExitOk;
        }
        if (opt == "--quiet" || opt == "-q") {
            quiet = true;
        } else if (opt == "-o" || opt == "--threads") {
            if (!args.value(value)) return usageError(kCommand, std::string(opt) + " needs a value");
            if (opt == "-o") {
                page = value;
            } else if (!parseThreads(value, threads, &error)) {
                return usageError(kCommand, error);
            }
        } else if (kind.empty() && (opt == "presets" || opt == "dots")) {
            kind = opt;
        } else if (kind == "presets" && folder.empty() && !opt.starts_with("-")) {
            folder = opt;
        } else {
            return usageError(kCommand, "unexpected \"" + std::string(opt) + "\"");
        }
    }
    if (!args.error().empty()) return usageError(kCommand, args.error());
    if (kind.empty()) return usageError(kCommand, "say which page: presets FOLDER or dots");
    if (kind == "presets" && folder.empty()) return usageError(kCommand, "presets needs the folder of the presets");
    if (page.empty()) return usageError(kCommand, "no page file (use -o PAGE.html)");
    if (!hasExtension(page, {".html", ".htm"}))
        return usageError(kCommand, "\"" + page + "\" is not a page name (it must end in .html or .htm)");
    if (kind == "presets" && !platform::isFolder(folder))
        return failWith(kCommand, "\"" + folder + "\" is not a folder");

    if (threads > 0) setForcedThreadCount(threads);
    CommandWatch watch(!quiet);  // Ctrl-C stops between thumbnails; no page is written
    const CatalogueProgress progress{&watch, CommandWatch::progressOf, CommandWatch::interrupted};
    CatalogueReport report;
    int32_t rc;
    platform::clearLastError();
    if (kind == "presets") {
        rc = writePresetsCatalogue(folder, page, engineThumbnailRenderer(), progress, &report);
    } else {
        StateBlock state{};
        persist::loadDotMap(state);
        persist::openDotDisplay(state);
        rc = writeMemoryDotsCatalogue(state, page, engineThumbnailRenderer(), progress, &report);
    }
    if (rc == -128) return cancelledWith(kCommand, "cancelled; no page was written");
    if (rc != 0) return failWith(kCommand, failureText(rc, page));
    watch.bar.finish();
    const bool presets = kind == "presets";
    for (const std::string& file : report.skippedFiles)
        std::fprintf(stderr, "terravane catalogue: warning: %s \"%s\" could not be read and is left out\n",
                     presets ? "the preset" : "the memory dot file", file.c_str());
    if (report.images == 0 && report.skippedFiles.empty())
        std::fprintf(stderr, "terravane catalogue: warning: %s, so the page \"%s\" is empty\n",
                     presets ? ("there are no presets (*.q1q) in \"" + folder + "\"").c_str() : "no memory dot is kept",
                     page.c_str());
    return kExitOk;
}

}  // namespace tv::cli
