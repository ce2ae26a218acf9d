// The seed table, the lattice and the noise, and the batched noise forms
// (four lattice corners or four points at once, fractal sums side by side),
// which must give the serial forms' bits.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <map>
#include <set>

#include "synth/noise.h"
#include "synth/noise_inline.h"
#include "synth_fixture.h"

namespace tv {
namespace {

using test::planetWithSeed;

bool same(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

TEST(Tables, TheSeedTableDependsOnTheSeedModulo2048Only) {
    EXPECT_EQ(baseTable[0], 1317);
    EXPECT_EQ(baseTable[2047], 1023);
    const auto a = planetWithSeed(5), b = planetWithSeed(2053), c = planetWithSeed(5 - 2048 * 3);
    const auto d = planetWithSeed(6);
    int differences = 0;
    for (int i = 0; i < kSeedTableSize; ++i) {
        ASSERT_TRUE(a->seedTable[i] == b->seedTable[i] && a->seedTable[i] == c->seedTable[i]);
        differences += a->seedTable[i] != d->seedTable[i];
    }
    EXPECT_GT(differences, 100);
}

// Points spread over the lattice's whole range: fractions, negative values,
// coordinates far out (up to 1e6) and exact lattice points.
Vec3 spreadPoint(uint32_t& state) {
    auto next = [&state] {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    };
    const float scale[4] = {1.0f, 37.0f, 4000.0f, 1.0e6f};
    Vec3 p;
    for (float* c : {&p.x, &p.y, &p.z}) {
        const uint32_t r = next();
        *c = (static_cast<float>(r >> 8) / 16777216.0f - 0.5f) * 2.0f * scale[r & 3];
        if ((r & 0xf0) == 0) *c = std::floor(*c);
    }
    return p;
}

TEST(Noise, BatchedFormsGiveTheSerialBits) {
    const auto planet = planetWithSeed(4711);
    uint32_t state = 2463534242u;
    for (int i = 0; i < 20000; ++i) {
        Vec3 p[4];
        for (Vec3& q : p) q = spreadPoint(state);
        ASSERT_TRUE(same(noise3(*planet, p[0]), noise_detail::noise3Scalar(*planet, p[0].x, p[0].y, p[0].z))) << i;
#ifdef TV_NOISE_LANES
        if (i % 3 == 0) {
            // Nearby points: all four in one lattice cell, or all but one.
            const Vec3 cell{std::floor(p[0].x), std::floor(p[0].y), std::floor(p[0].z)};
            for (int l = 0; l < 4; ++l) {
                const Vec3 r = spreadPoint(state);
                p[l] = {cell.x + (r.x - std::floor(r.x)), cell.y + (r.y - std::floor(r.y)), cell.z + (r.z - std::floor(r.z))};
            }
            if (i % 2) p[i % 4].y += 1.0f;
        }
        const noise_detail::Lanes x{p[0].x, p[1].x, p[2].x, p[3].x}, y{p[0].y, p[1].y, p[2].y, p[3].y},
            z{p[0].z, p[1].z, p[2].z, p[3].z};
        const noise_detail::Lanes n = noise_detail::noise3x4(*planet, x, y, z);
        const noise_detail::Lanes nearby = noise_detail::noise3x4<true>(*planet, x, y, z);
        for (int l = 0; l < 4; ++l) {
            const float want = noise_detail::noise3Scalar(*planet, p[l].x, p[l].y, p[l].z);
            ASSERT_TRUE(same(n[l], want) && same(nearby[l], want)) << i << " lane " << l;
        }
#endif
    }
}

TEST(Fractal, SumsSideBySideGiveTheSerialBits) {
    const auto planet = planetWithSeed(99);
    uint32_t state = 88172645u;
    // Octave counts below one, whole, fractional, the renderer's range, and
    // beyond 44 (the serial loop).
    const float counts[] = {0.25f, 1.0f, 1.5f, 2.0f, 2.0001f, 3.75f, 4.5f, 7.3f, 8.9f, 13.0f, 22.0f, 47.5f, 100.0f};
    for (int i = 0; i < 400; ++i) {
        Vec3 start = spreadPoint(state);
        if (i % 2) start = {start.x * 1e-5f, start.y * 1e-5f, start.z * 1e-5f};
        for (float octaves : counts)
            for (float gain : {0.7f, 0.9f * 0.7283f}) {
                Vec3 points[4] = {start, {start.z * 1.01f, start.x - 0.3f, start.y}, start, start};
                const float counts4[4] = {octaves, octaves + 0.5f, octaves * 0.5f, octaves};
                points[2].x += 0.001f;
                noise_detail::Fractal together[4];
                for (int32_t count = 1; count <= 4; ++count) {
                    Vec3 moved[4] = {points[0], points[1], points[2], points[3]};
                    noise_detail::fractalSums(*planet, moved, counts4, count, 1.584786f, gain, together);
                    for (int32_t s = 0; s < count; ++s) {
                        Vec3 alone = points[s];
                        const noise_detail::Fractal z =
                            noise_detail::fractalSumSerial(*planet, alone, 1.584786f, counts4[s], gain);
                        ASSERT_TRUE(same(together[s].sum, z.sum) && same(together[s].firstOctave, z.firstOctave) &&
                                    same(together[s].alternating, z.alternating) && same(moved[s].x, alone.x) &&
                                    same(moved[s].z, alone.z))
                            << i << " octaves " << counts4[s];
                    }
                }
            }
    }
}

}  // namespace
}  // namespace tv
