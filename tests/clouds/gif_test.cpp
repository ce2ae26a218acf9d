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
        const int v = ((s >> 24) & 7) == 0 ? int(s >> 16) : (x / 3 + y / 5);
        p.pixels[i] = uint8_t(v % colours);
    }
    return p;
}

void expectSamePixels(const IndexedPicture& p, const GifImage& g) {
    ASSERT_EQ(g.width, p.width);
    ASSERT_EQ(g.height, p.height);
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x)
            ASSERT_EQ(g.at(x, y), p.pixels[size_t(y) * p.width + x]) << x << "," << y;
}

TEST(GifDecoder, DecodesWhatTheEncoderWrote) {
    struct Case {
        int w, h, colours;
        GifOptions options;
    };
    const Case cases[] = {
        {37, 23, 256, {}},
        {37, 23, 256, {.interlaced = true}},
        {64, 9, 200, {.localTable = true, .comment = true}},
        {41, 17, 4, {.minCodeSize = 2}},
        {5, 3, 4, {.interlaced = true, .minCodeSize = 2}},  // fewer rows than the interlace steps
        {1, 1, 2, {.minCodeSize = 2}},
        {300, 260, 256, {}},  // long enough for 12-bit codes and a clear at 4095
        {300, 260, 256, {.interlaced = true}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.w << "x" << c.h << " interlaced " << c.options.interlaced);
        const IndexedPicture p = noisyPicture(c.w, c.h, c.colours, uint32_t(c.w * 131 + c.h));
        const std::vector<uint8_t> file = test::encodeGif(p, c.options);
        GifImage g;
        ASSERT_EQ(decodeGif(file.data(), file.size(), g), GifStatus::Ok);
        EXPECT_EQ(g.interlaced, c.options.interlaced);
        expectSamePixels(p, g);
        for (int i = 0; i < g.paletteSize; ++i) {
            if (g.palette[i].unused) continue;
            EXPECT_EQ(g.palette[i].green, p.palette[3 * i + 1]);
            EXPECT_EQ(g.palette[i].blue, p.palette[3 * i + 2]);
        }
    }
}

TEST(GifDecoder, PaletteMarksAndTransparency) {
    IndexedPicture p;
    p.width = 4;
    p.height = 2;
    p.palette = test::greyPalette();
    p.pixels = {0, 5, 5, 9, 9, 0, 5, 7};
    const std::vector<uint8_t> file = test::encodeGif(p, {.transparentIndex = 7});
    GifImage g;
    ASSERT_EQ(decodeGif(file.data(), file.size(), g), GifStatus::Ok);
    EXPECT_EQ(g.transparentIndex, 7);
    EXPECT_EQ(g.paletteSize, 10);  // trailing unused entries are dropped
    EXPECT_FALSE(g.palette[0].unused);
    EXPECT_TRUE(g.palette[1].unused);
    EXPECT_FALSE(g.palette[9].unused);
    EXPECT_TRUE(g.palette[8].unused);
    EXPECT_EQ(g.palette[5].green, 5);
    EXPECT_EQ(g.at(3, 0), 9);
    EXPECT_EQ(g.at(-1, 0), 0);
    EXPECT_EQ(g.at(4, 1), 0);
    EXPECT_EQ(g.at(0, 2), 0);

    const std::vector<uint8_t> plain = test::encodeGif(p);
    ASSERT_EQ(decodeGif(plain.data(), plain.size(), g), GifStatus::Ok);
    EXPECT_EQ(g.transparentIndex, -1);
}

