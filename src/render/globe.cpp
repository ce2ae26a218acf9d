// The per-tile renderer: projects every pixel onto the planet, samples the
// terrain into the tile's cells, draws contour lines for the hypsometric map,
// then shades every pixel (surface, clouds, air, output mode).
#include <algorithm>
#include <cmath>

#include "render/shading.h"
#include "render/view.h"
#include "synth/cloud_field.h"
#include "synth/noise.h"
#include "synth/terrain.h"

namespace tv {

namespace {

constexpr float kPi = 3.14159265358979323846f;
constexpr float kLnLacunarity = 0.4604494165f;  // ln 1.584786

float clampf(float v, float lo, float hi) { return v < lo ? lo : (v > hi ? hi : v); }

bool atmosphereAllowed(int32_t mode) {
    switch (mode) {
        case 0:
        case kModeNormal:
        case kModeComposite:
        case kModeLitMap:
        case kModeAirColor:
        case kModeMural:
            return true;
        default:
            return false;
    }
}

bool cloudsAllowed(int32_t mode) {
    switch (mode) {
        case 0:
        case kModeNormal:
        case kModeComposite:
        case kModeLitMap:
        case kModeCloudMask:
        case kModeCloudBump:
        case kModeMural:
            return true;
        default:
            return false;
    }
}

bool citiesAllowed(int32_t mode) {
    return mode == kModeNormal || mode == kModeComposite || mode == kModeLitMap || mode == kModeCities ||
           mode == kModeMural;
}

// Modes whose colour is replaced after the shading: they need no land or sea colour.
bool surfaceColourUnused(int32_t mode) {
    return mode == kModeLandBump || mode == kModeBumpWithoutOcean || mode == kModeOceanMask ||
           mode == kModeAirColor || mode == kModeCloudMask || mode == kModeCloudBump;
}

// A pixel projected onto the planet.
struct Projection {
    Vec3 p;
    float rho2 = 0.0f;  // globe: squared distance from the centre in radii
    bool on = false;
};

Projection projectGlobe(const RenderView& v, int32_t x, int32_t y) {
    Projection pr;
    const float X = float(v.cx - x) / v.R;
    const float Y = float(v.cy - y) / v.R;
    pr.rho2 = X * X + Y * Y;
    const float rad = 1.0f - pr.rho2;
    pr.on = rad > 0.0f;
    pr.p = {X, Y, pr.on ? std::sqrt(rad) : 0.0f};
    return pr;
}

// The map point (mx, my) in full-size pixels (pixel centres at +0.5).
Vec3 mapPoint(const TileConstants& tc, const RenderView& v, double mx, double my) {
    const double u = mx * double(v.invWidth);
    const double w = my * double(v.invHeight);
    const double s = std::sin((w - 0.5) * -3.14159265358979323846);
    const double c = std::sqrt(std::max(0.0, 1.0 - s * s));
    const double lambda = (u - 0.5) * 2.0 * 3.14159265358979323846;
    return rotate(tc.latitude, Vec3{float(-std::sin(lambda) * c), float(s), float(std::cos(lambda) * c)});
}

Projection projectFlat(const TileConstants& tc, const RenderView& v, int32_t x, int32_t y) {
    const RenderContext& ctx = *v.context;
    Projection pr;
    pr.on = true;
    const double mx = double(ctx.sampleFactor) * x + ctx.originX + 0.5;
    const double my = double(ctx.sampleFactor) * y + ctx.originY + 0.5;
    pr.p = mapPoint(tc, v, mx, my);
    return pr;
}

// The relief light of a flat map: p turned by the tilt towards the map point
// a little towards the light, so that every point is lit from the same tilt.
Vec3 reliefLight(const TileConstants& tc, const RenderView& v, int32_t x, int32_t y, Vec3 p) {
    const RenderContext& ctx = *v.context;
    const double mx = double(ctx.sampleFactor) * x + ctx.originX + 0.5 + tc.shiftX;
    const double my = double(ctx.sampleFactor) * y + ctx.originY + 0.5 + tc.shiftY;
    // In double: the probe is a hundredth of a pixel away.
    const double u = mx * double(v.invWidth), w = my * double(v.invHeight);
    const double s = std::sin((w - 0.5) * -3.14159265358979323846);
    const double c = std::sqrt(std::max(0.0, 1.0 - s * s));
    const double lambda = (u - 0.5) * 2.0 * 3.14159265358979323846;
    const double q0[3] = {-std::sin(lambda) * c, s, std::cos(lambda) * c};
    double q[3];
    for (int i = 0; i < 3; ++i)
        q[i] = tc.latitude.m[i][0] * q0[0] + tc.latitude.m[i][1] * q0[1] + tc.latitude.m[i][2] * q0[2];
    const double pd[3] = {p.x, p.y, p.z};
    // The part of the probe direction square to p, normalised.
    const double pq = pd[0] * q[0] + pd[1] * q[1] + pd[2] * q[2];
    double t[3] = {q[0] - pd[0] * pq, q[1] - pd[1] * pq, q[2] - pd[2] * pq};
    const double len = std::sqrt(t[0] * t[0] + t[1] * t[1] + t[2] * t[2]);
    if (!(len > 0.0)) return p;
    for (double& ti : t) ti /= len;
    const double ct = std::cos(double(tc.reliefTilt)), st = std::sin(double(tc.reliefTilt));
    return {float(pd[0] * ct + t[0] * st), float(pd[1] * ct + t[1] * st), float(pd[2] * ct + t[2] * st)};
}

// The point a little further from the light, for slopes.
Vec3 shiftedPoint(Vec3 p, Vec3 light) { return normalize(p + 0.001f * normalize(p - 1000.0f * light)); }

// Where the light ray from the ground point meets the cloud layer (the unit
// sphere once the ground is moved inward by the shell scale).
Vec3 shadowPoint(Vec3 p, Vec3 light, const PlanetData& planet) {
    const Vec3 sp = p * planet.cloudShellScale;
    const Vec3 u = light + sp;
    const float us = dot(u, sp);
    const float disc = us * us - (dot(sp, sp) - 1.0f);
    if (disc < 0.0f) return {1.0f, 0.0f, 0.0f};
    const float r = std::sqrt(disc);
    float t = -us - r;
    if (t < 0.0f) t = -us + r;
    return sp + t * u;
}

struct HeightSample {
    TerrainSample terrain;
    float detail;
    float craterSum;
    float height;
};

HeightSample sampleHeight(const PlanetData& planet, const RenderView& v, Vec3 p, float octaves, float lnMu) {
    HeightSample s;
    s.terrain = sampleTerrain(planet, p, octaves, planet.seaLevelHeight, v.sample);
    s.detail = s.terrain.terrain * v.textureGain;
    float h = s.detail;
    s.craterSum = addCraters(planet, p, lnMu, h);
    if (h < 0.0f) h = -(std::sqrt(std::fabs(h) + 0.5f) - 0.707106781186548f);
    s.height = h;
    return s;
}

int32_t contourBand(float v, float S) {
    if (v == -2.0f) return 0;
    const float t = (v - S) / 0.03f;
    return t >= 0.0f ? int32_t(t) : int32_t(t - 1.0f);
}

RenderCell* gridCell(const RenderView& v, int32_t x, int32_t y) {
    return v.cells + size_t(y - v.tile.top + 1) * size_t(v.gridWidth) + size_t(x - v.tile.left + 1);
}

void samplingPass(const RenderView& v, const TileConstants& tc) {
    const PlanetData& planet = *v.context->planet;
    const float S = planet.seaLevelHeight;
    const bool hypsometric = tc.mode == kModeHypsometric;
    // The air and cloud maps show no terrain.
    const bool terrain = !(tc.mode == kModeAirColor || tc.mode == kModeCloudMask || tc.mode == kModeCloudBump);
    // Lit views read the slope sample, except where the shading finds the
    // surface dark (beyond the twilight, no city lights).
    const bool darkSkip = !(tc.citiesOn && tc.cities > 0) && !tc.reliefLight;
    for (int32_t y = v.tile.top - 1; y <= v.tile.bottom; ++y) {
        for (int32_t x = v.tile.left - 1; x <= v.tile.right; ++x) {
            const Projection pr = tc.flat ? projectFlat(tc, v, x, y) : projectGlobe(v, x, y);
            if (!pr.on) continue;
            const Vec3 p = pr.p;
            float* cell = gridCell(v, x, y)->v;
            cell[kCellSinLat] = dot(planet.axis, p);
            if (!terrain) continue;
            const float mu = tc.flat ? 0.70710677f : p.z;
            const float lnMu = std::log(mu);
            float octaves = (v.lnR + lnMu) / kLnLacunarity - 2.0f;
            if (!(octaves >= 1.0f)) octaves = 1.0f;
            const HeightSample hs = sampleHeight(planet, v, p, octaves, lnMu);
            cell[kCellTerrain] = hs.terrain.terrain;
            cell[kCellBaseNoise] = hs.terrain.baseNoise;
            cell[kCellElevation] = hs.terrain.elevation;
            cell[kCellTerrainAlt] = hs.terrain.terrainAlt;
            cell[kCellDetail] = hs.detail;
            cell[kCellCraterSum] = hs.craterSum;
            cell[kCellHeight] = hs.height;
            cell[kCellSeaIce] = 0.0f;
            float toward = hs.height;
            const bool dark = darkSkip && !(dot(p, tc.light) > -tc.terminatorWidth);
            if (tc.lit && !dark && !(hypsometric && hs.height < S - 0.8f)) {
                const Vec3 light = tc.reliefLight ? reliefLight(tc, v, x, y, p) : tc.light;
                toward = sampleHeight(planet, v, shiftedPoint(p, light), octaves, lnMu).height;
            }
            cell[kCellHeightTowardShadow] = toward;
        }
    }
}

void contourPass(const RenderView& v) {
    const float S = v.context->planet->seaLevelHeight;
    for (int32_t y = v.tile.top; y < v.tile.bottom; ++y)
        for (int32_t x = v.tile.left; x < v.tile.right; ++x) gridCell(v, x, y)->v[kCellContourInk] = 0.0f;

    for (int32_t y = v.tile.top; y <= v.tile.bottom; ++y) {
        for (int32_t x = v.tile.left; x <= v.tile.right; ++x) {
            float* cell[4] = {gridCell(v, x - 1, y - 1)->v, gridCell(v, x, y - 1)->v, gridCell(v, x - 1, y)->v,
                              gridCell(v, x, y)->v};
            float c[4];
            int32_t lo = 0, hi = 0;
            for (int i = 0; i < 4; ++i) {
                c[i] = cell[i][kCellHeight];
                const int32_t band = contourBand(c[i], S);
                if (i == 0 || band < lo) lo = band;
                if (i == 0 || band > hi) hi = band;
            }
            cell[3][kCellBandMin] = float(lo);
            if (lo == hi) continue;
            const float level = float(hi) * 0.03f + S;
            for (int i = 0; i < 3; ++i)
                if (c[i] == -2.0f) c[i] = c[3] + 0.00001f;
            const int bits = (c[0] > level ? 1 : 0) | (c[1] > level ? 2 : 0) | (c[2] > level ? 4 : 0) |
                             (c[3] > level ? 8 : 0);
            if (bits != 0 && bits != 15) {
                // Crossings on the cut edges: top c0-c1, right c1-c3, bottom c2-c3, left c0-c2.
                const int edgeA[4] = {0, 1, 2, 0}, edgeB[4] = {1, 3, 3, 2};
                float px[4], py[4];
                int n = 0;
                for (int e = 0; e < 4; ++e) {
                    const float a = c[edgeA[e]], b = c[edgeB[e]];
                    if ((a > level) == (b > level)) continue;
                    const float s = -(a - level) / ((b - level) - (a - level));
                    const float ax = float(edgeA[e] & 1), ay = float(edgeA[e] >> 1);
                    const float bx = float(edgeB[e] & 1), by = float(edgeB[e] >> 1);
                    px[n] = ax + s * (bx - ax);
                    py[n] = ay + s * (by - ay);
                    ++n;
                }
                // Two crossings make one segment; a saddle's four make two,
                // cutting off the two corners on the other side of the centre.
                int pairs[2][2] = {{0, 1}, {2, 3}};
                int segments = n == 4 ? 2 : (n == 2 ? 1 : 0);
                if (n == 4 && ((c[0] + c[1] + c[2] + c[3]) * 0.25f > level) != (bits == 9)) {
                    pairs[0][1] = 3;
                    pairs[1][0] = 1;
                    pairs[1][1] = 2;
                }
                for (int sgm = 0; sgm < segments; ++sgm) {
                    const int a = pairs[sgm][0], b = pairs[sgm][1];
                    const float ddx = px[b] - px[a], ddy = py[b] - py[a];
                    const float ink = std::sqrt(ddx * ddx + ddy * ddy);
                    const float mx = 0.5f * (px[a] + px[b]), my = 0.5f * (py[a] + py[b]);
                    cell[0][kCellContourInk] += ink * (1.0f - mx) * (1.0f - my);
                    cell[1][kCellContourInk] += ink * mx * (1.0f - my);
                    cell[2][kCellContourInk] += ink * (1.0f - mx) * my;
                    cell[3][kCellContourInk] += ink * mx * my;
                }
            }
            cell[2][kCellBandMin] = float(lo);
            cell[0][kCellBandMin] = float(lo);
            cell[3][kCellBandMin] = float(lo);
        }
    }
}

// Bright colours keep their hue and wash to white.
void overexpose(float c[3], float W) {
    for (int i = 0; i < 3; ++i)
        if (c[i] < 0.0f) c[i] = 0.0f;
    const float m = std::max(c[0], std::max(c[1], c[2])) / W;
    if (!(m > 1.0f)) return;
    const float e = 0.3f * std::max(c[0] / W - 1.0f, 0.0f) + 0.59f * std::max(c[1] / W - 1.0f, 0.0f) +
                    0.11f * std::max(c[2] / W - 1.0f, 0.0f);
    const float omega = std::min(2.0f * e, 1.0f);
    for (int i = 0; i < 3; ++i) {
        const float n = c[i] / W / m;
        c[i] = (n + (1.0f - n) * omega) * W;
    }
}

void shadingPass(const RenderView& v, const TileConstants& tc, int32_t dither) {
    const RenderContext& ctx = *v.context;
    const PlanetData& planet = *ctx.planet;
    const float S = planet.seaLevelHeight;
    const float W = tc.white;
    const float g = planet.cloudGain;
    const float w = tc.terminatorWidth;
    const int32_t mode = tc.mode;
    const bool needSurface = !surfaceColourUnused(mode);
    const bool needLand = needSurface;
    const bool needSea = needSurface && mode != kModeLandColor && mode != kModeHypsometric && mode != kModeCities;
    const bool citiesActive = tc.citiesOn && tc.cities > 0;
    const int32_t sf = ctx.sampleFactor;

    for (int32_t y = v.tile.top; y < v.tile.bottom; ++y) {
        for (int32_t x = v.tile.left; x < v.tile.right; ++x) {
            const float dx = float(v.cx - x), dy = float(v.cy - y);
            const float quarterDist = std::trunc(std::sqrt(16.0f * (dx * dx + dy * dy)));
            const Projection pr = tc.flat ? projectFlat(tc, v, x, y) : projectGlobe(v, x, y);
            const Vec3 p = pr.p;
            RenderCell* cellp = gridCell(v, x, y);
            float* cell = cellp->v;

            float colour[3] = {0.0f, 0.0f, 0.0f};
            float cs = tc.flat ? 1.0f : 0.0f;
            float phi = 0.0f, psi = 0.0f;
            float density = 0.0f, cover = 0.0f;
            float city[3] = {0.0f, 0.0f, 0.0f};
            Vec3 light = tc.light;

            if (pr.on) {
                const int32_t ditherByte = planet.seedTable[dither & (kSeedTableSize - 1)];
                ++dither;
                const CellSample cs_{cell[kCellDetail], cell[kCellBaseNoise], cell[kCellTerrain],
                                     cell[kCellElevation], cell[kCellHeight], cell[kCellCraterSum],
                                     cell[kCellSinLat]};
                cs = 1.0f;
                if (!tc.flat && pr.rho2 > tc.edge0Sq) cs = 1.0f - (std::sqrt(pr.rho2) - tc.edge0) * v.R;

                if (tc.reliefLight) light = reliefLight(tc, v, x, y, p);
                const float d = dot(p, light);
                const float L0 = d >= w ? 1.0f : (d > 0.0f ? d / w : 0.0f);
                const float s = 0.5f * L0 + 0.5f;
                const float sigma = (3.0f - 2.0f * s) * s * s;
                const float f = 1.0f + (sigma - 1.0f) * tc.sunsetAmount * 0.5f;
                float mult[3] = {1.0f, 1.0f, 1.0f};
                if (tc.lit) {
                    mult[1] = f;
                    mult[2] = f * f;
                    if (d < 0.0f) {
                        const float tau = d > -w ? d / w + 1.0f : 0.0f;
                        const float k = tau * tau * (3.0f - 2.0f * tau);
                        for (float& m : mult) m *= k;
                    }
                }
                const bool twilight = d > -w;
                float slope = std::max(0.0f, d + (cell[kCellHeightTowardShadow] - cs_.height) * 60.0f);
                const float direct = std::max(0.0f, d);

                const float* up = gridCell(v, x - 1, y - 1)->v;
                const float* upRight = gridCell(v, x, y - 1)->v;
                const float* left = gridCell(v, x - 1, y)->v;
                phi = squareCoverage(up[kCellHeight], upRight[kCellHeight], left[kCellHeight], cs_.height, S);
                psi = squareCoverage(up[kCellSeaIce], upRight[kCellSeaIce], left[kCellSeaIce], cell[kCellSeaIce],
                                     tc.iceThreshold);

                // Beyond the twilight of a lit view every surface term is
                // multiplied by 0: without city lights there is nothing to shade.
                const bool dark = tc.lit && !citiesActive && !twilight;
                if (!dark) {
                    // Cloud cover first: where it is full the surface under it does not show.
                    if (tc.cloudsOn) {
                        density = cloudDensity(planet, p, cs_.sinLat, v.sample);
                        cover = clampf(g * density, 0.0f, 1.0f);
                    }
                    if (cover < 1.0f) {
                        float sea[3] = {0.0f, 0.0f, 0.0f};
                        LandResult land{};
                        if (needSea) seaColour(tc, planet, cs_, p, direct, psi, sea);
                        if (needLand || citiesActive) {
                            if (mode == kModeHypsometric) {
                                hypsometricColour(tc, cell[kCellBandMin], cell[kCellContourInk], land.rgb);
                                for (float& c : land.rgb) c *= slope;
                            } else {
                                land = landColour(tc, planet, cs_, p, slope);
                            }
                        }
                        if (mode == kModeLandColor || mode == kModeHypsometric) {
                            for (int i = 0; i < 3; ++i) colour[i] = land.rgb[i];
                        } else {
                            for (int i = 0; i < 3; ++i) colour[i] = (sea[i] + phi * (land.rgb[i] - sea[i])) * mult[i];
                        }
                        if (citiesActive) {
                            const int32_t fx = sf * x + ctx.originX, fy = sf * y + ctx.originY;
                            cityLight(tc, cs_, sigma, phi, land, ditherByte, sparkleAt(fx, fy, tc.seed), city);
                            for (int i = 0; i < 3; ++i) colour[i] += city[i];
                        }
                        if (tc.cloudsOn && slope > 0.0f && tc.lit) {
                            const float shade = clampf(g * cloudDensity(planet, shadowPoint(p, light, planet),
                                                                        cs_.sinLat, v.sample),
                                                       0.0f, 1.0f) *
                                                planet.shadowStrength;
                            for (float& c : colour) c *= 1.0f - shade;
                        }
                    }
                    if (tc.cloudsOn) {
                        float bump = 0.0f;
                        if (cover > 0.0f && twilight && tc.lit)
                            bump = (cloudDensity(planet, shiftedPoint(p, light), cs_.sinLat, v.sample) - density) *
                                   tc.cloudBumpGain;
                        float lc = clampf(bump + d, 0.0f, 1.0f);
                        lc = 1.0f - (1.0f - lc) * (1.0f - lc);
                        for (int i = 0; i < 3; ++i) {
                            const float cloud = lc * tc.cloud[i] * mult[i];
                            colour[i] = cover < 1.0f ? colour[i] + cover * (cloud - colour[i]) : cloud;
                        }
                    }
                }

                const bool inside = tc.flat || quarterDist < tc.insideLimit;
                for (float& c : colour) c = inside ? std::trunc(c) * cs : 0.0f;
            }

            float alpha = 0.0f;
            if (mode == kModeAirColor) colour[0] = colour[1] = colour[2] = 0.0f;
            if (tc.atmosphereOn && (pr.on || !tc.flat)) {
                const Vec3 ap = pr.on ? p : Vec3{dx / v.R, dy / v.R, 0.0f};
                alpha = addAtmosphere(tc.air, dx, dy, v.R, ap, pr.on ? p.z : 0.0f, cs, light, colour);
            }

            switch (mode) {
                case kModeOceanMask:
                    colour[0] = colour[1] = colour[2] = W * (1.0f - (1.0f - psi) * (1.0f - phi));
                    break;
                case kModeCities:
                    for (int i = 0; i < 3; ++i) colour[i] = city[i];
                    break;
                case kModeCloudMask:
                    colour[0] = colour[1] = colour[2] = W * cover;
                    break;
                case kModeCloudBump:
                    colour[0] = colour[1] = colour[2] = tc.half * density;
                    break;
                case kModeLandBump:
                case kModeBumpWithoutOcean: {
                    float h = cell[kCellHeight];
                    if (mode == kModeBumpWithoutOcean) h = std::max(h, S);
                    const float grey = tc.eightBit ? h * W + tc.half : h * tc.half + tc.half;
                    colour[0] = colour[1] = colour[2] = grey;
                    break;
                }
                default:
                    break;
            }

            overexpose(colour, W);
            cell[kCellColour + 0] = colour[0] / W;
            cell[kCellColour + 1] = colour[1] / W;
            cell[kCellColour + 2] = colour[2] / W;
            cell[kCellColour + 3] = 1.0f;
            cell[kCellExtra + 0] = alpha;
            cell[kCellExtra + 1] = cs;
        }
    }
}

}  // namespace

TileConstants computeTileConstants(const RenderView& v) {
    const RenderContext& ctx = *v.context;
    const ParamRecord& p = *ctx.params;
    const PlanetData& planet = *ctx.planet;
    TileConstants tc;
    const int32_t depth = ctx.target.depthBits;
    tc.eightBit = depth <= 8;
    tc.white = depth <= 8 ? 255.0f : (depth <= 16 ? 32768.0f : 65535.0f);
    tc.half = depth <= 8 ? 128.0f : (depth <= 16 ? 16384.0f : 32767.5f);
    tc.depthScale = tc.eightBit ? 1.0f : 128.0f;
    tc.mode = ctx.mode;
    tc.sampleFactor = std::max(1, ctx.sampleFactor);
    tc.flat = v.flat;
    tc.lit = v.lit;
    tc.seaLevel = planet.seaLevelHeight;
    tc.roughness = planet.roughness;
    tc.seed = p.randomSeed;

    const float radius = float(planetRadius(p.planetSize, ctx.target.fullHeight, ctx.target.fullWidth));
    tc.insideLimit = std::max(0.0f, radius * 4.0f / float(tc.sampleFactor));

    tc.light = {-p.lightX, -p.lightY, p.backlighting ? -p.lightZ : p.lightZ};
    tc.reliefLight = tc.mode == kModeMural || tc.mode == kModeHypsometric;
    tc.contours = tc.mode == kModeHypsometric;
    if (tc.flat) {
        float theta = (p.lightX * p.lightX + p.lightY * p.lightY) * kPi * 0.5f;
        if (tc.mode == kModeHypsometric) {
            theta = std::min(theta, 1.5107963265f);
            tc.reliefGain = 1.0f / std::max(std::cos(theta), 0.01f);
        }
        tc.reliefTilt = theta;
        tc.shiftX = p.lightX * 0.01f;
        tc.shiftY = p.lightY * 0.01f;
    }

    const float a = planet.airThickness;
    const float A = 1.0f + a;
    tc.terminatorWidth = std::max(std::sqrt(1.0f - 1.0f / (A * A)) * 0.5f, 0.07677039f);
    const float airGain = 0.04f * float(p.airBrightness);
    tc.atmosphereOn = a > 0.0f && airGain != 0.0f && atmosphereAllowed(tc.mode);
    tc.cloudsOn = planet.cloudGain > 0.0f && p.cloudCoverage > 0 && cloudsAllowed(tc.mode);
    tc.citiesOn = citiesAllowed(tc.mode);
    tc.sunsetAmount = 0.01f * float(p.sunset);
    tc.iceThreshold = 3.0f - 0.06f * float(p.ice);
    tc.desertBias = (0.01f * float(p.desert) - 0.03f) / 0.7f;
    tc.landWarp = 0.01f * float(p.landComplexity) / 0.57f * 1.5f;
    tc.cloudBumpGain = 0.15f * float(p.cloudTexture);
    const Vec3 h = tc.light + Vec3{0.0f, 0.0f, 1.0f};
    tc.halfVector = (h.x == 0.0f && h.y == 0.0f && h.z == 0.0f) ? Vec3{0.0f, 0.0f, -1.0f} : normalize(h);
    tc.edge0 = 1.0f - 1.0f / v.R;
    tc.edge0Sq = tc.edge0 * tc.edge0;
    tc.latitude = latitudeRotation(planet.axis);
    tc.ditherStart = (v.tile.top * 37 - int32_t(std::trunc(float(v.tile.left) * -kPi)) - 94) & (kSeedTableSize - 1);
    tc.lunarClimate = p.lunarClimate != 0;
    tc.cities = p.cities;

    colourUnits(p.landColor, tc.eightBit, tc.land);
    colourUnits(p.desertColor, tc.eightBit, tc.desert);
    colourUnits(p.iceColor, tc.eightBit, tc.ice);
    colourUnits(p.cityColor, tc.eightBit, tc.city);
    colourUnits(p.cloudColor, tc.eightBit, tc.cloud);
    tc.seaIce[0] = 0.9f * tc.ice[0];
    tc.seaIce[1] = 0.9f * tc.ice[1];
    tc.seaIce[2] = tc.ice[2];

    AtmosphereConstants& ac = tc.air;
    ac.flat = tc.flat;
    ac.opacity = tc.mode == kModeComposite && ctx.target.hasTransparency;
    ac.a = a;
    ac.A = A;
    ac.shellInv = 1.0f / A;
    ac.shadowEdge = -std::sqrt(1.0f - 1.0f / (A * A));
    ac.invThickness = a > 0.0f ? 1.0f / a : 0.0f;
    colourUnits(p.airColor, tc.eightBit, ac.air);
    for (float& c : ac.air) c *= airGain;
    ac.sunsetAmount = tc.sunsetAmount;
    // (-lz - 0.8) x 5 and (-lz - 0.9) x 10 multiplied out, so that light from
    // straight behind gives exactly 1 and fades the back air fully.
    const float lz = tc.light.z;
    ac.nightLift = tc.flat ? 1.0f : clampf(1.0f - lz, 0.0f, 1.0f);
    ac.backFade = 1.0f - clampf(-5.0f * lz - 4.0f, 0.0f, 1.0f);
    const float halo = clampf(-10.0f * lz - 9.0f, 0.0f, 1.0f);
    ac.haloGain = halo * halo;
    ac.depthScale = tc.depthScale;
    return tc;
}

void renderTile(RenderView& v) {
    if (!v.cells || !v.context) return;
    const TileConstants tc = computeTileConstants(v);
    samplingPass(v, tc);
    if (tc.contours) contourPass(v);
    // The dither index moves on by one per cell of the sampling pass.
    const int32_t dither = tc.ditherStart + v.gridWidth * v.gridHeight;
    shadingPass(v, tc, dither);
}

}  // namespace tv
