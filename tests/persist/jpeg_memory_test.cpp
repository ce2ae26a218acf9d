// JPEG streams in memory: encoder tables, the source and destination managers,
// and decoding by an independent decoder.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "../support/programs.h"
#include "../support/temp_home.h"
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

int maxDifference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    if (a.size() != b.size()) return 256;
    int worst = 0;
    for (size_t i = 0; i < a.size(); ++i) worst = std::max(worst, std::abs(int(a[i]) - int(b[i])));
    return worst;
}

// The tables and sampling factors a stream carries, read back with libjpeg.
struct StreamFacts {
    unsigned luminance[64];
    unsigned chrominance[64];
    int hSampling[3], vSampling[3];
};
StreamFacts readFacts(const std::vector<uint8_t>& stream) {
    StreamFacts f{};
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_decompress(&cinfo);
    jpeg::MemorySource src;
    jpeg::useMemorySource(&cinfo, src, stream.data(), stream.size());
    jpeg_read_header(&cinfo, TRUE);
    for (int i = 0; i < 64; ++i) {
        f.luminance[i] = cinfo.quant_tbl_ptrs[0]->quantval[i];
        f.chrominance[i] = cinfo.quant_tbl_ptrs[1]->quantval[i];
    }
    for (int c = 0; c < 3; ++c) {
        f.hSampling[c] = cinfo.comp_info[c].h_samp_factor;
        f.vSampling[c] = cinfo.comp_info[c].v_samp_factor;
    }
    jpeg_destroy_decompress(&cinfo);
    return f;
}

TEST(JpegMemory, QualityClassesSetTablesAndSamplingAndTheFinestRoundTripsClosely) {
    const auto rgb = gradient(128, 128);
    const auto stream = encode(rgb, 128, 128, 128);  // clamped to 99: class 9
    const StreamFacts fine = readFacts(stream);
    // Rows 1 and 5 of the class-9 luminance table, the start of its chrominance table.
    const unsigned row1[8] = {1, 1, 1, 1, 2, 2, 2, 3}, row5[8] = {2, 1, 2, 3, 4, 5, 7, 8};
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(fine.luminance[i], row1[i]) << i;
        EXPECT_EQ(fine.luminance[32 + i], row5[i]) << i;
    }
    EXPECT_EQ(fine.chrominance[3], 4u);
    EXPECT_EQ(fine.chrominance[40], 8u);
    EXPECT_EQ(fine.hSampling[0], 1);
    EXPECT_EQ(fine.vSampling[0], 1);

    const StreamFacts low = readFacts(encode(rgb, 128, 128, 40));
    EXPECT_EQ(low.hSampling[0], 2);
    EXPECT_EQ(low.vSampling[0], 2);
    EXPECT_EQ(low.hSampling[1], 1);
    for (int i = 0; i < 64; ++i) {
        EXPECT_GE(low.luminance[i], fine.luminance[i]);
        EXPECT_LE(low.luminance[i], 51u);
    }

    jpeg::DecodedImage back;
    ASSERT_EQ(jpeg::decodeRgb(stream.data(), stream.size(), back), jpeg::kOk);
    EXPECT_EQ(back.width, 128);
    EXPECT_LE(maxDifference(back.pixels, rgb), 12);
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
}

TEST(JpegMemory, TruncatedOrForeignStreamFailsAndLeavesTheImageUnchanged) {
    const auto rgb = gradient(96, 80);
    const auto stream = encode(rgb, 96, 80, 99);
    jpeg::DecodedImage image;
    image.width = 7;
    image.pixels.assign(5, 9);
    for (size_t cut : {size_t(1), size_t(300), stream.size() / 2, stream.size() - 2}) {
        EXPECT_NE(jpeg::decodeRgb(stream.data(), cut, image), jpeg::kOk) << cut;
        EXPECT_EQ(image.width, 7);
        EXPECT_EQ(image.pixels.size(), 5u);
    }
    const std::string text = "Terravane is not a JPEG stream at all, not even close.";
    EXPECT_NE(jpeg::decodeRgb(reinterpret_cast<const uint8_t*>(text.data()), text.size(), image), jpeg::kOk);
    EXPECT_EQ(image.width, 7);
}

TEST(JpegMemory, SkipsLongMarkersAcrossRefillsAndDecodesGreyAsRgb) {
    // A grey image through the destination manager directly.
    const int w = 40, h = 30;
    std::vector<uint8_t> grey(size_t(w) * h);
    for (size_t i = 0; i < grey.size(); ++i) grey[i] = uint8_t(i * 7);
    std::vector<uint8_t> block(20000);
    jpeg_compress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    jpeg::MemoryDestination dst;
    jpeg::useMemoryDestination(&cinfo, dst, block.data(), block.size());
    cinfo.image_width = w;
    cinfo.image_height = h;
    cinfo.input_components = 1;
    cinfo.in_color_space = JCS_GRAYSCALE;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 100, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = &grey[size_t(cinfo.next_scanline) * w];
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::vector<uint8_t> stream(block.begin(), block.begin() + dst.written);

    // Three 9000-byte comment segments after the start marker: the decoder
    // skips them through several 4096-byte refills.
    std::vector<uint8_t> padded(stream.begin(), stream.begin() + 2);
    for (int k = 0; k < 3; ++k) {
        const int len = 9000;
        padded.insert(padded.end(), {0xFF, 0xFE, uint8_t(len >> 8), uint8_t(len & 0xFF)});
        padded.insert(padded.end(), len - 2, uint8_t('a' + k));
    }
    padded.insert(padded.end(), stream.begin() + 2, stream.end());

    jpeg::Header header;
    ASSERT_EQ(jpeg::readHeader(padded.data(), padded.size(), header), jpeg::kOk);
    EXPECT_EQ(header.width, w);
    EXPECT_EQ(header.components, 1);
    jpeg::DecodedImage image;
    ASSERT_EQ(jpeg::decodeRgb(padded.data(), padded.size(), image), jpeg::kOk);
    ASSERT_EQ(image.pixels.size(), size_t(w) * h * 3);
    int worst = 0;
    for (size_t i = 0; i < grey.size(); ++i) {
        EXPECT_EQ(image.pixels[3 * i], image.pixels[3 * i + 1]);
        EXPECT_EQ(image.pixels[3 * i], image.pixels[3 * i + 2]);
        worst = std::max(worst, std::abs(int(image.pixels[3 * i]) - int(grey[i])));
    }
    EXPECT_LE(worst, 3);

    EXPECT_EQ(jpeg::decodeRgb(padded.data(), padded.size(), image, 39), jpeg::kErrorTooLarge);
    EXPECT_EQ(jpeg::decodeRgb(padded.data(), padded.size(), image, 100, 1000), jpeg::kErrorTooLarge);
}

// ImageMagick decodes the stream to the same picture.
using JpegReaders = test::TempHome;

TEST_F(JpegReaders, ImageMagickDecodesTheSamePicture) {
    const auto rgb = gradient(128, 128);
    const auto stream = encode(rgb, 128, 128, 128);
    ASSERT_TRUE(test::writeBytes(path("thumb.jpg"), stream));
    ASSERT_EQ(test::runCommand("convert '" + path("thumb.jpg") + "' -depth 8 'rgb:" + path("thumb.rgb") + "'"), 0);
    jpeg::DecodedImage ours;
    ASSERT_EQ(jpeg::decodeRgb(stream.data(), stream.size(), ours), jpeg::kOk);
    EXPECT_LE(maxDifference(test::readBytes(path("thumb.rgb")), ours.pixels), 2);
}

}  // namespace
}  // namespace tv
