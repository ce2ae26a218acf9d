// The per-tile renderer: projects every pixel onto the planet, samples the
// terrain into the tile's cells, draws contour lines for the hypsometric map,
// then shades every pixel (surface, clouds, air, output mode).
#include <algorithm>
#include <cmath>

#include "base/det_math.h"
#include <vector>

#include "render/shading.h"
#include "render/view.h"
#include "synth/cloud_field.h"
#include "synth/noise.h"
#include "synth/simd.h"
#include "synth/terrain.h"

namespace tv {

namespace {

constexpr float kPi = 3.14159265358979323846f;
constexpr float kLnLacunarity = 0.4604494165f;  // ln 1.584786

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

// The trigonometry of a flat map, made once per tile: a map pixel's point
// depends on its column through the longitude and on its row through the
// latitude only. Tables cover the grid (columns from left - 1, rows from top - 1).
struct FlatTables {
    int32_t left = 0, top = 0;
    std::vector<double> sinLon, cosLon, sinLat, cosLat;
    // The same for the relief light's probe points (shifted by shiftX, shiftY).
    std::vector<double> probeSinLon, probeCosLon, probeSinLat, probeCosLat;
    double cosTilt = 1.0, sinTilt = 0.0;
};

// Longitude of map column mx and latitude of map row my (full-size pixels,
// pixel centres at +0.5): sin and cos of each.
void longitude(const RenderView& v, double mx, double& sinLon, double& cosLon) {
    const double u = mx * double(v.invWidth);
    const double lambda = (u - 0.5) * 2.0 * 3.14159265358979323846;
    sinLon = tv::dmath::sin(lambda);
    cosLon = tv::dmath::cos(lambda);
}

void latitude(const RenderView& v, double my, double& s, double& c) {
    const double w = my * double(v.invHeight);
    s = tv::dmath::sin((w - 0.5) * -3.14159265358979323846);
    c = std::sqrt(std::max(0.0, 1.0 - s * s));
}

void setupFlatTables(const TileConstants& tc, const RenderView& v, FlatTables& t) {
    const RenderContext& ctx = *v.context;
    t.left = v.tile.left - 1;
    t.top = v.tile.top - 1;
    const size_t columns = size_t(std::max(v.gridWidth, 0)), rows = size_t(std::max(v.gridHeight, 0));
    t.sinLon.resize(columns);
    t.cosLon.resize(columns);
    t.sinLat.resize(rows);
    t.cosLat.resize(rows);
    for (size_t i = 0; i < columns; ++i)
        longitude(v, double(ctx.sampleFactor) * (t.left + int32_t(i)) + ctx.originX + 0.5, t.sinLon[i], t.cosLon[i]);
    for (size_t i = 0; i < rows; ++i)
        latitude(v, double(ctx.sampleFactor) * (t.top + int32_t(i)) + ctx.originY + 0.5, t.sinLat[i], t.cosLat[i]);
    if (!tc.reliefLight) return;
    t.probeSinLon.resize(columns);
    t.probeCosLon.resize(columns);
    t.probeSinLat.resize(rows);
    t.probeCosLat.resize(rows);
    for (size_t i = 0; i < columns; ++i)
        longitude(v, double(ctx.sampleFactor) * (t.left + int32_t(i)) + ctx.originX + 0.5 + tc.shiftX, t.probeSinLon[i],
                  t.probeCosLon[i]);
    for (size_t i = 0; i < rows; ++i)
        latitude(v, double(ctx.sampleFactor) * (t.top + int32_t(i)) + ctx.originY + 0.5 + tc.shiftY, t.probeSinLat[i],
                 t.probeCosLat[i]);
    t.cosTilt = tv::dmath::cos(double(tc.reliefTilt));
    t.sinTilt = tv::dmath::sin(double(tc.reliefTilt));
}

// The map pixel (x, y) of the grid, taken at its centre.
Projection projectFlat(const TileConstants& tc, const FlatTables& t, int32_t x, int32_t y) {
    const size_t i = size_t(x - t.left), j = size_t(y - t.top);
    const double c = t.cosLat[j];
    Projection pr;
    pr.on = true;
    pr.p = rotate(tc.latitude, Vec3{float(-t.sinLon[i] * c), float(t.sinLat[j]), float(t.cosLon[i] * c)});
    return pr;
}

// The relief light of a flat map: p turned by the tilt towards the map point
// a little towards the light, so that every point is lit from the same tilt.
Vec3 reliefLight(const TileConstants& tc, const FlatTables& t, int32_t x, int32_t y, Vec3 p) {
    const size_t i = size_t(x - t.left), j = size_t(y - t.top);
    // In double: the probe is a hundredth of a pixel away.
    const double c = t.probeCosLat[j];
    const double q0[3] = {-t.probeSinLon[i] * c, t.probeSinLat[j], t.probeCosLon[i] * c};
    double q[3];
    for (int k = 0; k < 3; ++k)
        q[k] = tc.latitude.m[k][0] * q0[0] + tc.latitude.m[k][1] * q0[1] + tc.latitude.m[k][2] * q0[2];
    const double pd[3] = {p.x, p.y, p.z};
    // The part of the probe direction square to p, normalised.
    const double pq = pd[0] * q[0] + pd[1] * q[1] + pd[2] * q[2];
    double d[3] = {q[0] - pd[0] * pq, q[1] - pd[1] * pq, q[2] - pd[2] * pq};
    const double len = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
    if (!(len > 0.0)) return p;
    for (double& di : d) di /= len;
    const double ct = t.cosTilt, st = t.sinTilt;
    return {float(pd[0] * ct + d[0] * st), float(pd[1] * ct + d[1] * st), float(pd[2] * ct + d[2] * st)};
}

Projection project(const TileConstants& tc, const RenderView& v, const FlatTables& t, int32_t x, int32_t y) {
    return tc.flat ? projectFlat(tc, t, x, y) : projectGlobe(v, x, y);
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

// The height from a terrain sample: detail, craters (from the craters that
// may cover p) and the depth compression below 0.
HeightSample heightFrom(const PlanetData& planet, const RenderView& v, const CraterSet& craters, Vec3 p,
                        const TerrainSample& terrain, float lnMu) {
    HeightSample s;
    s.terrain = terrain;
    s.detail = s.terrain.terrain * v.textureGain;
    float h = s.detail;
    s.craterSum = addCraters(planet, craters, p, lnMu, h);
    if (h < 0.0f) h = -(std::sqrt(std::fabs(h) + 0.5f) - 0.707106781186548f);
    s.height = h;
    return s;
}

int32_t contourBand(float v, float S) {
    if (v == -2.0f) return 0;
    // Heights of settings far out of range stay inside the integers (no band for NaN).
    const float t = std::clamp((v - S) / 0.03f, -1e9f, 1e9f);
    if (t != t) return 0;
    return t >= 0.0f ? int32_t(t) : int32_t(t - 1.0f);
}

// Grid row y's sampled cells, from column left - 1: two rows are kept (y
// and y - 1), or every row for contour maps.
SampledCell* sampledRow(const RenderView& v, int32_t y) {
    const int32_t gy = y - v.tile.top + 1;
    return v.buffers->sampled.data() + size_t(v.wholeGrid ? gy : (gy & 1)) * size_t(v.gridWidth);
}

// Grid cell (x, y) of a grid-wide array of contour maps.
size_t gridIndex(const RenderView& v, int32_t x, int32_t y) {
    return size_t(y - v.tile.top + 1) * size_t(v.gridWidth) + size_t(x - v.tile.left + 1);
}

// The terrain a row of the sampling pass asks for: every pixel's point and,
// where the slope is read, its shifted point; sampled together.
struct RowTerrain {
    std::vector<Vec3> points;
    std::vector<float> octaves;
    std::vector<TerrainSample> samples;

    explicit RowTerrain(size_t capacity) {
        points.reserve(capacity);
        octaves.reserve(capacity);
        samples.resize(capacity);
    }
    void clear() {
        points.clear();
        octaves.clear();
    }
    int32_t add(Vec3 p, float o) {
        points.push_back(p);
        octaves.push_back(o);
        return int32_t(points.size()) - 1;
    }
    void sample(const PlanetData& planet, float seaLevel, const SampleView& view) {
        sampleTerrains(planet, points.data(), octaves.data(), int32_t(points.size()), seaLevel, view, samples.data());
    }
};

// The sampling pass, a grid row at a time (rows top - 1 .. bottom).
class SamplingPass {
public:
    SamplingPass(const RenderView& view, const TileConstants& constants, const FlatTables& flatTables)
        : v(view),
          tc(constants),
          flat(flatTables),
          planet(*view.context->planet),
          S(planet.seaLevelHeight),
          hypsometric(tc.mode == kModeHypsometric),
          // The air and cloud maps show no terrain.
          terrain(!(tc.mode == kModeAirColor || tc.mode == kModeCloudMask || tc.mode == kModeCloudBump)),
          // Lit views read the slope sample, except where the shading finds the
          // surface dark (beyond the twilight, no city lights).
          darkSkip(!(tc.citiesOn && tc.cities > 0) && !tc.reliefLight),
          first(view.tile.left - 1),
          // The grid's last column is read by the contour pass only.
          columns(std::max(view.wholeGrid ? view.gridWidth : view.gridWidth - 1, 0)),
          projections(static_cast<size_t>(columns)),
          requests(2 * static_cast<size_t>(columns)),
          deepRequests(static_cast<size_t>(columns)) {
        pixels.reserve(static_cast<size_t>(columns));
    }

    void row(int32_t y);
    // The projections of the last sampled row, from column left - 1.
    const Projection* rowProjections() const { return projections.data(); }

private:
    // A pixel of the row on the planet, and where its terrain samples are.
    struct Pixel {
        int32_t x;
        Vec3 p, shifted;
        float lnMu, octaves;
        bool slope;              // the shading reads the slope: the shifted point is sampled
        int32_t atP, atShifted;  // indices into the row's samples; -1 for none
    };

    const RenderView& v;
    const TileConstants& tc;
    const FlatTables& flat;
    const PlanetData& planet;
    const float S;
    const bool hypsometric, terrain, darkSkip;
    const int32_t first, columns;
    std::vector<Projection> projections;
    std::vector<Pixel> pixels;
    std::vector<float> mus, lnMus;
    RowTerrain requests, deepRequests;
    CraterSet craters;
};

void SamplingPass::row(int32_t y) {
    // Cells off the planet read as 0.
    SampledCell* cells = sampledRow(v, y);
    std::fill(cells, cells + v.gridWidth, SampledCell{});
    // The row's points, and the craters that may cover them or their
    // shifted points (within 0.0011 of them).
    Vec3 lo{2.0f, 2.0f, 2.0f}, hi{-2.0f, -2.0f, -2.0f};
    for (int32_t i = 0; i < columns; ++i) {
        const Projection pr = project(tc, v, flat, first + i, y);
        projections[size_t(i)] = pr;
        if (!pr.on) continue;
        lo = {std::min(lo.x, pr.p.x), std::min(lo.y, pr.p.y), std::min(lo.z, pr.p.z)};
        hi = {std::max(hi.x, pr.p.x), std::max(hi.y, pr.p.y), std::max(hi.z, pr.p.z)};
        cells[i].sinLat = dot(planet.axis, pr.p);
    }
    if (!terrain) return;
    selectCraters(planet, lo, hi, 0.004f, craters);

    // The terrain the row needs. The slope reads the height at the
    // shifted point too: known before sampling, but in the hypsometric
    // map, which leaves deep sea out.
    pixels.clear();
    requests.clear();
    // ln mu of the row's pixels on the planet, together.
    mus.clear();
    for (int32_t i = 0; i < columns; ++i)
        if (projections[size_t(i)].on) mus.push_back(tc.flat ? 0.70710677f : projections[size_t(i)].p.z);
    lnMus.resize(mus.size());
    noiseKernels().logs(mus.data(), lnMus.data(), int32_t(mus.size()));
    for (int32_t i = 0; i < columns; ++i) {
        const Projection& pr = projections[size_t(i)];
        if (!pr.on) continue;
        Pixel px;
        px.x = first + i;
        px.p = pr.p;
        px.lnMu = lnMus[pixels.size()];
        px.octaves = (v.lnR + px.lnMu) / kLnLacunarity - 2.0f;
        if (!(px.octaves >= 1.0f)) px.octaves = 1.0f;
        const bool dark = darkSkip && !(dot(px.p, tc.light) > -tc.terminatorWidth);
        px.slope = tc.lit && !dark;
        px.atShifted = -1;
        if (px.slope) {
            const Vec3 light = tc.reliefLight ? reliefLight(tc, flat, px.x, y, px.p) : tc.light;
            px.shifted = shiftedPoint(px.p, light);
        }
        px.atP = requests.add(px.p, px.octaves);
        if (px.slope && !hypsometric) px.atShifted = requests.add(px.shifted, px.octaves);
        pixels.push_back(px);
    }
    requests.sample(planet, S, v.sample);

    deepRequests.clear();
    for (Pixel& px : pixels) {
        const HeightSample hs = heightFrom(planet, v, craters, px.p, requests.samples[size_t(px.atP)], px.lnMu);
        SampledCell& cell = cells[px.x - first];
        cell.terrain = hs.terrain.terrain;
        cell.baseNoise = hs.terrain.baseNoise;
        cell.elevation = hs.terrain.elevation;
        cell.detail = hs.detail;
        cell.craterSum = hs.craterSum;
        cell.height = hs.height;
        float toward = hs.height;
        if (px.atShifted >= 0) {
            toward = heightFrom(planet, v, craters, px.shifted, requests.samples[size_t(px.atShifted)], px.lnMu)
                         .height;
        } else if (px.slope && !(hs.height < S - 0.8f)) {
            px.atShifted = deepRequests.add(px.shifted, px.octaves);
        }
        cell.towardShadow = toward;
    }
    if (deepRequests.points.empty()) return;
    deepRequests.sample(planet, S, v.sample);
    for (const Pixel& px : pixels)
        if (hypsometric && px.atShifted >= 0)
            cells[px.x - first].towardShadow =
                heightFrom(planet, v, craters, px.shifted, deepRequests.samples[size_t(px.atShifted)], px.lnMu)
                    .height;
}

void contourPass(const RenderView& v) {
    const float S = v.context->planet->seaLevelHeight;
    std::vector<float>& bandMin = v.buffers->bandMin;
    std::vector<float>& contourInk = v.buffers->contourInk;
    std::fill(bandMin.begin(), bandMin.end(), 0.0f);
    std::fill(contourInk.begin(), contourInk.end(), 0.0f);

    for (int32_t y = v.tile.top; y <= v.tile.bottom; ++y) {
        for (int32_t x = v.tile.left; x <= v.tile.right; ++x) {
            // The cells of the pixel square: (x - 1, y - 1), (x, y - 1), (x - 1, y), (x, y).
            const size_t cell[4] = {gridIndex(v, x - 1, y - 1), gridIndex(v, x, y - 1), gridIndex(v, x - 1, y),
                                    gridIndex(v, x, y)};
            const SampledCell* sampled = v.buffers->sampled.data();
            float c[4];
            int32_t lo = 0, hi = 0;
            for (int i = 0; i < 4; ++i) {
                c[i] = sampled[cell[i]].height;
                const int32_t band = contourBand(c[i], S);
                if (i == 0 || band < lo) lo = band;
                if (i == 0 || band > hi) hi = band;
            }
            bandMin[cell[3]] = float(lo);
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
                    contourInk[cell[0]] += ink * (1.0f - mx) * (1.0f - my);
                    contourInk[cell[1]] += ink * mx * (1.0f - my);
                    contourInk[cell[2]] += ink * (1.0f - mx) * my;
                    contourInk[cell[3]] += ink * mx * my;
                }
            }
            bandMin[cell[2]] = float(lo);
            bandMin[cell[0]] = float(lo);
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

// A pixel of a shading row: what its colour needs, gathered before it is
// shaded so that the row's cloud and land noise can be read together.
struct ShadePixel {
    Projection pr;
    CellSample cell;
    Vec3 light;
    float d = 0.0f;
    float slope = 0.0f;  // the slope light (before the land colour remaps it)
    bool twilight = false, dark = false;
    Rotation turn{};  // the pixel's Coriolis turn, shared by its cloud reads
    // Cloud density at p (cover), at the shadow point and at the shifted
    // point (bump), and the land colour's fractal, where they are read.
    float density = 0.0f, shadowDensity = 0.0f, bumpDensity = 0.0f;
    bool shadow = false, bump = false;
    LandNoise landNoise{};
};

// Cloud reads of a row: points with their latitude and turn, read together.
struct CloudReads {
    std::vector<Vec3> points;
    std::vector<float> sinLat;
    std::vector<Rotation> turns;
    std::vector<float*> to;
    std::vector<float> values;

    void clear() {
        points.clear();
        sinLat.clear();
        turns.clear();
        to.clear();
    }
    void add(Vec3 p, const ShadePixel& px, float* out) {
        points.push_back(p);
        sinLat.push_back(px.cell.sinLat);
        turns.push_back(px.turn);
        to.push_back(out);
    }
    void read(const PlanetData& planet, const SampleView& view) {
        values.resize(points.size());
        cloudDensities(planet, points.data(), sinLat.data(), turns.data(), int32_t(points.size()), view,
                       values.data());
        for (size_t i = 0; i < values.size(); ++i) *to[i] = values[i];
    }
};

// The shading pass, a row at a time (rows top .. bottom - 1; a row reads the
// sampled rows above it and its own).
class ShadingPass {
public:
    ShadingPass(const RenderView& view, const TileConstants& constants, const FlatTables& flatTables, int32_t dither)
        : v(view),
          tc(constants),
          flat(flatTables),
          ctx(*view.context),
          planet(*ctx.planet),
          S(planet.seaLevelHeight),
          W(tc.white),
          g(planet.cloudGain),
          w(tc.terminatorWidth),
          mode(tc.mode),
          needLand(!surfaceColourUnused(mode)),
          needSea(needLand && mode != kModeLandColor && mode != kModeHypsometric && mode != kModeCities),
          citiesActive(tc.citiesOn && tc.cities > 0),
          syntheticClouds(tc.cloudsOn && !(view.sample.useCloudMap && planet.cloudMap)),
          sf(ctx.sampleFactor),
          columns(size_t(std::max(view.tile.right - view.tile.left, 0))),
          pixels(columns),
          // The sea ice of the grid is 0 everywhere: its coverage is the same for every pixel.
          seaIce(squareCoverage(0.0f, 0.0f, 0.0f, 0.0f, tc.iceThreshold)),
          dither(dither) {}

    // Shades row y; projections, when given, are the row's from column left - 1.
    // Returns the row's shaded pixels.
    ShadedPixel* row(int32_t y, const Projection* projections = nullptr);

private:
    const RenderView& v;
    const TileConstants& tc;
    const FlatTables& flat;
    const RenderContext& ctx;
    const PlanetData& planet;
    const float S, W, g, w;
    const int32_t mode;
    const bool needLand, needSea, citiesActive, syntheticClouds;
    const int32_t sf;
    const size_t columns;
    std::vector<ShadePixel> pixels;
    CloudReads covers, shadows, bumps;
    std::vector<CellSample> landCells;
    std::vector<Vec3> landPoints;
    std::vector<LandNoise> landValues;
    std::vector<ShadePixel*> landPixels;
    const float seaIce;
    int32_t dither;  // the seed-table index of the next surface pixel
    // The Coriolis turn last computed, and its latitude.
    Rotation lastTurn{};
    float turnSinLat = 0.0f;
    bool turnKnown = false;
};

ShadedPixel* ShadingPass::row(int32_t y, const Projection* projections) {
    // The sampled rows: this one and the one above, from column left - 1.
    const SampledCell* above = sampledRow(v, y - 1);
    const SampledCell* here = sampledRow(v, y);
    // The row's pixels: projection, light and slope; then the cloud cover
    // of those that show a surface.
    covers.clear();
    for (size_t i = 0; i < columns; ++i) {
        const int32_t x = v.tile.left + int32_t(i);
        ShadePixel& px = pixels[i];
        px = ShadePixel{};
        px.pr = projections ? projections[i + 1] : project(tc, v, flat, x, y);
        px.light = tc.light;
        if (!px.pr.on) continue;
        const SampledCell& cell = here[i + 1];
        px.cell = {cell.detail, cell.baseNoise, cell.terrain, cell.elevation, cell.height, cell.craterSum, cell.sinLat};
        if (tc.reliefLight) px.light = reliefLight(tc, flat, x, y, px.pr.p);
        px.d = dot(px.pr.p, px.light);
        px.twilight = px.d > -w;
        px.slope = std::max(0.0f, px.d + (cell.towardShadow - px.cell.height) * 60.0f);
        // Beyond the twilight of a lit view every surface term is
        // multiplied by 0: without city lights there is nothing to shade.
        px.dark = tc.lit && !citiesActive && !px.twilight;
        if (px.dark || !tc.cloudsOn) continue;
        if (syntheticClouds) {
            // Pixels of a row often share their latitude (a globe about an
            // upright axis): the turn of the last one is reused.
            if (!(turnKnown && px.cell.sinLat == turnSinLat)) {
                lastTurn = coriolisTurn(planet, px.cell.sinLat, v.sample);
                turnSinLat = px.cell.sinLat;
                turnKnown = true;
            }
            px.turn = lastTurn;
        }
        covers.add(px.pr.p, px, &px.density);
    }
    covers.read(planet, v.sample);

    // Where the surface shows: its land colour's fractal and the cloud
    // shadow on it; where there is cloud: its relief.
    shadows.clear();
    bumps.clear();
    landCells.clear();
    landPoints.clear();
    landPixels.clear();
    for (ShadePixel& px : pixels) {
        if (!px.pr.on || px.dark) continue;
        const float cover = tc.cloudsOn ? std::clamp(g * px.density, 0.0f, 1.0f) : 0.0f;
        if (cover < 1.0f) {
            float slope = px.slope;
            if ((needLand || citiesActive) && mode != kModeHypsometric) {
                landCells.push_back(px.cell);
                landPoints.push_back(px.pr.p);
                landPixels.push_back(&px);
                slope = landSlopeLight(tc, slope);
            }
            if (tc.cloudsOn && slope > 0.0f && tc.lit) {
                px.shadow = true;
                shadows.add(shadowPoint(px.pr.p, px.light, planet), px, &px.shadowDensity);
            }
        }
        if (tc.cloudsOn && cover > 0.0f && px.twilight && tc.lit) {
            px.bump = true;
            bumps.add(shiftedPoint(px.pr.p, px.light), px, &px.bumpDensity);
        }
    }
    shadows.read(planet, v.sample);
    bumps.read(planet, v.sample);
    landValues.resize(landPoints.size());
    landNoises(tc, planet, landCells.data(), landPoints.data(), int32_t(landPoints.size()), landValues.data());
    for (size_t i = 0; i < landPixels.size(); ++i) landPixels[i]->landNoise = landValues[i];

    ShadedPixel* out = v.buffers->shaded.data() + (v.wholeTile ? size_t(y - v.tile.top) * columns : 0);
    for (size_t i = 0; i < columns; ++i) {
        const int32_t x = v.tile.left + int32_t(i);
        const ShadePixel& px = pixels[i];
        const float dx = float(v.cx - x), dy = float(v.cy - y);
        const Projection& pr = px.pr;
        const Vec3 p = pr.p;
        const SampledCell& cell = here[i + 1];

        float colour[3] = {0.0f, 0.0f, 0.0f};
        float cs = tc.flat ? 1.0f : 0.0f;
        float phi = 0.0f, psi = 0.0f;
        float density = 0.0f, cover = 0.0f;
        float city[3] = {0.0f, 0.0f, 0.0f};
        const Vec3 light = px.light;

        if (pr.on) {
            const int32_t ditherByte = planet.seedTable[dither & (kSeedTableSize - 1)];
            ++dither;
            const CellSample& cs_ = px.cell;
            cs = 1.0f;
            if (!tc.flat && pr.rho2 > tc.edge0Sq) cs = 1.0f - (std::sqrt(pr.rho2) - tc.edge0) * v.R;

            const float d = px.d;
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
            float slope = px.slope;
            const float direct = std::max(0.0f, d);

            phi = squareCoverage(above[i].height, above[i + 1].height, here[i].height, cs_.height, S);
            psi = seaIce;

            if (!px.dark) {
                // Cloud cover first: where it is full the surface under it does not show.
                if (tc.cloudsOn) {
                    density = px.density;
                    cover = std::clamp(g * density, 0.0f, 1.0f);
                }
                if (cover < 1.0f) {
                    float sea[3] = {0.0f, 0.0f, 0.0f};
                    LandResult land{};
                    if (needSea) seaColour(tc, planet, cs_, p, direct, psi, sea);
                    if (needLand || citiesActive) {
                        if (mode == kModeHypsometric) {
                            const size_t at = gridIndex(v, x, y);
                            hypsometricColour(tc, v.buffers->bandMin[at], v.buffers->contourInk[at], land.rgb);
                            for (float& c : land.rgb) c *= slope;
                        } else {
                            land = landColourWith(tc, cs_, px.landNoise, slope);
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
                    if (px.shadow) {
                        const float shade = std::clamp(g * px.shadowDensity, 0.0f, 1.0f) * planet.shadowStrength;
                        for (float& c : colour) c *= 1.0f - shade;
                    }
                }
                if (tc.cloudsOn) {
                    float bump = 0.0f;
                    if (px.bump) bump = (px.bumpDensity - density) * tc.cloudBumpGain;
                    float lc = std::clamp(bump + d, 0.0f, 1.0f);
                    lc = 1.0f - (1.0f - lc) * (1.0f - lc);
                    for (int i = 0; i < 3; ++i) {
                        const float cloud = lc * tc.cloud[i] * mult[i];
                        colour[i] = cover < 1.0f ? colour[i] + cover * (cloud - colour[i]) : cloud;
                    }
                }
            }

            // Globe: inside the planet's radius, in quarter pixels.
            const bool inside = tc.flat || std::trunc(std::sqrt(16.0f * (dx * dx + dy * dy))) < tc.insideLimit;
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
                float h = cell.height;
                if (mode == kModeBumpWithoutOcean) h = std::max(h, S);
                const float grey = tc.eightBit ? h * W + tc.half : h * tc.half + tc.half;
                colour[0] = colour[1] = colour[2] = grey;
                break;
            }
            default:
                break;
        }

        if (tc.keepHighlights) {
            for (float& c : colour) c = std::max(c, 0.0f);
        } else {
            overexpose(colour, W);
        }
        out[i] = {{colour[0] / W, colour[1] / W, colour[2] / W}, {alpha, cs}};
    }
    return out;
}

}  // namespace

TileConstants computeTileConstants(const RenderView& v) {
    const RenderContext& ctx = *v.context;
    const ParamRecord& p = *ctx.params;
    const PlanetData& planet = *ctx.planet;
    TileConstants tc;
    const int32_t depth = ctx.target.depthBits;
    // 16- and 32-bit images share one scale: white is 32768, and a float
    // image holds the 16-bit picture with white at 1.0.
    tc.eightBit = depth <= 8;
    tc.white = tc.eightBit ? 255.0f : 32768.0f;
    tc.half = tc.eightBit ? 128.0f : 16384.0f;
    tc.depthScale = tc.eightBit ? 1.0f : 128.0f;
    tc.mode = ctx.mode;
    // A float image that keeps values above 1 keeps them on the globe modes
    // (air and glints brighter than white) instead of washing them to white.
    tc.keepHighlights = ctx.target.floatUnclamped && (ctx.mode == 0 || ctx.mode == kModeNormal ||
                                                      ctx.mode == kModeComposite || ctx.mode == kModeMural);
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
            tc.reliefGain = 1.0f / std::max(tv::dmath::cos(theta), 0.01f);
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
    ac.nightLift = tc.flat ? 1.0f : std::clamp(1.0f - lz, 0.0f, 1.0f);
    ac.backFade = 1.0f - std::clamp(-5.0f * lz - 4.0f, 0.0f, 1.0f);
    const float halo = std::clamp(-10.0f * lz - 9.0f, 0.0f, 1.0f);
    ac.haloGain = halo * halo;
    ac.depthScale = tc.depthScale;
    return tc;
}

void renderTile(RenderView& v, ShadedRowSink rowDone, void* context) {
    if (!v.buffers || !v.context) return;
    const TileConstants tc = computeTileConstants(v);
    FlatTables flat;
    if (tc.flat) setupFlatTables(tc, v, flat);
    SamplingPass sampling(v, tc, flat);
    // The dither index moves on by one per cell of the sampling grid.
    ShadingPass shading(v, tc, flat, tc.ditherStart + v.gridWidth * v.gridHeight);
    auto shade = [&](int32_t y, const Projection* projections) {
        const ShadedPixel* row = shading.row(y, projections);
        if (rowDone) rowDone(context, v, y, row);
    };
    if (tc.contours) {
        for (int32_t y = v.tile.top - 1; y <= v.tile.bottom; ++y) sampling.row(y);
        contourPass(v);
        for (int32_t y = v.tile.top; y < v.tile.bottom; ++y) shade(y, nullptr);
        return;
    }
    // A row is shaded as soon as it is sampled (it reads the row above it
    // and its own); the grid's last row is read by the contour pass only.
    for (int32_t y = v.tile.top - 1; y < v.tile.bottom; ++y) {
        sampling.row(y);
        if (y >= v.tile.top) shade(y, sampling.rowProjections());
    }
}

}  // namespace tv
