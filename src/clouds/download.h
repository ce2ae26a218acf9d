// Downloads one file at a time into the working folder (satellite images and
// the catalogue list), with the progress dialog's status texts.
#pragma once

#include <cstdint>
#include <string>

namespace tv {

// Result codes of a download.
constexpr int kDownloadOk = 0;
constexpr int kDownloadFileError = 95;  // the output file could not be created or written
constexpr int kDownloadCannotOpen = 97; // the URL could not be opened, or the status is not 2xx
constexpr int kDownloadNoSession = 98;  // no internet session
constexpr int kDownloadFailed = 99;     // already running, cancelled, connection or read failed

// What the progress dialog (or the command line) provides. Any may be null.
struct DownloadHooks {
    void* context = nullptr;
    // The status line: "--", "45% of 700K", "File unavailable.", "Connection failed".
    void (*status)(void* context, const char* text) = nullptr;
    // Bytes received so far and the announced length (-1 when none), for a progress bar.
    void (*progress)(void* context, int64_t received, int64_t expected) = nullptr;
    // Polled while the download runs; true cancels it (result 99).
    bool (*cancelled)(void* context) = nullptr;
    // The server (or a proxy) wants credentials that the netrc file did not
    // give: fill user and password and return true to try again.
    bool (*credentials)(void* context, bool proxy, const char* realm, std::string& user,
                        std::string& password) = nullptr;
    // The netrc file: null for the user's own (~/.netrc), "" for none.
    const char* netrcPath = nullptr;
};

// Fetches url into path. The body goes to a temporary file beside path that
// replaces it only after a complete transfer of a 2xx response, so a failed
// download leaves an existing file as it was. detail, when given, receives
// an explanation of a failure.
int downloadFile(const std::string& url, const std::string& path, const DownloadHooks* hooks,
                 std::string* detail = nullptr);

// True while a download runs.
bool downloadRunning();

// The status text for received of expected bytes (expected <= 0: unknown).
std::string downloadProgressText(int64_t received, int64_t expected);

// One line about a download result code.
const char* downloadResultText(int code);

}  // namespace tv
