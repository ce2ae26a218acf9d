// The frame's seam to the rendering engine: the module creates one engine per
// run (in the working memory), points it at the two host blocks and renders
// the filter area into the host image through the transfer functions.
// Allocation failures come back as results, never as exceptions.
#pragma once

#include <cstdint>

#include "params/params.h"
#include "render/engine.h"

namespace tv {

struct FrameEngine;

FrameEngine* createFrameEngine(ParamRecord* params, StateBlock* state);
void destroyFrameEngine(FrameEngine* engine);
// The blocks are locked anew for every selector: the engine follows them.
void rebindFrameEngine(FrameEngine* engine, ParamRecord* params, StateBlock* state);
// The run's engine (the dialog renders its previews through it).
Engine* engineOf(FrameEngine* engine);
// Worker threads of the module's renders: n > 0 forces n, 0 returns to one
// per processor, a negative n changes nothing. Returns how many workers a
// render of many tiles now starts.
int32_t setFrameWorkerThreads(int32_t n);
// Renders the whole filter area into the host image (destination 0); returns
// 0, -128 when the user cancelled, -108 when memory ran out, or the host's
// error.
int32_t renderIntoHost(FrameEngine* engine, HostBridge& bridge);

}  // namespace tv
