// HTTP through libcurl: http and https only, certificates checked, at most a
// few redirects, bounded bodies, time-outs for connecting and for a stalled
// transfer, credentials from the netrc reader of this layer.
#include <curl/curl.h>
#include <strings.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "platform/http.h"
#include "platform/netrc.h"

namespace tv::platform {

namespace {

bool globalInit() {
    static std::once_flag once;
    static bool ok = false;
    std::call_once(once, [] { ok = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK; });
    return ok;
}

struct Transfer {
    const HttpHandlers* handlers = nullptr;
    CURL* curl = nullptr;
    // Of the response being received (reset at every status line).
    int32_t status = 0;
    int64_t contentLength = -1;
    std::string realm, proxyRealm;
    // Of the request.
    bool begun = false;
    bool receiverFailed = false;
    bool cancelled = false;
    bool tooLarge = false;
    int64_t maxBody = kMaxHttpBodyBytes;
    int64_t received = 0;
    // The stall time-out: once connected, the time of the last byte that arrived.
    std::chrono::steady_clock::time_point started, lastArrival;
    std::chrono::seconds stallLimit{30};
    bool stalled = false;
};

bool startsWithNoCase(const char* text, size_t size, const char* prefix) {
    const size_t n = std::strlen(prefix);
    return size >= n && strncasecmp(text, prefix, n) == 0;
}

std::string realmOf(const std::string& line) {
    const size_t at = line.find("realm=\"");
    if (at == std::string::npos) return std::string();
    const size_t start = at + 7;
    const size_t end = line.find('"', start);
    return line.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

size_t onHeader(char* text, size_t size, size_t count, void* user) {
    auto& t = *static_cast<Transfer*>(user);
    const size_t n = size * count;
    t.lastArrival = std::chrono::steady_clock::now();
    std::string line(text, n);
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
    if (startsWithNoCase(text, n, "HTTP/")) {
        const size_t space = line.find(' ');
        t.status = space == std::string::npos ? 0 : std::atoi(line.c_str() + space + 1);
        t.contentLength = -1;
        t.realm.clear();
        t.proxyRealm.clear();
    } else if (startsWithNoCase(text, n, "Content-Length:")) {
        const char* p = line.c_str() + 15;
        while (*p == ' ' || *p == '\t') ++p;
        char* end = nullptr;
        const long long v = std::strtoll(p, &end, 10);
        if (end != p && v >= 0) t.contentLength = v;
    } else if (startsWithNoCase(text, n, "WWW-Authenticate:")) {
        if (t.realm.empty()) t.realm = realmOf(line);
    } else if (startsWithNoCase(text, n, "Proxy-Authenticate:")) {
        if (t.proxyRealm.empty()) t.proxyRealm = realmOf(line);
    }
    return n;
}

size_t onData(char* bytes, size_t size, size_t count, void* user) {
    auto& t = *static_cast<Transfer*>(user);
    const size_t n = size * count;
    t.lastArrival = std::chrono::steady_clock::now();
    long status = 0;
    curl_easy_getinfo(t.curl, CURLINFO_RESPONSE_CODE, &status);
    if (status < 200 || status > 299) return n;  // an error page or a credentials request: discarded
    const HttpHandlers& h = *t.handlers;
    if (t.contentLength > t.maxBody || t.received + int64_t(n) > t.maxBody) {
        t.tooLarge = true;  // before a byte of it reaches the receiver
        return 0;
    }
    if (!t.begun) {
        t.begun = true;
        if (h.begin && !h.begin(h.context, t.contentLength)) {
            t.receiverFailed = true;
            return 0;
        }
    }
    if (h.data && n > 0 && !h.data(h.context, reinterpret_cast<const uint8_t*>(bytes), n)) {
        t.receiverFailed = true;
        return 0;
    }
    t.received += int64_t(n);
    return n;
}

int onProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    auto& t = *static_cast<Transfer*>(user);
    const HttpHandlers& h = *t.handlers;
    if (h.cancelled && h.cancelled(h.context)) {
        t.cancelled = true;
        return 1;
    }
    // Connecting has a time-out of its own; from the connection on, nothing
    // may stay away longer than the stall time-out.
    curl_off_t connectMicroseconds = 0;
    curl_easy_getinfo(t.curl, CURLINFO_CONNECT_TIME_T, &connectMicroseconds);
    if (connectMicroseconds <= 0) return 0;
    const auto connected = t.started + std::chrono::microseconds(connectMicroseconds);
    if (std::chrono::steady_clock::now() - std::max(connected, t.lastArrival) > t.stallLimit) {
        t.stalled = true;
        return 1;
    }
    return 0;
}

}  // namespace

HttpResult httpGet(const std::string& url, const HttpOptions& options, const HttpHandlers& handlers) {
    HttpResult result;
    if (!globalInit()) {
        result.detail = "the HTTP library could not be initialised";
        return result;
    }
    CURL* curl = curl_easy_init();
    if (!curl) {
        result.detail = "no HTTP session";
        return result;
    }
    Transfer t;
    t.handlers = &handlers;
    t.curl = curl;
    t.maxBody = options.maxBodyBytes;
    t.stallLimit = std::chrono::seconds(options.stallTimeoutSeconds);
    char errorText[CURL_ERROR_SIZE] = {};

    curl_slist* headers = nullptr;
    headers = curl_slist_append(headers, "Cache-Control: no-cache");
    headers = curl_slist_append(headers, "Pragma: no-cache");

    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, long(options.maxRedirects));
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
    curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, curl_off_t(options.maxBodyBytes));
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_USERAGENT, options.userAgent.c_str());
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, long(options.connectTimeoutSeconds));
    curl_easy_setopt(curl, CURLOPT_HTTPAUTH, long(CURLAUTH_ANY));
    curl_easy_setopt(curl, CURLOPT_PROXYAUTH, long(CURLAUTH_ANY));
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorText);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, onHeader);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &t);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, onData);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &t);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, onProgress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &t);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);

    CURLcode rc = CURLE_OK;
    HttpCredentials credentials, proxyCredentials;
    bool netrcTried = false;
    std::string netrcRefused;
    for (int round = 0;; ++round) {
        t.status = 0;
        errorText[0] = '\0';
        t.started = t.lastArrival = std::chrono::steady_clock::now();
        rc = curl_easy_perform(curl);
        long status = 0;
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
        t.status = int32_t(status);
        const bool server = status == 401, proxy = status == 407;
        if (rc != CURLE_OK || (!server && !proxy) || round >= options.maxCredentialRounds) break;
        HttpCredentials& c = proxy ? proxyCredentials : credentials;
        // The server's own credentials come from the netrc file first, once.
        NetrcEntry entry;
        const bool fromNetrc = server && !netrcTried && options.useNetrc &&
                               netrcCredentials(options.netrcPath, url, entry, &netrcRefused);
        netrcTried = netrcTried || server;
        if (fromNetrc) {
            c.user = entry.login;
            c.password = entry.password;
        } else if (!handlers.credentials ||
                   !handlers.credentials(handlers.context, proxy, proxy ? t.proxyRealm : t.realm, c)) {
            break;
        }
        curl_easy_setopt(curl, proxy ? CURLOPT_PROXYUSERNAME : CURLOPT_USERNAME, c.user.c_str());
        curl_easy_setopt(curl, proxy ? CURLOPT_PROXYPASSWORD : CURLOPT_PASSWORD, c.password.c_str());
    }

    result.status = t.status;
    result.received = t.received;
    if (rc == CURLE_OK && t.status >= 200 && t.status <= 299 && !t.begun) {
        // An empty body: no data callback came.
        t.begun = true;
        if (handlers.begin && !handlers.begin(handlers.context, t.contentLength)) t.receiverFailed = true;
    }
    if (t.cancelled) {
        result.outcome = HttpOutcome::Cancelled;
    } else if (t.receiverFailed) {
        result.outcome = HttpOutcome::ReceiverFailed;
    } else if (t.tooLarge || rc == CURLE_FILESIZE_EXCEEDED) {
        result.outcome = HttpOutcome::TooLarge;
        result.detail = "the file is larger than " + std::to_string(options.maxBodyBytes >> 20) + " MB";
    } else if (t.stalled) {
        result.outcome = t.status == 0 ? HttpOutcome::CannotOpen : HttpOutcome::TransferFailed;
        result.detail = "nothing arrived for " + std::to_string(options.stallTimeoutSeconds) + " s";
    } else if (rc == CURLE_TOO_MANY_REDIRECTS) {
        result.outcome = HttpOutcome::CannotOpen;
        result.detail = "more than " + std::to_string(options.maxRedirects) + " redirects";
    } else if (rc != CURLE_OK) {
        result.outcome = t.status == 0 ? HttpOutcome::CannotOpen : HttpOutcome::TransferFailed;
        result.detail = errorText[0] ? errorText : curl_easy_strerror(rc);
        if (rc == CURLE_OPERATION_TIMEDOUT)
            result.detail = "no connection within " + std::to_string(options.connectTimeoutSeconds) + " s (" +
                            result.detail + ")";
    } else if (t.status < 200 || t.status > 299) {
        result.outcome = HttpOutcome::BadStatus;
        result.detail = "the server answered with status " + std::to_string(t.status);
        if (t.status == 401 && !netrcRefused.empty()) result.detail += "; " + netrcRefused;
    } else {
        result.outcome = HttpOutcome::Complete;
    }
    curl_easy_cleanup(curl);
    curl_slist_free_all(headers);
    return result;
}

}  // namespace tv::platform
