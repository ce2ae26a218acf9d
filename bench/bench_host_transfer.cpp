// How a render through PluginMain splits between the plug-in's work and the
// host's image transfer (advanceState building and writing back the tile
// buffers). Reports the transfer's share, and the time of each side per run
// (plugin_ms: everything outside advanceState, i.e. the module's set-up,
// rendering and write-out).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "host.h"
#include "platform/module_loader.h"

namespace {

void runOnce(benchmark::State& state, int32_t size, int32_t depth) {
    const auto home = std::filesystem::temp_directory_path() / "tv-bench-transfer";
    std::filesystem::create_directories(home);
    setenv("TERRAVANE_HOME", home.c_str(), 1);
    tv::host::PluginModule module;
    std::string error;
    if (!tv::host::loadPlugin(tv::host::defaultPluginPath(), module, &error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    double transfer = 0, total = 0;
    for (auto _ : state) {
        tv::host::FilterSession session;
        tv::host::HostImage image = tv::host::blankImage(size, size, depth, false, false);
        tv::host::FilterHost filter(module, session, image, nullptr, tv::host::HostOptions{});
        tv::host::RunReport report;
        filter.run(tv::host::RunRequest{}, report);
        transfer += report.transferSeconds;
        total += report.seconds;
    }
    state.counters["transfer_share"] = total > 0 ? transfer / total : 0;
    state.counters["transfer_ms"] = benchmark::Counter(transfer * 1000.0, benchmark::Counter::kAvgIterations);
    state.counters["plugin_ms"] = benchmark::Counter((total - transfer) * 1000.0, benchmark::Counter::kAvgIterations);
    tv::host::unloadPlugin(module);
}

void BM_Render1024x8(benchmark::State& s) { runOnce(s, 1024, 8); }
void BM_Render2048x8(benchmark::State& s) { runOnce(s, 2048, 8); }
void BM_Render1024x32(benchmark::State& s) { runOnce(s, 1024, 32); }
BENCHMARK(BM_Render1024x8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Render2048x8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Render1024x32)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
