// Terrain constants, the terrain sampler, the lunar relief, crater placement
// and crater stamping.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "synth/relief_images.h"
#include "synth/terrain.h"
#include "synth_fixture.h"

namespace tv {
namespace {

using test::fillPyramid;
using test::planetWithSeed;

Vec3 onSphere(float x, float y, bool back = false) {
    const float z = std::sqrt(1.0f - x * x - y * y);
    return {x, y, back ? -z : z};
}

TEST(TerrainConstants, SeaLevelRoughnessAndCraterDepth) {
    auto planet = planetWithSeed(21);
    ParamRecord params = defaultRecord();
    const struct {
        int32_t seaLevel;
        float height;
    } seas[] = {{0, -0.4f}, {50, 0.0f}, {100, 0.4f}, {75, 0.1f}, {25, -0.1f}};
    for (const auto& sea : seas) {
        params.seaLevel = sea.seaLevel;
        setupTerrainConstants(*planet, params);
        EXPECT_NEAR(planet->seaLevelHeight, sea.height, 1e-6f) << sea.seaLevel;
    }
    // Levels far out of range keep their side of 50.
    params.seaLevel = INT32_MIN;
    setupTerrainConstants(*planet, params);
    EXPECT_LT(planet->seaLevelHeight, 0.0f);
    params.seaLevel = INT32_MAX;
    setupTerrainConstants(*planet, params);
    EXPECT_GT(planet->seaLevelHeight, 0.0f);
    params.landComplexity = 0;
    setupTerrainConstants(*planet, params);
    EXPECT_FLOAT_EQ(planet->roughness, 0.6f);
    params.landComplexity = 100;
    params.craterTexture = 50;
    params.realLuna = 1;
    params.axisX = 0.6f;
    params.axisY = -0.8f;
    setupTerrainConstants(*planet, params);
    EXPECT_FLOAT_EQ(planet->roughness, 0.825f);
    EXPECT_FLOAT_EQ(planet->craterDepth, 0.002f);
    EXPECT_TRUE(planet->realLuna);
    EXPECT_EQ(planet->axis.x, -0.6f);
    EXPECT_EQ(planet->axis.y, 0.8f);
}

TEST(TerrainSampler, SignedSquareOfTheFractalAboveSeaLevel) {
    auto planet = planetWithSeed(21);
    ParamRecord params = defaultRecord();
    setupTerrainConstants(*planet, params);
    const SampleView view;
    int below = 0, above = 0;
    for (int i = 0; i < 200; ++i) {
        const Vec3 p = onSphere(-0.9f + 0.009f * i, 0.4f * std::sin(0.1f * i));
        const TerrainSample t0 = sampleTerrain(*planet, p, 7.3f, 0.0f, view);
        const TerrainSample t1 = sampleTerrain(*planet, p, 7.3f, 0.25f, view);
        // The first octave is the noise at 1.5 p; sea level shifts the elevation only.
        EXPECT_EQ(t0.baseNoise, noise3(*planet, {1.5f * p.x, 1.5f * p.y, 1.5f * p.z}));
        EXPECT_EQ(t0.baseNoise, t1.baseNoise);
        EXPECT_EQ(t0.terrainAlt, t1.terrainAlt);
        EXPECT_FLOAT_EQ(t1.elevation, t0.elevation - 0.25f);
        EXPECT_FLOAT_EQ(t1.terrain, t1.elevation * std::fabs(t1.elevation));
        below += t0.terrain < 0.0f;
        above += t0.terrain > 0.0f;
    }
    EXPECT_GT(below, 20);
    EXPECT_GT(above, 20);
    // One octave: the elevation is the first octave minus S.
    const Vec3 p = onSphere(0.3f, 0.2f);
    const TerrainSample one = sampleTerrain(*planet, p, 1.0f, 0.1f, view);
    EXPECT_FLOAT_EQ(one.elevation, one.baseNoise - 0.1f);
    EXPECT_EQ(one.terrainAlt, 0.0f);
}

class Reliefs : public ::testing::Test {
protected:
    void SetUp() override {
        planet = planetWithSeed(21);
        params = defaultRecord();
        setupTerrainConstants(*planet, params);
        ASSERT_TRUE(loadReliefMaps(pyramids, *planet));
    }
    std::unique_ptr<PlanetData> planet;
    ParamRecord params;
    ImagePyramid pyramids[kReliefCount];
};

TEST_F(Reliefs, SamplesTakenTogetherEqualSamplesTakenOneByOne) {
    auto same = [](const TerrainSample& a, const TerrainSample& b) {
        return std::memcmp(&a.terrain, &b.terrain, 4) == 0 && std::memcmp(&a.baseNoise, &b.baseNoise, 4) == 0 &&
               std::memcmp(&a.elevation, &b.elevation, 4) == 0 && std::memcmp(&a.terrainAlt, &b.terrainAlt, 4) == 0;
    };
    // Neighbouring points (a row of pixels and their shifted points) with
    // octave counts that differ between them, any number of points at once.
    Vec3 points[11];
    float octaves[11];
    for (bool luna : {false, true}) {
        planet->realLuna = luna;
        for (int i = 0; i < 300; ++i) {
            for (int k = 0; k < 11; ++k) {
                const Vec3 p = normalize({std::sin(0.37f * i) + 0.002f * (k / 2), std::cos(1.1f * i), 0.3f});
                points[k] = k % 2 ? normalize({p.x + 0.001f, p.y - 0.0007f, p.z}) : p;
                octaves[k] = 1.0f + 0.037f * static_cast<float>(i) + (k % 3 == 2 ? 0.9f : 0.0f) - 0.01f * (k / 2);
            }
            const int32_t count = 1 + i % 11;
            TerrainSample together[11];
            sampleTerrains(*planet, points, octaves, count, 0.05f, SampleView{}, together);
            for (int k = 0; k < count; ++k)
                ASSERT_TRUE(same(together[k], sampleTerrain(*planet, points[k], octaves[k], 0.05f, SampleView{})))
                    << luna << " " << i << " point " << k;
        }
    }
}

TEST_F(Reliefs, LoadsTheFiveImagesInOrderWithTheirChains) {
    const int32_t sizes[kReliefCount] = {512, 384, 384, 384, 384};
    for (int k = 0; k < kReliefCount; ++k) {
        ASSERT_EQ(planet->reliefs[k], &pyramids[k]);
        EXPECT_EQ(pyramids[k].levelWidth[0], sizes[k]);
        EXPECT_EQ(pyramids[k].state, 2);
        ReliefImage image;
        ASSERT_TRUE(findReliefImage(kReliefResourceIds[k], image));
        for (int y : {0, 100, sizes[k] - 1})
            for (int x : {0, 37, sizes[k] / 2, sizes[k] - 1})
                EXPECT_EQ(getPixel(pyramids[k], 0, x, y), image.pixels[y * sizes[k] + x]);
    }
    EXPECT_EQ(pyramids[kReliefCrater0].topLevel, 9);
}

TEST_F(Reliefs, ALaterLoadKeepsWhatIsBuiltAndReloadsWhatChanged) {
    // A mark above level 0 shows whether a pyramid was kept or built again.
    float marks[kReliefCount];
    for (int k = 0; k < kReliefCount; ++k) {
        marks[k] = 255.0f - getPixel(pyramids[k], 1, 5, 5);
        setPixel(pyramids[k], 1, 5, 5, 0, marks[k]);
    }
    ReliefImage image;
    ASSERT_TRUE(findReliefImage(kReliefResourceIds[2], image));
    const int original = image.pixels[10 * image.width + 10];
    setPixel(pyramids[2], 0, 10, 10, 0, static_cast<float>(255 - original));
    pyramids[4].state = 1;  // a chain not built
    planet->reliefs[0] = nullptr;
    ASSERT_TRUE(loadReliefMaps(pyramids, *planet));
    for (int k = 0; k < kReliefCount; ++k) {
        EXPECT_EQ(planet->reliefs[k], &pyramids[k]);
        EXPECT_EQ(pyramids[k].state, 2);
        if (k != 2 && k != 4) {
            EXPECT_EQ(getPixel(pyramids[k], 1, 5, 5), marks[k]) << k;  // kept
        } else {
            EXPECT_NE(getPixel(pyramids[k], 1, 5, 5), marks[k]) << k;  // built again
        }
    }
    EXPECT_EQ(getPixel(pyramids[2], 0, 10, 10), static_cast<float>(original));
}

TEST_F(Reliefs, RealLunaIgnoresSeedOctavesAndSeaLevelAndShowsNorthUp) {
    planet->realLuna = true;
    SampleView view;
    view.mapLevel = 1.0f;
    view.mapLevelFrac = 0.25f;
    auto other = planetWithSeed(1999);
    other->realLuna = true;
    for (int k = 0; k < kReliefCount; ++k) other->reliefs[k] = planet->reliefs[k];
    for (int i = 0; i < 50; ++i) {
        const Vec3 p = onSphere(-0.7f + 0.028f * i, 0.6f * std::cos(0.3f * i));
        const TerrainSample a = sampleTerrain(*planet, p, 3.0f, -0.4f, view);
        const TerrainSample b = sampleTerrain(*other, p, 11.5f, 0.4f, view);
        const TerrainSample back = sampleTerrain(*planet, {p.x, p.y, -p.z}, 3.0f, -0.4f, view);
        EXPECT_EQ(a.terrain, b.terrain);
        EXPECT_EQ(a.terrain, back.terrain);
        EXPECT_EQ(a.baseNoise, a.terrain);
        EXPECT_EQ(a.terrainAlt, a.terrain);
        const float expected =
            (samplePyramid(pyramids[kReliefLuna], 1, 0.25f, 0.5f + 0.5f * p.x, 0.5f + 0.5f * p.y) - 128.0f) * 0.003f;
        EXPECT_EQ(a.terrain, expected);
    }
    // On the globe x points to the screen's left and y up. Mare Imbrium
    // (north-west, seen on the upper left) is low; the southern highlands
    // (lower right of the centre) are high.
    view.mapLevel = 2.0f;
    view.mapLevelFrac = 0.0f;
    const float imbrium = sampleTerrain(*planet, onSphere(0.23f, 0.545f), 4.0f, 0.0f, view).terrain;
    const float highlands = sampleTerrain(*planet, onSphere(-0.22f, -0.5f), 4.0f, 0.0f, view).terrain;
    EXPECT_LT(imbrium, -0.04f);
    EXPECT_GT(highlands, 0.02f);
}

TEST(CraterPlacement, MakesCountPlusOneRecordsWithUnitAxesAndSpacing) {
    auto planet = planetWithSeed(21);
    ParamRecord params = defaultRecord();
    for (int32_t count : {0, 1, 40}) {
        params.craterCount = count;
        setupCraters(*planet, params);
        EXPECT_EQ(planet->craterCount, count + 1) << count;
    }
    const float spacing = (100 - 40) * 0.005f;
    const int n = planet->craterCount;
    for (int i = 0; i < n; ++i) {
        const CraterRecord& c = planet->craters[i];
        EXPECT_NEAR(dot(c.axisU, c.axisU), 1.0f, 1e-5f);
        EXPECT_NEAR(dot(c.axisV, c.axisV), 1.0f, 1e-5f);
        EXPECT_NEAR(dot(c.axisU, c.axisV), 0.0f, 1e-5f);
        // r = 0.006 x size x s, s in 0.5..1.
        EXPECT_GE(c.radius, 0.003f * params.craterSize - 1e-6f);
        EXPECT_LE(c.radius, 0.006f * params.craterSize + 1e-6f);
        EXPECT_FLOAT_EQ(c.invRadius, 1.0f / c.radius);
        EXPECT_FLOAT_EQ(c.logRadius, std::log(c.radius));
        Vec3 d = cross(c.axisU, c.axisV);
        d.z = std::fabs(d.z);
        for (int j = 0; j < i; ++j) {
            Vec3 dj = cross(planet->craters[j].axisU, planet->craters[j].axisV);
            dj.z = std::fabs(dj.z);
            const Vec3 diff = d - dj;
            EXPECT_GE(std::sqrt(dot(diff, diff)), spacing * (c.radius + planet->craters[j].radius)) << i << " " << j;
        }
    }
    // Count 100: no spacing test, 100 records.
    params.craterCount = 100;
    params.craterSize = 100;
    setupCraters(*planet, params);
    EXPECT_EQ(planet->craterCount, 100);
}

TEST(CraterPlacement, TextureDepthDoesNotChangeThePlacement) {
    auto a = planetWithSeed(21);
    auto b = planetWithSeed(21);
    ParamRecord params = defaultRecord();
    params.craterTexture = 0;
    setupTerrainConstants(*a, params);
    setupCraters(*a, params);
    params.craterTexture = 90;
    setupCraters(*b, params);
    ASSERT_EQ(a->craterCount, b->craterCount);
    for (int i = 0; i < a->craterCount; ++i) {
        EXPECT_EQ(a->craters[i].axisU.x, b->craters[i].axisU.x);
        EXPECT_EQ(a->craters[i].axisV.z, b->craters[i].axisV.z);
        EXPECT_EQ(a->craters[i].radius, b->craters[i].radius);
    }
    EXPECT_EQ(a->craterDepth, 0.0f);
}

TEST(CraterPlacement, CrowdedPlanetStopsAfter151RejectionsInARow) {
    // Count 30 keeps folded centres 0.35 x (r + r_j) apart; with a size far
    // beyond the dialog's range (r = 1.2..2.4) only a few fit.
    auto planet = planetWithSeed(21);
    ParamRecord params = defaultRecord();
    params.craterCount = 30;
    params.craterSize = 400;
    setupCraters(*planet, params);
    EXPECT_GE(planet->craterCount, 2);
    EXPECT_LT(planet->craterCount, 31);
}

// Stamping with test textures: resource slots 1..4 filled by the test.
class Stamping : public ::testing::Test {
protected:
    void SetUp() override {
        planet = planetWithSeed(21);
        planet->craterDepth = 0.002f;
        planet->craterLevelBias = 0.0f;
        for (int k = 0; k < kReliefCount; ++k) planet->reliefs[k] = nullptr;
    }
    void uniformTextures(const int values[4]) {
        for (int k = 0; k < 4; ++k) {
            const int v = values[k];
            fillPyramid(textures[k], 64, 64, [v](int, int) { return v; });
            planet->reliefs[kReliefCrater0 + k] = &textures[k];
        }
    }
    // Record 0 centred on (0, 0, 1) with half-width r; record 1, never stamped, after it.
    void oneCraterAtThePole(float r);
    std::unique_ptr<PlanetData> planet;
    ImagePyramid textures[4];
};

// A record whose footprint (|z| < 0.01, |x| < 0.01, about (0, +-1, 0)) never
// covers the points the tests use.
CraterRecord farAway() {
    return {{0.0f, 0.0f, 1.0f}, {1.0f, 0.0f, 0.0f}, 0.01f, 100.0f, std::log(0.01f)};
}
// A record centred on (0, 0, 1) with half-width r.
CraterRecord atPole(float r) { return {{1.0f, 0.0f, 0.0f}, {0.0f, 1.0f, 0.0f}, r, 1.0f / r, std::log(r)}; }

void Stamping::oneCraterAtThePole(float r) {
    planet->craters[0] = atPole(r);
    planet->craters[1] = farAway();
    planet->craterCount = 2;
    indexCraters(*planet);
}

TEST_F(Stamping, CountZeroStampsNothing) {
    auto real = planetWithSeed(21);
    ImagePyramid reliefs[kReliefCount];
    ASSERT_TRUE(loadReliefMaps(reliefs, *real));
    ParamRecord params = defaultRecord();
    params.craterCount = 0;
    setupTerrainConstants(*real, params);
    setupCraters(*real, params);
    ASSERT_EQ(real->craterCount, 1);
    const CraterRecord& c = real->craters[0];
    const Vec3 centre = cross(c.axisU, c.axisV);
    for (float t : {0.0f, 0.3f, 0.6f}) {
        const Vec3 p = normalize(centre + t * c.radius * c.axisU + 0.2f * c.radius * c.axisV);
        float h = 0.5f;
        EXPECT_EQ(addCraters(*real, p, 0.0f, h), 0.0f);
        EXPECT_EQ(h, 0.5f);
    }
}

TEST_F(Stamping, Count100StampsAllButTheLastRecord) {
    const int values[4] = {200, 200, 200, 200};
    uniformTextures(values);
    ParamRecord params = defaultRecord();
    params.craterCount = 100;
    params.craterSize = 60;
    setupCraters(*planet, params);
    ASSERT_EQ(planet->craterCount, 100);
    // A uniform texture of 200 gives every covering crater depth x r x 72.
    auto covering = [&](Vec3 p, int upTo) {
        float sum = 0.0f;
        for (int i = 0; i < upTo; ++i) {
            const CraterRecord& c = planet->craters[i];
            const float d = dot(p, c.axisU), e = dot(p, c.axisV);
            if (std::fabs(d) < c.radius && std::fabs(e) < c.radius) sum += planet->craterDepth * c.radius * 72.0f;
        }
        return sum;
    };
    for (int i : {99, 98, 50, 0}) {
        const CraterRecord& c = planet->craters[i];
        const Vec3 p = cross(c.axisU, c.axisV);
        float h = 0.0f;
        const float sum = addCraters(*planet, p, 0.0f, h);
        EXPECT_NEAR(sum, covering(p, 99), 1e-5f) << i;
        EXPECT_EQ(h, sum);
        if (i == 99) {
            EXPECT_GT(covering(p, 100) - sum, 0.01f);  // record 99 would cover it
        } else {
            EXPECT_GT(sum, 0.0f);
        }
    }
}

TEST_F(Stamping, TheFootprintEdgeIsOutside) {
    const int values[4] = {228, 228, 228, 228};
    uniformTextures(values);
    oneCraterAtThePole(0.25f);
    float h = 0.0f;
    EXPECT_EQ(addCraters(*planet, onSphere(0.25f, 0.0f), 0.0f, h), 0.0f);
    EXPECT_EQ(addCraters(*planet, onSphere(-0.25f, 0.1f), 0.0f, h), 0.0f);
    EXPECT_EQ(addCraters(*planet, onSphere(0.1f, 0.25f), 0.0f, h), 0.0f);
    EXPECT_NEAR(addCraters(*planet, onSphere(0.2499f, 0.2499f), 0.0f, h), 0.002f * 0.25f * 100.0f, 1e-5f);
    // Two dot products decide, so the far side of the sphere is covered too.
    EXPECT_NEAR(addCraters(*planet, onSphere(0.1f, 0.1f, true), 0.0f, h), 0.05f, 1e-5f);
}

TEST_F(Stamping, TexturesAndMirroringFollowTheRecordIndex) {
    // Texture k: 10k + a ramp across the columns and a smaller one down the rows.
    for (int k = 0; k < 4; ++k) {
        fillPyramid(textures[k], 64, 64, [k](int x, int y) { return 100 + 10 * k + x / 2 + y / 4; });
        planet->reliefs[kReliefCrater0 + k] = &textures[k];
    }
    auto stampAlone = [&](int index, Vec3 p) {
        for (int i = 0; i < 20; ++i) planet->craters[i] = farAway();
        planet->craters[index] = atPole(0.3f);
        planet->craterCount = index + 2;
        indexCraters(*planet);
        float h = 0.0f;
        return addCraters(*planet, p, 0.0f, h);
    };
    const float d = 0.12f, e = 0.07f;
    const float base = stampAlone(0, onSphere(d, e));
    // Records 4, 8, 12 (the same texture) mirror u, v, and both.
    EXPECT_NEAR(stampAlone(4, onSphere(-d, e)), base, 1e-6f);
    EXPECT_NEAR(stampAlone(8, onSphere(d, -e)), base, 1e-6f);
    EXPECT_NEAR(stampAlone(12, onSphere(-d, -e)), base, 1e-6f);
    EXPECT_GT(std::fabs(stampAlone(4, onSphere(d, e)) - base), 1e-3f);
    EXPECT_GT(std::fabs(stampAlone(8, onSphere(d, e)) - base), 1e-3f);
    // Record 16 starts the cycle again; records 1..3 read textures 1..3.
    EXPECT_NEAR(stampAlone(16, onSphere(d, e)), base, 1e-6f);
    for (int k = 1; k < 4; ++k) EXPECT_NEAR(stampAlone(k, onSphere(d, e)) - base, 0.002f * 0.3f * 10.0f * k, 1e-5f);
}

TEST_F(Stamping, LevelFollowsTheCraterSizeOnScreenAndNeverExtrapolates) {
    // A checkerboard of 8-pixel squares: coarser levels blur it.
    fillPyramid(textures[0], 64, 64, [](int x, int y) { return ((x / 8 + y / 8) & 1) ? 228 : 28; });
    planet->reliefs[kReliefCrater0] = &textures[0];
    oneCraterAtThePole(0.3f);
    const Vec3 p = onSphere(0.013f, 0.021f);
    const float logR = std::log(0.3f);
    auto at = [&](float level) {
        // lnMu that gives this level: level = -(bias + ln r + lnMu) / ln 2.
        const float lnMu = -level * 0.6931472f - logR;
        float h = 0.0f;
        return addCraters(*planet, p, lnMu, h);
    };
    auto direct = [&](int level, float frac) {
        return 0.002f * 0.3f * (samplePyramid(textures[0], level, frac, 0.5f + 0.5f * p.x / 0.3f, 0.5f + 0.5f * p.y / 0.3f) - 128.0f);
    };
    EXPECT_NEAR(at(2.0f), direct(2, 0.0f), 1e-5f);
    EXPECT_NEAR(at(1.5f), direct(1, 0.5f), 1e-4f);
    // Larger on screen than the texture: level 0 as it is, on both sides of -1.
    EXPECT_NEAR(at(-0.999f), direct(0, 0.0f), 1e-6f);
    EXPECT_NEAR(at(-1.001f), direct(0, 0.0f), 1e-6f);
    EXPECT_NEAR(at(-3.0f), direct(0, 0.0f), 1e-6f);
    EXPECT_GT(std::fabs(direct(0, 0.0f) - direct(1, 0.0f)), 1e-3f);
    // An undefined level reads level 1.
    float h = 0.0f;
    EXPECT_NEAR(addCraters(*planet, p, std::numeric_limits<float>::quiet_NaN(), h), direct(1, 0.0f), 1e-6f);
}

TEST_F(Reliefs, StampingMatchesTheRecordByRecordSumEverywhere) {
    // The plain form: every record but the last, tested and sampled in order.
    params.craterCount = 70;
    params.craterSize = 80;
    setupCraters(*planet, params);
    planet->craterLevelBias = std::log(2.0f * 700.0f) - 5.950642552587727f;
    auto plain = [&](Vec3 p, float lnMu) {
        float sum = 0.0f;
        for (int i = 0; i < planet->craterCount - 1; ++i) {
            const CraterRecord& c = planet->craters[i];
            const float d = p.x * c.axisU.x + p.y * c.axisU.y + p.z * c.axisU.z;
            const float e = p.x * c.axisV.x + p.y * c.axisV.y + p.z * c.axisV.z;
            if (!(-c.radius < d && d < c.radius && -c.radius < e && e < c.radius)) continue;
            const int m = (i >> 2) & 3;
            const float u = 0.5f + ((m & 1) ? -0.5f : 0.5f) * d / c.radius;
            const float v = 0.5f + ((m & 2) ? -0.5f : 0.5f) * e / c.radius;
            float level = (planet->craterLevelBias + c.logRadius + lnMu) * -1.442695040888963f;
            if (level < 0.0f) level = 0.0f;
            const int whole = static_cast<int>(level);
            const float t = samplePyramid(pyramids[kReliefCrater0 + (i & 3)], whole, level - whole, u, v);
            sum += planet->craterDepth * c.radius * (t - 128.0f);
        }
        return sum;
    };
    int stamped = 0;
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 40; ++x) {
            const float px = (x - 19.5f) / 20.0f, py = (y - 19.5f) / 20.0f;
            if (px * px + py * py >= 1.0f) continue;
            for (bool back : {false, true}) {
                const Vec3 p = onSphere(px, py, back);
                const float lnMu = std::log(std::fabs(p.z) + 0.01f);
                float h = 0.25f;
                const float sum = addCraters(*planet, p, lnMu, h);
                ASSERT_EQ(sum, plain(p, lnMu)) << x << "," << y;
                EXPECT_EQ(h, 0.25f + sum);
                stamped += sum != 0.0f;
            }
        }
    EXPECT_GT(stamped, 500);
}

TEST_F(Reliefs, ACraterSetGivesTheFullSumForEveryPointOfItsBox) {
    params.craterCount = 100;
    params.craterSize = 60;
    setupCraters(*planet, params);
    planet->craterLevelBias = std::log(2.0f * 900.0f) - 5.950642552587727f;
    const int32_t stamped = planet->craterCount - 1;
    uint32_t state = 12345u;
    auto uniform = [&state] {
        state = state * 1664525u + 1013904223u;
        return static_cast<float>(state >> 8) / 16777216.0f;
    };
    const float margin = 0.004f;
    int32_t smallest = stamped, hits = 0;
    for (int b = 0; b < 300; ++b) {
        // A patch of the sphere (a row of pixels when thin), its box, and
        // points within half the margin of the patch on every axis.
        const Vec3 centre = normalize({uniform() - 0.5f, uniform() - 0.5f, uniform() - 0.5f});
        const float width = b % 3 == 0 ? 0.6f : 0.15f, height = b % 2 ? 0.004f : 0.2f;
        Vec3 points[64];
        Vec3 lo{2.0f, 2.0f, 2.0f}, hi{-2.0f, -2.0f, -2.0f};
        for (Vec3& p : points) {
            p = normalize({centre.x + width * (uniform() - 0.5f), centre.y + height * (uniform() - 0.5f),
                           centre.z + width * (uniform() - 0.5f)});
            lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
            hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
        }
        CraterSet set;
        selectCraters(*planet, lo, hi, margin, set);
        smallest = std::min(smallest, set.count);
        for (int k = 1; k < set.count; ++k) ASSERT_LT(set.index[k - 1], set.index[k]);
        for (const Vec3& q : points) {
            const Vec3 p = normalize({q.x + 0.004f * (uniform() - 0.5f), q.y + 0.004f * (uniform() - 0.5f),
                                      q.z + 0.004f * (uniform() - 0.5f)});
            const float lnMu = std::log(0.2f + uniform());
            float h0 = 0.5f, h1 = 0.5f;
            const float all = addCraters(*planet, p, lnMu, h0);
            const float some = addCraters(*planet, set, p, lnMu, h1);
            ASSERT_EQ(std::memcmp(&all, &some, sizeof all), 0) << b << ": " << all << " vs " << some;
            ASSERT_EQ(h0, h1);
            hits += all != 0.0f;
        }
    }
    EXPECT_GT(hits, 2000);
    // Small patches leave most craters out; the whole sphere keeps every one.
    EXPECT_LT(smallest, stamped / 4);
    CraterSet everything;
    selectCraters(*planet, {-1.0f, -1.0f, -1.0f}, {1.0f, 1.0f, 1.0f}, 0.0f, everything);
    EXPECT_EQ(everything.count, stamped);
}

TEST_F(Stamping, ACraterSetKeepsCratersWithinTheMarginOfItsBox) {
    // Textures flat at 200: a crater adds relief right up to its footprint's edge.
    const int values[4] = {200, 200, 200, 200};
    uniformTextures(values);
    ParamRecord params = defaultRecord();
    setupCraters(*planet, params);
    const float margin = 0.004f;
    for (int32_t i = 0; i < 10; ++i) {
        // A box holding one point just outside the footprint, and a point
        // inside it within the margin of the box.
        const CraterRecord& c = planet->craters[i];
        const Vec3 centre = cross(c.axisU, c.axisV);
        auto at = [&](float a) { return c.axisU * a + centre * std::sqrt(1.0f - a * a); };
        const Vec3 outside = at(c.radius + 0.001f), inside = at(c.radius - 0.001f);
        CraterSet set;
        selectCraters(*planet, outside, outside, margin, set);
        float h = 0.0f;
        const float all = addCraters(*planet, inside, 0.0f, h);
        EXPECT_EQ(addCraters(*planet, set, inside, 0.0f, h), all) << i;
        // Without the margin the crater is left out, and its relief lost.
        selectCraters(*planet, outside, outside, 0.0f, set);
        EXPECT_NE(addCraters(*planet, set, inside, 0.0f, h), all) << i;
    }
}

TEST_F(Stamping, MissingTexturesAddNoRelief) {
    oneCraterAtThePole(0.3f);
    float h = 1.0f;
    EXPECT_EQ(addCraters(*planet, onSphere(0.1f, 0.1f), 0.0f, h), 0.0f);
    EXPECT_EQ(h, 1.0f);
    planet->realLuna = true;
    EXPECT_EQ(sampleTerrain(*planet, onSphere(0.1f, 0.1f), 3.0f, 0.0f, SampleView{}).terrain, 0.0f);
}

}  // namespace
}  // namespace tv
