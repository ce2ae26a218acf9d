// libFuzzer target: the GIF decoder.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "clouds/gif_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    tv::GifImage image;
    // A smaller pixel limit keeps each run quick; the bounds are the same.
    const tv::GifStatus status = tv::decodeGif(data, size, image, int64_t(1) << 20);
    if (status == tv::GifStatus::Ok) {
        if (image.width <= 0 || image.height <= 0 ||
            image.pixels.size() != size_t(image.width) * size_t(image.height) || image.paletteSize > 256)
            std::abort();
        unsigned sum = 0;
        // Pixels the data did not reach stay 0; every other index was marked used.
        for (uint8_t p : image.pixels) {
            if (p != 0 && (image.palette[p].unused || p >= image.paletteSize)) std::abort();
            sum += p;
        }
        (void)sum;
    } else if (image.width != 0 || !image.pixels.empty()) {
        std::abort();
    }
    return 0;
}
