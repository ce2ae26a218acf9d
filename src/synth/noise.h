// Seed table, gradient lattice and gradient noise. Everything random in a
// planet is drawn from the seed table through running indices.
#pragma once

#include <cstdint>

#include "base/types.h"
#include "synth/planet_data.h"

namespace tv {

// The fixed 2048-entry table the seed table is derived from.
extern const int32_t baseTable[kSeedTableSize];

void buildSeedTable(PlanetData& planet, int32_t seed);
void buildLattice(PlanetData& planet);

// seedTable[index & 2047], then index += 1.
int32_t nextRandomByte(const PlanetData& planet, int32_t& index);
// Up to 16 tries of three bytes; (0, 0, 1) when all fail.
Vec3 randomUnitVector(const PlanetData& planet, int32_t& index);

float noise3(const PlanetData& planet, Vec3 p);

struct FractalResult {
    float sum;
    float firstOctave;
    float alternating;
};
// Scales p in place by the lacunarity once per full octave.
FractalResult fractalSum(const PlanetData& planet, Vec3& p, float lacunarity, float octaves, float gain);

Vec3 normalize(Vec3 v);  // zero vector -> (0, 0, 1)
float rsqrt(float x);    // 1/sqrt(x) for x > 0, else 0

}  // namespace tv
