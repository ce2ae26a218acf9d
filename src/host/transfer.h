// Pixels between the host and the module: which rectangles, planes and rates
// the module asks for, the tile requests through `advanceState`, reading source
// pixels and the selection mask, storing results at 8, 16 and 32 bits in grey
// and RGB (with an editable transparency plane), and the preview's 8-bit copy
// of the host image. Everything here runs on the host's thread.
#pragma once

#include <cstdint>

#include "base/types.h"
#include "params/params.h"
#include "host/pi/pi_types.h"
#include "render/engine.h"

namespace tv {

struct HostTransfer {
    pi::FilterRecord* record = nullptr;
    ParamRecord* params = nullptr;
    StateBlock* state = nullptr;
    int16_t* result = nullptr;  // the selector's result code
    Rect tile;                  // the current tile, in render coordinates
    // The dialog's preview pane in pixels (the preview area is cut to it).
    int32_t paneWidth = 1 << 30;
    int32_t paneHeight = 1 << 30;
};

// Rectangles, through the big-document block when the host uses 32-bit coordinates.
bool usesBigDocument(const pi::FilterRecord* r);
Rect filterRect(const pi::FilterRecord* r);
Rect inRect(const pi::FilterRecord* r);
Rect outRect(const pi::FilterRecord* r);
Rect maskRect(const pi::FilterRecord* r);
void setInRect(pi::FilterRecord* r, const Rect& rect);
void setOutRect(pi::FilterRecord* r, const Rect& rect);
void setMaskRect(pi::FilterRecord* r, const Rect& rect);
// Floating-selection origin: x = horizontal, y = vertical.
void floatOrigin(const pi::FilterRecord* r, int32_t& x, int32_t& y);

// Depth class: 8, 16 or 32 bits per channel; full scale 255, 32768 or 1.
// (Inline: the source and mask reads ask for them at every pixel.)
inline int32_t depthClass(const pi::FilterRecord* r) {
    if (r->imageMode == pi::kModeRGB96 || r->imageMode == pi::kModeGray32 || r->depth == 32) return 32;
    if ((r->imageMode == pi::kModeGray16 || r->imageMode == pi::kModeRGB48) && r->depth == 16) return 16;
    return 8;
}
inline float fullScale(int32_t depthBits) {
    return depthBits == 8 ? 255.0f : (depthBits == 16 ? 32768.0f : 1.0f);
}
inline bool isGrey(const pi::FilterRecord* r) { return r->planes < 3; }
inline bool hasEditableTransparency(const pi::FilterRecord* r) {
    return r->filterCase == pi::kFilterCaseEditableTransparencyNoSelection ||
           r->filterCase == pi::kFilterCaseEditableTransparencyWithSelection;
}

// The render geometry of an area, stored in the state block.
void storeRenderGeometry(StateBlock& state, const Rect& area);

// Full-area set-up (final render, exports): the render area is the filter
// rectangle at sample factor 1. Fills the target for the renderer.
void fullAreaSetUp(HostTransfer& t, RenderTarget& target);
// Preview set-up at the requested factor; returns the factor used.
int32_t previewSetUp(HostTransfer& t, int32_t factor, RenderTarget& target);

// Sets the rectangles for one tile (render coordinates) and calls advanceState;
// its result becomes the selector's result and is returned.
int16_t requestTile(HostTransfer& t, const Rect& tile);
bool cancelTest(HostTransfer& t);
void reportProgress(HostTransfer& t, int32_t done, int32_t total);

void readSourcePixel(const HostTransfer& t, int32_t x, int32_t y, float rgba[4]);
float readMask(const HostTransfer& t, int32_t x, int32_t y);
// By the record's render destination: the host output or the preview image.
void storePixel(HostTransfer& t, int32_t x, int32_t y, const float rgba[4]);

// The preview's 8-bit copy of the host image, plane by plane.
int16_t copyHostImageForPreview(HostTransfer& t);

// The renderer's view of the transfer functions (context = &t).
HostBridge makeHostBridge(HostTransfer& t);

}  // namespace tv
