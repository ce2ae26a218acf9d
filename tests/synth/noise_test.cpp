// Seed table, lattice, random draws and the noise primitives.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <set>

#include "synth/noise.h"
#include "synth_fixture.h"
#include "synth/noise_inline.h"

namespace tv {
namespace {

using test::planetWithSeed;

float length(Vec3 v) { return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z); }

TEST(BaseTable, HasTheFixedEndsAndIsAnEvenlySpreadMultiset) {
    const int32_t head[8] = {1317, 807, 1939, 1586, 314, 127, 1935, 1264};
    const int32_t tail[8] = {846, 557, 4, 1845, 955, 26, 391, 1023};
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(baseTable[i], head[i]) << i;
        EXPECT_EQ(baseTable[2040 + i], tail[i]) << i;
    }
    std::map<int32_t, int> counts;
    int bins[8] = {};
    int lowBytes[256] = {};
    for (int i = 0; i < kSeedTableSize; ++i) {
        ASSERT_GE(baseTable[i], 0);
        ASSERT_LE(baseTable[i], 2047);
        ++counts[baseTable[i]];
        ++bins[baseTable[i] / 256];
        ++lowBytes[baseTable[i] & 255];
    }
    EXPECT_EQ(counts.size(), 1345u);
    for (const auto& [value, count] : counts) EXPECT_LE(count, 5) << value;
    // Evenly spread over the range: each eighth holds close to 256 entries,
    // and the seed bytes (the low bytes) cover every value.
    for (int b = 0; b < 8; ++b) {
        EXPECT_GE(bins[b], 224) << b;
        EXPECT_LE(bins[b], 288) << b;
    }
    for (int v = 0; v < 256; ++v) EXPECT_GT(lowBytes[v], 0) << v;
}

TEST(SeedTable, DependsOnTheSeedModulo2048Only) {
    const auto a = planetWithSeed(5);
    const auto b = planetWithSeed(2053);
    const auto c = planetWithSeed(5 - 2048 * 3);  // negative, congruent
    const auto d = planetWithSeed(6);
    int differences = 0;
    for (int i = 0; i < kSeedTableSize; ++i) {
        EXPECT_EQ(a->seedTable[i], b->seedTable[i]) << i;
        EXPECT_EQ(a->seedTable[i], c->seedTable[i]) << i;
        EXPECT_GE(a->seedTable[i], 0);
        EXPECT_LE(a->seedTable[i], 255);
        differences += a->seedTable[i] != d->seedTable[i];
    }
    EXPECT_GT(differences, 100);
    // Identical tables give an identical lattice and identical noise.
    for (int i = 0; i < kLatticeEntries; ++i) EXPECT_EQ(a->latticePerm[i], b->latticePerm[i]);
    EXPECT_EQ(noise3(*a, {0.3f, 0.7f, -0.2f}), noise3(*b, {0.3f, 0.7f, -0.2f}));
}

TEST(SeedTable, EachStepHandsItsValueToTheTargetAndKeepsItsBaseValue) {
    auto planet = std::make_unique<PlanetData>();
    buildSeedTable(*planet, 0);
    // The real table: an entry that no step targets keeps its base byte.
    std::set<int32_t> targets(baseTable, baseTable + kSeedTableSize);
    int kept = 0;
    for (int i = 0; i < kSeedTableSize; ++i)
        if (!targets.count(i)) {
            EXPECT_EQ(planet->seedTable[i], baseTable[i] & 255) << i;
            ++kept;
        }
    EXPECT_EQ(kept, kSeedTableSize - 1345);
}

