// HTTP through WinINet: the system's internet settings (proxy), no cache on
// the way (reload, no cache write, no-cache headers), redirects followed by
// the library, credentials asked through the handlers on 401 and 407 and sent
// with a repeated request. Reads run in short waits so that the cancel test
// is asked often.
#include "platform/files.h"
#include "platform/http.h"
#include "platform/netrc.h"
#include "platform/win32/wide.h"

#include <wininet.h>

#include <cstdlib>
#include <vector>

namespace tv::platform {

namespace {

struct InternetHandle {
    HINTERNET h = nullptr;
    ~InternetHandle() {
        if (h) InternetCloseHandle(h);
    }
};

bool queryNumber(HINTERNET request, DWORD what, int64_t& value) {
    wchar_t text[32];
    DWORD size = sizeof text;
    DWORD index = 0;
    if (!HttpQueryInfoW(request, what, text, &size, &index)) return false;
    wchar_t* end = nullptr;
    const long long v = std::wcstoll(text, &end, 10);
    if (end == text || v < 0) return false;
    value = v;
    return true;
}

// The realm of a WWW-Authenticate or Proxy-Authenticate header ("" when none).
std::string realmOf(HINTERNET request, bool proxy) {
    wchar_t text[512];
    DWORD size = sizeof text;
    DWORD index = 0;
    if (!HttpQueryInfoW(request, proxy ? HTTP_QUERY_PROXY_AUTHENTICATE : HTTP_QUERY_WWW_AUTHENTICATE, text, &size,
                        &index))
        return std::string();
    const std::string line = win32::narrow(std::wstring_view(text, size / sizeof(wchar_t)));
    const size_t at = line.find("realm=\"");
    if (at == std::string::npos) return std::string();
    const size_t end = line.find('"', at + 7);
    return line.substr(at + 7, end == std::string::npos ? std::string::npos : end - at - 7);
}

// Reads and drops what remains of a response body (before a repeated request).
void drain(HINTERNET request) {
    char buffer[4096];
    DWORD n = 0;
    while (InternetReadFile(request, buffer, sizeof buffer, &n) && n > 0) {
    }
}

// Credentials for the URL's host from the netrc file: the given one, else
// _netrc or .netrc in %HOME% or %USERPROFILE%.
bool netrcCredentials(const HttpOptions& options, const std::string& url, HttpCredentials& out) {
    if (!options.useNetrc) return false;
    std::vector<std::string> candidates;
    if (!options.netrcPath.empty()) {
        candidates.push_back(options.netrcPath);
    } else {
        for (const wchar_t* variable : {L"HOME", L"USERPROFILE"}) {
            const std::string folder = win32::environment(variable);
            if (folder.empty()) continue;
            candidates.push_back(joinPath(folder, "_netrc"));
            candidates.push_back(joinPath(folder, ".netrc"));
        }
    }
    for (const std::string& path : candidates) {
        std::vector<uint8_t> bytes;
        if (!readFile(path, bytes, 64 * 1024)) continue;
        NetrcEntry entry;
        if (!findNetrcEntry(std::string(bytes.begin(), bytes.end()), urlHost(url), entry)) return false;
        out.user = entry.login;
        out.password = entry.password;
        return true;
    }
    return false;
}

}  // namespace

HttpResult httpGet(const std::string& url, const HttpOptions& options, const HttpHandlers& handlers) {
    HttpResult result;
    auto cancelled = [&] { return handlers.cancelled && handlers.cancelled(handlers.context); };

    InternetHandle session;
    session.h = InternetOpenW(win32::widen(options.userAgent).c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr,
                              nullptr, 0);
    if (!session.h) {
        result.outcome = HttpOutcome::NoSession;
        result.detail = "no internet session: " + win32::errorText(GetLastError());
        return result;
    }
    DWORD connectMs = DWORD(options.connectTimeoutSeconds) * 1000;
    DWORD stallMs = DWORD(options.stallTimeoutSeconds) * 1000;
    InternetSetOptionW(session.h, INTERNET_OPTION_CONNECT_TIMEOUT, &connectMs, sizeof connectMs);
    InternetSetOptionW(session.h, INTERNET_OPTION_RECEIVE_TIMEOUT, &stallMs, sizeof stallMs);

    const std::wstring wideUrl = win32::widen(url);
    // The system's cached copy, if any, is dropped: the file comes fresh.
    DeleteUrlCacheEntryW(wideUrl.c_str());
    const wchar_t headers[] = L"Cache-Control: no-cache\r\nPragma: no-cache\r\n";
    const DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE |
                        INTERNET_FLAG_NO_UI | INTERNET_FLAG_NO_COOKIES;
    InternetHandle request;
    request.h = InternetOpenUrlW(session.h, wideUrl.c_str(), headers, DWORD(-1), flags, 0);
    if (!request.h) {
        result.outcome = HttpOutcome::CannotOpen;
        result.detail = "cannot open " + url + ": " + win32::errorText(GetLastError());
        return result;
    }

    int64_t status = 0;
    HttpCredentials credentials, proxyCredentials;
    bool netrcTried = false;
    for (int round = 0;; ++round) {
        if (!queryNumber(request.h, HTTP_QUERY_STATUS_CODE, status)) status = 0;
        const bool server = status == 401, proxy = status == 407;
        if ((!server && !proxy) || round >= options.maxCredentialRounds) break;
        HttpCredentials& c = proxy ? proxyCredentials : credentials;
        // The server's own credentials come from the netrc file first, once.
        const bool fromNetrc = server && !netrcTried && netrcCredentials(options, url, c);
        netrcTried = netrcTried || server;
        if (!fromNetrc &&
            (!handlers.credentials || !handlers.credentials(handlers.context, proxy, realmOf(request.h, proxy), c)))
            break;
        const std::wstring user = win32::widen(c.user), password = win32::widen(c.password);
        InternetSetOptionW(request.h, proxy ? INTERNET_OPTION_PROXY_USERNAME : INTERNET_OPTION_USERNAME,
                           const_cast<wchar_t*>(user.c_str()), DWORD(user.size()));
        InternetSetOptionW(request.h, proxy ? INTERNET_OPTION_PROXY_PASSWORD : INTERNET_OPTION_PASSWORD,
                           const_cast<wchar_t*>(password.c_str()), DWORD(password.size()));
        drain(request.h);
        if (!HttpSendRequestW(request.h, nullptr, 0, nullptr, 0)) {
            result.outcome = HttpOutcome::TransferFailed;
            result.status = int32_t(status);
            result.detail = win32::errorText(GetLastError());
            return result;
        }
    }
    result.status = int32_t(status);
    if (status < 200 || status > 299) {
        result.outcome = HttpOutcome::BadStatus;
        result.detail = "the server answered with status " + std::to_string(status);
        return result;
    }

    int64_t contentLength = -1;
    if (!queryNumber(request.h, HTTP_QUERY_CONTENT_LENGTH, contentLength)) contentLength = -1;
    if (handlers.begin && !handlers.begin(handlers.context, contentLength)) {
        result.outcome = HttpOutcome::ReceiverFailed;
        return result;
    }
    static constexpr DWORD kPiece = 64 * 1024;
    std::string buffer(kPiece, '\0');
    for (;;) {
        if (cancelled()) {
            result.outcome = HttpOutcome::Cancelled;
            return result;
        }
        DWORD n = 0;
        if (!InternetReadFile(request.h, buffer.data(), kPiece, &n)) {
            result.outcome = HttpOutcome::TransferFailed;
            result.detail = "the connection failed: " + win32::errorText(GetLastError());
            return result;
        }
        if (n == 0) break;
        if (handlers.data && !handlers.data(handlers.context, reinterpret_cast<const uint8_t*>(buffer.data()), n)) {
            result.outcome = HttpOutcome::ReceiverFailed;
            return result;
        }
        result.received += n;
    }
    if (contentLength >= 0 && result.received < contentLength) {
        result.outcome = HttpOutcome::TransferFailed;
        result.detail = "the body ended after " + std::to_string(result.received) + " of " +
                        std::to_string(contentLength) + " bytes";
        return result;
    }
    result.outcome = HttpOutcome::Complete;
    return result;
}

}  // namespace tv::platform
