// terravane clouds: the satellite cloud catalogue from the command line.
//   clouds list                        entries, availability, addresses, list version
//   clouds fetch N [--cache-first]     download entry N, convert it and cache the map
//   clouds convert IMAGE --entry N     convert a local GIF or JPEG into entry N's cache
//   clouds update-list                 download the catalogue list from the list server
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "cli_common.h"
#include "clouds/cloud_chooser.h"
#include "clouds/cloud_convert.h"
#include "commands.h"
#include "platform/console.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/netrc.h"
#include "synth/pyramid.h"
#include "platform/interrupt.h"

namespace tv::cli {

namespace {

constexpr const char* kUsage =
    "usage: terravane clouds list\n"
    "       terravane clouds fetch N [--cache-first]\n"
    "       terravane clouds convert IMAGE --entry N\n"
    "       terravane clouds update-list\n"
    "\n"
    "  list              the satellite image catalogue: entries, addresses, cached maps\n"
    "  fetch N           download entry N's image, convert it into a cloud map and cache\n"
    "                    it (--cache-first: use the cached map when there is one)\n"
    "  convert IMAGE     convert a GIF or JPEG satellite image of the whole Earth disc,\n"
    "                    placed as entry N's images are, into entry N's cached map\n"
    "  update-list       download the catalogue's list from the list server\n"
    "\n"
    "Entries are numbered 0 to 11. A render uses a cached map with\n"
    "--set \"real clouds=1\" --set \"downloaded clouds=N\".\n";

int fail(const std::string& message) { return failWith("clouds", message); }

// A mistake in the command itself: one line, status 2.
int usageError(const std::string& message) { return cli::usageError("clouds", message); }

bool parseEntryIndex(std::string_view text, int& index) {
    if (text.empty() || text.size() > 2) return false;
    index = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        index = index * 10 + (c - '0');
    }
    return index < kListEntryCount;
}

// Warns about server overrides that are not base URLs (their entries cannot be fetched).
void warnAboutServers() {
    for (CloudServer s : {CloudServer::Image1, CloudServer::Image2, CloudServer::List}) {
        std::string problem;
        if (serverBase(s, &problem).empty()) std::fprintf(stderr, "terravane clouds: warning: %s\n", problem.c_str());
    }
}

// The download's progress on stderr when it is a terminal: a bar while the
// length is known, the byte count otherwise, and the status text. Drawn in
// place, ended with a new line. Ctrl-C cancels the download.
struct ProgressLine {
    bool enabled = platform::stderrIsTerminal();
    std::string label;
    std::string text = "--";
    int64_t received = 0, expected = -1;
    bool drawn = false;
    platform::InterruptWatch interrupt;

