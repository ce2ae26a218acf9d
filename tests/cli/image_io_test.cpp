// Image files of the command line and the JSON of preset show.
#include <gtest/gtest.h>

#include <cstring>

#include "image_io.h"
#include "json_writer.h"

namespace tv::cli {
namespace {

Image gradient(int32_t channels, int32_t depth) {
    Image im;
    EXPECT_TRUE(im.allocate(7, 5, channels, depth));
    for (int32_t y = 0; y < 5; ++y)
        for (int32_t x = 0; x < 7; ++x)
            for (int32_t c = 0; c < channels; ++c) {
                const size_t i = (size_t(y) * 7 + size_t(x)) * size_t(channels) + size_t(c);
                const float v = float(x * 5 + y + c * 3) / 50.0f;
                if (depth == 8) {
                    im.data[i] = uint8_t(v * 255.0f + 0.5f);
                } else if (depth == 16) {
                    const uint16_t s = uint16_t(v * 65535.0f + 0.5f);
                    std::memcpy(im.data.data() + 2 * i, &s, 2);
                } else {
                    const float f = v * 3.0f;  // floats above 1 are kept
                    std::memcpy(im.data.data() + 4 * i, &f, 4);
                }
            }
    return im;
}

TEST(ImageFiles, EncodeDecodeRoundTrips) {
    struct Case {
        ImageFormat format;
        int32_t channels, depth;
    };
    const Case cases[] = {{ImageFormat::Png, 3, 8},  {ImageFormat::Png, 1, 16}, {ImageFormat::Png, 4, 8},
                          {ImageFormat::Tiff, 3, 8}, {ImageFormat::Tiff, 1, 16}, {ImageFormat::Tiff, 3, 32},
                          {ImageFormat::Ppm, 3, 8},  {ImageFormat::Ppm, 3, 16}, {ImageFormat::Pgm, 1, 8},
                          {ImageFormat::Bmp, 3, 8},  {ImageFormat::Bmp, 4, 8},  {ImageFormat::Pfm, 3, 32},
                          {ImageFormat::Pfm, 1, 32}};
    for (const Case& k : cases) {
        const Image in = gradient(k.channels, k.depth);
        std::vector<uint8_t> bytes;
        std::string error;
        ASSERT_TRUE(encodeImage(in, k.format, bytes, &error)) << formatName(k.format) << ": " << error;
        Image out;
        ASSERT_TRUE(decodeImage(bytes.data(), bytes.size(), k.format, out, &error)) << formatName(k.format) << ": " << error;
        EXPECT_EQ(out.width, 7);
        EXPECT_EQ(out.height, 5);
        EXPECT_EQ(out.channels, k.channels);
        EXPECT_EQ(out.depth, k.depth);
        EXPECT_EQ(out.data, in.data) << formatName(k.format) << " " << k.channels << "x" << k.depth;
    }
}

TEST(ImageFiles, PgmOfAColourImageHoldsTheLuminance) {
    Image in;
    ASSERT_TRUE(in.allocate(1, 1, 3, 8));
    in.data = {255, 0, 0};
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(encodeImage(in, ImageFormat::Pgm, bytes, nullptr));
    Image out;
    ASSERT_TRUE(decodeImage(bytes.data(), bytes.size(), ImageFormat::Pgm, out, nullptr));
    EXPECT_EQ(out.data[0], 77);  // 0.3 x 255
}

TEST(ImageFiles, DamagedOrForeignBytesAreRefused) {
    const Image in = gradient(3, 8), in32 = gradient(3, 32);
    for (ImageFormat f : {ImageFormat::Png, ImageFormat::Tiff, ImageFormat::Ppm, ImageFormat::Bmp, ImageFormat::Pfm}) {
        std::vector<uint8_t> bytes;
        ASSERT_TRUE(encodeImage(f == ImageFormat::Pfm ? in32 : in, f, bytes, nullptr));
        Image out;
        std::string error;
        // Cut short.
        EXPECT_FALSE(decodeImage(bytes.data(), bytes.size() / 2, f, out, &error)) << formatName(f);
        EXPECT_FALSE(error.empty());
        EXPECT_EQ(out.width, 0);
        // Another format's bytes.
        EXPECT_FALSE(decodeImage(reinterpret_cast<const uint8_t*>("GIF89a......"), 12, f, out, nullptr));
    }
    // A header that promises more than any reader accepts.
    const char huge[] = "P6\n70000 70000\n255\n";
    Image out;
    std::string error;
    EXPECT_FALSE(decodeImage(reinterpret_cast<const uint8_t*>(huge), sizeof huge - 1, ImageFormat::Ppm, out, &error));
    EXPECT_NE(error.find("too large"), std::string::npos);
}

TEST(ImageFiles, DepthsEachFormatHolds) {
    EXPECT_TRUE(formatSupportsDepth(ImageFormat::Png, 16, nullptr));
    EXPECT_FALSE(formatSupportsDepth(ImageFormat::Png, 32, nullptr));
    EXPECT_TRUE(formatSupportsDepth(ImageFormat::Tiff, 32, nullptr));
    EXPECT_FALSE(formatSupportsDepth(ImageFormat::Exr, 16, nullptr));
    EXPECT_EQ(formatForPath("a/b.TIFF"), ImageFormat::Tiff);
    EXPECT_EQ(formatForPath("planet"), ImageFormat::Unknown);
}

// The JSON of preset show: texts from settings files are outside data, and the
// output must stay valid UTF-8 whatever bytes they hold.
std::string jsonText(std::string_view s) {
    JsonWriter w;
    w.text(s);
    return w.str();
}

TEST(Json, TextsStayValidUtf8) {
    EXPECT_EQ(jsonText("Red \"Moon\"\\\n"), "\"Red \\\"Moon\\\"\\\\\\u000a\"");
    // Well-formed sequences pass as they are.
    EXPECT_EQ(jsonText("\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x8C\x8D"), "\"\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x8C\x8D\"");
    // Anything else reads as Latin-1, byte by byte: a stray continuation, an
    // overlong '/', a surrogate, a code point beyond U+10FFFF, a cut sequence.
    EXPECT_EQ(jsonText("\x80"), "\"\\u0080\"");
    EXPECT_EQ(jsonText("\xC0\xAF"), "\"\\u00c0\\u00af\"");
    EXPECT_EQ(jsonText("\xE0\x80\xAF"), "\"\\u00e0\\u0080\\u00af\"");
    EXPECT_EQ(jsonText("\xED\xA0\x80"), "\"\\u00ed\\u00a0\\u0080\"");
    EXPECT_EQ(jsonText("\xF4\x90\x80\x80"), "\"\\u00f4\\u0090\\u0080\\u0080\"");
    EXPECT_EQ(jsonText("\xE2\x82"), "\"\\u00e2\\u0082\"");
}

}  // namespace
}  // namespace tv::cli
