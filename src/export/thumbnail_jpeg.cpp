#include "export/thumbnail_jpeg.h"

#include <csetjmp>
#include <cstring>

#include "base/bytes.h"
#include "clouds/jpeg_memory.h"

#include <jerror.h>
#include "export/metadata.h"

namespace tv {

namespace {

// libjpeg reports errors through a long jump back to encodeWorker; only
// libjpeg's frames lie in between.
struct JumpingErrors {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

void jumpBack(j_common_ptr cinfo) { std::longjmp(reinterpret_cast<JumpingErrors*>(cinfo->err)->jump, 1); }
void noMessages(j_common_ptr, int) {}

int encodeWorker(const RgbImage& image, const std::vector<uint8_t>& app1, const std::vector<uint8_t>& app13,
                 uint8_t* block, size_t capacity, size_t* written) {
    jpeg_compress_struct cinfo;
    std::memset(&cinfo, 0, sizeof cinfo);
    JumpingErrors err;
    jpeg_std_error(&err.pub);
    err.pub.error_exit = jumpBack;
    err.pub.emit_message = noMessages;
    cinfo.err = &err.pub;
    jpeg::MemoryDestination dst;
    if (setjmp(err.jump)) {
        const int code = err.pub.msg_code > 0 ? err.pub.msg_code : JERR_FILE_WRITE;
        jpeg_destroy_compress(&cinfo);
        return code;
    }
    jpeg_create_compress(&cinfo);
    jpeg::useMemoryDestination(&cinfo, dst, block, capacity);
    cinfo.image_width = static_cast<JDIMENSION>(image.width);
    cinfo.image_height = static_cast<JDIMENSION>(image.height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg::setQualityClass(&cinfo, kCatalogueJpegQuality);
    jpeg_start_compress(&cinfo, TRUE);
    jpeg_write_marker(&cinfo, JPEG_APP0 + 1, app1.data(), static_cast<unsigned>(app1.size()));
    jpeg_write_marker(&cinfo, JPEG_APP0 + 13, app13.data(), static_cast<unsigned>(app13.size()));
    const size_t stride = size_t(image.width) * 3;
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(image.pixels.data() + size_t(cinfo.next_scanline) * stride);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    *written = dst.written;
    jpeg_destroy_compress(&cinfo);
    return jpeg::kOk;
}

}  // namespace

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
    constexpr int32_t kMaxSide = 65500;
    if (image.width <= 0 || image.height <= 0 || image.width > kMaxSide || image.height > kMaxSide ||
        image.pixels.size() < size_t(image.width) * size_t(image.height) * 3)
        return jpeg::kErrorArguments;
    const std::vector<uint8_t> app1 = exifSegment(exifBlock());
    const std::vector<uint8_t> app13 = photoshopIptcSegment(iptcBlock(keywordList, date));
    // Generous: fine tables at 1 x 1 sampling stay well below six bytes a pixel.
    const size_t capacity = size_t(image.width) * size_t(image.height) * 6 + app1.size() + app13.size() + 4096;
    std::vector<uint8_t> block(capacity);
    size_t written = 0;
    const int rc = encodeWorker(image, app1, app13, block.data(), block.size(), &written);
    if (rc != jpeg::kOk) return rc;
    block.resize(written);
    out = std::move(block);
    return 0;
}

}  // namespace tv
