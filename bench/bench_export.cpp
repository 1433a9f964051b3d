// The whole demo exported at the defaults (1280 x 800, 60 frames a second, .mp4), in seconds of
// wall time, split into rendering (its own thread), scaling and colour conversion, and encoding.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "export/exporter.h"

namespace {

void WholeDemoMp4(benchmark::State& state)
{
    ExportOptions options;
    options.path = "bench_export.mp4";
    options.kind = ENCODER_MP4;
    options.progress = false;
    ExportReport report{};
    for (auto _ : state) {
        std::string error;
        if (!ExportVideo(options, &report, &error)) {
            state.SkipWithError(error.c_str());
            return;
        }
    }
    state.counters["demo s"] = (double)report.frames / options.fps;
    state.counters["render s"] = report.renderSeconds;
    state.counters["convert s"] = report.convertSeconds;
    state.counters["encode s"] = report.encodeSeconds;
    state.counters["total s"] = report.totalSeconds;
    std::FILE* file = std::fopen(options.path.c_str(), "rb");
    if (file) {
        std::fseek(file, 0, SEEK_END);
        state.counters["MB"] = (double)std::ftell(file) / 1e6;
        std::fclose(file);
    }
    std::remove(options.path.c_str());
}

} // namespace

BENCHMARK(WholeDemoMp4)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
BENCHMARK_MAIN();
