// The land height field and the craters.
#pragma once

#include "base/types.h"
#include "params/params.h"
#include "synth/planet_data.h"

namespace tv {

struct ImagePyramid;

struct TerrainSample {
    float terrain;      // signed square of the height above sea level
    float baseNoise;    // first octave of the fractal (or the lunar relief)
    float elevation;    // fractal sum minus S (not produced with real luna)
    float terrainAlt;   // alternating octave sum
};

// Seeds the terrain constants of the planet (sea level height, roughness,
// crater depth, real luna, axis) from the record. craterLevelBias is the
// view's (ln 2R - ln 384).
void setupTerrainConstants(PlanetData& planet, const ParamRecord& params);

// p is not modified. octaves = the renderer's detail level (>= 1).
TerrainSample sampleTerrain(const PlanetData& planet, Vec3 p, float octaves, float seaLevel,
                            const SampleView& view);

// sampleTerrain at points[0 .. count), each with its own octaves: the same
// results as one call per point. Neighbouring points evaluated together
// (a pixel's point, its shifted point, the next pixel's) go faster.
void sampleTerrains(const PlanetData& planet, const Vec3* points, const float* octaves, int32_t count,
                    float seaLevel, const SampleView& view, TerrainSample* out);

// Places craterCount + 1 records (at most 100) from running index 425.
void setupCraters(PlanetData& planet, const ParamRecord& params);

// Refreshes planet.craterColumns from craters[] and craterCount; setupCraters
// calls it, and so must anyone who changes the crater records afterwards.
void indexCraters(PlanetData& planet);

// Adds the crater relief at p to h and returns it. lnMu = ln of the pixel's
// foreshortening. Needs planet.craterLevelBias for the view.
float addCraters(const PlanetData& planet, Vec3 p, float lnMu, float& h);

// The stamped craters whose footprint may cover some point of a box, in record
// order, with their footprints in columns (entries past count: radius -1).
struct CraterSet {
    int32_t count = 0;
    int32_t index[kCraterColumns] = {};
    CraterColumns columns;
};

// Selects the craters that may cover a point of the box [lo, hi] grown by
// margin on every side. A crater left out covers no such point, so addCraters
// with the set gives the same results as with every crater for those points.
void selectCraters(const PlanetData& planet, Vec3 lo, Vec3 hi, float margin, CraterSet& set);

// addCraters reading only the craters of set (the same sum for any p inside
// the box the set was selected for).
float addCraters(const PlanetData& planet, const CraterSet& set, Vec3 p, float lnMu, float& h);

// Loads the five built-in relief images (Moon 151, craters 146, 148, 149, 150)
// into reliefs[0..4] and points planet.reliefs at them; a pyramid that already
// holds its image with the chain built is kept as it is. Returns false when an
// image could not be loaded: that pyramid stays empty, its planet.reliefs entry
// is null (read as no relief) and set-up continues.
bool loadReliefMaps(ImagePyramid (&reliefs)[kReliefCount], PlanetData& planet);

}  // namespace tv
