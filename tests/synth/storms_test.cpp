// Rotations, storm placement and the cloud constants.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "synth/cloud_field.h"
#include "synth/noise.h"
#include "synth_fixture.h"

namespace tv {
namespace {

using test::planetWithSeed;

Vec3 stormCentre(const PlanetData& p, int i) { return {p.stormX[i], p.stormY[i], p.stormZ[i]}; }

float distance(Vec3 a, Vec3 b) {
    const Vec3 d = a - b;
    return std::sqrt(dot(d, d));
}

TEST(Rotation, AxisRotationIsRightHandedAndRotateBackUndoesIt) {
    const Rotation r = axisRotation({0.0f, 0.0f, 1.0f}, 1.5707963f);
    const Vec3 y = rotate(r, {1.0f, 0.0f, 0.0f});
    EXPECT_NEAR(y.x, 0.0f, 1e-6f);
    EXPECT_NEAR(y.y, 1.0f, 1e-6f);
    const Vec3 a = normalize({0.3f, -0.5f, 0.8f});
    const Rotation t = axisRotation(a, 0.7f);
    const Vec3 v{0.2f, 0.9f, -0.4f};
    const Vec3 back = rotateBack(t, rotate(t, v));
    EXPECT_NEAR(back.x, v.x, 1e-6f);
    EXPECT_NEAR(back.y, v.y, 1e-6f);
    EXPECT_NEAR(back.z, v.z, 1e-6f);
    // A turn by 0 is exactly the identity.
    const Vec3 same = rotateBack(axisRotation(a, 0.0f), v);
    EXPECT_EQ(same.x, v.x);
    EXPECT_EQ(same.y, v.y);
    EXPECT_EQ(same.z, v.z);
}

TEST(Rotation, LatitudeRotationCarriesNorthOntoTheAxis) {
    const Vec3 axes[] = {{0.0f, 1.0f, 0.0f}, {0.0f, -1.0f, 0.0f}, normalize({0.4f, 0.8f, 0.2f}),
                         normalize({-0.7f, 0.1f, 0.6f}), {1.0f, 0.0f, 0.0f}, normalize({0.2f, -0.9f, -0.3f})};
    for (const Vec3& axis : axes) {
        const Rotation r = latitudeRotation(axis);
        const Vec3 n = rotate(r, {0.0f, 1.0f, 0.0f});
        EXPECT_NEAR(n.x, axis.x, 1e-5f);
        EXPECT_NEAR(n.y, axis.y, 1e-5f);
        EXPECT_NEAR(n.z, axis.z, 1e-5f);
        // Orthonormal: lengths and angles are kept.
        const Vec3 a = rotate(r, {1.0f, 0.0f, 0.0f}), b = rotate(r, {0.0f, 0.0f, 1.0f});
        EXPECT_NEAR(dot(a, a), 1.0f, 1e-5f);
        EXPECT_NEAR(dot(a, b), 0.0f, 1e-5f);
        EXPECT_NEAR(dot(a, n), 0.0f, 1e-5f);
    }
}

struct StormRun {
    std::unique_ptr<PlanetData> planet;
    ParamRecord params;
};

StormRun placeStorms(int32_t seed, int32_t mode, int32_t count, int32_t size, float axisX = 0.0f,
                     float axisY = -1.0f, float axisZ = 0.0f) {
    StormRun run{planetWithSeed(seed), defaultRecord()};
    run.params.outputMode = mode;
    run.params.stormCount = count;
    run.params.stormSize = size;
    run.params.axisX = axisX;
    run.params.axisY = axisY;
    run.params.axisZ = axisZ;
    setupStorms(*run.planet, run.params);
    return run;
}

// The stored centres turned back into map space (+y north).
Vec3 mapCentre(const StormRun& run, int i) {
    return rotateBack(latitudeRotation(run.planet->axis), stormCentre(*run.planet, i));
}

TEST(Storms, CountZeroStillPlacesOneStormPerPass) {
    for (int32_t seed : {1, 21, 300, 1999}) {
        EXPECT_EQ(placeStorms(seed, kModeNormal, 0, 30).planet->stormCount, 1) << seed;
        EXPECT_EQ(placeStorms(seed, kModeComposite, 0, 30).planet->stormCount, 1) << seed;
        EXPECT_EQ(placeStorms(seed, kModeLitMap, 0, 30).planet->stormCount, 2) << seed;
    }
}

TEST(Storms, GlobePassFillsTheNearHemisphereAndMapsGetBoth) {
    for (int32_t seed : {21, 555}) {
        // A tilted axis: the centres are turned, but in map space pass 0 is z >= 0.
        const StormRun globe = placeStorms(seed, kModeNormal, 12, 20, 0.3f, -0.9f, 0.3f);
        ASSERT_GT(globe.planet->stormCount, 5);
        for (int i = 0; i < globe.planet->stormCount; ++i) {
            const Vec3 c = mapCentre(globe, i);
            EXPECT_GE(c.z, -1e-5f) << i;
            EXPECT_LE(std::fabs(c.y), 0.85f + 1e-5f) << i;
            EXPECT_NEAR(std::sqrt(dot(c, c)), 1.0f, 1e-5f);
        }
        const StormRun map = placeStorms(seed, kModeMural, 12, 20);
        int south = 0;
        for (int i = 0; i < map.planet->stormCount; ++i) south += mapCentre(map, i).z < 0.0f;
        EXPECT_GT(south, 3);
        EXPECT_GT(map.planet->stormCount, globe.planet->stormCount);
    }
}

TEST(Storms, CentresKeepTheirSpacingAndSpinFollowsTheHemisphere) {
    const StormRun run = placeStorms(42, kModeLitMap, 30, 40);
    const PlanetData& p = *run.planet;
    ASSERT_GT(p.stormCount, 10);
    for (int i = 0; i < p.stormCount; ++i) {
        EXPECT_NEAR(p.stormRadiusSq[i], p.stormRadius[i] * p.stormRadius[i], 1e-7f);
        // r = 0.006 x size x (2 - u^2), u in 0..1.
        EXPECT_GE(p.stormRadius[i], 0.006f * 40 - 1e-6f);
        EXPECT_LE(p.stormRadius[i], 0.012f * 40 + 1e-6f);
        EXPECT_FLOAT_EQ(std::fabs(p.stormSpin[i]), 0.1f * run.params.stormSwirl);
        EXPECT_EQ(p.stormSpin[i] < 0.0f, mapCentre(run, i).y < 0.0f) << i;
        for (int j = 0; j < i; ++j)
            EXPECT_GE(distance(stormCentre(p, i), stormCentre(p, j)) * (1 + 1e-5f),
                      0.552f * (p.stormRadius[i] + p.stormRadius[j]))
                << i << " " << j;
    }
}

TEST(Storms, FullFlatMapStopsAtTheEndOfTheTables) {
    // Two passes of 101 small storms would need 202 entries. (A pass can also
    // end early: the draws repeat with the 2048-byte table, and repeated
    // candidates are rejected.)
    int full = 0;
    for (int32_t seed = 0; seed < 12; ++seed) {
        const StormRun run = placeStorms(seed, kModeMapColor, 100, 1);
        const PlanetData& p = *run.planet;
        ASSERT_LE(p.stormCount, kMaxStorms);
        full += p.stormCount == kMaxStorms;
        // Nothing spilled into the neighbouring tables: every entry is whole.
        for (int i = 0; i < p.stormCount; ++i) {
            EXPECT_NEAR(std::sqrt(dot(stormCentre(p, i), stormCentre(p, i))), 1.0f, 1e-5f) << i;
            EXPECT_NEAR(p.stormRadiusSq[i], p.stormRadius[i] * p.stormRadius[i], 1e-9f) << i;
            EXPECT_FLOAT_EQ(std::fabs(p.stormSpin[i]), 5.0f) << i;
        }
        // The second pass had begun: both hemispheres are present.
        int south = 0;
        for (int i = 0; i < p.stormCount; ++i) south += mapCentre(run, i).z < 0.0f;
        EXPECT_GT(south, 50);
    }
    EXPECT_GE(full, 10);
    // On the globe one pass of 101 fits.
    EXPECT_EQ(placeStorms(21, kModeNormal, 100, 1).planet->stormCount, 101);
}

TEST(Storms, CrowdedPlanetEndsAPassAfterFortyOneRejections) {
    // Storms of size 100 are as large as a hemisphere allows for few of them.
    const StormRun run = placeStorms(21, kModeNormal, 100, 100);
    EXPECT_GE(run.planet->stormCount, 1);
    EXPECT_LT(run.planet->stormCount, 12);
}

TEST(CloudConstants, OctaveBudgetsFollowViscosityAndPlanetSize) {
    auto planet = planetWithSeed(21);
    ParamRecord params = defaultRecord();
    // Planet size 65 on 1024 x 768: 4225 / 10 = 422 -> R0 = 0.422 x 768 = 324.1,
    // Rz = 323.5, log2 = 8.34.
    params.planetSize = 65;
    params.cloudViscosity = 57;  // 7 x 0.43 = 3.01
    setupCloudConstants(*planet, params, 1024, 768, 1);
    EXPECT_EQ(planet->warpOctaves, 3);
    EXPECT_EQ(planet->detailOctaves, 5);
    EXPECT_NEAR(planet->detailScale, 2.0987f * 2.0987f * 2.0987f, 1e-4f);

    params.cloudViscosity = 100;
    setupCloudConstants(*planet, params, 1024, 768, 1);
    EXPECT_EQ(planet->warpOctaves, 0);
    EXPECT_EQ(planet->detailOctaves, 8);
    EXPECT_EQ(planet->detailScale, 1.0f);

    params.cloudViscosity = 0;
    setupCloudConstants(*planet, params, 1024, 768, 1);
    EXPECT_EQ(planet->warpOctaves, 7);
    EXPECT_EQ(planet->detailOctaves, 1);

    // A preview at a quarter: 324 / 4 = 81 -> 80.5, log2 = 6.33: N1 capped at 6.
    setupCloudConstants(*planet, params, 1024, 768, 4);
    EXPECT_EQ(planet->warpOctaves, 6);
    EXPECT_EQ(planet->detailOctaves, 0);

    // Smaller than a preview pixel: Rz < 0 and the fixed level 1/ln 2.
    params.planetSize = 10;  // 100 / 10 = 10 -> 7.68 -> 7
    setupCloudConstants(*planet, params, 1024, 768, 8);
    EXPECT_EQ(planet->warpOctaves, 1);
    EXPECT_EQ(planet->detailOctaves, 0);
    // One pixel: Rz = 0.5, log2 = -1.
    params.planetSize = 1;
    setupCloudConstants(*planet, params, 1024, 768, 1);
    EXPECT_EQ(planet->warpOctaves, -1);
    EXPECT_EQ(planet->detailOctaves, 0);
    EXPECT_EQ(planet->detailScale, 1.0f);
}

TEST(CloudConstants, SettingsOutOfRangeKeepTheBudgetsBoundedAndTheirSigns) {
    auto planet = planetWithSeed(21);
    ParamRecord params = defaultRecord();
    // Viscosity far above 100: N1 far below 0 and N2 = lambda - N1 would be
    // about 150 million detail octaves per density read.
    params.cloudViscosity = INT32_MAX;
    setupCloudConstants(*planet, params, 1024, 768, 1);
    EXPECT_LT(planet->warpOctaves, 0);
    EXPECT_EQ(planet->detailOctaves, 19);
    EXPECT_EQ(planet->detailScale, 1.0f);
    // Planet size 50000 (its square is past 32 bits): R0 = 250000 x 16,
    // log2 = 21.9; N1 = 3, N2 up to 19 counting the warped octaves.
    params.cloudViscosity = 57;
    params.planetSize = 50000;
    setupCloudConstants(*planet, params, 16, 16, 1);
    EXPECT_EQ(planet->warpOctaves, 3);
    EXPECT_EQ(planet->detailOctaves, 16);
    // Coverage at the bottom of the integers: clear sky, not the opposite.
    params.cloudCoverage = INT32_MIN;
    setupCloudConstants(*planet, params, 16, 16, 1);
    EXPECT_LT(planet->cloudBias, -1e6f);
}

TEST(CloudConstants, EdgesShadowsAndHeight) {
    // (Coverage's biases are seen in the densities: tests/synth/clouds_test.cpp.)
    auto planet = planetWithSeed(21);
    ParamRecord params = defaultRecord();
    params.cloudEdges = 40;
    params.cloudShadows = 80;
    params.cloudHeight = 50;
    setupCloudConstants(*planet, params, 512, 512, 1);
    EXPECT_FLOAT_EQ(planet->cloudGain, 2.0f);
    EXPECT_FLOAT_EQ(planet->shadowStrength, 0.8f);
    EXPECT_FLOAT_EQ(planet->cloudShellScale, 0.975f);
}

}  // namespace
}  // namespace tv
