// The cost of one present: the copies alone (frame thread's share) and the whole trip through
// the display and the main thread's upload and draw.
#include <benchmark/benchmark.h>

#include <vector>

#include "display/display.h"
#include "display/present.h"

namespace {

constexpr int32_t kWidth = 320;
constexpr int32_t kHeight = 200;

std::vector<uint32_t> Frame()
{
    std::vector<uint32_t> frame(size_t(kWidth) * kHeight);
    for (size_t i = 0; i < frame.size(); i++)
        frame[i] = uint32_t(i * 2654435761u) & 0x00FFFFFF;
    return frame;
}

void BM_CopyWindowed(benchmark::State& state)
{
    std::vector<uint32_t> frame = Frame();
    std::vector<uint32_t> picture(frame.size());
    VideoSurface surface{reinterpret_cast<uint8_t*>(picture.data()), kWidth, kHeight, kWidth * 4, 32, 0xFF00};
    for (auto _ : state) {
        PresentCopyWindowed(frame.data(), kWidth, kHeight, surface);
        benchmark::DoNotOptimize(picture.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(frame.size()) * 4);
}
BENCHMARK(BM_CopyWindowed);

// args: mode width, mode height, depth
void BM_CopyFullScreen(benchmark::State& state)
{
    int32_t w = int32_t(state.range(0)), h = int32_t(state.range(1)), depth = int32_t(state.range(2));
    std::vector<uint32_t> frame = Frame();
    int32_t pitch = w * depth / 8;
    std::vector<uint8_t> back(size_t(pitch) * h);
    VideoSurface surface{back.data(), w, h, pitch, depth, depth == 16 ? 0x07E0u : 0xFF00u};
    for (auto _ : state) {
        benchmark::DoNotOptimize(PresentCopyFullScreen(frame.data(), kWidth, kHeight, w, h, surface));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(frame.size()) * 4);
}
BENCHMARK(BM_CopyFullScreen)->Args({320, 200, 32})->Args({640, 400, 32})->Args({1280, 1024, 32})->Args({640, 480, 16});

// DisplayPresent on the calling thread, then the main thread's paint (upload and draw), through
// whatever video driver the environment gives (X when DISPLAY is set, else SDL's offscreen one).
void BM_DisplayPresentAndPaint(benchmark::State& state)
{
    bool fullScreen = state.range(0) != 0;
    DisplaySetTitle("Zenkor present benchmark");
    if (!DisplayInit({kWidth, kHeight, uint8_t(fullScreen)})) {
        state.SkipWithError("no display");
        return;
    }
    if (fullScreen != DisplayIsFullScreen()) {
        DisplayShutdown();
        state.SkipWithError("full screen not available");
        return;
    }
    std::vector<uint32_t> frame = Frame();
    for (auto _ : state) {
        DisplayPresent(frame.data());
        WindowPostQuit(0);
        WindowRunMessageLoop();
    }
    DisplayShutdown();
}
BENCHMARK(BM_DisplayPresentAndPaint)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
