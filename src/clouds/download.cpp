#include "clouds/download.h"

#include <atomic>
#include <cstdio>

#include "platform/errors.h"
#include "platform/files.h"
#include "platform/http.h"

namespace tv {

namespace {

std::atomic<bool> gRunning{false};

struct Download {
    const DownloadHooks* hooks = nullptr;
    std::string path;
    platform::FileWriter file;
    bool fileFailed = false;
    std::string why;  // the system's reason, taken when the file failed
    int64_t announced = -1;  // the content length; -1 when there is none
    int64_t received = 0;
    std::string lastText;
};

void showStatus(Download& d, const std::string& text) {
    if (text == d.lastText) return;
    d.lastText = text;
    if (d.hooks && d.hooks->status) d.hooks->status(d.hooks->context, text.c_str());
}

bool onBegin(void* context, int64_t contentLength) {
    auto& d = *static_cast<Download*>(context);
    d.announced = contentLength;
    d.received = 0;
    platform::clearLastError();
    if (d.file.open(d.path) != platform::kFileOk) {
        d.fileFailed = true;
        d.why = platform::lastErrorText();
        return false;
    }
    return true;
}

bool onData(void* context, const uint8_t* bytes, size_t size) {
    auto& d = *static_cast<Download*>(context);
    d.received += int64_t(size);
    showStatus(d, downloadProgressText(d.received, d.announced));
    if (d.hooks && d.hooks->progress) d.hooks->progress(d.hooks->context, d.received, d.announced);
    platform::clearLastError();
    if (!d.file.write(bytes, size)) {
        d.fileFailed = true;
        d.why = platform::lastErrorText();
        return false;
    }
    return true;
}

bool onCancelled(void* context) {
    auto& d = *static_cast<Download*>(context);
    return d.hooks && d.hooks->cancelled && d.hooks->cancelled(d.hooks->context);
}

bool onCredentials(void* context, bool proxy, const std::string& realm, platform::HttpCredentials& out) {
    auto& d = *static_cast<Download*>(context);
    if (!d.hooks || !d.hooks->credentials) return false;
    return d.hooks->credentials(d.hooks->context, proxy, realm.c_str(), out.user, out.password);
}

}  // namespace

bool downloadRunning() { return gRunning.load(); }

std::string downloadProgressText(int64_t received, int64_t expected) {
    if (expected <= 0) expected = 1;
    const int64_t percent = received * 100 / expected;
    if (percent > 100) return "File unavailable.";
    const int64_t kilobytes = expected / 1024 > 0 ? expected / 1024 : 1;
    char text[64];
    std::snprintf(text, sizeof text, "%lld%% of %lldK", static_cast<long long>(percent),
                  static_cast<long long>(kilobytes));
    return text;
}

const char* downloadResultText(int code) {
    switch (code) {
        case kDownloadOk: return "downloaded";
        case kDownloadFileError: return "the downloaded file could not be written";
        case kDownloadCannotOpen: return "the address could not be opened";
        case kDownloadNoSession: return "no internet session";
        case kDownloadFailed: return "the download failed or was cancelled";
    }
    return "unknown download error";
}

int downloadFile(const std::string& url, const std::string& path, const DownloadHooks* hooks, std::string* detail) {
    bool expectedIdle = false;
    if (!gRunning.compare_exchange_strong(expectedIdle, true)) {
        if (detail) *detail = "another download is running";
        return kDownloadFailed;
    }
    struct Release {
        ~Release() { gRunning.store(false); }
    } release;

    Download d;
    d.hooks = hooks;
    d.path = path;
    showStatus(d, "--");

    platform::HttpOptions options;
    if (hooks && hooks->netrcPath) {
        options.useNetrc = *hooks->netrcPath != '\0';
        options.netrcPath = hooks->netrcPath;
    }
    platform::HttpHandlers handlers;
    handlers.context = &d;
    handlers.begin = onBegin;
    handlers.data = onData;
    handlers.cancelled = onCancelled;
    handlers.credentials = onCredentials;

    const platform::HttpResult r = platform::httpGet(url, options, handlers);
    if (detail) *detail = r.detail;
    switch (r.outcome) {
        case platform::HttpOutcome::Complete:
            platform::clearLastError();
            if (d.file.commit() != platform::kFileOk) {
                d.why = platform::lastErrorText();
                if (detail) *detail = "could not write " + path + (d.why.empty() ? "" : ": " + d.why);
                return kDownloadFileError;
            }
            showStatus(d, downloadProgressText(d.received, d.announced));
            return kDownloadOk;
        case platform::HttpOutcome::NoSession: return kDownloadNoSession;
        case platform::HttpOutcome::CannotOpen:
        case platform::HttpOutcome::BadStatus: return kDownloadCannotOpen;
        case platform::HttpOutcome::ReceiverFailed:
            if (d.fileFailed) {
                if (detail) *detail = "could not write " + path + (d.why.empty() ? "" : ": " + d.why);
                return kDownloadFileError;
            }
            return kDownloadFailed;
        case platform::HttpOutcome::Cancelled:
            if (detail) *detail = "cancelled";
            return kDownloadFailed;
        case platform::HttpOutcome::TransferFailed:
            showStatus(d, "Connection failed");
            return kDownloadFailed;
        case platform::HttpOutcome::TooLarge: return kDownloadFailed;
    }
    return kDownloadFailed;
}

}  // namespace tv
