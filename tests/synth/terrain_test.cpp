// Terrain constants, the terrain sampler's batched form, the relief maps'
// reuse, crater placement, and the crater stamping's fast paths against the
// plain sum (the reference renders show the rules themselves).
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

}  // namespace
}  // namespace tv
