// libFuzzer target: JPEG streams through the memory source manager and the
// long-jump error handling (satellite images and settings-file thumbnails).
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "clouds/jpeg_memory.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    namespace jpeg = tv::jpeg;
    jpeg::Header header;
    const int headerResult = jpeg::readHeader(data, size, header);

    // A smaller pixel limit keeps each run quick; the checks are the same.
    jpeg::DecodedImage image;
    image.width = 7;
    const bool strict = size > 0 && (data[size - 1] & 1);
    const int result = jpeg::decodeRgb(data, size, image, 4096, size_t(1) << 20, !strict);
    if (result == jpeg::kOk) {
        if (headerResult != jpeg::kOk || image.width != header.width || image.height != header.height) std::abort();
        if (image.width <= 0 || image.height <= 0 ||
            image.pixels.size() != size_t(image.width) * size_t(image.height) * 3)
            std::abort();
    } else if (image.width != 7 || !image.pixels.empty()) {
        std::abort();  // a failed decode leaves the image as it was
    }
    return 0;
}
