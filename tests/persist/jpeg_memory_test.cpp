// JPEG streams in memory: a destination that is too small, arguments that
// are refused, and streams that are cut or foreign.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "clouds/jpeg_memory.h"

#include <jerror.h>

namespace tv {
namespace {

std::vector<uint8_t> gradient(int w, int h) {
    std::vector<uint8_t> rgb(size_t(w) * h * 3);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* p = &rgb[(size_t(y) * w + x) * 3];
            p[0] = uint8_t(x * 255 / (w - 1));
            p[1] = uint8_t(y * 255 / (h - 1));
            p[2] = uint8_t(((x / 16 + y / 16) & 1) ? 200 : 40);
        }
    return rgb;
}

std::vector<uint8_t> encode(const std::vector<uint8_t>& rgb, int w, int h, int quality) {
    std::vector<uint8_t> out(size_t(w) * h * 6);
    size_t n = 0;
    EXPECT_EQ(jpeg::encodeRgb(rgb.data(), w, h, quality, out.data(), out.size(), &n), jpeg::kOk);
    out.resize(n);
    return out;
}

TEST(JpegMemory, DestinationTooSmallFailsWithWriteErrorAndReportsNothingWritten) {
    const auto rgb = gradient(128, 128);
    const auto whole = encode(rgb, 128, 128, 99);
    ASSERT_GT(whole.size(), jpeg::kChunkSize);
    // One byte short: the full pieces fit, the remainder at the end does not.
    // And a block smaller than one piece.
    for (size_t capacity : {whole.size() - 1, size_t(100)}) {
        std::vector<uint8_t> out(capacity);
        size_t n = 12345;
        EXPECT_EQ(jpeg::encodeRgb(rgb.data(), 128, 128, 99, out.data(), out.size(), &n), JERR_FILE_WRITE)
            << capacity;
        EXPECT_EQ(n, 0u);
    }
    std::vector<uint8_t> exact(whole.size());
    size_t n = 0;
    EXPECT_EQ(jpeg::encodeRgb(rgb.data(), 128, 128, 99, exact.data(), exact.size(), &n), jpeg::kOk);
    EXPECT_EQ(exact, whole);
    EXPECT_EQ(jpeg::encodeRgb(rgb.data(), 0, 128, 99, exact.data(), exact.size(), &n), jpeg::kErrorArguments);
    // A marker segment longer than a segment can be is refused before encoding.
    const std::vector<uint8_t> huge(jpeg::kMaxMarkerBytes + 1, 1);
    const jpeg::Marker tooLong[] = {{JPEG_APP0 + 1, huge.data(), huge.size()}};
    std::vector<uint8_t> big(whole.size() + huge.size() + 100);
    EXPECT_EQ(jpeg::encodeRgb(rgb.data(), 128, 128, 99, big.data(), big.size(), &n, tooLong), jpeg::kErrorArguments);
    EXPECT_EQ(n, 0u);

    // A cut or foreign stream fails and leaves the image as it was.
    jpeg::DecodedImage image;
    image.width = 7;
    for (size_t cut : {size_t(1), size_t(300), whole.size() / 2, whole.size() - 2})
        EXPECT_NE(jpeg::decodeRgb(whole.data(), cut, image), jpeg::kOk) << cut;
    const std::string text = "Terravane is not a JPEG stream at all, not even close.";
    EXPECT_NE(jpeg::decodeRgb(reinterpret_cast<const uint8_t*>(text.data()), text.size(), image), jpeg::kOk);
    EXPECT_EQ(image.width, 7);
}

}  // namespace
}  // namespace tv
