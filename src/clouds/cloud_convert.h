// Turns a downloaded satellite image (a palette GIF or a JPEG of the whole
// Earth disc) into the cloud map: 0 clear sky .. 255 full cloud, with the
// disc's placement in the image.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "clouds/catalogue.h"
#include "synth/cloud_map.h"

namespace tv {

struct GifImage;

// Result codes of a conversion.
constexpr int kConvertOk = 0;
constexpr int kConvertNoKind = -1;      // the URL names neither a GIF nor a JPEG: nothing done
constexpr int kConvertJpegEmpty = 4;    // a JPEG header with zero width or height
constexpr int kConvertBadGif = 25;      // not a GIF, a broken GIF, or no memory for its map
constexpr int kConvertOpenError = 99;   // the image file cannot be read
constexpr int kConvertNoMemory = 99;    // no memory for the map of a JPEG
// Other positive codes are the JPEG library's messages (a broken JPEG).

enum class CloudImageKind { None, Gif, Jpeg };

// ".gif" anywhere in the URL (any letter case) makes a GIF; else ".jpg" or
// ".jpeg" a JPEG; else nothing.
CloudImageKind imageKindOfUrl(const char* url);
// The kind by the file's first bytes (for local files); None when neither.
CloudImageKind imageKindOfData(const uint8_t* data, size_t size);

// "Terravane clouds" with ".gif" or ".jpg" by the URL's kind, and its path
// in the working folder.
std::string downloadedImageName(const char* url);
std::string downloadedImagePath(const char* url);

// Converts the downloaded image of entry index (its file and kind by the
// entry's URL). With no kind, returns kConvertNoKind and leaves map as it
// was; otherwise map ends converted (loaded, index set) or empty.
int convertDownloadedImage(CloudMap& map, int index, const CatalogueEntry& entry);
// The same for any file of a given kind.
int convertImageFile(CloudMap& map, int index, const CatalogueEntry& entry, const std::string& path,
                     CloudImageKind kind);
// The same for image data in memory.
int convertImageData(CloudMap& map, int index, const CatalogueEntry& entry, const uint8_t* data, size_t size,
                     CloudImageKind kind);

// ---- the steps, for the tests ------------------------------------------------

struct DiscBox {
    float left = 0, width = 0, top = 0, height = 0;
};

// Cloud value 0..255 of each grey level g / 255 (GIF palette green, JPEG luminance).
void cloudLevels(float blackLevel, float whiteLevel, uint8_t table[256]);

// Paints out overlay colours a and b (palette indices; -1 none) inside the
// disc box: each overlay pixel takes the mean cloud value of its non-overlay
// neighbours, in up to four passes. cloud holds the image's values, rows top
// to bottom. Returns the number of pixels left unresolved.
int paintOutOverlays(GifImage& image, std::vector<uint8_t>& cloud, int32_t a, int32_t b, const DiscBox& box);

// Finds the disc's edges: the outermost columns and rows holding at least
// five values below threshold. An axis where none qualifies keeps box's values.
void findDisc(const std::vector<uint8_t>& cloud, int32_t width, int32_t height, int32_t threshold, DiscBox& box);

// Sets the map's normalised disc from its disc box and size.
void normaliseDisc(CloudMap& map);

// Frees the map's pyramid and clears its fields.
void clearCloudMap(CloudMap& map);

}  // namespace tv
