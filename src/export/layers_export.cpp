#include "export/layers_export.h"

#include <algorithm>
#include <cstring>

#include "export/psd_writer.h"
#include "render/render.h"

namespace tv {

namespace {

// What the export changes in the engine, put back when it ends.
class SavedRenderState {
public:
    explicit SavedRenderState(Engine& e)
        : engine_(e),
          params_(*e.params),
          target_(e.target),
          exportImage_(e.exportImage),
          progress_(e.exportProgress),
          progressContext_(e.exportProgressContext) {}
    ~SavedRenderState() {
        ParamRecord& p = *engine_.params;
        p.outputMode = params_.outputMode;
        p.renderDestination = params_.renderDestination;
        p.passCount = params_.passCount;
        p.passIndex = params_.passIndex;
        p.sampleFactor = params_.sampleFactor;
        p.fullRenderFlag = params_.fullRenderFlag;
        engine_.target = target_;
        engine_.exportImage = exportImage_;
        engine_.exportProgress = progress_;
        engine_.exportProgressContext = progressContext_;
    }
    SavedRenderState(const SavedRenderState&) = delete;
    SavedRenderState& operator=(const SavedRenderState&) = delete;

private:
    Engine& engine_;
    const ParamRecord params_;
    const RenderTarget target_;
    ExportImage* const exportImage_;
    void (*const progress_)(void*, int32_t);
    void* const progressContext_;
};

struct LayerRun {
    Engine* engine = nullptr;
    const LayersRequest* request = nullptr;
    int32_t bytesPerChannel = 1;
    int32_t layers = kPsdLayerCount;
    int32_t done = 0;  // layers finished
};

constexpr int32_t kCancelled = -128;

bool cancelRequested(const LayerRun& run) {
    const LayersProgress& p = run.request->progress;
    return p.cancelled && p.cancelled(p.context);
}

// Called by the render driver between jobs: a cancel result makes the driver
// stop starting jobs and end the render.
void onRenderProgress(void* context, int32_t thousandths) {
    auto* run = static_cast<LayerRun*>(context);
    const LayersProgress& p = run->request->progress;
    if (p.report) p.report(p.context, layersProgress(run->done, thousandths, run->layers));
    if (cancelRequested(*run)) run->engine->result = kCancelled;
}

int32_t renderLayer(void* context, int32_t index, ExportImage& image) {
    auto* run = static_cast<LayerRun*>(context);
    if (cancelRequested(*run)) return kCancelled;
    Engine& e = *run->engine;
    ParamRecord& p = *e.params;
    image.width = run->request->width;
    image.height = run->request->height;
    image.bytesPerChannel = run->bytesPerChannel;
    // Every pixel of the area is written; keep the buffer between layers.
    image.pixels.resize(size_t(image.width) * size_t(image.height) * 4 * size_t(image.bytesPerChannel));
    const int32_t savedMode = p.outputMode;
    p.outputMode = psdLayerMode(index);
    p.renderDestination = kDestinationExport;
    p.passCount = 1;
    p.passIndex = 1;
    e.exportImage = &image;
    const int32_t rc = renderAgain(e);
    p.outputMode = savedMode;
    if (rc != 0) return rc;
    ++run->done;
    onRenderProgress(run, 0);
    return 0;
}

}  // namespace

int32_t layersProgress(int32_t done, int32_t thousandths, int32_t layers) {
    if (layers <= 0) return 1000;
    const int64_t t = std::clamp<int64_t>(int64_t(done) * 1000 + std::clamp(thousandths, 0, 1000), 0,
                                          int64_t(layers) * 1000);
    return int32_t(t / layers);
}

int32_t exportLayers(Engine& engine, const std::string& path, const LayersRequest& request) {
    if (!engine.params) return kExportFailed;
    SavedRenderState saved(engine);
    PsdDescription d = psdDescription(request.width, request.height, request.depthBits);
    d.iccProfile = request.iccProfile;
    d.keywordList.assign(engine.params->keywordList, strnlen(engine.params->keywordList, kTextLength));

    LayerRun run;
    run.engine = &engine;
    run.request = &request;
    run.bytesPerChannel = d.bytesPerChannel;
    run.layers = d.layerCount;
    // Full-size rendering for the whole export.
    engine.params->sampleFactor = 1;
    engine.params->fullRenderFlag = 1;
    engine.exportProgress = onRenderProgress;
    engine.exportProgressContext = &run;
    return writePsdDocument(path, d, PsdLayerSource{&run, renderLayer});
}

}  // namespace tv
