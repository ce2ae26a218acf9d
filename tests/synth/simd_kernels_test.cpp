// The batched noise of every instruction set this processor runs gives the
// one-point results bit for bit, whatever the batch and lane count.
#include <bit>
#include <cmath>
#include <cstring>

#include "base/det_math.h"
#include "synth/cloud_field.h"
#include "synth/simd.h"
#include "synth_fixture.h"

namespace tv::test {
namespace {

bool same(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// 70 points (not a multiple of any lane count): runs of neighbours, as a row
// of pixels gives, and points far apart.
std::vector<Vec3> testPoints() {
    std::vector<Vec3> p;
    for (int i = 0; i < 70; ++i) {
        const float t = i < 40 ? 0.3f + 0.0007f * float(i) : 1.7f * float(i);
        p.push_back(normalize({std::sin(1.3f * t), std::cos(0.7f * t + 0.2f), 0.4f * std::sin(2.9f * t) + 0.1f}));
    }
    return p;
}

class SimdKernels : public ::testing::Test {
protected:
    void TearDown() override { setSimdPath(-1); }
};

TEST_F(SimdKernels, EveryPathGivesTheOnePointResultsBitForBit) {
    auto planet = planetWithSeed(77);
    planet->roughness = 0.73f;
    const std::vector<Vec3> points = testPoints();
    const int32_t n = int32_t(points.size());
    int32_t paths = 0;
    for (int32_t path = 0; path < kSimdPathCount; ++path) {
        if (!simdPathSupported(path)) continue;
        ++paths;
        const NoiseKernels& k = noiseKernelsOf(path);
        SCOPED_TRACE(simdPathName(path));

        // Fractal sums: octave counts below 1, whole, fractional, past the batch.
        std::vector<float> octaves(points.size());
        for (int32_t i = 0; i < n; ++i) octaves[size_t(i)] = (i % 7 == 3) ? 50.5f : 0.4f + 0.37f * float(i % 29);
        std::vector<Vec3> moved = points;
        std::vector<FractalValue> sums(points.size());
        k.fractalSums(*planet, moved.data(), octaves.data(), n, 1.584786f, 0.73f, sums.data());
        for (int32_t i = 0; i < n; ++i) {
            Vec3 q = points[size_t(i)];
            const FractalResult r = fractalSum(*planet, q, 1.584786f, octaves[size_t(i)], 0.73f);
            ASSERT_TRUE(same(sums[size_t(i)].sum, r.sum) && same(sums[size_t(i)].firstOctave, r.firstOctave) &&
                        same(sums[size_t(i)].alternating, r.alternating))
                << i;
            ASSERT_TRUE(same(moved[size_t(i)].x, q.x) && same(moved[size_t(i)].z, q.z)) << i;
        }

        // The land colour's two noise values.
        std::vector<float> x(points.size()), y(points.size()), z(points.size()), detail(points.size()),
            n0(points.size()), n1(points.size());
        const float f = 1.3f, zGain = 1.333333f * f;
        for (int32_t i = 0; i < n; ++i) {
            x[size_t(i)] = points[size_t(i)].x * f;
            y[size_t(i)] = points[size_t(i)].y * f;
            z[size_t(i)] = points[size_t(i)].z * f;
            detail[size_t(i)] = 0.01f * float(i % 11);
        }
        k.landNoise(*planet, x.data(), y.data(), z.data(), detail.data(), n, f, zGain, n0.data(), n1.data());
        for (int32_t i = 0; i < n; ++i) {
            Vec3 q{x[size_t(i)], y[size_t(i)], z[size_t(i)]};
            q.y += f * noise3(*planet, q);
            q.z += zGain * detail[size_t(i)];
            ASSERT_TRUE(same(n0[size_t(i)], noise3(*planet, q))) << i;
            ASSERT_TRUE(same(n1[size_t(i)], noise3(*planet, q * 4.0f))) << i;
        }

        // Cloud densities through the forced path, against the serial form.
        ParamRecord params = defaultRecord();
        params.stormCount = 60;
        params.stormSize = 80;
        setupStorms(*planet, params);
        SampleView view;
        view.coriolisScale = 4.0f;
        ASSERT_TRUE(setSimdPath(path));
        for (int32_t detailOctaves : {0, 3, 9}) {
            planet->warpOctaves = 5;
            planet->detailOctaves = detailOctaves;
            planet->detailScale = std::pow(2.0987f, 5.0f);
            std::vector<float> sinLat(points.size()), out(points.size());
            std::vector<Rotation> turns(points.size());
            for (int32_t i = 0; i < n; ++i) {
                sinLat[size_t(i)] = dot(planet->axis, points[size_t(i)]);
                turns[size_t(i)] = coriolisTurn(*planet, sinLat[size_t(i)], view);
            }
            cloudDensities(*planet, points.data(), sinLat.data(), turns.data(), n, view, out.data());
            for (int32_t i = 0; i < n; ++i)
                ASSERT_TRUE(same(out[size_t(i)], syntheticDensitySerial(*planet, points[size_t(i)], sinLat[size_t(i)],
                                                                        turns[size_t(i)], view)))
                    << detailOctaves << " " << i;
        }
    }
    EXPECT_GE(paths, 1);

    // Logarithms: every float exponent, mantissas either side of sqrt(2),
    // subnormals, 0, negatives, infinity and NaN (which take the one-point form).
    std::vector<float> x;
    for (uint32_t bits = 1; bits < 0x7F800000u; bits += 0x00012345u) x.push_back(std::bit_cast<float>(bits));
    for (float v : {1.0f, 1.4142135f, 1.4142137f, 0.70710677f, 0.0f, -1.0f, INFINITY, NAN, 1e-45f, 3.4e38f})
        x.push_back(v);
    std::vector<float> logs(x.size());
    for (int32_t path = 0; path < kSimdPathCount; ++path) {
        if (!simdPathSupported(path)) continue;
        noiseKernelsOf(path).logs(x.data(), logs.data(), int32_t(x.size()));
        for (size_t i = 0; i < x.size(); ++i)
            ASSERT_TRUE(same(logs[i], dmath::log(x[i])) || (logs[i] != logs[i] && x[i] != x[i]))
                << simdPathName(path) << " " << x[i];
    }
    // Forcing a path this processor cannot run changes nothing.
    for (int32_t path = 0; path < kSimdPathCount; ++path)
        if (!simdPathSupported(path)) {
            EXPECT_FALSE(setSimdPath(path));
        }
    EXPECT_EQ(simdPathNamed("avx2"), kSimdAvx2);
    EXPECT_EQ(simdPathNamed("mmx"), -1);
}

}  // namespace
}  // namespace tv::test
