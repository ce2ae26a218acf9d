// Image pyramids as the renderer uses them (8-bit grey, clamped at the
// edges): level sizes, the reduction on any thread count, filtered reads
// across tile seams and between levels, sizes and memory that fail.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <random>
#include <vector>

#include "../support/sanitizers.h"
#include "synth/jobs.h"
#include "synth/pyramid.h"

namespace tv {
namespace {

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
    for (int32_t threads : {1, 3}) {
        setForcedThreadCount(threads);
        ImagePyramid p;
        // Level 1 is 550 x 300: several jobs, and level 0 spans tile seams.
        ASSERT_TRUE(createPyramid(p, 1100, 600, kFormatGrey8, kWrapClamp));
        for (int32_t y = 0; y < 600; ++y)
            for (int32_t x = 0; x < 1100; ++x) setPixel(p, 0, x, y, 0, float(rng() % 256));
        buildChain(p);
        EXPECT_EQ(p.state, 2);
        for (int32_t level = 0; level < p.topLevel; ++level)
            for (int32_t y = 0; y < p.levelHeight[level + 1]; ++y)
                for (int32_t x = 0; x < p.levelWidth[level + 1]; ++x)
                    ASSERT_EQ(getPixel(p, level + 1, x, y), std::floor(referenceReduce(p, level, x, y, 0) + 1e-9))
                        << threads << " threads, level " << level << " " << x << "," << y;
    }
    setForcedThreadCount(0);
}

// Fills a grey pyramid with a hashed pattern shifted by (dx, dy).
void fillPattern(ImagePyramid& p, int32_t dx, int32_t dy) {
    for (int32_t y = 0; y < p.levelHeight[0]; ++y)
        for (int32_t x = 0; x < p.levelWidth[0]; ++x) {
            const uint32_t h = static_cast<uint32_t>(x + dx) * 2654435761u ^ static_cast<uint32_t>(y + dy) * 40503u;
            setPixel(p, 0, x, y, 0, static_cast<float>((h >> 7) & 255));
        }
}

TEST(PyramidSampling, ReadsAgreeAcrossTileSeamsAndBlendTheLevelsExactly) {
    // A ramp reads its value at the position; past the edge every tap reads
    // the edge column, however far (or NaN).
    ImagePyramid ramp;
    ASSERT_TRUE(createPyramid(ramp, 120, 20, kFormatGrey8, kWrapClamp));
    for (int32_t y = 0; y < 20; ++y)
        for (int32_t x = 0; x < 120; ++x) setPixel(ramp, 0, x, y, 0, 2.0f * x);
    for (float x = 3.0f; x < 115.0f; x += 0.37f) ASSERT_NEAR(sampleLevel(ramp, 0, x, 10.0f), 2.0f * x, 0.2f) << x;
    EXPECT_EQ(sampleLevel(ramp, 0, -6.3f, 10.0f), 0.0f);
    EXPECT_EQ(sampleLevel(ramp, 0, 1e9f, -1e9f), 238.0f);
    EXPECT_EQ(sampleLevel(ramp, 0, std::numeric_limits<float>::quiet_NaN(), 5.0f), 0.0f);

    // The same neighbourhood once across the tile seam at 512 and once inside a tile.
    ImagePyramid seam, inside;
    ASSERT_TRUE(createPyramid(seam, 600, 600, kFormatGrey8, kWrapClamp));
    ASSERT_TRUE(createPyramid(inside, 600, 600, kFormatGrey8, kWrapClamp));
    fillPattern(seam, 0, 0);
    fillPattern(inside, 20, 20);
    for (float x = 505.0f; x < 518.0f; x += 0.29f)
        for (float y = 508.0f; y < 516.0f; y += 0.61f)
            ASSERT_EQ(sampleLevel(seam, 0, x, y), sampleLevel(inside, 0, x - 20.0f, y - 20.0f)) << x << "," << y;

    // samplePyramid takes its own way through 8-bit pyramids: it must give
    // the blend of the two level reads bit for bit, levels clamped into the
    // chain, inside tiles, across the seam and past the edges.
    ImagePyramid p;
    ASSERT_TRUE(createPyramid(p, 1100, 700, kFormatGrey8, kWrapClamp));
    fillPattern(p, 3, 5);
    p.state = 1;
    buildChain(p);
    std::mt19937 random(77);
    std::uniform_real_distribution<float> position(-0.05f, 1.05f), fraction(0.0f, 1.0f);
    for (int i = 0; i < 10000; ++i) {
        const int32_t level = static_cast<int32_t>(random() % static_cast<uint32_t>(p.topLevel + 4)) - 2;
        const float frac = i % 5 == 0 ? 0.0f : fraction(random);
        const float u = i % 3 == 0 ? (512.0f + fraction(random) * 8.0f - 4.0f) / 1100.0f : position(random);
        const float v = position(random);
        const int32_t l = std::clamp(level, 0, p.topLevel - 1);
        const float s0 = sampleLevel(p, l, u * p.levelWidth[l] - 0.5f, v * p.levelHeight[l] - 0.5f);
        const float s1 = sampleLevel(p, l + 1, u * p.levelWidth[l + 1] - 0.5f, v * p.levelHeight[l + 1] - 0.5f);
        ASSERT_EQ(samplePyramid(p, level, frac, u, v), frac == 0.0f ? s0 : s0 + frac * (s1 - s0))
            << i << ": level " << level << " at " << u << "," << v;
    }
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
    EXPECT_FALSE(createPyramid(p, 0, 5, kFormatGrey8, kWrapClamp));  // frees what was there
    EXPECT_TRUE(p.empty());
    EXPECT_FALSE(createPyramid(p, 5, 5, 6, kWrapClamp));  // no format 6
    EXPECT_FALSE(createPyramid(p, INT32_MAX, INT32_MAX, kFormatRGBAFloat, kWrapClamp));
    EXPECT_TRUE(p.empty());
    // An empty pyramid reads and samples as 0 and ignores everything else.
    EXPECT_EQ(getPixel(p, 0, 0, 0), 0.0f);
    EXPECT_EQ(samplePyramid(p, 0, 0.5f, 0.5f, 0.5f), 0.0f);
    setPixel(p, 0, 0, 0, 0, 5.0f);
    buildChain(p);
    EXPECT_TRUE(p.empty());
    // Running out of memory half-way frees what was allocated and reports it.
    if (test::kUnderAddressSanitizer) GTEST_SKIP() << test::kNoAddressSpaceLimit;
    EXPECT_EXIT(std::exit(createUnderMemoryLimit()), ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace tv
