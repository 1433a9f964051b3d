// The production's cost: one frame of each scene at a moment well inside it, reached by playing
// the demo offline from its start (so every scene has the state it has in a real run), next to
// copying one 64,000-pixel frame; and the whole demo rendered offline at 60 frames a second with
// its music mixed alongside.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "host/offline.h"

namespace {

// A position inside each scene (order << 8 | row).
const uint16_t kMoments[16] = {0x0140, 0x0340, 0x0440, 0x0540, 0x0660, 0x0900, 0x0D00, 0x1000,
                               0x1200, 0x1500, 0x1720, 0x1E60, 0x2300, 0x2700, 0x2940, 0x2A10};

void FrameCopy(benchmark::State& state)
{
    std::vector<uint32_t> from(64000, 0x123456), to(64000);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), 64000 * 4);
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
}

// Plays the demo up to the scene's moment, then draws that frame over and over.
void Scene(benchmark::State& state)
{
    uint16_t moment = kMoments[state.range(0)];
    OfflineStart(nullptr, nullptr);
    uint64_t n = 0;
    while (OfflineFrame(n, 60) && OfflinePositionAt((n + 1) * 44100 / 60) < moment)
        n++;
    for (auto _ : state)
        OfflineFrame(n, 60);
    state.SetLabel(std::to_string(n * 1000 / 60) + " ms");
    OfflineStop();
}

void WholeDemo(benchmark::State& state)
{
    uint64_t frames = 0;
    for (auto _ : state) {
        OfflineStart(nullptr, nullptr);
        uint64_t n = 0;
        while (OfflineFrame(n, 60))
            n++;
        OfflineStop();
        frames += n + 1;
    }
    state.counters["frames/s"] = benchmark::Counter((double)frames, benchmark::Counter::kIsRate);
    state.counters["x real time"] =
        benchmark::Counter((double)frames / 60.0, benchmark::Counter::kIsRate);
}

} // namespace

BENCHMARK(FrameCopy);
BENCHMARK(Scene)->DenseRange(0, 15)->Unit(benchmark::kMicrosecond);
BENCHMARK(WholeDemo)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
BENCHMARK_MAIN();
