// Generates the five built-in relief images and writes them as a C++ source
// the engine embeds (see src/synth/relief_images.h):
//
//   tool_gen_reliefs OUT.cpp            the embedded source (run by the build)
//   tool_gen_reliefs --png DIR          the images as PNG files, to look at
//
// Resources 146, 148, 149, 150: 384 x 384 crater fields. 128 is no relief;
// craters are bowls below 128 with raised rims above it, larger ones with
// flat floors and central peaks. Everything lies inside the circle inscribed
// in the square and every pixel outside that circle is exactly 128.
//
// Resource 151: 512 x 512, a Moon-like near side in orthographic projection,
// the disc filling the square: low dark maria, bright cratered highlands, a
// few large rayed craters; outside the disc the limb is smeared outward. The
// engine reads it with v growing towards the globe's north and u towards its
// west, so it is stored turned by 180 degrees: on the globe it shows north up.
// (The PNG "luna_view.png" shows it as the globe does.)
//
// Deterministic: fixed generators (splitmix64) with fixed seeds and no library
// randomness, so every run gives the same bytes. (A different C library's
// exp/pow/acos may differ in the last bit and could move a rare pixel by one.)
// This program stands alone: it does not link the engine.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <png.h>

namespace {

constexpr double kPi = 3.14159265358979323846;

// ---------------------------------------------------------------------------
// Randomness and noise.

struct Rng {
    uint64_t state;
    explicit Rng(uint64_t seed) : state(seed) {}
    uint64_t next() {
        uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    double uniform() { return static_cast<double>(next() >> 11) * (1.0 / 9007199254740992.0); }
    double range(double a, double b) { return a + (b - a) * uniform(); }
};

uint32_t hash3(int32_t x, int32_t y, int32_t z, uint32_t seed) {
    uint32_t h = seed * 0x27d4eb2dU;
    h ^= static_cast<uint32_t>(x) * 0x85ebca6bU;
    h = (h << 13) | (h >> 19);
    h ^= static_cast<uint32_t>(y) * 0xc2b2ae35U;
    h = (h << 13) | (h >> 19);
    h ^= static_cast<uint32_t>(z) * 0x165667b1U;
    h ^= h >> 15;
    h *= 0x2c1b3c6dU;
    h ^= h >> 12;
    h *= 0x297a2d39U;
    h ^= h >> 15;
    return h;
}

double lattice(int32_t x, int32_t y, int32_t z, uint32_t seed) {
    return static_cast<double>(hash3(x, y, z, seed) & 0xFFFFFF) / 8388607.5 - 1.0;
}

double smooth(double t) { return t * t * t * (t * (t * 6 - 15) + 10); }

// Value noise in -1..1.
double valueNoise(double x, double y, double z, uint32_t seed) {
    const double fx = std::floor(x), fy = std::floor(y), fz = std::floor(z);
    const int32_t ix = static_cast<int32_t>(fx), iy = static_cast<int32_t>(fy), iz = static_cast<int32_t>(fz);
    const double tx = smooth(x - fx), ty = smooth(y - fy), tz = smooth(z - fz);
    double c[2][2][2];
    for (int a = 0; a < 2; ++a)
        for (int b = 0; b < 2; ++b)
            for (int d = 0; d < 2; ++d) c[a][b][d] = lattice(ix + a, iy + b, iz + d, seed);
    auto mix = [](double u, double v, double t) { return u + (v - u) * t; };
    const double x00 = mix(c[0][0][0], c[1][0][0], tx), x10 = mix(c[0][1][0], c[1][1][0], tx);
    const double x01 = mix(c[0][0][1], c[1][0][1], tx), x11 = mix(c[0][1][1], c[1][1][1], tx);
    return mix(mix(x00, x10, ty), mix(x01, x11, ty), tz);
}

double fbm(double x, double y, double z, int octaves, uint32_t seed) {
    double sum = 0, amp = 1, norm = 0;
    for (int i = 0; i < octaves; ++i) {
        sum += amp * valueNoise(x, y, z, seed + static_cast<uint32_t>(i) * 101u);
        norm += amp;
        amp *= 0.5;
        x *= 2.03;
        y *= 2.03;
        z *= 2.03;
    }
    return sum / norm;
}

double smoothstep(double a, double b, double x) {
    const double t = std::clamp((x - a) / (b - a), 0.0, 1.0);
    return t * t * (3 - 2 * t);
}

// ---------------------------------------------------------------------------
// The crater profile, in units of the crater's rim radius: x = distance / R.
// Returns the height relative to the ground the crater was made in.

struct CraterShape {
    double depth;     // floor below the ground
    double rim;       // rim crest above the ground
    double floor;     // flat-floor radius fraction (0 = a simple bowl)
    double peak;      // central peak height above the floor
    double reach;     // ejecta reach in radii
};

double craterProfile(const CraterShape& s, double x) {
    if (x < 1.0) {
        double t = x <= s.floor ? 0.0 : (x - s.floor) / (1.0 - s.floor);
        t = t * t * (1.35 - 0.35 * t);  // steeper near the rim
        double h = -s.depth + (s.depth + s.rim) * t;
        if (s.peak > 0) h += s.peak * std::exp(-(x * x) / (0.018 + 0.02 * s.floor));
        return h;
    }
    if (x >= s.reach) return 0.0;
    // Outer flank of the rim and the ejecta blanket, fading to 0 at reach.
    const double fall = std::pow(x, -3.5);
    const double taper = 1.0 - smoothstep(1.0, s.reach, x);
    return s.rim * fall * taper;
}

// How much of the old ground a new crater wipes out at x.
double craterCover(double x) { return 1.0 - smoothstep(0.85, 1.08, x); }

// Shapes by size: small bowls, flat floors from about 12 px, peaks from about 16 px.
CraterShape shapeFor(double radiusPx, Rng& rng, double depthScale) {
    CraterShape s{};
    const double fresh = rng.range(0.55, 1.0);
    s.depth = depthScale * fresh * (2.0 + 1.05 * std::pow(radiusPx, 0.85));
    s.rim = s.depth * rng.range(0.40, 0.55);
    s.floor = radiusPx < 10 ? 0.0 : std::min(0.5, (radiusPx - 10) * 0.025 + rng.range(0.0, 0.1));
    s.peak = (radiusPx > 14 && rng.uniform() < 0.75) ? s.depth * rng.range(0.25, 0.55) : 0.0;
    s.reach = 2.3;
    return s;
}

// ---------------------------------------------------------------------------
// Crater fields.

struct Image {
    int width = 0, height = 0;
    std::vector<uint8_t> pixels;
};

Image craterField(uint64_t seed, int character) {
    constexpr int kSize = 384;
    constexpr double kCentre = kSize / 2.0;
    constexpr double kRadius = kSize / 2.0;
    Rng rng(seed);
    std::vector<double> h(kSize * kSize, 0.0);

    // Character: 0 dense and fresh, 1 one large crater among small ones,
    // 2 old and softened, 3 a few medium craters in a peppered plain.
    double rMin = 2.5, rMax = 40, cover = 1.3, depthScale = 1.0;
    if (character == 1) { rMax = 28; cover = 1.0; }
    if (character == 2) { rMax = 55; cover = 1.6; depthScale = 0.85; }
    if (character == 3) { rMin = 2.0; rMax = 24; cover = 0.9; depthScale = 1.15; }

    struct Crater { double x, y, r; };
    std::vector<Crater> craters;
    // Sizes follow a cumulative count N(>r) ~ r^-1.7; craters are added until
    // their areas sum to `cover` times the disc.
    const double b = 1.7, lo = std::pow(rMin / rMax, b);
    for (double area = 0; area < cover * kRadius * kRadius;) {
        const double r = rMin * std::pow(1.0 - rng.uniform() * (1.0 - lo), -1.0 / b);
        const double ang = rng.range(0, 2 * kPi);
        const double dist = (kRadius - 6) * std::sqrt(rng.uniform());
        craters.push_back({kCentre + dist * std::cos(ang), kCentre + dist * std::sin(ang), r});
        area += r * r;
    }
    if (character == 1) craters.push_back({kCentre + rng.range(-30, 30), kCentre + rng.range(-30, 30), 78});
    if (character == 3)
        for (int i = 0; i < 4; ++i) {
            const double ang = rng.range(0, 2 * kPi), dist = rng.range(20, 110);
            craters.push_back({kCentre + dist * std::cos(ang), kCentre + dist * std::sin(ang), rng.range(22, 36)});
        }
    // Oldest (largest) first, so small craters lie on top of large ones.
    std::stable_sort(craters.begin(), craters.end(), [](const Crater& p, const Crater& q) { return p.r > q.r; });

    for (const Crater& c : craters) {
        CraterShape s = shapeFor(c.r, rng, depthScale);
        if (c.r > 60) { s.floor = 0.45; s.peak = s.depth * 0.5; }
        // The ground it lands on: the mean level on its rim circle, drawn a
        // little towards 0 so that stacked craters do not dig ever deeper.
        double ground = 0;
        for (int k = 0; k < 12; ++k) {
            const int gx = std::clamp(static_cast<int>(c.x + c.r * std::cos(k * kPi / 6)), 0, kSize - 1);
            const int gy = std::clamp(static_cast<int>(c.y + c.r * std::sin(k * kPi / 6)), 0, kSize - 1);
            ground += h[gy * kSize + gx] / 12;
        }
        ground *= 0.6;
        const double reach = c.r * s.reach;
        const int x0 = std::max(0, static_cast<int>(c.x - reach)), x1 = std::min(kSize - 1, static_cast<int>(c.x + reach) + 1);
        const int y0 = std::max(0, static_cast<int>(c.y - reach)), y1 = std::min(kSize - 1, static_cast<int>(c.y + reach) + 1);
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x) {
                const double dx = x + 0.5 - c.x, dy = y + 0.5 - c.y;
                const double d = std::sqrt(dx * dx + dy * dy) / c.r;
                if (d >= s.reach) continue;
                double& v = h[y * kSize + x];
                const double w = craterCover(d) * 0.85;
                v = v + w * (ground - v) + craterProfile(s, d);
            }
    }