TEST(Lattice, PermutationAndUnitGradientsRepeatPastTheLatticeSize) {
    const auto planet = planetWithSeed(21);
    std::set<int32_t> seen;
    for (int i = 0; i < kLatticeSize; ++i) {
        seen.insert(planet->latticePerm[i]);
        const Vec3 g = planet->latticeGrad[i];
        EXPECT_NEAR(length(g), 1.0f, 1e-6f) << i;
        // Lattice coordinates are never 0, so no gradient component is.
        EXPECT_NE(g.x, 0.0f);
        EXPECT_NE(g.y, 0.0f);
        EXPECT_NE(g.z, 0.0f);
    }
    EXPECT_EQ(seen.size(), 256u);
    EXPECT_EQ(*seen.begin(), 0);
    EXPECT_EQ(*seen.rbegin(), 255);
    for (int i = 0; i < kLatticeSize + 2; ++i) {
        EXPECT_EQ(planet->latticePerm[256 + i], planet->latticePerm[i]);
        EXPECT_EQ(planet->latticeGrad[256 + i].x, planet->latticeGrad[i].x);
        EXPECT_EQ(planet->latticeGrad[256 + i].z, planet->latticeGrad[i].z);
    }
    // The shuffle moved things.
    int fixedPoints = 0;
    for (int i = 0; i < kLatticeSize; ++i) fixedPoints += planet->latticePerm[i] == i;
    EXPECT_LT(fixedPoints, 20);
}

TEST(Lattice, GradientsComeFromEverySecondByteFrom39) {
    // Gradient i is built from draws 6i+3 .. 6i+5, that is seed-table entries
    // 39 + 12i + 6, + 8, + 10. Bytes 0 and 1 give the coordinates -1 and
    // +0.00390625 (the low bit copied into bit 8).
    auto planet = std::make_unique<PlanetData>();
    for (int i = 0; i < kSeedTableSize; ++i) planet->seedTable[i] = 0;
    planet->seedTable[39 + 6] = 1;
    planet->seedTable[39 + 8] = 0;
    planet->seedTable[39 + 10] = 0;
    buildLattice(*planet);
    // Every lattice point but 0 got (-1, -1, -1) normalised.
    const float s = 1.0f / std::sqrt(3.0f);
    EXPECT_NEAR(planet->latticeGrad[1].x, -s, 1e-6f);
    const Vec3 g0 = planet->latticeGrad[0];
    const float l = std::sqrt(0.00390625f * 0.00390625f + 2.0f);
    EXPECT_NEAR(g0.x, 0.00390625f / l, 1e-6f);
    EXPECT_NEAR(g0.y, -1.0f / l, 1e-6f);
    EXPECT_NEAR(g0.z, -1.0f / l, 1e-6f);
    // A table of zeros swaps every entry with entry 0 in turn: a rotation.
    EXPECT_EQ(planet->latticePerm[0], 1);
    EXPECT_EQ(planet->latticePerm[255], 0);
}

TEST(RandomDraws, BytesWrapAndVectorsAreUnit) {
    auto planet = planetWithSeed(77);
    int32_t index = 2047;
    EXPECT_EQ(nextRandomByte(*planet, index), planet->seedTable[2047]);
    EXPECT_EQ(nextRandomByte(*planet, index), planet->seedTable[0]);
    EXPECT_EQ(index, 2049);

    index = 0;
    for (int n = 0; n < 500; ++n) {
        const int32_t before = index;
        const Vec3 v = randomUnitVector(*planet, index);
        EXPECT_NEAR(length(v), 1.0f, 1e-6f);
        EXPECT_EQ((index - before) % 3, 0);
        EXPECT_LE(index - before, 48);
    }
}

TEST(RandomDraws, UnitVectorAcceptsTheFirstTryInsideTheBallOrGivesUpAfterSixteen) {
    auto planet = std::make_unique<PlanetData>();
    // Zeros are the corner (-1, -1, -1), outside the unit ball: every try fails.
    for (int i = 0; i < kSeedTableSize; ++i) planet->seedTable[i] = 0;
    int32_t index = 100;
    Vec3 v = randomUnitVector(*planet, index);
    EXPECT_EQ(v.x, 0.0f);
    EXPECT_EQ(v.y, 0.0f);
    EXPECT_EQ(v.z, 1.0f);
    EXPECT_EQ(index, 148);

    // The eleventh try (entries 30..32) lies inside.
    planet->seedTable[30] = 128;
    planet->seedTable[31] = 128;
    planet->seedTable[32] = 250;
    index = 0;
    v = randomUnitVector(*planet, index);
    EXPECT_EQ(index, 33);
    const float z = 250.0f / 127.5f - 1.0f, xy = 128.0f / 127.5f - 1.0f;
    const float l = std::sqrt(2 * xy * xy + z * z);
    EXPECT_NEAR(v.x, xy / l, 1e-6f);
    EXPECT_NEAR(v.z, z / l, 1e-6f);

    // The tries read the table modulo 2048.
    index = 2046;
    for (int i = 0; i < kSeedTableSize; ++i) planet->seedTable[i] = 0;
    planet->seedTable[2046] = 200;
    planet->seedTable[2047] = 128;
    planet->seedTable[0] = 128;
    v = randomUnitVector(*planet, index);
    EXPECT_EQ(index, 2049);
    EXPECT_GT(v.x, 0.99f);
}

