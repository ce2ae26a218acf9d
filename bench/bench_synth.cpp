// Per-pixel synthesis costs: gradient noise, fractal sums, the terrain
// sampler, crater stamping and the cloud density, one point at a time and in
// the row form the renderer uses.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "params/params.h"
#include "synth/cloud_field.h"
#include "synth/noise.h"
#include "synth/pyramid.h"
#include "synth/terrain.h"

namespace {

using namespace tv;

struct World {
    std::unique_ptr<PlanetData> planet = std::make_unique<PlanetData>();
    ImagePyramid reliefs[kReliefCount];
    ParamRecord params = defaultRecord();
    std::vector<Vec3> points;  // globe points of a 2048 x 2048 render, on a coarse grid
    // One row of neighbouring pixels of that render (a quarter of the way
    // down), with the renderer's detail level, latitude and Coriolis turn.
    std::vector<Vec3> row;
    std::vector<float> rowOctaves, rowSinLat;
    std::vector<Rotation> rowTurns;

    World() {
        buildSeedTable(*planet, params.randomSeed);
        buildLattice(*planet);
        setupTerrainConstants(*planet, params);
        setupStorms(*planet, params);
        setupCraters(*planet, params);
        setupCloudConstants(*planet, params, 2048, 2048, 1);
        loadReliefMaps(reliefs, *planet);
        const float r = 863.5f;  // planet size 65 on 2048 x 2048: 0.422 x 2048 = 864, less half a pixel
        planet->craterLevelBias = std::log(2.0f * r) - 5.950642552587727f;
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 64; ++x) {
                const float px = (x - 31.5f) / 32.0f, py = (y - 31.5f) / 32.0f;
                const float r2 = px * px + py * py;
                if (r2 < 1.0f) points.push_back({px, py, std::sqrt(1.0f - r2)});
            }
        SampleView view;
        view.coriolisScale = 0.04f * static_cast<float>(params.cloudCoriolis);
        const float dy = 1024.0f - 512.0f;
        for (int x = 0; x < 2048; ++x) {
            const float X = (1024.0f - static_cast<float>(x)) / r, Y = dy / r;
            const float rad = 1.0f - X * X - Y * Y;
            if (!(rad > 0.0f)) continue;
            const Vec3 p{X, Y, std::sqrt(rad)};
            row.push_back(p);
            rowOctaves.push_back(std::max(1.0f, (std::log(r) + std::log(p.z)) / 0.4604494165f - 2.0f));
            rowSinLat.push_back(dot(planet->axis, p));
            rowTurns.push_back(coriolisTurn(*planet, rowSinLat.back(), view));
        }
    }
};

World& world() {
    static World w;
    return w;
}

void BM_Noise3(benchmark::State& state) {
    const World& w = world();
    size_t i = 0;
    float sum = 0.0f;
    for (auto _ : state) {
        const Vec3 p = w.points[i];
        sum += noise3(*w.planet, {p.x * 7.3f, p.y * 7.3f, p.z * 7.3f});
        if (++i == w.points.size()) i = 0;
    }
    benchmark::DoNotOptimize(sum);
}
BENCHMARK(BM_Noise3);

void BM_FractalSum12(benchmark::State& state) {
    const World& w = world();
    size_t i = 0;
    float sum = 0.0f;
    for (auto _ : state) {
        Vec3 p = w.points[i];
        sum += fractalSum(*w.planet, p, 1.584786f, 12.0f, w.planet->roughness).sum;
        if (++i == w.points.size()) i = 0;
    }
    benchmark::DoNotOptimize(sum);
}
BENCHMARK(BM_FractalSum12);

