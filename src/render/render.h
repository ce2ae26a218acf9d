// Render entry points: the host flow, the preview, the exports and the
// command line all render through these.
#pragma once

#include <cstdint>

#include "render/engine.h"
#include "render/view.h"

namespace tv {

// Points the engine at the two blocks and allocates its planet data.
void initEngine(Engine& engine, ParamRecord* params, StateBlock* state);

// The planet set-up of one render, on the calling thread before any job runs:
// seed table and lattice, terrain constants, storms, craters, relief maps,
// cloud constants, sea colours and the cloud map in use. Reads engine.target
// (the full image area and its depth).
void preparePlanet(Engine& engine, int32_t sampleFactor);

// What the jobs of a render read, from the engine's record, planet data and
// target (after preparePlanet).
RenderContext makeRenderContext(const Engine& engine, int32_t destination);

// Sets the render destination, takes the render area for it, has the host set
// up its planes (host and preview), sets the pass counters (host and export),
// prepares the planet, renders, resets the pass index and releases the
// per-render buffers. Returns the result code (0, -128 on cancel, or the host's error).
int32_t renderToTarget(Engine& engine, int32_t destination);
int32_t renderFinal(Engine& engine);    // destination 0
int32_t renderPreview(Engine& engine);  // destination 1
// The same preparation and render with the current destination and area
// (the layered export after it has set the destination and the mode).
int32_t renderAgain(Engine& engine);

// Renders the current record into image (destination 2) at width x height and
// 1, 2 or 4 bytes per channel; the export image is the full image area.
int32_t renderToExportImage(Engine& engine, ExportImage& image, int32_t width, int32_t height,
                            int32_t bytesPerChannel);

// Layer index 1..11 -> "lit map" .. "mural"; any other index "a layer".
const char* layerName(int32_t index);

}  // namespace tv
