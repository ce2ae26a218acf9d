#include "clouds/cloud_convert.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>

#include "clouds/gif_decoder.h"
#include "clouds/jpeg_memory.h"
#include "clouds/pyramid_rows.h"
// clang-format off
#include <jerror.h>
// clang-format on
#include "platform/files.h"
#include "synth/pyramid.h"

namespace tv {

namespace {

constexpr float kByteToUnit = 0.003921568627451f;  // 1 / 255
constexpr int32_t kMaxJpegSide = 65535;
constexpr size_t kMaxJpegPixels = size_t(1) << 26;
constexpr size_t kMaxImageFileSize = size_t(512) << 20;
constexpr int kOverlayPasses = 4;
constexpr int kDiscMinimumCount = 5;

bool containsNoCase(const char* text, const char* part) {
    const size_t n = std::strlen(part);
    for (const char* p = text; *p; ++p) {
        size_t i = 0;
        while (i < n && p[i] && std::tolower(static_cast<unsigned char>(p[i])) == part[i]) ++i;
        if (i == n) return true;
    }
    return false;
}

DiscBox boxOf(const CatalogueEntry& e) { return {e.discLeft, e.discWidth, e.discTop, e.discHeight}; }

// Gives the new map its disc, builds its chain and puts it in place, loaded for index.
int finishMap(CloudMap& map, CloudMap& result, int index, const DiscBox& box) {
    result.pyramid.state = 1;
    buildChain(result.pyramid);
    result.width = result.pyramid.levelWidth[0];
    result.height = result.pyramid.levelHeight[0];
    result.index = index;
    result.discLeft = box.left;
    result.discWidth = box.width;
    result.discTop = box.top;
    result.discHeight = box.height;
    normaliseDisc(result);
    result.loaded = true;
    map = std::move(result);
    return kConvertOk;
}

int convertGif(CloudMap& map, int index, const CatalogueEntry& entry, const uint8_t* data, size_t size) {
    GifImage image;
    if (decodeGif(data, size, image) != GifStatus::Ok) return kConvertBadGif;
    const int32_t w = image.width, h = image.height;
    CloudMap result;
    if (!createPyramid(result.pyramid, w, h, kFormatGrey8, kWrapClamp)) return kConvertBadGif;

    uint8_t levels[256];
    cloudLevels(entry.blackLevel, entry.whiteLevel, levels);
    uint8_t byIndex[256];
    for (int i = 0; i < 256; ++i) byIndex[i] = levels[image.palette[i].green];
    std::vector<uint8_t> cloud(size_t(w) * size_t(h));
    for (size_t i = 0; i < cloud.size(); ++i) cloud[i] = byIndex[image.pixels[i]];

    DiscBox box = boxOf(entry);
    if (entry.flags & kPaintOutOverlays) paintOutOverlays(image, cloud, entry.overlayA, entry.overlayB, box);
    if (entry.flags & kFindDisc) findDisc(cloud, w, h, int32_t(entry.threshold * 255.0f), box);

    for (int32_t y = 0; y < h; ++y) writePyramidRow(result.pyramid, 0, y, cloud.data() + size_t(y) * size_t(w));
    return finishMap(map, result, index, box);
}

int convertJpeg(CloudMap& map, int index, const CatalogueEntry& entry, const uint8_t* data, size_t size) {
    jpeg::DecodedImage image;
    const int rc = jpeg::decodeRgb(data, size, image, kMaxJpegSide, kMaxJpegPixels);
    if (rc == JERR_EMPTY_IMAGE) return kConvertJpegEmpty;
    if (rc != jpeg::kOk) return rc;
    CloudMap result;
    if (!createPyramid(result.pyramid, image.width, image.height, kFormatGrey8, kWrapClamp)) return kConvertNoMemory;

    uint8_t levels[256];
    cloudLevels(entry.blackLevel, entry.whiteLevel, levels);
    std::vector<uint8_t> row(size_t(image.width));
    for (int32_t y = 0; y < image.height; ++y) {
        const uint8_t* rgb = image.pixels.data() + size_t(y) * size_t(image.width) * 3;
        for (int32_t x = 0; x < image.width; ++x, rgb += 3)
            row[size_t(x)] = levels[(77 * rgb[0] + 150 * rgb[1] + 28 * rgb[2]) >> 8];
        writePyramidRow(result.pyramid, 0, y, row.data());
    }
    image = jpeg::DecodedImage();  // the decoded image is not needed for the chain
    return finishMap(map, result, index, boxOf(entry));
}

}  // namespace

CloudImageKind imageKindOfUrl(const char* url) {
    if (containsNoCase(url, ".gif")) return CloudImageKind::Gif;
    if (containsNoCase(url, ".jpg") || containsNoCase(url, ".jpeg")) return CloudImageKind::Jpeg;
    return CloudImageKind::None;
}

CloudImageKind imageKindOfData(const uint8_t* data, size_t size) {
    if (size >= 4 && std::memcmp(data, "GIF8", 4) == 0) return CloudImageKind::Gif;
    if (size >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF) return CloudImageKind::Jpeg;
    return CloudImageKind::None;
}

std::string downloadedImageName(const char* url) {
    std::string name = "Terravane clouds";
    switch (imageKindOfUrl(url)) {
        case CloudImageKind::Gif: name += ".gif"; break;
        case CloudImageKind::Jpeg: name += ".jpg"; break;
        case CloudImageKind::None: break;
    }
    return name;
}

std::string downloadedImagePath(const char* url) { return platform::workingFile(downloadedImageName(url)); }

int convertDownloadedImage(CloudMap& map, int index, const CatalogueEntry& entry) {
    const CloudImageKind kind = imageKindOfUrl(entry.url);
    if (kind == CloudImageKind::None) return kConvertNoKind;
    return convertImageFile(map, index, entry, downloadedImagePath(entry.url), kind);
}

int convertImageFile(CloudMap& map, int index, const CatalogueEntry& entry, const std::string& path,
                     CloudImageKind kind) {
    if (kind == CloudImageKind::None) return kConvertNoKind;
    std::vector<uint8_t> data;
    if (!platform::readFile(path, data, kMaxImageFileSize)) {
        clearCloudMap(map);
        return kConvertOpenError;
    }
    return convertImageData(map, index, entry, data.data(), data.size(), kind);
}

int convertImageData(CloudMap& map, int index, const CatalogueEntry& entry, const uint8_t* data, size_t size,
                     CloudImageKind kind) {
    if (kind == CloudImageKind::None) return kConvertNoKind;
    // The previous map goes first: a failed conversion leaves none.
    clearCloudMap(map);
    return kind == CloudImageKind::Gif ? convertGif(map, index, entry, data, size)
                                       : convertJpeg(map, index, entry, data, size);
}

void cloudLevels(float blackLevel, float whiteLevel, uint8_t table[256]) {
    float range = whiteLevel - blackLevel;
    if (range == 0.0f) range = 1.0f;
    for (int g = 0; g < 256; ++g) {
        float c = (float(g) * kByteToUnit - blackLevel) / range;
        c = std::clamp(c, 0.0f, 1.0f);
        table[g] = uint8_t(int32_t(c * 255.0f));
    }
}

int paintOutOverlays(GifImage& image, std::vector<uint8_t>& cloud, int32_t a, int32_t b, const DiscBox& box) {
    const int32_t w = image.width, h = image.height;
    int32_t replacement = 0;
    if (replacement == a || replacement == b) replacement = 1;
    if (replacement == a || replacement == b) replacement = 2;
    auto isOverlay = [&](int32_t index) { return index == a || index == b; };

    // The box, truncated to integers and kept inside the image.
    const int32_t x0 = std::max(0, int32_t(box.left));
    const int32_t x1 = std::min(w - 1, int32_t(box.left + box.width - 2.0f));
    const int32_t y0 = std::max(0, int32_t(box.top));
    const int32_t y1 = std::min(h - 1, int32_t(box.top + box.height - 2.0f));
    int unresolved = 0;
    for (int pass = 0; pass < kOverlayPasses; ++pass) {
        unresolved = 0;
        for (int32_t y = y0; y <= y1; ++y)
            for (int32_t x = x0; x <= x1; ++x) {
                uint8_t& index = image.pixels[size_t(y) * size_t(w) + size_t(x)];
                if (!isOverlay(index)) continue;
                int32_t sum = 0, count = 0;
                for (int32_t ny = std::max(0, y - 1); ny <= std::min(h - 1, y + 1); ++ny)
                    for (int32_t nx = std::max(0, x - 1); nx <= std::min(w - 1, x + 1); ++nx) {
                        if ((nx == x && ny == y) || isOverlay(image.pixels[size_t(ny) * size_t(w) + size_t(nx)]))
                            continue;
                        sum += cloud[size_t(ny) * size_t(w) + size_t(nx)];
                        ++count;
                    }
                if (count == 0) {
                    ++unresolved;
                    continue;
                }
                cloud[size_t(y) * size_t(w) + size_t(x)] = uint8_t(sum / count);
                index = uint8_t(replacement);
            }
        if (unresolved == 0) break;
    }
    return unresolved;
}

void findDisc(const std::vector<uint8_t>& cloud, int32_t width, int32_t height, int32_t threshold, DiscBox& box) {
    auto columnQualifies = [&](int32_t x) {
        int count = 0;
        for (int32_t y = 0; y < height && count < kDiscMinimumCount; ++y)
            if (cloud[size_t(y) * size_t(width) + size_t(x)] < threshold) ++count;
        return count >= kDiscMinimumCount;
    };
    auto rowQualifies = [&](int32_t y) {
        int count = 0;
        const uint8_t* row = cloud.data() + size_t(y) * size_t(width);
        for (int32_t x = 0; x < width && count < kDiscMinimumCount; ++x)
            if (row[x] < threshold) ++count;
        return count >= kDiscMinimumCount;
    };
    int32_t left = 0;
    while (left < width && !columnQualifies(left)) ++left;
    if (left < width) {
        int32_t right = width - 1;
        while (!columnQualifies(right)) --right;
        box.left = float(left);
        box.width = float(right - left);
    }
    int32_t top = 0;
    while (top < height && !rowQualifies(top)) ++top;
    if (top < height) {
        int32_t bottom = height - 1;
        while (!rowQualifies(bottom)) --bottom;
        box.top = float(top);
        box.height = float(bottom - top);
    }
}

void normaliseDisc(CloudMap& map) {
    const float w = float(map.width > 0 ? map.width : 1), h = float(map.height > 0 ? map.height : 1);
    map.offsetU = map.discLeft / w;
    map.scaleU = map.discWidth / w;
    map.offsetV = map.discTop / h;
    map.scaleV = map.discHeight / h;
}

void clearCloudMap(CloudMap& map) {
    freePyramid(map.pyramid);
    map.loaded = false;
    map.index = -1;
    map.width = map.height = 0;
    map.discLeft = map.discWidth = map.discTop = map.discHeight = 0;
    map.offsetU = map.offsetV = map.scaleU = map.scaleV = 0;
}

}  // namespace tv