// The renderer's level is (ln R + ln mu) / ln 1.584786 - 2: about 12.7 at the
// centre of a 2048 x 2048 globe; 8.4 octaves is a typical preview pixel.
void BM_SampleTerrain8(benchmark::State& state) {
    const World& w = world();
    const SampleView view;
    size_t i = 0;
    float sum = 0.0f;
    for (auto _ : state) {
        sum += sampleTerrain(*w.planet, w.points[i], 8.4f, w.planet->seaLevelHeight, view).terrain;
        if (++i == w.points.size()) i = 0;
    }
    benchmark::DoNotOptimize(sum);
}
BENCHMARK(BM_SampleTerrain8);

// The renderer's form: a row of neighbouring pixels sampled together
// (time per point).
void BM_SampleTerrainsRow(benchmark::State& state) {
    const World& w = world();
    std::vector<TerrainSample> out(w.row.size());
    for (auto _ : state) {
        sampleTerrains(*w.planet, w.row.data(), w.rowOctaves.data(), static_cast<int32_t>(w.row.size()),
                       w.planet->seaLevelHeight, SampleView{}, out.data());
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(w.row.size()));
}
BENCHMARK(BM_SampleTerrainsRow);

// Default settings: 40 craters stamped (41 records), lnMu from the globe's z.
void BM_AddCraters40(benchmark::State& state) {
    const World& w = world();
    std::vector<float> lnMu;
    for (const Vec3& p : w.points) lnMu.push_back(std::log(p.z));
    size_t i = 0;
    float h = 0.0f, sum = 0.0f;
    for (auto _ : state) {
        sum += addCraters(*w.planet, w.points[i], lnMu[i], h);
        if (++i == w.points.size()) i = 0;
    }
    benchmark::DoNotOptimize(sum);
    benchmark::DoNotOptimize(h);
    state.counters["craters"] = static_cast<double>(w.planet->craterCount - 1);
}
BENCHMARK(BM_AddCraters40);

// The synthetic cloud density with the default octave budgets for 2048 x 2048.
void BM_CloudDensity(benchmark::State& state) {
    const World& w = world();
    SampleView view;
    view.coriolisScale = 0.04f * static_cast<float>(w.params.cloudCoriolis);
    size_t i = 0;
    float sum = 0.0f;
    for (auto _ : state) {
        const Vec3 p = w.points[i];
        sum += cloudDensity(*w.planet, p, dot(w.planet->axis, p), view);
        if (++i == w.points.size()) i = 0;
    }
    benchmark::DoNotOptimize(sum);
    state.counters["octaves"] = static_cast<double>(w.planet->warpOctaves + w.planet->detailOctaves);
}
BENCHMARK(BM_CloudDensity);

// The same with the pixel's Coriolis turn made once (the renderer reads the
// density up to three times per pixel with one sinLat).
void BM_CloudDensityWithTurn(benchmark::State& state) {
    const World& w = world();
    SampleView view;
    view.coriolisScale = 0.04f * static_cast<float>(w.params.cloudCoriolis);
    const Rotation turn = coriolisTurn(*w.planet, 0.3f, view);
    size_t i = 0;
    float sum = 0.0f;
    for (auto _ : state) {
        sum += cloudDensity(*w.planet, w.points[i], 0.3f, turn, view);
        if (++i == w.points.size()) i = 0;
    }
    benchmark::DoNotOptimize(sum);
}
BENCHMARK(BM_CloudDensityWithTurn);

// The renderer's form: the cloud cover of a row of neighbouring pixels read
// together (time per point).
void BM_CloudDensitiesRow(benchmark::State& state) {
    const World& w = world();
    SampleView view;
    view.coriolisScale = 0.04f * static_cast<float>(w.params.cloudCoriolis);
    std::vector<float> out(w.row.size());
    for (auto _ : state) {
        cloudDensities(*w.planet, w.row.data(), w.rowSinLat.data(), w.rowTurns.data(),
                       static_cast<int32_t>(w.row.size()), view, out.data());
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(w.row.size()));
}
BENCHMARK(BM_CloudDensitiesRow);

}  // namespace

BENCHMARK_MAIN();
