#include "clouds/cloud_cache.h"

#include <cstdio>

#include "base/bytes.h"
#include "clouds/cloud_convert.h"
#include "clouds/pyramid_rows.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/netrc.h"
#include "synth/pyramid.h"

namespace tv {

namespace {

constexpr int32_t kMaxCacheSide = 65535;
constexpr int64_t kMaxCachePixels = int64_t(1) << 28;
constexpr int32_t kMaxDiscValue = 1 << 24;
// Level 0 and its chain: a little over 4/3 of level 0.
constexpr size_t kMaxCacheFileSize = kCloudCacheHeaderSize + size_t(kMaxCachePixels) * 3 / 2;

size_t levelBytes(const ImagePyramid& p) {
    size_t total = 0;
    for (int32_t level = 0; level <= p.topLevel; ++level)
        total += size_t(p.levelWidth[level]) * size_t(p.levelHeight[level]);
    return total;
}

}  // namespace

std::string cacheFileName(int index) {
    char name[64];
    std::snprintf(name, sizeof name, "Terravane cached clouds %02d", index);
    return name;
}

std::string cacheFilePath(int index) { return platform::workingFile(cacheFileName(index)); }

bool encodeCloudCache(const CloudMap& map, std::vector<uint8_t>& out) {
    const ImagePyramid& p = map.pyramid;
    if (p.empty() || p.format != kFormatGrey8) return false;
    ByteWriter w;
    w.data().reserve(kCloudCacheHeaderSize + levelBytes(p));
    w.u32(kCloudCacheMagic);
    w.i32(kCloudCacheVersion);
    w.i32(p.levelWidth[0]);
    w.i32(p.levelHeight[0]);
    w.i32(int32_t(map.discLeft));
    w.i32(int32_t(map.discWidth));
    w.i32(int32_t(map.discTop));
    w.i32(int32_t(map.discHeight));
    w.i32(map.index);
    std::vector<uint8_t>& bytes = w.data();
    for (int32_t level = 0; level <= p.topLevel; ++level) {
        const size_t width = size_t(p.levelWidth[level]);
        for (int32_t y = 0; y < p.levelHeight[level]; ++y) {
            const size_t at = bytes.size();
            bytes.resize(at + width);
            readPyramidRow(p, level, y, bytes.data() + at);
        }
    }
    out = std::move(bytes);
    return true;
}

int decodeCloudCache(const uint8_t* data, size_t size, int expectedIndex, CloudMap& out) {
    ByteReader r(data, size);
    uint32_t magic = 0;
    int32_t version, width, height, left, discWidth, top, discHeight, index;
    if (!r.u32(magic) || magic != kCloudCacheMagic) return kCacheReadError;
    if (!r.i32(version) || !r.i32(width) || !r.i32(height) || !r.i32(left) || !r.i32(discWidth) || !r.i32(top) ||
        !r.i32(discHeight) || !r.i32(index))
        return kCacheReadError;
    if (width < 1 || height < 1 || width > kMaxCacheSide || height > kMaxCacheSide ||
        int64_t(width) * height > kMaxCachePixels)
        return kCacheReadError;
    // Disc numbers are image pixels: beyond 2^24 they are not a disc (nor exact as floats).
    for (int32_t v : {left, discWidth, top, discHeight})
        if (v < -kMaxDiscValue || v > kMaxDiscValue) return kCacheReadError;
    if (expectedIndex >= 0 && index != expectedIndex) return kCacheReadError;
    // Level 0 must be there before anything is allocated.
    if (r.remaining() < size_t(width) * size_t(height)) return kCacheReadError;

    CloudMap map;
    if (!createPyramid(map.pyramid, width, height, kFormatGrey8, kWrapClamp)) return kCacheReadError;
    if (r.remaining() < levelBytes(map.pyramid)) return kCacheReadError;
    ImagePyramid& p = map.pyramid;
    for (int32_t level = 0; level <= p.topLevel; ++level)
        for (int32_t y = 0; y < p.levelHeight[level]; ++y) {
            writePyramidRow(p, level, y, r.current());
            r.skip(size_t(p.levelWidth[level]));
        }
    p.state = 2;
    map.width = width;
    map.height = height;
    map.discLeft = float(left);
    map.discWidth = float(discWidth);
    map.discTop = float(top);
    map.discHeight = float(discHeight);
    map.index = index;
    normaliseDisc(map);
    map.loaded = true;
    out = std::move(map);
    return kCacheOk;
}

int saveToCache(const CloudMap& map, int index) {
    if (!map.loaded || map.index != index || map.pyramid.empty()) return kCacheNoMap;
    std::vector<uint8_t> bytes;
    if (!encodeCloudCache(map, bytes)) return kCacheNoMap;
    const int rc = platform::writeFileAtomic(cacheFilePath(index), bytes.data(), bytes.size());
    return rc == platform::kFileOk ? kCacheOk : kCacheWriteError;
}

int loadFromCache(CloudMap& map, ParamRecord* params, int index) {
    map.loaded = false;
    const std::string path = cacheFilePath(index);
    if (index < 0 || !platform::fileExists(path)) return kCacheOpenError;
    std::vector<uint8_t> bytes;
    if (!platform::readFile(path, bytes, kMaxCacheFileSize)) return kCacheReadError;
    CloudMap loaded;
    if (const int rc = decodeCloudCache(bytes.data(), bytes.size(), index, loaded); rc != kCacheOk) return rc;
    map = std::move(loaded);
    if (params) {
        params->lastCloudImage = index;
        params->downloadedClouds = index;
        params->cloudCacheLoaded = 1;
    }
    return kCacheOk;
}

int fetchClouds(CloudFetchContext& context, CloudMap& map, ParamRecord* params, int index, bool cacheFirst) {
    context.detail.clear();
    if (params) params->downloadedClouds = index;
    if (cacheFirst) {
        // A missing cache must not cost the map in memory: load beside it.
        CloudMap cached;
        if (loadFromCache(cached, params, index) == kCacheOk) {
            map = std::move(cached);
            return kCacheOk;
        }
    }

    CatalogueEntry entry;
    CloudCatalogue builtIn;
    CloudCatalogue& catalogue = context.catalogue ? *context.catalogue : builtIn;
    if (const int rc = getEntry(catalogue, index, entry); rc != kCatalogueOk) {
        context.detail = rc == kEntryMissing ? "there is no catalogue entry " + std::to_string(index)
                                             : "the address of entry " + std::to_string(index) + " is too long";
        return rc;
    }
    const CloudImageKind kind = imageKindOfUrl(entry.url);
    if (kind == CloudImageKind::None) {
        context.detail =
            "the address names neither a GIF nor a JPEG image: " + platform::urlWithoutCredentials(entry.url);
        return kConvertNoKind;
    }
    const std::string imagePath = downloadedImagePath(entry.url);
    std::string detail;
    const int downloaded = downloadFile(entry.url, imagePath, context.hooks, &detail);
    if (downloaded != kDownloadOk) {
        // The previous map stays, and nothing is cached under this index.
        context.detail = std::string(downloadResultText(downloaded)) + (detail.empty() ? "" : ": " + detail);
        return downloaded;
    }
    if (params) params->lastCloudImage = index;
    const int converted = convertImageFile(map, index, entry, imagePath, kind);
    if (converted != kConvertOk) {
        context.detail = "the downloaded image could not be converted (code " + std::to_string(converted) + ")";
        return converted;
    }
    const int saved = saveToCache(map, index);
    if (saved != kCacheOk) {
        context.detail = "the cloud map could not be written to " + cacheFilePath(index);
        return saved;
    }
    return kCacheOk;
}

int updateUrlList(CloudFetchContext& context) {
    context.detail.clear();
    std::string problem;
    const std::string base = serverBase(CloudServer::List, &problem);
    if (base.empty()) {
        context.detail = problem;
        return kDownloadCannotOpen;
    }
    const std::string listPath = urlListPath();
    const std::string incoming = listPath + " (download)";
    std::string detail;
    const int downloaded = downloadFile(base + kUrlListPath, incoming, context.hooks, &detail);
    if (downloaded != kDownloadOk) {
        context.detail = std::string(downloadResultText(downloaded)) + (detail.empty() ? "" : ": " + detail);
        return downloaded;
    }
    // Only a list the list reader takes replaces the one in place.
    CatalogueEntry entries[kListEntryCount];
    int32_t version = 0;
    if (readUrlListFile(incoming, entries, version) != kCatalogueOk) {
        platform::removeFile(incoming);
        context.detail = "the list server did not send a Terravane URL list";
        return kListReadError;
    }
    platform::clearLastError();
    if (!platform::renameFile(incoming, listPath)) {
        const std::string why = platform::lastErrorText();
        platform::removeFile(incoming);
        context.detail = "could not put the list in place at " + listPath + (why.empty() ? "" : ": " + why);
        return kListWriteError;
    }
    if (context.catalogue) {
        context.catalogue->listLoaded = false;
        return readUrlList(*context.catalogue);
    }
    return kCatalogueOk;
}

bool loadCloudMapForRender(CloudMap& map, ParamRecord& params) {
    if (!params.realClouds) return map.loaded;
    const int index = params.lastCloudImage != -1 ? params.lastCloudImage : params.downloadedClouds;
    if (map.loaded && map.index == index) return true;
    return loadFromCache(map, &params, index) == kCacheOk;
}

}  // namespace tv
