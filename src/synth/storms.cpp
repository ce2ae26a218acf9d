// Rotations, storm placement and the cloud constants.
#include <algorithm>
#include <cmath>

#include "base/det_math.h"

#include "synth/cloud_field.h"
#include "synth/noise.h"

namespace tv {

Rotation axisRotation(Vec3 a, float angle) {
    const float c = tv::dmath::cos(angle);
    const float s = tv::dmath::sin(angle);
    const float t = 1.0f - c;
    Rotation r;
    r.m[0][0] = c + t * a.x * a.x;
    r.m[0][1] = t * a.x * a.y - s * a.z;
    r.m[0][2] = t * a.x * a.z + s * a.y;
    r.m[1][0] = t * a.x * a.y + s * a.z;
    r.m[1][1] = c + t * a.y * a.y;
    r.m[1][2] = t * a.y * a.z - s * a.x;
    r.m[2][0] = t * a.x * a.z - s * a.y;
    r.m[2][1] = t * a.y * a.z + s * a.x;
    r.m[2][2] = c + t * a.z * a.z;
    return r;
}

Vec3 rotate(const Rotation& r, Vec3 v) {
    return {r.m[0][0] * v.x + r.m[0][1] * v.y + r.m[0][2] * v.z,
            r.m[1][0] * v.x + r.m[1][1] * v.y + r.m[1][2] * v.z,
            r.m[2][0] * v.x + r.m[2][1] * v.y + r.m[2][2] * v.z};
}

Vec3 rotateBack(const Rotation& r, Vec3 v) {
    return {r.m[0][0] * v.x + r.m[1][0] * v.y + r.m[2][0] * v.z,
            r.m[0][1] * v.x + r.m[1][1] * v.y + r.m[2][1] * v.z,
            r.m[0][2] * v.x + r.m[1][2] * v.y + r.m[2][2] * v.z};
}

Rotation latitudeRotation(Vec3 axis) {
    // About normalize(axis x north) by the angle between north and the axis,
    // turning north towards the axis (a right-handed turn about axis x north
    // would turn it away, hence the negative angle). A polar axis gives the
    // z axis from normalize(), and the angle 0 or pi.
    const Vec3 k = normalize(cross(axis, Vec3{0.0f, 1.0f, 0.0f}));
    const float cosAngle = std::clamp(axis.y, -1.0f, 1.0f);
    return axisRotation(k, -tv::dmath::acos(cosAngle));
}

void setupStorms(PlanetData& planet, const ParamRecord& params) {
    planet.axis = {-params.axisX, -params.axisY, params.axisZ};
    const float sigma = 0.006f * static_cast<float>(params.stormSize);
    const float spin = 0.1f * static_cast<float>(params.stormSwirl);
    // The lit globe shows one hemisphere: one pass (z >= 0). Flat maps show
    // the whole sphere: a second pass fills z <= 0.
    const bool globe = params.outputMode == kModeNormal || params.outputMode == kModeComposite;
    const int lastPass = globe ? 0 : 1;

    int32_t k = 380;
    int32_t n = 0;
    int pass = 0;
    int32_t inPass = 0;
    int failures = 0;
    planet.stormCount = 0;
    // Storms are placed in map space (+y north) and turned onto the planet's
    // axis at the end. Placement stops when the tables are full: two passes
    // of 101 storms would ask for 202.
    while (n < kMaxStorms) {
        Vec3 c = randomUnitVector(planet, k);
        planet.stormSpin[n] = c.y < 0.0f ? -spin : spin;
        const float u = static_cast<float>(nextRandomByte(planet, k)) / 255.0f;
        const float r = sigma * (2.0f - u * u);
        planet.stormRadius[n] = r;
        planet.stormRadiusSq[n] = r * r;
        c.z = std::fabs(c.z);
        if (pass == 1) c.z = -c.z;

        // Storms favour the equator and never lie beyond |y| = 0.85.
        const float limit = 0.85f * static_cast<float>(nextRandomByte(planet, k)) / 255.0f;
        bool accepted = !(std::fabs(c.y) > limit);
        for (int32_t j = 0; accepted && j < n; ++j) {
            const float dx = c.x - planet.stormX[j];
            const float dy = c.y - planet.stormY[j];
            const float dz = c.z - planet.stormZ[j];
            if (std::sqrt(dx * dx + dy * dy + dz * dz) < 0.552f * (r + planet.stormRadius[j])) accepted = false;
        }
        if (accepted) {
            planet.stormX[n] = c.x;
            planet.stormY[n] = c.y;
            planet.stormZ[n] = c.z;
            ++n;
            ++inPass;
            planet.stormCount = n;
            failures = 0;
        } else {
            ++failures;
        }
        if (inPass > params.stormCount || failures > 40) {
            ++pass;
            inPass = 0;
            failures = 0;
            if (pass > lastPass) break;
        }
    }

    const Rotation turn = latitudeRotation(planet.axis);
    for (int32_t i = 0; i < planet.stormCount; ++i) {
        const Vec3 v = rotate(turn, {planet.stormX[i], planet.stormY[i], planet.stormZ[i]});
        planet.stormX[i] = v.x;
        planet.stormY[i] = v.y;
        planet.stormZ[i] = v.z;
    }
}

void setupCloudConstants(PlanetData& planet, const ParamRecord& params, int32_t filterWidth,
                         int32_t filterHeight, int32_t sampleFactor) {
    // The planet radius in pixels of the full image, then of the (reduced) render.
    // Settings are not range-checked: the size's square is taken in 64 bits and
    // the radius kept inside the integers.
    const int64_t sizeTerm = int64_t{params.planetSize} * params.planetSize / 10;
    const float r0 = std::clamp(static_cast<float>(sizeTerm) / 1000.0f *
                                    static_cast<float>(std::min(filterWidth, filterHeight)),
                                1.0f, 2147483520.0f);
    const int32_t factor = std::max(1, sampleFactor);
    const float rz = static_cast<float>(static_cast<int32_t>(r0) / factor) - 0.5f;
    const float lambda = rz < 0.0f ? 1.442695f : tv::dmath::log2(rz);

    int32_t n1 = static_cast<int32_t>(7.0f * (1.0f - 0.01f * static_cast<float>(params.cloudViscosity)));
    if (lambda < static_cast<float>(n1)) n1 = static_cast<int32_t>(lambda);
    int32_t n2 = static_cast<int32_t>(lambda - static_cast<float>(n1));
    // Once an octave's scale reaches 2.0987^13 (the warped octaves count too:
    // they set where the detail starts) the noise's coordinates are whole
    // numbers, where it is 0, so further octaves add nothing; past 2.0987^17
    // they would leave the lattice's integer range. Only settings out of range
    // ask for more: a viscosity far above 100 asks for one more detail octave
    // per 14 points, millions at the extreme.
    constexpr int32_t kMaxCloudOctaves = 19;
    n1 = std::min(n1, kMaxCloudOctaves);
    n2 = std::min(n2, kMaxCloudOctaves - std::max(n1, 0));
    float scale = 1.0f;
    for (int32_t i = 0; i < n1; ++i) scale *= 2.0987f;

    planet.warpOctaves = n1;
    planet.detailOctaves = n2;
    planet.detailScale = scale;
    planet.cloudBias = 0.01f * (static_cast<float>(params.cloudCoverage) - 50.0f);
    planet.cloudMapBias = std::min(planet.cloudBias, 0.0f);
    planet.cloudGain = 0.05f * static_cast<float>(params.cloudEdges);
    planet.shadowStrength = 0.01f * static_cast<float>(params.cloudShadows);
    planet.cloudShellScale = 1.0f - 0.0005f * static_cast<float>(params.cloudHeight);
}

}  // namespace tv
