// Span routines against memcpy of the same bytes, blits of a full-frame bitmap, one present.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "display/display.h"
#include "host/pixels.h"


namespace {

constexpr size_t kPixels = 320 * 200;

std::vector<uint32_t> Noise(size_t n, uint32_t seed)
{
    std::vector<uint32_t> v(n);
    for (auto& p : v) {
        seed = seed * 1664525u + 1013904223u;
        p = seed;
    }
    return v;
}

void BM_Memcpy(benchmark::State& state)
{
    auto src = Noise(kPixels, 1), dst = Noise(kPixels, 2);
    for (auto _ : state) {
        std::memcpy(dst.data(), src.data(), kPixels * 4);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed((int64_t)state.iterations() * kPixels * 4);
}
BENCHMARK(BM_Memcpy);

// Argument 1: 256-bit vectors where the processor has them; 0: SSE2 only.
template <void (*Span)(uint32_t*, const uint32_t*, size_t, uint32_t)>
void BM_TwoRunSpan(benchmark::State& state)
{
    SpanAllowWideVectors(state.range(0) != 0);
    auto src = Noise(kPixels, 1), dst = Noise(kPixels, 2);
    for (auto _ : state) {
        Span(dst.data(), src.data(), kPixels, 170);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed((int64_t)state.iterations() * kPixels * 4);
}
BENCHMARK(BM_TwoRunSpan<SpanScreen>)->Name("SpanScreen")->Arg(1)->Arg(0);
BENCHMARK(BM_TwoRunSpan<SpanCrossFade>)->Name("SpanCrossFade")->Arg(1)->Arg(0);
BENCHMARK(BM_TwoRunSpan<SpanScreenScalar>)->Name("SpanScreenScalar")->Arg(0);
BENCHMARK(BM_TwoRunSpan<SpanCrossFadeScalar>)->Name("SpanCrossFadeScalar")->Arg(0);

template <void (*Span)(uint32_t*, size_t, uint32_t)>
void BM_OneRunSpan(benchmark::State& state)
{
    SpanAllowWideVectors(state.range(0) != 0);
    auto dst = Noise(kPixels, 2);
    uint32_t amount = 170;
    for (auto _ : state) {
        Span(dst.data(), kPixels, amount);
        amount ^= 0x55;  // keeps the values from collapsing to 0 or 255 over many runs
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed((int64_t)state.iterations() * kPixels * 4);
}
BENCHMARK(BM_OneRunSpan<SpanScale>)->Name("SpanScale")->Arg(1)->Arg(0);
BENCHMARK(BM_OneRunSpan<SpanTowardWhite>)->Name("SpanTowardWhite")->Arg(1)->Arg(0);
BENCHMARK(BM_OneRunSpan<SpanScaleScalar>)->Name("SpanScaleScalar")->Arg(0);
BENCHMARK(BM_OneRunSpan<SpanTowardWhiteScalar>)->Name("SpanTowardWhiteScalar")->Arg(0);

enum BlitKind { kCopy, kAlpha, kConstant };

template <BlitKind Kind>
void BM_Blit(benchmark::State& state)
{
    auto pixels = Noise(kPixels, 3);
    Bitmap bitmap{pixels.data(), 320, 200};
    Surface surface{};
    SurfaceCreate(surface, 320, 200);
    SurfaceFill(surface, 0x00123456);
    for (auto _ : state) {
        if (Kind == kCopy) BlitCopy(surface, bitmap, 0, 0);
        if (Kind == kAlpha) BlitAlpha(surface, bitmap, 0, 0);
        if (Kind == kConstant) BlitConstant(surface, bitmap, 0, 0, 100);
        benchmark::ClobberMemory();
    }
    SurfaceRelease(surface);
    state.SetBytesProcessed((int64_t)state.iterations() * kPixels * 4);
}
BENCHMARK(BM_Blit<kCopy>)->Name("BlitCopy320x200");
BENCHMARK(BM_Blit<kAlpha>)->Name("BlitAlpha320x200");
BENCHMARK(BM_Blit<kConstant>)->Name("BlitConstant320x200");

// One windowed present: the frame goes into the window's picture under the display lock and a
// paint is asked for (the main thread's upload and show are not part of it).
void BM_Present(benchmark::State& state)
{
    static bool up = DisplayInit(DisplaySettings{320, 200, 0});
    if (!up) {
        state.SkipWithError("no display");
        return;
    }
    auto frame = Noise(kPixels, 4);
    for (auto _ : state)
        DisplayPresent(frame.data());
}
BENCHMARK(BM_Present);

}  // namespace

BENCHMARK_MAIN();
