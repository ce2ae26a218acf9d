// Sampling and chain building of 8-bit grey pyramids.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "synth/jobs.h"
#include "synth/pyramid.h"

namespace {

void fillNoise(tv::ImagePyramid& p) {
    uint32_t h = 12345;
    for (int32_t y = 0; y < p.levelHeight[0]; ++y)
        for (int32_t x = 0; x < p.levelWidth[0]; ++x) {
            h = h * 1664525u + 1013904223u;
            tv::setPixel(p, 0, x, y, 0, static_cast<float>(h >> 24));
        }
}

tv::ImagePyramid& sampled() {
    static tv::ImagePyramid p = [] {
        tv::ImagePyramid q;
        tv::createPyramid(q, 1024, 1024, tv::kFormatGrey8, tv::kWrapBoth);
        fillNoise(q);
        tv::buildChain(q);
        return q;
    }();
    return p;
}

// Level 0 inside the tiles: every sample takes the one-tile path.
void BM_SamplePyramidFastPath(benchmark::State& state) {
    const tv::ImagePyramid& p = sampled();
    float u = 0.1f, sum = 0.0f;
    for (auto _ : state) {
        sum += tv::samplePyramid(p, 0, 0.0f, u, 0.3f);
        u += 0.000731f;
        if (u > 0.45f) u = 0.1f;  // stays within the first tile column
    }
    benchmark::DoNotOptimize(sum);
}
BENCHMARK(BM_SamplePyramidFastPath);

// Along the wrapped left edge: every sample's taps wrap into two tiles.
void BM_SamplePyramidSlowPath(benchmark::State& state) {
    const tv::ImagePyramid& p = sampled();
    float v = 0.1f, sum = 0.0f;
    for (auto _ : state) {
        sum += tv::samplePyramid(p, 0, 0.0f, 0.0005f, v);
        v += 0.000731f;
        if (v > 0.9f) v = 0.1f;
    }
    benchmark::DoNotOptimize(sum);
}
BENCHMARK(BM_SamplePyramidSlowPath);

// A fractional level: two levels sampled and blended.
void BM_SamplePyramidBlended(benchmark::State& state) {
    const tv::ImagePyramid& p = sampled();
    float u = 0.1f, sum = 0.0f;
    for (auto _ : state) {
        sum += tv::samplePyramid(p, 1, 0.5f, u, 0.3f);
        u += 0.000731f;
        if (u > 0.45f) u = 0.1f;
    }
    benchmark::DoNotOptimize(sum);
}
BENCHMARK(BM_SamplePyramidBlended);

// The whole chain of a 4096 x 4096 grey map on the worker threads; the
// argument forces the thread count (0: one per processor).
void BM_BuildChain4096Grey(benchmark::State& state) {
    tv::setForcedThreadCount(static_cast<int32_t>(state.range(0)));
    tv::ImagePyramid p;
    tv::createPyramid(p, 4096, 4096, tv::kFormatGrey8, tv::kWrapClamp);
    fillNoise(p);
    for (auto _ : state) tv::buildChain(p);
    state.SetItemsProcessed(state.iterations() * 4096 * 4096);
    tv::setForcedThreadCount(0);
}
BENCHMARK(BM_BuildChain4096Grey)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
