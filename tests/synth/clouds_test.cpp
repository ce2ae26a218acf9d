// The cloud density field where the reference renders cannot see it: the
// batched densities against the serial form, the cap on detail octaves, and
// the satellite map's density.
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
        setupStorms(*planet, params);
        setupCloudConstants(*planet, params, 1024, 1024, 1);
        view.coriolisScale = 0.04f * 100;
    }
    float density(Vec3 p, float sinLat) const { return cloudDensity(*planet, p, sinLat, view); }

    std::unique_ptr<PlanetData> planet;
    ParamRecord params;
    SampleView view;
};

TEST_F(Clouds, DensitiesOfARowGiveTheSerialBits) {
    params.stormCount = 100;
    params.stormSize = 100;
    params.stormSwirl = 100;
    setupStorms(*planet, params);
    // Every octave budget: none beyond the first, a few, many, and past the
    // batched limit (the serial form then); neighbouring points and points
    // far apart, any count.
    Vec3 p[9];
    float sinLat[9], together[9];
    Rotation turn[9];
    for (int32_t warp : {-1, 0, 2, 3, 6, 9}) {
        for (int32_t detail : {-2, 0, 1, 4, 9, 40}) {
            planet->warpOctaves = warp;
            planet->detailOctaves = detail;
            planet->detailScale = std::pow(2.0987f, static_cast<float>(std::max(warp, 0)));
            for (int i = 0; i < 40; ++i) {
                for (int k = 0; k < 9; ++k) {
                    const float spread = i % 4 == 0 ? 0.3f : 0.0012f;
                    p[k] = normalize({std::sin(0.9f * i) + spread * k, std::cos(0.4f * i), 0.5f});
                    sinLat[k] = dot(planet->axis, p[k]);
                    turn[k] = coriolisTurn(*planet, sinLat[k], view);
                }
                const int32_t count = 1 + i % 9;
                cloudDensities(*planet, p, sinLat, turn, count, view, together);
                for (int k = 0; k < count; ++k) {
                    const float serial = syntheticDensitySerial(*planet, p[k], sinLat[k], turn[k], view);
                    const float one = density(p[k], sinLat[k]);
                    ASSERT_TRUE(std::memcmp(&together[k], &serial, 4) == 0 && std::memcmp(&one, &serial, 4) == 0)
                        << warp << " " << detail << " " << i << " " << k;
                }
            }
        }
    }
}

TEST_F(Clouds, DetailOctavesAtWholeCoordinatesAddNothing) {
    // From a scale of 2.0987^13 on, the detail octaves' coordinates are whole
    // numbers and their noise 0: the cap on the budget changes no density.
    planet->warpOctaves = 0;
    planet->detailScale = 1.0f;
    int32_t changedBelow = 0;
    for (const Vec3& p : {normalize({0.3f, 0.5f, 0.8f}), normalize({-0.7f, 0.1f, 0.4f})}) {
        planet->detailOctaves = 19;
        const float capped = density(p, 0.3f);
        planet->detailOctaves = 14;
        EXPECT_EQ(density(p, 0.3f), capped);
        planet->detailOctaves = 13;
        changedBelow += density(p, 0.3f) != capped;
    }
    EXPECT_GT(changedBelow, 0);
}

TEST_F(Clouds, SatelliteMapDensityShowsThePictureNorthUpAndEastRight) {
    // The picture's left half (west) clear, its top rows (north) full of
    // cloud (200) in the east; the disc fills it. The globe's +x is the
    // screen's left (west), +y up.
    ImagePyramid map;
    fillPyramid(map, 64, 64, [](int x, int y) { return x >= 32 && y < 32 ? 200 : 0; });
    planet->cloudMap = &map;
    planet->cloudMapOffsetU = planet->cloudMapOffsetV = 0.0f;
    planet->cloudMapScaleU = planet->cloudMapScaleV = 1.0f;
    view.useCloudMap = true;
    const Vec3 northEast = normalize({-0.6f, 0.5f, 0.3f}), northWest = normalize({0.6f, 0.5f, 0.3f});
    const Vec3 southEast = normalize({-0.6f, -0.5f, 0.3f});
    EXPECT_NEAR(density(northEast, 0.1f), 1.0f, 1e-5f);  // 200 x 0.005: no profile, storms or Coriolis
    EXPECT_NEAR(density(northWest, 0.1f), 0.0f, 1e-5f);
    EXPECT_NEAR(density(southEast, 0.95f), 0.0f, 1e-5f);
    // Coverage only thins a map: 80 reads like 50, 20 reads 0.3 less.
    params.cloudCoverage = 80;
    setupCloudConstants(*planet, params, 1024, 1024, 1);
    EXPECT_NEAR(density(northEast, 0.1f), 1.0f, 1e-5f);
    params.cloudCoverage = 20;
    setupCloudConstants(*planet, params, 1024, 1024, 1);
    EXPECT_NEAR(density(northEast, 0.1f), 0.7f, 1e-5f);
    // Without the map flag (or the map) the synthetic field is used.
    view.useCloudMap = false;
    const float synthetic = density(northEast, 0.1f);
    view.useCloudMap = true;
    planet->cloudMap = nullptr;
    EXPECT_EQ(density(northEast, 0.1f), synthetic);
}

}  // namespace
}  // namespace tv
