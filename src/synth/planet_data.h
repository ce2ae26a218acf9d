// The per-render block of derived constants and tables that the planet set-up
// fills before any render job starts and that every job only reads.
#pragma once

#include <cstdint>

#include "base/types.h"

namespace tv {

struct ImagePyramid;

constexpr int kSeedTableSize = 2048;
constexpr int kLatticeSize = 256;
constexpr int kLatticeEntries = 2 * kLatticeSize + 2;  // 514
constexpr int kMaxStorms = 200;
constexpr int kMaxCraters = 100;

struct CraterRecord {
    Vec3 axisU;       // first tangent axis of the square footprint
    Vec3 axisV;       // second tangent axis; the centre is axisU x axisV
    float radius;     // half-width of the footprint (a dot-product range)
    float invRadius;
    float logRadius;
};

// The crater footprints in columns, for the per-pixel test of addCraters: four
// craters at a time. Entries past the stamped craters have radius -1 (never hit).
constexpr int kCraterColumns = kMaxCraters + 4;
struct CraterColumns {
    float ux[kCraterColumns], uy[kCraterColumns], uz[kCraterColumns];
    float vx[kCraterColumns], vy[kCraterColumns], vz[kCraterColumns];
    float radius[kCraterColumns];
};

// Relief images held as pyramids: the Moon's near side and four crater fields.
enum ReliefMap { kReliefLuna = 0, kReliefCrater0 = 1, kReliefCount = 5 };

struct PlanetData {
    // Noise tables.
    int32_t seedTable[kSeedTableSize];  // bytes 0..255
    int32_t latticePerm[kLatticeEntries];
    Vec3 latticeGrad[kLatticeEntries];
    // Copies for the four-at-a-time noise: the gradients as four floats
    // (x, y, z, 0), so that one load reads a whole gradient, and latticePerm
    // x 16 (byte offsets of latticeGrad4 rows). buildLattice fills them; whoever
    // changes latticePerm or latticeGrad afterwards must fill them again.
    alignas(16) float latticeGrad4[kLatticeEntries][4];
    uint32_t latticePermBytes[kLatticeEntries];

    // Storms, in planet space (after the latitude rotation).
    float stormX[kMaxStorms], stormY[kMaxStorms], stormZ[kMaxStorms];
    float stormRadius[kMaxStorms], stormRadiusSq[kMaxStorms], stormSpin[kMaxStorms];
    int32_t stormCount;

    // Craters.
    CraterRecord craters[kMaxCraters];
    int32_t craterCount;
    CraterColumns craterColumns;  // filled by setupCraters (indexCraters after any change)
    float craterDepth;       // 0.00004 x crater texture
    float craterLevelBias;   // ln(2R) - ln 384, per view

    // Terrain.
    float seaLevelHeight;    // S
    float roughness;         // fractal gain G
    Vec3 axis;               // (-axis x, -axis y, axis z)
    bool realLuna;           // sample the lunar relief instead of the fractal

    // Sea colours in output units.
    float shallowSea[3];
    float deepSea[3];

    // Clouds and air.
    float cloudBias;
    float cloudMapBias;
    float cloudGain;         // 0.05 x cloud edges
    float shadowStrength;    // 0.01 x cloud shadows
    float cloudShellScale;   // 1 - 0.0005 x cloud height
    float airThickness;      // 0.003 x air depth
    int32_t warpOctaves;     // N1
    int32_t detailOctaves;   // N2
    float detailScale;       // 2.0987^N1

    // Satellite cloud map placement (fractions of the map's width and height).
    float cloudMapOffsetU, cloudMapOffsetV, cloudMapScaleU, cloudMapScaleV;

    // Rasters the synthesis samples; owned elsewhere, complete before jobs run.
    const ImagePyramid* reliefs[kReliefCount];
    const ImagePyramid* cloudMap;  // null when no satellite map is loaded
};

// The view values the synthesis reads per job (filled by the render view set-up).
struct SampleView {
    float mapLevel = 0.0f, mapLevelFrac = 0.0f;      // lunar relief level
    float cloudLevel = 0.0f, cloudLevelFrac = 0.0f;  // cloud map level
    float coriolisScale = 0.0f;                      // 0.04 x cloud coriolis
    float one = 1.0f;                                // domain-warp amplitude
    bool useCloudMap = false;
};

}  // namespace tv
