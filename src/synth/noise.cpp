// Seed table, gradient lattice, random draws and the noise primitives.
#include "synth/noise.h"

#include <cmath>

#include "synth/noise_inline.h"

namespace tv {

void buildSeedTable(PlanetData& planet, int32_t seed) {
    int32_t* table = planet.seedTable;
    for (int i = 0; i < kSeedTableSize; ++i) table[i] = baseTable[i] & 255;
    // Each step hands entry i's current value to entry j and gives entry i its
    // base value back. Only (seed + i) & 2047 matters, so seeds congruent
    // modulo 2048 make the same planet. Unsigned arithmetic: any seed is valid.
    for (int i = 0; i < kSeedTableSize; ++i) {
        const uint32_t at = (static_cast<uint32_t>(seed) + static_cast<uint32_t>(i)) & 2047u;
        const int32_t j = baseTable[at];
        const int32_t held = table[i];
        table[i] = table[j];
        table[j] = held;
        table[i] = baseTable[i] & 255;
    }
}

namespace {

// Lattice draw n reads every second seed-table entry from 39 on.
inline int32_t latticeDraw(const PlanetData& planet, int32_t n) { return planet.seedTable[(39 + 2 * n) & 2047]; }

// A byte as a lattice coordinate: its lowest bit copied into bit 8, minus 256,
// over 256; in -1..0.99609375, never 0.
inline float latticeCoordinate(int32_t d) {
    return static_cast<float>((257 * d) % 512 - 256) / 256.0f;
}

}  // namespace

void buildLattice(PlanetData& planet) {
    for (int i = 0; i < kLatticeSize; ++i) {
        planet.latticePerm[i] = i;
        // Six draws per lattice point; the first three are not used.
        const Vec3 g{latticeCoordinate(latticeDraw(planet, 6 * i + 3)),
                     latticeCoordinate(latticeDraw(planet, 6 * i + 4)),
                     latticeCoordinate(latticeDraw(planet, 6 * i + 5))};
        planet.latticeGrad[i] = normalize(g);
    }
    int32_t n = 6 * kLatticeSize;
    for (int i = kLatticeSize - 1; i >= 1; --i) {
        const int32_t j = latticeDraw(planet, n++);
        const int32_t held = planet.latticePerm[i];
        planet.latticePerm[i] = planet.latticePerm[j];
        planet.latticePerm[j] = held;
    }
    for (int i = 0; i < kLatticeSize + 2; ++i) {
        planet.latticePerm[kLatticeSize + i] = planet.latticePerm[i];
        planet.latticeGrad[kLatticeSize + i] = planet.latticeGrad[i];
    }
    for (int i = 0; i < kLatticeEntries; ++i) {
        const Vec3& g = planet.latticeGrad[i];
        planet.latticeGrad4[i][0] = g.x;
        planet.latticeGrad4[i][1] = g.y;
        planet.latticeGrad4[i][2] = g.z;
        planet.latticeGrad4[i][3] = 0.0f;
        planet.latticePermBytes[i] = static_cast<uint32_t>(planet.latticePerm[i]) * 16u;
    }
}

int32_t nextRandomByte(const PlanetData& planet, int32_t& index) {
    const int32_t value = planet.seedTable[index & 2047];
    ++index;
    return value;
}

Vec3 randomUnitVector(const PlanetData& planet, int32_t& index) {
    for (int attempt = 0; attempt < 16; ++attempt) {
        const float x = static_cast<float>(planet.seedTable[index & 2047]) / 127.5f - 1.0f;
        const float y = static_cast<float>(planet.seedTable[(index + 1) & 2047]) / 127.5f - 1.0f;
        const float z = static_cast<float>(planet.seedTable[(index + 2) & 2047]) / 127.5f - 1.0f;
        index += 3;
        const float s = rsqrt(x * x + y * y + z * z);
        if (s >= 1.0f) return {x * s, y * s, z * s};
    }
    return {0.0f, 0.0f, 1.0f};
}

float noise3(const PlanetData& planet, Vec3 p) { return noise_detail::noise3(planet, p.x, p.y, p.z); }

FractalResult fractalSum(const PlanetData& planet, Vec3& p, float lacunarity, float octaves, float gain) {
    const noise_detail::Fractal f = noise_detail::fractalSumSerial(planet, p, lacunarity, octaves, gain);
    return {f.sum, f.firstOctave, f.alternating};
}

Vec3 normalize(Vec3 v) {
    const float l2 = v.x * v.x + v.y * v.y + v.z * v.z;
    if (l2 == 0.0f) return {0.0f, 0.0f, 1.0f};
    const float s = 1.0f / std::sqrt(l2);
    return {v.x * s, v.y * s, v.z * s};
}

float rsqrt(float x) { return x > 0.0f ? 1.0f / std::sqrt(x) : 0.0f; }

}  // namespace tv
