#include "image_bmp.h"

#include <cstring>

namespace tv::cli {

namespace {

bool fail(std::string* error, const std::string& why) {
    if (error) *error = why;
    return false;
}

uint32_t get16(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8; }
uint32_t get32(const uint8_t* p) { return get16(p) | get16(p + 2) << 16; }

constexpr uint32_t kBiRgb = 0, kBiBitfields = 3;
constexpr uint32_t kFileHeader = 14, kInfoHeader = 40;

// The channel of a packed pixel under a mask of 8 contiguous bits (0 when the
// mask is empty).
int shiftOf(uint32_t mask) {
    if (mask == 0) return -1;
    int s = 0;
    while (!(mask & 1u)) {
        mask >>= 1;
        ++s;
    }
    return mask == 0xFF ? s : -2;
}

}  // namespace

bool decodeBmp(const uint8_t* d, size_t n, Image& out, std::string* error) {
    if (n < kFileHeader + kInfoHeader || d[0] != 'B' || d[1] != 'M') return fail(error, "not a BMP file");
    const uint32_t pixelsAt = get32(d + 10);
    const uint32_t headerSize = get32(d + 14);
    if (headerSize < kInfoHeader || headerSize > n - kFileHeader) return fail(error, "unsupported BMP header");
    const int64_t width = int32_t(get32(d + 18));
    const int64_t rawHeight = int32_t(get32(d + 22));
    const uint32_t planes = get16(d + 26), bits = get16(d + 28), compression = get32(d + 30);
    const bool topDown = rawHeight < 0;
    const int64_t height = topDown ? -rawHeight : rawHeight;
    if (planes != 1) return fail(error, "damaged BMP header");
    if (width < 1 || height < 1 || width > kMaxImageSide || height > kMaxImageSide ||
        width * height > kMaxImagePixels)
        return fail(error, "the BMP image is too large or empty");

    // Where each channel sits in a pixel.
    int shifts[4] = {16, 8, 0, -1};  // red, green, blue, alpha of a 32-bit pixel
    if (bits == 8 || bits == 24) {
        if (compression != kBiRgb) return fail(error, "compressed BMP files are not supported");
    } else if (bits == 32) {
        if (compression == kBiBitfields) {
            const size_t masksAt = kFileHeader + kInfoHeader;
            const bool inHeader = headerSize >= kInfoHeader + 16;
            if (masksAt + (inHeader ? 16 : 12) > n) return fail(error, "the BMP file is truncated");
            for (int c = 0; c < (inHeader ? 4 : 3); ++c) shifts[c] = shiftOf(get32(d + masksAt + 4 * c));
            if (!inHeader) shifts[3] = -1;
            for (int c = 0; c < 4; ++c)
                if (shifts[c] == -2 || (c < 3 && shifts[c] < 0)) return fail(error, "unsupported BMP channel masks");
        } else if (compression != kBiRgb) {
            return fail(error, "compressed BMP files are not supported");
        }
    } else {
        return fail(error, "unsupported BMP depth of " + std::to_string(bits) + " bits");
    }

    uint8_t palette[256][3] = {};
    if (bits == 8) {
        uint32_t colours = get32(d + 46);
        if (colours == 0 || colours > 256) colours = 256;
        const size_t at = kFileHeader + headerSize;
        if (at + size_t(colours) * 4 > n) return fail(error, "the BMP file is truncated");
        for (uint32_t i = 0; i < colours; ++i)
            for (int c = 0; c < 3; ++c) palette[i][c] = d[at + 4 * i + size_t(2 - c)];
    }
    const uint64_t rowBytes = (uint64_t(width) * bits / 8 + 3) & ~uint64_t(3);
    if (pixelsAt > n || rowBytes * uint64_t(height) > n - pixelsAt) return fail(error, "the BMP file is truncated");

    const bool alpha = bits == 32 && shifts[3] >= 0;
    Image im;
    if (!im.allocate(int32_t(width), int32_t(height), alpha ? 4 : 3, 8)) return fail(error, "the BMP image is too large");
    for (int64_t y = 0; y < height; ++y) {
        const uint8_t* row = d + pixelsAt + size_t(rowBytes) * size_t(topDown ? y : height - 1 - y);
        uint8_t* dst = im.data.data() + size_t(y) * im.rowBytes();
        for (int64_t x = 0; x < width; ++x, dst += im.channels) {
            if (bits == 8) {
                std::memcpy(dst, palette[row[x]], 3);
            } else if (bits == 24) {
                const uint8_t* p = row + 3 * x;
                dst[0] = p[2];
                dst[1] = p[1];
                dst[2] = p[0];
            } else {
                const uint32_t v = get32(row + 4 * x);
                for (int c = 0; c < (alpha ? 4 : 3); ++c) dst[c] = uint8_t(v >> shifts[c]);
            }
        }
    }
    out = std::move(im);
    return true;
}

}  // namespace tv::cli
