// Mixing speed in times real time: seconds of music rendered offline through the block filler
// per CPU second, for a 16- and a 32-channel module with every channel sounding all the time.
#include "sound/music.h"
#include "tests/sound/xm_builder.h"

#include <benchmark/benchmark.h>

#include <vector>

// Every channel strikes a note every 4 rows on a looping sample, with vibrato and volume
// slides in between, so both voices of a channel are often busy (one fading out).
static std::vector<uint8_t> BusyModule(int channels)
{
    XmModule m;
    m.channels = channels;
    m.orders = {0, 1, 2, 3};
    m.patterns.assign(4, XmPattern{});
    XmInstrument ins;
    XmSample s;
    for (int i = 0; i < 4000; i++)
        s.values.push_back(int16_t((i * 37 % 2000) * 8 - 8000));
    s.loopType = 1;
    s.loopStart = 1000;
    s.loopLength = 3000;
    ins.samples.push_back(s);
    XmInstrument pingPong = ins;
    pingPong.samples[0].loopType = 2;
    m.instruments = {ins, pingPong};
    for (int p = 0; p < 4; p++) {
        for (int row = 0; row < 64; row++) {
            for (int c = 0; c < channels; c++) {
                XmCell& cell = m.patterns[p].At(row, c, channels);
                if ((row + c) % 4 == 0) {
                    cell.note = uint8_t(37 + (c * 5 + row + p * 7) % 36);
                    cell.instrument = uint8_t(1 + c % 2);
                    cell.volume = uint8_t(0x10 + 40 + c % 24);
                } else if (c % 3 == 0) {
                    cell.effect = 4;
                    cell.parameter = 0x46;
                } else if (c % 3 == 1) {
                    cell.effect = 10;
                    cell.parameter = 0x01;
                }
            }
        }
    }
    return XmBuild(m);
}

static void MixChannels(benchmark::State& state)
{
    std::vector<uint8_t> module = BusyModule(int(state.range(0)));
    if (MusicLoad(module.data(), int(module.size())) != 0 || !MusicRenderBegin()) {
        state.SkipWithError("module did not load");
        return;
    }
    std::vector<int16_t> pcm(MUSIC_BLOCK_FRAMES * 2);
    const int blocksPerSecond = MUSIC_MIX_RATE / MUSIC_BLOCK_FRAMES;  // 49 blocks, ~0.98 s
    double seconds = 0;
    for (auto _ : state) {
        for (int i = 0; i < blocksPerSecond; i++)
            benchmark::DoNotOptimize(MusicRenderBlock(pcm.data()));
        seconds += double(blocksPerSecond) * MUSIC_BLOCK_FRAMES / MUSIC_MIX_RATE;
    }
    state.counters["x_realtime"] = benchmark::Counter(seconds, benchmark::Counter::kIsRate);
    MusicRenderEnd();
    MusicFree();
}
BENCHMARK(MixChannels)->Arg(16)->Arg(32)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
