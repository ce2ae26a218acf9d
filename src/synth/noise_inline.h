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

#ifdef TV_NOISE_LANES
typedef int32_t IntLanes __attribute__((vector_size(16)));

// latticeAxis for four coordinates at once.
struct AxisLanes {
    IntLanes b0, b1;
    Lanes r0, r1;
};

inline AxisLanes latticeAxes(Lanes coordinate) {
    const Lanes t = coordinate + 4096.0f;
    // Truncation towards zero, as the scalar conversion (the same instruction
    // family: out of range gives the same integer).
    const IntLanes it = __builtin_convertvector(t, IntLanes);
    const IntLanes below = __builtin_convertvector(t - 1.0f, IntLanes);
    AxisLanes a;
    a.b0 = it & 255;
    a.b1 = (a.b0 + 1) & 255;
    const IntLanes whole = t >= 0.0f ? it : below;
    a.r0 = t - __builtin_convertvector(whole, Lanes);
    a.r1 = a.r0 - 1.0f;
    return a;
}

inline Lanes sCurve(Lanes t) { return t * t * (3.0f - 2.0f * t); }
inline Lanes lerp(Lanes s, Lanes u, Lanes v) { return u + s * (v - u); }

// Four independent noise values: lane i is noise3(px[i], py[i], pz[i]) bit for
// bit (each lane does the scalar operations in the scalar order).
inline Lanes noise3x4(const PlanetData& planet, Lanes px, Lanes py, Lanes pz) {
    const AxisLanes ax = latticeAxes(px), ay = latticeAxes(py), az = latticeAxes(pz);
    uint32_t bx0[4], bx1[4], by0[4], by1[4], bz0[4], bz1[4];
    __builtin_memcpy(bx0, &ax.b0, sizeof bx0);
    __builtin_memcpy(bx1, &ax.b1, sizeof bx1);
    __builtin_memcpy(by0, &ay.b0, sizeof by0);
    __builtin_memcpy(by1, &ay.b1, sizeof by1);
    __builtin_memcpy(bz0, &az.b0, sizeof bz0);
    __builtin_memcpy(bz1, &az.b1, sizeof bz1);

    // The gradients of the eight corners (00, 10, 01, 11 at z0, then at z1) of
    // every lane. Indices as unsigned: every table entry is 0..255.
    const int32_t* perm = planet.latticePerm;
    const float(*grad)[4] = planet.latticeGrad4;
    const float* g[8][4];
    for (int l = 0; l < 4; ++l) {
        const uint32_t i = static_cast<uint32_t>(perm[bx0[l]]);
        const uint32_t j = static_cast<uint32_t>(perm[bx1[l]]);
        const uint32_t b00 = static_cast<uint32_t>(perm[i + by0[l]]);
        const uint32_t b10 = static_cast<uint32_t>(perm[j + by0[l]]);
        const uint32_t b01 = static_cast<uint32_t>(perm[i + by1[l]]);
        const uint32_t b11 = static_cast<uint32_t>(perm[j + by1[l]]);
        g[0][l] = grad[b00 + bz0[l]];
        g[1][l] = grad[b10 + bz0[l]];
        g[2][l] = grad[b01 + bz0[l]];
        g[3][l] = grad[b11 + bz0[l]];
        g[4][l] = grad[b00 + bz1[l]];
        g[5][l] = grad[b10 + bz1[l]];
        g[6][l] = grad[b01 + bz1[l]];
        g[7][l] = grad[b11 + bz1[l]];
    }

    // corner() of every lane: the four gradients turned into x, y and z lanes.
    Lanes c[8];
    for (int k = 0; k < 8; ++k) {
        Lanes g0, g1, g2, g3;
        __builtin_memcpy(&g0, g[k][0], sizeof g0);
        __builtin_memcpy(&g1, g[k][1], sizeof g1);
        __builtin_memcpy(&g2, g[k][2], sizeof g2);
        __builtin_memcpy(&g3, g[k][3], sizeof g3);
        const Lanes xy01 = __builtin_shufflevector(g0, g1, 0, 4, 1, 5);
        const Lanes xy23 = __builtin_shufflevector(g2, g3, 0, 4, 1, 5);
        const Lanes zw01 = __builtin_shufflevector(g0, g1, 2, 6, 3, 7);
        const Lanes zw23 = __builtin_shufflevector(g2, g3, 2, 6, 3, 7);
        const Lanes gx = __builtin_shufflevector(xy01, xy23, 0, 1, 4, 5);
        const Lanes gy = __builtin_shufflevector(xy01, xy23, 2, 3, 6, 7);
        const Lanes gz = __builtin_shufflevector(zw01, zw23, 0, 1, 4, 5);
        const Lanes rx = (k & 1) ? ax.r1 : ax.r0;
        const Lanes ry = (k & 2) ? ay.r1 : ay.r0;
        const Lanes rz = (k & 4) ? az.r1 : az.r0;
        c[k] = rx * gx + ry * gy + rz * gz;
    }

    const Lanes sx = sCurve(ax.r0);
    const Lanes sy = sCurve(ay.r0);
    const Lanes sz = sCurve(az.r0);
    const Lanes a0 = lerp(sx, c[0], c[1]);
    const Lanes b0 = lerp(sx, c[2], c[3]);
    const Lanes cz0 = lerp(sy, a0, b0);
    const Lanes a1 = lerp(sx, c[4], c[5]);
    const Lanes b1 = lerp(sx, c[6], c[7]);
    const Lanes cz1 = lerp(sy, a1, b1);
    return lerp(sz, cz0, cz1);
}