TEST(Noise, IsZeroAtLatticePointsAndSmallAndContinuousElsewhere) {
    const auto planet = planetWithSeed(21);
    for (float x : {-5.0f, 0.0f, 3.0f, 250.0f})
        for (float y : {-1.0f, 2.0f, 17.0f})
            for (float z : {0.0f, -9.0f, 1000.0f}) EXPECT_EQ(noise3(*planet, {x, y, z}), 0.0f);

    float lo = 0, hi = 0;
    for (int i = 0; i < 4000; ++i) {
        const Vec3 p{0.013f * i, 0.37f + 0.007f * i, -2.1f + 0.011f * i};
        const float n = noise3(*planet, p);
        ASSERT_LE(std::fabs(n), 1.2f);
        lo = std::min(lo, n);
        hi = std::max(hi, n);
        const float n2 = noise3(*planet, {p.x + 1e-4f, p.y, p.z});
        EXPECT_LT(std::fabs(n2 - n), 0.01f);
    }
    EXPECT_LT(lo, -0.3f);
    EXPECT_GT(hi, 0.3f);
    // The lattice repeats every 256 cells.
    EXPECT_EQ(noise3(*planet, {0.3f, 0.6f, 0.2f}), noise3(*planet, {256.3f, 0.6f, 0.2f}));
}

TEST(Noise, FourCornersAtATimeGiveTheSameBitsAsOneAtATime) {
    const auto planet = planetWithSeed(808);
    for (int i = 0; i < 20000; ++i) {
        const float x = -3.0f + 0.0137f * i, y = 100.0f - 0.0071f * i, z = 0.5f + 0.31f * std::sin(0.01f * i);
        ASSERT_EQ(noise3(*planet, {x, y, z}), noise_detail::noise3Scalar(*planet, x, y, z)) << i;
    }
}

#ifdef TV_NOISE_LANES
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

TEST(Noise, FourPointsAtATimeGiveTheSameBitsAsOneAtATime) {
    const auto planet = planetWithSeed(4711);
    uint32_t state = 2463534242u;
    for (int i = 0; i < 20000; ++i) {
        Vec3 p[4];
        for (Vec3& q : p) q = spreadPoint(state);
        if (i % 3 == 0) {
            // Nearby points: all four in one lattice cell, or all but one
            // (one step over a cell boundary on one axis).
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
            const float got = n[l], gotNearby = nearby[l];
            ASSERT_EQ(std::memcmp(&got, &want, sizeof want), 0) << i << " lane " << l << ": " << got << " vs " << want;
            ASSERT_EQ(std::memcmp(&gotNearby, &want, sizeof want), 0) << i << " lane " << l << " (nearby)";
        }
    }
}
#endif

