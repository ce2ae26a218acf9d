// Catalogue thumbnails as JPEG files that say who made them: an APP1 "Exif"
// segment naming the software and an APP13 "Photoshop 3.0" segment holding
// the IPTC record of the layered document export.
#pragma once

#include <cstddef>  // before base/image.h, which uses size_t
#include <cstdint>
#include <string_view>
#include <vector>

#include "base/image.h"
#include "platform/clock.h"

namespace tv {

// The thumbnails' quality: the settings files' best class (fine tables, no
// chroma subsampling), which keeps small planets crisp.
constexpr int kCatalogueJpegQuality = 99;

// Encodes image into out. Returns 0, or libjpeg's message code (positive)
// or tv::jpeg::kErrorArguments for an empty image; out is then empty.
int encodeThumbnailJpeg(const RgbImage& image, std::string_view keywordList, const platform::CivilTime& date,
                        std::vector<uint8_t>& out);

// The APP13 segment's body: "Photoshop 3.0", a zero byte, then resource 1028
// ("8BIM", id, empty name, length, data padded to an even length).
std::vector<uint8_t> photoshopIptcSegment(const std::vector<uint8_t>& iptc);
// The APP1 segment's body: "Exif", two zero bytes, then the TIFF block.
std::vector<uint8_t> exifSegment(const std::vector<uint8_t>& exif);

}  // namespace tv
