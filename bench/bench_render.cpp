// Render speed: the default 2048 x 2048 globe and a 4096 x 2048 lit map,
// on one worker thread and on one per processor. Reports megapixels per
// second and the thread count.
#include <benchmark/benchmark.h>

#include "params/params.h"
#include "synth/jobs.h"
#include "render/render.h"

namespace {

void renderOnce(benchmark::State& state, int32_t mode, int32_t width, int32_t height) {
    tv::setForcedThreadCount(int32_t(state.range(0)));
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
    const double pixels = double(width) * double(height) * double(state.iterations());
    state.counters["Mpixel/s"] = benchmark::Counter(pixels / 1e6, benchmark::Counter::kIsRate);
    state.counters["threads"] = threads;
}

void BM_Globe2048(benchmark::State& s) { renderOnce(s, tv::kModeNormal, 2048, 2048); }
void BM_LitMap4096x2048(benchmark::State& s) { renderOnce(s, tv::kModeLitMap, 4096, 2048); }

// Argument: worker threads (0 = one per processor).
BENCHMARK(BM_Globe2048)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);
BENCHMARK(BM_LitMap4096x2048)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