    void draw() {
        if (!enabled) return;
        constexpr int kWidth = 30;
        char bar[kWidth + 1];
        if (expected > 0) {
            const int filled = int(std::min<int64_t>(kWidth, received * kWidth / expected));
            for (int i = 0; i < kWidth; ++i) bar[i] = i < filled ? '#' : '-';
            bar[kWidth] = '\0';
            std::fprintf(stderr, "\r%s [%s] %-24s", label.c_str(), bar, text.c_str());
        } else {
            std::fprintf(stderr, "\r%s %lld bytes  %-24s", label.c_str(), static_cast<long long>(received),
                         text.c_str());
        }
        std::fflush(stderr);
        drawn = true;
    }
    void end() {
        if (drawn) std::fputc('\n', stderr);
        drawn = false;
    }
};

void onStatus(void* context, const char* text) {
    auto& line = *static_cast<ProgressLine*>(context);
    line.text = text;  // drawn with the next byte count
}

void onProgress(void* context, int64_t received, int64_t expected) {
    auto& line = *static_cast<ProgressLine*>(context);
    line.received = received;
    line.expected = expected;
    line.draw();
}

bool onCancelled(void* context) { return static_cast<ProgressLine*>(context)->interrupt.interrupted(); }

bool onCredentials(void*, bool proxy, const char* realm, std::string&, std::string&) {
    std::fprintf(stderr, "\nterravane clouds: the %s asks for a user name and password (\"%s\"); add them to ~/.netrc\n",
                 proxy ? "proxy" : "server", realm);
    return false;
}

DownloadHooks hooksFor(ProgressLine& line) {
    DownloadHooks hooks;
    hooks.context = &line;
    hooks.status = onStatus;
    hooks.progress = onProgress;
    hooks.credentials = onCredentials;
    hooks.cancelled = onCancelled;
    return hooks;
}

int runList() {
    warnAboutServers();
    CloudCatalogue catalogue;
    CloudFetchContext context;
    context.catalogue = &catalogue;
    ParamRecord params = defaultRecord();
    CloudChooser chooser;
    openChooser(chooser, context, params);
    std::printf("Cloud catalogue %s (%s)\n", chooser.versionLabel.c_str(),
                catalogue.listLoaded ? ("list file " + urlListPath()).c_str() : "built-in table");
    for (int i = 0; i < kListEntryCount; ++i) {
        if (!chooser.available[i]) {
            std::printf("%2d  unavailable\n", i);
            continue;
        }
        const bool cached = platform::fileExists(cacheFilePath(i));
        std::printf("%2d  available    %s%s\n    %s\n", i, chooser.names[i].c_str(), cached ? "  [cached]" : "",
                    platform::urlWithoutCredentials(chooser.urls[i]).c_str());
    }
    return 0;
}

int runFetch(int index, bool cacheFirst) {
    warnAboutServers();
    CloudCatalogue catalogue;
    ProgressLine line;
    const DownloadHooks hooks = hooksFor(line);
    CloudFetchContext context;
    context.catalogue = &catalogue;
    context.hooks = &hooks;
    ParamRecord params = defaultRecord();
    params.downloadedClouds = index;
    params.lastCloudImage = -1;
    CloudChooser chooser;
    openChooser(chooser, context, params);
    chooserSelect(chooser, index);
    if (chooser.selected != index || !chooser.available[index])
        return fail("entry " + std::to_string(index) + " is not in the catalogue " + chooser.versionLabel +
                    " (terravane clouds list shows the entries)");
    line.label = "entry " + std::to_string(index);
    CloudMap map;
    const ChooserOutcome outcome = chooserCommand(
        chooser, cacheFirst ? ChooserCommand::TryCacheFirst : ChooserCommand::Ok, context, map, params);
    line.end();
    if (outcome.status != 0 && line.interrupt.interrupted())
        return cancelledWith("clouds", "entry " + std::to_string(index) + ": cancelled; nothing was cached");
    if (outcome.status != 0)
        return fail("entry " + std::to_string(index) + " (" + chooser.names[index] + "): " + context.detail);
    std::printf("entry %d (%s): %d x %d cloud map %s %s\n", index, chooser.names[index].c_str(), map.width,
                map.height, line.received > 0 ? "cached in" : "loaded from",
                cacheFilePath(index).c_str());
    return 0;
}

// Whether the entry's disc lies inside the converted image and shows
// something; says what is wrong otherwise.
bool discFound(const CloudMap& map, const std::string& image, int index, std::string* problem) {
    const int32_t right = int32_t(map.discLeft + map.discWidth), bottom = int32_t(map.discTop + map.discHeight);
    const std::string where = "entry " + std::to_string(index) + " expects one (x " +
                              std::to_string(int32_t(map.discLeft)) + "-" + std::to_string(right) + ", y " +
                              std::to_string(int32_t(map.discTop)) + "-" + std::to_string(bottom) + ")";
    if (map.discLeft < 0 || map.discTop < 0 || right > map.width + 2 || bottom > map.height + 2) {
        *problem = "no Earth disc where " + where + ": \"" + image + "\" is only " + std::to_string(map.width) +
                   " x " + std::to_string(map.height) + " pixels";
        return false;
    }
    // A disc shows clouds and clear sky: a picture of one value is none.
    int lo = 255, hi = 0;
    const float cx = map.discLeft + map.discWidth / 2, cy = map.discTop + map.discHeight / 2;
    for (int32_t i = 0; i < 64; ++i)
        for (int32_t j = 0; j < 64; ++j) {
            const float u = (float(i) + 0.5f) / 64 - 0.5f, v = (float(j) + 0.5f) / 64 - 0.5f;
            if (u * u + v * v > 0.2f) continue;  // inside the disc
            const int value = int(getPixel(map.pyramid, 0, int32_t(cx + u * map.discWidth), int32_t(cy + v * map.discHeight)));
            lo = std::min(lo, value);
            hi = std::max(hi, value);
        }
    if (hi - lo < 2) {
        *problem = "no Earth disc where " + where + ": that part of \"" + image + "\" is one flat level";
        return false;
    }
    return true;
}

int runConvert(const std::string& image, int index) {
    CloudCatalogue catalogue;
    CatalogueEntry entry;
    if (const int rc = getEntry(catalogue, index, entry); rc != kCatalogueOk)
        return fail("entry " + std::to_string(index) + " is not in the catalogue " + versionLabel(catalogue));
    std::vector<uint8_t> data;
    platform::clearLastError();
    if (!platform::readFile(image, data)) return fail(cannotRead(image));
    CloudImageKind kind = imageKindOfData(data.data(), data.size());
    if (kind == CloudImageKind::None) kind = imageKindOfUrl(image.c_str());
    if (kind == CloudImageKind::None) return fail("\"" + image + "\" is neither a GIF nor a JPEG image");
    CloudMap map;
    const int converted = convertImageData(map, index, entry, data.data(), data.size(), kind);
    if (converted != kConvertOk)
        return fail("cannot convert \"" + image + (kind == CloudImageKind::Gif ? "\": not a readable GIF image"
                                                                               : "\": not a readable JPEG image") +
                    " (code " + std::to_string(converted) + ")");
    std::string problem;
    if (!discFound(map, image, index, &problem)) return fail(problem + "; nothing was cached");
    if (saveToCache(map, index) != kCacheOk) return fail(cannotWrite(cacheFilePath(index)));
    std::printf("entry %d (%s): %d x %d cloud map cached in %s\n", index, entry.name, map.width, map.height,
                cacheFilePath(index).c_str());
    return 0;
}

int runUpdateList() {
    const char* server = std::getenv(serverVariable(CloudServer::List));
    if (!server || !*server)
        return fail(std::string("no list server is configured: set ") + serverVariable(CloudServer::List) +
                    " to its base URL (http[s]://host[:port]), e.g. " + serverVariable(CloudServer::List) +
                    "=http://lists.example.org terravane clouds update-list");
    CloudCatalogue catalogue;
    ProgressLine line;
    line.label = "list";
    const DownloadHooks hooks = hooksFor(line);
    CloudFetchContext context;
    context.catalogue = &catalogue;
    context.hooks = &hooks;
    const int rc = updateUrlList(context);
    line.end();
    if (rc != 0 && line.interrupt.interrupted()) return cancelledWith("clouds", "cancelled; the list is unchanged");
    if (rc != 0) return fail("the list could not be updated: " + context.detail);
    int entries = 0;
    for (const CatalogueEntry& e : catalogue.list) entries += e.valid;
    std::printf("cloud catalogue %s: %d entries in %s\n", versionLabel(catalogue).c_str(), entries,
                urlListPath().c_str());
    return 0;
}

}  // namespace

