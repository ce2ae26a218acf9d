#include "filter_helper.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "host.h"
#include "persist/settings_file.h"
#include "platform/environment.h"
#include "platform/files.h"
#include "platform/lock.h"
#include "platform/module_loader.h"
#include "platform/threads.h"
#include "played_settings.h"

namespace tv::gimp {

namespace {

FilterOutcome failure(int16_t result, const std::string& message) {
    FilterOutcome out;
    out.result = result;
    out.message = message;
    return out;
}

const char* selectorName(int16_t selector) {
    switch (selector) {
        case pi::kSelectorParameters: return "parameters";
        case pi::kSelectorPrepare: return "prepare";
        case pi::kSelectorStart: return "start";
        case pi::kSelectorContinue: return "continue";
        case pi::kSelectorFinish: return "finish";
        default: return "a call";
    }
}

// The filter rectangle the host gave, in host image coordinates.
Rect filterRectOf(host::FilterHost& filter) {
    const pi::FilterRecord& r = filter.record();
    if (r.bigDocumentData && r.bigDocumentData->PluginUsing32BitCoordinates) {
        const pi::VRect& v = r.bigDocumentData->filterRect32;
        return {v.top, v.left, v.bottom, v.right};
    }
    return {r.filterRect.top, r.filterRect.left, r.filterRect.bottom, r.filterRect.right};
}

// While the dialog is up the module asks nothing of the host that could
// carry a stop, so a thread watches the pipe: when GIMP has ended the
// plug-in's side (GIMP quit, or the plug-in was killed), nobody waits for the
// answer and the helper ends, taking the dialog with it (settings put in
// place for the run stay). The watch ends when the render reports progress
// (abortProc stops it from then on) or the run ends.
struct ParentWatch {
    platform::Channel fromParent = platform::kNoChannel;
    std::atomic<bool> over{false};
};

void watchParent(void* arg) {
    auto* watch = static_cast<ParentWatch*>(arg);
    while (!watch->over.load()) {
        if (platform::channelReadable(watch->fromParent)) std::_Exit(130);
        platform::sleepMilliseconds(100);
    }
}

}  // namespace

std::string modulePath() {
    const std::string beside =
        platform::joinPath(platform::executableFolder(), platform::pluginModuleFileName());
    return platform::fileExists(beside) ? beside : host::defaultPluginPath();
}

FilterOutcome runFilterJob(const FilterJob& job, const std::string& path, const std::function<bool()>& abort,
                           const std::function<void(int32_t, int32_t)>& progress) {
    // The host image, black but for the region the job carries.
    host::HostImage image = host::blankImage(job.width, job.height, job.depth, job.colourPlanes == 1, false);
    image.transparency = job.transparency;
    image.pixels.assign(image.rowBytes() * size_t(image.height), 0);
    const Rect& region = job.region;
    const size_t regionRow = job.pixelBytes() / size_t(region.height());
    for (int32_t y = region.top; y < region.bottom; ++y)
        std::memcpy(image.sample(region.left, y, 0), job.pixels.data() + size_t(y - region.top) * regionRow, regionRow);
    host::Selection selection;
    if (!job.selection.empty()) {
        selection.width = job.width;
        selection.height = job.height;
        selection.mask.assign(size_t(job.width) * size_t(job.height), 0);
        for (int32_t y = region.top; y < region.bottom; ++y)
            std::memcpy(selection.mask.data() + size_t(y) * size_t(job.width) + size_t(region.left),
                        job.selection.data() + size_t(y - region.top) * size_t(region.width()),
                        size_t(region.width()));
    }

    host::PluginModule module;
    std::string why;
    if (!host::loadPlugin(path, module, &why)) return failure(1, "cannot load the plug-in: " + why);
    if (job.threads > 0 && host::pluginWorkerThreads(module, job.threads) < 0) {
        host::unloadPlugin(module);
        return failure(1, "the plug-in " + path + " cannot be given a thread count");
    }
    // Runs of the module in one working folder take turns (see kFilterRunLock).
    const platform::FolderLock turn(cli::kFilterRunLock);
    cli::PlacedSettings placed;
    if (!job.cachedSettings.empty() && !placed.place(job.cachedSettings, &why)) {
        host::unloadPlugin(module);
        return failure(1, why);
    }

    host::HostOptions options;
    options.playInfo = job.interactive ? pi::plugInDialogDisplay : pi::plugInDialogSilent;
    options.floating = job.floating;
    options.floatX = job.floatX;
    options.floatY = job.floatY;
    options.filterRect = job.filterRect;
    options.abort = abort;
    options.progress = progress;
    options.parentWindow = pi::intptr(job.parentWindow);
    host::FilterSession session;
    host::RunRequest run;
    run.interactive = job.interactive;
    run.descriptor = job.descriptor;
    host::RunReport report;
    FilterOutcome out;
    {
        host::FilterHost filter(module, session, image, selection.mask.empty() ? nullptr : &selection, options);
        out.result = filter.run(run, report);
        out.filterRect = filterRectOf(filter);
    }
    host::unloadPlugin(module);
    if (job.floating) {
        out.filterRect.top += job.floatY;
        out.filterRect.bottom += job.floatY;
        out.filterRect.left += job.floatX;
        out.filterRect.right += job.floatX;
    }
    if (out.result == pi::userCanceledErr) {
        out.message = job.interactive ? "the dialog was cancelled" : "the render was cancelled";
        return out;
    }
    if (out.result != 0) {
        out.message = std::string("the plug-in failed at ") + selectorName(report.failedSelector) + ": " +
                      host::resultMeaning(out.result);
        return out;
    }
    placed.keep();  // the module has written its own over it
    out.recorded = session.recorded;
    if (!platform::readFile(persist::cachedSettingsPath(), out.cachedSettings, persist::kSettingsFileMaxBytes))
        out.cachedSettings.clear();
    out.pixels.resize(job.pixelBytes());
    for (int32_t y = region.top; y < region.bottom; ++y)
        std::memcpy(out.pixels.data() + size_t(y - region.top) * regionRow, image.sample(region.left, y, 0), regionRow);
    return out;
}

int filterHelperMain() {
    platform::Channel fromParent, toParent;
    if (!platform::parentChannels(fromParent, toParent)) {
        std::fprintf(stderr, "terravane-gimp: the filter helper has no channel to its parent\n");
        return 1;
    }
    FilterJob job;
    std::string error;
    if (!receiveJob(fromParent, job, &error)) {
        std::fprintf(stderr, "terravane-gimp: %s\n", error.c_str());
        return 1;
    }
    // The parent sends nothing more: anything readable now is its end (GIMP
    // has ended it because the user cancelled), which stops the render.
    bool parentGone = false;
    auto abort = [&] {
        parentGone = parentGone || platform::channelReadable(fromParent);
        return parentGone;
    };
    // GIMP 2.10 is an X11 program (under Wayland too): the dialog talks X11
    // as well, so that it can stay above GIMP's window.
    if (job.parentWindow != 0 && platform::environmentValue("GDK_BACKEND").empty())
        platform::setEnvironmentValue("GDK_BACKEND", "x11");
    ParentWatch watch;
    watch.fromParent = fromParent;
    platform::Thread* watcher = job.interactive ? platform::startThread(watchParent, &watch) : nullptr;
    auto progress = [&](int32_t done, int32_t total) {
        watch.over = true;
        if (!parentGone && !sendProgress(toParent, done, total)) parentGone = true;
    };
    FilterOutcome outcome;
    try {
        outcome = runFilterJob(job, modulePath(), abort, progress);
    } catch (const std::bad_alloc&) {
        outcome = failure(pi::memFullErr, "not enough memory for a " + std::to_string(job.width) + "x" +
                                              std::to_string(job.height) + " image");
    }
    watch.over = true;
    platform::joinThread(watcher);
    if (parentGone) return 130;
    return sendOutcome(toParent, outcome) ? 0 : 130;
}

}  // namespace tv::gimp
