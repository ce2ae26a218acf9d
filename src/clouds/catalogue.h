// The catalogue of weather-satellite images: the built-in table of ten
// entries, the optional downloaded list of up to twelve (the file
// "Terravane URLs v3"), and the completion of an entry's URL from the date.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tv {

constexpr int kCatalogueTextLength = 260;  // 259 characters and a terminator
constexpr int kBuiltInEntryCount = 10;
constexpr int kListEntryCount = 12;
constexpr int32_t kBuiltInListVersion = 7;
constexpr uint32_t kUrlListMagic = 0xFEDCABB0u;
constexpr const char* kUrlListFileName = "Terravane URLs v3";
constexpr const char* kUrlListPath = "/dl/terravane-data-v3.dat";

// Result codes of the catalogue.
constexpr int kCatalogueOk = 0;
constexpr int kEntryMissing = 3;     // no such entry in the list in force
constexpr int kEntryUrlTooLong = 6;  // the completed URL does not fit its 259 characters
constexpr int kListOpenError = 99;   // no list file
constexpr int kListReadError = -19;  // short, foreign or malformed list file
constexpr int kListWriteError = -20;

// Processing flags of an entry.
constexpr int32_t kPaintOutOverlays = 1;
constexpr int32_t kFindDisc = 2;

// Image kinds (carried; the conversion dispatches on the URL).
constexpr int32_t kImageKindPalette = 1;
constexpr int32_t kImageKindJpeg = 2;

struct CatalogueEntry {
    float discLeft = 1, discWidth = 473, discTop = 15, discHeight = 450;  // image pixels
    float blackLevel = 0;  // grey level (0..1) mapped to no cloud
    float whiteLevel = 1;  // grey level (0..1) mapped to full cloud
    int32_t overlayA = -1, overlayB = -1;  // palette indices of drawn overlays; -1 none
    int32_t imageKind = kImageKindPalette;
    int32_t templateMode = 0;
    int32_t flags = 0;
    float threshold = 0.5f;  // grey level for the automatic disc finding
    int32_t reservedTriples[2][3] = {};
    int32_t reservedPair[2] = {};
    bool valid = false;      // came from a non-empty slot of the list file
    char url[kCatalogueTextLength] = {};
    char name[kCatalogueTextLength] = {'n', '/', 'a'};
};

// The list in force: the built-in table, or the list read from the list file.
struct CloudCatalogue {
    bool listLoaded = false;
    CatalogueEntry list[kListEntryCount];
    int32_t version = kBuiltInListVersion;
    // Seconds since 1970 UTC; the templates are filled from this clock (tests set their own).
    int64_t (*clock)() = nullptr;  // null: the system clock
};

// ---- servers ---------------------------------------------------------------

enum class CloudServer { Image1, Image2, List };

// Base URL (scheme, host, optional port; no trailing slash) of a server: the
// environment variable's value when it is set and well formed, else the
// built-in default. An ill-formed override yields "" and, when problem is
// given, a message naming the variable.
std::string serverBase(CloudServer server, std::string* problem = nullptr);
const char* serverVariable(CloudServer server);  // "TERRAVANE_IMAGE_SERVER_1" ...
const char* serverDefault(CloudServer server);
// True for "http://host", "https://host:port" (an optional trailing slash is allowed).
bool isBaseUrl(const std::string& text);
// The URL of the downloadable list.
std::string listUrl();

// ---- entries ---------------------------------------------------------------

// Built-in entry 0..9 with its server's base URL in front of its path. False
// for another index or when the URL would not fit.
bool builtInEntry(int index, CatalogueEntry& out);

// Entry index of the list in force, with its URL completed from the reference
// date. When no list is loaded, the list file is read first. Returns
// kCatalogueOk, kEntryMissing or kEntryUrlTooLong.
int getEntry(CloudCatalogue& catalogue, int index, CatalogueEntry& out);

// The version label "v. 07".
std::string versionLabel(const CloudCatalogue& catalogue);

// ---- URL templates ---------------------------------------------------------

struct ReferenceDate {
    int year, month, day, hour;
};
// 48 hours before now (UTC); with dayBack (modes 1 and 3) one more day off
// the day of the month when it is above 1.
ReferenceDate referenceDate(int64_t nowUnix, bool dayBack);
// Completes a URL by template mode 0..3. False when the result would exceed
// 259 characters. Other modes leave the URL as it stands.
bool completeUrl(const char* url, int32_t mode, int64_t nowUnix, std::string& out);

// ---- the list file -----------------------------------------------------------

// Encodes a list: the magic, the version, and twelve slots (a slot whose
// entry is not valid is written as -1). False when a text exceeds 259 characters.
bool encodeUrlList(const CatalogueEntry (&entries)[kListEntryCount], int32_t version,
                   std::vector<uint8_t>& out);
// Decodes a list. Returns kCatalogueOk, or kListReadError for a foreign magic,
// a short file or a text length outside 0..259 (entries and version are then
// unspecified: decode into scratch records).
int decodeUrlList(const uint8_t* data, size_t size, CatalogueEntry (&entries)[kListEntryCount],
                  int32_t& version);

// Reads and decodes a list file (at most the size twelve full slots take):
// kCatalogueOk, kListOpenError (no file) or kListReadError.
int readUrlListFile(const std::string& path, CatalogueEntry (&entries)[kListEntryCount], int32_t& version);
// Reads the list file from the working folder into the catalogue. The
// catalogue changes only when the whole file reads: kCatalogueOk, kListOpenError
// (no file; the built-in table stays) or kListReadError.
int readUrlList(CloudCatalogue& catalogue);
// Writes the list file from the built-in table (version 7, slots 10 and 11 empty).
int writeBuiltInList();
// Writes entries as the list file, whole or not at all.
int writeUrlList(const CatalogueEntry (&entries)[kListEntryCount], int32_t version);
std::string urlListPath();

}  // namespace tv
