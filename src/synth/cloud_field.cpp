// The cloud density field: synthetic, or sampled from a satellite cloud map.
#include "synth/cloud_field.h"

#include <algorithm>
#include <cmath>

#include "synth/noise.h"
#include "synth/noise_inline.h"
#include "synth/pyramid.h"
#include "synth/simd.h"

namespace tv {

namespace {

// The satellite looks at the planet as the viewer does: +x is the screen's
// left (west in the picture) and +y up (north, the picture's first rows), so
// the disc is read right to left and bottom to top of its box to appear
// north-up and east-right. Cache files hold the picture as it was taken.
float mapDensity(const PlanetData& planet, Vec3 p, const SampleView& view) {
    const float u = planet.cloudMapOffsetU + planet.cloudMapScaleU * (0.5f - 0.5f * p.x);
    const float v = planet.cloudMapOffsetV + planet.cloudMapScaleV * (0.5f - 0.5f * p.y);
    const float value = samplePyramid(*planet.cloudMap, static_cast<int32_t>(view.cloudLevel), view.cloudLevelFrac, u, v);
    return 0.005f * value + planet.cloudMapBias;
}

constexpr float kLacunarity = 2.0987f;
constexpr float kGain = 0.6f;
constexpr Vec3 kOffset{954.77f, 784.65323f, 6521.31354f};

// The density before the noise: the latitude profile and the storms, which
// add density and swirl the point (distances are from p itself); q comes back
// turned by the storms and the Coriolis shear.
float densityProfile(const PlanetData& planet, Vec3 p, float sinLat, const Rotation& coriolis, Vec3& q) {
    float d = planet.cloudBias;
    const float s = std::fabs(sinLat);
    if (s > 0.7f)
        d += 1.5f * (s - 0.7f);
    else
        d -= 0.3f * (0.7f - s);

    q = p;
    for (int32_t j = 0; j < planet.stormCount; ++j) {
        const float dx = planet.stormX[j] - p.x;
        const float dy = planet.stormY[j] - p.y;
        const float dz = planet.stormZ[j] - p.z;
        const float d2 = dx * dx + dy * dy + dz * dz;
        if (d2 < planet.stormRadiusSq[j]) {
            const float a = 1.0f - std::sqrt(d2 / planet.stormRadiusSq[j]);
            const float w = a * a * a;
            d += 0.3f * w;
            const Rotation turn = axisRotation({planet.stormX[j], planet.stormY[j], planet.stormZ[j]}, w * planet.stormSpin[j]);
            q = rotateBack(turn, q);
        }
    }

    // Coriolis shear: the largest turn at the equator, none at the poles.
    q = rotateBack(coriolis, q);
    return d;
}

}  // namespace

// One noise value at a time, in the order the density adds them.
float syntheticDensitySerial(const PlanetData& planet, Vec3 p, float sinLat, const Rotation& coriolis,
                             const SampleView& view) {
    using noise_detail::noise3;
    Vec3 q;
    float d = densityProfile(planet, p, sinLat, coriolis, q);

    // Domain-warped octaves.
    const float nw = noise3(planet, q.x, q.y, q.z) * view.one;
    Vec3 t{3.0f * (q.x + nw) + kOffset.x, 3.0f * (q.y + nw) + kOffset.y, 3.0f * (q.z + nw) + kOffset.z};
    d += noise3(planet, t.x, t.y, t.z);
    float amp = 1.0f;
    for (int32_t i = 1; i <= planet.warpOctaves - 2; ++i) {
        t.x *= kLacunarity;
        t.y *= kLacunarity;
        t.z *= kLacunarity;
        d += amp * noise3(planet, t.x, t.y, t.z);
        amp *= kGain;
    }

    // Detail octaves from the unwarped point.
    const float scale = planet.detailScale;
    Vec3 t2{(3.0f * p.x + kOffset.x) * scale, (3.0f * p.y + kOffset.y) * scale, (3.0f * p.z + kOffset.z) * scale};
    amp *= kGain;
    for (int32_t i = 0; i <= planet.detailOctaves - 2; ++i) {
        d += amp * noise3(planet, t2.x, t2.y, t2.z);
        amp *= kGain;
        t2.x *= kLacunarity;
        t2.y *= kLacunarity;
        t2.z *= kLacunarity;
    }
    return d;
}

namespace {

}  // namespace

void cloudDensities(const PlanetData& planet, const Vec3* p, const float* sinLat, const Rotation* coriolis,
                    int32_t count, const SampleView& view, float* out) {
    if (view.useCloudMap && planet.cloudMap != nullptr) {
        for (int32_t i = 0; i < count; ++i) out[i] = mapDensity(planet, p[i], view);
        return;
    }
    if (planet.detailOctaves - 1 > kMaxBatchedDetailOctaves) {
        for (int32_t i = 0; i < count; ++i) out[i] = syntheticDensitySerial(planet, p[i], sinLat[i], coriolis[i], view);
        return;
    }
    // The profile point by point, then the noise terms in batches of the
    // instruction set in use.
    constexpr int32_t kChunk = 64;
    Vec3 q[kChunk];
    float d[kChunk];
    const NoiseKernels& kernels = noiseKernels();
    for (int32_t i = 0; i < count; i += kChunk) {
        const int32_t n = std::min(count - i, kChunk);
        for (int32_t k = 0; k < n; ++k) d[k] = densityProfile(planet, p[i + k], sinLat[i + k], coriolis[i + k], q[k]);
        kernels.cloudNoise(planet, p + i, q, d, n, view.one, out + i);
    }
}

Rotation coriolisTurn(const PlanetData& planet, float sinLat, const SampleView& view) {
    return axisRotation(planet.axis, (1.0f - sinLat * sinLat) * view.coriolisScale);
}

float cloudDensity(const PlanetData& planet, Vec3 p, float sinLat, const Rotation& coriolis,
                   const SampleView& view) {
    if (view.useCloudMap && planet.cloudMap != nullptr) return mapDensity(planet, p, view);
    return syntheticDensitySerial(planet, p, sinLat, coriolis, view);
}

float cloudDensity(const PlanetData& planet, Vec3 p, float sinLat, const SampleView& view) {
    if (view.useCloudMap && planet.cloudMap != nullptr) return mapDensity(planet, p, view);
    return cloudDensity(planet, p, sinLat, coriolisTurn(planet, sinLat, view), view);
}

}  // namespace tv
