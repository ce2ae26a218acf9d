// The render entry points: target set-up, the planet set-up, and the render
// jobs that fill the target tile by tile.
#include "render/render.h"

#include <algorithm>
#include <cmath>

#include "base/det_math.h"
#include <cstdint>
#include <memory>
#include <new>
#include <vector>

#include "clouds/cloud_cache.h"
#include "synth/jobs.h"
#include "render/shading.h"
#include "render/view.h"
#include "render/writeout.h"
#include "synth/cloud_field.h"
#include "synth/noise.h"
#include "synth/terrain.h"

namespace tv {

namespace {

constexpr int32_t kResultCancelled = -128;
constexpr int32_t kResultBadParameters = -30100;

}  // namespace

// Each worker slot's buffers, kept from one job of the slot to the next and
// from one render of the engine to the next (previews render many times).
// Held by pointer: a slot's buffers stay where they are while others are added.
struct SlotBuffers {
    std::vector<std::unique_ptr<TileBuffers>> bySlot;
};

namespace {

struct RenderRun {
    Engine* engine = nullptr;
    RenderContext context;
    WriteContext write;
    Rect area;
};

// Export images take the tile's rows straight from the worker (each tile
// its own pixels); a host's image or the preview takes them on the driver,
// after the host has delivered the tile.
bool rowsGoStraightOut(const RenderRun& run) { return run.write.destination == kDestinationExport; }

bool setUpJob(void* c, RenderJob& job) {
    auto& run = *static_cast<RenderRun*>(c);
    if (job.slot < 0) return false;
    Engine& e = *run.engine;
    if (!e.buffers) e.buffers = std::make_shared<SlotBuffers>();
    std::vector<std::unique_ptr<TileBuffers>>& slots = e.buffers->bySlot;
    if (size_t(job.slot) >= slots.size()) slots.resize(size_t(job.slot) + 1);
    if (!slots[size_t(job.slot)]) slots[size_t(job.slot)] = std::make_unique<TileBuffers>();
    auto* view = new (std::nothrow) RenderView;
    if (!view) return false;
    view->owner = &job;
    setupRenderView(*view, run.context, job.plan.tile);
    if (!prepareBuffers(*view, *slots[size_t(job.slot)], !rowsGoStraightOut(run))) {
        delete view;
        return false;
    }
    job.views = view;
    job.viewCount = 1;
    return true;
}

void writeRow(const RenderRun& run, const RenderView& view, int32_t y, const ShadedPixel* row) {
    const Rect& t = view.tile;
    for (int32_t x = t.left; x < t.right; ++x, ++row) {
        const float colour[4] = {row->colour[0], row->colour[1], row->colour[2], 1.0f};
        writePixel(run.write, x, y, colour, row->extra);
    }
}

void workJob(void* c, RenderJob& job) {
    auto& run = *static_cast<RenderRun*>(c);
    auto* view = static_cast<RenderView*>(job.views);
    if (!view) return;
    if (rowsGoStraightOut(run))
        renderTile(*view, [](void* r, const RenderView& v, int32_t y, const ShadedPixel* row) {
            writeRow(*static_cast<const RenderRun*>(r), v, y, row);
        }, &run);
    else
        renderTile(*view);
}

void completeJob(void* c, RenderJob& job) {
    auto& run = *static_cast<RenderRun*>(c);
    const auto* view = static_cast<const RenderView*>(job.views);
    if (!view || !view->buffers || rowsGoStraightOut(run)) return;
    const Rect& t = view->tile;
    HostBridge* host = run.write.host;
    if (host && host->requestTile) {
        const Rect absolute{t.top + run.area.top, t.left + run.area.left, t.bottom + run.area.top,
                            t.right + run.area.left};
        const int32_t r = host->requestTile(host->context, absolute);
        if (r != 0) {
            run.engine->result = r;
            return;
        }
    }
    const ShadedPixel* shaded = view->buffers->shaded.data();
    for (int32_t y = t.top; y < t.bottom; ++y, shaded += t.width()) writeRow(run, *view, y, shaded);
}

void tearDownJob(void*, RenderJob& job) {
    delete static_cast<RenderView*>(job.views);
    job.views = nullptr;
    job.viewCount = 0;
}

bool cancelledRun(void* c) {
    auto& run = *static_cast<RenderRun*>(c);
    Engine& e = *run.engine;
    if (e.result == kResultCancelled || (e.result != 0 && run.write.destination != kDestinationExport)) return true;
    if (run.write.destination == kDestinationHost && e.host && e.host->cancelled && e.host->cancelled(e.host->context)) {
        e.result = kResultCancelled;
        return true;
    }
    return false;
}

void progressRun(void* c, int32_t thousandths) {
    auto& run = *static_cast<RenderRun*>(c);
    Engine& e = *run.engine;
    if (run.write.destination == kDestinationHost && e.host && e.host->progress)
        e.host->progress(e.host->context, thousandths, 1000);
    else if (run.write.destination == kDestinationExport && e.exportProgress)
        e.exportProgress(e.exportProgressContext, thousandths);
}

// The bytes of an export image of width x height at bytesPerChannel (0 for
// a size or sample width it cannot have, or more than memory can address).
size_t exportBytes(int32_t width, int32_t height, int32_t bytesPerChannel) {
    if (width <= 0 || height <= 0 || (bytesPerChannel != 1 && bytesPerChannel != 2 && bytesPerChannel != 4)) return 0;
    const uint64_t bytes = uint64_t(width) * uint64_t(height) * 4u * uint64_t(bytesPerChannel);
    return bytes <= uint64_t(SIZE_MAX / 2) ? size_t(bytes) : 0;
}

// The write-out stores an export pixel wherever its size puts it: the
// buffer must hold them all.
bool holdsItsPixels(const ExportImage& image) {
    const size_t bytes = exportBytes(image.width, image.height, image.bytesPerChannel);
    return bytes != 0 && image.pixels.size() >= bytes;
}

// The render area and image kind of a destination. Returns 0 or a result code.
int32_t setUpTarget(Engine& e, int32_t destination) {
    RenderTarget t;
    if (destination == kDestinationExport) {
        if (!e.exportImage || !holdsItsPixels(*e.exportImage)) return kResultBadParameters;
        const ExportImage& image = *e.exportImage;
        t.depthBits = image.bytesPerChannel * 8;
        t.grey = image.grey;
        t.floatUnclamped = image.bytesPerChannel == 4;
        t.area = {0, 0, image.height, image.width};
        t.fullWidth = image.width;
        t.fullHeight = image.height;
    } else if (e.host && e.host->setUpPlanes) {
        const int32_t r = e.host->setUpPlanes(e.host->context, destination, t);
        if (r != 0) return r;
    } else if (destination == kDestinationPreview && e.state) {
        // No host: the preview image is the visible window of the full area.
        const PreviewImage& pv = e.state->preview;
        const int32_t sf = std::max(1, e.params->sampleFactor);
        t.area = {0, 0, pv.height, pv.rowLength};
        const Rect& full = e.state->fullRenderRect;
        t.fullWidth = full.empty() ? pv.rowLength * sf : full.width();
        t.fullHeight = full.empty() ? pv.height * sf : full.height();
        t.grey = pv.planeCount < 3;
    } else {
        return kResultBadParameters;  // nothing to render into
    }
    if (t.area.empty() || t.fullWidth <= 0 || t.fullHeight <= 0) return kResultBadParameters;
    e.target = t;
    return 0;
}

int32_t sampleFactorFor(const Engine& e, int32_t destination) {
    return destination == kDestinationPreview ? std::max(1, e.params->sampleFactor) : 1;
}

int32_t renderWithTarget(Engine& e, int32_t destination) {
    ParamRecord& params = *e.params;
    const int32_t sf = sampleFactorFor(e, destination);
    preparePlanet(e, sf);

    RenderRun run;
    run.engine = &e;
    run.area = e.target.area;
    run.context = makeRenderContext(e, destination);

    run.write.mode = params.outputMode;
    run.write.destination = destination;
    run.write.target = e.target;
    run.write.host = e.host;
    run.write.exportImage = e.exportImage;
    run.write.preview = e.state ? &e.state->preview : nullptr;
    run.write.areaLeft = run.area.left;
    run.write.areaTop = run.area.top;

    JobHandlers handlers;
    handlers.context = &run;
    handlers.setUp = setUpJob;
    handlers.work = workJob;
    handlers.complete = completeJob;
    handlers.tearDown = tearDownJob;
    handlers.cancelled = cancelledRun;
    handlers.progress = progressRun;
    handlers.passIndex = params.passIndex;
    handlers.passCount = params.passCount;
    const intptr_t args[kJobArgCount] = {};
    const int32_t plan = destination == kDestinationPreview ? kPlanSmallTiles : kPlanTiles;
    const JobRunResult r = runJobs(kJobRenderTile, args, run.area, plan, handlers);
    if (r.aborted && e.result == 0) e.result = kResultCancelled;
    params.passIndex = -1;
    return e.result;
}

}  // namespace

RenderContext makeRenderContext(const Engine& e, int32_t destination) {
    const ParamRecord& params = *e.params;
    RenderContext ctx;
    ctx.params = e.params;
    ctx.planet = e.planet.get();
    ctx.target = e.target;
    ctx.destination = destination;
    ctx.mode = params.outputMode;
    ctx.sampleFactor = sampleFactorFor(e, destination);
    ctx.originX = destination == kDestinationPreview ? params.previewOriginX : 0;
    ctx.originY = destination == kDestinationPreview ? params.previewOriginY : 0;
    if (e.planet->cloudMap && e.cloudMap.discWidth > 0.0f) {
        ctx.lnCloudBase = tv::dmath::log(e.cloudMap.discWidth);
        ctx.cloudTopLevel = e.cloudMap.pyramid.topLevel;
    }
    const ImagePyramid& luna = e.reliefs[kReliefLuna];
    ctx.lnMapBase = tv::dmath::log(float(luna.levelWidth[0] > 0 ? luna.levelWidth[0] : 512));
    ctx.mapTopLevel = luna.topLevel;
    return ctx;
}

void initEngine(Engine& engine, ParamRecord* params, StateBlock* state) {
    engine.params = params;
    engine.state = state;
    if (!engine.planet) engine.planet = std::make_unique<PlanetData>();
    engine.result = 0;
}

void preparePlanet(Engine& e, int32_t sampleFactor) {
    const ParamRecord& p = *e.params;
    PlanetData& planet = *e.planet;
    const bool eightBit = e.target.depthBits <= 8;

    buildSeedTable(planet, p.randomSeed);
    buildLattice(planet);
    setupTerrainConstants(planet, p);
    setupStorms(planet, p);
    setupCraters(planet, p);
    loadReliefMaps(e.reliefs, planet);
    setupCloudConstants(planet, p, e.target.fullWidth, e.target.fullHeight, sampleFactor);
    planet.airThickness = 0.003f * float(p.airDepth);
    setupSeaColours(planet, p.seaColor, eightBit);

    // The chosen satellite map, reloaded from its cache file.
    loadCloudMapForRender(e.cloudMap, *e.params);
    // Satellite clouds when switched on and a map is loaded, else synthetic ones.
    const bool useMap = p.realClouds != 0 && e.cloudMap.loaded && !e.cloudMap.pyramid.empty();
    planet.cloudMap = useMap ? &e.cloudMap.pyramid : nullptr;
    planet.cloudMapOffsetU = e.cloudMap.offsetU;
    planet.cloudMapOffsetV = e.cloudMap.offsetV;
    planet.cloudMapScaleU = e.cloudMap.scaleU;
    planet.cloudMapScaleV = e.cloudMap.scaleV;

    // The crater detail bias follows the planet's size in pixels (the same for every job).
    const float R = viewRadius(p, p.outputMode, e.target.fullWidth, e.target.fullHeight, sampleFactor);
    planet.craterLevelBias = tv::dmath::log(2.0f * R) - 5.950642552587727f;
}

int32_t renderToTarget(Engine& engine, int32_t destination) {
    engine.result = 0;
    engine.params->renderDestination = destination;
    const int32_t r = setUpTarget(engine, destination);
    if (r != 0) {
        engine.result = r;
        return r;
    }
    if (destination != kDestinationPreview) {
        engine.params->passCount = 1;
        engine.params->passIndex = 1;
    }
    return renderWithTarget(engine, destination);
}

int32_t renderFinal(Engine& engine) { return renderToTarget(engine, kDestinationHost); }
int32_t renderPreview(Engine& engine) { return renderToTarget(engine, kDestinationPreview); }

int32_t renderAgain(Engine& engine) {
    engine.result = 0;
    const int32_t destination = engine.params->renderDestination;
    if (destination == kDestinationExport) {
        // The export image may have changed since the last render.
        const int32_t r = setUpTarget(engine, destination);
        if (r != 0) return engine.result = r;
    } else if (engine.target.area.empty()) {
        return engine.result = kResultBadParameters;
    }
    return renderWithTarget(engine, destination);
}

int32_t renderToExportImage(Engine& engine, ExportImage& image, int32_t width, int32_t height,
                            int32_t bytesPerChannel) {
    const size_t bytes = exportBytes(width, height, bytesPerChannel);
    if (bytes == 0) return kResultBadParameters;
    image.width = width;
    image.height = height;
    image.bytesPerChannel = bytesPerChannel;
    image.pixels.assign(bytes, 0);
    ExportImage* previous = engine.exportImage;
    engine.exportImage = &image;
    const int32_t r = renderToTarget(engine, kDestinationExport);
    engine.exportImage = previous;
    return r;
}

const char* layerName(int32_t index) {
    static const char* const kNames[] = {"lit map",    "map color", "land color", "land bump",
                                         "bump w/o ocean", "ocean mask", "air color", "cloud mask",
                                         "cloud bump", "cities",    "mural"};
    return (index >= 1 && index <= 11) ? kNames[index - 1] : "a layer";
}

}  // namespace tv
