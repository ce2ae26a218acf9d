#include "clouds/catalogue.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/bytes.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/netrc.h"

namespace tv {

namespace {

constexpr int64_t kReferenceLag = 172800;  // 48 hours
constexpr int kMaxText = kCatalogueTextLength - 1;
// The list file is small: 12 slots of 21 words and two texts at most.
constexpr size_t kMaxListFileSize = 8 + size_t(kListEntryCount) * (4 * 24 + 2 * (4 + kCatalogueTextLength));

struct BuiltIn {
    const char* name;
    CloudServer server;
    const char* path;
    int32_t mode;
    float left, width, top, height;
    float black;
};

const BuiltIn kBuiltIns[kBuiltInEntryCount] = {
    {"GOES-West infrared low-rez", CloudServer::Image1, "/data/geo/west/latest_west_ir4_fd.gif", 0, 1, 675, 17,
     673, 0.27450982f},
    {"GOES-West water vapor low-rez", CloudServer::Image1, "/data/geo/west/latest_west_wv_fd.gif", 0, 1, 675, 17,
     673, 0},
    {"FY2E infrared low-rez", CloudServer::Image1, "/data/geo/fy2e/latest_fy2e_ir2_fd.gif", 0, 19, 716, 28, 716,
     0.4f},
    {"FY2E water vapor low-rez", CloudServer::Image1, "/data/geo/fy2e/latest_fy2e_wv_fd.gif", 0, 19, 716, 28, 716,
     0},
    {"GOES-West visible 7 km", CloudServer::Image2,
     "/xrit/135.0W/GOES/>c>y/>p/>q/2100/>c>y_>p_>q_2100_GOES15_1_S2.jpeg", 3, 26, 1354.5f, 136.5f, 1346, 0.6f},
    {"GOES-West water vapor 4 km", CloudServer::Image2,
     "/xrit/135.0W/GOES/>c>y/>p/>q/2100/>c>y_>p_>q_2100_GOES15_3_S1.jpeg", 3, 52, 2709, 273, 2692, 0},
    {"GOES-West visible 4 km", CloudServer::Image2,
     "/xrit/135.0W/GOES/>c>y/>p/>q/2100/>c>y_>p_>q_2100_GOES15_1_S1.jpeg", 3, 52, 2709, 273, 2692, 0.6f},
    {"GOES-West infrared 4 km", CloudServer::Image2,
     "/xrit/135.0W/GOES/>c>y/>p/>q/2100/>c>y_>p_>q_2100_GOES15_2_S1.jpeg", 3, 52, 2709, 273, 2697, 0},
    {"Meteosat 2G water vapor 4 km", CloudServer::Image2,
     "/xrit/000.0E/MSG/>c>y/>p/>q/600/>c>y_>p_>q_600_MSG2_5_S1.jpeg", 3, 79, 3554, 56, 3595, 0},
    {"METEOSAT-7 infrared 4 km", CloudServer::Image2,
     "/xrit/057.0E/MET/>c>y/>p/>q/1800/>c>y_>p_>q_1800_MET7_2_S1.jpeg", 3, 49, 2402, 52, 2397, 0.25f},
};

// Copies text into a field; false (field untouched) when it does not fit.
bool setField(char (&field)[kCatalogueTextLength], const std::string& text) {
    if (text.size() > size_t(kMaxText)) return false;
    std::memcpy(field, text.data(), text.size());
    field[text.size()] = '\0';
    return true;
}

std::string twoDigits(int v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d", v);
    return buf;
}

int64_t catalogueNow(const CloudCatalogue& c) { return c.clock ? c.clock() : platform::unixTime(); }

void writeEntry(ByteWriter& w, const CatalogueEntry& e) {
    w.i32(0);
    w.scaledFloat(e.discLeft);
    w.scaledFloat(e.discWidth);
    w.scaledFloat(e.discTop);
    w.scaledFloat(e.discHeight);
    w.scaledFloat(e.blackLevel);
    w.scaledFloat(e.whiteLevel);
    w.i32(e.overlayA);
    w.i32(e.overlayB);
    w.i32(e.imageKind);
    w.i32(e.templateMode);
    w.i32(e.flags);
    w.scaledFloat(e.threshold);
    for (const auto& triple : e.reservedTriples)
        for (int32_t v : triple) w.i32(v);
    for (int32_t v : e.reservedPair) w.i32(v);
    w.countedText(e.url);
    w.countedText(e.name);
}

bool readText(ByteReader& r, char (&field)[kCatalogueTextLength]) {
    int32_t length = 0;
    if (!r.i32(length) || length < 0 || length > kMaxText) return false;
    if (!r.bytes(field, size_t(length) + 1)) return false;
    field[length] = '\0';  // whatever the terminator byte held
    return true;
}

bool readEntry(ByteReader& r, CatalogueEntry& e) {
    bool ok = r.scaledFloat(e.discLeft) && r.scaledFloat(e.discWidth) && r.scaledFloat(e.discTop) &&
              r.scaledFloat(e.discHeight) && r.scaledFloat(e.blackLevel) && r.scaledFloat(e.whiteLevel) &&
              r.i32(e.overlayA) && r.i32(e.overlayB) && r.i32(e.imageKind) && r.i32(e.templateMode) &&
              r.i32(e.flags) && r.scaledFloat(e.threshold);
    for (auto& triple : e.reservedTriples)
        for (int32_t& v : triple) ok = ok && r.i32(v);
    for (int32_t& v : e.reservedPair) ok = ok && r.i32(v);
    return ok && readText(r, e.url) && readText(r, e.name);
}

}  // namespace

// ---- servers -------------------------------------------------------------------

const char* serverVariable(CloudServer server) {
    switch (server) {
        case CloudServer::Image1: return "TERRAVANE_IMAGE_SERVER_1";
        case CloudServer::Image2: return "TERRAVANE_IMAGE_SERVER_2";
        case CloudServer::List: return "TERRAVANE_LIST_SERVER";
    }
    return "";
}

const char* serverDefault(CloudServer server) {
    switch (server) {
        // The University of Wisconsin SSEC real-time geostationary image server.
        case CloudServer::Image1: return "http://www.ssec.wisc.edu";
        // The Dundee Satellite Receiving Station's archive.
        case CloudServer::Image2: return "http://www.sat.dundee.ac.uk";
        // No list server is published yet: a reserved name that never resolves.
        // Point TERRAVANE_LIST_SERVER at a real one to use "Update this list".
        case CloudServer::List: return "http://list-server.terravane.invalid";
    }
    return "";
}

bool isBaseUrl(const std::string& text) {
    size_t pos;
    if (text.compare(0, 7, "http://") == 0)
        pos = 7;
    else if (text.compare(0, 8, "https://") == 0)
        pos = 8;
    else
        return false;
    const size_t hostStart = pos;
    if (pos < text.size() && text[pos] == '[') {  // an IPv6 literal
        const size_t close = text.find(']', pos);
        if (close == std::string::npos || close == pos + 1) return false;
        for (size_t i = pos + 1; i < close; ++i)
            if (!std::isxdigit(static_cast<unsigned char>(text[i])) && text[i] != ':' && text[i] != '.')
                return false;
        pos = close + 1;
    } else {
        while (pos < text.size() &&
               (std::isalnum(static_cast<unsigned char>(text[pos])) || text[pos] == '.' || text[pos] == '-'))
            ++pos;
        if (pos == hostStart) return false;
    }
    if (pos < text.size() && text[pos] == ':') {
        const size_t digits = ++pos;
        long port = 0;
        while (pos < text.size() && std::isdigit(static_cast<unsigned char>(text[pos])) && pos - digits < 6)
            port = port * 10 + (text[pos++] - '0');
        if (pos == digits || port < 1 || port > 65535) return false;
    }
    if (pos < text.size() && text[pos] == '/') ++pos;
    return pos == text.size();
}

std::string serverBase(CloudServer server, std::string* problem) {
    const char* value = std::getenv(serverVariable(server));
    if (!value || !*value) return serverDefault(server);
    std::string base = value;
    if (!isBaseUrl(base)) {
        if (problem)
            *problem = std::string(serverVariable(server)) + " is not a base URL (http[s]://host[:port]): \"" +
                       platform::urlWithoutCredentials(base) + "\"";
        return std::string();
    }
    if (base.back() == '/') base.pop_back();
    return base;
}

std::string listUrl() {
    const std::string base = serverBase(CloudServer::List);
    return base.empty() ? std::string() : base + kUrlListPath;
}

// ---- entries -------------------------------------------------------------------

bool builtInEntry(int index, CatalogueEntry& out) {
    if (index < 0 || index >= kBuiltInEntryCount) return false;
    const BuiltIn& b = kBuiltIns[index];
    CatalogueEntry e;
    e.discLeft = b.left;
    e.discWidth = b.width;
    e.discTop = b.top;
    e.discHeight = b.height;
    e.blackLevel = b.black;
    e.whiteLevel = index == 0 ? 0.9f : 1.0f;
    if (index < 4) {
        e.overlayA = 3;
        e.overlayB = -1;
        e.imageKind = kImageKindPalette;
        e.flags = kPaintOutOverlays;
    } else {
        e.overlayA = 0;
        e.overlayB = 1;
        e.imageKind = kImageKindJpeg;
        e.flags = 0;
    }
    e.templateMode = b.mode;
    if (!setField(e.name, b.name)) return false;
    if (!setField(e.url, serverBase(b.server) + b.path)) return false;
    out = e;
    return true;
}

int getEntry(CloudCatalogue& catalogue, int index, CatalogueEntry& out) {
    if (!catalogue.listLoaded) readUrlList(catalogue);
    CatalogueEntry e;
    if (catalogue.listLoaded) {
        if (index < 0 || index >= kListEntryCount || !catalogue.list[index].valid) return kEntryMissing;
        e = catalogue.list[index];
    } else {
        if (!builtInEntry(index, e)) return index >= 0 && index < kBuiltInEntryCount ? kEntryUrlTooLong
                                                                                       : kEntryMissing;
        catalogue.version = kBuiltInListVersion;
    }
    std::string url;
    if (!completeUrl(e.url, e.templateMode, catalogueNow(catalogue), url) || !setField(e.url, url))
        return kEntryUrlTooLong;
    out = e;
    return kCatalogueOk;
}

std::string versionLabel(const CloudCatalogue& catalogue) { return "v. " + twoDigits(catalogue.version); }

// ---- URL templates ---------------------------------------------------------------

ReferenceDate referenceDate(int64_t nowUnix, bool dayBack) {
    const platform::CivilTime t = platform::utcCivil(nowUnix - kReferenceLag);
    ReferenceDate d{t.year, t.month, t.day, t.hour};
    if (dayBack && d.day > 1) d.day -= 1;
    return d;
}

bool completeUrl(const char* url, int32_t mode, int64_t nowUnix, std::string& out) {
    out = url;
    if (mode == 1 || mode == 2) {
        const ReferenceDate d = referenceDate(nowUnix, mode == 1);
        char buf[32];
        if (mode == 1)
            std::snprintf(buf, sizeof buf, "%02d%02d%02d1200", d.year % 100, d.month, d.day);
        else
            std::snprintf(buf, sizeof buf, "%02d%02d%02d%02d00", d.year % 100, d.month, d.day, d.hour / 3 * 3);
        out += buf;
        out += ".gif";
    } else if (mode == 3) {
        const ReferenceDate d = referenceDate(nowUnix, true);
        out.clear();
        for (const char* p = url; *p; ++p) {
            if (*p != '>' || !p[1]) {
                out += *p;
                continue;
            }
            std::string field;
            switch (p[1]) {
                case 'c': field = twoDigits(d.year / 100); break;
                case 'y': field = twoDigits(d.year % 100); break;
                case 'm': field = twoDigits(d.month); break;
                case 'd': field = twoDigits(d.day); break;
                case 'h': field = twoDigits(d.hour); break;
                case 'i': field = twoDigits(d.hour / 3 * 3); break;
                case 'j': field = twoDigits(d.hour / 4 * 4); break;
                case 'k': field = twoDigits(d.hour / 6 * 6); break;
                case 'l': field = twoDigits(d.hour / 8 * 8); break;
                case 'n': field = twoDigits(d.hour / 12 * 12); break;
                case 'p': field = std::to_string(d.month); break;
                case 'q': field = std::to_string(d.day); break;
                default: out += *p; continue;  // not a placeholder: copy the '>' and go on
            }
            out += field;
            ++p;
        }
    }
    return out.size() <= size_t(kMaxText);
}

// ---- the list file ---------------------------------------------------------------

bool encodeUrlList(const CatalogueEntry (&entries)[kListEntryCount], int32_t version, std::vector<uint8_t>& out) {
    ByteWriter w;
    w.u32(kUrlListMagic);
    w.i32(version);
    for (const CatalogueEntry& e : entries) {
        if (!e.valid) {
            w.i32(-1);
            continue;
        }
        if (std::strlen(e.url) > size_t(kMaxText) || std::strlen(e.name) > size_t(kMaxText)) return false;
        writeEntry(w, e);
    }
    out = std::move(w.data());
    return true;
}

int decodeUrlList(const uint8_t* data, size_t size, CatalogueEntry (&entries)[kListEntryCount],
                  int32_t& version) {
    ByteReader r(data, size);
    uint32_t magic = 0;
    if (!r.u32(magic) || magic != kUrlListMagic) return kListReadError;
    if (!r.i32(version)) return kListReadError;
    for (CatalogueEntry& e : entries) {
        e = CatalogueEntry();
        int32_t marker = 0;
        if (!r.i32(marker)) return kListReadError;
        if (marker != 0) continue;  // an empty slot
        if (!readEntry(r, e)) return kListReadError;
        e.valid = true;
    }
    return kCatalogueOk;
}

std::string urlListPath() { return platform::workingFile(kUrlListFileName); }

int readUrlListFile(const std::string& path, CatalogueEntry (&entries)[kListEntryCount], int32_t& version) {
    if (!platform::fileExists(path)) return kListOpenError;
    std::vector<uint8_t> data;
    if (!platform::readFile(path, data, kMaxListFileSize)) return kListReadError;
    return decodeUrlList(data.data(), data.size(), entries, version);
}

int readUrlList(CloudCatalogue& catalogue) {
    CatalogueEntry entries[kListEntryCount];
    int32_t version = 0;
    if (const int rc = readUrlListFile(urlListPath(), entries, version); rc != kCatalogueOk) return rc;
    for (int i = 0; i < kListEntryCount; ++i) catalogue.list[i] = entries[i];
    catalogue.version = version;
    catalogue.listLoaded = true;
    return kCatalogueOk;
}

int writeUrlList(const CatalogueEntry (&entries)[kListEntryCount], int32_t version) {
    std::vector<uint8_t> data;
    if (!encodeUrlList(entries, version, data)) return kListWriteError;
    const int rc = platform::writeFileAtomic(urlListPath(), data.data(), data.size());
    return rc == platform::kFileOk ? kCatalogueOk : kListWriteError;
}

int writeBuiltInList() {
    CatalogueEntry entries[kListEntryCount];
    for (int i = 0; i < kBuiltInEntryCount; ++i) {
        if (!builtInEntry(i, entries[i])) return kListWriteError;
        entries[i].valid = true;
    }
    return writeUrlList(entries, kBuiltInListVersion);
}

}  // namespace tv