int runClouds(int argc, char** argv) {
    if (argc < 2) return usageError("which clouds command?");
    const std::string_view command = argv[1];
    if (command == "--help" || command == "-h" || command == "help") {
        printHelp(stdout, kUsage);
        return kExitOk;
    }
    std::vector<std::string_view> args(argv + 2, argv + argc);
    for (std::string_view a : args)
        if (a == "--help" || a == "-h") {
            printHelp(stdout, kUsage);
            return kExitOk;
        }
    if (command == "list" || command == "update-list") {
        if (!args.empty()) return usageError("unexpected argument \"" + std::string(args[0]) + "\"");
        return command == "list" ? runList() : runUpdateList();
    }
    if (command == "fetch") {
        int index = -1;
        bool cacheFirst = false;
        for (std::string_view a : args) {
            if (a == "--cache-first")
                cacheFirst = true;
            else if (index < 0 && parseEntryIndex(a, index))
                continue;
            else
                return usageError("bad argument \"" + std::string(a) + "\" (an entry number 0 to 11 is expected)");
        }
        if (index < 0) return usageError("fetch needs an entry number 0 to 11");
        return runFetch(index, cacheFirst);
    }
    if (command == "convert") {
        int index = -1;
        std::string image;
        for (size_t i = 0; i < args.size(); ++i) {
            if (args[i].starts_with("--entry=")) {
                if (!parseEntryIndex(args[i].substr(8), index)) return usageError("--entry needs an entry number 0 to 11");
            } else if (args[i] == "--entry") {
                if (i + 1 >= args.size() || !parseEntryIndex(args[i + 1], index))
                    return usageError("--entry needs an entry number 0 to 11");
                ++i;
            } else if (image.empty() && !args[i].starts_with("--")) {
                image = args[i];
            } else {
                return usageError("unexpected argument \"" + std::string(args[i]) + "\"");
            }
        }
        if (image.empty()) return usageError("convert needs an image file");
        if (index < 0) return usageError("convert needs --entry N");
        return runConvert(image, index);
    }
    return usageError("unknown clouds command \"" + std::string(command) + "\"");
}

}  // namespace tv::cli
