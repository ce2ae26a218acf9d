// Inline forms of the gradient noise and the fractal sum, for the per-pixel
// fields of the synthesis (terrain, clouds). noise.cpp's noise3/fractalSum
// call these, so there is one arithmetic only. Everything is 32-bit float in
// the order written here; the build forbids contraction into fused
// multiply-adds, so results are the same on every machine.
#pragma once

#include <algorithm>
#include <cstdint>

#include "synth/planet_data.h"

namespace tv::noise_detail {

// One axis of the lattice look-up: the cell index and the two offsets.
struct Axis {
    int32_t b0, b1;
    float r0, r1;
};

// Truncation toward zero, defined for every float: outside the 32-bit range
// and for NaN the result is INT32_MIN, the integer x86's conversion gives
// there, so results inside the range (and the bytes of every render) are those
// of a plain conversion. Fractal sums of many octaves scale their points far
// beyond that range.
inline int32_t truncateToInt32(float t) {
    return t >= -2147483648.0f && t < 2147483648.0f ? static_cast<int32_t>(t) : INT32_MIN;
}

inline Axis latticeAxis(float coordinate) {
    const float t = coordinate + 4096.0f;
    const int32_t it = truncateToInt32(t);
    Axis a;
    a.b0 = it & 255;
    a.b1 = (a.b0 + 1) & 255;
    // t < 0 only for coordinates below -4096, which no field produces.
    const float f = t >= 0.0f ? static_cast<float>(it) : static_cast<float>(truncateToInt32(t - 1.0f));
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

// truncateToInt32 of each lane.
inline IntLanes truncateToInt32(Lanes t) {
    const IntLanes inRange = (t >= -2147483648.0f) & (t < 2147483648.0f);
    const IntLanes it = __builtin_convertvector(inRange ? t : Lanes{}, IntLanes);
    return inRange ? it : IntLanes{} + INT32_MIN;
}

inline AxisLanes latticeAxes(Lanes coordinate) {
    const Lanes t = coordinate + 4096.0f;
    const IntLanes it = truncateToInt32(t);
    const IntLanes below = truncateToInt32(t - 1.0f);
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
// bit (each lane does the scalar operations in the scalar order). With
// nearby, tests whether all four points lie in one lattice cell (nearby
// points often do) and then looks the cell up once.
template <bool nearby = false>
inline Lanes noise3x4(const PlanetData& planet, Lanes px, Lanes py, Lanes pz) {
    const AxisLanes ax = latticeAxes(px), ay = latticeAxes(py), az = latticeAxes(pz);

    // The gradients of the eight corners (00, 10, 01, 11 at z0, then at z1) of
    // every lane, as x, y and z lanes: row perm[perm[x] + y] + z of the
    // gradient table, the last steps in bytes. Indices are unsigned: every
    // table entry is 0..255.
    const int32_t* perm = planet.latticePerm;
    const uint32_t* permBytes = planet.latticePermBytes;
    const char* grad = reinterpret_cast<const char*>(planet.latticeGrad4);
    Lanes gx[8], gy[8], gz[8];
    const IntLanes z0 = az.b0 << 4, z1 = az.b1 << 4;
    const IntLanes same = (ax.b0 == ax.b0[0]) & (ay.b0 == ay.b0[0]) & (az.b0 == az.b0[0]);
    if (nearby && (same[0] & same[1] & same[2] & same[3])) {
        // Every lane in the same lattice cell (nearby points): one look-up.
        const uint32_t i = static_cast<uint32_t>(perm[ax.b0[0]]);
        const uint32_t j = static_cast<uint32_t>(perm[ax.b1[0]]);
        const char* row[4] = {grad + permBytes[i + uint32_t(ay.b0[0])], grad + permBytes[j + uint32_t(ay.b0[0])],
                              grad + permBytes[i + uint32_t(ay.b1[0])], grad + permBytes[j + uint32_t(ay.b1[0])]};
        const uint32_t zo[2] = {uint32_t(z0[0]), uint32_t(z1[0])};
        for (int k = 0; k < 8; ++k) {
            Lanes g;
            __builtin_memcpy(&g, row[k & 3] + zo[k >> 2], sizeof g);
            gx[k] = __builtin_shufflevector(g, g, 0, 0, 0, 0);
            gy[k] = __builtin_shufflevector(g, g, 1, 1, 1, 1);
            gz[k] = __builtin_shufflevector(g, g, 2, 2, 2, 2);
        }
    } else {
        uint32_t bx0[4], bx1[4], by0[4], by1[4], bz0[4], bz1[4];
        __builtin_memcpy(bx0, &ax.b0, sizeof bx0);
        __builtin_memcpy(bx1, &ax.b1, sizeof bx1);
        __builtin_memcpy(by0, &ay.b0, sizeof by0);
        __builtin_memcpy(by1, &ay.b1, sizeof by1);
        __builtin_memcpy(bz0, &z0, sizeof bz0);
        __builtin_memcpy(bz1, &z1, sizeof bz1);
        Lanes G[8][4];
        // One lane at a time (written out: the work is scalar loads).
        auto lane = [&](int l) {
            const uint32_t i = static_cast<uint32_t>(perm[bx0[l]]);
            const uint32_t j = static_cast<uint32_t>(perm[bx1[l]]);
            const char* r00 = grad + permBytes[i + by0[l]];
            const char* r10 = grad + permBytes[j + by0[l]];
            const char* r01 = grad + permBytes[i + by1[l]];
            const char* r11 = grad + permBytes[j + by1[l]];
            __builtin_memcpy(&G[0][l], r00 + bz0[l], 16);
            __builtin_memcpy(&G[1][l], r10 + bz0[l], 16);
            __builtin_memcpy(&G[2][l], r01 + bz0[l], 16);
            __builtin_memcpy(&G[3][l], r11 + bz0[l], 16);
            __builtin_memcpy(&G[4][l], r00 + bz1[l], 16);
            __builtin_memcpy(&G[5][l], r10 + bz1[l], 16);
            __builtin_memcpy(&G[6][l], r01 + bz1[l], 16);
            __builtin_memcpy(&G[7][l], r11 + bz1[l], 16);
        };
        lane(0);
        lane(1);
        lane(2);
        lane(3);
        for (int k = 0; k < 8; ++k) {
            const Lanes g0 = G[k][0], g1 = G[k][1], g2 = G[k][2], g3 = G[k][3];
            const Lanes xy01 = __builtin_shufflevector(g0, g1, 0, 4, 1, 5);
            const Lanes xy23 = __builtin_shufflevector(g2, g3, 0, 4, 1, 5);
            const Lanes zw01 = __builtin_shufflevector(g0, g1, 2, 6, 3, 7);
            const Lanes zw23 = __builtin_shufflevector(g2, g3, 2, 6, 3, 7);
            gx[k] = __builtin_shufflevector(xy01, xy23, 0, 1, 4, 5);
            gy[k] = __builtin_shufflevector(xy01, xy23, 2, 3, 6, 7);
            gz[k] = __builtin_shufflevector(zw01, zw23, 0, 1, 4, 5);
        }
    }

    // corner() of every lane.
    Lanes c[8];
    for (int k = 0; k < 8; ++k) {
        const Lanes rx = (k & 1) ? ax.r1 : ax.r0;
        const Lanes ry = (k & 2) ? ay.r1 : ay.r0;
        const Lanes rz = (k & 4) ? az.r1 : az.r0;
        c[k] = rx * gx[k] + ry * gy[k] + rz * gz[k];
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
#endif

struct Fractal {
    float sum, firstOctave, alternating;
};

// Octave 0 and 1 weigh 1, octave m >= 2 weighs gain^(m-1); a fractional octave
// count adds that fraction of one more octave at the last scaled point.
// Scales p in place by the lacunarity once per full octave. One noise value
// at a time: the reference the batched form below is checked against.
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
    const float f = octaves - static_cast<float>(truncateToInt32(octaves));
    if (f != 0.0f) {
        const float t = noise3(planet, p.x, p.y, p.z) * amp;
        r.sum += f * t;
        r.alternating += f * sign * t;
    }
    return r;
}

#ifdef TV_NOISE_LANES
// A fractal sum from its octave values n[0], n[1], ... in order: the serial
// loop's additions, in its order.
inline Fractal addOctaves(const float* n, float octaves, float gain) {
    Fractal r{n[0], n[0], 0.0f};
    ++n;
    float amp = 1.0f;
    float sign = -1.0f;
    float k = 1.0f;
    if (octaves > 1.0f) {
        do {
            k += 1.0f;
            const float t = *n * amp;
            ++n;
            r.sum += t;
            r.alternating += sign * t;
            sign = -sign;
            amp *= gain;
        } while (!(k >= octaves));
    }
    const float f = octaves - static_cast<float>(truncateToInt32(octaves));
    if (f != 0.0f) {
        const float t = *n * amp;
        r.sum += f * t;
        r.alternating += f * sign * t;
    }
    return r;
}

#endif

// Up to four fractal sums at once, each over its own point and octave count
// (same lacunarity and gain): a batch holds the same octave of every sum, so
// nearby points often share their lattice cells. Each sum gives the serial
// loop's result; points[] are scaled in place as the serial loop scales them.
inline void fractalSums(const PlanetData& planet, Vec3* points, const float* octaves, int32_t count,
                        float lacunarity, float gain, Fractal* out) {
#ifdef TV_NOISE_LANES
    // Sums of more octaves (and undefined counts) take the serial loop.
    constexpr float kMaxOctaves = 44.0f;
    constexpr int32_t kRows = 48;
    // Per lane (spare lanes repeat sum 0): the serial loop's whole octaves
    // after octave 0 (its k steps: until k >= octaves, at least one when
    // octaves > 1) and its fraction.
    int32_t whole[4], last[4];
    float fraction[4];
    bool batched[4];
    int32_t rows = 0, common = kRows;
    for (int32_t s = 0; s < 4; ++s) {
        const float o = octaves[s < count ? s : 0];
        batched[s] = o <= kMaxOctaves;
        if (!batched[s]) {
            whole[s] = 0;
            continue;
        }
        // ceil(o), exactly: o is small, so its truncation is exact.
        float c = static_cast<float>(static_cast<int32_t>(o));
        if (c < o) c += 1.0f;
        whole[s] = o > 1.0f ? std::max(2, static_cast<int32_t>(c)) - 1 : 0;
        fraction[s] = o - static_cast<float>(static_cast<int32_t>(o));
        last[s] = whole[s] + (fraction[s] != 0.0f ? 1 : 0);  // the row of the sum's last value
        rows = std::max(rows, last[s] + 1);
        common = std::min(common, whole[s]);
    }
    if (rows == 0) {
        for (int32_t s = 0; s < count; ++s) out[s] = fractalSumSerial(planet, points[s], lacunarity, octaves[s], gain);
        return;
    }

    // Row j holds every lane's point scaled j times, one multiplication at a
    // time; one row more than read, for the point each sum leaves.
    alignas(16) float x[4 * (kRows + 1)], y[4 * (kRows + 1)], z[4 * (kRows + 1)];
    Lanes X, Y, Z;
    for (int32_t s = 0; s < 4; ++s) {
        const Vec3& p = points[s < count ? s : 0];
        X[s] = p.x;
        Y[s] = p.y;
        Z[s] = p.z;
    }
    for (int32_t j = 0; j <= rows; ++j) {
        __builtin_memcpy(x + 4 * j, &X, sizeof X);
        __builtin_memcpy(y + 4 * j, &Y, sizeof Y);
        __builtin_memcpy(z + 4 * j, &Z, sizeof Z);
        X *= lacunarity;
        Y *= lacunarity;
        Z *= lacunarity;
    }

    // The sums: octave 0, the whole octaves every lane has, four lanes at a
    // time (each lane adds as the serial loop adds); then each lane's rest.
    auto row = [&](int32_t j) {
        Lanes lx, ly, lz;
        __builtin_memcpy(&lx, x + 4 * j, sizeof lx);
        __builtin_memcpy(&ly, y + 4 * j, sizeof ly);
        __builtin_memcpy(&lz, z + 4 * j, sizeof lz);
        return noise3x4<true>(planet, lx, ly, lz);
    };
    const Lanes first = row(0);
    Lanes sum = first, alternating = {0.0f, 0.0f, 0.0f, 0.0f};
    float amp = 1.0f;
    float sign = -1.0f;
    int32_t j = 1;
    for (; j <= common; ++j) {
        const Lanes t = row(j) * amp;
        sum += t;
        alternating += sign * t;
        sign = -sign;
        amp *= gain;
    }
    alignas(16) float values[4 * kRows];
    for (int32_t k = j; k < rows; ++k) {
        const Lanes v = row(k);
        __builtin_memcpy(values + 4 * k, &v, sizeof v);
    }
    for (int32_t s = 0; s < count; ++s) {
        if (!batched[s]) {
            out[s] = fractalSumSerial(planet, points[s], lacunarity, octaves[s], gain);
            continue;
        }
        Fractal r{sum[s], first[s], alternating[s]};
        float a = amp, g = sign;
        for (int32_t k = j; k <= whole[s]; ++k) {
            const float t = values[4 * k + s] * a;
            r.sum += t;
            r.alternating += g * t;
            g = -g;
            a *= gain;
        }
        if (fraction[s] != 0.0f) {
            const float t = values[4 * last[s] + s] * a;
            r.sum += fraction[s] * t;
            r.alternating += fraction[s] * g * t;
        }
        out[s] = r;
        // The point the serial loop leaves: scaled once per whole octave and once after octave 0.
        points[s] = {x[4 * (whole[s] + 1) + s], y[4 * (whole[s] + 1) + s], z[4 * (whole[s] + 1) + s]};
    }
#else
    for (int32_t s = 0; s < count; ++s) out[s] = fractalSumSerial(planet, points[s], lacunarity, octaves[s], gain);
#endif
}

}  // namespace tv::noise_detail