    // Fine roughness, then (for the old field) a softening blur.
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x) h[y * kSize + x] += 1.2 * fbm(x / 9.0, y / 9.0, 0.5, 3, static_cast<uint32_t>(seed));
    if (character == 2) {
        std::vector<double> t(h.size());
        for (int pass = 0; pass < 2; ++pass) {
            for (int y = 0; y < kSize; ++y)
                for (int x = 0; x < kSize; ++x) {
                    double sum = 0;
                    for (int k = -1; k <= 1; ++k) sum += h[y * kSize + std::clamp(x + k, 0, kSize - 1)];
                    t[y * kSize + x] = sum / 3;
                }
            for (int y = 0; y < kSize; ++y)
                for (int x = 0; x < kSize; ++x) {
                    double sum = 0;
                    for (int k = -1; k <= 1; ++k) sum += t[std::clamp(y + k, 0, kSize - 1) * kSize + x];
                    h[y * kSize + x] = sum / 3;
                }
        }
    }

    // Remove the mean inside the disc so the field sits on 128, then fade to
    // exactly 128 at the inscribed circle.
    double mean = 0, weight = 0;
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x) {
            const double dx = x + 0.5 - kCentre, dy = y + 0.5 - kCentre;
            if (dx * dx + dy * dy < 170.0 * 170.0) { mean += h[y * kSize + x]; weight += 1; }
        }
    mean /= weight;
    // Scale the relief to a fixed spread, so every field uses the byte range alike.
    double var = 0;
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x) {
            const double dx = x + 0.5 - kCentre, dy = y + 0.5 - kCentre;
            if (dx * dx + dy * dy < 170.0 * 170.0) var += (h[y * kSize + x] - mean) * (h[y * kSize + x] - mean);
        }
    const double gain = 24.0 / std::sqrt(var / weight);
    Image img;
    img.width = img.height = kSize;
    img.pixels.resize(kSize * kSize);
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x) {
            const double dx = x + 0.5 - kCentre, dy = y + 0.5 - kCentre;
            const double r = std::sqrt(dx * dx + dy * dy);
            double v = 128.0;
            if (r < kRadius) v += gain * (h[y * kSize + x] - mean) * (1.0 - smoothstep(164.0, 189.0, r));
            img.pixels[y * kSize + x] = static_cast<uint8_t>(std::clamp(std::lround(v), 0L, 255L));
        }
    return img;
}

