#include "host/dialog_host.h"

#include <algorithm>
#include <cstring>
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

// The host's colour picker through its colour services: the colour's high
// bytes and the prompt go in, the chosen components come back and become
// the colour's high bytes. A picker that fails or is cancelled (it hands the
// components back unchanged) leaves the colour as it was, low bytes too.
bool hostColourPick(void* context, const std::string& prompt, uint8_t rgb[3]) {
    auto* record = static_cast<pi::FilterRecord*>(context);
    if (!record || !record->colorServices) return false;
    pi::ColorServicesInfo info{};
    info.infoSize = pi::kColorServicesInfoSize;
    info.selector = pi::plugIncolorServicesChooseColor;
    info.sourceSpace = pi::plugIncolorServicesRGBSpace;
    info.resultSpace = pi::plugIncolorServicesRGBSpace;
    for (int i = 0; i < 3; ++i) info.colorComponents[i] = pi::int16(rgb[i]);
    info.colorComponents[3] = 0;
    pi::Str255 text{};
    const size_t n = std::min<size_t>(prompt.size(), 255);
    text[0] = pi::uint8(n);
    std::memcpy(text + 1, prompt.data(), n);
    info.selectorParameter.pickerPrompt = &text;
    if (record->colorServices(&info) != pi::noErr) return false;
    uint8_t chosen[3];
    for (int i = 0; i < 3; ++i) chosen[i] = uint8_t(std::clamp<int>(info.colorComponents[i], 0, 255));
    if (std::equal(chosen, chosen + 3, rgb)) return false;
    std::copy(chosen, chosen + 3, rgb);
    return true;
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
    if (record->colorServices) setup.hostColours = {record, hostColourPick};
    setup.depthBits = depthClass(record);
    setup.modeListEnabled = setup.depthBits != 32;
    state->dialogActive = 1;
    // The dialog opens over the host's window when the host names one.
    const auto* platform = static_cast<const pi::PlatformData*>(record->platformData);
    void* owner = platform ? reinterpret_cast<void*>(platform->hwnd) : nullptr;
    const int code = ui::runMainDialog(setup, owner);
    state->dialogActive = 0;
    state->dialogWindow = nullptr;
    return code;
}

}  // namespace tv
