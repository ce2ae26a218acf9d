// The layered document writer alone: eleven 4096 x 2048 layers from a source
// that only fills a buffer, at 8, 16 and 32 bits, into a file in /tmp. What
// remains of an export's time beyond this is rendering.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "export/psd_writer.h"

namespace {

int32_t fillLayer(void* context, int32_t index, tv::ExportImage& image) {
    const auto* d = static_cast<const tv::PsdDescription*>(context);
    image.width = d->width;
    image.height = d->height;
    image.bytesPerChannel = d->bytesPerChannel;
    image.pixels.resize(size_t(d->width) * size_t(d->height) * 4 * size_t(d->bytesPerChannel));
    std::memset(image.pixels.data(), index * 20, image.pixels.size());
    return 0;
}

void BM_WriteLayeredDocument(benchmark::State& state) {
    const tv::PsdDescription d = tv::psdDescription(4096, 2048, int32_t(state.range(0)));
    const std::string path = "/tmp/tv-bench-psd-" + std::to_string(::getpid()) + ".psd";
    for (auto _ : state) {
        const int32_t rc = tv::writePsdDocument(path, d, tv::PsdLayerSource{const_cast<tv::PsdDescription*>(&d), fillLayer});
        if (rc != 0) state.SkipWithError("the document could not be written");
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(tv::psdDocumentSize(d)));
    std::remove(path.c_str());
}
BENCHMARK(BM_WriteLayeredDocument)->Arg(8)->Arg(16)->Arg(32)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace

BENCHMARK_MAIN();
