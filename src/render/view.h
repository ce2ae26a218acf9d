// A render job's view of the planet and its private grid of per-pixel cells.
#pragma once

#include <cstdint>
#include <vector>

#include "base/types.h"
#include "params/params.h"
#include "render/engine.h"
#include "synth/jobs.h"
#include "synth/planet_data.h"

namespace tv {

// What the sampling pass finds at a grid pixel on the planet (all 0 elsewhere).
struct SampledCell {
    float detail;        // terrain x textureGain
    float baseNoise;     // first octave of the terrain fractal
    float terrain;       // signed-square terrain value
    float elevation;     // fractal minus S, before squaring
    float towardShadow;  // height at the point shifted away from the light
    float craterSum;     // crater relief
    float height;        // final height h
    float sinLat;        // axis . p
};

// A shaded tile pixel: colour in 0..1 of white (alpha 1), air opacity and
// surface coverage.
struct ShadedPixel {
    float colour[3];
    float extra[2];
};

// A worker's working memory, kept from one tile (and one render) to the next.
// A row of the shading reads the sampled row above it and its own, so the
// sampling keeps two grid rows; contour maps, whose contour pass reads the
// whole grid first, keep every row, with the contour band and ink per cell.
struct TileBuffers {
    std::vector<SampledCell> sampled;
    std::vector<float> bandMin, contourInk;  // contour maps: per grid cell
    std::vector<ShadedPixel> shaded;         // the tile's pixels, row by row
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
    TileBuffers* buffers = nullptr;  // the worker's
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
    bool wholeGrid = false;  // contour maps: every sampled row is kept
    bool wholeTile = true;   // every shaded row is kept
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

// Sizes the worker's buffers for the view's tile and gives them to the view:
// the shaded pixels of the whole tile when wholeTile, else of one row (its
// rows then go to renderTile's rowDone only). False when the memory cannot be
// had.
bool prepareBuffers(RenderView& view, TileBuffers& buffers, bool wholeTile);

// Renders the view's rectangle into its buffers: the tile's pixels into
// buffers->shaded, row by row. Each shaded row is also handed to rowDone,
// when given (row y of the tile, its pixels from the tile's left).
using ShadedRowSink = void (*)(void* context, const RenderView& view, int32_t y, const ShadedPixel* row);
void renderTile(RenderView& view, ShadedRowSink rowDone = nullptr, void* context = nullptr);

// The sampled cell at (x, y) of the grid (render-area coordinates), where the
// view keeps that row: for contour maps every row of the grid once the tile
// is rendered. Null elsewhere.
const SampledCell* sampledCellAt(const RenderView& view, int32_t x, int32_t y);

// The four corner values of a pixel square (top-left, top-right, bottom-left,
// bottom-right) -> the fraction of the square whose bilinear value lies above t.
// A corner holding -2 stands for the bottom-right corner's value.
float squareCoverage(float c0, float c1, float c2, float c3, float t);

}  // namespace tv