// ---------------------------------------------------------------------------
// The Moon's near side.

struct V3 {
    double x, y, z;
};
double dot3(V3 a, V3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

// Selenographic latitude and longitude (degrees, east positive) to a unit
// vector seen from Earth: x to the east limb (right), y north, z to the viewer.
V3 fromLatLon(double latDeg, double lonDeg) {
    const double lat = latDeg * kPi / 180, lon = lonDeg * kPi / 180;
    return {std::cos(lat) * std::sin(lon), std::sin(lat), std::cos(lat) * std::cos(lon)};
}

struct Basin {
    double lat, lon;    // centre
    double radius;      // degrees
    double stretchLon;  // elongation east-west
    double darkness;    // how low and dark
};

// Approximate outlines of the near side's maria as overlapping ovals.
const Basin kMaria[] = {
    {34, -17, 17.5, 1.1, 1.0},    // Imbrium
    {40, -34, 6.0, 1.2, 0.95},    // Sinus Iridum side of Imbrium
    {27, 17.5, 10.0, 1.0, 0.85},  // Serenitatis
    {9, 29, 12.0, 1.25, 1.0},     // Tranquillitatis
    {17, 59, 8.0, 1.25, 1.05},    // Crisium
    {-5, 51, 9.0, 0.8, 0.9},      // Fecunditatis
    {-15, 34, 5.5, 1.0, 0.85},    // Nectaris
    {-20, -16, 10.0, 1.2, 0.85},  // Nubium
    {-24, -39, 6.5, 1.0, 0.95},   // Humorum
    {24, -55, 15.0, 0.85, 0.95},  // Procellarum, north
    {6, -50, 15.5, 0.85, 1.0},    // Procellarum, middle
    {-10, -40, 10.0, 1.0, 0.9},   // Procellarum, south
    {8, -29, 9.0, 1.0, 0.85},     // Insularum
    {-10, -22, 7.0, 1.0, 0.85},   // Cognitum
    {55, -32, 4.0, 2.2, 0.75},    // Frigoris, a chain along the north
    {57, -12, 4.0, 2.2, 0.75},
    {57, 8, 4.0, 2.2, 0.75},
    {55, 25, 3.5, 2.0, 0.7},
    {13, 4, 4.5, 1.0, 0.8},       // Vaporum
    {2, 0, 3.5, 1.2, 0.65},       // Medii
    {36, 30, 5.0, 1.0, 0.65},     // Somniorum
    {-8, 14, 3.5, 1.3, 0.55},
};

struct Named {
    double lat, lon, radius;  // radius in degrees
    bool rays;
    bool darkFloor;
    int rayCount;
    double rayLength;  // degrees
};

const Named kLandmarks[] = {
    {-43.3, -11.2, 1.55, true, false, 70, 70},  // Tycho
    {9.6, -20.1, 1.6, true, false, 45, 24},     // Copernicus
    {8.1, -38.0, 0.65, true, false, 20, 15},    // Kepler
    {23.7, -47.4, 0.7, true, false, 14, 10},    // Aristarchus
    {16.1, 46.8, 0.55, true, false, 10, 12},    // Proclus
    {51.6, -9.4, 1.7, false, true, 0, 0},       // Plato
    {-58.4, -14.4, 3.8, false, false, 0, 0},    // Clavius
    {-9.3, -1.9, 2.6, false, true, 0, 0},       // Ptolemaeus
    {-5.2, -68.6, 2.9, false, true, 0, 0},      // Grimaldi
    {-13.0, -3.0, 1.9, false, false, 0, 0},     // Alphonsus
    {-18.0, -2.0, 1.5, false, false, 0, 0},     // Arzachel
    {-11.4, 26.4, 1.65, false, false, 0, 0},    // Theophilus
    {-17.0, 22.0, 1.6, false, false, 0, 0},     // Catharina side
    {-36.0, -8.0, 1.5, false, false, 0, 0},     // southern highland craters
    {-50.0, 6.0, 2.2, false, false, 0, 0},
    {-45.0, 35.0, 2.0, false, false, 0, 0},
    {-30.0, 58.0, 1.8, false, false, 0, 0},
    {48.0, 40.0, 1.6, false, false, 0, 0},
};

struct Sphere {
    static constexpr int kSize = 512;
    static constexpr double kRadius = 256.0;
    std::vector<V3> dir;       // unit vector per pixel (valid inside the disc)
    std::vector<uint8_t> in;   // inside the disc
    Sphere() : dir(kSize * kSize), in(kSize * kSize, 0) {
        for (int y = 0; y < kSize; ++y)
            for (int x = 0; x < kSize; ++x) {
                const double X = (x + 0.5 - kRadius) / kRadius, Y = (kRadius - (y + 0.5)) / kRadius;
                const double r2 = X * X + Y * Y;
                if (r2 < 1.0) {
                    dir[y * kSize + x] = {X, Y, std::sqrt(1.0 - r2)};
                    in[y * kSize + x] = 1;
                }
            }
    }
    // Pixel box around the projection of a cap of the given angular radius.
    void box(V3 c, double capRad, int& x0, int& y0, int& x1, int& y1) const {
        const double px = kRadius + c.x * kRadius, py = kRadius - c.y * kRadius;
        const double span = capRad * kRadius + 2;
        x0 = std::max(0, static_cast<int>(px - span));
        x1 = std::min(kSize - 1, static_cast<int>(px + span));
        y0 = std::max(0, static_cast<int>(py - span));
        y1 = std::min(kSize - 1, static_cast<int>(py + span));
    }
};

double angleBetween(V3 a, V3 b) { return std::acos(std::clamp(dot3(a, b), -1.0, 1.0)); }

// Stamps a crater centred at c with rim radius rad (radians) onto h. The
// crater is dug into the mean level of its rim circle (drawn a little towards
// 0 so stacked craters do not dig ever deeper); inherit keeps that much of the
// old relief inside it.
void stampSphereCrater(const Sphere& s, std::vector<double>& h, V3 c, double rad, const CraterShape& shape,
                       double inherit) {
    int x0, y0, x1, y1;
    s.box(c, rad * shape.reach, x0, y0, x1, y1);
    if (x0 > x1 || y0 > y1) return;
    static std::vector<double> dist;
    const int w = x1 - x0 + 1;
    dist.assign(static_cast<size_t>(w) * (y1 - y0 + 1), 1e9);
    double ringSum = 0, ringCount = 0;
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x) {
            const int i = y * Sphere::kSize + x;
            if (!s.in[i]) continue;
            const double d = angleBetween(s.dir[i], c) / rad;
            dist[(y - y0) * w + (x - x0)] = d;
            if (d > 0.85 && d < 1.15) { ringSum += h[i]; ringCount += 1; }
        }
    const double ground = ringCount > 0 ? 0.6 * ringSum / ringCount : 0.0;
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x) {
            const double d = dist[(y - y0) * w + (x - x0)];
            if (d >= shape.reach) continue;
            const int i = y * Sphere::kSize + x;
            const double cover = craterCover(d) * (1.0 - inherit);
            h[i] = h[i] + cover * (ground - h[i]) + craterProfile(shape, d);
        }
}

