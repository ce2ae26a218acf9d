// The dialog's preview through the entry point the dialog uses: the host's
// image delivered by advanceState at the preview's sampling, the planet
// rendered over it, for a 1920 x 1080 image at the fit factor (one frame
// should take at most 16 ms on two cores) and for an image the pane's size at
// 100 %. Also the dialog's first paint:
// creation with its first preview, the starting settings stored in a memory
// dot, and the whole window painted. The CPU column is the time of every
// thread of the process: on a busy machine it tells more than the wall clock.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <vector>

#include "host.h"
#include "host/dialog_host.h"
#include "synth/jobs.h"
#include "ui/dialog.h"
#include "ui/draw.h"

namespace {

struct PreviewRig {
    tv::host::PluginModule module;  // not loaded: only the host's record and advanceState are used
    tv::host::FilterSession session;
    tv::host::HostImage image;
    tv::host::FilterHost host;
    tv::ParamRecord params = tv::defaultRecord();
    tv::StateBlock state{};
    tv::FrameEngine* frame = tv::createFrameEngine(&params, &state);
    int16_t result = 0;
    tv::DialogHost dialogHost;

    explicit PreviewRig(int32_t width = 1920, int32_t height = 1080)
        : image(tv::host::blankImage(width, height, 8, false, false)),
          host{module, session, image, nullptr, tv::host::HostOptions{}} {
        params.hostPreviewFlag = 1;
        state.fullRenderRect = {0, 0, height, width};
        tv::initDialogHost(dialogHost, &host.record(), &params, &state, frame, &result);
    }
    ~PreviewRig() {
        delete[] state.preview.pixels;
        tv::destroyFrameEngine(frame);
    }
};

void BM_FitPreview1920x1080(benchmark::State& s) {
    tv::setForcedThreadCount(int32_t(s.range(0)));
    PreviewRig rig;
    const tv::ui::ControlRect pane = tv::ui::previewInner();
    rig.params.sampleFactor = tv::ui::fitFactorFor(1920, 1080, pane.width(), pane.height());
    for (auto _ : s) {
        if (tv::renderDialogPreview(rig.dialogHost, pane.width(), pane.height()) != 0)
            s.SkipWithError("preview failed");
    }
    s.counters["factor"] = rig.params.sampleFactor;
    s.counters["pixels"] = double(rig.state.renderWidth) * rig.state.renderHeight;
    s.counters["threads"] = tv::threadCount(4);
    tv::setForcedThreadCount(0);
}

// The pane at 100 %: an image the pane's size, one image pixel per screen
// pixel, the whole planet in view (one frame should take at most 50 ms on
// two cores).
void BM_FullPreviewPane(benchmark::State& s) {
    tv::setForcedThreadCount(int32_t(s.range(0)));
    const tv::ui::ControlRect pane = tv::ui::previewInner();
    PreviewRig rig(pane.width(), pane.height());
    rig.params.sampleFactor = 1;
    for (auto _ : s) {
        if (tv::renderDialogPreview(rig.dialogHost, pane.width(), pane.height()) != 0)
            s.SkipWithError("preview failed");
    }
    s.counters["pixels"] = double(rig.state.renderWidth) * rig.state.renderHeight;
    s.counters["threads"] = tv::threadCount(4);
    tv::setForcedThreadCount(0);
}

void BM_FirstPaint(benchmark::State& s) {
    const auto home = std::filesystem::temp_directory_path() / "tv-bench-preview";
    std::filesystem::create_directories(home);
    ::setenv("TERRAVANE_HOME", home.c_str(), 1);
    PreviewRig rig;
    std::vector<uint32_t> pixels(size_t(tv::ui::kDialogWidth) * tv::ui::kDialogHeight);
    tv::platform::Canvas canvas{pixels.data(), tv::ui::kDialogWidth, tv::ui::kDialogHeight, tv::ui::kDialogWidth, 1.0f};
    tv::platform::DisplaySurface surface;
    std::vector<uint32_t> surfacePixels(size_t(tv::ui::previewInner().width()) * tv::ui::previewInner().height());
    surface = {tv::platform::kDisplaySurfaceMagic, tv::ui::previewInner().width(), tv::ui::previewInner().height(),
               tv::ui::previewInner().width(),     surfacePixels.data(),           &surface};
    tv::ui::DialogSetup setup;
    setup.params = &rig.params;
    setup.state = &rig.state;
    setup.engine = tv::engineOf(rig.frame);
    setup.preview = tv::makePreviewHost(rig.dialogHost);
    for (auto _ : s) {
        tv::ui::DialogState dialog;
        dialog.surface = &surface;
        tv::ui::Actions actions;
        tv::ui::openDialog(dialog, setup, actions);
        tv::ui::Painter painter(canvas, {0, 0, tv::ui::kDialogWidth, tv::ui::kDialogHeight});
        tv::ui::paint(dialog, painter);
        benchmark::DoNotOptimize(pixels.data());
    }
    std::filesystem::remove_all(home);
}

// Argument: worker threads (0 = one per processor).
BENCHMARK(BM_FitPreview1920x1080)
    ->Arg(1)
    ->Arg(0)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime()
    ->MinTime(1.0);
BENCHMARK(BM_FullPreviewPane)
    ->Arg(1)
    ->Arg(0)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime()
    ->MinTime(1.0);
BENCHMARK(BM_FirstPaint)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime()->MinTime(1.0);

}  // namespace

BENCHMARK_MAIN();