TEST(Fractal, SumsSideBySideGiveTheSameBitsAsTheSerialLoop) {
    const auto planet = planetWithSeed(99);
    uint32_t state = 88172645u;
    auto same = [](float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; };
    // Octave counts below one, whole, fractional, and the renderer's range.
    const float counts[] = {0.25f, 1.0f, 1.5f, 2.0f, 2.0001f, 3.0f, 3.75f, 4.0f, 4.5f, 5.0f, 7.3f, 8.0f, 8.9f,
                            12.7f, 13.0f, 16.2f, 22.0f, 47.5f, 50.5f, 100.0f};
    // (Sums of more than 44 octaves take the serial loop.)
    for (int i = 0; i < 400; ++i) {
        Vec3 start = spreadPoint(state);
        if (i % 2) start = {start.x * 1e-5f, start.y * 1e-5f, start.z * 1e-5f};
        for (float octaves : counts) {
            for (float gain : {0.7f, 0.9f * 0.7283f}) {
                // Sums side by side, one octave of each per batch, with other
                // octave counts beside them: each as its own serial loop.
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
                                    same(together[s].alternating, z.alternating))
                            << i << " octaves " << counts4[s] << ": " << together[s].sum << " vs " << z.sum;
                        ASSERT_TRUE(same(moved[s].x, alone.x) && same(moved[s].y, alone.y) && same(moved[s].z, alone.z));
                    }
                }
            }
        }
    }
}

TEST(Fractal, OctaveWeightsFractionsAndTheReturnedPoint) {
    const auto planet = planetWithSeed(1234);
    const Vec3 p0{0.31f, -0.52f, 0.77f};
    const float L = 1.584786f, G = 0.7f;
    // Octave m is read at p * L^m (scaled one multiplication at a time).
    float n[6];
    Vec3 scaled[6];
    Vec3 q = p0;
    for (int m = 0; m < 6; ++m) {
        scaled[m] = q;
        n[m] = noise3(*planet, q);
        q = {q.x * L, q.y * L, q.z * L};
    }
    auto run = [&](float octaves, Vec3& p) { return fractalSum(*planet, p, L, octaves, G); };
    auto samePoint = [](Vec3 a, Vec3 b) { return a.x == b.x && a.y == b.y && a.z == b.z; };

    Vec3 p = p0;
    FractalResult r = run(1.0f, p);
    EXPECT_EQ(r.sum, n[0]);
    EXPECT_EQ(r.firstOctave, n[0]);
    EXPECT_EQ(r.alternating, 0.0f);
    EXPECT_TRUE(samePoint(p, scaled[1]));

    p = p0;
    r = run(2.0f, p);
    EXPECT_FLOAT_EQ(r.sum, n[0] + n[1]);
    EXPECT_FLOAT_EQ(r.alternating, -n[1]);
    EXPECT_TRUE(samePoint(p, scaled[2]));

    p = p0;
    r = run(2.5f, p);
    EXPECT_NEAR(r.sum, n[0] + n[1] + G * n[2] + 0.5f * G * G * n[3], 1e-6f);
    EXPECT_NEAR(r.alternating, -n[1] + G * n[2] - 0.5f * G * G * n[3], 1e-6f);
    EXPECT_EQ(r.firstOctave, n[0]);
    EXPECT_TRUE(samePoint(p, scaled[3]));

    p = p0;
    r = run(4.0f, p);
    EXPECT_NEAR(r.sum, n[0] + n[1] + G * n[2] + G * G * n[3], 1e-6f);
    EXPECT_TRUE(samePoint(p, scaled[4]));

    // Below one octave: N0 plus that fraction of N1.
    p = p0;
    r = run(0.25f, p);
    EXPECT_NEAR(r.sum, n[0] + 0.25f * n[1], 1e-6f);
    EXPECT_NEAR(r.alternating, -0.25f * n[1], 1e-6f);
    EXPECT_TRUE(samePoint(p, scaled[1]));
}

TEST(VectorHelpers, NormalizeAndReciprocalRoot) {
    const Vec3 z = normalize({0.0f, 0.0f, 0.0f});
    EXPECT_EQ(z.x, 0.0f);
    EXPECT_EQ(z.y, 0.0f);
    EXPECT_EQ(z.z, 1.0f);
    const Vec3 v = normalize({3.0f, 0.0f, -4.0f});
    EXPECT_FLOAT_EQ(v.x, 0.6f);
    EXPECT_FLOAT_EQ(v.z, -0.8f);
    EXPECT_EQ(rsqrt(4.0f), 0.5f);
    EXPECT_EQ(rsqrt(0.0f), 0.0f);
    EXPECT_EQ(rsqrt(-2.0f), 0.0f);
}

}  // namespace
}  // namespace tv
