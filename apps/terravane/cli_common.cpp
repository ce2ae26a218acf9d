#include "cli_common.h"

#include <charconv>
#include <cstdio>

#include <cctype>

#include "params/fields.h"
#include "image_io.h"
#include "platform/clock.h"
#include "platform/console.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "preset_io.h"
#include "settings_json.h"

namespace tv::cli {

namespace {

bool parsePositive(std::string_view s, int64_t& out) {
    if (s.empty()) return false;
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
    return ec == std::errc() && p == s.data() + s.size();
}

bool fail(std::string* error, const std::string& why) {
    if (error) *error = why;
    return false;
}

}  // namespace

bool ArgReader::done() {
    if (hasInline_) {
        error_ = option_ + " takes no value";
        hasInline_ = false;
        index_ = argc_;
    }
    return index_ >= argc_ || !error_.empty();
}

std::string_view ArgReader::next() {
    std::string arg = argv_[index_++];
    hasInline_ = false;
    const size_t eq = arg.find('=');
    if (arg.size() > 2 && arg[0] == '-' && eq != std::string::npos && eq > 1) {
        inline_ = arg.substr(eq + 1);
        arg.resize(eq);
        hasInline_ = true;
    }
    option_ = arg;
    return option_;
}

bool ArgReader::value(std::string& out) {
    if (hasInline_) {
        out = inline_;
        hasInline_ = false;
        return true;
    }
    if (index_ >= argc_) return false;
    out = argv_[index_++];
    return true;
}

const char* const kEnvironmentHelp =
    "\n"
    "environment:\n"
    "  TERRAVANE_HOME            the working folder: cached settings, memory dots, undo files,\n"
    "                            cloud caches, the URL list (default\n"
    "                            ${XDG_CACHE_HOME:-$HOME/.cache}/terravane/)\n"
    "  TERRAVANE_IMAGE_SERVER_1  base URL (http[s]://host[:port]) standing in for the first\n"
    "  TERRAVANE_IMAGE_SERVER_2  and second satellite image server of the cloud catalogue\n"
    "  TERRAVANE_LIST_SERVER     base URL of the server of the cloud catalogue's list\n"
    "                            (clouds update-list)\n"
    "\n"
    "exit status: 0 success, 1 failure, 2 usage error, 130 cancelled (Ctrl-C)\n";

void printHelp(FILE* out, const char* usage) {
    std::fputs(usage, out);
    std::fputs(kEnvironmentHelp, out);
}

bool parseSize(std::string_view text, int32_t& width, int32_t& height, std::string* error) {
    const size_t x = text.find_first_of("xX");
    int64_t w = 0, h = 0;
    if (x == std::string_view::npos || !parsePositive(text.substr(0, x), w) || !parsePositive(text.substr(x + 1), h))
        return fail(error, "bad size \"" + std::string(text) + "\" (expected WxH, e.g. 1024x1024)");
    if (w < 1 || h < 1) return fail(error, "bad size \"" + std::string(text) + "\": width and height must be at least 1");
    if (w > kMaxImageSide || h > kMaxImageSide || w * h > kMaxWrittenPixels)
        return fail(error, "size \"" + std::string(text) + "\" is too large");
    width = int32_t(w);
    height = int32_t(h);
    return true;
}

bool parseDepth(std::string_view text, int32_t& depth, std::string* error) {
    int64_t d = 0;
    if (!parsePositive(text, d) || (d != 8 && d != 16 && d != 32))
        return fail(error, "bad depth \"" + std::string(text) + "\" (expected 8, 16 or 32)");
    depth = int32_t(d);
    return true;
}

bool parseThreads(std::string_view text, int32_t& threads, std::string* error) {
    int64_t n = 0;
    if (!parsePositive(text, n) || n < 1 || n > 100)
        return fail(error, "bad thread count \"" + std::string(text) + "\" (expected 1 to 100)");
    threads = int32_t(n);
    return true;
}

bool applyAssignments(ParamRecord& record, const std::vector<std::string>& assignments, std::string* error) {
    for (const std::string& a : assignments)
        if (!applySettingAssignment(record, a, error)) return false;
    return true;
}

bool buildSettings(const SettingsOptions& options, ParamRecord& record, std::string* error) {
    if (!options.preset.empty() && !options.json.empty())
        return fail(error, "give the settings either as --preset or as --settings, not both");
    ParamRecord r = defaultRecord();
    if (!options.preset.empty() && !loadPresetFile(options.preset, r, error)) return false;
    if (!options.json.empty() && !readSettingsJson(options.json, r, error)) return false;
    if (!applyAssignments(r, options.assignments, error)) return false;
    record = r;
    return true;
}

int failWith(const char* command, const std::string& message) {
    std::fprintf(stderr, "terravane %s: %s\n", command, message.c_str());
    return kExitFailure;
}

int usageError(const char* command, const std::string& message) {
    std::fprintf(stderr, "terravane %s: %s (try terravane %s --help)\n", command, message.c_str(), command);
    return kExitUsage;
}

int cancelledWith(const char* command, const std::string& message) {
    std::fprintf(stderr, "terravane %s: %s\n", command, message.c_str());
    return kExitCancelled;
}

namespace {
std::string withReason(const char* verb, const std::string& path) {
    std::string why = platform::lastErrorText();
    if (platform::isFolder(path)) why = "it is a folder";
    return std::string("cannot ") + verb + " \"" + path + "\"" + (why.empty() ? "" : ": " + why);
}
}  // namespace

std::string cannotWrite(const std::string& path) { return withReason("write", path); }
std::string cannotRead(const std::string& path) { return withReason("read", path); }

bool hasExtension(const std::string& path, std::initializer_list<const char*> extensions) {
    std::string ext = platform::extensionOf(path);
    for (char& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
    for (const char* e : extensions)
        if (ext == e) return true;
    return false;
}

ProgressBar::ProgressBar(bool enabled)
    : enabled_(enabled && platform::stderrIsTerminal()), start_(platform::monotonicSeconds()) {}

ProgressBar::~ProgressBar() {
    if (drawn_) std::fputc('\n', stderr);
}

void ProgressBar::update(int32_t thousandths) {
    if (!enabled_) return;
    if (!drawn_ && platform::monotonicSeconds() - start_ < 1.0) return;
    if (thousandths < 0) thousandths = 0;
    if (thousandths > 1000) thousandths = 1000;
    constexpr int kWidth = 40;
    const int filled = thousandths * kWidth / 1000;
    char bar[kWidth + 1];
    for (int i = 0; i < kWidth; ++i) bar[i] = i < filled ? '#' : '.';
    bar[kWidth] = '\0';
    std::fprintf(stderr, "\r[%s] %3d%%", bar, thousandths / 10);
    std::fflush(stderr);
    drawn_ = true;
}

void ProgressBar::finish() {
    if (!drawn_) return;
    update(1000);
    std::fputc('\n', stderr);
    drawn_ = false;
}

}  // namespace tv::cli
