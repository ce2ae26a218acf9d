#include "export/thumbnail_jpeg.h"

#include "base/bytes.h"
#include "clouds/jpeg_memory.h"
#include "export/metadata.h"

namespace tv {

std::vector<uint8_t> photoshopIptcSegment(const std::vector<uint8_t>& iptc) {
    ByteWriter w;
    w.text("Photoshop 3.0");
    w.u8(0);
    w.text("8BIM");
    w.u16(1028);
    w.u16(0);  // empty name
    w.u32(static_cast<uint32_t>(iptc.size()));
    w.bytes(iptc.data(), iptc.size());
    if (iptc.size() % 2) w.u8(0);
    return std::move(w.data());
}

std::vector<uint8_t> exifSegment(const std::vector<uint8_t>& exif) {
    ByteWriter w;
    w.text("Exif");
    w.zeros(2);
    w.bytes(exif.data(), exif.size());
    return std::move(w.data());
}

int encodeThumbnailJpeg(const RgbImage& image, std::string_view keywordList, const platform::CivilTime& date,
                        std::vector<uint8_t>& out) {
    out.clear();
    if (image.width <= 0 || image.height <= 0 ||
        image.pixels.size() < size_t(image.width) * size_t(image.height) * 3)
        return jpeg::kErrorArguments;
    const std::vector<uint8_t> app1 = exifSegment(exifBlock());
    const std::vector<uint8_t> app13 = photoshopIptcSegment(iptcBlock(keywordList, date));
    const jpeg::Marker markers[] = {{JPEG_APP0 + 1, app1.data(), app1.size()},
                                    {JPEG_APP0 + 13, app13.data(), app13.size()}};
    // Generous: fine tables at 1 x 1 sampling stay well below six bytes a pixel.
    const size_t capacity = size_t(image.width) * size_t(image.height) * 6 + app1.size() + app13.size() + 4096;
    std::vector<uint8_t> block(capacity);
    size_t written = 0;
    const int rc = jpeg::encodeRgb(image.pixels.data(), image.width, image.height, kCatalogueJpegQuality,
                                   block.data(), block.size(), &written, markers);
    if (rc != jpeg::kOk) return rc;
    block.resize(written);
    out = std::move(block);
    return 0;
}

}  // namespace tv
