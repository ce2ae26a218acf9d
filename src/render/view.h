// A render job's view of the planet and its private grid of per-pixel cells.
#pragma once

#include <cstdint>

#include "base/types.h"
#include "params/params.h"
#include "render/engine.h"
#include "synth/jobs.h"
#include "synth/planet_data.h"

namespace tv {

// Fields of a cell (32 floats per pixel).
enum CellField : int32_t {
    kCellDetail = 11,              // terrain x textureGain
    kCellBaseNoise = 12,           // first octave of the terrain fractal
    kCellTerrain = 13,             // signed-square terrain value
    kCellElevation = 14,           // fractal minus S, before squaring
    kCellHeightTowardShadow = 15,  // height at the point shifted away from the light
    kCellCraterSum = 16,           // crater relief
    kCellTerrainAlt = 17,          // alternating octave sum
    kCellBandMin = 18,             // lowest contour band of the pixel's corners
    kCellHeight = 19,              // final height h
    kCellSeaIce = 20,              // always 0
    kCellContourInk = 21,          // coverage of contour lines
    kCellSinLat = 22,              // axis . p
    kCellColour = 24,              // R, G, B in 0..1 and 1.0 (24..27)
    kCellExtra = 28,               // air opacity, surface coverage (28..29)
    kCellFloats = 32,
};

struct RenderCell {
    float v[kCellFloats];
};

// What every job of one render reads; complete before the jobs start.
struct RenderContext {
    const ParamRecord* params = nullptr;
    const PlanetData* planet = nullptr;
    RenderTarget target;
    int32_t destination = kDestinationExport;
    int32_t mode = kModeNormal;
    int32_t sampleFactor = 1;
    int32_t originX = 0, originY = 0;  // preview scroll offsets, full-size pixels
    float lnCloudBase = 0.0f;          // ln of the cloud map's disc width
    int32_t cloudTopLevel = 0;
    float lnMapBase = 0.0f;            // ln of the lunar relief's base size
    int32_t mapTopLevel = 0;
};

struct RenderView {
    RenderJob* owner = nullptr;
    RenderCell* cells = nullptr;
    void* cellsHandle = nullptr;  // the allocation the grid lives in
    int32_t index = 0;
    int32_t tag = 1000;
    float invWidth = 0.0f, invHeight = 0.0f;
    float one = 1.0f;
    float coriolisScale = 0.0f;
    bool useCloudMap = false;
    bool flat = false;
    bool lit = false;
    float lnR = 0.0f, ln2R = 0.0f;
    float lnCloudBase = 0.0f;
    float R = 1.0f;
    float width = 0.0f, height = 0.0f;
    float cloudLevel = 0.0f, cloudLevelFrac = 0.0f;
    float mapLevel = 0.0f, mapLevelFrac = 0.0f;
    int32_t cx = 0, cy = 0;
    float textureGain = 0.0f;

    // The job rectangle in render-area coordinates, and the grid around it
    // (one cell of border on every side).
    Rect tile;
    int32_t gridWidth = 0, gridHeight = 0;
    const RenderContext* context = nullptr;
    SampleView sample;  // the values the synthesis reads
};

// max(1, trunc(floor(size^2 / 10) / 1000 x min(h, w))): at size 100 the radius is the shorter side.
int32_t planetRadius(int32_t size, int32_t height, int32_t width);

// The radius R of a render in its (reduced) pixels: half the image height for
// flat maps, else planetRadius less half a pixel, both divided by the sample
// factor; 1 when that is not positive.
float viewRadius(const ParamRecord& params, int32_t mode, int32_t fullWidth, int32_t fullHeight,
                 int32_t sampleFactor);

// Mode flags.
constexpr bool isFlatMode(int32_t mode) { return mode >= kModeLitMap; }
bool isLitMode(int32_t mode);

// Fills the view for a job whose rectangle (render-area coordinates) is tile.
// Also computes the per-view planet values (axis, roughness, crater bias),
// which are the same for every job; the planet set-up stores them once.
void setupRenderView(RenderView& view, const RenderContext& context, const Rect& tile);

// Allocates the view's grid ((h + 2) x (w + 2) cells, cleared to 0); false when it cannot.
bool allocateCells(RenderView& view);
void freeCells(RenderView& view);

// Renders the view's rectangle into its grid.
void renderTile(RenderView& view);

// Cell accessors in render-area coordinates; coordinates outside the grid are
// ignored (a read gives 0).
float getCell(int32_t x, int32_t y, const RenderView& view, int32_t index);
void setCell(int32_t x, int32_t y, RenderView& view, int32_t index, float value);
void setColour(int32_t x, int32_t y, RenderView& view, const float rgba[4]);
void setExtra(int32_t x, int32_t y, RenderView& view, const float extra[2]);
void getColour(int32_t x, int32_t y, const RenderView& view, float rgba[4]);
void getExtra(int32_t x, int32_t y, const RenderView& view, float extra[2]);

// The four corner values of a pixel square (top-left, top-right, bottom-left,
// bottom-right) -> the fraction of the square whose bilinear value lies above t.
// A corner holding -2 stands for the bottom-right corner's value.
float squareCoverage(float c0, float c1, float c2, float c3, float t);

}  // namespace tv
