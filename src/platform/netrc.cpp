#include "platform/netrc.h"

#include <cctype>
#include <vector>

#include "platform/files.h"

namespace tv::platform {

bool findNetrcEntry(const std::string& text, const std::string& host, NetrcEntry& out) {
    constexpr size_t kMaxText = 64 * 1024, kMaxToken = 1024;
    const size_t n = text.size() < kMaxText ? text.size() : kMaxText;
    size_t pos = 0;
    auto next = [&](std::string& token) {
        token.clear();
        while (pos < n && std::isspace(static_cast<unsigned char>(text[pos]))) ++pos;
        if (pos < n && text[pos] == '"') {
            for (++pos; pos < n && text[pos] != '"' && token.size() < kMaxToken; ++pos) {
                if (text[pos] == '\\' && pos + 1 < n) ++pos;
                token.push_back(text[pos]);
            }
            if (pos < n) ++pos;
            return true;
        }
        while (pos < n && !std::isspace(static_cast<unsigned char>(text[pos])) && token.size() < kMaxToken)
            token.push_back(text[pos++]);
        return !token.empty();
    };
    NetrcEntry current, fallback;
    bool inMatch = false, inDefault = false, found = false, haveDefault = false;
    std::string token, value;
    while (next(token)) {
        if (token == "machine" || token == "default") {
            if (inMatch) break;  // the matching entry is complete
            inDefault = token == "default";
            inMatch = false;
            if (!inDefault) {
                if (!next(value)) break;
                inMatch = value == host;
                if (inMatch) {
                    current = {};
                    found = true;
                }
            } else {
                haveDefault = true;
                fallback = {};
            }
        } else if (token == "login" || token == "password" || token == "account") {
            if (!next(value)) break;
            NetrcEntry* target = inMatch ? &current : (inDefault ? &fallback : nullptr);
            if (target && token == "login") target->login = value;
            if (target && token == "password") target->password = value;
        } else if (token == "macdef") {
            // A macro runs to the next empty line.
            const size_t end = text.find("\n\n", pos);
            pos = end == std::string::npos || end > n ? n : end + 2;
            inMatch = inDefault = false;
        }
    }
    if (found) {
        out = current;
        return true;
    }
    if (haveDefault) {
        out = fallback;
        return true;
    }
    return false;
}

std::string urlHost(const std::string& url) {
    const size_t scheme = url.find("://");
    if (scheme == std::string::npos) return std::string();
    size_t start = scheme + 3;
    const size_t end = url.find_first_of("/?#", start);
    std::string authority = url.substr(start, end == std::string::npos ? std::string::npos : end - start);
    const size_t at = authority.rfind('@');
    if (at != std::string::npos) authority = authority.substr(at + 1);
    if (!authority.empty() && authority[0] == '[') {
        const size_t close = authority.find(']');
        return close == std::string::npos ? std::string() : authority.substr(1, close - 1);
    }
    const size_t colon = authority.find(':');
    return colon == std::string::npos ? authority : authority.substr(0, colon);
}

std::string urlWithoutCredentials(const std::string& url) {
    const size_t scheme = url.find("://");
    if (scheme == std::string::npos) return url;
    const size_t start = scheme + 3;
    const size_t end = url.find_first_of("/?#", start);
    const size_t at = url.rfind('@', end == std::string::npos ? std::string::npos : end);
    if (at == std::string::npos || at < start) return url;
    return url.substr(0, start) + url.substr(at + 1);
}

bool netrcCredentials(const std::string& path, const std::string& url, NetrcEntry& out, std::string* refused) {
    constexpr size_t kMaxFile = 64 * 1024;
    const std::vector<std::string> candidates = path.empty() ? userNetrcFiles() : std::vector<std::string>{path};
    for (const std::string& file : candidates) {
        if (!fileExists(file)) continue;
        if (readableByOthers(file)) {
            if (refused)
                *refused = file + " was not used: others may read it (chmod 600 " + file + " makes it private)";
            return false;
        }
        std::vector<uint8_t> bytes;
        if (!readFile(file, bytes, kMaxFile)) continue;
        return findNetrcEntry(std::string(bytes.begin(), bytes.end()), urlHost(url), out);
    }
    return false;
}

}  // namespace tv::platform
