#include "clouds/jpeg_memory.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <csetjmp>
#include <cstring>
#include <new>
#include <utility>

#include <jerror.h>

namespace tv::jpeg {

namespace {

// ---- error manager: a long jump back to the frame that called libjpeg ------
// Only libjpeg's own frames and the managers' callbacks (which hold no objects
// with destructors) lie between the jump and its target.
struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    int firstWarning;  // message code of the first corrupt-data warning, or 0
};

void onError(j_common_ptr cinfo) {
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    std::longjmp(err->jump, 1);
}

// The module writes no log: libjpeg's warnings are counted, traces dropped.
void onMessage(j_common_ptr cinfo, int level) {
    if (level >= 0) return;
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    if (err->pub.num_warnings++ == 0) err->firstWarning = err->pub.msg_code > 0 ? err->pub.msg_code : 1;
}

int failureCode(const ErrorManager& err) { return err.pub.msg_code > 0 ? err.pub.msg_code : JERR_FILE_READ; }

void installErrorManager(ErrorManager& err) {
    jpeg_std_error(&err.pub);
    err.pub.error_exit = onError;
    err.pub.emit_message = onMessage;
    err.firstWarning = 0;
}

// ---- source manager ----------------------------------------------------------
void sourceInit(j_decompress_ptr) {}

boolean sourceFill(j_decompress_ptr cinfo) {
    auto* src = reinterpret_cast<MemorySource*>(cinfo->src);
    if (src->next >= src->size) ERREXIT(cinfo, JERR_FILE_READ);
    const size_t n = std::min(kChunkSize, src->size - src->next);
    src->pub.next_input_byte = src->data + src->next;
    src->pub.bytes_in_buffer = n;
    src->next += n;
    return TRUE;
}

void sourceSkip(j_decompress_ptr cinfo, long count) {
    if (count <= 0) return;
    auto* src = reinterpret_cast<MemorySource*>(cinfo->src);
    size_t left = static_cast<size_t>(count);
    while (left > src->pub.bytes_in_buffer) {
        left -= src->pub.bytes_in_buffer;
        src->pub.bytes_in_buffer = 0;
        sourceFill(cinfo);
    }
    src->pub.next_input_byte += left;
    src->pub.bytes_in_buffer -= left;
}

void sourceTerm(j_decompress_ptr) {}

// ---- destination manager -----------------------------------------------------
void destinationInit(j_compress_ptr cinfo) {
    auto* dst = reinterpret_cast<MemoryDestination*>(cinfo->dest);
    dst->pub.next_output_byte = dst->buffer;
    dst->pub.free_in_buffer = kChunkSize;
}

void appendToBlock(j_compress_ptr cinfo, size_t n) {
    auto* dst = reinterpret_cast<MemoryDestination*>(cinfo->dest);
    if (n > dst->capacity - dst->written) ERREXIT(cinfo, JERR_FILE_WRITE);
    std::memcpy(dst->block + dst->written, dst->buffer, n);
    dst->written += n;
}

boolean destinationEmpty(j_compress_ptr cinfo) {
    auto* dst = reinterpret_cast<MemoryDestination*>(cinfo->dest);
    appendToBlock(cinfo, kChunkSize);
    dst->pub.next_output_byte = dst->buffer;
    dst->pub.free_in_buffer = kChunkSize;
    return TRUE;
}

void destinationTerm(j_compress_ptr cinfo) {
    auto* dst = reinterpret_cast<MemoryDestination*>(cinfo->dest);
    appendToBlock(cinfo, kChunkSize - dst->pub.free_in_buffer);
    dst->pub.next_output_byte = dst->buffer;
    dst->pub.free_in_buffer = kChunkSize;
}

// ---- quantisation tables -----------------------------------------------------
constexpr uint8_t kLuminance9[64] = {
    1, 1, 1, 1, 2, 2, 2, 3, 1, 1, 1, 1, 1, 2, 2, 3, 1, 1, 1, 1, 2, 3, 4, 5, 1, 1, 1, 2, 3, 4, 5, 7,
    2, 1, 2, 3, 4, 5, 7, 8, 2, 2, 3, 4, 5, 7, 8, 8, 2, 2, 4, 5, 7, 8, 8, 8, 3, 3, 5, 7, 8, 8, 8, 8,
};
constexpr uint8_t kChrominance9[64] = {
    1, 1, 2, 4, 7, 8, 8, 8, 1, 2, 3, 5, 8, 8, 8, 8, 2, 3, 4, 8, 8, 8, 8, 8, 4, 5, 8, 8, 8, 8, 8, 8,
    8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8,
};

// Classes 0 to 8 scale the class-9 tables: each class down is 0.6 coarser,
// class 0 reaching 51.
struct ClassTables {
    uint8_t luminance[10][64];
    uint8_t chrominance[10][64];
    ClassTables() {
        for (int k = 0; k < 10; ++k) {
            const double factor = 1.0 + (9 - k) * 0.6;
            for (int i = 0; i < 64; ++i) {
                luminance[k][i] = scaled(kLuminance9[i], factor);
                chrominance[k][i] = scaled(kChrominance9[i], factor);
            }
        }
    }
    static uint8_t scaled(uint8_t v, double factor) {
        const long s = std::lround(v * factor);
        return static_cast<uint8_t>(std::clamp(s, 1L, 51L));
    }
};

const ClassTables& classTables() {
    static const ClassTables tables;
    return tables;
}

int clampClass(int qualityClass) { return std::clamp(qualityClass, 0, 9); }

// ---- whole-image workers (the frames a libjpeg error jumps back to) -----------
int encodeWorker(const uint8_t* rgb, int width, int height, int quality, uint8_t* out, size_t capacity,
                 std::span<const Marker> markers, size_t* written) {
    jpeg_compress_struct cinfo;
    std::memset(&cinfo, 0, sizeof cinfo);
    ErrorManager err;
    installErrorManager(err);
    cinfo.err = &err.pub;
    MemoryDestination dst;
    if (setjmp(err.jump)) {
        const int code = failureCode(err);
        jpeg_destroy_compress(&cinfo);
        return code;
    }
    jpeg_create_compress(&cinfo);
    useMemoryDestination(&cinfo, dst, out, capacity);
    cinfo.image_width = static_cast<JDIMENSION>(width);
    cinfo.image_height = static_cast<JDIMENSION>(height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    setQualityClass(&cinfo, quality);
    jpeg_start_compress(&cinfo, TRUE);
    for (const Marker& m : markers)
        jpeg_write_marker(&cinfo, m.code, m.data, static_cast<unsigned>(m.size));
    const size_t stride = size_t(width) * 3;
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(rgb + size_t(cinfo.next_scanline) * stride);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    *written = dst.written;
    jpeg_destroy_compress(&cinfo);
    return kOk;
}

// Reads the header into *header, then (unless image is null) decodes into
// *image, whose pixels are sized here; on failure *image is partly filled and
// the caller drops it.
int decodeWorker(const uint8_t* data, size_t size, int maxSide, size_t maxPixels, bool acceptWarnings,
                 Header* header, DecodedImage* image) {
    jpeg_decompress_struct cinfo;
    std::memset(&cinfo, 0, sizeof cinfo);
    ErrorManager err;
    installErrorManager(err);
    cinfo.err = &err.pub;
    MemorySource src;
    if (setjmp(err.jump)) {
        const int code = failureCode(err);
        jpeg_destroy_decompress(&cinfo);
        return code;
    }
    jpeg_create_decompress(&cinfo);
    useMemorySource(&cinfo, src, data, size);
    jpeg_read_header(&cinfo, TRUE);
    header->width = static_cast<int>(cinfo.image_width);
    header->height = static_cast<int>(cinfo.image_height);
    header->components = cinfo.num_components;
    if (!image) {
        jpeg_destroy_decompress(&cinfo);
        return kOk;
    }
    const size_t w = cinfo.image_width;
    const size_t h = cinfo.image_height;
    if (w == 0 || h == 0) ERREXIT(&cinfo, JERR_EMPTY_IMAGE);
    if (w > size_t(maxSide) || h > size_t(maxSide) || w * h > maxPixels) {
        jpeg_destroy_decompress(&cinfo);
        return kErrorTooLarge;
    }
    const bool grey = cinfo.jpeg_color_space == JCS_GRAYSCALE;
    if (!grey && cinfo.num_components != 3) ERREXIT(&cinfo, JERR_CONVERSION_NOTIMPL);
    cinfo.out_color_space = grey ? JCS_GRAYSCALE : JCS_RGB;
    // Sized before decoding starts, so that nothing throws between here and the end.
    bool allocated = true;
    try {
        image->pixels.assign(w * h * 3, 0);
    } catch (const std::bad_alloc&) {
        allocated = false;
    }
    if (!allocated) {
        jpeg_destroy_decompress(&cinfo);
        return kErrorTooLarge;
    }
    image->width = static_cast<int>(w);
    image->height = static_cast<int>(h);
    jpeg_start_decompress(&cinfo);
    while (cinfo.output_scanline < cinfo.output_height) {
        uint8_t* row = image->pixels.data() + size_t(cinfo.output_scanline) * w * 3;
        JSAMPROW rows[1] = {row};
        jpeg_read_scanlines(&cinfo, rows, 1);
        if (grey)  // expand in place, from the right so nothing is overwritten early
            for (size_t x = w; x-- > 0;) row[3 * x] = row[3 * x + 1] = row[3 * x + 2] = row[x];
    }
    jpeg_finish_decompress(&cinfo);
    const int warning = err.pub.num_warnings > 0 && !acceptWarnings ? err.firstWarning : kOk;
    jpeg_destroy_decompress(&cinfo);
    return warning;
}

}  // namespace

void useMemorySource(j_decompress_ptr cinfo, MemorySource& src, const uint8_t* data, size_t size) {
    src.pub.init_source = sourceInit;
    src.pub.fill_input_buffer = sourceFill;
    src.pub.skip_input_data = sourceSkip;
    src.pub.resync_to_restart = jpeg_resync_to_restart;
    src.pub.term_source = sourceTerm;
    src.pub.next_input_byte = nullptr;
    src.pub.bytes_in_buffer = 0;
    src.data = data;
    src.size = data ? size : 0;
    src.next = 0;
    cinfo->src = &src.pub;
}

void useMemoryDestination(j_compress_ptr cinfo, MemoryDestination& dst, uint8_t* block, size_t capacity) {
    dst.pub.init_destination = destinationInit;
    dst.pub.empty_output_buffer = destinationEmpty;
    dst.pub.term_destination = destinationTerm;
    dst.block = block;
    dst.capacity = block ? capacity : 0;
    dst.written = 0;
    cinfo->dest = &dst.pub;
}

const uint8_t* luminanceTable(int qualityClass) { return classTables().luminance[clampClass(qualityClass)]; }
const uint8_t* chrominanceTable(int qualityClass) {
    return classTables().chrominance[clampClass(qualityClass)];
}

void setQualityClass(j_compress_ptr cinfo, int quality) {
    const int q = std::clamp(quality, 0, 99);
    const int k = q / 10;
    std::array<unsigned int, 64> lum{}, chrom{};
    for (int i = 0; i < 64; ++i) {
        lum[i] = luminanceTable(k)[i];
        chrom[i] = chrominanceTable(k)[i];
    }
    jpeg_add_quant_table(cinfo, 0, lum.data(), 100, FALSE);
    jpeg_add_quant_table(cinfo, 1, chrom.data(), 100, FALSE);
    const int sampling = k <= 4 ? 2 : 1;
    for (int c = 0; c < cinfo->num_components; ++c) {
        cinfo->comp_info[c].h_samp_factor = c == 0 ? sampling : 1;
        cinfo->comp_info[c].v_samp_factor = c == 0 ? sampling : 1;
    }
}

int encodeRgb(const uint8_t* rgb, int width, int height, int quality, uint8_t* out, size_t capacity,
              size_t* written, std::span<const Marker> markers) {
    size_t count = 0;
    if (written) *written = 0;
    if (!rgb || !out || width <= 0 || height <= 0 || width > JPEG_MAX_DIMENSION || height > JPEG_MAX_DIMENSION)
        return kErrorArguments;
    for (const Marker& m : markers)
        if (m.size > kMaxMarkerBytes || (!m.data && m.size > 0)) return kErrorArguments;
    const int result = encodeWorker(rgb, width, height, quality, out, capacity, markers, &count);
    if (result == kOk && written) *written = count;
    return result;
}

int readHeader(const uint8_t* data, size_t size, Header& header) {
    if (!data || size == 0) return kErrorArguments;
    Header h;
    const int result = decodeWorker(data, size, 0, 0, true, &h, nullptr);
    if (result == kOk) header = h;
    return result;
}

int decodeRgb(const uint8_t* data, size_t size, DecodedImage& out, int maxSide, size_t maxPixels,
              bool acceptWarnings) {
    if (!data || size == 0) return kErrorArguments;
    DecodedImage image;
    Header header;
    const int result = decodeWorker(data, size, maxSide, maxPixels, acceptWarnings, &header, &image);
    if (result == kOk) out = std::move(image);
    return result;
}

}  // namespace tv::jpeg
