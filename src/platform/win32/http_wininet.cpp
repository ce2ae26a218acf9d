// HTTP through WinINet: the system's internet settings (proxy), no cache on
// the way (reload, no cache write, no-cache headers), at most maxRedirects
// redirects (followed here), bodies up to maxBodyBytes, credentials from the
// netrc file or asked through the handlers on 401 and 407 and sent with a
// repeated request. Reads run in short waits so that the cancel test is asked
// often.
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

// The address a redirect response points to, resolved against the URL it
// answered; "" when there is none or it is not http(s).
std::string redirectTarget(HINTERNET request, const std::string& from) {
    wchar_t location[2048];
    DWORD size = sizeof location;
    DWORD index = 0;
    if (!HttpQueryInfoW(request, HTTP_QUERY_LOCATION, location, &size, &index)) return std::string();
    wchar_t combined[2048];
    DWORD length = DWORD(sizeof combined / sizeof combined[0]);
    if (!InternetCombineUrlW(win32::widen(from).c_str(), location, combined, &length, ICU_NO_ENCODE))
        return std::string();
    const std::string target = win32::narrow(std::wstring_view(combined, length));
    const bool web = target.rfind("http://", 0) == 0 || target.rfind("https://", 0) == 0;
    return web ? target : std::string();
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
    // The stall time-out is the longest wait for any one send or receive.
    DWORD connectMs = DWORD(options.connectTimeoutSeconds) * 1000;
    DWORD stallMs = DWORD(options.stallTimeoutSeconds) * 1000;
    InternetSetOptionW(session.h, INTERNET_OPTION_CONNECT_TIMEOUT, &connectMs, sizeof connectMs);
    InternetSetOptionW(session.h, INTERNET_OPTION_RECEIVE_TIMEOUT, &stallMs, sizeof stallMs);
    InternetSetOptionW(session.h, INTERNET_OPTION_SEND_TIMEOUT, &stallMs, sizeof stallMs);

    // The system's cached copy, if any, is dropped: the file comes fresh.
    // Redirects are followed here, not by the library, so that their number
    // is bounded; certificates are checked by the library (no flag turns that
    // off) and without a dialog (a failed check fails the request).
    const wchar_t headers[] = L"Cache-Control: no-cache\r\nPragma: no-cache\r\n";
    const DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE |
                        INTERNET_FLAG_NO_UI | INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_AUTO_REDIRECT;
    InternetHandle request;
    std::string current = url;
    auto open = [&](const std::string& address) {
        const std::wstring wide = win32::widen(address);
        DeleteUrlCacheEntryW(wide.c_str());
        if (request.h) InternetCloseHandle(request.h);
        request.h = InternetOpenUrlW(session.h, wide.c_str(), headers, DWORD(-1), flags, 0);
        if (request.h) return true;
        result.outcome = HttpOutcome::CannotOpen;
        result.detail = "cannot open " + urlWithoutCredentials(address) + ": " + win32::errorText(GetLastError());
        return false;
    };
    if (!open(current)) return result;

    int64_t status = 0;
    HttpCredentials credentials, proxyCredentials;
    bool netrcTried = false;
    std::string netrcRefused;
    for (int round = 0, redirects = 0;;) {
        if (!queryNumber(request.h, HTTP_QUERY_STATUS_CODE, status)) status = 0;
        if (status == 301 || status == 302 || status == 303 || status == 307 || status == 308) {
            const std::string next = redirectTarget(request.h, current);
            if (next.empty()) break;
            if (redirects++ >= options.maxRedirects) {
                result.outcome = HttpOutcome::CannotOpen;
                result.status = int32_t(status);
                result.detail = "more than " + std::to_string(options.maxRedirects) + " redirects";
                return result;
            }
            current = next;
            if (!open(current)) return result;
            continue;
        }
        const bool server = status == 401, proxy = status == 407;
        if ((!server && !proxy) || round++ >= options.maxCredentialRounds) break;
        HttpCredentials& c = proxy ? proxyCredentials : credentials;
        // The server's own credentials come from the netrc file first, once.
        NetrcEntry entry;
        const bool fromNetrc = server && !netrcTried && options.useNetrc &&
                               netrcCredentials(options.netrcPath, current, entry, &netrcRefused);
        netrcTried = netrcTried || server;
        if (fromNetrc) {
            c.user = entry.login;
            c.password = entry.password;
        } else if (!handlers.credentials ||
                   !handlers.credentials(handlers.context, proxy, realmOf(request.h, proxy), c)) {
            break;
        }
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
        if (status == 401 && !netrcRefused.empty()) result.detail += "; " + netrcRefused;
        return result;
    }

    int64_t contentLength = -1;
    if (!queryNumber(request.h, HTTP_QUERY_CONTENT_LENGTH, contentLength)) contentLength = -1;
    const std::string tooLarge = "the file is larger than " + std::to_string(options.maxBodyBytes >> 20) + " MB";
    if (contentLength > options.maxBodyBytes) {
        result.outcome = HttpOutcome::TooLarge;
        result.detail = tooLarge;
        return result;
    }
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
        if (result.received + int64_t(n) > options.maxBodyBytes) {
            result.outcome = HttpOutcome::TooLarge;
            result.detail = tooLarge;
            return result;
        }
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
