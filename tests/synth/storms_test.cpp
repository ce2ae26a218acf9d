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

struct StormRun {
    std::unique_ptr<PlanetData> planet;
    ParamRecord params;
    Vec3 mapCentre(int i) const {  // turned back into map space (+y north)
        return rotateBack(latitudeRotation(planet->axis), {planet->stormX[i], planet->stormY[i], planet->stormZ[i]});
    }
};

StormRun placeStorms(int32_t seed, int32_t mode, int32_t count, int32_t size, Vec3 axis = {0.0f, -1.0f, 0.0f}) {
    StormRun run{planetWithSeed(seed), defaultRecord()};
    run.params.outputMode = mode;
    run.params.stormCount = count;
    run.params.stormSize = size;
    run.params.axisX = axis.x;
    run.params.axisY = axis.y;
    run.params.axisZ = axis.z;
    setupStorms(*run.planet, run.params);
    return run;
}

TEST(Storms, AFullFlatMapStopsAtTheEndOfTheTables) {
    // Two passes of 101 small storms would need 202 entries.
    int full = 0;
    for (int32_t seed = 0; seed < 12; ++seed) {
        const StormRun run = placeStorms(seed, kModeMapColor, 100, 1);
        const PlanetData& p = *run.planet;
        ASSERT_LE(p.stormCount, kMaxStorms);
        full += p.stormCount == kMaxStorms;
        for (int i = 0; i < p.stormCount; ++i) {  // nothing spilled into the neighbouring tables
            const Vec3 c{p.stormX[i], p.stormY[i], p.stormZ[i]};
            EXPECT_NEAR(dot(c, c), 1.0f, 1e-5f) << i;
            EXPECT_FLOAT_EQ(std::fabs(p.stormSpin[i]), 5.0f) << i;
        }
    }
    EXPECT_GE(full, 10);
    EXPECT_EQ(placeStorms(21, kModeNormal, 100, 1).planet->stormCount, 101);  // one pass fits
}

TEST(CloudConstants, OctaveBudgetsFollowViscosityAndPlanetSizeAndStayBounded) {
    auto planet = planetWithSeed(21);
    ParamRecord params = defaultRecord();
    const struct {
        int32_t size, viscosity, width, height, sampleFactor, warp, detail;
    } cases[] = {
        {65, 57, 1024, 768, 1, 3, 5},   // R0 = 0.422 x 768 = 324.1, log2 8.34; 7 x 0.43 = 3.01
        {65, 100, 1024, 768, 1, 0, 8},
        {65, 0, 1024, 768, 1, 7, 1},
        {65, 0, 1024, 768, 4, 6, 0},    // a preview at a quarter: log2 6.33 caps N1
        {10, 0, 1024, 768, 8, 1, 0},    // smaller than a preview pixel: the fixed level
        {1, 0, 1024, 768, 1, -1, 0},    // one pixel: log2 0.5 = -1
        {65, INT32_MAX, 1024, 768, 1, INT32_MIN, 19},  // viscosity far above 100: the cap
        {50000, 57, 16, 16, 1, 3, 16},  // a size whose square passes 32 bits
    };
    for (const auto& k : cases) {
        params.planetSize = k.size;
        params.cloudViscosity = k.viscosity;
        setupCloudConstants(*planet, params, k.width, k.height, k.sampleFactor);
        if (k.warp == INT32_MIN)
            EXPECT_LT(planet->warpOctaves, 0);
        else
            EXPECT_EQ(planet->warpOctaves, k.warp) << k.size << " " << k.viscosity;
        EXPECT_EQ(planet->detailOctaves, k.detail) << k.size << " " << k.viscosity;
        EXPECT_FLOAT_EQ(planet->detailScale, std::pow(2.0987f, float(std::max(planet->warpOctaves, 0))));
    }
    params.cloudCoverage = INT32_MIN;  // clear sky, not the opposite
    setupCloudConstants(*planet, params, 512, 512, 1);
    EXPECT_LT(planet->cloudBias, -1e6f);
}

}  // namespace
}  // namespace tv
