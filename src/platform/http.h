// HTTP and HTTPS downloads (GET), fresh from the server: no cache on the way
// is used. The body of a successful response is handed to the caller in
// pieces; credentials are asked for when the server or a proxy wants them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tv::platform {

struct HttpCredentials {
    std::string user;
    std::string password;
};

// Callbacks of one request; all are called on the calling thread, and any
// may be null.
struct HttpHandlers {
    void* context = nullptr;
    // The final response arrived with a status in 200..299; contentLength is
    // -1 when the response does not announce one. False stops the transfer.
    bool (*begin)(void* context, int64_t contentLength) = nullptr;
    // The next piece of that response's body. False stops the transfer.
    bool (*data)(void* context, const uint8_t* bytes, size_t size) = nullptr;
    // Asked often while the request runs; true cancels it.
    bool (*cancelled)(void* context) = nullptr;
    // The server (401, proxy false) or the proxy (407, proxy true) asks for
    // credentials; realm is what it calls itself. Fill out and return true to
    // send the request again with them, false to give up.
    bool (*credentials)(void* context, bool proxy, const std::string& realm, HttpCredentials& out) = nullptr;
};

// The largest response body a download takes (64 MB); a larger one is refused.
constexpr int64_t kMaxHttpBodyBytes = int64_t(64) << 20;

struct HttpOptions {
    // Credentials for known hosts come from a netrc file first: this one, or
    // the user's own (~/.netrc) when empty; a file others may read is not used.
    bool useNetrc = true;
    std::string netrcPath;
    std::string userAgent = "Terravane";
    int32_t connectTimeoutSeconds = 15;
    int32_t stallTimeoutSeconds = 30;  // give up when nothing arrives for this long
    int32_t maxRedirects = 5;          // a longer chain of redirects is refused
    int64_t maxBodyBytes = kMaxHttpBodyBytes;
    int32_t maxCredentialRounds = 8;   // times the credentials callback is asked
};
// https certificates are always checked (chain to a trusted authority, name
// of the host); a server that fails the check is not talked to.

enum class HttpOutcome {
    Complete,        // a 2xx response whose body was delivered whole
    NoSession,       // the HTTP library could not be set up
    CannotOpen,      // no response: bad URL or scheme, unknown host, refused, TLS failure
    BadStatus,       // the final status is outside 200..299 (its body is not delivered)
    ReceiverFailed,  // begin or data returned false
    Cancelled,
    TransferFailed,  // the connection broke, stalled, or the body is shorter than announced
    TooLarge,        // the body is (or is announced) longer than maxBodyBytes; nothing was kept
};

struct HttpResult {
    HttpOutcome outcome = HttpOutcome::NoSession;
    int32_t status = 0;      // the final HTTP status, 0 when none arrived
    int64_t received = 0;    // body bytes delivered
    std::string detail;      // the library's explanation of a failure (never a credential)
};

HttpResult httpGet(const std::string& url, const HttpOptions& options, const HttpHandlers& handlers);

}  // namespace tv::platform
