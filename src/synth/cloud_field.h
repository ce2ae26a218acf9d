// Storms and the cloud density field (synthetic, or sampled from a satellite map).
#pragma once

#include "base/types.h"
#include "params/params.h"
#include "synth/planet_data.h"

namespace tv {

// The latitude rotation: about normalize(axis x (0, 1, 0)) by acos(axis . (0, 1, 0)),
// carrying the map's north onto the planet axis.
struct Rotation {
    float m[3][3];
};
Rotation latitudeRotation(Vec3 axis);
Vec3 rotate(const Rotation& r, Vec3 v);
// The inverse turn (the transpose applied to v).
Vec3 rotateBack(const Rotation& r, Vec3 v);
// Right-handed rotation by angle about the unit axis a.
Rotation axisRotation(Vec3 a, float angle);

// Storm placement from running index 380. Sets planet.axis from the record
// ((-axis x, -axis y, axis z)) and turns the centres onto it. Never stores
// more than the tables hold (kMaxStorms).
void setupStorms(PlanetData& planet, const ParamRecord& params);

// Octave budgets and base densities, from the planet radius in pixels of the
// full image (planet size and the filter area's shorter side) and the preview
// reduction. Also sets cloudGain, shadowStrength and cloudShellScale.
void setupCloudConstants(PlanetData& planet, const ParamRecord& params, int32_t filterWidth,
                         int32_t filterHeight, int32_t sampleFactor);

// Density D at p (p is not modified); sinLat is that of the pixel being shaded.
float cloudDensity(const PlanetData& planet, Vec3 p, float sinLat, const SampleView& view);

// The same with the pixel's Coriolis turn made once: every density read for
// one pixel (cover, bump, shadow) shares sinLat and so the turn. Same results.
Rotation coriolisTurn(const PlanetData& planet, float sinLat, const SampleView& view);
float cloudDensity(const PlanetData& planet, Vec3 p, float sinLat, const Rotation& coriolis,
                   const SampleView& view);

// The densities at p[0 .. count), each with its latitude and turn: out[i] is
// cloudDensity(planet, p[i], sinLat[i], coriolis[i], view). Neighbouring points
// (a row of pixels) go faster together.
void cloudDensities(const PlanetData& planet, const Vec3* p, const float* sinLat, const Rotation* coriolis,
                    int32_t count, const SampleView& view, float* out);

// The synthetic density with its noise values read one at a time, in the order
// they are added (what cloudDensity computes without a map). cloudDensities
// reads them four points at a time and adds them in the same order; this form
// is the reference it is checked against.
float syntheticDensitySerial(const PlanetData& planet, Vec3 p, float sinLat, const Rotation& coriolis,
                             const SampleView& view);

}  // namespace tv
