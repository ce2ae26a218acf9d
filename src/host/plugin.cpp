#include "host/plugin.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "host/dialog_host.h"
#include "ui/runner.h"
#include "host/frame_render.h"
#include "host/scripting.h"
#include "host/transfer.h"
#include "persist/dice.h"
#include "persist/memory_dots.h"
#include "persist/session.h"
#include "persist/settings_file.h"
#include "platform/clock.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/message.h"

namespace tv {

namespace {

// Module-wide state, set on every call before anything else.
struct Globals {
    pi::FilterRecord* record = nullptr;
    pi::AboutRecord* about = nullptr;
    pi::intptr* data = nullptr;
    int16_t* result = nullptr;
    pi::SPBasicSuite* basic = nullptr;
    ParamRecord* params = nullptr;
    StateBlock* state = nullptr;
    bool aboutOpen = false;
    bool dotMapWarned = false;
    FrameDialogs dialogs;
};
Globals g;

pi::Handle dataHandle() { return g.data ? reinterpret_cast<pi::Handle>(*g.data) : nullptr; }

bool handleSuite() {
    const pi::HandleProcs* h = g.record ? g.record->handleProcs : nullptr;
    return h && h->newProc && h->lockProc && h->unlockProc;
}

// Lock step: both blocks locked, or the result says why not.
bool lockBlocks() {
    g.params = nullptr;
    g.state = nullptr;
    if (!g.record || !g.record->parameters || !dataHandle() || !handleSuite()) {
        *g.result = pi::filterBadParameters;
        return false;
    }
    g.params = reinterpret_cast<ParamRecord*>(g.record->handleProcs->lockProc(g.record->parameters, 1));
    g.state = reinterpret_cast<StateBlock*>(g.record->handleProcs->lockProc(dataHandle(), 1));
    if (!g.params || !g.state) {
        *g.result = pi::memFullErr;
        g.params = nullptr;
        g.state = nullptr;
        return false;
    }
    if (g.state->working && g.state->working->engine)
        rebindFrameEngine(g.state->working->engine, g.params, g.state);
    return true;
}

void unlockBlocks() {
    if (g.record && handleSuite()) {
        if (dataHandle()) g.record->handleProcs->unlockProc(dataHandle());
        if (g.record->parameters) g.record->handleProcs->unlockProc(g.record->parameters);
    }
    g.params = nullptr;
    g.state = nullptr;
}

void initStateHead(StateBlock& s) {
    s.renderRect = Rect{};
    s.renderScale = 1.0f;
    s.showDialog = 1;
    s.renderWidth = s.renderHeight = s.renderPixels = 0;
    s.headReserved[0] = s.headReserved[1] = 0;
}

// A new block from the host's handle suite, zeroed: a host hands out the
// memory as it found it, and the blocks hold pointers.
pi::Handle newZeroedBlock(size_t size) {
    const pi::HandleProcs* procs = g.record->handleProcs;
    const pi::Handle h = procs->newProc(int32_t(size));
    if (pi::Ptr p = h ? procs->lockProc(h, 0) : nullptr) {
        std::memset(p, 0, size);
        procs->unlockProc(h);
    }
    return h;
}

// Parameters steps 1 to 3: allocate what is missing, lock, initialise the head.
void allocateBlocks() {
    if (!handleSuite()) {
        *g.result = pi::filterBadParameters;
        return;
    }
    if (!g.record->parameters) {
        g.record->parameters = newZeroedBlock(sizeof(ParamRecord));
        if (!g.record->parameters) *g.result = pi::memFullErr;
    }
    if (!dataHandle()) {
        const pi::Handle h = newZeroedBlock(sizeof(StateBlock));
        if (h && g.data)
            *g.data = reinterpret_cast<pi::intptr>(h);
        else
            *g.result = pi::memFullErr;
    }
    if (*g.result == pi::noErr && lockBlocks()) initStateHead(*g.state);
}

void setRectanglesEmpty() {
    if (!g.record) return;
    setInRect(g.record, Rect{});
    setOutRect(g.record, Rect{});
    setMaskRect(g.record, Rect{});
}

// Tells the user that a file kept for the next run was not written, and why.
void reportNotKept(const char* what, const std::string& path) {
    const std::string why = platform::lastErrorText();
    const std::string text =
        std::string(what) + ": \"" + path + "\" could not be written" + (why.empty() ? "" : " (" + why + ")") + ".";
    platform::showMessage(kDotMapTitle, text.c_str());
}

// Release step. Safe to run twice.
void releaseWorkingMemory() {
    StateBlock* s = g.state;
    if (!s) return;
    // The memory-dot map is written back and the thumbnail freed.
    platform::clearLastError();
    if (s->working && persist::endRun(*s, s->working->persist) != platform::kFileOk)
        reportNotKept(kDotMapNotKeptText, persist::dotMapPath());
    delete s->thumbnail;
    s->thumbnail = nullptr;
    delete[] s->preview.pixels;
    s->preview = PreviewImage{};
    for (auto*& image : s->frameImages) {
        delete image;
        image = nullptr;
    }
    if (WorkingMemory* w = s->working) {
        destroyFrameEngine(w->engine);
        delete w;
        s->working = nullptr;
    }
}

// Start step 3: the work block, the 128 x n buffer (both required), three small buffers.
bool allocateWorkingMemory() {
    StateBlock& s = *g.state;
    WorkingMemory* w = new (std::nothrow) WorkingMemory;
    if (!w) return false;
    s.working = w;
    try {
        w->workBlock.assign(size_t(s.workBlockSize > 0 ? s.workBlockSize : kWorkBlockSize), 0);
        w->buffer.assign(size_t(s.bufferSize > 0 ? s.bufferSize : 0), 0);
        w->workImage = RgbImage(100, 100);
    } catch (const std::bad_alloc&) {
        return false;
    }
    const int32_t magic = kWorkBlockMagic;
    std::memcpy(w->workBlock.data(), &magic, sizeof magic);
    w->engine = createFrameEngine(g.params, g.state);
    return w->engine != nullptr;
}

// ---- selectors ---------------------------------------------------------------

void doAbout() {
    if (g.aboutOpen) return;
    g.aboutOpen = true;
    if (g.dialogs.runAboutBox)
        g.dialogs.runAboutBox(g.dialogs.context);
    else
        ui::runAboutBox(nullptr);
    g.aboutOpen = false;
}

void doParameters() {
    allocateBlocks();
    if (g.state) {
        g.state->showDialog = 1;
        g.state->exportReset = 1;
    }
}

void doPrepare() {
    if (g.record->parameters && dataHandle())
        lockBlocks();
    else
        allocateBlocks();
    if (*g.result != pi::noErr || !g.params || !g.state) return;
    ParamRecord& p = *g.params;
    StateBlock& s = *g.state;
    pi::FilterRecord& r = *g.record;

    r.bufferSpace = 0;
    const Rect f = filterRect(&r);
    const int64_t h = std::min<int32_t>(f.height(), 256), w = std::min<int32_t>(f.width(), 256);
    const int64_t planes = r.planes + (r.maskData ? 1 : 0);
    const int64_t limit = 2 * planes * h * w;
    if (r.maxSpace > limit) r.maxSpace = int32_t(limit);

    resetAtPrepare(p, &s);

    s.fullRenderRect = f;
    storeRenderGeometry(s, f);  // sample factor 1

    s.workBlockSize = kWorkBlockSize;
    s.bufferSize = workBufferSize(s.renderWidth, s.renderHeight);
    s.smallBufferSize = 16;

    s.dialogActive = 0;
    s.previewFlags = 0;
    s.dialogWindow = nullptr;
    p.dialogFlags[0] = p.dialogFlags[1] = 0;
    p.previewCentre[0] = f.width() / 2;
    p.previewCentre[1] = f.height() / 2;
    persist::seedModuleRandomWithTime();  // the random-settings generator
    p.fullRenderFlag = 0;
    s.undoIndex = 0;
}

void doStart() {
    if (!lockBlocks()) return;
    ParamRecord& p = *g.params;
    StateBlock& s = *g.state;
    pi::FilterRecord& r = *g.record;

    // 2. Whether the preview may read the host image.
    p.hostPreviewFlag = (r.advanceState && r.displayPixels && !p.hostPreviewDisabled) ? 1 : 0;

    // 3. Working memory.
    if (!allocateWorkingMemory()) {
        releaseWorkingMemory();
        *g.result = 3;
        setRectanglesEmpty();
        return;
    }

    // 4. Start initialisation.
    p.lastCloudImage = -1;
    // The thumbnail, the cached settings (unless the host recorded parameters),
    // the memory-dot map and cleared undo slots.
    persist::beginRun(p, s, s.working->persist, recordedParametersPresent(&r));
    if (s.working->persist.dotMapDamaged && !g.dotMapWarned) {
        g.dotMapWarned = true;  // once while the module is loaded
        platform::showMessage(kDotMapTitle, kDotMapDamagedText);
    }
    if (s.exportReset) {
        p.exportWidth = p.exportHeight = 100;
        s.exportReset = 0;
    }

    // 5 and 6. Refusals.
    if (!r.advanceState) {
        platform::showMessage(kRefusalTitle, kRefusal2Text);
        *g.result = 1;
    } else if (r.imageMode == pi::kModeMultichannel) {
        platform::showMessage(kRefusalTitle, kRefusalMultichannelText);
        *g.result = 1;
    }

    if (*g.result == pi::noErr) {
        // 7.1 Scripting parameters; they also decide whether the dialog is shown.
        *g.result = readScriptingParameters(&r, p, s);
        bool shown = false, accepted = false;
        if (*g.result == pi::noErr && s.showDialog) {
            persist::recordBeforeDialog(p, s, s.working->persist);
            shown = true;
            const int code = g.dialogs.runMainDialog ? g.dialogs.runMainDialog(g.dialogs.context)
                                                     : runStartDialog(g.record, g.params, g.state, g.result);
            accepted = code == kDialogOk;
        }
        s.showDialog = 0;
        if (*g.result == pi::noErr && (accepted || !shown)) {
            HostTransfer transfer;
            transfer.record = &r;
            transfer.params = &p;
            transfer.state = &s;
            transfer.result = g.result;
            HostBridge bridge = makeHostBridge(transfer);
            const int32_t rendered = renderIntoHost(s.working->engine, bridge);
            *g.result = int16_t(rendered);
            if (rendered == pi::noErr) {
                platform::clearLastError();
                if (persist::finishRender(p, s) != platform::kFileOk)
                    reportNotKept(kCachedSettingsNotKeptText, persist::cachedSettingsPath());
                return;
            }
            // A cancelled or failed render releases the working memory at once.
        } else if (*g.result == pi::noErr) {
            *g.result = pi::userCanceledErr;
        }
    }
    releaseWorkingMemory();
    setRectanglesEmpty();
}

void doContinue() { setRectanglesEmpty(); }

void doFinish() {
    // Locked first, then recorded: the descriptor is written from this
    // selector's pointers.
    if (!lockBlocks()) return;
    writeScriptingParameters(g.record, *g.params);
    releaseWorkingMemory();
}

}  // namespace

void setFrameDialogs(const FrameDialogs& dialogs) { g.dialogs = dialogs; }

void pluginMain(int16_t selector, void* record, pi::intptr* data, int16_t* result) {
    static int16_t ignored = 0;
    g.result = result ? result : &ignored;
    g.data = data;
    g.params = nullptr;
    g.state = nullptr;
    if (selector == pi::kSelectorAbout) {
        g.record = nullptr;
        g.about = static_cast<pi::AboutRecord*>(record);
        g.basic = g.about ? g.about->sSPBasic : nullptr;
        doAbout();
        return;
    }
    g.about = nullptr;
    g.record = static_cast<pi::FilterRecord*>(record);
    g.basic = g.record ? g.record->sSPBasic : nullptr;
    if (!g.record) {
        *g.result = pi::filterBadParameters;
        return;
    }
    try {
        switch (selector) {
            case pi::kSelectorParameters: doParameters(); break;
            case pi::kSelectorPrepare: doPrepare(); break;
            case pi::kSelectorStart: doStart(); break;
            case pi::kSelectorContinue: doContinue(); break;
            case pi::kSelectorFinish: doFinish(); break;
            default: break;
        }
    } catch (const std::bad_alloc&) {
        // Nothing leaves the module as an exception: the step fails for want
        // of memory, and a failed start releases its working memory as always.
        *g.result = pi::memFullErr;
        if (selector == pi::kSelectorStart) {
            releaseWorkingMemory();
            setRectanglesEmpty();
        }
    }
    unlockBlocks();
}

}  // namespace tv
