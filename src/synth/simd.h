// Runtime choice of the instruction set for the batched noise: the same
// kernels compiled for SSE2 (every x86-64 processor), AVX2 and AVX-512, each
// lane doing the one-point arithmetic in its order, so every path gives the
// same bits. The widest the processor runs is taken, unless forced by
// setSimdPath() or the environment variable TERRAVANE_SIMD ("sse2", "avx2",
// "avx512"), read once at the first render.
#pragma once

#include <cstdint>

#include "base/types.h"
#include "synth/planet_data.h"

namespace tv {

enum SimdPath : int32_t { kSimdSse2 = 0, kSimdAvx2 = 1, kSimdAvx512 = 2, kSimdPathCount = 3 };

// Whether this processor (and its operating system) runs the path.
bool simdPathSupported(int32_t path);
// The path in use: the forced one when set (and supported), else the widest supported.
int32_t simdPath();
// Forces a path; -1 returns to the automatic choice. False (nothing changed)
// for a path this processor cannot run.
bool setSimdPath(int32_t path);
const char* simdPathName(int32_t path);  // "sse2", "avx2", "avx512"
// The path named by text, or -1.
int32_t simdPathNamed(const char* name);

struct FractalValue {
    float sum, firstOctave, alternating;
};

// The batched forms of one path. Each gives, per point, exactly what the
// one-point reference computes.
struct NoiseKernels {
    int32_t lanes;
    // fractalSum at points[0 .. count), each with its own octave count; the
    // points are scaled in place as the one-point loop scales them.
    void (*fractalSums)(const PlanetData& planet, Vec3* points, const float* octaves, int32_t count,
                        float lacunarity, float gain, FractalValue* out);
    // The noise terms of the synthetic cloud density: point p (unwarped), q
    // (turned by storms and the Coriolis shear) and the density before the
    // noise d; out = d + the warped octaves + the detail octaves. Only for
    // planets with detailOctaves - 1 <= kMaxBatchedDetailOctaves.
    void (*cloudNoise)(const PlanetData& planet, const Vec3* p, const Vec3* q, const float* d, int32_t count,
                       float one, float* out);
    // The land colour's two noise values at the warped points (x, y, z): y is
    // first moved by f x noise(x, y, z) and z by zGain x detail; n0 = noise at
    // the moved point, n1 = noise at 4 x it.
    void (*landNoise)(const PlanetData& planet, const float* x, const float* y, const float* z,
                      const float* detail, int32_t count, float f, float zGain, float* n0, float* n1);
    // tv::dmath::log(x[i]) for i in [0, count), bit for bit.
    void (*logs)(const float* x, float* out, int32_t count);
};

constexpr int32_t kMaxBatchedDetailOctaves = 32;

// The kernels of the path in use.
const NoiseKernels& noiseKernels();
// The kernels of a given path (tests); the SSE2 ones for a path not built.
const NoiseKernels& noiseKernelsOf(int32_t path);

}  // namespace tv
