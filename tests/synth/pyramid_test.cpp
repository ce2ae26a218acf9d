#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <random>
#include <vector>

#include "synth/jobs.h"
#include "synth/pyramid.h"

namespace tv {
namespace {

std::vector<int32_t> widths(const ImagePyramid& p) {
    return std::vector<int32_t>(p.levelWidth, p.levelWidth + p.topLevel + 1);
}

void fill(ImagePyramid& p, int32_t level, float value) {
    for (int32_t y = 0; y < p.levelHeight[level]; ++y)
        for (int32_t x = 0; x < p.levelWidth[level]; ++x)
            for (int32_t c = 0; c < p.channels; ++c) setPixel(p, level, x, y, c, value);
}

TEST(PyramidLevels, HalveRoundingUpAndEvenOddSizesOfThreeOrMore) {
    ImagePyramid p;
    ASSERT_TRUE(createPyramid(p, 384, 384, kFormatGrey8, kWrapClamp));
    EXPECT_EQ(p.topLevel, 9);
    EXPECT_EQ(widths(p), (std::vector<int32_t>{384, 192, 96, 48, 24, 12, 6, 4, 2, 1}));
    EXPECT_EQ(p.levelMaxX[1], 191);

    ASSERT_TRUE(createPyramid(p, 10, 1000, kFormatGrey8, kWrapClamp));
    EXPECT_EQ(p.levelWidth[1], 6);  // 5 is raised to 6
    EXPECT_EQ(p.levelWidth[2], 4);  // 3 is raised to 4
    EXPECT_EQ(p.levelHeight[3], 126);  // 125 raised
    EXPECT_EQ(p.levelWidth[p.topLevel] + p.levelHeight[p.topLevel], 2);
    EXPECT_EQ(p.levelHeight[p.topLevel - 1], 2);

    // At most twenty levels: a 2^20-wide strip stops at level 19, 2 x 1.
    ASSERT_TRUE(createPyramid(p, 1 << 20, 1, kFormatGrey8, kWrapClamp));
    EXPECT_EQ(p.topLevel, kMaxPyramidLevels - 1);
    EXPECT_EQ(p.levelWidth[19], 2);

    // A level-0-only pyramid has no chain.
    ASSERT_TRUE(createPyramid(p, 40, 30, kFormatGrey8, kWrapNone));
    EXPECT_EQ(p.topLevel, 0);
}

TEST(PyramidPixels, EveryFormatStoresWhatItIsGivenAcrossTiles) {
    for (int32_t format : {0, 1, 2, 3, 4, 5, 7, 9}) {
        SCOPED_TRACE(format);
        ImagePyramid p;
        ASSERT_TRUE(createPyramid(p, 1030, 520, format, kWrapClamp));  // 3 x 2 tiles at level 0
        auto value = [](int32_t x, int32_t y, int32_t c) { return static_cast<float>((x * 7 + y * 13 + c * 50) % 251); };
        for (int32_t y = 0; y < 520; ++y)
            for (int32_t x = 0; x < 1030; ++x)
                for (int32_t c = 0; c < p.channels; ++c) setPixel(p, 0, x, y, c, value(x, y, c));
        for (int32_t y = 0; y < 520; ++y)
            for (int32_t x = 0; x < 1030; ++x)
                for (int32_t c = 0; c < p.channels; ++c) ASSERT_EQ(getPixel(p, 0, x, y, c), value(x, y, c)) << x << "," << y;
        // Coordinates outside the level clamp on reading and are ignored on writing.
        EXPECT_EQ(getPixel(p, 0, -5, 600), value(0, 519, 0));
        setPixel(p, 0, 1030, 0, 0, 99.0f);
        setPixel(p, 0, -1, 0, 0, 99.0f);
        EXPECT_EQ(getPixel(p, 0, 1029, 0), value(1029, 0, 0));
        EXPECT_EQ(getPixel(p, 0, 0, 0), value(0, 0, 0));
        EXPECT_EQ(getPixel(p, 0, 0, 0, p.channels), 0.0f);
    }
}

// The reduction weights, applied pixel by pixel.
constexpr int kWeights[6][6] = {{0, 1, 4, 4, 1, 0},         {1, 16, 64, 64, 16, 1}, {4, 64, 256, 256, 64, 4},
                                {4, 64, 256, 256, 64, 4}, {1, 16, 64, 64, 16, 1}, {0, 1, 4, 4, 1, 0}};

double referenceReduce(const ImagePyramid& p, int32_t level, int32_t x, int32_t y, int32_t c) {
    double sum = 0.0;
    for (int i = 0; i < 6; ++i)
        for (int j = 0; j < 6; ++j) sum += kWeights[i][j] * getPixel(p, level, 2 * x - 2 + j, 2 * y - 2 + i, c);
    return sum / 1640.0;
}

TEST(PyramidChain, ReductionMatchesTheWeightTableOnEveryThreadCount) {
    std::mt19937 rng(7);
    for (int32_t format : {kFormatGrey8, kFormatRGBA16, kFormatRGBAFloat}) {
        for (int32_t threads : {1, 3}) {
            SCOPED_TRACE(testing::Message() << "format " << format << " threads " << threads);
            setForcedThreadCount(threads);
            ImagePyramid p;
            // Level 1 is 550 x 300: several jobs, and level 0 spans tile seams.
            ASSERT_TRUE(createPyramid(p, 1100, 600, format, kWrapClamp));
            const float top = format == kFormatGrey8 ? 255.0f : format == kFormatRGBA16 ? 32768.0f : 3.0f;
            std::uniform_real_distribution<float> dist(0.0f, top);
            for (int32_t y = 0; y < 600; ++y)
                for (int32_t x = 0; x < 1100; ++x)
                    for (int32_t c = 0; c < p.channels; ++c) setPixel(p, 0, x, y, c, dist(rng));
            buildChain(p);
            EXPECT_EQ(p.state, 2);
            for (int32_t level = 0; level < p.topLevel; ++level) {
                for (int32_t y = 0; y < p.levelHeight[level + 1]; ++y) {
                    for (int32_t x = 0; x < p.levelWidth[level + 1]; ++x) {
                        for (int32_t c = 0; c < p.channels; ++c) {
                            const double want = referenceReduce(p, level, x, y, c);
                            const float got = getPixel(p, level + 1, x, y, c);
                            if (format == kFormatRGBAFloat) {
                                ASSERT_NEAR(got, want, 1e-5 * (1.0 + want)) << level << " " << x << "," << y;
                            } else {
                                ASSERT_EQ(got, std::floor(want + 1e-9)) << level << " " << x << "," << y;
                            }
                        }
                    }
                }
            }
        }
    }
    setForcedThreadCount(0);
}

TEST(PyramidChain, FullRastersStayFullAtEveryLevel) {
    for (int32_t format : {kFormatGrey8, kFormatGrey16, kFormatRGBA8}) {
        ImagePyramid p;
        ASSERT_TRUE(createPyramid(p, 97, 61, format, kWrapBoth));
        fill(p, 0, p.maxValue);
        buildChain(p);
        for (int32_t level = 0; level <= p.topLevel; ++level)
            for (int32_t y = 0; y < p.levelHeight[level]; ++y)
                for (int32_t x = 0; x < p.levelWidth[level]; ++x)
                    ASSERT_EQ(getPixel(p, level, x, y), p.maxValue) << format << " level " << level;
    }
}

TEST(FilterTable, WeightsSumToTheirUnitAndFollowThePhase) {
    const FilterTable& t = filterTable();
    for (int j = 0; j < 128; ++j) {
        float f = 0.0f;
        int i2048 = 0, i32768 = 0;
        double centre = 0.0;
        for (int k = 0; k < 5; ++k) {
            f += t.weights[j][k];
            i2048 += t.weights2048[j][k];
            i32768 += t.weights32768[j][k];
            centre += t.weights[j][k] * (2 - k);  // tap k weighs column ix + 2 - k
        }
        EXPECT_NEAR(f, 1.0f, 1e-6f) << j;
        EXPECT_EQ(i2048, 2048) << j;
        EXPECT_EQ(i32768, 32768) << j;
        // The taps are centred on the sample position: column ix + phase/128 - 1/2.
        EXPECT_NEAR(centre, j / 128.0 - 0.5, 0.06) << j;
    }
}

TEST(PyramidSampling, ConstantRasterSamplesConstantEverywhere) {
    for (int32_t wrap : {kWrapClamp, kWrapBoth, kWrapX}) {
        SCOPED_TRACE(wrap);
        ImagePyramid p;
        ASSERT_TRUE(createPyramid(p, 100, 70, kFormatGrey8, wrap));
        fill(p, 0, 128.0f);
        buildChain(p);
        for (int32_t level = -2; level <= p.topLevel + 1; ++level)
            for (float frac : {0.0f, 0.3f, 1.0f})
                for (float u : {0.0f, 0.001f, 0.37f, 0.5f, 0.999f, 1.0f, 1.2f, -0.1f})
                    for (float v : {0.0f, 0.01f, 0.5f, 0.995f, 1.0f})
                        ASSERT_EQ(samplePyramid(p, level, frac, u, v), 128.0f) << level << " " << frac << " " << u << " " << v;
    }
}

TEST(PyramidSampling, RampSamplesItsValueAtThePosition) {
    ImagePyramid p;
    ASSERT_TRUE(createPyramid(p, 120, 20, kFormatGrey8, kWrapClamp));
    for (int32_t y = 0; y < 20; ++y)
        for (int32_t x = 0; x < 120; ++x) setPixel(p, 0, x, y, 0, 2.0f * x);
    for (float x = 3.0f; x < 115.0f; x += 0.37f) {
        EXPECT_NEAR(sampleLevel(p, 0, x, 10.0f), 2.0f * x, 0.2f) << x;
    }
    // Seen through samplePyramid: u = (x + 0.5) / width.
    EXPECT_NEAR(samplePyramid(p, 0, 0.0f, 60.5f / 120.0f, 0.5f), 120.0f, 0.2f);
    // Past a clamped edge every tap reads the edge column, however far (or NaN).
    EXPECT_EQ(sampleLevel(p, 0, -6.3f, 10.0f), 0.0f);
    EXPECT_EQ(sampleLevel(p, 0, 1e9f, -1e9f), 238.0f);
    EXPECT_EQ(sampleLevel(p, 0, std::numeric_limits<float>::quiet_NaN(), 5.0f), 0.0f);
}

// Fills a grey pyramid with a hashed pattern shifted by (dx, dy).
void fillPattern(ImagePyramid& p, int32_t dx, int32_t dy) {
    for (int32_t y = 0; y < p.levelHeight[0]; ++y)
        for (int32_t x = 0; x < p.levelWidth[0]; ++x) {
            const uint32_t h = static_cast<uint32_t>(x + dx) * 2654435761u ^ static_cast<uint32_t>(y + dy) * 40503u;
            setPixel(p, 0, x, y, 0, static_cast<float>((h >> 7) & 255));
        }
}

TEST(PyramidSampling, DirectTileReadsAgreeWithWrappedAndSeamReads) {
    // The same neighbourhood once across the tile seam at 512 and once inside a tile.
    ImagePyramid seam, inside;
    ASSERT_TRUE(createPyramid(seam, 600, 600, kFormatGrey8, kWrapClamp));
    ASSERT_TRUE(createPyramid(inside, 600, 600, kFormatGrey8, kWrapClamp));
    fillPattern(seam, 0, 0);
    fillPattern(inside, 20, 20);
    for (float x = 505.0f; x < 518.0f; x += 0.29f)
        for (float y = 508.0f; y < 516.0f; y += 0.61f)
            ASSERT_EQ(sampleLevel(seam, 0, x, y), sampleLevel(inside, 0, x - 20.0f, y - 20.0f)) << x << "," << y;

    // Wrapping: near the left and top edges of a wrapped raster equals the
    // same neighbourhood inside a copy rolled by 8 pixels.
    const int32_t w = 64, h = 48;
    ImagePyramid wrapped, rolled, wrappedX;
    ASSERT_TRUE(createPyramid(wrapped, w, h, kFormatGrey8, kWrapBoth));
    ASSERT_TRUE(createPyramid(wrappedX, w, h, kFormatGrey8, kWrapX));
    ASSERT_TRUE(createPyramid(rolled, w, h, kFormatGrey8, kWrapBoth));
    fillPattern(wrapped, 0, 0);
    fillPattern(wrappedX, 0, 0);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x)
            setPixel(rolled, 0, (x + 8) % w, (y + 8) % h, 0, getPixel(wrapped, 0, x, y));
    for (float x = -1.5f; x < 1.5f; x += 0.23f) {
        for (float y = -1.5f; y < 1.5f; y += 0.41f) {
            ASSERT_EQ(sampleLevel(wrapped, 0, x, y), sampleLevel(rolled, 0, x + 8.0f, y + 8.0f)) << x << "," << y;
            ASSERT_EQ(sampleLevel(wrapped, 0, x + w, y + h), sampleLevel(wrapped, 0, x, y));
        }
        // x wraps, y clamps: far above the raster is its first row.
        EXPECT_EQ(sampleLevel(wrappedX, 0, x, -40.0f), sampleLevel(wrappedX, 0, x + w, -3.0f));
    }
}

TEST(PyramidSampling, Grey8PyramidReadsBlendTheLevelReadsExactly) {
    // 8-bit grey pyramids take their own way through samplePyramid: it must
    // give the blend of the two level reads bit for bit, inside tiles, across
    // the tile seam, at the clamped or wrapped edges and past them.
    for (int32_t wrap : {kWrapClamp, kWrapBoth, kWrapX}) {
        ImagePyramid p;
        ASSERT_TRUE(createPyramid(p, 1100, 700, kFormatGrey8, wrap));
        fillPattern(p, 3, 5);
        p.state = 1;
        buildChain(p);
        std::mt19937 random(77);
        std::uniform_real_distribution<float> position(-0.05f, 1.05f), fraction(0.0f, 1.0f);
        for (int i = 0; i < 10000; ++i) {
            const int32_t level = static_cast<int32_t>(random() % static_cast<uint32_t>(p.topLevel + 2)) - 1;
            const float frac = i % 5 == 0 ? 0.0f : fraction(random);
            const float u = i % 3 == 0 ? (512.0f + fraction(random) * 8.0f - 4.0f) / 1100.0f : position(random);
            const float v = position(random);
            const int32_t l = std::clamp(level, 0, p.topLevel - 1);
            const float s0 = sampleLevel(p, l, u * p.levelWidth[l] - 0.5f, v * p.levelHeight[l] - 0.5f);
            const float s1 = sampleLevel(p, l + 1, u * p.levelWidth[l + 1] - 0.5f, v * p.levelHeight[l + 1] - 0.5f);
            const float want = frac == 0.0f ? s0 : s0 + frac * (s1 - s0);
            ASSERT_EQ(samplePyramid(p, level, frac, u, v), want)
                << "wrap " << wrap << ", " << i << ": level " << level << " at " << u << "," << v;
        }
        // Taps ending on the last row and near the last column of a level's
        // last tile.
        for (int32_t level = 0; level < 2; ++level) {
            const float w = static_cast<float>(p.levelWidth[level]), h = static_cast<float>(p.levelHeight[level]);
            for (float dx = 1.0f; dx < 10.0f; dx += 0.37f)
                for (float dy = 2.0f; dy < 4.0f; dy += 0.29f) {
                    const float u = (w - dx) / w, v = (h - dy) / h;
                    ASSERT_EQ(samplePyramid(p, level, 0.0f, u, v), sampleLevel(p, level, u * w - 0.5f, v * h - 0.5f))
                        << "wrap " << wrap << ", level " << level << " at " << dx << "," << dy;
                }
        }
    }
}

TEST(PyramidSampling, LevelsClampIntoTheChainAndZeroFracReadsOneLevel) {
    ImagePyramid p;
    ASSERT_TRUE(createPyramid(p, 40, 40, kFormatGreyFloat, kWrapClamp));
    buildChain(p);
    // A distinct value per level: 40, 20, 10, 6, 4, 2, 1.
    ASSERT_EQ(p.topLevel, 6);
    for (int32_t level = 0; level <= p.topLevel; ++level) fill(p, level, 10.0f + level);
    EXPECT_FLOAT_EQ(samplePyramid(p, 2, 0.25f, 0.3f, 0.6f), 12.25f);
    EXPECT_FLOAT_EQ(samplePyramid(p, 9, 0.5f, 0.3f, 0.6f), 15.5f);    // levels 5 and 6
    EXPECT_FLOAT_EQ(samplePyramid(p, -3, 0.75f, 0.3f, 0.6f), 10.75f);  // levels 0 and 1
    EXPECT_FLOAT_EQ(samplePyramid(p, p.topLevel - 1, 1.0f, 0.0f, 1.0f), 16.0f);

    // With frac 0 the next level is not read at all (it holds NaN here).
    fill(p, 3, std::numeric_limits<float>::quiet_NaN());
    EXPECT_FLOAT_EQ(samplePyramid(p, 2, 0.0f, 0.5f, 0.5f), 12.0f);
    EXPECT_TRUE(std::isnan(samplePyramid(p, 2, 0.5f, 0.5f, 0.5f)));

    // A 1 x 1 raster and a level-0-only raster have no second level to blend.
    for (int32_t wrap : {kWrapClamp, kWrapNone}) {
        ImagePyramid one;
        ASSERT_TRUE(createPyramid(one, wrap == kWrapNone ? 8 : 1, 1, kFormatGrey8, wrap));
        fill(one, 0, 77.0f);
        buildChain(one);
        EXPECT_EQ(samplePyramid(one, 3, 0.5f, 0.5f, 0.5f), 77.0f);
    }
}

TEST(PyramidSampling, EveryFormatConvertsAndSamplesItsChannels) {
    // RGBA in, what the format keeps, sampled at a fractional level near an edge.
    struct Case {
        int32_t format;
        float in[4];
        float out[4];
    };
    const Case cases[] = {
        {kFormatGrey8, {0.5f, 0.5f, 0.5f, 0.2f}, {128 / 255.f, 128 / 255.f, 128 / 255.f, 1.0f}},
        {kFormatGrey16, {0.25f, 0.25f, 0.25f, 0.0f}, {0.25f, 0.25f, 0.25f, 1.0f}},
        {kFormatGrey16Raw, {1234, 1234, 1234, 0}, {1234, 1234, 1234, 1.0f}},
        {kFormatRGBA8, {1.0f, 0.0f, 2.0f, 0.6f}, {1.0f, 0.0f, 1.0f, 153 / 255.f}},
        {kFormatRGBA16, {1 / 32768.f, 0.75f, 1.0f, 0.125f}, {1 / 32768.f, 0.75f, 1.0f, 0.125f}},
        {kFormatGreyFloat, {0.3f, 0.3f, 0.3f, 0}, {0.3f, 0.3f, 0.3f, 1.0f}},
        {kFormatRGB16Raw, {300.0f, 7.0f, 70000.0f, 0.5f}, {300.0f, 7.0f, 65535.0f, 1.0f}},
        {kFormatRGBAFloat, {1.5f, 0.25f, 0.5f, 0.75f}, {1.5f, 0.25f, 0.5f, 0.75f}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.format);
        ImagePyramid p;
        ASSERT_TRUE(createPyramid(p, 33, 17, k.format, kWrapX));
        for (int32_t y = 0; y < 17; ++y)
            for (int32_t x = 0; x < 33; ++x) setPixelRGBA(p, 0, x, y, k.in);
        buildChain(p);
        float got[4], sampled[4];
        getPixelRGBA(p, 0, 1, 2, got);
        samplePyramidRGBA(p, 1, 0.4f, 0.02f, 0.97f, sampled);
        for (int i = 0; i < 4; ++i) {
            EXPECT_FLOAT_EQ(got[i], k.out[i]) << i;
            EXPECT_NEAR(sampled[i], k.out[i], 1e-5f * (1.0f + std::fabs(k.out[i]))) << i;
        }
    }

    // Channels are filtered independently: a red ramp beside a constant green.
    ImagePyramid c;
    ASSERT_TRUE(createPyramid(c, 64, 8, kFormatRGBA8, kWrapClamp));
    for (int32_t y = 0; y < 8; ++y)
        for (int32_t x = 0; x < 64; ++x) {
            setPixel(c, 0, x, y, 0, 4.0f * x);
            setPixel(c, 0, x, y, 1, 200.0f);
        }
    buildChain(c);
    float got[4];
    samplePyramidRGBA(c, 0, 0.0f, 30.5f / 64.0f, 0.5f, got);
    EXPECT_NEAR(got[0] * 255.0f, 120.0f, 0.5f);
    EXPECT_NEAR(got[1] * 255.0f, 200.0f, 1e-3f);
    EXPECT_NEAR(got[2], 0.0f, 1e-6f);
}

// Under a 512 MB address-space limit: a 1.4 GB pyramid fails and gives back
// what it took, so a 22 MB one fits afterwards. 0 when both hold.
int createUnderMemoryLimit() {
    rlimit limit;
    limit.rlim_cur = limit.rlim_max = rlim_t{512} << 20;
    if (setrlimit(RLIMIT_AS, &limit) != 0) return 2;
    ImagePyramid big;
    const bool made = createPyramid(big, 8192, 8192, kFormatRGBAFloat, kWrapClamp);
    ImagePyramid small;
    const bool again = createPyramid(small, 4096, 4096, kFormatGrey8, kWrapClamp);
    return !made && big.empty() && again ? 0 : 1;
}

TEST(PyramidLifecycle, BadSizesAndFailedAllocationsLeaveAnEmptyPyramid) {
    ImagePyramid p;
    ASSERT_TRUE(createPyramid(p, 16, 16, kFormatGrey8, kWrapClamp));
    fill(p, 0, 200.0f);
    EXPECT_FALSE(createPyramid(p, 0, 5, kFormatGrey8, kWrapClamp));  // frees what was there
    EXPECT_TRUE(p.empty());
    EXPECT_EQ(p.levelWidth[0], 0);
    EXPECT_FALSE(createPyramid(p, 5, -1, kFormatGrey8, kWrapClamp));
    EXPECT_FALSE(createPyramid(p, 5, 5, 6, kWrapClamp));  // no format 6
    EXPECT_FALSE(createPyramid(p, INT32_MAX, INT32_MAX, kFormatRGBAFloat, kWrapClamp));
    EXPECT_TRUE(p.empty());

    // An empty pyramid reads and samples as 0 and ignores everything else.
    float rgba[4] = {1, 1, 1, 1};
    EXPECT_EQ(getPixel(p, 0, 0, 0), 0.0f);
    EXPECT_EQ(samplePyramid(p, 0, 0.5f, 0.5f, 0.5f), 0.0f);
    EXPECT_EQ(sampleLevel(p, 0, 1.0f, 1.0f), 0.0f);
    samplePyramidRGBA(p, 0, 0.0f, 0.5f, 0.5f, rgba);
    EXPECT_EQ(rgba[0] + rgba[1] + rgba[2] + rgba[3], 0.0f);
    setPixel(p, 0, 0, 0, 0, 5.0f);
    buildChain(p);
    ImagePyramid other;
    resampleImage(other, p);
    EXPECT_TRUE(p.empty());

    // Running out of memory half-way frees what was allocated and reports it.
    EXPECT_EXIT(std::exit(createUnderMemoryLimit()), ::testing::ExitedWithCode(0), "");
}

TEST(PyramidLifecycle, MovesHandOverTheTiles) {
    ImagePyramid a;
    ASSERT_TRUE(createPyramid(a, 20, 10, kFormatGrey8, kWrapClamp));
    fill(a, 0, 9.0f);
    ImagePyramid b(std::move(a));
    EXPECT_TRUE(a.empty());
    EXPECT_EQ(getPixel(b, 0, 19, 9), 9.0f);
    ImagePyramid c;
    ASSERT_TRUE(createPyramid(c, 5, 5, kFormatRGBAFloat, kWrapBoth));
    c = std::move(b);
    EXPECT_TRUE(b.empty());
    EXPECT_EQ(c.format, kFormatGrey8);
    EXPECT_EQ(getPixel(c, 0, 3, 3), 9.0f);
}

TEST(ResampleImage, GradientKeepsItsSlopeAndSameSizeCopies) {
    ImagePyramid source;
    ASSERT_TRUE(createPyramid(source, 256, 32, kFormatGrey8, kWrapClamp));
    for (int32_t y = 0; y < 32; ++y)
        for (int32_t x = 0; x < 256; ++x) setPixel(source, 0, x, y, 0, static_cast<float>(x));
    buildChain(source);

    // Four times smaller: pixel x covers source columns 4x .. 4x + 3, mean 4x + 1.5.
    ImagePyramid small;
    ASSERT_TRUE(createPyramid(small, 64, 8, kFormatGrey8, kWrapClamp));
    resampleImage(source, small);
    EXPECT_EQ(small.state, 2);
    for (int32_t x = 2; x < 62; ++x)
        for (int32_t y = 0; y < 8; ++y) EXPECT_NEAR(getPixel(small, 0, x, y), 4 * x + 1.5f, 1.0f) << x;
    for (int32_t x = 1; x < 64; ++x) EXPECT_GE(getPixel(small, 0, x, 4), getPixel(small, 0, x - 1, 4));

    // Larger, into a colour float raster: the ramp at each pixel's centre, grey.
    ImagePyramid large;
    ASSERT_TRUE(createPyramid(large, 512, 4, kFormatRGBAFloat, kWrapClamp));
    resampleImage(source, large);
    float rgba[4];
    for (int32_t x = 8; x < 504; x += 5) {
        getPixelRGBA(large, 0, x, 2, rgba);
        EXPECT_NEAR(rgba[0] * 255.0f, (x + 0.5f) / 2.0f - 0.5f, 0.5f) << x;
        EXPECT_EQ(rgba[0], rgba[1]);
        EXPECT_EQ(rgba[3], 1.0f);
    }

    // The same size copies level 0 exactly and rebuilds the chain.
    ImagePyramid copy;
    ASSERT_TRUE(createPyramid(copy, 256, 32, kFormatGrey8, kWrapClamp));
    resampleImage(source, copy);
    for (int32_t level = 0; level <= source.topLevel; ++level)
        for (int32_t y = 0; y < source.levelHeight[level]; ++y)
            for (int32_t x = 0; x < source.levelWidth[level]; ++x)
                ASSERT_EQ(getPixel(copy, level, x, y), getPixel(source, level, x, y));
    ImagePyramid colour;
    ASSERT_TRUE(createPyramid(colour, 256, 32, kFormatRGBA8, kWrapClamp));
    resampleImage(source, colour);
    EXPECT_EQ(getPixel(colour, 0, 100, 3, 2), 100.0f);
    EXPECT_EQ(getPixel(colour, 0, 100, 3, 3), 255.0f);
}

}  // namespace
}  // namespace tv
