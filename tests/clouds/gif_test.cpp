// The GIF decoder: what our encoder wrote comes back, palette marks and
// transparency, broken files and codes that name no entry.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "clouds/gif_decoder.h"
#include "test_images.h"

namespace tv {
namespace {

using test::GifOptions;
using test::IndexedPicture;

IndexedPicture noisyPicture(int w, int h, int colours, uint32_t seed) {
    IndexedPicture p;
    p.width = w;
    p.height = h;
    p.palette.resize(size_t(colours) * 3);
    for (int i = 0; i < colours * 3; ++i) p.palette[i] = uint8_t(i * 37 + 11);
    p.pixels.resize(size_t(w) * h);
    uint32_t s = seed;
    for (size_t i = 0; i < p.pixels.size(); ++i) {
        s = s * 1664525u + 1013904223u;
        // Runs and repeats so that long LZW strings form, with noise between them.
        const int x = int(i % w), y = int(i / w);
        p.pixels[i] = uint8_t((((s >> 24) & 7) == 0 ? int(s >> 16) : (x / 3 + y / 5)) % colours);
    }
    return p;
}

TEST(GifDecoder, DecodesWhatTheEncoderWrote) {
    const struct {
        int w, h, colours;
        GifOptions options;
    } cases[] = {
        {37, 23, 256, {}},
        {37, 23, 256, {.interlaced = true}},
        {64, 9, 200, {.localTable = true, .comment = true}},
        {41, 17, 4, {.minCodeSize = 2}},
        {5, 3, 4, {.interlaced = true, .minCodeSize = 2}},  // fewer rows than the interlace steps
        {1, 1, 2, {.minCodeSize = 2}},
        {300, 260, 256, {.interlaced = true}},  // long enough for 12-bit codes and a clear at 4095
    };
    for (const auto& c : cases) {
        const IndexedPicture p = noisyPicture(c.w, c.h, c.colours, uint32_t(c.w * 131 + c.h));
        const std::vector<uint8_t> file = test::encodeGif(p, c.options);
        GifImage g;
        ASSERT_EQ(decodeGif(file.data(), file.size(), g), GifStatus::Ok) << c.w << "x" << c.h;
        ASSERT_TRUE(g.width == p.width && g.height == p.height && g.interlaced == c.options.interlaced);
        for (int y = 0; y < p.height; ++y)
            for (int x = 0; x < p.width; ++x) ASSERT_EQ(g.at(x, y), p.pixels[size_t(y) * p.width + x]) << x << "," << y;
        for (int i = 0; i < g.paletteSize; ++i) {
            if (!g.palette[i].unused) {
                EXPECT_EQ(g.palette[i].green, p.palette[3 * i + 1]);
            }
        }
    }
    // Palette marks: entries no pixel uses, trailing ones dropped; the transparent index.
    IndexedPicture p{4, 2, {0, 5, 5, 9, 9, 0, 5, 7}, test::greyPalette()};
    const std::vector<uint8_t> file = test::encodeGif(p, {.transparentIndex = 7});
    GifImage g;
    ASSERT_EQ(decodeGif(file.data(), file.size(), g), GifStatus::Ok);
    EXPECT_TRUE(g.transparentIndex == 7 && g.paletteSize == 10 && g.palette[1].unused && !g.palette[9].unused);
}

TEST(GifDecoder, RefusesBrokenFilesWithoutReadingPastThem) {
    const std::vector<uint8_t> file = test::encodeGif(noisyPicture(33, 21, 256, 5));
    GifImage g;
    // Any cut before the image data's terminator fails; only the trailer may be missing.
    for (size_t n = 0; n + 1 < file.size(); ++n) {
        std::vector<uint8_t> cut(file.begin(), file.begin() + long(n));  // exact-size buffer for the sanitizers
        EXPECT_NE(decodeGif(cut.data(), cut.size(), g), GifStatus::Ok) << n;
        EXPECT_TRUE(g.width == 0 && g.pixels.empty());
    }
    EXPECT_EQ(decodeGif(file.data(), file.size() - 1, g), GifStatus::Ok);
    std::vector<uint8_t> wrong = file;
    wrong[4] = '8';  // "GIF88a"
    EXPECT_EQ(decodeGif(wrong.data(), wrong.size(), g), GifStatus::NotGif);
    EXPECT_EQ(decodeGif(file.data(), file.size(), g, 33 * 20), GifStatus::BadImage);  // more pixels than allowed
}

// A 2 x 2 image, no colour table, with hand-made LZW data of 3-bit codes
// (minimum size 2: clear 4, end 5, first free 6), packed LSB first.
std::vector<uint8_t> handMade(uint8_t minCodeSize, std::vector<int> codes) {
    std::vector<uint8_t> data;
    uint32_t buffer = 0;
    int count = 0;
    for (int c : codes) {
        buffer |= uint32_t(c) << count;
        for (count += 3; count >= 8; count -= 8, buffer >>= 8) data.push_back(uint8_t(buffer));
    }
    if (count) data.push_back(uint8_t(buffer));
    std::vector<uint8_t> f = {'G', 'I', 'F', '8', '7', 'a', 2, 0, 2, 0, 0, 0, 0, 0x2C, 0, 0, 0, 0, 2, 0, 2, 0, 0};
    f.push_back(minCodeSize);
    f.push_back(uint8_t(data.size()));
    f.insert(f.end(), data.begin(), data.end());
    f.push_back(0);
    f.push_back(0x3B);
    return f;
}

TEST(GifDecoder, RefusesCodesThatNameNoEntry) {
    GifImage g;
    std::vector<uint8_t> f = handMade(2, {4, 1, 1, 2, 5});
    ASSERT_EQ(decodeGif(f.data(), f.size(), g), GifStatus::Ok);
    EXPECT_TRUE(g.at(0, 0) == 1 && g.at(1, 0) == 1 && g.at(0, 1) == 2 && g.at(1, 1) == 0);
    f = handMade(2, {4, 1, 6, 5});  // the code just being defined (KwKwK): "1" + "11"
    ASSERT_EQ(decodeGif(f.data(), f.size(), g), GifStatus::Ok);
    EXPECT_TRUE(g.at(0, 0) == 1 && g.at(1, 0) == 1 && g.at(0, 1) == 1);
    f = handMade(2, {4, 1, 7, 5});  // beyond the next free code
    EXPECT_EQ(decodeGif(f.data(), f.size(), g), GifStatus::BadCode);
    f = handMade(2, {4, 6, 5});  // a string code straight after a clear
    EXPECT_EQ(decodeGif(f.data(), f.size(), g), GifStatus::BadCode);
    for (uint8_t bad : {0, 9, 255}) {
        f = handMade(bad, {});
        EXPECT_EQ(decodeGif(f.data(), f.size(), g), GifStatus::BadCodeSize) << int(bad);
    }
    f = handMade(2, {4, 1, 5});
    f[13] = 0x99;  // a stray block introducer
    EXPECT_EQ(decodeGif(f.data(), f.size(), g), GifStatus::BadImage);
}

}  // namespace
}  // namespace tv
