// Inline forms of the gradient noise and the fractal sum, for the per-pixel
// fields of the synthesis (terrain, clouds). noise.cpp's noise3/fractalSum
// call these, so there is one arithmetic only. Everything is 32-bit float in
// the order written here; the build forbids contraction into fused
// multiply-adds, so results are the same on every machine.
#pragma once

#include <cstdint>

#include "synth/planet_data.h"

namespace tv::noise_detail {

// One axis of the lattice look-up: the cell index and the two offsets.
struct Axis {
    int32_t b0, b1;
    float r0, r1;
};

inline Axis latticeAxis(float coordinate) {
    const float t = coordinate + 4096.0f;
    const int32_t it = static_cast<int32_t>(t);
    Axis a;
    a.b0 = it & 255;
    a.b1 = (a.b0 + 1) & 255;
    // t < 0 only for coordinates below -4096, which no field produces.
    const float f = t >= 0.0f ? static_cast<float>(it) : static_cast<float>(static_cast<int32_t>(t - 1.0f));
    a.r0 = t - f;
    a.r1 = a.r0 - 1.0f;
    return a;
}

inline float sCurve(float t) { return t * t * (3.0f - 2.0f * t); }
inline float lerp(float s, float u, float v) { return u + s * (v - u); }
inline float corner(const Vec3& g, float rx, float ry, float rz) { return rx * g.x + ry * g.y + rz * g.z; }

// The lattice cell of a point: the three axes and the four hashed corners
// b00, b10, b01, b11 (latticePerm looked up along x, then y).
struct Cell {
    Axis x, y, z;
    int32_t b00, b10, b01, b11;
};

inline Cell latticeCell(const PlanetData& planet, float px, float py, float pz) {
    Cell c;
    c.x = latticeAxis(px);
    c.y = latticeAxis(py);
    c.z = latticeAxis(pz);
    const int32_t* perm = planet.latticePerm;
    const int32_t i = perm[c.x.b0];
    const int32_t j = perm[c.x.b1];
    c.b00 = perm[i + c.y.b0];
    c.b10 = perm[j + c.y.b0];
    c.b01 = perm[i + c.y.b1];
    c.b11 = perm[j + c.y.b1];
    return c;
}

#if defined(__GNUC__) || defined(__clang__)
// Four lanes of floats. Each lane does exactly the scalar arithmetic, in the
// same order (no contraction: the build forbids it), so results are the same
// bits as the plain form below; only the work is done four corners at a time.
typedef float Lanes __attribute__((vector_size(16)));
#define TV_NOISE_LANES 1
#endif

inline float noise3Scalar(const PlanetData& planet, float px, float py, float pz) {
    const Cell cell = latticeCell(planet, px, py, pz);
    const Axis &ax = cell.x, &ay = cell.y, &az = cell.z;
    const Vec3* grad = planet.latticeGrad;
    const int32_t b00 = cell.b00, b10 = cell.b10, b01 = cell.b01, b11 = cell.b11;

    const float sx = sCurve(ax.r0);
    const float sy = sCurve(ay.r0);
    const float sz = sCurve(az.r0);

    float u = corner(grad[b00 + az.b0], ax.r0, ay.r0, az.r0);
    float v = corner(grad[b10 + az.b0], ax.r1, ay.r0, az.r0);
    const float a0 = lerp(sx, u, v);
    u = corner(grad[b01 + az.b0], ax.r0, ay.r1, az.r0);
    v = corner(grad[b11 + az.b0], ax.r1, ay.r1, az.r0);
    const float b0 = lerp(sx, u, v);
    const float c = lerp(sy, a0, b0);

    u = corner(grad[b00 + az.b1], ax.r0, ay.r0, az.r1);
    v = corner(grad[b10 + az.b1], ax.r1, ay.r0, az.r1);
    const float a1 = lerp(sx, u, v);
    u = corner(grad[b01 + az.b1], ax.r0, ay.r1, az.r1);
    v = corner(grad[b11 + az.b1], ax.r1, ay.r1, az.r1);
    const float b1 = lerp(sx, u, v);
    const float d = lerp(sy, a1, b1);

    return lerp(sz, c, d);
}

inline float noise3(const PlanetData& planet, float px, float py, float pz) {
#ifdef TV_NOISE_LANES
    const Cell cell = latticeCell(planet, px, py, pz);
    const Axis &ax = cell.x, &ay = cell.y, &az = cell.z;
    const Vec3* grad = planet.latticeGrad;
    const int32_t b00 = cell.b00, b10 = cell.b10, b01 = cell.b01, b11 = cell.b11;

    // The corners in the order a's pair, b's pair: (00, 10, 01, 11).
    const Vec3& g0 = grad[b00 + az.b0];
    const Vec3& g1 = grad[b10 + az.b0];
    const Vec3& g2 = grad[b01 + az.b0];
    const Vec3& g3 = grad[b11 + az.b0];
    const Vec3& h0 = grad[b00 + az.b1];
    const Vec3& h1 = grad[b10 + az.b1];
    const Vec3& h2 = grad[b01 + az.b1];
    const Vec3& h3 = grad[b11 + az.b1];

    const Lanes rx = {ax.r0, ax.r1, ax.r0, ax.r1};
    const Lanes ry = {ay.r0, ay.r0, ay.r1, ay.r1};
    const Lanes rz0 = {az.r0, az.r0, az.r0, az.r0};
    const Lanes rz1 = {az.r1, az.r1, az.r1, az.r1};
    const Lanes gx0 = {g0.x, g1.x, g2.x, g3.x}, gy0 = {g0.y, g1.y, g2.y, g3.y}, gz0 = {g0.z, g1.z, g2.z, g3.z};
    const Lanes gx1 = {h0.x, h1.x, h2.x, h3.x}, gy1 = {h0.y, h1.y, h2.y, h3.y}, gz1 = {h0.z, h1.z, h2.z, h3.z};
    // corner = rx * gx + ry * gy + rz * gz, as in corner().
    const Lanes c0 = rx * gx0 + ry * gy0 + rz0 * gz0;
    const Lanes c1 = rx * gx1 + ry * gy1 + rz1 * gz1;

    const float sx = sCurve(ax.r0);
    const float sy = sCurve(ay.r0);
    const float sz = sCurve(az.r0);
    // lerp(sx, u, v) for (a0, b0, a1, b1) at once.
    const Lanes u = {c0[0], c0[2], c1[0], c1[2]};
    const Lanes v = {c0[1], c0[3], c1[1], c1[3]};
    const Lanes s = {sx, sx, sx, sx};
    const Lanes ab = u + s * (v - u);
    const float c = lerp(sy, ab[0], ab[1]);
    const float d = lerp(sy, ab[2], ab[3]);
    return lerp(sz, c, d);
#else
    return noise3Scalar(planet, px, py, pz);
#endif
}

struct Fractal {
    float sum, firstOctave, alternating;
};

// Octave 0 and 1 weigh 1, octave m >= 2 weighs gain^(m-1); a fractional octave
// count adds that fraction of one more octave at the last scaled point.
inline Fractal fractalSum(const PlanetData& planet, Vec3& p, float lacunarity, float octaves, float gain) {
    const float n0 = noise3(planet, p.x, p.y, p.z);
    Fractal r{n0, n0, 0.0f};
    p.x *= lacunarity;
    p.y *= lacunarity;
    p.z *= lacunarity;
    float amp = 1.0f;
    float sign = -1.0f;
    float k = 1.0f;
    if (octaves > 1.0f) {
        do {
            const float n = noise3(planet, p.x, p.y, p.z);
            k += 1.0f;
            const float t = n * amp;
            r.sum += t;
            r.alternating += sign * t;
            sign = -sign;
            p.x *= lacunarity;
            p.y *= lacunarity;
            p.z *= lacunarity;
            amp *= gain;
        } while (!(k >= octaves));
    }
    const float f = octaves - static_cast<float>(static_cast<int32_t>(octaves));
    if (f != 0.0f) {
        const float t = noise3(planet, p.x, p.y, p.z) * amp;
        r.sum += f * t;
        r.alternating += f * sign * t;
    }
    return r;
}

}  // namespace tv::noise_detail
