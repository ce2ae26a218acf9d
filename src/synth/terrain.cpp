// The terrain height field, crater placement and crater stamping.
#include "synth/terrain.h"

#include <algorithm>
#include <cmath>

#include "base/det_math.h"
#include <cstring>

#include "synth/noise.h"
#include "synth/noise_inline.h"
#include "synth/pyramid.h"
#include "synth/relief_images.h"
#include "synth/simd.h"

namespace tv {

void setupTerrainConstants(PlanetData& planet, const ParamRecord& params) {
    const float v = 0.02f * (static_cast<float>(params.seaLevel) - 50.0f);
    planet.seaLevelHeight = 0.4f * v * std::fabs(v);
    planet.roughness = 0.6f + 0.00225f * static_cast<float>(params.landComplexity);
    planet.craterDepth = 0.00004f * static_cast<float>(params.craterTexture);
    planet.realLuna = params.realLuna != 0;
    planet.axis = {-params.axisX, -params.axisY, params.axisZ};
}

namespace {

// The lunar relief at p, read by its x and y alone (flat when the image
// could not be loaded).
TerrainSample lunarTerrain(const PlanetData& planet, Vec3 p, const SampleView& view) {
    TerrainSample s;
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

TerrainSample fractalTerrain(const noise_detail::Fractal& f, float seaLevel) {
    TerrainSample s;
    const float e = f.sum - seaLevel;
    s.baseNoise = f.firstOctave;
    s.terrainAlt = f.alternating;
    s.elevation = e;
    s.terrain = e * std::fabs(e);
    return s;
}

}  // namespace

TerrainSample sampleTerrain(const PlanetData& planet, Vec3 p, float octaves, float seaLevel,
                            const SampleView& view) {
    if (planet.realLuna) return lunarTerrain(planet, p, view);
    Vec3 q{1.5f * p.x, 1.5f * p.y, 1.5f * p.z};
    return fractalTerrain(noise_detail::fractalSumSerial(planet, q, 1.584786f, octaves, planet.roughness), seaLevel);
}

void sampleTerrains(const PlanetData& planet, const Vec3* points, const float* octaves, int32_t count,
                    float seaLevel, const SampleView& view, TerrainSample* out) {
    if (planet.realLuna) {
        for (int32_t i = 0; i < count; ++i) out[i] = lunarTerrain(planet, points[i], view);
        return;
    }
    // The batched sums of the instruction set in use, a row's points at once.
    constexpr int32_t kChunk = 64;
    Vec3 q[kChunk];
    FractalValue f[kChunk];
    const NoiseKernels& kernels = noiseKernels();
    for (int32_t i = 0; i < count; i += kChunk) {
        const int32_t group = count - i < kChunk ? count - i : kChunk;
        for (int32_t k = 0; k < group; ++k) q[k] = {1.5f * points[i + k].x, 1.5f * points[i + k].y, 1.5f * points[i + k].z};
        kernels.fractalSums(planet, q, octaves + i, group, 1.584786f, planet.roughness, f);
        for (int32_t k = 0; k < group; ++k)
            out[i + k] = fractalTerrain(noise_detail::Fractal{f[k].sum, f[k].firstOctave, f[k].alternating}, seaLevel);
    }
}

void setupCraters(PlanetData& planet, const ParamRecord& params) {
    const float sigma = 0.0012f * static_cast<float>(params.craterSize);
    const float spacing = (100.0f - static_cast<float>(params.craterCount)) * 0.005f;
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
            planet.craters[placed] = {a, c, r, 1.0f / r, tv::dmath::log(r)};
            ++placed;
            planet.craterCount = placed;
            failures = 0;
        } else {
            ++failures;
        }
        if (placed > params.craterCount || placed == kMaxCraters || failures == 151) break;
    }
    indexCraters(planet);
}

void indexCraters(PlanetData& planet) {
    CraterColumns& col = planet.craterColumns;
    const int32_t stamped = planet.craterCount - 1;
    for (int32_t i = 0; i < kCraterColumns; ++i) {
        if (i < stamped && i < kMaxCraters) {
            const CraterRecord& c = planet.craters[i];
            col.ux[i] = c.axisU.x;
            col.uy[i] = c.axisU.y;
            col.uz[i] = c.axisU.z;
            col.vx[i] = c.axisV.x;
            col.vy[i] = c.axisV.y;
            col.vz[i] = c.axisV.z;
            col.radius[i] = c.radius;
        } else {
            col.ux[i] = col.uy[i] = col.uz[i] = col.vx[i] = col.vy[i] = col.vz[i] = 0.0f;
            col.radius[i] = -1.0f;
        }
    }
}

