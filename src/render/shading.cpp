#include "render/shading.h"

#include <algorithm>
#include <cmath>

#include "synth/noise.h"
#include "synth/noise_inline.h"
#include "synth/simd.h"

namespace tv {

namespace {

float hueChannel(float p, float q, float t) {
    if (t < 0.0f) t += 1.0f;
    if (t > 1.0f) t -= 1.0f;
    if (t < 1.0f / 6.0f) return p + (q - p) * 6.0f * t;
    if (t < 0.5f) return q;
    if (t < 2.0f / 3.0f) return p + (q - p) * (2.0f / 3.0f - t) * 6.0f;
    return p;
}

}  // namespace

Hsl rgbToHsl(const float rgb[3]) {
    const float r = rgb[0], g = rgb[1], b = rgb[2];
    const float mx = std::max(r, std::max(g, b));
    const float mn = std::min(r, std::min(g, b));
    Hsl out{0.0f, 0.0f, (mx + mn) * 0.5f};
    const float d = mx - mn;
    if (d == 0.0f) return out;
    out.s = out.l > 0.5f ? d / (2.0f - mx - mn) : d / (mx + mn);
    float h;
    if (mx == r)
        h = (g - b) / d + (g < b ? 6.0f : 0.0f);
    else if (mx == g)
        h = (b - r) / d + 2.0f;
    else
        h = (r - g) / d + 4.0f;
    out.h = h / 6.0f;
    return out;
}

void hslToRgb(float h, float s, float l, float rgb[3]) {
    if (s == 0.0f) {
        rgb[0] = rgb[1] = rgb[2] = l;
        return;
    }
    const float q = l < 0.5f ? l * (1.0f + s) : l + s - l * s;
    const float p = 2.0f * l - q;
    rgb[0] = hueChannel(p, q, h + 1.0f / 3.0f);
    rgb[1] = hueChannel(p, q, h);
    rgb[2] = hueChannel(p, q, h - 1.0f / 3.0f);
}

void colourUnits(const Colour16& c, bool eightBit, float out[3]) {
    for (int i = 0; i < 3; ++i) out[i] = float(eightBit ? (c[i] >> 8) : (c[i] >> 1));
}

void setupSeaColours(PlanetData& planet, const Colour16& sea, bool eightBit) {
    const float W = eightBit ? 255.0f : 32768.0f;
    float base[3];
    for (int i = 0; i < 3; ++i) {
        base[i] = float(sea[i] >> 8) / 256.0f;
        planet.shallowSea[i] = W * base[i];
    }
    Hsl hsl = rgbToHsl(base);
    hsl.h += 0.06f;
    if (hsl.h > 1.0f) hsl.h -= 1.0f;
    if (hsl.h < 0.0f) hsl.h += 1.0f;
    hsl.l *= 0.9f;
    float deep[3];
    hslToRgb(hsl.h, hsl.s, hsl.l, deep);
    for (int i = 0; i < 3; ++i) planet.deepSea[i] = W * deep[i];
}

void seaColour(const TileConstants& tc, const PlanetData& planet, const CellSample& cell, Vec3 p, float lightTerm,
               float iceFraction, float out[3]) {
    const float t = std::clamp((tc.seaLevel - cell.baseNoise) * 400.0f, 0.0f, 255.0f) * 0.00390625f;
    for (int i = 0; i < 3; ++i) out[i] = planet.shallowSea[i] + t * (planet.deepSea[i] - planet.shallowSea[i]);
    if (!tc.flat) {
        const float g = std::clamp(1.0f - (1.0f - dot(p, tc.halfVector)) * 120.0f, 0.0f, 1.0f);
        const float g2 = g * g;
        const float glint = 80.0f * tc.depthScale * g2 * g2 * g;
        for (int i = 0; i < 3; ++i) out[i] += glint;
    }
    if (iceFraction != 0.0f) {
        for (int i = 0; i < 3; ++i) {
            const float ice = tc.lit ? tc.seaIce[i] * lightTerm : tc.seaIce[i];
            out[i] += iceFraction * (ice - out[i]);
        }
    }
    if (tc.lit)
        for (int i = 0; i < 3; ++i) out[i] *= lightTerm;
}

LandNoise landNoise(const TileConstants& tc, const PlanetData& planet, const CellSample& cell, Vec3 p) {
    const float f = tc.landWarp;
    Vec3 q = p * f;
    q.x += f * cell.baseNoise;
    q.y += f * noise3(planet, q);
    q.z += 1.333333f * f * cell.detail;
    const FractalResult fr = fractalSum(planet, q, 4.0f, 2.0f, 0.9f * tc.roughness);
    return {fr.sum, fr.alternating};
}

void landNoises(const TileConstants& tc, const PlanetData& planet, const CellSample* cells, const Vec3* p,
                int32_t count, LandNoise* out) {
    // The warped points pixel by pixel, the noise in batches of the
    // instruction set in use, then the two octaves summed pixel by pixel.
    const float f = tc.landWarp;
    const float zGain = 1.333333f * f;
    const NoiseKernels& kernels = noiseKernels();
    constexpr int32_t kChunk = 64;
    float x[kChunk], y[kChunk], z[kChunk], detail[kChunk], n0[kChunk], n1[kChunk];
    for (int32_t i = 0; i < count; i += kChunk) {
        const int32_t n = std::min(count - i, kChunk);
        for (int32_t k = 0; k < n; ++k) {
            const Vec3 q = p[i + k] * f;
            x[k] = q.x + f * cells[i + k].baseNoise;
            y[k] = q.y;
            z[k] = q.z;
            detail[k] = cells[i + k].detail;
        }
        kernels.landNoise(planet, x, y, z, detail, n, f, zGain, n0, n1);
        for (int32_t k = 0; k < n; ++k) {
            const float values[2] = {n0[k], n1[k]};
            const noise_detail::Fractal fr = noise_detail::addOctaves(values, 2.0f, 0.9f * tc.roughness);
            out[i + k] = {fr.sum, fr.alternating};
        }
    }
}

float landSlopeLight(const TileConstants& tc, float slopeLight) {
    if (!tc.lunarClimate) return slopeLight;
    if (slopeLight > 0.0f || tc.flat) {
        const float o = 1.0f - slopeLight;
        return 1.0f - o * o * o;
    }
    return 0.0f;
}

LandResult landColour(const TileConstants& tc, const PlanetData& planet, const CellSample& cell, Vec3 p,
                      float& slopeLight) {
    return landColourWith(tc, cell, landNoise(tc, planet, cell, p), slopeLight);
}

LandResult landColourWith(const TileConstants& tc, const CellSample& cell, const LandNoise& noise, float& slopeLight) {
    LandResult r{};
    const float f = tc.landWarp;
    r.n = noise.n;
    r.n2 = noise.n2;

    float* c = r.rgb;
    if (tc.lunarClimate) {
        const float k = 1.3f * cell.terrain + 0.5f;
        for (int i = 0; i < 3; ++i) c[i] = tc.land[i] * k;
        r.ice = 0.0f;
        slopeLight = landSlopeLight(tc, slopeLight);
    } else {
        const float latSq = cell.sinLat * cell.sinLat;
        const float e = f * cell.height;
        const float desert =
            std::clamp(15.0f * cell.craterSum + 4.0f * ((f * r.n - latSq) + tc.desertBias), 0.0f, 1.0f);
        for (int i = 0; i < 3; ++i) c[i] = tc.land[i] + desert * (tc.desert[i] - tc.land[i]);

        const float grey = std::clamp(latSq - 0.6f, 0.0f, 2.0f);
        const float contrast =
            std::clamp(10.0f * cell.detail + 1.0f - (2.0f * grey - 20.0f * cell.craterSum), 0.5f, 1.3f);
        const float Y = 0.3f * c[0] + 0.5f * c[1] + 0.2f * c[2];
        for (int i = 0; i < 3; ++i) c[i] = Y + contrast * (c[i] - Y);

        const float dark =
            std::clamp(r.n2 + 0.3f * (cell.detail + cell.craterSum) + grey + (e >= 0.0f ? e : -3.0f * e), -1.0f, 0.65f);
        for (int i = 0; i < 3; ++i) c[i] *= 1.0f - dark;

        const float w = cell.baseNoise * (1.0f - cell.detail);
        {
            const float R = c[0], G = c[1], B = c[2];
            c[0] = R + w * (B - R);
            c[1] = G + w * (R - G);
            c[2] = B + w * (G - B);
        }

        r.ice = std::clamp(8.0f * cell.detail + 8.0f * (latSq - 0.7f) - tc.iceThreshold, 0.0f, 1.0f);
        for (int i = 0; i < 3; ++i) c[i] += r.ice * (tc.ice[i] - c[i]);

        const float u = r.n2 * (1.0f - desert);
        {
            const float R = c[0], G = c[1], B = c[2];
            c[0] = R + u * (G - R);
            c[1] = G + u * (B - G);
            c[2] = B + u * (R - B);
        }
    }
    for (int i = 0; i < 3; ++i) {
        if (c[i] < 0.0f) c[i] = 0.0f;
        if (tc.lit) c[i] *= slopeLight;
    }
    return r;
}

void hypsometricColour(const TileConstants& tc, float bandMin, float contourInk, float out[3]) {
    const float b = bandMin;
    const float ink = std::min(1.0f, contourInk) / float(tc.sampleFactor);
    float hue, X, lightness, mix;
    if (b < 0.0f) {
        const float m = -b;
        hue = 0.666666f;
        X = 0.029f * (m + 2.0f);
        lightness = 0.7f - 0.015f * m;
        mix = 0.0f;
    } else {
        const float m = b + 1.0f;
        hue = 0.12222222f;
        X = std::min(0.04f * (m + 1.0f), 0.7f);
        lightness = 0.7f - 0.006f * m;
        mix = 0.3f;
    }
    const float tau = 1.0f / (X + 1.0f);
    float saturation = (1.0f - tau) + mix * (X - (1.0f - tau));
    if (ink > 0.0f) {
        lightness *= 1.0f - 0.25f * ink;
        saturation += 0.08f * ink * (1.0f - saturation);
    }
    float mid[3];
    hslToRgb(hue, saturation, 0.5f, mid);
    const float Y0 = std::clamp(0.28f * mid[0] + 0.52f * mid[1] + 0.2f * mid[2], 0.0f, 1.0f);
    float l;
    if (lightness >= 1.0f)
        l = 1.0f;
    else if (lightness <= 0.0f)
        l = 0.0f;
    else if (lightness <= Y0)
        l = 0.5f * lightness / Y0;
    else
        l = 0.5f + 0.5f * (lightness - Y0) / (1.0f - Y0);
    hslToRgb(hue, saturation, l, out);
    const float scale = tc.white * tc.reliefGain;
    for (int i = 0; i < 3; ++i) out[i] *= scale;
}

uint32_t sparkleAt(int32_t x, int32_t y, int32_t seed) {
    // A 32-bit integer hash of the position (lowbias32 rounds).
    uint32_t h = uint32_t(x) * 0x9E3779B1u ^ (uint32_t(y) + 0x7F4A7C15u) * 0x85EBCA77u ^ uint32_t(seed) * 0xC2B2AE3Du;
    h ^= h >> 16;
    h *= 0x7FEB352Du;
    h ^= h >> 15;
    h *= 0x846CA68Bu;
    h ^= h >> 16;
    return h;
}

void cityLight(const TileConstants& tc, const CellSample& cell, float terminator, float landFraction,
               const LandResult& land, int32_t ditherByte, uint32_t sparkle, float out[3]) {
    out[0] = out[1] = out[2] = 0.0f;
    const float sigma = tc.mode == kModeCities ? 0.5f : terminator;
    if (!(sigma < 0.7f) || land.ice != 0.0f || !(landFraction > 0.0f)) return;
    const float t = 1.0f - 4.0f * (cell.elevation - tc.seaLevel);
    if (!(t > 0.0f && t < 1.0f)) return;
    const float eq = 1.0f - std::fabs(cell.sinLat);
    const float density = 0.03f * float(tc.cities) * eq * eq * t * t;
    const float level = density * std::fabs(10.0f * land.n) * 200.0f * (land.n2 + 0.18f);
    if (!(float(ditherByte) < level - 2.0f)) return;
    const float o = 1.0f - sigma;
    const float brightness = o * o * 0.03f * float(int32_t(sparkle % 64u) + 10);
    for (int i = 0; i < 3; ++i) out[i] = brightness * tc.city[i];
}

}  // namespace tv