// A random direction on the visible hemisphere (z > 0), uniform in area.
V3 randomVisible(Rng& rng) {
    const double z = rng.uniform();
    const double a = rng.range(0, 2 * kPi);
    const double r = std::sqrt(1 - z * z);
    return {r * std::cos(a), r * std::sin(a), z};
}

// Mare membership 0..1 of a direction, with ragged shores, and its darkness.
double mareAmount(V3 v, double& darkness) {
    double clear = 1.0;
    darkness = 0;
    const double lat = std::asin(std::clamp(v.y, -1.0, 1.0)) * 180 / kPi;
    const double lon = std::atan2(v.x, v.z) * 180 / kPi;
    const double ragged = 0.28 * fbm(v.x * 4 + 3, v.y * 4, v.z * 4, 5, 77) + 0.08 * fbm(v.x * 23, v.y * 23, v.z * 23, 2, 78);
    for (const Basin& b : kMaria) {
        const double dLon = (lon - b.lon) * std::cos(b.lat * kPi / 180) / b.stretchLon;
        const double dLat = lat - b.lat;
        const double d = std::sqrt(dLon * dLon + dLat * dLat) / (1.25 * b.radius);
        const double m = 1.0 - smoothstep(0.72, 1.1, d + ragged);
        clear *= 1.0 - m;
        darkness = std::max(darkness, m * b.darkness);
    }
    return 1.0 - clear;
}

