// Surface shading: sea, land, hypsometric bands and city lights, and the
// constants every tile derives from the record before it shades.
#pragma once

#include <cstdint>

#include "base/types.h"
#include "render/view.h"
#include "synth/cloud_field.h"

namespace tv {

struct Hsl {
    float h, s, l;
};
// Hue, saturation and lightness, all three in 0..1.
Hsl rgbToHsl(const float rgb[3]);
void hslToRgb(float h, float s, float l, float rgb[3]);

// A record colour in output units: the high byte for 8-bit images, else value / 2
// (white is 255 or 32768).
void colourUnits(const Colour16& c, bool eightBit, float out[3]);

// The sea colours the planet set-up stores: shallow = W x (high bytes) / 256,
// deep = the same with the hue turned by 0.06 and the lightness x 0.9;
// W = 255 for 8-bit images and 32768 otherwise.
void setupSeaColours(PlanetData& planet, const Colour16& sea, bool eightBit);

struct AtmosphereConstants {
    bool flat = false;
    bool opacity = false;  // composite on a layer with transparency: the air becomes opacity
    float a = 0.0f;             // shell thickness in planet radii
    float A = 1.0f;             // outer radius
    float shellInv = 1.0f;
    float shadowEdge = 0.0f;
    float invThickness = 0.0f;
    float air[3] = {};  // air colour x 0.04 air brightness, output units
    float sunsetAmount = 0.0f;
    float nightLift = 0.0f;
    float backFade = 0.0f;
    float haloGain = 0.0f;
    float depthScale = 1.0f;
};

struct TileConstants {
    bool eightBit = true;
    bool keepHighlights = false;  // float image, globe mode: no wash to white above W
    float white = 255.0f;  // W
    float half = 128.0f;   // H
    float depthScale = 1.0f;
    float insideLimit = 0.0f;  // quarter-pixel units
    Vec3 light;                // towards the light
    float reliefTilt = 0.0f;   // flat maps: sun tilt from the vertical
    float reliefGain = 1.0f;
    float shiftX = 0.0f, shiftY = 0.0f;  // relief light probe, map pixels
    float terminatorWidth = 0.0f;        // w
    bool flat = false, lit = false;
    bool atmosphereOn = false, cloudsOn = false, citiesOn = false;
    bool reliefLight = false, contours = false;
    int32_t mode = kModeNormal;
    float sunsetAmount = 0.0f;
    float iceThreshold = 0.0f;  // T_ice
    float desertBias = 0.0f;
    float landWarp = 0.0f;      // f
    float cloudBumpGain = 0.0f;
    Vec3 halfVector;            // sea glints
    float edge0 = 0.0f, edge0Sq = 0.0f;
    Rotation latitude;          // map north onto the planet axis
    int32_t ditherStart = 0;
    int32_t sampleFactor = 1;
    float seaLevel = 0.0f;      // S
    float roughness = 0.0f;
    float land[3] = {}, desert[3] = {}, ice[3] = {}, city[3] = {}, cloud[3] = {};
    float seaIce[3] = {};       // (0.9 ice r, 0.9 ice g, ice b)
    int32_t cities = 0;
    bool lunarClimate = false;
    int32_t seed = 0;
    AtmosphereConstants air;
};

// The constants of the view's tile (the dither start depends on the tile position).
TileConstants computeTileConstants(const RenderView& view);

// The cell fields the shading reads.
struct CellSample {
    float detail, baseNoise, terrain, elevation, height, craterSum, sinLat;
};

struct LandResult {
    float rgb[3];
    float ice;   // land-ice weight I
    float n;     // colour fractal value
    float n2;    // its alternating sum
};

// Sea colour at p; lightTerm = max(0, p . light), iceFraction = psi.
// Lit views get the sea multiplied by lightTerm.
void seaColour(const TileConstants& tc, const PlanetData& planet, const CellSample& cell, Vec3 p,
               float lightTerm, float iceFraction, float out[3]);

// Land colour at p (every mode but hypsometric). slopeLight is the slope
// light, remapped in place by the lunar climate; lit views get the colour
// multiplied by it.
LandResult landColour(const TileConstants& tc, const PlanetData& planet, const CellSample& cell, Vec3 p,
                      float& slopeLight);

// The land colour's fractal at p: its sum and alternating sum.
struct LandNoise {
    float n, n2;
};
LandNoise landNoise(const TileConstants& tc, const PlanetData& planet, const CellSample& cell, Vec3 p);
// The same for count pixels at once: out[i] = landNoise(tc, planet, cells[i], p[i]).
// Neighbouring pixels go faster together.
void landNoises(const TileConstants& tc, const PlanetData& planet, const CellSample* cells, const Vec3* p,
                int32_t count, LandNoise* out);
// landColour with its fractal already read.
LandResult landColourWith(const TileConstants& tc, const CellSample& cell, const LandNoise& noise,
                          float& slopeLight);
// The slope light as landColour leaves it (the lunar climate remaps it).
float landSlopeLight(const TileConstants& tc, float slopeLight);

// Hypsometric band colour (unlit) for band b and contour ink, in output units.
void hypsometricColour(const TileConstants& tc, float bandMin, float contourInk, float out[3]);

// City light of the night side; ditherByte 0..255, sparkle any integer that
// varies with the pixel. Writes 0 when there is no light.
void cityLight(const TileConstants& tc, const CellSample& cell, float terminator, float landFraction,
               const LandResult& land, int32_t ditherByte, uint32_t sparkle, float out[3]);

// The sparkle integer of a full-size pixel position: a hash of the position
// and the seed, so that renders are reproducible whatever thread draws them.
uint32_t sparkleAt(int32_t x, int32_t y, int32_t seed);

// Adds the air for one pixel to colour (output units). Globe: dx, dy from the
// pixel to the centre, R the radius, p the surface point (z = 0 off the disk),
// zs its z (0 off the disk), cs the surface coverage. Returns the air opacity
// (only with constants.opacity, else 0).
float addAtmosphere(const AtmosphereConstants& ac, float dx, float dy, float R, Vec3 p, float zs, float cs,
                    Vec3 light, float colour[3]);

}  // namespace tv
