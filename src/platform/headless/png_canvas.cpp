// Canvas pixels to an 8-bit RGB PNG file, encoded in memory and written whole.
#include <png.h>

#include <csetjmp>
#include <vector>

#include "platform/files.h"
#include "platform/window.h"

namespace tv::platform {

namespace {

void appendBytes(png_structp png, png_bytep data, png_size_t size) {
    auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + size);
}
void noFlush(png_structp) {}

bool fail(std::string* error, const std::string& why) {
    if (error) *error = why;
    return false;
}

}  // namespace

bool writeCanvasPng(const std::string& path, const uint32_t* pixels, int32_t width, int32_t height, int32_t stride,
                    std::string* error) {
    if (!pixels || width <= 0 || height <= 0) return fail(error, "nothing to write");
    std::vector<uint8_t> bytes;
    std::vector<uint8_t> row(size_t(width) * 3);
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return fail(error, "out of memory");
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return fail(error, "the PNG encoder failed");
    }
    png_set_write_fn(png, &bytes, appendBytes, noFlush);
    png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_compression_level(png, 9);
    png_write_info(png, info);
    for (int32_t y = 0; y < height; ++y) {
        const uint32_t* src = pixels + size_t(y) * size_t(stride);
        for (int32_t x = 0; x < width; ++x) {
            row[size_t(x) * 3 + 0] = uint8_t(src[x] >> 16);
            row[size_t(x) * 3 + 1] = uint8_t(src[x] >> 8);
            row[size_t(x) * 3 + 2] = uint8_t(src[x]);
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    if (writeFileAtomic(path, bytes.data(), bytes.size()) != kFileOk)
        return fail(error, "cannot write \"" + path + "\"");
    return true;
}

}  // namespace tv::platform
