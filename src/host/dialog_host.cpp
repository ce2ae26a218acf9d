#include "host/dialog_host.h"

#include <new>

#include "host/plugin.h"
#include "render/render.h"
#include "ui/runner.h"

namespace tv {

namespace {

DialogHost& hostOf(void* context) { return *static_cast<DialogHost*>(context); }

bool canZoom(const pi::FilterRecord* r) { return r->advanceState && r->displayPixels && r->samplingSupport != 0; }

int32_t renderHook(void* context, int32_t paneWidth, int32_t paneHeight) {
    return renderDialogPreview(hostOf(context), paneWidth, paneHeight);
}

int32_t displayHook(void* context, void* nativeContext) {
    DialogHost& host = hostOf(context);
    const pi::FilterRecord* r = host.transfer.record;
    const PreviewImage& pv = host.transfer.state->preview;
    if (!r->displayPixels || !pv.pixels || !nativeContext) return 0;
    pi::PSPixelMap map{};
    map.version = 1;
    map.bounds = {0, 0, pv.height, pv.rowLength};
    map.imageMode = pv.planeCount >= 3 ? pi::kModeRGBColor : pi::kModeGrayScale;
    map.rowBytes = pv.rowLength;
    map.colBytes = 1;
    map.planeBytes = pv.planeSize;
    map.baseAddr = pv.pixels;
    const pi::VRect source = map.bounds;
    return r->displayPixels(&map, &source, 0, 0, nativeContext);
}

}  // namespace

void initDialogHost(DialogHost& host, pi::FilterRecord* record, ParamRecord* params, StateBlock* state,
                    FrameEngine* frame, int16_t* result) {
    host.transfer.record = record;
    host.transfer.params = params;
    host.transfer.state = state;
    host.transfer.result = result;
    host.bridge = makeHostBridge(host.transfer);
    host.frame = frame;
}

ui::PreviewHost makePreviewHost(DialogHost& host) {
    const pi::FilterRecord* r = host.transfer.record;
    const Rect f = filterRect(r);
    ui::PreviewHost preview;
    preview.context = &host;
    preview.available = host.transfer.params->hostPreviewFlag != 0;
    preview.canZoom = canZoom(r);
    preview.imageWidth = f.width();
    preview.imageHeight = f.height();
    preview.render = renderHook;
    preview.display = displayHook;
    return preview;
}

int32_t renderDialogPreview(DialogHost& host, int32_t paneWidth, int32_t paneHeight) {
    HostTransfer& t = host.transfer;
    ParamRecord& p = *t.params;
    StateBlock& s = *t.state;
    t.paneWidth = paneWidth;
    t.paneHeight = paneHeight;
    RenderTarget target;
    p.renderDestination = kDestinationPreview;
    p.sampleFactor = previewSetUp(t, p.sampleFactor, target);

    // A new preview image for the visible window: the host's pixels, then the planet over them.
    PreviewImage& pv = s.preview;
    delete[] pv.pixels;
    pv = PreviewImage{};
    const int32_t w = s.renderWidth, h = s.renderHeight, planes = isGrey(t.record) ? 1 : 3;
    if (w <= 0 || h <= 0) return pi::filterBadParameters;
    pv.pixels = new (std::nothrow) uint8_t[size_t(w) * size_t(h) * size_t(planes)]();
    if (!pv.pixels) return pi::memFullErr;
    pv.rowLength = w;
    pv.height = h;
    pv.planeSize = w * h;
    pv.planeCount = planes;

    int32_t result = requestTile(t, s.renderRect);
    if (result == pi::noErr) result = copyHostImageForPreview(t);
    if (result == pi::noErr) {
        Engine& engine = *engineOf(host.frame);
        engine.host = &host.bridge;
        try {
            result = renderPreview(engine);
        } catch (const std::bad_alloc&) {
            result = pi::memFullErr;
        }
        engine.host = nullptr;
    }
    // A preview that failed is not the selector's failure.
    if (t.result) *t.result = pi::noErr;
    return result;
}

int runStartDialog(pi::FilterRecord* record, ParamRecord* params, StateBlock* state, int16_t* result) {
    DialogHost host;
    initDialogHost(host, record, params, state, state->working->engine, result);
    ui::DialogSetup setup;
    setup.params = params;
    setup.state = state;
    setup.undo = &state->working->persist.undo;
    setup.engine = engineOf(state->working->engine);
    setup.preview = makePreviewHost(host);
    setup.depthBits = depthClass(record);
    setup.modeListEnabled = setup.depthBits != 32;
    state->dialogActive = 1;
    // The dialog opens over the host's window when the host names one.
    const auto* platformData = static_cast<const pi::PlatformData*>(record->platformData);
    const int code = ui::runMainDialog(setup, platformData ? reinterpret_cast<void*>(platformData->hwnd) : nullptr);
    state->dialogActive = 0;
    state->dialogWindow = nullptr;
    return code;
}

}  // namespace tv
