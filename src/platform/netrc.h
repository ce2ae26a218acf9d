// Credentials from a netrc file ("machine HOST login USER password SECRET",
// a "default" entry for any host, "macdef" blocks skipped). The libcurl
// backend has its own reader; the WinINet backend uses this one. The file is
// outside data: at most 64 KiB are read and every token is bounded.
#pragma once

#include <string>

namespace tv::platform {

struct NetrcEntry {
    std::string login, password;
};

// The entry for host in text (the default entry when no machine matches).
// False when neither exists.
bool findNetrcEntry(const std::string& text, const std::string& host, NetrcEntry& out);

// The host of an http(s) URL ("" when it has none).
std::string urlHost(const std::string& url);

}  // namespace tv::platform
