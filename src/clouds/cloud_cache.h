// The cloud cache: one file per catalogue entry holding its converted cloud
// map ("Terravane cached clouds 03"), fetching an entry's image (from the
// cache or the network), updating the catalogue list, and the cloud map
// set-up of every render.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "clouds/catalogue.h"
#include "clouds/download.h"
#include "params/params.h"
#include "synth/cloud_map.h"

namespace tv {

constexpr uint32_t kCloudCacheMagic = 0xFEDCABB0u;
constexpr int32_t kCloudCacheVersion = 1;
constexpr size_t kCloudCacheHeaderSize = 36;

// Result codes of the cache.
constexpr int kCacheOk = 0;
constexpr int kCacheNoMap = 1;          // nothing converted for this index to save
constexpr int kCacheOpenError = 99;     // no cache file
constexpr int kCacheReadError = -19;    // short, foreign or malformed cache file
constexpr int kCacheWriteError = -20;

std::string cacheFileName(int index);  // "Terravane cached clouds 03"
std::string cacheFilePath(int index);

// The file's bytes: a 36-byte header (magic, version 1, width, height, the
// disc box truncated to integers, the catalogue index), then every level of
// the pyramid, rows top to bottom.
bool encodeCloudCache(const CloudMap& map, std::vector<uint8_t>& out);
// Reads a cache file's bytes into out (replaced only on success). A file
// whose stored index is not expectedIndex is refused (-1 accepts any).
int decodeCloudCache(const uint8_t* data, size_t size, int expectedIndex, CloudMap& out);

// Writes the map as the cache file of index, whole or not at all: only a
// map converted or loaded for this very index (else kCacheNoMap).
int saveToCache(const CloudMap& map, int index);
// Loads the cache file of index into map; on success sets `last cloud image`
// and `downloaded clouds` to index and the record's cache-loaded byte. A
// missing or broken file leaves no map loaded.
int loadFromCache(CloudMap& map, ParamRecord* params, int index);

// What fetching needs besides the map: the catalogue in force and the download hooks.
struct CloudFetchContext {
    CloudCatalogue* catalogue = nullptr;
    const DownloadHooks* hooks = nullptr;
    std::string detail;  // why the last operation failed
};

// Fetches entry index: with cacheFirst the cache is tried first; otherwise
// (or when that fails) the image is downloaded, converted and cached. Sets
// `downloaded clouds` to index; `last cloud image` to index once a download
// arrived. A failed download keeps the previous map and writes no cache;
// a failed conversion leaves no map. Returns 0, a catalogue code (3, 6), a
// download code (95, 97, 98, 99), a conversion code, or a cache write code.
int fetchClouds(CloudFetchContext& context, CloudMap& map, ParamRecord* params, int index, bool cacheFirst);

// Downloads the catalogue list from the list server, checks it, puts it in
// place of the list file and reads it. A download that is not a list leaves
// the old file. Returns 0, a download code, kListReadError, or
// kListWriteError when the list cannot be put in place.
int updateUrlList(CloudFetchContext& context);

// The render set-up's step: with `real clouds` on, loads the map of
// `last cloud image` (or of `downloaded clouds` when that is -1) from its
// cache unless that map is already in memory. Returns true when a map is loaded.
bool loadCloudMapForRender(CloudMap& map, ParamRecord& params);

}  // namespace tv
