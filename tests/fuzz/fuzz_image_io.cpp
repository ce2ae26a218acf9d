// The command line's image readers (PNG, TIFF, PPM/PGM, BMP, PFM, JPEG) on
// arbitrary bytes (OpenEXR files are written, never read).
// The first byte picks the reader; the rest is the file.
#include <cstddef>
#include <cstdint>
#include <string>

#include "image_io.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    using tv::cli::ImageFormat;
    const ImageFormat formats[] = {ImageFormat::Png, ImageFormat::Tiff, ImageFormat::Ppm, ImageFormat::Bmp,
                                   ImageFormat::Pfm, ImageFormat::Jpeg};
    const ImageFormat format = formats[data[0] % 6];
    tv::cli::Image image;
    std::string error;
    if (tv::cli::decodeImage(data + 1, size - 1, format, image, &error)) {
        // A decoded image is whole: every sample is there.
        if (image.data.size() != image.rowBytes() * size_t(image.height)) __builtin_trap();
    }
    return 0;
}
