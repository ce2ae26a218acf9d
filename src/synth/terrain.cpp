// The terrain height field, crater placement and crater stamping.
#include "synth/terrain.h"

#include <cmath>
#include <cstring>

#include "synth/noise.h"
#include "synth/noise_inline.h"
#include "synth/pyramid.h"
#include "synth/relief_images.h"

namespace tv {

void setupTerrainConstants(PlanetData& planet, const ParamRecord& params) {
    const float v = 0.02f * static_cast<float>(params.seaLevel - 50);
    planet.seaLevelHeight = 0.4f * v * std::fabs(v);
    planet.roughness = 0.6f + 0.00225f * static_cast<float>(params.landComplexity);
    planet.craterDepth = 0.00004f * static_cast<float>(params.craterTexture);
    planet.realLuna = params.realLuna != 0;
    planet.axis = {-params.axisX, -params.axisY, params.axisZ};
}

TerrainSample sampleTerrain(const PlanetData& planet, Vec3 p, float octaves, float seaLevel,
                            const SampleView& view) {
    TerrainSample s;
    if (planet.realLuna) {
        // The lunar relief, read by the point's x and y alone (flat when the
        // image could not be loaded).
        const ImagePyramid* luna = planet.reliefs[kReliefLuna];
        const float value = luna ? samplePyramid(*luna, static_cast<int32_t>(view.mapLevel), view.mapLevelFrac,
                                                 0.5f + 0.5f * p.x, 0.5f + 0.5f * p.y)
                                 : 128.0f;
        const float r = (value - 128.0f) * 0.003f;
        s.terrain = r;
        s.baseNoise = r;
        s.terrainAlt = r;
        s.elevation = 0.0f;
        return s;
    }
    Vec3 q{1.5f * p.x, 1.5f * p.y, 1.5f * p.z};
    const noise_detail::Fractal f = noise_detail::fractalSum(planet, q, 1.584786f, octaves, planet.roughness);
    const float e = f.sum - seaLevel;
    s.baseNoise = f.firstOctave;
    s.terrainAlt = f.alternating;
    s.elevation = e;
    s.terrain = e * std::fabs(e);
    return s;
}

void setupCraters(PlanetData& planet, const ParamRecord& params) {
    const float sigma = 0.0012f * static_cast<float>(params.craterSize);
    const float spacing = static_cast<float>(100 - params.craterCount) * 0.005f;
    int32_t k = 425;
    int32_t placed = 0;
    int failures = 0;
    planet.craterCount = 0;
    for (;;) {
        const Vec3 a = randomUnitVector(planet, k);
        const Vec3 b = randomUnitVector(planet, k);
        const Vec3 c = normalize(cross(a, b));
        const float s = 0.5f + 0.25f * (static_cast<float>(nextRandomByte(planet, k)) / 127.5f);
        const float r = 5.0f * sigma * s;

        // Centres are compared with z folded onto z >= 0, so a crater also
        // keeps others off its mirror image across z = 0.
        bool accepted = true;
        if (placed > 0) {
            Vec3 d = cross(a, c);
            d.z = std::fabs(d.z);
            for (int32_t j = 0; j < placed; ++j) {
                const CraterRecord& other = planet.craters[j];
                Vec3 dj = cross(other.axisU, other.axisV);
                dj.z = std::fabs(dj.z);
                const Vec3 diff = d - dj;
                if (std::sqrt(dot(diff, diff)) < spacing * (r + other.radius)) {
                    accepted = false;
                    break;
                }
            }
        }
        if (accepted) {
            planet.craters[placed] = {a, c, r, 1.0f / r, std::log(r)};
            ++placed;
            planet.craterCount = placed;
            failures = 0;
        } else {
            ++failures;
        }
        if (placed > params.craterCount || placed == kMaxCraters || failures == 151) break;
    }
}

float addCraters(const PlanetData& planet, Vec3 p, float lnMu, float& h) {
    float sum = 0.0f;
    const int32_t last = planet.craterCount - 1;  // the last record placed is not stamped
    for (int32_t i = 0; i < last; ++i) {
        const CraterRecord& c = planet.craters[i];
        const float d = p.x * c.axisU.x + p.y * c.axisU.y + p.z * c.axisU.z;
        if (!(d > -c.radius && d < c.radius)) continue;
        const float e = p.x * c.axisV.x + p.y * c.axisV.y + p.z * c.axisV.z;
        if (!(e > -c.radius && e < c.radius)) continue;

        // Four orientations per texture: every 16 craters show each texture
        // mirrored four ways.
        const int32_t m = (i >> 2) & 3;
        const float su = (m & 1) ? -0.5f : 0.5f;
        const float sv = (m & 2) ? -0.5f : 0.5f;
        const float u = 0.5f + su * d / c.radius;
        const float v = 0.5f + sv * e / c.radius;

        // The level whose texel matches the crater's size on screen.
        float level = (planet.craterLevelBias + c.logRadius + lnMu) * -1.442695040888963f;
        if (std::isnan(level)) level = 1.0f;
        // A crater larger on screen than its texture reads level 0 as it is:
        // a negative fraction would extrapolate past level 0 and jump where
        // the level crosses -1.
        if (level < 0.0f) level = 0.0f;
        const int32_t whole = static_cast<int32_t>(level);
        const float fraction = level - static_cast<float>(whole);

        // A texture that could not be loaded is null and adds no relief.
        const ImagePyramid* texture = planet.reliefs[kReliefCrater0 + (i & 3)];
        const float t = texture ? samplePyramid(*texture, whole, fraction, u, v) : 128.0f;
        sum += planet.craterDepth * c.radius * (t - 128.0f);
    }
    h += sum;
    return sum;
}

bool loadReliefMaps(ImagePyramid (&reliefs)[kReliefCount], PlanetData& planet) {
    bool all = true;
    for (int k = 0; k < kReliefCount; ++k) {
        planet.reliefs[k] = nullptr;
        ReliefImage image;
        if (!findReliefImage(kReliefResourceIds[k], image) ||
            !createPyramid(reliefs[k], image.width, image.height, kFormatGrey8, kWrapClamp)) {
            // Not loaded: the pyramid stays empty and the planet reads no relief from it.
            freePyramid(reliefs[k]);
            all = false;
            continue;
        }
        for (int32_t y = 0; y < image.height; ++y)
            for (int32_t x = 0; x < image.width; x += kPyramidTileSize) {
                const int32_t run = image.width - x < kPyramidTileSize ? image.width - x : kPyramidTileSize;
                std::memcpy(pixelAddress(reliefs[k], 0, x, y), image.pixels + static_cast<size_t>(y) * image.width + x,
                            static_cast<size_t>(run));
            }
        reliefs[k].state = 1;
        buildChain(reliefs[k]);
        planet.reliefs[k] = &reliefs[k];
    }
    return all;
}

}  // namespace tv
