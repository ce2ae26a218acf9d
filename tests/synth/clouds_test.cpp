// The cloud density field: latitude profile, storms, Coriolis shear, octave
// budgets, and the satellite-map density.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "synth/cloud_field.h"
#include "synth_fixture.h"

namespace tv {
namespace {

using test::fillPyramid;
using test::planetWithSeed;

class Clouds : public ::testing::Test {
protected:
    void SetUp() override {
        planet = planetWithSeed(21);
        params = defaultRecord();
        params.cloudCoriolis = 0;
        setupStorms(*planet, params);
        setupCloudConstants(*planet, params, 1024, 1024, 1);
        planet->stormCount = 0;
        view.coriolisScale = 0.04f * static_cast<float>(params.cloudCoriolis);
    }
    float density(Vec3 p, float sinLat) const { return cloudDensity(*planet, p, sinLat, view); }

    std::unique_ptr<PlanetData> planet;
    ParamRecord params;
    SampleView view;
    const Vec3 points[4] = {normalize({0.3f, 0.5f, 0.8f}), normalize({-0.7f, 0.1f, 0.4f}),
                            normalize({0.05f, -0.9f, 0.3f}), normalize({0.6f, 0.6f, -0.5f})};
};

TEST_F(Clouds, LatitudeProfileThickensTowardThePoles) {
    for (const Vec3& p : points) {
        const float atEdge = density(p, 0.7f);
        EXPECT_NEAR(density(p, 0.9f) - atEdge, 1.5f * 0.2f, 1e-5f);
        EXPECT_NEAR(density(p, -0.9f) - atEdge, 1.5f * 0.2f, 1e-5f);
        EXPECT_NEAR(density(p, 0.2f) - atEdge, -0.3f * 0.5f, 1e-5f);
        EXPECT_NEAR(density(p, 0.0f) - atEdge, -0.3f * 0.7f, 1e-5f);
    }
    // Coverage moves every density by 0.01 per step.
    params.cloudCoverage = 80;
    const float before = density(points[0], 0.7f);
    setupCloudConstants(*planet, params, 1024, 1024, 1);
    EXPECT_NEAR(density(points[0], 0.7f) - before, 0.3f, 1e-5f);
}

TEST_F(Clouds, CoriolisShearsByLatitudeAndVanishesAtThePoles) {
    const Vec3 p = points[1];
    const float profile7 = density(p, 0.7f);
    // Without Coriolis the noise does not depend on sinLat (checked above); with
    // it, the equator turns the most and the poles not at all.
    view.coriolisScale = 0.04f * 100;
    const float shearedEquator = density(p, 0.0f) + 0.3f * 0.7f;
    const float shearedEdge = density(p, 0.7f);
    EXPECT_GT(std::fabs(shearedEquator - profile7), 1e-3f);
    EXPECT_GT(std::fabs(shearedEdge - shearedEquator), 1e-3f);
    const float pole = density(p, 1.0f);
    view.coriolisScale = 0.0f;
    EXPECT_EQ(density(p, 1.0f), pole);
}

TEST_F(Clouds, APixelsTurnMadeOnceGivesTheSameDensities) {
    setupStorms(*planet, params);  // the default storms back
    view.coriolisScale = 0.04f * 100;
    for (float sinLat : {-0.8f, 0.0f, 0.35f, 1.0f}) {
        const Rotation turn = coriolisTurn(*planet, sinLat, view);
        for (const Vec3& p : points) EXPECT_EQ(cloudDensity(*planet, p, sinLat, turn, view), density(p, sinLat));
    }
}

TEST_F(Clouds, FourPointsAtATimeGiveTheSerialDensityBitForBit) {
    params.stormCount = 100;
    params.stormSize = 100;
    params.stormSwirl = 100;
    setupStorms(*planet, params);
    view.coriolisScale = 0.04f * 100;
    auto same = [](float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; };
    // Every octave budget: no warped or detail octave beyond the first, a
    // few, many, and past the batched limit (the serial form then); points
    // far apart, four at a time.
    for (int32_t warp : {-1, 0, 1, 2, 3, 4, 5, 7, 9}) {
        for (int32_t detail : {-2, 0, 1, 2, 3, 4, 5, 6, 8, 12, 40}) {
            planet->warpOctaves = warp;
            planet->detailOctaves = detail;
            planet->detailScale = std::pow(2.0987f, static_cast<float>(std::max(warp, 0)));
            Vec3 p[4];
            float sinLat[4], batched[4];
            Rotation turn[4];
            for (int i = 0; i < 40; ++i) {
                const int32_t k = i % 4;
                p[k] = normalize({std::sin(1.3f * i), std::cos(0.7f * i + 0.2f), 0.4f * std::sin(2.9f * i) + 0.1f});
                sinLat[k] = dot(planet->axis, p[k]);
                turn[k] = coriolisTurn(*planet, sinLat[k], view);
                if (k != 3) continue;
                cloudDensities(*planet, p, sinLat, turn, 4, view, batched);
                for (int32_t j = 0; j < 4; ++j) {
                    const float serial = syntheticDensitySerial(*planet, p[j], sinLat[j], turn[j], view);
                    ASSERT_TRUE(same(batched[j], serial))
                        << warp << " " << detail << " " << i << ": " << batched[j] << " vs " << serial;
                }
            }
        }
    }
}

TEST_F(Clouds, DensitiesOfARowEqualTheDensitiesOneByOne) {
    params.stormCount = 60;
    params.stormSize = 100;
    params.stormSwirl = 100;
    setupStorms(*planet, params);
    view.coriolisScale = 0.04f * 100;
    auto same = [](float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; };
    // A row of neighbouring points (and a few far apart), any count, with
    // octave budgets from none beyond the first to many.
    Vec3 p[9];
    float sinLat[9];
    Rotation turn[9];
    float together[9];
    for (int32_t warp : {0, 3, 6}) {
        for (int32_t detail : {0, 1, 6, 9}) {
            planet->warpOctaves = warp;
            planet->detailOctaves = detail;
            planet->detailScale = std::pow(2.0987f, static_cast<float>(warp));
            for (int i = 0; i < 60; ++i) {
                for (int k = 0; k < 9; ++k) {
                    const float spread = i % 4 == 0 ? 0.3f : 0.0012f;
                    p[k] = normalize({std::sin(0.9f * i) + spread * k, std::cos(0.4f * i), 0.5f});
                    sinLat[k] = dot(planet->axis, p[k]);
                    turn[k] = coriolisTurn(*planet, sinLat[k], view);
                }
                const int32_t count = 1 + i % 9;
                cloudDensities(*planet, p, sinLat, turn, count, view, together);
                for (int k = 0; k < count; ++k)
                    ASSERT_TRUE(same(together[k], cloudDensity(*planet, p[k], sinLat[k], turn[k], view)))
                        << warp << " " << detail << " " << i << " point " << k;
            }
        }
    }
}

TEST_F(Clouds, StormsAddDensityAndSwirlOnlyWithSwirl) {
    const Vec3 c = points[0];
    const Vec3 p = normalize(c + Vec3{0.05f, -0.03f, 0.02f});
    const float plain = density(p, 0.5f);
    planet->stormX[0] = c.x;
    planet->stormY[0] = c.y;
    planet->stormZ[0] = c.z;
    planet->stormRadius[0] = 0.3f;
    planet->stormRadiusSq[0] = 0.09f;
    planet->stormSpin[0] = 0.0f;
    planet->stormCount = 1;
    const Vec3 d = c - p;
    const float a = 1.0f - std::sqrt(dot(d, d) / 0.09f);
    const float w = a * a * a;
    EXPECT_NEAR(density(p, 0.5f) - plain, 0.3f * w, 1e-6f);
    // With swirl the point is turned: the noise changes too.
    planet->stormSpin[0] = 5.0f;
    EXPECT_GT(std::fabs(density(p, 0.5f) - plain - 0.3f * w), 1e-3f);
    // Outside the radius the storm does nothing.
    const Vec3 far = normalize(c + Vec3{0.4f, 0.0f, 0.0f});
    const float withStorm = density(far, 0.5f);
    planet->stormCount = 0;
    EXPECT_EQ(density(far, 0.5f), withStorm);
}

TEST_F(Clouds, OctaveBudgetsCountAsDescribed) {
    const Vec3 p = points[2];
    // Warped octaves: max(1, N1 - 1), so N1 = 0, 1, 2 read the same.
    planet->detailOctaves = 0;
    planet->detailScale = 1.0f;
    planet->warpOctaves = 0;
    const float one = density(p, 0.7f);
    planet->warpOctaves = 1;
    EXPECT_EQ(density(p, 0.7f), one);
    planet->warpOctaves = 2;
    EXPECT_EQ(density(p, 0.7f), one);
    planet->warpOctaves = 3;
    EXPECT_NE(density(p, 0.7f), one);
    // Detail octaves: N2 - 1 of them, the first at (3p + o) x detailScale with
    // weight 0.6 when N1 <= 2.
    planet->warpOctaves = 0;
    planet->detailOctaves = 1;
    EXPECT_EQ(density(p, 0.7f), one);
    planet->detailOctaves = 2;
    const Vec3 t{3.0f * p.x + 954.77f, 3.0f * p.y + 784.65323f, 3.0f * p.z + 6521.31354f};
    EXPECT_NEAR(density(p, 0.7f) - one, 0.6f * noise3(*planet, t), 1e-6f);
}

TEST_F(Clouds, SatelliteMapDensityReplacesTheSyntheticField) {
    // Left half clear, right half 200.
    ImagePyramid map;
    fillPyramid(map, 64, 64, [](int x, int) { return x < 32 ? 0 : 200; });
    planet->cloudMap = &map;
    planet->cloudMapOffsetU = 0.0f;
    planet->cloudMapScaleU = 1.0f;
    planet->cloudMapOffsetV = 0.0f;
    planet->cloudMapScaleV = 1.0f;
    view.useCloudMap = true;
    const Vec3 right = normalize({0.8f, 0.1f, 0.3f}), left = normalize({-0.8f, 0.1f, 0.3f});
    EXPECT_NEAR(density(right, 0.1f), 1.0f, 1e-5f);
    EXPECT_NEAR(density(left, 0.1f), 0.0f, 1e-5f);
    // No profile, storms or Coriolis.
    view.coriolisScale = 4.0f;
    EXPECT_NEAR(density(right, 0.95f), 1.0f, 1e-5f);

    // Coverage only thins a map: 80 reads like 50, 20 reads 0.3 less.
    params.cloudCoverage = 80;
    setupCloudConstants(*planet, params, 1024, 1024, 1);
    const float at80 = density(right, 0.1f);
    params.cloudCoverage = 50;
    setupCloudConstants(*planet, params, 1024, 1024, 1);
    EXPECT_EQ(density(right, 0.1f), at80);
    params.cloudCoverage = 20;
    setupCloudConstants(*planet, params, 1024, 1024, 1);
    EXPECT_NEAR(density(right, 0.1f), at80 - 0.3f, 1e-5f);
    EXPECT_NEAR(density(left, 0.1f), -0.3f, 1e-5f);

    // The disc placement: the disc in the right part of the image.
    params.cloudCoverage = 50;
    setupCloudConstants(*planet, params, 1024, 1024, 1);
    planet->cloudMapOffsetU = 0.6f;
    planet->cloudMapScaleU = 0.4f;
    EXPECT_NEAR(density(left, 0.1f), 1.0f, 1e-5f);
    // Read for a row at once: the same map values.
    const Vec3 row[2] = {left, right};
    const float sinLat[2] = {0.1f, 0.1f};
    const Rotation turns[2] = {coriolisTurn(*planet, 0.1f, view), coriolisTurn(*planet, 0.1f, view)};
    float together[2];
    cloudDensities(*planet, row, sinLat, turns, 2, view, together);
    EXPECT_EQ(together[0], density(left, 0.1f));
    EXPECT_EQ(together[1], density(right, 0.1f));

    // Without the map flag (or the map) the synthetic field is used.
    view.useCloudMap = false;
    const float synthetic = density(left, 0.1f);
    EXPECT_GT(std::fabs(synthetic - 1.0f), 1e-3f);
    view.useCloudMap = true;
    planet->cloudMap = nullptr;
    EXPECT_EQ(density(left, 0.1f), synthetic);
    cloudDensities(*planet, row, sinLat, turns, 2, view, together);
    EXPECT_EQ(together[0], synthetic);
}

}  // namespace
}  // namespace tv
