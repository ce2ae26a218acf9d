// The module's engine: one per run, made in the working memory at start and
// released with it. The final render goes through the engine's host
// destination, whose tile requests, source and mask reads and stores are the
// frame's transfer functions (the bridge).
#include "host/frame_render.h"

#include <algorithm>
#include <new>

#include "synth/jobs.h"
#include "render/render.h"

namespace tv {

struct FrameEngine {
    Engine engine;
};

namespace {

constexpr int32_t kResultMemoryFull = -108;

}  // namespace

FrameEngine* createFrameEngine(ParamRecord* params, StateBlock* state) {
    auto* frame = new (std::nothrow) FrameEngine;
    if (!frame) return nullptr;
    try {
        initEngine(frame->engine, params, state);
    } catch (const std::bad_alloc&) {
        delete frame;
        return nullptr;
    }
    return frame;
}

void destroyFrameEngine(FrameEngine* engine) { delete engine; }

void rebindFrameEngine(FrameEngine* engine, ParamRecord* params, StateBlock* state) {
    engine->engine.params = params;
    engine->engine.state = state;
}

Engine* engineOf(FrameEngine* engine) { return engine ? &engine->engine : nullptr; }

int32_t setFrameWorkerThreads(int32_t n) {
    if (n >= 0) setForcedThreadCount(std::min(n, kMaxThreads));
    return threadCount(kMaxThreads);
}

int32_t renderIntoHost(FrameEngine* frame, HostBridge& bridge) {
    Engine& engine = frame->engine;
    engine.host = &bridge;
    int32_t result;
    try {
        result = renderFinal(engine);
    } catch (const std::bad_alloc&) {
        // Nothing may leave the module as an exception.
        result = kResultMemoryFull;
        engine.params->passIndex = -1;
    }
    engine.host = nullptr;
    return result;
}

}  // namespace tv
