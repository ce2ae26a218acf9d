// Render speed: the default 2048 x 2048 globe and a 4096 x 2048 lit map,
// on one worker thread and on one per processor, on each instruction set the
// processor runs. Reports megapixels per second, the thread count and the
// instruction set (0 sse2, 1 avx2, 2 avx512).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <vector>

#include "params/params.h"
#include "synth/jobs.h"
#include "render/render.h"
#include "synth/simd.h"

namespace {

void renderOnce(benchmark::State& state, int32_t mode, int32_t width, int32_t height) {
    tv::setForcedThreadCount(int32_t(state.range(0)));
    const int32_t path = int32_t(state.range(1));
    if (!tv::setSimdPath(path)) {
        state.SkipWithError("this processor does not run the instruction set");
        return;
    }
    // The worker count the job runner takes for this image.
    const int32_t threads = tv::threadCount(tv::makePlan(tv::Rect{0, 0, height, width}, 0).jobCount);
    tv::ParamRecord params = tv::defaultRecord();
    params.outputMode = mode;
    tv::StateBlock block{};
    tv::Engine engine;
    tv::initEngine(engine, &params, &block);
    tv::ExportImage image;
    for (auto _ : state) {
        const int32_t r = tv::renderToExportImage(engine, image, width, height, 1);
        if (r != 0) state.SkipWithError("render failed");
        benchmark::DoNotOptimize(image.pixels.data());
    }
    tv::setForcedThreadCount(0);
    tv::setSimdPath(-1);
    const double pixels = double(width) * double(height) * double(state.iterations());
    state.counters["Mpixel/s"] = benchmark::Counter(pixels / 1e6, benchmark::Counter::kIsRate);
    state.counters["threads"] = threads;
    state.counters["simd"] = path;
}

// The dialog's preview of a 1920 x 1080 image in a pane of 291 x 177 pixels
// (194 x 109 dialog units): at the fit reduction (7) and at 100 % (the
// pane's window of the image's centre). Argument: the reduction.
void BM_Preview1920x1080(benchmark::State& state) {
    const int32_t factor = int32_t(state.range(0));
    constexpr int32_t kPaneWidth = 291, kPaneHeight = 177, kWidth = 1920, kHeight = 1080;
    const int32_t w = std::min(kPaneWidth, kWidth / factor), h = std::min(kPaneHeight, kHeight / factor);
    std::vector<uint8_t> planes(size_t(w) * size_t(h) * 3);
    tv::ParamRecord params = tv::defaultRecord();
    params.sampleFactor = factor;
    if (factor == 1) {
        params.previewOriginX = (kWidth - w) / 2;
        params.previewOriginY = (kHeight - h) / 2;
    }
    tv::StateBlock block{};
    block.fullRenderRect = {0, 0, kHeight, kWidth};
    block.preview = tv::PreviewImage{planes.data(), w, h, w * h, 3};
    tv::Engine engine;
    tv::initEngine(engine, &params, &block);
    for (auto _ : state) {
        if (tv::renderPreview(engine) != 0) state.SkipWithError("preview failed");
        benchmark::DoNotOptimize(planes.data());
    }
    state.counters["threads"] = tv::threadCount(tv::makePlan(tv::Rect{0, 0, h, w}, 0).jobCount);
}

void BM_Globe2048(benchmark::State& s) { renderOnce(s, tv::kModeNormal, 2048, 2048); }
void BM_LitMap4096x2048(benchmark::State& s) { renderOnce(s, tv::kModeLitMap, 4096, 2048); }

// Arguments: worker threads (0 = one per processor), instruction set.
BENCHMARK(BM_Globe2048)
    ->ArgsProduct({{1, 0}, {tv::kSimdSse2, tv::kSimdAvx2, tv::kSimdAvx512}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(2);
BENCHMARK(BM_Preview1920x1080)->Arg(7)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LitMap4096x2048)
    ->ArgsProduct({{1, 0}, {tv::kSimdSse2, tv::kSimdAvx2, tv::kSimdAvx512}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