TEST(GifDecoder, RefusesBrokenFilesWithoutReadingPastThem) {
    const IndexedPicture p = noisyPicture(33, 21, 256, 5);
    const std::vector<uint8_t> file = test::encodeGif(p);
    GifImage g;
    // Any cut before the image data's terminator fails; only the trailer may be missing.
    for (size_t n = 0; n + 1 < file.size(); ++n) {
        std::vector<uint8_t> cut(file.begin(), file.begin() + long(n));  // exact-size buffer for the sanitizers
        EXPECT_NE(decodeGif(cut.data(), cut.size(), g), GifStatus::Ok) << n;
        EXPECT_EQ(g.width, 0);
        EXPECT_TRUE(g.pixels.empty());
    }
    std::vector<uint8_t> noTrailer(file.begin(), file.end() - 1);
    EXPECT_EQ(decodeGif(noTrailer.data(), noTrailer.size(), g), GifStatus::Ok);

    std::vector<uint8_t> wrong = file;
    wrong[4] = '8';  // "GIF88a"
    EXPECT_EQ(decodeGif(wrong.data(), wrong.size(), g), GifStatus::NotGif);

    // A header that claims more pixels than allowed.
    EXPECT_EQ(decodeGif(file.data(), file.size(), g, 33 * 20), GifStatus::BadImage);
    EXPECT_EQ(decodeGif(file.data(), file.size(), g, 33 * 21), GifStatus::Ok);
}

// A 2 x 2 image, no colour table, with hand-made LZW data.
std::vector<uint8_t> handMade(uint8_t minCodeSize, std::vector<uint8_t> data) {
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
    // Codes of 3 bits (minimum size 2): clear 4, end 5, first free 6.
    // clear, 1, 1, 2, end: 100 001 001 010 101 -> packed LSB first.
    auto pack = [](std::vector<int> codes) {
        std::vector<uint8_t> out;
        uint32_t buffer = 0;
        int count = 0;
        for (int c : codes) {
            buffer |= uint32_t(c) << count;
            count += 3;
            while (count >= 8) {
                out.push_back(uint8_t(buffer));
                buffer >>= 8;
                count -= 8;
            }
        }
        if (count) out.push_back(uint8_t(buffer));
        return out;
    };
    std::vector<uint8_t> f = handMade(2, pack({4, 1, 1, 2, 5}));
    ASSERT_EQ(decodeGif(f.data(), f.size(), g), GifStatus::Ok);
    EXPECT_EQ(g.at(0, 0), 1);
    EXPECT_EQ(g.at(1, 0), 1);
    EXPECT_EQ(g.at(0, 1), 2);
    EXPECT_EQ(g.at(1, 1), 0);  // never written

    // The code just being defined (KwKwK): 1 then 6 = "1" + "11".
    f = handMade(2, pack({4, 1, 6, 5}));
    ASSERT_EQ(decodeGif(f.data(), f.size(), g), GifStatus::Ok);
    EXPECT_EQ(g.at(0, 0), 1);
    EXPECT_EQ(g.at(1, 0), 1);
    EXPECT_EQ(g.at(0, 1), 1);

    f = handMade(2, pack({4, 1, 7, 5}));  // 7 is beyond the next free code
    EXPECT_EQ(decodeGif(f.data(), f.size(), g), GifStatus::BadCode);
    f = handMade(2, pack({4, 6, 5}));  // a string code straight after a clear
    EXPECT_EQ(decodeGif(f.data(), f.size(), g), GifStatus::BadCode);
    for (uint8_t bad : {0, 9, 12, 255}) {
        f = handMade(bad, {0});
        EXPECT_EQ(decodeGif(f.data(), f.size(), g), GifStatus::BadCodeSize) << int(bad);
    }
    // A stray block introducer, and a file that ends before any image.
    f = handMade(2, pack({4, 1, 5}));
    f[13] = 0x99;
    EXPECT_EQ(decodeGif(f.data(), f.size(), g), GifStatus::BadImage);
    std::vector<uint8_t> onlyTrailer(f.begin(), f.begin() + 13);
    onlyTrailer.push_back(0x3B);
    EXPECT_EQ(decodeGif(onlyTrailer.data(), onlyTrailer.size(), g), GifStatus::BadImage);
}

}  // namespace
}  // namespace tv
