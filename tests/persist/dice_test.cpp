// Random settings: the generator, its integer and colour draws, and Dice.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <set>

#include "persist/dice.h"

namespace tv {
namespace {

using persist::RandomSource;

TEST(RandomSource, FollowsTheClassicCLibrarySequence) {
    // The C runtime's rand() after srand(1) starts 41, 18467, 6334, 26500, 19169.
    RandomSource rng;
    rng.seed(1);
    const int32_t expected[] = {41, 18467, 6334, 26500, 19169};
    for (int32_t e : expected) EXPECT_EQ(rng.next(), e);
    for (int i = 0; i < 10000; ++i) {
        const int32_t v = rng.next();
        ASSERT_GE(v, 0);
        ASSERT_LE(v, 32767);
    }
}

TEST(RandomSource, IntegersCoverTheirRangeInclusivelyEitherWayRound) {
    RandomSource rng;
    rng.seed(99);
    std::set<int32_t> seen;
    for (int i = 0; i < 5000; ++i) {
        const int32_t v = persist::randomInteger(rng, 30, 25);  // swapped
        ASSERT_GE(v, 25);
        ASSERT_LE(v, 30);
        seen.insert(v);
    }
    EXPECT_EQ(seen.size(), 6u);
    for (int i = 0; i < 100; ++i) EXPECT_EQ(persist::randomInteger(rng, 7, 7), 7);
    std::set<int32_t> bits;
    for (int i = 0; i < 200; ++i) bits.insert(persist::randomInteger(rng, 0, 1));
    EXPECT_EQ(bits.size(), 2u);
    // An 11-bit draw: a range wider than 2047 is reached only up to lo + 2047.
    for (int i = 0; i < 2000; ++i) EXPECT_LE(persist::randomInteger(rng, 0, 5000), 2047);
}

TEST(RandomSource, ColoursUseTheLowByteAndTintingGreys) {
    RandomSource rng;
    rng.seed(5);
    for (int i = 0; i < 200; ++i) {
        const Colour16 c = persist::randomColour(rng);
        for (int ch = 0; ch < 3; ++ch) EXPECT_EQ(c[ch] & 0xFF, 0);
        const Colour16 grey = persist::tintedRandomColour(rng, 256);
        EXPECT_EQ(grey.red, grey.green);
        EXPECT_EQ(grey.green, grey.blue);
    }
    // Tinting draws the same colour and pulls it towards its luminance.
    RandomSource a, b;
    a.seed(8);
    b.seed(8);
    const Colour16 plain = persist::randomColour(a);
    const Colour16 tinted = persist::tintedRandomColour(b, 128);
    const int32_t l = (77 * plain.red + 150 * plain.green + 28 * plain.blue) / 256;
    for (int ch = 0; ch < 3; ++ch) EXPECT_EQ(tinted[ch], (128 * plain[ch] + 128 * l) / 256);
}

ParamRecord before() {
    ParamRecord r = defaultRecord();
    r.planetSize = 77;
    r.backlighting = 1;
    r.lunarClimate = 1;
    r.downloadedClouds = 4;
    r.lightX = 0.1f;
    r.axisZ = 0.5f;
    r.xCenter = 0.2f;
    r.yCenter = 0.7f;
    r.outputMode = kModeMural;
    return r;
}

TEST(Dice, StaysInsideItsRulesOverManySeeds) {
    std::set<int32_t> craterCounts;
    int withCities = 0, luna = 0;
    for (uint32_t seed = 0; seed < 3000; ++seed) {
        RandomSource rng;
        rng.seed(seed);
        const ParamRecord start = before();
        ParamRecord r = start;
        persist::dice(r, rng);
        SCOPED_TRACE(seed);
        EXPECT_STREQ(r.settingsName, "random settings");
        ASSERT_LE(r.airDepth * r.airBrightness, 725);
        ASSERT_GE(r.airBrightness, 25);
        ASSERT_LE(r.airBrightness, 75);
        for (int ch = 0; ch < 3; ++ch) {
            ASSERT_GE(r.cloudColor[ch], 57375);
            ASSERT_LE(r.cloudColor[ch], 65025);
            ASSERT_EQ(r.cloudColor[ch] % 255, 0);
        }
        craterCounts.insert(r.craterCount);
        if (r.craterCount == 0)
            ASSERT_EQ(r.craterSize, 35);
        else
            ASSERT_EQ(r.craterSize, std::min(100, 1750 / r.craterCount));
        ASSERT_TRUE(r.craterCount == 0 || (r.craterCount >= 10 && r.craterCount <= 35));
        ASSERT_EQ(r.cloudViscosity, 25);
        ASSERT_GE(r.cloudCoriolis, 50);
        ASSERT_LE(r.cloudCoriolis, 100);
        ASSERT_GE(r.randomSeed, 0);
        ASSERT_LE(r.randomSeed, 2047);
        ASSERT_TRUE(r.cities == 0 || (r.cities >= 30 && r.cities <= 80));
        withCities += r.cities != 0;
        luna += r.realLuna;
        // City lights: warm, each channel from its base colour.
        ASSERT_GE(r.cityColor.red, 35805);
        ASSERT_LE(r.cityColor.red, 48142);
        ASSERT_GE(r.cityColor.blue, 26368);
        ASSERT_LE(r.cityColor.blue, 38705);
        // What Dice leaves alone.
        ASSERT_EQ(r.planetSize, 77);
        ASSERT_EQ(r.backlighting, 1);
        ASSERT_EQ(r.lunarClimate, 1);
        ASSERT_EQ(r.downloadedClouds, 4);
        ASSERT_EQ(r.lightX, start.lightX);
        ASSERT_EQ(r.lightZ, start.lightZ);
        ASSERT_EQ(r.axisZ, 0.5f);
        ASSERT_EQ(r.xCenter, 0.2f);
        ASSERT_EQ(r.yCenter, 0.7f);
        ASSERT_EQ(r.outputMode, kModeMural);
    }
    // Craters in three planets out of ten; 10 gives size 100 and 35 gives 50.
    EXPECT_TRUE(craterCounts.count(10) && craterCounts.count(35) && craterCounts.count(0));
    EXPECT_GT(withCities, 200);
    EXPECT_LT(withCities, 800);
    EXPECT_GT(luna, 30);
    EXPECT_LT(luna, 250);
}

TEST(Dice, SameSeedSamePlanetAndTwoPressesDiffer) {
    RandomSource a, b;
    a.seed(1234);
    b.seed(1234);
    ParamRecord x = before(), y = before();
    persist::dice(x, a);
    persist::dice(y, b);
    EXPECT_EQ(std::memcmp(&x, &y, sizeof x), 0);
    ParamRecord z = x;
    persist::dice(z, a);
    EXPECT_NE(std::memcmp(&x, &z, sizeof x), 0);
}

}  // namespace
}  // namespace tv
