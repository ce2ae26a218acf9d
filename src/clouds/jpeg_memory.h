// JPEG data in memory: libjpeg source and destination managers over a memory
// block, the encoder set-up by quality class, and whole-image helpers.
//
// The satellite-image conversion decodes downloaded JPEG files from memory;
// settings files, catalogue pages and exports store thumbnails as JPEG streams
// inside the module's own files.
//
// libjpeg reports errors by calling the error manager's exit routine; the
// helpers below turn that into a return code (the libjpeg message code, always
// positive) so that no error ever leaves through a long jump of the caller's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <span>
#include <vector>

#include <jpeglib.h>

namespace tv::jpeg {

constexpr size_t kChunkSize = 4096;  // bytes handed to libjpeg per refill or flush

constexpr int kOk = 0;
// Codes of our own, beside libjpeg's message codes (which are below 200).
constexpr int kErrorTooLarge = 201;  // the image is larger than the caller allows
constexpr int kErrorArguments = 202; // bad width, height or buffer

// ---- source manager -----------------------------------------------------
// Reads a memory block in pieces of up to 4096 bytes. Asking for data past
// the block's end raises JERR_FILE_READ through the error manager.
struct MemorySource {
    jpeg_source_mgr pub;  // first: libjpeg sees only this
    const uint8_t* data = nullptr;
    size_t size = 0;
    size_t next = 0;  // offset of the next piece to hand over
};
// Installs src as cinfo's source over data[0..size). src must outlive the decoding.
void useMemorySource(j_decompress_ptr cinfo, MemorySource& src, const uint8_t* data, size_t size);

// ---- destination manager ------------------------------------------------
// Hands the encoder a 4096-byte buffer and appends each full buffer, and the
// remainder at the end, to the block. A piece the block cannot take raises
// JERR_FILE_WRITE through the error manager.
struct MemoryDestination {
    jpeg_destination_mgr pub;  // first: libjpeg sees only this
    uint8_t* block = nullptr;
    size_t capacity = 0;
    size_t written = 0;  // bytes appended to the block so far
    JOCTET buffer[kChunkSize];
};
void useMemoryDestination(j_compress_ptr cinfo, MemoryDestination& dst, uint8_t* block, size_t capacity);

// ---- encoder set-up -------------------------------------------------------
// After jpeg_set_defaults: installs the quantisation tables of quality class
// k = q / 10 (q clamped to 0..99) with scale factor 100 and without forcing
// baseline values, and the first component's sampling factors (2 x 2 for
// classes 0 to 4, 1 x 1 for classes 5 to 9; 1 x 1 for the other components).
void setQualityClass(j_compress_ptr cinfo, int quality);
// The class's tables in the order they are handed to libjpeg (natural order).
const uint8_t* luminanceTable(int qualityClass);
const uint8_t* chrominanceTable(int qualityClass);

// ---- whole images -----------------------------------------------------------
// A marker segment (an APPn block) written right after the stream's header.
struct Marker {
    int code;  // JPEG_APP0 + n
    const uint8_t* data;
    size_t size;  // at most kMaxMarkerBytes
};
constexpr size_t kMaxMarkerBytes = 65533;

// Encodes width x height RGB pixels (rows top to bottom, 3 bytes a pixel) into
// out[0..capacity), with the given marker segments. Returns kOk and the byte
// count, or an error code (kErrorArguments for a marker that is too long);
// on error *written is 0.
int encodeRgb(const uint8_t* rgb, int width, int height, int quality, uint8_t* out, size_t capacity,
              size_t* written, std::span<const Marker> markers = {});

struct Header {
    int width = 0;
    int height = 0;
    int components = 0;  // 1 (grey), 3 (colour) or 4 (CMYK)
};
// Reads the image's header only.
int readHeader(const uint8_t* data, size_t size, Header& header);

// A decoded image: RGB, 3 bytes a pixel, rows top to bottom. Grey images are
// expanded to RGB; CMYK images are refused.
struct DecodedImage {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels;
};
// Decodes data[0..size). Images wider or taller than maxSide, or with more
// than maxPixels pixels, are refused (kErrorTooLarge) before anything is
// allocated. Corrupt data that libjpeg only warns about (and would decode to
// a damaged picture) fails with the warning's code unless acceptWarnings.
// On failure out is left unchanged.
int decodeRgb(const uint8_t* data, size_t size, DecodedImage& out, int maxSide = 65535,
              size_t maxPixels = size_t(1) << 28, bool acceptWarnings = false);

}  // namespace tv::jpeg