Image moon() {
    constexpr int kSize = Sphere::kSize;
    const Sphere s;
    Rng rng(0x4C554E41ull);  // "LUNA"
    std::vector<double> h(kSize * kSize, 0.0);
    std::vector<double> mare(kSize * kSize, 0.0), mareDark(kSize * kSize, 0.0);
    const double degree = kPi / 180;

    // Highland ground: gentle rolling relief.
    for (int i = 0; i < kSize * kSize; ++i)
        if (s.in[i]) {
            const V3 v = s.dir[i];
            h[i] = 10.0 * fbm(v.x * 3, v.y * 3, v.z * 3, 5, 11);
            mare[i] = mareAmount(v, mareDark[i]);
        }

    // The old crater population, saturating the highlands. Sizes follow
    // N(>r) ~ r^-1.7 (degrees); craters are added until their caps cover the
    // visible hemisphere `cover` times.
    {
        const double rMin = 0.4, rMax = 8.0, cover = 1.8, b = 1.7, lo = std::pow(rMin / rMax, b);
        struct C { V3 c; double r; };
        std::vector<C> list;
        for (double area = 0; area < cover * 2 * kPi;) {
            const double r = rMin * std::pow(1.0 - rng.uniform() * (1.0 - lo), -1.0 / b);
            list.push_back({randomVisible(rng), r});
            area += kPi * (r * degree) * (r * degree);
        }
        std::stable_sort(list.begin(), list.end(), [](const C& p, const C& q) { return p.r > q.r; });
        for (const C& c : list) {
            const double px = c.r * degree * Sphere::kRadius;  // rim radius in pixels at the centre
            CraterShape shape = shapeFor(std::max(px, 1.0), rng, 1.3);
            stampSphereCrater(s, h, c.c, c.r * degree, shape, 0.15);
        }
    }

    // Bring the cratered highlands to a mean of 0 and a fixed spread.
    {
        double sum = 0, sq = 0, n = 0;
        for (int i = 0; i < kSize * kSize; ++i)
            if (s.in[i]) { sum += h[i]; sq += h[i] * h[i]; n += 1; }
        const double mean = sum / n, spread = std::sqrt(sq / n - mean * mean);
        for (int i = 0; i < kSize * kSize; ++i)
            if (s.in[i]) h[i] = (h[i] - mean) * (13.0 / spread);
    }

    // Named large craters made before the maria flooded (Plato, Grimaldi and
    // Ptolemaeus get flooded floors below).
    for (const Named& n : kLandmarks) {
        if (n.rays) continue;
        const double px = n.radius * degree * Sphere::kRadius;
        CraterShape shape = shapeFor(px, rng, 1.0);
        shape.depth = 16 + 1.6 * px;
        shape.rim = shape.depth * 0.4;
        shape.floor = 0.55;
        shape.peak = n.darkFloor ? 0.0 : shape.depth * 0.35;
        stampSphereCrater(s, h, fromLatLon(n.lat, n.lon), n.radius * degree, shape, 0.05);
    }

    // Mare flooding: lava fills the basins to a smooth low plain.
    for (int i = 0; i < kSize * kSize; ++i) {
        if (!s.in[i]) continue;
        const V3 v = s.dir[i];
        const double tone = fbm(v.x * 5 + 9, v.y * 5, v.z * 5, 4, 21);
        const double ridges = std::fabs(fbm(v.x * 14, v.y * 14 + 4, v.z * 14, 3, 23));
        const double plain = -58.0 * std::max(mareDark[i], 0.6 * mare[i]) + 9.0 * tone + 5.0 * (0.25 - ridges);
        const double m = mare[i];
        // Old rims still show faintly through the lava (ghost craters).
        h[i] = h[i] * (1 - m) + plain * m + 0.06 * m * h[i];
    }
    for (const Named& n : kLandmarks) {
        if (!n.darkFloor) continue;
        const V3 c = fromLatLon(n.lat, n.lon);
        int x0, y0, x1, y1;
        s.box(c, n.radius * degree, x0, y0, x1, y1);
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x) {
                const int i = y * kSize + x;
                if (!s.in[i]) continue;
                const double d = angleBetween(s.dir[i], c) / (n.radius * degree);
                const double w = 1.0 - smoothstep(0.62, 0.8, d);
                h[i] = h[i] * (1 - w) + (-44.0) * w;
            }
    }

    // Young craters on everything, maria included (fewer and smaller).
    {
        const double rMin = 0.3, rMax = 1.3, cover = 0.07;
        const double hemisphere = 2 * kPi / (degree * degree);
        const double a = cover * hemisphere / (2 * kPi * std::log(rMax / rMin));
        const int count = static_cast<int>(a / (rMin * rMin));
        for (int i = 0; i < count; ++i) {
            const double r = rMin / std::sqrt(1.0 - rng.uniform() * (1.0 - (rMin * rMin) / (rMax * rMax)));
            const V3 c = randomVisible(rng);
            const double px = r * degree * Sphere::kRadius;
            CraterShape shape = shapeFor(std::max(px, 1.0), rng, 0.7);
            stampSphereCrater(s, h, c, r * degree, shape, 0.1);
        }
    }

    // Rayed craters: fresh and bright, with bright halos and long streaks.
    std::vector<double> bright(kSize * kSize, 0.0);
    for (const Named& n : kLandmarks) {
        if (!n.rays) continue;
        const V3 c = fromLatLon(n.lat, n.lon);
        const double rad = n.radius * degree;
        const double px = rad * Sphere::kRadius;
        CraterShape shape = shapeFor(px, rng, 1.0);
        shape.depth = 14 + 2.0 * px;
        shape.rim = shape.depth * 0.45;
        shape.floor = px > 5 ? 0.4 : 0.0;
        shape.peak = px > 5 ? shape.depth * 0.4 : 0.0;
        stampSphereCrater(s, h, c, rad, shape, 0.0);

        // Tangent frame at the crater for ray azimuths.
        V3 east{c.z, 0, -c.x};
        const double el = std::sqrt(dot3(east, east));
        east = {east.x / el, east.y / el, east.z / el};
        const V3 north{c.y * east.z - c.z * east.y, c.z * east.x - c.x * east.z, c.x * east.y - c.y * east.x};
        struct Ray { double az, len, width, gain; };
        std::vector<Ray> rays;
        for (int k = 0; k < n.rayCount; ++k)
            rays.push_back({rng.range(0, 2 * kPi), n.rayLength * degree * rng.range(0.3, 1.0),
                            rad * rng.range(0.15, 0.5), rng.range(0.3, 1.0)});
        int x0, y0, x1, y1;
        s.box(c, n.rayLength * degree, x0, y0, x1, y1);
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x) {
                const int i = y * kSize + x;
                if (!s.in[i]) continue;
                const V3 v = s.dir[i];
                const double dist = angleBetween(v, c);
                const double rel = dist / rad;
                double b = 0;
                // Halo: a bright blanket around the crater.
                b += 22.0 * std::exp(-std::pow(std::max(0.0, rel - 1.0) / 1.5, 2.0)) * (rel > 0.8 ? 1.0 : 0.5);
                if (rel > 1.0) {
                    const double az = std::atan2(dot3(v, north), dot3(v, east));
                    const double rampIn = smoothstep(1.0, 3.0, rel);
                    for (const Ray& r : rays) {
                        double da = std::fabs(az - r.az);
                        if (da > kPi) da = 2 * kPi - da;
                        if (da > kPi / 2) continue;
                        // Rays keep their width in distance, so they narrow in angle.
                        const double across = std::sin(da) * std::sin(dist) / (r.width * (1.0 + 0.6 * dist / r.len));
                        if (across > 3) continue;
                        const double along = dist / r.len;
                        if (along > 1) continue;
                        const double streak = 0.55 + 0.45 * fbm(dist * 40, r.az * 5, 1.0, 3, 91);
                        b += 42.0 * r.gain * std::exp(-across * across) * (1 - along) * rampIn * streak;
                    }
                }
                bright[i] += b;
            }
    }

    // Compose: heights plus the ray brightness, shifted so the highlands sit
    // a little above 128 and the maria well below.
    Image view;
    view.width = view.height = kSize;
    view.pixels.resize(kSize * kSize);
    std::vector<double> value(kSize * kSize, 128.0);
    for (int i = 0; i < kSize * kSize; ++i)
        if (s.in[i]) value[i] = std::clamp(162.0 + h[i] + bright[i], 0.0, 255.0);

    // Outside the disc: the limb smeared outward (the value just inside the
    // limb on the same radius, bilinearly interpolated).
    auto at = [&](double fx, double fy) {
        const int ix = std::clamp(static_cast<int>(std::floor(fx)), 0, kSize - 2);
        const int iy = std::clamp(static_cast<int>(std::floor(fy)), 0, kSize - 2);
        const double tx = std::clamp(fx - ix, 0.0, 1.0), ty = std::clamp(fy - iy, 0.0, 1.0);
        double sum = 0, w = 0;
        for (int b = 0; b < 2; ++b)
            for (int a = 0; a < 2; ++a) {
                const int i = (iy + b) * kSize + ix + a;
                const double wt = (a ? tx : 1 - tx) * (b ? ty : 1 - ty);
                if (s.in[i]) { sum += wt * value[i]; w += wt; }
            }
        return w > 0 ? sum / w : 128.0;
    };
    std::vector<double> out = value;
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x) {
            const int i = y * kSize + x;
            const double dx = x + 0.5 - Sphere::kRadius, dy = y + 0.5 - Sphere::kRadius;
            const double r = std::sqrt(dx * dx + dy * dy);
            if (r < Sphere::kRadius - 1.5) continue;
            const double k = (Sphere::kRadius - 2.0) / r;
            out[i] = at(Sphere::kRadius + dx * k - 0.5, Sphere::kRadius + dy * k - 0.5);
        }
    for (int i = 0; i < kSize * kSize; ++i) view.pixels[i] = static_cast<uint8_t>(std::lround(out[i]));
    return view;
}

