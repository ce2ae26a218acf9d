#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <set>

#include "render/shading.h"
#include "synth/noise.h"

namespace tv {
namespace {

TEST(ColourSpace, HslRoundTripsAndKnownValues) {
    const float colours[][3] = {{1, 0, 0}, {0.2f, 0.4f, 0.9f}, {0.5f, 0.5f, 0.5f}, {0.9f, 0.8f, 0.1f}, {0, 0, 0}};
    for (const auto& c : colours) {
        const Hsl h = rgbToHsl(c);
        float back[3];
        hslToRgb(h.h, h.s, h.l, back);
        for (int i = 0; i < 3; ++i) EXPECT_NEAR(back[i], c[i], 1e-5f);
    }
    const float red[3] = {1, 0, 0};
    const Hsl h = rgbToHsl(red);
    EXPECT_FLOAT_EQ(h.h, 0.0f);
    EXPECT_FLOAT_EQ(h.s, 1.0f);
    EXPECT_FLOAT_EQ(h.l, 0.5f);
    float blue[3];
    hslToRgb(2.0f / 3.0f, 1.0f, 0.25f, blue);
    EXPECT_NEAR(blue[0], 0.0f, 1e-6f);
    EXPECT_NEAR(blue[2], 0.5f, 1e-6f);
}

TEST(SeaColours, DeepSeaTurnsTheHueAndDarkens) {
    PlanetData planet{};
    const Colour16 sea{0x2000, 0x4000, 0xC000};
    setupSeaColours(planet, sea, true);
    EXPECT_FLOAT_EQ(planet.shallowSea[0], 255.0f * 0x20 / 256.0f);
    EXPECT_FLOAT_EQ(planet.shallowSea[2], 255.0f * 0xC0 / 256.0f);
    const Hsl shallow = rgbToHsl(planet.shallowSea);
    const Hsl deep = rgbToHsl(planet.deepSea);
    EXPECT_NEAR(deep.h, shallow.h + 0.06f, 1e-4f);
    EXPECT_NEAR(deep.l, shallow.l * 0.9f, 1e-4f);
    // 16- and 32-bit images put the sea on the 32768 scale.
    PlanetData wide{};
    setupSeaColours(wide, sea, false);
    EXPECT_FLOAT_EQ(wide.shallowSea[2], 32768.0f * 0xC0 / 256.0f);
}

TEST(LandColour, FractalsOfARowEqualTheFractalsOneByOne) {
    auto planet = std::make_unique<PlanetData>();
    buildSeedTable(*planet, 77);
    buildLattice(*planet);
    TileConstants tc;
    tc.landWarp = 0.01f * 57.0f / 0.57f * 1.5f;
    tc.roughness = 0.728f;
    auto same = [](float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; };
    // Neighbouring pixels (and some far apart), any count.
    CellSample cells[7];
    Vec3 p[7];
    LandNoise together[7];
    for (int i = 0; i < 100; ++i) {
        for (int k = 0; k < 7; ++k) {
            const float spread = i % 3 == 0 ? 0.2f : 0.001f;
            p[k] = normalize({std::sin(0.7f * i) + spread * k, 0.3f, std::cos(0.2f * i)});
            cells[k] = {0.01f * std::sin(1.3f * i + k), 0.4f * std::cos(0.3f * i - k), 0.0f, 0.0f, 0.0f, 0.0f, 0.0f};
        }
        const int32_t count = 1 + i % 7;
        landNoises(tc, *planet, cells, p, count, together);
        for (int k = 0; k < count; ++k) {
            const LandNoise one = landNoise(tc, *planet, cells[k], p[k]);
            ASSERT_TRUE(same(together[k].n, one.n) && same(together[k].n2, one.n2)) << i << " pixel " << k;
        }
    }
    // The lunar climate's slope remap, as landColour applies it.
    tc.lunarClimate = true;
    for (float slope : {0.0f, 1e-30f, 0.3f, 1.0f, 2.5f}) {
        float inPlace = slope;
        landColour(tc, *planet, cells[0], p[0], inPlace);
        EXPECT_TRUE(same(landSlopeLight(tc, slope), inPlace)) << slope;
    }
    EXPECT_EQ(landSlopeLight(tc, 1e-30f), 0.0f);  // the remap can turn a positive slope to 0
}

TileConstants hypsometricConstants(int32_t sampleFactor) {
    TileConstants tc;
    tc.white = 255.0f;
    tc.reliefGain = 1.0f;
    tc.sampleFactor = sampleFactor;
    return tc;
}

TEST(HypsometricColour, BandsBelowSeaArePaleBlueAndLandBandsWarm) {
    const TileConstants tc = hypsometricConstants(1);
    float below[3], land[3];
    hypsometricColour(tc, -1.0f, 0.0f, below);
    hypsometricColour(tc, 0.0f, 0.0f, land);
    EXPECT_GT(below[2], below[0]);
    EXPECT_GT(below[2], below[1]);
    EXPECT_GT(below[0], 0.5f * 255.0f);  // pale
    EXPECT_GT(land[0], land[1]);
    EXPECT_GT(land[1], land[2]);
    // Deeper bands are darker.
    float deep[3];
    hypsometricColour(tc, -12.0f, 0.0f, deep);
    EXPECT_LT(deep[0] + deep[1] + deep[2], below[0] + below[1] + below[2]);
}

TEST(HypsometricColour, ContourInkDarkensAndIsHalvedAtSampleFactorTwo) {
    float plain[3], inked[3], halfInk[3], previewInk[3];
    hypsometricColour(hypsometricConstants(1), 3.0f, 0.0f, plain);
    hypsometricColour(hypsometricConstants(1), 3.0f, 1.0f, inked);
    hypsometricColour(hypsometricConstants(1), 3.0f, 0.5f, halfInk);
    hypsometricColour(hypsometricConstants(2), 3.0f, 1.0f, previewInk);
    EXPECT_LT(inked[0] + inked[1] + inked[2], plain[0] + plain[1] + plain[2]);
    for (int i = 0; i < 3; ++i) EXPECT_FLOAT_EQ(previewInk[i], halfInk[i]);
    // Ink above 1 counts as 1.
    float over[3];
    hypsometricColour(hypsometricConstants(1), 3.0f, 4.0f, over);
    for (int i = 0; i < 3; ++i) EXPECT_FLOAT_EQ(over[i], inked[i]);
}

TileConstants cityConstants(int32_t cities) {
    TileConstants tc;
    tc.mode = kModeNormal;
    tc.cities = cities;
    tc.seaLevel = 0.0f;
    tc.city[0] = 200.0f;
    tc.city[1] = 150.0f;
    tc.city[2] = 50.0f;
    return tc;
}

TEST(CityLights, OnlyOnLowIceFreeLandAtNight) {
    const CellSample coast{0, 0, 0, 0.1f, 0, 0, 0.0f};  // elevation 0.1: t = 0.6
    LandResult land{};
    land.n = 0.5f;
    land.n2 = 0.5f;
    float out[3];
    // Night (terminator 0.5), dither byte 0: a light, brighter for a higher sparkle.
    cityLight(cityConstants(70), coast, 0.5f, 1.0f, land, 0, 0, out);
    EXPECT_GT(out[0], 0.0f);
    EXPECT_FLOAT_EQ(out[0] / out[1], 200.0f / 150.0f);
    float brighter[3];
    cityLight(cityConstants(70), coast, 0.5f, 1.0f, land, 0, 63, brighter);
    EXPECT_GT(brighter[0], out[0]);

    cityLight(cityConstants(0), coast, 0.5f, 1.0f, land, 0, 0, out);
    EXPECT_EQ(out[0], 0.0f);  // no cities
    cityLight(cityConstants(70), coast, 0.8f, 1.0f, land, 0, 0, out);
    EXPECT_EQ(out[0], 0.0f);  // daylight
    cityLight(cityConstants(70), coast, 0.5f, 0.0f, land, 0, 0, out);
    EXPECT_EQ(out[0], 0.0f);  // no land at the pixel
    LandResult icy = land;
    icy.ice = 0.2f;
    cityLight(cityConstants(70), coast, 0.5f, 1.0f, icy, 0, 0, out);
    EXPECT_EQ(out[0], 0.0f);  // land ice
    const CellSample highland{0, 0, 0, 0.3f, 0, 0, 0.0f};  // t = -0.2: away from the coast
    cityLight(cityConstants(70), highland, 0.5f, 1.0f, land, 0, 0, out);
    EXPECT_EQ(out[0], 0.0f);
    // The cities mode takes every pixel as night.
    TileConstants citiesMode = cityConstants(70);
    citiesMode.mode = kModeCities;
    cityLight(citiesMode, coast, 1.0f, 1.0f, land, 0, 0, out);
    EXPECT_GT(out[0], 0.0f);
}

TEST(CityLights, SparklesDependOnThePixelAndSeedOnly) {
    EXPECT_EQ(sparkleAt(10, 20, 21), sparkleAt(10, 20, 21));
    std::set<uint32_t> lows;
    for (int32_t x = 0; x < 64; ++x) lows.insert(sparkleAt(x, 7, 21) % 64u);
    EXPECT_GT(lows.size(), 30u);  // spread over the 64 brightness steps
    EXPECT_NE(sparkleAt(10, 20, 21), sparkleAt(20, 10, 21));
    EXPECT_NE(sparkleAt(10, 20, 21), sparkleAt(10, 20, 22));
}

}  // namespace
}  // namespace tv
