// Satellite image conversion: a 3600 x 3600 JPEG (the size of the 4 km
// catalogue images) and a 700 x 700 palette GIF (the low-resolution ones),
// each from the file's bytes in memory to a cloud map with its level chain;
// and reading a 3600 x 3600 map back from its cache file's bytes.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "clouds/cloud_cache.h"
#include "clouds/cloud_convert.h"
// The test suite's image makers (Earth-disc pictures, GIF and JPEG encoders).
#include "../tests/clouds/test_images.cpp"

namespace {

const std::vector<uint8_t>& jpeg3600() {
    static const std::vector<uint8_t> data =
        tv::test::encodeJpeg(3600, 3600, tv::test::earthDiscRgb(3600, 3600, 52, 30, 3540), 90);
    return data;
}

const std::vector<uint8_t>& gif700() {
    static const std::vector<uint8_t> data = tv::test::encodeGif(tv::test::earthDisc(700, 700, 12, 10, 676, 25));
    return data;
}

void BM_ConvertJpeg3600(benchmark::State& state) {
    const std::vector<uint8_t>& data = jpeg3600();
    tv::CatalogueEntry entry;
    tv::builtInEntry(6, entry);
    for (auto _ : state) {
        tv::CloudMap map;
        const int rc = tv::convertImageData(map, 6, entry, data.data(), data.size(), tv::CloudImageKind::Jpeg);
        if (rc != tv::kConvertOk) state.SkipWithError("conversion failed");
        benchmark::DoNotOptimize(map.pyramid.tiles);
    }
    state.counters["bytes"] = double(data.size());
}
BENCHMARK(BM_ConvertJpeg3600)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);

void BM_ConvertGif700(benchmark::State& state) {
    const std::vector<uint8_t>& data = gif700();
    tv::CatalogueEntry entry;
    tv::builtInEntry(0, entry);  // overlays painted out
    for (auto _ : state) {
        tv::CloudMap map;
        const int rc = tv::convertImageData(map, 0, entry, data.data(), data.size(), tv::CloudImageKind::Gif);
        if (rc != tv::kConvertOk) state.SkipWithError("conversion failed");
        benchmark::DoNotOptimize(map.pyramid.tiles);
    }
    state.counters["bytes"] = double(data.size());
}
BENCHMARK(BM_ConvertGif700)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ReadCache3600(benchmark::State& state) {
    tv::CatalogueEntry entry;
    tv::builtInEntry(6, entry);
    tv::CloudMap map;
    tv::convertImageData(map, 6, entry, jpeg3600().data(), jpeg3600().size(), tv::CloudImageKind::Jpeg);
    std::vector<uint8_t> file;
    tv::encodeCloudCache(map, file);
    for (auto _ : state) {
        tv::CloudMap back;
        if (tv::decodeCloudCache(file.data(), file.size(), 6, back) != tv::kCacheOk) state.SkipWithError("read failed");
        benchmark::DoNotOptimize(back.pyramid.tiles);
    }
    state.counters["bytes"] = double(file.size());
}
BENCHMARK(BM_ReadCache3600)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