Image turned(const Image& img) {
    Image t = img;
    const size_t n = img.pixels.size();
    for (size_t i = 0; i < n; ++i) t.pixels[i] = img.pixels[n - 1 - i];
    return t;
}

// ---------------------------------------------------------------------------
// Output.

bool writePng(const std::string& path, const Image& img) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(f);
        return false;
    }
    png_init_io(png, f);
    png_set_IHDR(png, info, img.width, img.height, 8, PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < img.height; ++y)
        png_write_row(png, const_cast<png_bytep>(img.pixels.data() + static_cast<size_t>(y) * img.width));
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return std::fclose(f) == 0;
}

// A quick shaded-relief view, lit from the upper left, to judge the shapes.
Image shaded(const Image& img) {
    Image out = img;
    for (int y = 0; y < img.height; ++y)
        for (int x = 0; x < img.width; ++x) {
            auto at = [&](int xx, int yy) {
                return static_cast<double>(img.pixels[std::clamp(yy, 0, img.height - 1) * img.width + std::clamp(xx, 0, img.width - 1)]);
            };
            const double gx = at(x + 1, y) - at(x - 1, y), gy = at(x, y + 1) - at(x, y - 1);
            out.pixels[y * img.width + x] = static_cast<uint8_t>(std::clamp(128.0 - 2.5 * (gx + gy), 0.0, 255.0));
        }
    return out;
}