namespace {

// The relief of crater i at footprint coordinates (d, e), inside the footprint.
inline float craterRelief(const PlanetData& planet, int32_t i, float d, float e, float lnMu) {
    const CraterRecord& c = planet.craters[i];
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
    // A crater larger on screen than its texture reads level 0 as it is: a
    // negative fraction would extrapolate past level 0 and jump where the
    // level crosses -1.
    if (level < 0.0f) level = 0.0f;
    const int32_t whole = static_cast<int32_t>(level);
    const float fraction = level - static_cast<float>(whole);

    // A texture that could not be loaded is null and adds no relief.
    const ImagePyramid* texture = planet.reliefs[kReliefCrater0 + (i & 3)];
    const float t = texture ? samplePyramid(*texture, whole, fraction, u, v) : 128.0f;
    return planet.craterDepth * c.radius * (t - 128.0f);
}

// The relief of the craters of columns at p: index maps a column to its record.
// Hits are added in column order (record order).
template <typename IndexOf>
float stampCraters(const PlanetData& planet, const CraterColumns& col, int32_t count, IndexOf indexOf, Vec3 p,
                   float lnMu) {
    float sum = 0.0f;
    // A crater covers p when -r < p.axisU < r and -r < p.axisV < r.
#ifdef TV_NOISE_LANES
    using noise_detail::Lanes;
    typedef int32_t Mask __attribute__((vector_size(16)));
    const Lanes px = {p.x, p.x, p.x, p.x}, py = {p.y, p.y, p.y, p.y}, pz = {p.z, p.z, p.z, p.z};
    for (int32_t i = 0; i < count; i += 4) {
        Lanes ux, uy, uz, vx, vy, vz, r;
        std::memcpy(&ux, col.ux + i, sizeof ux);
        std::memcpy(&uy, col.uy + i, sizeof uy);
        std::memcpy(&uz, col.uz + i, sizeof uz);
        std::memcpy(&vx, col.vx + i, sizeof vx);
        std::memcpy(&vy, col.vy + i, sizeof vy);
        std::memcpy(&vz, col.vz + i, sizeof vz);
        std::memcpy(&r, col.radius + i, sizeof r);
        // The same products and sums, in the same order, as p . axisU.
        const Lanes d = px * ux + py * uy + pz * uz;
        const Lanes e = px * vx + py * vy + pz * vz;
        const Mask hit = (-r < d) & (d < r) & (-r < e) & (e < r);
        if (!(hit[0] | hit[1] | hit[2] | hit[3])) continue;
        for (int32_t k = 0; k < 4 && i + k < count; ++k)
            if (hit[k]) sum += craterRelief(planet, indexOf(i + k), d[k], e[k], lnMu);
    }
#else
    for (int32_t i = 0; i < count; ++i) {
        const float d = p.x * col.ux[i] + p.y * col.uy[i] + p.z * col.uz[i];
        const float e = p.x * col.vx[i] + p.y * col.vy[i] + p.z * col.vz[i];
        const float r = col.radius[i];
        if (-r < d && d < r && -r < e && e < r) sum += craterRelief(planet, indexOf(i), d, e, lnMu);
    }
#endif
    return sum;
}

// The range of a . q over the points q of the box [lo, hi].
void dotRange(Vec3 a, Vec3 lo, Vec3 hi, float& low, float& high) {
    const float x0 = a.x * lo.x, x1 = a.x * hi.x;
    const float y0 = a.y * lo.y, y1 = a.y * hi.y;
    const float z0 = a.z * lo.z, z1 = a.z * hi.z;
    low = std::min(x0, x1) + std::min(y0, y1) + std::min(z0, z1);
    high = std::max(x0, x1) + std::max(y0, y1) + std::max(z0, z1);
}

}  // namespace

float addCraters(const PlanetData& planet, Vec3 p, float lnMu, float& h) {
    // Every record but the last placed is stamped.
    const int32_t stamped = planet.craterCount - 1 < kMaxCraters ? planet.craterCount - 1 : kMaxCraters;
    const float sum = stampCraters(planet, planet.craterColumns, stamped, [](int32_t i) { return i; }, p, lnMu);
    h += sum;
    return sum;
}

