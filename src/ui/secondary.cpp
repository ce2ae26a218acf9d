// The secondary windows' rules: the cloud chooser and its fetches, the
// download and export progress windows with their jobs off the window's
// thread, the about box and the information picture; where they go and how
// they close.
#include "ui/secondary.h"

#include <algorithm>
#include <cstdio>

#include "clouds/cloud_cache.h"
#include "export/metadata.h"
#include "platform/files.h"
#include "ui/dialog_internal.h"

namespace tv::ui {

using namespace detail;

namespace {

// ---- the windows as data ------------------------------------------------------------

using C = SmallControl;

constexpr C kChooserControls[] = {
    {C::Text, kChooserPrompt, {20, 14, 540, 34}, "Please choose a weather satellite image to download."},
    {C::Radio, 6, {24, 48, 276, 72}, "unavailable"},
    {C::Radio, 7, {24, 78, 276, 102}, "unavailable"},
    {C::Radio, 8, {24, 108, 276, 132}, "unavailable"},
    {C::Radio, 9, {24, 138, 276, 162}, "unavailable"},
    {C::Radio, 10, {24, 168, 276, 192}, "unavailable"},
    {C::Radio, 11, {24, 198, 276, 222}, "unavailable"},
    {C::Radio, 12, {290, 48, 542, 72}, "unavailable"},
    {C::Radio, 13, {290, 78, 542, 102}, "unavailable"},
    {C::Radio, 14, {290, 108, 542, 132}, "unavailable"},
    {C::Radio, 15, {290, 138, 542, 162}, "unavailable"},
    {C::Radio, 16, {290, 168, 542, 192}, "unavailable"},
    {C::Radio, 17, {290, 198, 542, 222}, "unavailable"},
    {C::Text, kChooserVersion, {24, 240, 300, 258}, "v.1"},
    {C::Button, kChooserUpdate, {20, 276, 160, 306}, "Update this list"},
    {C::Button, kChooserCacheFirst, {244, 276, 370, 306}, "Try cache first"},
    {C::Button, kChooserCancel, {380, 276, 460, 306}, "Cancel"},
    {C::DefaultButton, kChooserOk, {470, 276, 540, 306}, "OK"},
};

constexpr C kDownloadControls[] = {
    {C::Text, kProgressStatus, {16, 16, 284, 36}, "--"},
    {C::Picture, kProgressBar, {24, 46, 276, 52}, nullptr},
    {C::Button, kProgressCancel, {110, 68, 190, 96}, "Cancel"},
};

constexpr C kExportControls[] = {
    {C::Text, kProgressCaption, {16, 12, 284, 30}, "Rendering..."},
    {C::Text, kProgressStatus, {16, 32, 284, 52}, "0%"},
    {C::Picture, kProgressBar, {24, 60, 276, 66}, nullptr},
    {C::Button, kProgressCancel, {110, 80, 190, 108}, "Cancel"},
};

constexpr C kAboutControls[] = {
    {C::Picture, kAboutPicture, {20, 22, 92, 94}, nullptr},
    {C::Text, kAboutText, {108, 18, 344, 144}, nullptr},
    {C::Button, kAboutVisit, {20, 158, 230, 186}, "Visit Bramble Kiln's website..."},
    {C::DefaultButton, kAboutOk, {264, 158, 340, 186}, "OK"},
};

constexpr C kInformationControls[] = {
    {C::Picture, kInfoPicture, {0, 0, 520, 350}, nullptr},
    {C::DefaultButton, kInfoClose, {424, 356, 504, 384}, "Close"},
};

struct WindowInfo {
    const char* name;
    const char* title;
    int32_t width, height;
    std::span<const C> controls;
    int escape;  // the button that Escape and the close box stand for
};

const WindowInfo& info(WindowId id) {
    static const WindowInfo table[kWindowCount] = {
        {"main", "Terravane", kDialogWidth, kDialogHeight, {}, kCancel},
        {"clouds", "Choose clouds", 560, 320, kChooserControls, kChooserCancel},
        {"download", "Download Status", 300, 110, kDownloadControls, kProgressCancel},
        {"layers", "PSD file progress", 300, 122, kExportControls, kProgressCancel},
        {"about", "About", 360, 200, kAboutControls, kAboutOk},
        {"information", "Terravane", 520, 396, kInformationControls, kInfoClose},
    };
    return table[size_t(id)];
}

bool takesClicks(const SmallControl& c) {
    return c.kind == C::Button || c.kind == C::DefaultButton || c.kind == C::Radio;
}

// ---- small helpers -------------------------------------------------------------------------

SecondaryState& ws(DialogState& s) { return s.windows; }

void windowAction(Actions& out, Action::Kind kind, WindowId id) {
    Action a;
    a.kind = kind;
    a.window = id;
    out.push_back(a);
}

void repaintWindow(Actions& out, WindowId id, int controlId = kNoControl) {
    Action a;
    a.window = id;
    if (const SmallControl* c = windowControl(id, controlId))
        a.rect = {c->rect.left - 3, c->rect.top - 3, c->rect.right + 3, c->rect.bottom + 3};
    out.push_back(a);
}

void windowTimer(Actions& out, WindowId id, int32_t timer, int32_t ms) {
    Action a;
    a.kind = ms >= 0 ? Action::SetTimer : Action::KillTimer;
    a.window = id;
    a.id = timer;
    a.ms = std::max(ms, 0);
    out.push_back(a);
}

void openWindow(DialogState& s, WindowId id, Actions& out) {
    ws(s).open[size_t(id)] = true;
    ws(s).mouse[size_t(id)] = ButtonTrack{};
    windowAction(out, Action::OpenWindow, id);
}

void closeWindow(DialogState& s, WindowId id, Actions& out) {
    if (!ws(s).open[size_t(id)]) return;
    ws(s).open[size_t(id)] = false;
    ws(s).mouse[size_t(id)] = ButtonTrack{};
    windowAction(out, Action::CloseWindow, id);
}

// ---- jobs ----------------------------------------------------------------------------------

void jobProgress(void* context, int64_t received, int64_t expected) {
    auto* job = static_cast<BackgroundJob*>(context);
    job->received.store(received);
    job->expected.store(expected);
}

bool jobCancelled(void* context) { return static_cast<BackgroundJob*>(context)->cancel.load(); }

void exportProgress(void* context, int32_t thousandths) {
    static_cast<BackgroundJob*>(context)->thousandths.store(thousandths);
}

void jobEntry(void* arg) {
    auto* job = static_cast<BackgroundJob*>(arg);
    switch (job->kind) {
        case BackgroundJob::Fetch:
            job->result = fetchClouds(job->context, job->map, &job->params, job->index, false);
            job->detail = job->context.detail;
            break;
        case BackgroundJob::UpdateList: {
            CloudFetchContext context;
            context.hooks = &job->hooks;
            job->result = updateUrlList(context);
            job->detail = context.detail;
            break;
        }
        case BackgroundJob::Export: job->result = exportLayers(*job->engine, job->path, job->request); break;
    }
    job->done.store(true);
}

std::shared_ptr<BackgroundJob> newDownloadJob(BackgroundJob::Kind kind) {
    auto job = std::make_shared<BackgroundJob>();
    job->kind = kind;
    job->hooks.context = job.get();
    job->hooks.progress = jobProgress;
    job->hooks.cancelled = jobCancelled;
    job->hooks.netrcPath = nullptr;
    job->context.hooks = &job->hooks;
    return job;
}

// Only one job at a time: a second request brings the running one's window forward.
bool refuseSecondJob(DialogState& s, Actions& out) {
    if (!s.windows.job) return false;
    const WindowId id = s.windows.job->kind == BackgroundJob::Export ? WindowId::Export : WindowId::Download;
    windowAction(out, Action::RaiseWindow, id);
    return true;
}

void startDownload(DialogState& s, std::shared_ptr<BackgroundJob> job, Actions& out) {
    SecondaryState& w = ws(s);
    w.download = ProgressWindow{};
    w.job = std::move(job);
    openWindow(s, WindowId::Download, out);
    setCursor(s, out, CursorId::Wait);
    w.job->start();
    windowTimer(out, WindowId::Download, kDownloadTimer, kPollMs);
    if (!w.job->thread) {  // no thread could be started: the work is done here
        jobEntry(w.job.get());
    }
}

void fillClouds(DialogState& s) {
    CloudsWindow& c = ws(s).clouds;
    fillChooser(c.model, ws(s).catalogue);
    for (int i = 0; i < kListEntryCount; ++i) c.cached[i] = platform::fileExists(cacheFilePath(i));
}

// A cloud map arrived for the record: real clouds go on, as after a click.
void cloudsArrived(DialogState& s, Actions& out) {
    ParamRecord& r = *s.setup.params;
    r.realClouds = 1;
    setControlValue(s, kRealCloudsBox, 1);
    repaint(out, kRealCloudsBox);
    finishClick(s, kClouds, 1, true, out);
}

void fetch(DialogState& s, bool cacheFirst, Actions& out) {
    ParamRecord& r = *s.setup.params;
    Engine* engine = s.setup.engine;
    const int32_t index = ws(s).clouds.model.selected;
    if (!engine) return;
    if (cacheFirst) {
        // The cache is quick: tried here, the download only when it fails.
        CloudMap cached;
        if (loadFromCache(cached, &r, index) == kCacheOk) {
            engine->cloudMap = std::move(cached);
            cloudsArrived(s, out);
            return;
        }
    }
    auto job = newDownloadJob(BackgroundJob::Fetch);
    job->index = index;
    job->params = r;
    job->context.catalogue = &job->catalogue;
    job->catalogue = ws(s).catalogue;
    startDownload(s, std::move(job), out);
}

void finishDownload(DialogState& s, Actions& out) {
    SecondaryState& w = ws(s);
    std::shared_ptr<BackgroundJob> job = std::move(w.job);
    job->join();
    windowTimer(out, WindowId::Download, kDownloadTimer, -1);
    closeWindow(s, WindowId::Download, out);
    setCursor(s, out, CursorId::Arrow);
    const bool cancelled = job->cancel.load();
    if (job->kind == BackgroundJob::UpdateList) {
        if (job->result == 0) {
            w.catalogue.listLoaded = false;
            readUrlList(w.catalogue);
        } else if (!cancelled) {
            message(out, "Update this list", "The list could not be updated: " + job->detail + ".");
        }
        if (w.open[size_t(WindowId::Clouds)]) {
            fillClouds(s);
            repaintWindow(out, WindowId::Clouds);
        }
        return;
    }
    // A fetch: what the fetch set in its copy of the record, and the map once it is whole.
    ParamRecord& r = *s.setup.params;
    r.downloadedClouds = job->params.downloadedClouds;
    r.lastCloudImage = job->params.lastCloudImage;
    if (job->result == 0 && job->map.loaded && s.setup.engine) {
        r.cloudCacheLoaded = job->params.cloudCacheLoaded;
        s.setup.engine->cloudMap = std::move(job->map);
        cloudsArrived(s, out);
        return;
    }
    if (!cancelled)
        message(out, "Choose clouds", "The satellite image could not be fetched: " + job->detail + ".");
    finishClick(s, kClouds, 1, false, out);
}

void finishExport(DialogState& s, Actions& out) {
    SecondaryState& w = ws(s);
    std::shared_ptr<BackgroundJob> job = std::move(w.job);
    int32_t result = -128;
    if (job) {
        job->join();
        result = job->result;
    }
    windowTimer(out, WindowId::Export, kExportTimer, -1);
    closeWindow(s, WindowId::Export, out);
    setCursor(s, out, CursorId::Arrow);
    if (result != 0 && result != -128)
        message(out, "Save a PSD file", "The layered document could not be written (" + std::to_string(result) + ").");
    finishClick(s, kLayers, 1, false, out);
}

// ---- commands of the windows --------------------------------------------------------------

void chooserCommand(DialogState& s, int id, Actions& out) {
    CloudsWindow& c = ws(s).clouds;
    if (id >= kChooserFirstRadio && id < kChooserFirstRadio + kListEntryCount) {
        const int before = c.model.selected;
        chooserSelect(c.model, id - kChooserFirstRadio);
        if (c.model.selected != before) repaintWindow(out, WindowId::Clouds);
        return;
    }
    switch (id) {
        case kChooserUpdate: {
            if (refuseSecondJob(s, out)) return;
            startDownload(s, newDownloadJob(BackgroundJob::UpdateList), out);
            return;
        }
        case kChooserOk:
        case kChooserCacheFirst:
            if (refuseSecondJob(s, out)) return;
            c.model.open = false;
            closeWindow(s, WindowId::Clouds, out);
            fetch(s, id == kChooserCacheFirst, out);
            return;
        case kChooserCancel:
            c.model.open = false;
            closeWindow(s, WindowId::Clouds, out);
            return;
        default: return;
    }
}

void progressCancel(DialogState& s, WindowId id, Actions& out) {
    SecondaryState& w = ws(s);
    ProgressWindow& p = id == WindowId::Export ? w.exporting : w.download;
    if (id == WindowId::Export && !p.started) {  // closed before its first tick: nothing was exported
        if (w.job) w.job->result = -128;
        finishExport(s, out);
        return;
    }
    if (!w.job || p.cancelling) return;
    w.job->cancel.store(true);
    p.cancelling = true;
    p.status = "Cancelling...";
    repaintWindow(out, id);
}

void secondaryCommand(DialogState& s, WindowId id, int control, Actions& out) {
    switch (id) {
        case WindowId::Clouds: chooserCommand(s, control, out); return;
        case WindowId::Download:
        case WindowId::Export:
            if (control == kProgressCancel) progressCancel(s, id, out);
            return;
        case WindowId::About:
            if (control == kAboutVisit) {
                Action a;
                a.kind = Action::OpenPage;
                a.text = std::string(productAddress());
                out.push_back(a);
            }
            if (control == kAboutVisit || control == kAboutOk) closeWindow(s, id, out);
            return;
        case WindowId::Information:
            if (control == kInfoClose) closeWindow(s, id, out);
            return;
        case WindowId::Main: return;
    }
}

// A progress window's tick: the job's counters shown, its end handled.
void progressTick(DialogState& s, WindowId id, Actions& out) {
    SecondaryState& w = ws(s);
    if (id == WindowId::Export && !w.exporting.started) {
        w.exporting.started = true;
        w.job->start();
        if (!w.job->thread) jobEntry(w.job.get());
    }
    BackgroundJob* job = w.job.get();
    if (!job) return;
    if (job->done.load()) {
        if (id == WindowId::Export)
            finishExport(s, out);
        else
            finishDownload(s, out);
        return;
    }
    ProgressWindow& p = id == WindowId::Export ? w.exporting : w.download;
    std::string status = p.status;
    int32_t bar = p.thousandths;
    if (!p.cancelling) {
        if (id == WindowId::Export) {
            bar = std::clamp(job->thousandths.load(), 0, 1000);
            status = std::to_string(bar / 10) + "%";
        } else if (job->received.load() > 0) {
            const int64_t received = job->received.load(), expected = job->expected.load();
            status = downloadProgressText(received, expected);
            bar = expected > 0 ? int32_t(std::min<int64_t>(1000, received * 1000 / expected)) : -1;
        }
    }
    if (status != p.status || bar != p.thousandths) {
        p.status = status;
        p.thousandths = bar;
        repaintWindow(out, id);
    }
    windowTimer(out, id, id == WindowId::Export ? kExportTimer : kDownloadTimer, kPollMs);
}

}  // namespace

// ---- the tables ------------------------------------------------------------------------------

const char* windowName(WindowId id) { return info(id).name; }
const char* windowTitle(WindowId id) { return info(id).title; }
int32_t windowWidth(WindowId id) { return info(id).width; }
int32_t windowHeight(WindowId id) { return info(id).height; }

bool windowByName(std::string_view name, WindowId& id) {
    for (int i = 0; i < kWindowCount; ++i)
        if (name == info(WindowId(i)).name) {
            id = WindowId(i);
            return true;
        }
    return false;
}

std::span<const SmallControl> windowControls(WindowId id) { return info(id).controls; }

const SmallControl* windowControl(WindowId id, int controlId) {
    for (const SmallControl& c : info(id).controls)
        if (c.id == controlId) return &c;
    return nullptr;
}

int windowHitTest(WindowId id, float x, float y) {
    for (const SmallControl& c : info(id).controls)
        if (takesClicks(c) && c.rect.contains(x, y)) return c.id;
    return kNoControl;
}

bool windowControlPoint(WindowId id, int controlId, float fx, float fy, float& x, float& y) {
    if (id == WindowId::Main) return controlPoint(controlId, fx, fy, x, y);
    const SmallControl* c = windowControl(id, controlId);
    if (!c) return false;
    x = float(c->rect.left) + fx * float(c->rect.width());
    y = float(c->rect.top) + fy * float(c->rect.height());
    return true;
}

void centreWindow(const platform::ScreenGeometry& owner, int32_t w, int32_t h, bool systemMenu, int32_t& x,
                  int32_t& y) {
    const platform::WindowRect& c = owner.client;
    x = c.left + (c.right - c.left - w) / 2 - (systemMenu ? owner.captionButton : owner.captionButton * 2 / 3);
    y = c.top + (c.bottom - c.top - h) / 3;
    const platform::WindowRect& screen = owner.workArea;
    if (x + w > screen.right) x = screen.right - w;
    if (y + h > screen.bottom) y = screen.bottom - h;
    x = std::max(x, 0);
    y = std::max(y, 0);
}

std::string_view productAddress() { return kProductWebAddress; }

// ---- jobs ----------------------------------------------------------------------------------

BackgroundJob::~BackgroundJob() { join(); }

void BackgroundJob::start() {
    if (!thread) thread = platform::startThread(jobEntry, this);
}

void BackgroundJob::join() {
    if (thread) platform::joinThread(thread);
    thread = nullptr;
}

// ---- the dialog's side -------------------------------------------------------------------------

bool modalWindowOpen(const DialogState& s) {
    return s.windows.open[size_t(WindowId::Download)] || s.windows.open[size_t(WindowId::Export)];
}

void openClouds(DialogState& s, Actions& out) {
    SecondaryState& w = ws(s);
    if (w.open[size_t(WindowId::Clouds)]) {
        windowAction(out, Action::RaiseWindow, WindowId::Clouds);
        return;
    }
    CloudFetchContext context;
    context.catalogue = &w.catalogue;
    w.clouds.model.open = false;
    openChooser(w.clouds.model, context, *s.setup.params);
    fillClouds(s);
    openWindow(s, WindowId::Clouds, out);
    finishClick(s, kClouds, 1, false, out);
}

void openAboutOrInformation(DialogState& s, WindowId id, Actions& out) {
    if (ws(s).open[size_t(id)])
        windowAction(out, Action::RaiseWindow, id);
    else
        openWindow(s, id, out);
    finishClick(s, id == WindowId::About ? kAbout : kInformation, 1, false, out);
}

void startExport(DialogState& s, const std::string& path, Actions& out) {
    SecondaryState& w = ws(s);
    if (!s.setup.engine || refuseSecondJob(s, out)) {
        finishClick(s, kLayers, 1, false, out);
        return;
    }
    cancelEditTimer(s, out);
    auto job = std::make_shared<BackgroundJob>();
    job->kind = BackgroundJob::Export;
    job->engine = s.setup.engine;
    job->path = path;
    job->request.width = s.setup.preview.imageWidth;
    job->request.height = s.setup.preview.imageHeight;
    job->request.depthBits = s.setup.depthBits;
    job->request.progress.context = job.get();
    job->request.progress.report = exportProgress;
    job->request.progress.cancelled = jobCancelled;
    w.job = std::move(job);
    w.exporting = ProgressWindow{};
    w.exporting.status = "0%";
    openWindow(s, WindowId::Export, out);
    setCursor(s, out, CursorId::Wait);
    windowTimer(out, WindowId::Export, kExportTimer, kPollMs);
}

void closeSecondaryWindows(DialogState& s, Actions& out) {
    SecondaryState& w = ws(s);
    if (w.job) {
        w.job->cancel.store(true);
        w.job->join();
        w.job.reset();
    }
    w.clouds.model.open = false;
    for (int i = 1; i < kWindowCount; ++i) closeWindow(s, WindowId(i), out);
}

void secondaryEvent(DialogState& s, WindowId id, const platform::WindowEvent& e, Actions& out) {
    using W = platform::WindowEvent;
    SecondaryState& w = ws(s);
    if (!w.open[size_t(id)]) return;
    // A progress window holds the others' input (their close boxes too).
    if (modalWindowOpen(s) && !windowIsModal(id) && e.kind != W::Timer) return;
    ButtonTrack& m = w.mouse[size_t(id)];
    auto enabled = [&](int control) {
        if (id == WindowId::Clouds && control >= kChooserFirstRadio && control < kChooserFirstRadio + kListEntryCount)
            return w.clouds.model.available[control - kChooserFirstRadio];
        return control != kNoControl;
    };
    switch (e.kind) {
        case W::MouseMove: {
            const int hot = windowHitTest(id, e.x, e.y);
            if (m.pressed != kNoControl) {
                const bool inside = hot == m.pressed;
                if (inside != m.inside) {
                    m.inside = inside;
                    repaintWindow(out, id, m.pressed);
                }
            } else if (hot != m.hot) {
                repaintWindow(out, id, m.hot);
                m.hot = hot;
                repaintWindow(out, id, hot);
            }
            return;
        }
        case W::MouseLeave:
            if (m.pressed == kNoControl && m.hot != kNoControl) {
                repaintWindow(out, id, m.hot);
                m.hot = kNoControl;
            }
            return;
        case W::MouseDown: {
            if (e.button != platform::MouseButton::Left) return;
            const int hit = windowHitTest(id, e.x, e.y);
            if (!enabled(hit)) return;
            m.pressed = hit;
            m.inside = true;
            repaintWindow(out, id, hit);
            return;
        }
        case W::MouseUp: {
            const int pressed = m.pressed;
            if (pressed == kNoControl) return;
            m.pressed = kNoControl;
            repaintWindow(out, id, pressed);
            if (windowHitTest(id, e.x, e.y) == pressed) secondaryCommand(s, id, pressed, out);
            return;
        }
        case W::KeyDown:
            if (e.key == platform::Key::Escape) {
                secondaryCommand(s, id, info(id).escape, out);
            } else if (e.key == platform::Key::Return) {
                for (const SmallControl& c : info(id).controls)
                    if (c.kind == C::DefaultButton) {
                        secondaryCommand(s, id, c.id, out);
                        break;
                    }
            }
            return;
        case W::Close: secondaryCommand(s, id, info(id).escape, out); return;
        case W::Timer:
            if ((id == WindowId::Download && e.id == kDownloadTimer) || (id == WindowId::Export && e.id == kExportTimer))
                progressTick(s, id, out);
            return;
        default: return;
    }
}

// ---- the about box on its own ------------------------------------------------------------------

bool aboutEvent(ButtonTrack& m, const platform::WindowEvent& e, bool& visit, bool& repaint) {
    using W = platform::WindowEvent;
    visit = false;
    repaint = false;
    const WindowId id = WindowId::About;
    switch (e.kind) {
        case W::MouseMove: {
            const int hot = windowHitTest(id, e.x, e.y);
            if (m.pressed != kNoControl) {
                const bool inside = hot == m.pressed;
                repaint = inside != m.inside;
                m.inside = inside;
            } else if (hot != m.hot) {
                m.hot = hot;
                repaint = true;
            }
            return false;
        }
        case W::MouseDown:
            if (e.button != platform::MouseButton::Left) return false;
            m.pressed = windowHitTest(id, e.x, e.y);
            m.inside = true;
            repaint = true;
            return false;
        case W::MouseUp: {
            const int pressed = m.pressed;
            m.pressed = kNoControl;
            repaint = true;
            if (pressed == kNoControl || windowHitTest(id, e.x, e.y) != pressed) return false;
            visit = pressed == kAboutVisit;
            return true;
        }
        case W::KeyDown: return e.key == platform::Key::Escape || e.key == platform::Key::Return;
        case W::Close: return true;
        case W::Command: return true;
        default: return false;
    }
}

}  // namespace tv::ui