// The data as string literals: printable characters as themselves, the rest
// as three-digit octal escapes (which never swallow a following digit).
void writeLiteral(FILE* f, const Image& img) {
    const size_t n = img.pixels.size();
    for (size_t i = 0; i < n; i += 128) {
        std::fputs("    \"", f);
        for (size_t k = i; k < std::min(n, i + 128); ++k) {
            const uint8_t b = img.pixels[k];
            if (b >= 0x20 && b < 0x7F && b != '"' && b != '\\' && b != '?')
                std::fputc(b, f);
            else
                std::fprintf(f, "\\%03o", b);
        }
        std::fputs("\"\n", f);
    }
}

bool writeSource(const std::string& path, const Image* images[5], const int ids[5]) {
    const std::string temp = path + ".tmp";
    FILE* f = std::fopen(temp.c_str(), "wb");
    if (!f) return false;
    std::fputs("// Generated by tools/gen_reliefs.cpp at build time. Do not edit.\n"
               "#include <cstdint>\n\n"
               "namespace tv::relief_data {\n\n",
               f);
    for (int k = 0; k < 5; ++k) {
        std::fprintf(f, "extern const unsigned char pixels%d[%zu];\n", ids[k], images[k]->pixels.size() + 1);
        std::fprintf(f, "const unsigned char pixels%d[%zu] =\n", ids[k], images[k]->pixels.size() + 1);
        writeLiteral(f, *images[k]);
        std::fputs(";\n\n", f);
    }
    std::fputs("}  // namespace tv::relief_data\n", f);
    const bool ok = std::fflush(f) == 0 && std::ferror(f) == 0;
    if (std::fclose(f) != 0 || !ok || std::rename(temp.c_str(), path.c_str()) != 0) {
        std::remove(temp.c_str());
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::string pngDir, source;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--png") == 0 && i + 1 < argc)
            pngDir = argv[++i];
        else if (argv[i][0] != '-' && source.empty())
            source = argv[i];
        else {
            std::fprintf(stderr, "usage: tool_gen_reliefs [OUT.cpp] [--png DIR]\n");
            return 2;
        }
    }
    if (source.empty() && pngDir.empty()) {
        std::fprintf(stderr, "usage: tool_gen_reliefs [OUT.cpp] [--png DIR]\n");
        return 2;
    }

    const Image luna = moon();
    const Image lunaStored = turned(luna);
    const Image crater0 = craterField(0x3146ull, 0);
    const Image crater1 = craterField(0x3148ull, 1);
    const Image crater2 = craterField(0x3149ull, 2);
    const Image crater3 = craterField(0x3150ull, 3);
    const Image* images[5] = {&lunaStored, &crater0, &crater1, &crater2, &crater3};
    const int ids[5] = {151, 146, 148, 149, 150};

    if (!pngDir.empty()) {
        bool ok = writePng(pngDir + "/luna_view.png", luna) && writePng(pngDir + "/luna_view_shaded.png", shaded(luna));
        for (int k = 0; k < 5; ++k) {
            ok = ok && writePng(pngDir + "/relief_" + std::to_string(ids[k]) + ".png", *images[k]);
            ok = ok && writePng(pngDir + "/relief_" + std::to_string(ids[k]) + "_shaded.png", shaded(*images[k]));
        }
        if (!ok) {
            std::fprintf(stderr, "gen_reliefs: cannot write the PNG files into %s\n", pngDir.c_str());
            return 1;
        }
    }
    if (!source.empty() && !writeSource(source, images, ids)) {
        std::fprintf(stderr, "gen_reliefs: cannot write %s\n", source.c_str());
        return 1;
    }
    return 0;
}
