// The batched noise, written once for any lane count: included by one source
// file per instruction set, each defining TV_KERNEL_LANES (4, 8 or 16) and
// TV_KERNEL_TABLE (the name of its table). Every lane does the one-point
// arithmetic of noise_inline.h in its order (the build forbids contraction into
// fused multiply-adds), so all lane counts give the same bits. Everything here
// has internal linkage: a file built for a wider instruction set must not lend
// a function to the others.
#include <immintrin.h>

#include <cstdint>

#include "base/det_math.h"
#include "synth/planet_data.h"
#include "synth/simd.h"

#ifndef TV_KERNEL_LANES
#error "TV_KERNEL_LANES must be defined"
#endif

namespace tv {

namespace {

constexpr int32_t W = TV_KERNEL_LANES;
typedef float V __attribute__((vector_size(W * 4)));
typedef int32_t IV __attribute__((vector_size(W * 4)));
typedef float V4 __attribute__((vector_size(16)));

inline int32_t smaller(int32_t a, int32_t b) { return a < b ? a : b; }
inline int32_t larger(int32_t a, int32_t b) { return a > b ? a : b; }

inline V broadcast(float s) {
    V v;
    for (int32_t l = 0; l < W; ++l) v[l] = s;
    return v;
}

inline V loadV(const float* p) {
    V v;
    __builtin_memcpy(&v, p, sizeof v);
    return v;
}

inline void storeV(float* p, V v) { __builtin_memcpy(p, &v, sizeof v); }

// Lane i of a four-lane vector in every lane.
template <int i>
inline V spread(V4 g) {
#if TV_KERNEL_LANES == 4
    return __builtin_shufflevector(g, g, i, i, i, i);
#elif TV_KERNEL_LANES == 8
    return __builtin_shufflevector(g, g, i, i, i, i, i, i, i, i);
#else
    return __builtin_shufflevector(g, g, i, i, i, i, i, i, i, i, i, i, i, i, i, i, i, i);
#endif
}

// Four-lane pieces joined into one vector, lowest lanes first.
inline V join(const V4* c) {
#if TV_KERNEL_LANES == 4
    return c[0];
#elif TV_KERNEL_LANES == 8
    return __builtin_shufflevector(c[0], c[1], 0, 1, 2, 3, 4, 5, 6, 7);
#elif TV_KERNEL_LANES == 16
    typedef float V8 __attribute__((vector_size(32)));
    const V8 a = __builtin_shufflevector(c[0], c[1], 0, 1, 2, 3, 4, 5, 6, 7);
    const V8 b = __builtin_shufflevector(c[2], c[3], 0, 1, 2, 3, 4, 5, 6, 7);
    return __builtin_shufflevector(a, b, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
#else
#error "TV_KERNEL_LANES must be 4, 8 or 16"
#endif
}

// Whether every lane is 0.
inline bool allZero(IV v) {
#if TV_KERNEL_LANES == 4
    return _mm_movemask_epi8(_mm_cmpeq_epi32(__m128i(v), _mm_setzero_si128())) == 0xFFFF;
#elif TV_KERNEL_LANES == 8
    return _mm256_testz_si256(__m256i(v), __m256i(v)) != 0;
#else
    return _mm512_test_epi32_mask(__m512i(v), __m512i(v)) == 0;
#endif
}

struct AxisLanes {
    IV b0, b1;
    V r0, r1;
};

// The lattice cell index and offsets along one axis, lane by lane.
inline AxisLanes latticeAxes(V coordinate) {
    const V t = coordinate + 4096.0f;
    // Truncation towards zero, as the one-point conversion.
    const IV it = __builtin_convertvector(t, IV);
    const IV below = __builtin_convertvector(t - 1.0f, IV);
    AxisLanes a;
    a.b0 = it & 255;
    a.b1 = (a.b0 + 1) & 255;
    const IV whole = t >= 0.0f ? it : below;
    a.r0 = t - __builtin_convertvector(whole, V);
    a.r1 = a.r0 - 1.0f;
    return a;
}

inline V sCurve(V t) { return t * t * (3.0f - 2.0f * t); }
inline V lerp(V s, V u, V v) { return u + s * (v - u); }

// W independent gradient-noise values: lane i is noise3(px[i], py[i], pz[i])
// bit for bit. With nearby, points that all lie in one lattice cell (nearby
// points often do) look the cell up once.
template <bool nearby>
inline V noiseLanes(const PlanetData& planet, V px, V py, V pz) {
    const AxisLanes ax = latticeAxes(px), ay = latticeAxes(py), az = latticeAxes(pz);
    const int32_t* perm = planet.latticePerm;
    const uint32_t* permBytes = planet.latticePermBytes;
    const char* grad = reinterpret_cast<const char*>(planet.latticeGrad4);
    V gx[8], gy[8], gz[8];
    const IV z0 = az.b0 << 4, z1 = az.b1 << 4;
    bool same = false;
    if (nearby) {
        // All lanes in the cell of lane 0: the differences to lane 0, ORed, are 0.
        const IV d = (ax.b0 - ax.b0[0]) | (ay.b0 - ay.b0[0]) | (az.b0 - az.b0[0]);
        same = allZero(d);
    }
    if (same) {
        const uint32_t i = static_cast<uint32_t>(perm[ax.b0[0]]);
        const uint32_t j = static_cast<uint32_t>(perm[ax.b1[0]]);
        const char* row[4] = {grad + permBytes[i + uint32_t(ay.b0[0])], grad + permBytes[j + uint32_t(ay.b0[0])],
                              grad + permBytes[i + uint32_t(ay.b1[0])], grad + permBytes[j + uint32_t(ay.b1[0])]};
        const uint32_t zo[2] = {uint32_t(z0[0]), uint32_t(z1[0])};
        for (int k = 0; k < 8; ++k) {
            V4 g;
            __builtin_memcpy(&g, row[k & 3] + zo[k >> 2], sizeof g);
            gx[k] = spread<0>(g);
            gy[k] = spread<1>(g);
            gz[k] = spread<2>(g);
        }
    } else {
        // The eight corner gradients of every lane (00, 10, 01, 11 at z0,
        // then at z1), four lanes at a time turned into x, y and z lanes.
        constexpr int32_t kPieces = W / 4;
        // The lane indices as plain integers (one store each, then scalar loads).
        uint32_t bx0[W], bx1[W], by0[W], by1[W], bz0[W], bz1[W];
        __builtin_memcpy(bx0, &ax.b0, sizeof bx0);
        __builtin_memcpy(bx1, &ax.b1, sizeof bx1);
        __builtin_memcpy(by0, &ay.b0, sizeof by0);
        __builtin_memcpy(by1, &ay.b1, sizeof by1);
        __builtin_memcpy(bz0, &z0, sizeof bz0);
        __builtin_memcpy(bz1, &z1, sizeof bz1);
        V4 px4[8][kPieces], py4[8][kPieces], pz4[8][kPieces];
        for (int32_t c = 0; c < kPieces; ++c) {
            V4 G[8][4];
            for (int32_t m = 0; m < 4; ++m) {
                const int32_t l = 4 * c + m;
                const uint32_t i = static_cast<uint32_t>(perm[bx0[l]]);
                const uint32_t j = static_cast<uint32_t>(perm[bx1[l]]);
                const char* r00 = grad + permBytes[i + by0[l]];
                const char* r10 = grad + permBytes[j + by0[l]];
                const char* r01 = grad + permBytes[i + by1[l]];
                const char* r11 = grad + permBytes[j + by1[l]];
                const uint32_t o0 = bz0[l], o1 = bz1[l];
                __builtin_memcpy(&G[0][m], r00 + o0, 16);
                __builtin_memcpy(&G[1][m], r10 + o0, 16);
                __builtin_memcpy(&G[2][m], r01 + o0, 16);
                __builtin_memcpy(&G[3][m], r11 + o0, 16);
                __builtin_memcpy(&G[4][m], r00 + o1, 16);
                __builtin_memcpy(&G[5][m], r10 + o1, 16);
                __builtin_memcpy(&G[6][m], r01 + o1, 16);
                __builtin_memcpy(&G[7][m], r11 + o1, 16);
            }
            for (int k = 0; k < 8; ++k) {
                const V4 g0 = G[k][0], g1 = G[k][1], g2 = G[k][2], g3 = G[k][3];
                const V4 xy01 = __builtin_shufflevector(g0, g1, 0, 4, 1, 5);
                const V4 xy23 = __builtin_shufflevector(g2, g3, 0, 4, 1, 5);
                const V4 zw01 = __builtin_shufflevector(g0, g1, 2, 6, 3, 7);
                const V4 zw23 = __builtin_shufflevector(g2, g3, 2, 6, 3, 7);
                px4[k][c] = __builtin_shufflevector(xy01, xy23, 0, 1, 4, 5);
                py4[k][c] = __builtin_shufflevector(xy01, xy23, 2, 3, 6, 7);
                pz4[k][c] = __builtin_shufflevector(zw01, zw23, 0, 1, 4, 5);
            }
        }
        for (int k = 0; k < 8; ++k) {
            gx[k] = join(px4[k]);
            gy[k] = join(py4[k]);
            gz[k] = join(pz4[k]);
        }
    }

    // The corner values: gradient . offsets, as the one-point corner().
    V c[8];
    for (int k = 0; k < 8; ++k) {
        const V rx = (k & 1) ? ax.r1 : ax.r0;
        const V ry = (k & 2) ? ay.r1 : ay.r0;
        const V rz = (k & 4) ? az.r1 : az.r0;
        c[k] = rx * gx[k] + ry * gy[k] + rz * gz[k];
    }
    const V sx = sCurve(ax.r0);
    const V sy = sCurve(ay.r0);
    const V sz = sCurve(az.r0);
    const V a0 = lerp(sx, c[0], c[1]);
    const V b0 = lerp(sx, c[2], c[3]);
    const V cz0 = lerp(sy, a0, b0);
    const V a1 = lerp(sx, c[4], c[5]);
    const V b1 = lerp(sx, c[6], c[7]);
    const V cz1 = lerp(sy, a1, b1);
    return lerp(sz, cz0, cz1);
}

inline V noiseAt(const PlanetData& planet, const float* x, const float* y, const float* z) {
    return noiseLanes<true>(planet, loadV(x), loadV(y), loadV(z));
}

// The one-point fractal sum (the reference the batches are checked against),
// for sums the batch does not take.
FractalValue fractalSumOne(const PlanetData& planet, Vec3& p, float lacunarity, float octaves, float gain) {
    auto noise = [&](Vec3 q) {
        float x[W], y[W], z[W];
        for (int32_t l = 0; l < W; ++l) {
            x[l] = q.x;
            y[l] = q.y;
            z[l] = q.z;
        }
        return noiseAt(planet, x, y, z)[0];
    };
    const float n0 = noise(p);
    FractalValue r{n0, n0, 0.0f};
    p.x *= lacunarity;
    p.y *= lacunarity;
    p.z *= lacunarity;
    float amp = 1.0f;
    float sign = -1.0f;
    float k = 1.0f;
    if (octaves > 1.0f) {
        do {
            const float n = noise(p);
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
        const float t = noise(p) * amp;
        r.sum += f * t;
        r.alternating += f * sign * t;
    }
    return r;
}

// Up to W fractal sums at once, each over its own point and octave count: a
// batch holds the same octave of every sum. Each sum adds in the one-point
// loop's order.
void fractalSumGroup(const PlanetData& planet, Vec3* points, const float* octaves, int32_t count, float lacunarity,
                     float gain, FractalValue* out) {
    // Sums of more octaves (and undefined counts) take the one-point loop.
    constexpr float kMaxOctaves = 44.0f;
    constexpr int32_t kRows = 48;
    int32_t whole[W], last[W];
    float fraction[W];
    bool batched[W];
    int32_t rows = 0, common = kRows;
    for (int32_t s = 0; s < W; ++s) {
        const float o = octaves[s < count ? s : 0];
        batched[s] = o <= kMaxOctaves;
        if (!batched[s]) {
            whole[s] = 0;
            last[s] = 0;
            fraction[s] = 0.0f;
            continue;
        }
        // ceil(o), exactly: o is small, so its truncation is exact.
        float c = static_cast<float>(static_cast<int32_t>(o));
        if (c < o) c += 1.0f;
        whole[s] = o > 1.0f ? larger(2, static_cast<int32_t>(c)) - 1 : 0;
        fraction[s] = o - static_cast<float>(static_cast<int32_t>(o));
        last[s] = whole[s] + (fraction[s] != 0.0f ? 1 : 0);
        rows = larger(rows, last[s] + 1);
        common = smaller(common, whole[s]);
    }
    if (rows == 0) {
        for (int32_t s = 0; s < count; ++s) out[s] = fractalSumOne(planet, points[s], lacunarity, octaves[s], gain);
        return;
    }

    // Row j holds every lane's point scaled j times, one multiplication at a
    // time; one row more than read, for the point each sum leaves.
    alignas(64) float x[W * (kRows + 1)], y[W * (kRows + 1)], z[W * (kRows + 1)];
    V X, Y, Z;
    for (int32_t s = 0; s < W; ++s) {
        const Vec3& p = points[s < count ? s : 0];
        X[s] = p.x;
        Y[s] = p.y;
        Z[s] = p.z;
    }
    for (int32_t j = 0; j <= rows; ++j) {
        storeV(x + W * j, X);
        storeV(y + W * j, Y);
        storeV(z + W * j, Z);
        X *= lacunarity;
        Y *= lacunarity;
        Z *= lacunarity;
    }

    auto row = [&](int32_t j) { return noiseAt(planet, x + W * j, y + W * j, z + W * j); };
    const V first = row(0);
    V sum = first, alternating = broadcast(0.0f);
    float amp = 1.0f;
    float sign = -1.0f;
    int32_t j = 1;
    for (; j <= common; ++j) {
        const V t = row(j) * amp;
        sum += t;
        alternating += sign * t;
        sign = -sign;
        amp *= gain;
    }
    alignas(64) float values[W * kRows];
    for (int32_t k = j; k < rows; ++k) storeV(values + W * k, row(k));
    for (int32_t s = 0; s < count; ++s) {
        if (!batched[s]) {
            out[s] = fractalSumOne(planet, points[s], lacunarity, octaves[s], gain);
            continue;
        }
        FractalValue r{sum[s], first[s], alternating[s]};
        float a = amp, g = sign;
        for (int32_t k = j; k <= whole[s]; ++k) {
            const float t = values[W * k + s] * a;
            r.sum += t;
            r.alternating += g * t;
            g = -g;
            a *= gain;
        }
        if (fraction[s] != 0.0f) {
            const float t = values[W * last[s] + s] * a;
            r.sum += fraction[s] * t;
            r.alternating += fraction[s] * g * t;
        }
        out[s] = r;
        // The point the one-point loop leaves: scaled once per whole octave and once after octave 0.
        points[s] = {x[W * (whole[s] + 1) + s], y[W * (whole[s] + 1) + s], z[W * (whole[s] + 1) + s]};
    }
}

void fractalSumsKernel(const PlanetData& planet, Vec3* points, const float* octaves, int32_t count, float lacunarity,
                       float gain, FractalValue* out) {
    for (int32_t i = 0; i < count; i += W)
        fractalSumGroup(planet, points + i, octaves + i, smaller(count - i, W), lacunarity, gain, out + i);
}

constexpr float kCloudLacunarity = 2.0987f;
constexpr float kCloudGain = 0.6f;
constexpr float kOffsetX = 954.77f, kOffsetY = 784.65323f, kOffsetZ = 6521.31354f;

void cloudNoiseKernel(const PlanetData& planet, const Vec3* p, const Vec3* q, const float* d, int32_t count,
                      float one, float* out) {
    const int32_t detail = larger(0, planet.detailOctaves - 1);
    for (int32_t at = 0; at < count; at += W) {
        const int32_t n = smaller(count - at, W);
        // Spare lanes repeat the first point.
        V px, py, pz, qx, qy, qz, D;
        for (int32_t l = 0; l < W; ++l) {
            const int32_t k = at + (l < n ? l : 0);
            px[l] = p[k].x;
            py[l] = p[k].y;
            pz[l] = p[k].z;
            qx[l] = q[k].x;
            qy[l] = q[k].y;
            qz[l] = q[k].z;
            D[l] = d[k];
        }
        // Detail octaves from the unwarped points (they do not depend on the warp).
        V detailValues[kMaxBatchedDetailOctaves];
        const float scale = planet.detailScale;
        V t2x = (3.0f * px + kOffsetX) * scale, t2y = (3.0f * py + kOffsetY) * scale,
          t2z = (3.0f * pz + kOffsetZ) * scale;
        for (int32_t i = 0; i < detail; ++i) {
            detailValues[i] = noiseLanes<true>(planet, t2x, t2y, t2z);
            t2x *= kCloudLacunarity;
            t2y *= kCloudLacunarity;
            t2z *= kCloudLacunarity;
        }
        // Domain-warped octaves.
        const V nw = noiseLanes<true>(planet, qx, qy, qz) * one;
        V tx = 3.0f * (qx + nw) + kOffsetX, ty = 3.0f * (qy + nw) + kOffsetY, tz = 3.0f * (qz + nw) + kOffsetZ;
        D += noiseLanes<true>(planet, tx, ty, tz);
        float amp = 1.0f;
        for (int32_t i = 1; i <= planet.warpOctaves - 2; ++i) {
            tx *= kCloudLacunarity;
            ty *= kCloudLacunarity;
            tz *= kCloudLacunarity;
            D += amp * noiseLanes<true>(planet, tx, ty, tz);
            amp *= kCloudGain;
        }
        amp *= kCloudGain;
        for (int32_t i = 0; i < detail; ++i) {
            D += amp * detailValues[i];
            amp *= kCloudGain;
        }
        for (int32_t l = 0; l < n; ++l) out[at + l] = D[l];
    }
}

void landNoiseKernel(const PlanetData& planet, const float* x, const float* y, const float* z, const float* detail,
                     int32_t count, float f, float zGain, float* n0, float* n1) {
    for (int32_t at = 0; at < count; at += W) {
        const int32_t n = smaller(count - at, W);
        V qx, qy, qz, dt;
        for (int32_t l = 0; l < W; ++l) {
            const int32_t k = at + (l < n ? l : 0);
            qx[l] = x[k];
            qy[l] = y[k];
            qz[l] = z[k];
            dt[l] = detail[k];
        }
        qy += f * noiseLanes<true>(planet, qx, qy, qz);
        qz += zGain * dt;
        const V a = noiseLanes<true>(planet, qx, qy, qz);
        const V b = noiseLanes<true>(planet, qx * 4.0f, qy * 4.0f, qz * 4.0f);
        for (int32_t l = 0; l < n; ++l) {
            n0[at + l] = a[l];
            n1[at + l] = b[l];
        }
    }
}

// ---------------------------------------------------------------- logarithms

// W / 2 doubles: the lanes of tv::dmath::log, for x = 2^k m with m in
// [sqrt(1/2), sqrt(2)) and the same operations in the same order (a float
// argument is a normal double, positive and finite here).
typedef double VD __attribute__((vector_size(W * 4)));
typedef int64_t VL __attribute__((vector_size(W * 4)));
constexpr int32_t WD = W / 2;

inline VD logLanes(VD x) {
    VL b;
    __builtin_memcpy(&b, &x, sizeof b);
    VL k = (b >> 52) - 1023;
    const VL mantissa = (b & 0x000FFFFFFFFFFFFFll) | 0x3FF0000000000000ll;
    VD m;
    __builtin_memcpy(&m, &mantissa, sizeof m);
    const VL big = m > 1.41421356237309504880;  // -1 where true
    m = big ? m * 0.5 : m;
    k -= big;
    const VD f = m - 1.0;
    const VD s = f / (2.0 + f);
    const VD s2 = s * s;
    VD r = VD{} + 2.0 / 25.0;
    r = r * s2 + 2.0 / 23.0;
    r = r * s2 + 2.0 / 21.0;
    r = r * s2 + 2.0 / 19.0;
    r = r * s2 + 2.0 / 17.0;
    r = r * s2 + 2.0 / 15.0;
    r = r * s2 + 2.0 / 13.0;
    r = r * s2 + 2.0 / 11.0;
    r = r * s2 + 2.0 / 9.0;
    r = r * s2 + 2.0 / 7.0;
    r = r * s2 + 2.0 / 5.0;
    r = r * s2 + 2.0 / 3.0;
    r *= s2;
    const VD hfsq = 0.5 * f * f;
    const VD tail = s * (hfsq + r);
    const VD dk = __builtin_convertvector(k, VD);
    constexpr double kLn2Hi = 6.93147180369123816490e-01;
    constexpr double kLn2Lo = 1.90821492927058770002e-10;
    return dk * kLn2Hi - ((hfsq - (tail + dk * kLn2Lo)) - f);
}

void logsKernel(const float* x, float* out, int32_t count) {
    int32_t i = 0;
    for (; i + WD <= count; i += WD) {
        VD d;
        bool plain = true;
        for (int32_t l = 0; l < WD; ++l) {
            d[l] = double(x[i + l]);
            plain = plain && x[i + l] > 0.0f && x[i + l] <= 3.4028234663852886e38f;
        }
        if (!plain) {
            for (int32_t l = 0; l < WD; ++l) out[i + l] = dmath::log(x[i + l]);
            continue;
        }
        const VD v = logLanes(d);
        for (int32_t l = 0; l < WD; ++l) out[i + l] = float(v[l]);
    }
    for (; i < count; ++i) out[i] = dmath::log(x[i]);
}

const NoiseKernels kKernels{W, fractalSumsKernel, cloudNoiseKernel, landNoiseKernel, logsKernel};

}  // namespace

const NoiseKernels& TV_KERNEL_TABLE() { return kKernels; }

}  // namespace tv