void selectCraters(const PlanetData& planet, Vec3 lo, Vec3 hi, float margin, CraterSet& set) {
    // Far more than the rounding of the dot products, in either computation.
    constexpr float kSlack = 1e-4f;
    lo = {lo.x - margin, lo.y - margin, lo.z - margin};
    hi = {hi.x + margin, hi.y + margin, hi.z + margin};
    const int32_t stamped = planet.craterCount - 1 < kMaxCraters ? planet.craterCount - 1 : kMaxCraters;
    const CraterColumns& all = planet.craterColumns;
    CraterColumns& col = set.columns;
    int32_t n = 0;
    for (int32_t i = 0; i < stamped; ++i) {
        const float r = all.radius[i] + kSlack;
        float low, high;
        dotRange({all.ux[i], all.uy[i], all.uz[i]}, lo, hi, low, high);
        if (!(low < r && high > -r)) continue;
        dotRange({all.vx[i], all.vy[i], all.vz[i]}, lo, hi, low, high);
        if (!(low < r && high > -r)) continue;
        set.index[n] = i;
        col.ux[n] = all.ux[i];
        col.uy[n] = all.uy[i];
        col.uz[n] = all.uz[i];
        col.vx[n] = all.vx[i];
        col.vy[n] = all.vy[i];
        col.vz[n] = all.vz[i];
        col.radius[n] = all.radius[i];
        ++n;
    }
    set.count = n;
    // The tail of the last group of four never hits.
    for (int32_t i = n; i < n + 4 && i < kCraterColumns; ++i) {
        set.index[i] = 0;
        col.ux[i] = col.uy[i] = col.uz[i] = col.vx[i] = col.vy[i] = col.vz[i] = 0.0f;
        col.radius[i] = -1.0f;
    }
}

float addCraters(const PlanetData& planet, const CraterSet& set, Vec3 p, float lnMu, float& h) {
    const float sum = stampCraters(planet, set.columns, set.count, [&set](int32_t i) { return set.index[i]; }, p, lnMu);
    h += sum;
    return sum;
}

namespace {

// Calls rowPart(level-0 address, image address, bytes) for every tile-wide
// piece of every row of the image; stops at the first false.
template <typename RowPart>
bool forEachRowPart(const ImagePyramid& p, const ReliefImage& image, RowPart rowPart) {
    for (int32_t y = 0; y < image.height; ++y)
        for (int32_t x = 0; x < image.width; x += kPyramidTileSize) {
            const int32_t run = image.width - x < kPyramidTileSize ? image.width - x : kPyramidTileSize;
            if (!rowPart(pixelAddress(p, 0, x, y), image.pixels + static_cast<size_t>(y) * image.width + x,
                         static_cast<size_t>(run)))
                return false;
        }
    return true;
}

// Whether the pyramid already holds the image with its chain built (an
// earlier set-up loaded it).
bool holdsImage(const ImagePyramid& p, const ReliefImage& image) {
    if (p.empty() || p.state != 2 || p.format != kFormatGrey8 || p.wrapMode != kWrapClamp ||
        p.levelWidth[0] != image.width || p.levelHeight[0] != image.height)
        return false;
    return forEachRowPart(p, image, [](const uint8_t* level0, const uint8_t* pixels, size_t n) {
        return std::memcmp(level0, pixels, n) == 0;
    });
}

}  // namespace

bool loadReliefMaps(ImagePyramid (&reliefs)[kReliefCount], PlanetData& planet) {
    bool all = true;
    for (int k = 0; k < kReliefCount; ++k) {
        planet.reliefs[k] = nullptr;
        ReliefImage image;
        const bool found = findReliefImage(kReliefResourceIds[k], image);
        // The images never change: what an earlier set-up built is kept.
        if (found && holdsImage(reliefs[k], image)) {
            planet.reliefs[k] = &reliefs[k];
            continue;
        }
        if (!found || !createPyramid(reliefs[k], image.width, image.height, kFormatGrey8, kWrapClamp)) {
            // Not loaded: the pyramid stays empty and the planet reads no relief from it.
            freePyramid(reliefs[k]);
            all = false;
            continue;
        }
        forEachRowPart(reliefs[k], image, [](uint8_t* level0, const uint8_t* pixels, size_t n) {
            std::memcpy(level0, pixels, n);
            return true;
        });
        reliefs[k].state = 1;
        buildChain(reliefs[k]);
        planet.reliefs[k] = &reliefs[k];
    }
    return all;
}

}  // namespace tv
