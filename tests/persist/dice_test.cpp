// Random settings: the generator, its integer and colour draws, and Dice.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <set>

#include "persist/dice.h"

namespace tv {
namespace {

using persist::RandomSource;

TEST(RandomSource, TheClassicSequenceItsIntegersAndColours) {
    // The C runtime's rand() after srand(1) starts 41, 18467, 6334, 26500, 19169.
    RandomSource rng;
    rng.seed(1);
    for (int32_t e : {41, 18467, 6334, 26500, 19169}) EXPECT_EQ(rng.next(), e);
    std::set<int32_t> seen;
    for (int i = 0; i < 5000; ++i) seen.insert(persist::randomInteger(rng, 30, 25));  // either way round
    EXPECT_EQ(seen, (std::set<int32_t>{25, 26, 27, 28, 29, 30}));
    for (int i = 0; i < 2000; ++i) ASSERT_LE(persist::randomInteger(rng, 0, 5000), 2047);  // an 11-bit draw
    // Tinting at 256 gives a grey.
    const Colour16 grey = persist::tintedRandomColour(rng, 256);
    EXPECT_TRUE(grey.red == grey.green && grey.green == grey.blue);
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
        ASSERT_TRUE(r.airBrightness >= 25 && r.airBrightness <= 75);
        for (int ch = 0; ch < 3; ++ch)
            ASSERT_TRUE(r.cloudColor[ch] >= 57375 && r.cloudColor[ch] <= 65025 && r.cloudColor[ch] % 255 == 0);
        craterCounts.insert(r.craterCount);
        if (r.craterCount == 0)
            ASSERT_EQ(r.craterSize, 35);
        else
            ASSERT_EQ(r.craterSize, std::min(100, 1750 / r.craterCount));
        ASSERT_TRUE(r.craterCount == 0 || (r.craterCount >= 10 && r.craterCount <= 35));
        ASSERT_EQ(r.cloudViscosity, 25);
        ASSERT_TRUE(r.cloudCoriolis >= 50 && r.cloudCoriolis <= 100);
        ASSERT_TRUE(r.randomSeed >= 0 && r.randomSeed <= 2047);
        ASSERT_TRUE(r.cities == 0 || (r.cities >= 30 && r.cities <= 80));
        withCities += r.cities != 0;
        luna += r.realLuna;
        // City lights: warm, each channel from its base colour.
        ASSERT_TRUE(r.cityColor.red >= 35805 && r.cityColor.red <= 48142);
        ASSERT_TRUE(r.cityColor.blue >= 26368 && r.cityColor.blue <= 38705);
        // What Dice leaves alone.
        ASSERT_TRUE(r.planetSize == 77 && r.backlighting == 1 && r.lunarClimate == 1 && r.downloadedClouds == 4 &&
                    r.lightX == start.lightX && r.lightZ == start.lightZ && r.axisZ == 0.5f && r.xCenter == 0.2f &&
                    r.yCenter == 0.7f && r.outputMode == kModeMural);
    }
    // Craters in three planets out of ten; 10 gives size 100 and 35 gives 50.
    EXPECT_TRUE(craterCounts.count(10) && craterCounts.count(35) && craterCounts.count(0));
    EXPECT_GT(withCities, 200);
    EXPECT_LT(withCities, 800);
    EXPECT_GT(luna, 30);
    EXPECT_LT(luna, 250);
    // The same seed gives the same planet; the next press another.
    RandomSource a, b;
    a.seed(1234);
    b.seed(1234);
    ParamRecord x = before(), y = before();
    persist::dice(x, a);
    persist::dice(y, b);
    EXPECT_EQ(std::memcmp(&x, &y, sizeof x), 0);
    persist::dice(y, b);
    EXPECT_NE(std::memcmp(&x, &y, sizeof x), 0);
}

}  // namespace
}  // namespace tv