// Up to four noise points waiting to be evaluated together.
struct NoiseBatch {
    float x[4] = {}, y[4] = {}, z[4] = {};
    int32_t count = 0;

    void add(float px, float py, float pz) {
        x[count] = px;
        y[count] = py;
        z[count] = pz;
        ++count;
    }
    Lanes run(const PlanetData& planet) const {
        Lanes lx, ly, lz;
        __builtin_memcpy(&lx, x, sizeof lx);
        __builtin_memcpy(&ly, y, sizeof ly);
        __builtin_memcpy(&lz, z, sizeof lz);
        return noise3x4(planet, lx, ly, lz);
    }
};
#endif

struct Fractal {
    float sum, firstOctave, alternating;
};

// Octave 0 and 1 weigh 1, octave m >= 2 weighs gain^(m-1); a fractional octave
// count adds that fraction of one more octave at the last scaled point.
// One noise value at a time; fractalSum gives the same results.
inline Fractal fractalSumSerial(const PlanetData& planet, Vec3& p, float lacunarity, float octaves, float gain) {
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

#ifdef TV_NOISE_LANES
// The octaves of a fractal sum waiting in a batch, with the weights they are
// added with: sum += sumWeight * t and alternating += altWeight * t, where
// t = noise * amp (weights 1 and sign for a whole octave, f and f * sign for the
// fractional one: the same products as the serial loop).
struct OctaveBatch {
    NoiseBatch points;
    float amp[4], sumWeight[4], altWeight[4];
    bool first = true;  // the next value is octave 0

    void add(const Vec3& p, float a, float sw, float aw) {
        amp[points.count] = a;
        sumWeight[points.count] = sw;
        altWeight[points.count] = aw;
        points.add(p.x, p.y, p.z);
    }
    void flush(const PlanetData& planet, Fractal& r) {
        const Lanes n = points.run(planet);
        for (int32_t i = 0; i < points.count; ++i) {
            if (first) {
                r = {n[i], n[i], 0.0f};
                first = false;
                continue;
            }
            const float t = n[i] * amp[i];
            r.sum += sumWeight[i] * t;
            r.alternating += altWeight[i] * t;
        }
        points.count = 0;
    }
};
#endif

// fractalSumSerial with the noise values evaluated four at a time (added in
// the same order: the same results). Scales p in place as the serial form.
inline Fractal fractalSum(const PlanetData& planet, Vec3& p, float lacunarity, float octaves, float gain) {
#ifdef TV_NOISE_LANES
    Fractal r{0.0f, 0.0f, 0.0f};
    OctaveBatch batch;
    batch.add(p, 1.0f, 1.0f, 0.0f);
    p.x *= lacunarity;
    p.y *= lacunarity;
    p.z *= lacunarity;
    float amp = 1.0f;
    float sign = -1.0f;
    float k = 1.0f;
    if (octaves > 1.0f) {
        do {
            batch.add(p, amp, 1.0f, sign);
            if (batch.points.count == 4) batch.flush(planet, r);
            k += 1.0f;
            sign = -sign;
            p.x *= lacunarity;
            p.y *= lacunarity;
            p.z *= lacunarity;
            amp *= gain;
        } while (!(k >= octaves));
    }
    const float f = octaves - static_cast<float>(static_cast<int32_t>(octaves));
    if (f != 0.0f) {
        if (batch.points.count == 4) batch.flush(planet, r);
        batch.add(p, amp, f, f * sign);
    }
    if (batch.points.count > 0) batch.flush(planet, r);
    return r;
#else
    return fractalSumSerial(planet, p, lacunarity, octaves, gain);
#endif
}

}  // namespace tv::noise_detail
