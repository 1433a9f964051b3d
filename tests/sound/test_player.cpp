// Pattern playback, effects and modulation on small modules built in code, driven tick by tick.
#include "sound/mixer.h"
#include "sound/modulation.h"
#include "sound/music.h"
#include "sound/player.h"
#include "sound/song.h"
#include "tests/sound/xm_builder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <utility>

namespace {

struct SongDeleter {
    void operator()(Song* song) const { SongDestroy(song); }
};
using SongPtr = std::unique_ptr<Song, SongDeleter>;

class Player : public ::testing::Test {
protected:
    XmModule module;
    std::vector<uint8_t> bytes;
    SongPtr song;

    Player()
    {
        module.channels = 2;
        module.instruments = {XmToneInstrument()};
    }
    XmCell& Cell(int pattern, int row, int channel)
    {
        return module.patterns[size_t(pattern)].At(row, channel, module.channels);
    }
    void Start()
    {
        bytes = XmBuild(module);
        ModuleFileOpsUseMemory();
        MemoryFile file{int(bytes.size()), 0, bytes.data()};
        song.reset(SongCreate(&file));
        ASSERT_TRUE(song);
        VoicePoolReset();
        PlayerReset(song.get());
    }
    void Ticks(int n)
    {
        for (int i = 0; i < n; i++)
            TickHandler(song.get());
    }
    std::pair<int, int> Position() const { return {song->order, song->row}; }
    Channel& Ch(int i) { return ChannelPool()[i]; }
    // Rows visited, one entry per tick 0, for n ticks.
    std::vector<std::pair<int, int>> RowsFor(int ticks)
    {
        std::vector<std::pair<int, int>> rows;
        for (int i = 0; i < ticks; i++) {
            bool rowStart = song->tick == 0;
            TickHandler(song.get());
            if (rowStart)
                rows.push_back(Position());
        }
        return rows;
    }
};

using Rows = std::vector<std::pair<int, int>>;

TEST_F(Player, SetTempoGivesFramesPerTick)
{
    Start();
    struct Case {
        int bpm, frames;
    } cases[] = {{125, 882}, {126, 875}, {32, 3445}, {255, 432}, {100, 1102}};
    for (const Case& c : cases) {
        SetTempo(song.get(), c.bpm);
        EXPECT_EQ(song->framesPerTick, c.frames) << c.bpm;
        EXPECT_EQ(song->bpm, c.bpm);
    }
}

TEST_F(Player, RowsAdvanceAndTheSongLoopsToTheRestartPosition)
{
    module.orders = {0, 1, 0};
    module.restart = 1;
    module.patterns.assign(2, XmPattern{});
    module.patterns[0].rows = 2;
    module.patterns[1].rows = 3;
    module.tempo = 2;
    Start();
    Rows expected = {{0, 0}, {0, 1}, {1, 0}, {1, 1}, {1, 2}, {2, 0}, {2, 1}, {1, 0}, {1, 1}};
    EXPECT_EQ(RowsFor(18), expected);
}

TEST_F(Player, PatternDelayStretchesTheRow)
{
    module.tempo = 6;
    Cell(0, 0, 1) = XmCell{0, 0, 0, 14, 0xE2};
    Start();
    Ticks(17);
    EXPECT_EQ(song->row, 0);
    EXPECT_EQ(song->tick, 17);
    Ticks(1);
    EXPECT_EQ(song->tick, 0);
    EXPECT_EQ(song->patternDelay, 0);
    Ticks(1);
    EXPECT_EQ(song->row, 1);
}

TEST_F(Player, SpeedZeroPlaysARowEveryTick)
{
    Cell(0, 0, 0) = XmCell{0, 0, 0, 15, 0};
    Start();
    Rows expected = {{0, 0}, {0, 1}, {0, 2}, {0, 3}};
    EXPECT_EQ(RowsFor(4), expected);
}

TEST_F(Player, BreaksAndJumps)
{
    struct Case {
        const char* name;
        std::vector<std::pair<int, XmCell>> row0;  // channel, cell in order 0 row 0
        int order, row;                            // position of the next row
    } cases[] = {
        {"D70 breaks to row 0", {{0, {0, 0, 0, 13, 0x70}}}, 1, 0},
        {"D12", {{0, {0, 0, 0, 13, 0x12}}}, 1, 12},
        {"B then D", {{0, {0, 0, 0, 11, 2}}, {1, {0, 0, 0, 13, 0x05}}}, 2, 5},
        {"D then B", {{0, {0, 0, 0, 13, 0x05}}, {1, {0, 0, 0, 11, 2}}}, 2, 0},
        {"B past the song", {{0, {0, 0, 0, 11, 9}}}, 0, 0},
    };
    for (const auto& c : cases) {
        module = XmModule{};
        module.channels = 2;
        module.orders = {0, 1, 2};
        module.patterns.assign(3, XmPattern{});
        module.tempo = 1;
        for (const auto& [channel, cell] : c.row0)
            Cell(0, 0, channel) = cell;
        Start();
        Ticks(2);
        EXPECT_EQ(Position(), std::make_pair(c.order, c.row)) << c.name;
    }
}

TEST_F(Player, BreakOnTheLastOrderGoesToOrderZeroNotTheRestart)
{
    module.orders = {0, 1};
    module.restart = 1;
    module.patterns.assign(2, XmPattern{});
    module.tempo = 1;
    module.patterns[1].At(0, 0, 2) = XmCell{0, 0, 0, 13, 0};
    module.patterns[0].At(0, 0, 2) = XmCell{0, 0, 0, 11, 1};
    Start();
    Ticks(3);
    EXPECT_EQ(Position(), std::make_pair(0, 0));
}

TEST_F(Player, BreakPastAShorterPatternStartsItFromTheTop)
{
    module.orders = {0, 1};
    module.patterns.assign(2, XmPattern{});
    module.patterns[1].rows = 8;
    module.tempo = 1;
    Cell(0, 0, 0) = XmCell{0, 0, 0, 13, 0x20};
    Start();
    Ticks(2);
    EXPECT_EQ(Position(), std::make_pair(1, 0));
}

TEST_F(Player, PatternLoopRepeatsRows)
{
    module.tempo = 1;
    Cell(0, 1, 0) = XmCell{0, 0, 0, 14, 0x60};
    Cell(0, 2, 0) = XmCell{0, 0, 0, 14, 0x62};
    Start();
    Rows expected = {{0, 0}, {0, 1}, {0, 2}, {0, 1}, {0, 2}, {0, 1}, {0, 2}, {0, 3}};
    EXPECT_EQ(RowsFor(8), expected);
}

TEST_F(Player, NotePeriodsAndVoiceFrequencies)
{
    Start();
    struct Case {
        bool linear;
        int note, finetune, period;
        uint64_t hz;
    } cases[] = {
        {true, 48, 0, 4608, 8363}, {true, 60, 0, 3840, 16726}, {true, 48, -128, 4672, 0}, {false, 48, 0, 1712, 8362},
        {false, 48, 127, 0, 0},    {false, 48, -128, 0, 0},
    };
    for (const Case& c : cases) {
        song->flags = c.linear ? 1 : 0;
        int period = NotePeriod(song.get(), c.note, c.finetune);
        if (c.period) {
            EXPECT_EQ(period, c.period) << c.note;
        }
        if (!c.hz)
            continue;
        Channel channel{};
        channel.voice = &VoicePool()[5];
        channel.period = period;
        channel.updateFlags = CHANNEL_FREQUENCY;
        UpdateVoice(&channel, &g_emptySample, song.get());
        uint64_t step = uint64_t(channel.voice->stepInteger) << 32 | channel.voice->stepFraction;
        EXPECT_EQ(uint64_t(std::llround(double(step) * 44100 / 4294967296.0)), c.hz) << c.note;
    }
    EXPECT_GT(AmigaPeriod(48, -128), AmigaPeriod(48, 0));
    EXPECT_LT(AmigaPeriod(48, 127), AmigaPeriod(48, 0));
    EXPECT_EQ(AmigaPeriod(36, 0), 3424);
}

TEST_F(Player, FrequenciesAreLimitedAtBothEnds)
{
    Start();
    struct Case {
        bool linear;
        int period;
        uint32_t stepInteger;
    } cases[] = {{false, 143170 * 2, 0}, {true, 20000, 0}, {true, -100000, 255}, {false, -5, 0}};
    for (const Case& c : cases) {
        song->flags = c.linear ? 1 : 0;
        Channel channel{};
        channel.voice = &VoicePool()[1];
        channel.period = c.period;
        channel.updateFlags = CHANNEL_FREQUENCY;
        UpdateVoice(&channel, &g_emptySample, song.get());
        uint64_t step = uint64_t(channel.voice->stepInteger) << 32 | channel.voice->stepFraction;
        EXPECT_EQ(channel.voice->stepInteger, c.stepInteger) << c.period;
        if (c.stepInteger == 0) {  // raised to 100 Hz
            EXPECT_EQ(std::llround(double(step) * 44100 / 4294967296.0), 100) << c.period;
        }
    }
}

TEST_F(Player, NewNoteHandsTheOldOneToThePartnerVoice)
{
    module.tempo = 1;
    Cell(0, 0, 0) = XmCell{49, 1};
    Cell(0, 1, 0) = XmCell{49, 1};
    Cell(0, 2, 0) = XmCell{49, 1};
    Start();
    Ticks(1);
    Voice* first = Ch(0).voice;
    EXPECT_EQ(first->index, 0);
    EXPECT_NE(first->sample, nullptr);
    EXPECT_GT(first->gainA, 0);
    Ticks(1);
    EXPECT_EQ(Ch(0).voice->index, 32);
    EXPECT_EQ(first->gainA, 0);
    EXPECT_EQ(first->gainB, 0);
    EXPECT_NE(first->sample, nullptr);  // fades out over the ramp, still running
    EXPECT_EQ(Ch(0).voice->levelA, 0);  // the new note ramps up from silence
    Ticks(1);
    EXPECT_EQ(Ch(0).voice->index, 0);
}

TEST_F(Player, FullVolumeGivesGain127AndPanSplitsIt)
{
    Cell(0, 0, 0) = XmCell{49, 1, 0, 8, 255};
    Cell(0, 0, 1) = XmCell{49, 1, 0, 8, 0};
    Start();
    Ticks(1);
    EXPECT_EQ(Ch(0).voice->volume, 127);
    EXPECT_EQ(Ch(0).voice->gainA, 0);  // left
    EXPECT_EQ(Ch(0).voice->gainB, 127);
    EXPECT_EQ(Ch(1).voice->gainA, 127);
    EXPECT_EQ(Ch(1).voice->gainB, 0);
}

TEST_F(Player, TonePortamentoSlidesWithoutRetrigger)
{
    module.tempo = 4;
    Cell(0, 0, 0) = XmCell{49, 1};
    Cell(0, 1, 0) = XmCell{61, 1, 0, 3, 0x10};
    Start();
    Ticks(4);
    Voice* voice = Ch(0).voice;
    Ch(0).volume = 20;
    Ticks(1);
    EXPECT_EQ(Ch(0).voice, voice);  // no new note
    EXPECT_EQ(Ch(0).period, 4608);
    EXPECT_EQ(Ch(0).basePeriod, 3840);
    EXPECT_EQ(Ch(0).tonePortamentoTarget, 3840);
    EXPECT_EQ(Ch(0).volume, 64);  // the instrument still resets volume
    Ticks(1);
    EXPECT_EQ(Ch(0).period, 4608 - 64);
    Ticks(2);
    EXPECT_EQ(Ch(0).period, 4608 - 3 * 64);
}

TEST_F(Player, ArpeggioOffsetsByTick)
{
    Cell(0, 0, 0) = XmCell{49, 1, 0, 0, 0x37};
    Start();
    std::vector<int> deltas;
    for (int i = 0; i < 6; i++) {
        Ticks(1);
        deltas.push_back(Ch(0).periodDelta);
    }
    EXPECT_EQ(deltas, (std::vector<int>{0, 3 * 64, 7 * 64, 0, 3 * 64, 7 * 64}));
}

TEST_F(Player, VolumeColumnSlidesActOnEveryTick)
{
    module.tempo = 3;
    Cell(0, 0, 0) = XmCell{49, 1, 0x10 + 40};
    Cell(0, 1, 0) = XmCell{0, 0, 0x65};
    Cell(0, 2, 0) = XmCell{0, 0, 0x85};
    Start();
    Ticks(3);
    EXPECT_EQ(Ch(0).volume, 40);
    Ticks(1);
    EXPECT_EQ(Ch(0).volume, 35);
    Ticks(2);
    EXPECT_EQ(Ch(0).volume, 25);
    Ticks(3);  // fine slide: tick 0 only
    EXPECT_EQ(Ch(0).volume, 20);
}

TEST_F(Player, EffectsOnVolumeAndPan)
{
    struct Case {
        const char* name;
        XmCell cell;   // row 1 of channel 0, after a note at row 0
        int ticks;     // ticks of row 1 played
        int volume, pan, globalVolume;
    } cases[] = {
        {"C set volume", {0, 0, 0, 12, 0x30}, 1, 0x30, 128, 64},
        {"A slide down", {0, 0, 0, 10, 0x04}, 3, 64 - 8, 128, 64},
        {"A slide up capped", {0, 0, 0, 10, 0x40}, 3, 64, 128, 64},
        {"EA fine up capped", {0, 0, 0, 14, 0xA5}, 3, 64, 128, 64},
        {"EB fine down", {0, 0, 0, 14, 0xB5}, 3, 59, 128, 64},
        {"EC cut at tick 2", {0, 0, 0, 14, 0xC2}, 3, 0, 128, 64},
        {"8 pan", {0, 0, 0, 8, 0x40}, 1, 64, 0x40, 64},
        {"E8 pan", {0, 0, 0, 14, 0x83}, 1, 64, 0x30, 64},
        {"P slide right", {0, 0, 0, 25, 0x20}, 3, 64, 132, 64},
        {"G global", {0, 0, 0, 16, 0x50}, 1, 64, 128, 64},
        {"H global slide", {0, 0, 0, 17, 0x03}, 3, 64, 128, 58},
        {"volume column pan", {0, 0, 0xC4, 0, 0}, 1, 64, 64, 64},
        {"volume column pan slide", {0, 0, 0xD2, 0, 0}, 3, 64, 122, 64},
        {"R retrigger halves", {0, 0, 0, 27, 0x71}, 3, 16, 128, 64},
    };
    for (const auto& c : cases) {
        module.tempo = 4;
        module.patterns.assign(1, XmPattern{});
        Cell(0, 0, 0) = XmCell{49, 1};
        Cell(0, 1, 0) = c.cell;
        Start();
        Ticks(4 + c.ticks);
        EXPECT_EQ(Ch(0).volume, c.volume) << c.name;
        EXPECT_EQ(Ch(0).pan, c.pan) << c.name;
        EXPECT_EQ(song->globalVolume, c.globalVolume) << c.name;
    }
}

TEST_F(Player, SampleOffsetPastTheLoopEndJumpsToTheStart)
{
    module.instruments = {XmToneInstrument(512, 0)};
    module.tempo = 2;
    Cell(0, 0, 0) = XmCell{49, 1};
    Cell(0, 1, 0) = XmCell{49, 1, 0, 9, 0x01};  // 256 values in
    Cell(0, 2, 0) = XmCell{49, 1, 0, 9, 0x03};  // 768: past the end
    Start();
    Ticks(2);
    Ticks(1);
    Voice* voice = Ch(0).voice;
    EXPECT_EQ(voice->position, 256u);
    VoicePool()[voice->index].position = 300;
    Ticks(2);
    EXPECT_EQ(Ch(0).voice, voice);  // no new note
    EXPECT_EQ(voice->position, 0u);
}

TEST_F(Player, KeyOffCutsWithoutEnvelopeAndReleasesWithOne)
{
    XmInstrument enveloped = XmToneInstrument();
    enveloped.volume.points = {{0, 64}, {4, 32}, {8, 0}};
    enveloped.volume.type = ENVELOPE_ON | ENVELOPE_SUSTAIN;
    enveloped.volume.sustain = 1;
    enveloped.fadeout = 1000;
    module.instruments.push_back(enveloped);
    module.tempo = 10;
    Cell(0, 0, 0) = XmCell{49, 1};
    Cell(0, 0, 1) = XmCell{49, 2};
    Cell(0, 1, 0) = XmCell{97};
    Cell(0, 1, 1) = XmCell{0, 0, 0, 20, 0};
    Start();
    Ticks(10);
    EXPECT_EQ(Ch(1).volumeEnvelope.value, 32);  // held at the sustain point
    EXPECT_EQ(Ch(1).volumeEnvelope.tick, 4);
    Ticks(1);
    EXPECT_EQ(Ch(0).volumeEnvelope.value, 0);
    EXPECT_EQ(Ch(0).voice->volume, 0);
    EXPECT_EQ(Ch(1).keyOff, 1);
    EXPECT_EQ(Ch(1).fadeout, 65536 - 2000);
    Ticks(3);
    EXPECT_EQ(Ch(1).volumeEnvelope.value, 32 - 3 * 8);
    EXPECT_EQ(Ch(1).fadeout, 65536 - 4 * 2000);
    Ticks(1);
    EXPECT_EQ(Ch(1).volumeEnvelope.value, 0);
    EXPECT_EQ(Ch(1).volumeEnvelope.finished, 1);
}

TEST_F(Player, EnvelopeLoopsBackToItsLoopStart)
{
    Envelope envelope{};
    envelope.count = 4;
    envelope.points[0] = {0, 0};
    envelope.points[1] = {2, 64};
    envelope.points[2] = {4, 32};
    envelope.points[3] = {6, 48};
    envelope.type = ENVELOPE_ON | ENVELOPE_LOOP;
    envelope.loopStart = 1;
    envelope.loopEnd = 3;
    Channel channel{};
    ResetChannel(&channel, &g_emptySample);
    std::vector<int> values;
    for (int i = 0; i < 12; i++) {
        StepEnvelope(&channel, &channel.volumeEnvelope, envelope, CHANNEL_VOLUME);
        values.push_back(channel.volumeEnvelope.value);
    }
    EXPECT_EQ(values, (std::vector<int>{0, 32, 64, 48, 32, 40, 64, 48, 32, 40, 64, 48}));
    EXPECT_EQ(channel.volumeEnvelope.finished, 0);
}

TEST_F(Player, EnvelopePositionEffect)
{
    XmInstrument enveloped = XmToneInstrument();
    enveloped.volume.points = {{0, 64}, {10, 0}, {20, 64}};
    enveloped.volume.type = ENVELOPE_ON;
    module.instruments = {enveloped};
    Cell(0, 0, 0) = XmCell{49, 1};
    Cell(0, 1, 0) = XmCell{0, 0, 0, 21, 15};
    Cell(0, 2, 0) = XmCell{0, 0, 0, 21, 40};
    Start();
    Ticks(7);
    EXPECT_EQ(Ch(0).volumeEnvelope.value, 31);  // 5 ticks into a rise of 64 over 10, truncated
    Ticks(6);
    EXPECT_EQ(Ch(0).volumeEnvelope.finished, 1);
    EXPECT_EQ(Ch(0).volumeEnvelope.value, 64);
}

TEST_F(Player, PanEnvelopeMovesThePan)
{
    Start();
    Channel channel{};
    channel.voice = &VoicePool()[3];
    channel.voice->volume = 127;
    channel.pan = 128;
    channel.panningEnvelope.value = 0;
    channel.updateFlags = CHANNEL_PAN;
    UpdateVoice(&channel, &g_emptySample, song.get());
    EXPECT_EQ(channel.voice->pan, 0);
    EXPECT_EQ(channel.voice->gainA, 127);
    EXPECT_EQ(channel.voice->gainB, 0);
}

TEST_F(Player, ModulatorWaveforms)
{
    Channel channel{};
    struct Case {
        int position, waveform, depth, delta;
    } vibrato[] = {{16, 0, 8, -64}, {-16, 0, 8, 64}, {0, 0, 15, 0}, {8, 1, 8, -16}, {-8, 1, 8, 12}, {5, 2, 4, -28}};
    for (const auto& c : vibrato) {
        channel.vibratoPosition = int8_t(c.position);
        channel.waveControl = uint8_t(c.waveform);
        channel.vibratoDepth = uint8_t(c.depth);
        Vibrato(&channel);
        EXPECT_EQ(channel.periodDelta, c.delta) << c.position << " " << c.waveform;
    }
    channel.volume = 60;
    channel.tremoloPosition = 16;
    channel.tremoloDepth = 15;
    channel.tremoloSpeed = 20;
    channel.waveControl = 0;
    Tremolo(&channel);
    EXPECT_EQ(channel.volumeDelta, 4);  // 60 plus 60 capped at 64
    EXPECT_EQ(channel.tremoloPosition, 36 - 64);
    channel.tremorOn = 2;
    channel.tremorOff = 1;
    channel.tremorCounter = 0;
    std::vector<int> tremor;
    for (int i = 0; i < 6; i++) {
        channel.volumeDelta = 0;
        Tremor(&channel);
        tremor.push_back(channel.volumeDelta);
    }
    EXPECT_EQ(tremor, (std::vector<int>{0, 0, -60, 0, 0, -60}));
}

TEST_F(Player, NoteDelayTriggersOnItsTick)
{
    module.tempo = 6;
    Cell(0, 0, 0) = XmCell{49, 1, 0, 14, 0xD3};
    Start();
    Ticks(1);
    EXPECT_EQ(Ch(0).voice->sample, nullptr);
    Ticks(2);
    EXPECT_EQ(Ch(0).voice->sample, nullptr);
    Ticks(1);
    EXPECT_NE(Ch(0).voice->sample, nullptr);
    EXPECT_EQ(Ch(0).period, 4608);
}

TEST_F(Player, NotesOutsideTheKeyboardAndMissingInstrumentsPlayNothing)
{
    module.tempo = 1;
    Cell(0, 0, 0) = XmCell{49, 9};  // no such instrument
    Cell(0, 1, 0) = XmCell{96, 1, 0, 0, 0};
    Start();
    Ticks(1);
    EXPECT_TRUE(Ch(0).voice->sample == nullptr || Ch(0).voice->sample == &g_emptySample);
    Ticks(1);
    EXPECT_EQ(Ch(0).voice->sample, song->instruments[0].samples[0]);
}

// Left and right energy (sum of squares) of a module rendered offline for the given blocks.
std::pair<double, double> RenderSides(const XmModule& module, int blocks)
{
    std::vector<uint8_t> bytes = XmBuild(module);
    EXPECT_EQ(MusicLoad(bytes.data(), int(bytes.size())), 0);
    EXPECT_TRUE(MusicRenderBegin());
    std::vector<int16_t> pcm(MUSIC_BLOCK_FRAMES * 2);
    double left = 0, right = 0;
    for (int b = 0; b < blocks; b++) {
        MusicRenderBlock(pcm.data());
        for (int i = 0; i < MUSIC_BLOCK_FRAMES; i++) {
            left += double(pcm[2 * i]) * pcm[2 * i];
            right += double(pcm[2 * i + 1]) * pcm[2 * i + 1];
        }
    }
    MusicRenderEnd();
    MusicFree();
    return {left, right};
}

TEST(Stereo, PanZeroIsLeftAndPan255IsRightFromEverySource)
{
    XmEnvelope hard0, hard64;  // the panning envelope at its ends, around a pan of 128
    hard0.points = {{0, 0}, {10, 0}};
    hard64.points = {{0, 64}, {10, 64}};
    hard0.type = hard64.type = ENVELOPE_ON;
    struct Case {
        const char* name;
        int samplePan;
        XmCell cell;
        XmEnvelope panning;
        double leftOverRight;  // amplitude ratio; 0: right only; -1: left only
    } cases[] = {
        {"sample pan 0", 0, {61, 1}, {}, -1},
        {"sample pan 255", 255, {61, 1}, {}, 0},
        {"sample pan 64", 64, {61, 1}, {}, 95.0 / 31.0},  // gains 127 x 191 / 255, 127 x 64 / 255
        {"8xx 00", 128, {61, 1, 0, 8, 0x00}, {}, -1},
        {"8xx FF", 128, {61, 1, 0, 8, 0xFF}, {}, 0},
        {"8xx 40", 128, {61, 1, 0, 8, 0x40}, {}, 95.0 / 31.0},
        {"volume column C0", 255, {61, 1, 0xC0}, {}, -1},
        {"volume column C4", 255, {61, 1, 0xC4}, {}, 95.0 / 31.0},
        {"panning envelope at 0", 128, {61, 1}, hard0, -1},
        {"panning envelope at 64", 128, {61, 1}, hard64, 0},
    };
    for (const Case& c : cases) {
        XmModule m;
        m.channels = 1;
        m.instruments = {XmToneInstrument()};
        m.instruments[0].samples[0].pan = uint8_t(c.samplePan);
        m.instruments[0].panning = c.panning;
        m.patterns[0].At(0, 0, 1) = c.cell;
        auto [left, right] = RenderSides(m, 20);
        if (c.leftOverRight < 0) {
            EXPECT_GT(left, 0) << c.name;
            EXPECT_EQ(right, 0) << c.name;
        } else if (c.leftOverRight == 0) {
            EXPECT_EQ(left, 0) << c.name;
            EXPECT_GT(right, 0) << c.name;
        } else {
            EXPECT_NEAR(std::sqrt(left / right), c.leftOverRight, 0.02 * c.leftOverRight) << c.name;
        }
    }
}

// E5x tunes the note on its own row and nothing else: the period of C-5 (note 61) with it,
// then of a plain C-5 on the next row. The sample's own finetune is +64 (half a semitone).
TEST_F(Player, FinetuneEffectTunesOnlyTheNoteOnItsRow)
{
    const int c5 = 7680 - 60 * 64, own = c5 - 32;
    struct Case {
        const char* name;
        XmCell row0;
        int period0;
    } cases[] = {
        {"E50: a semitone below finetune 0, B-4", {61, 1, 0, 14, 0x50}, c5 + 64},
        {"E58: finetune 0", {61, 1, 0, 14, 0x58}, c5},
        {"E5F: +112", {61, 1, 0, 14, 0x5F}, c5 - 56},
        {"no E5x: the sample's own", {61, 1}, own},
        {"E5F without a note", {0, 0, 0, 14, 0x5F}, 0},
    };
    for (const Case& c : cases) {
        module.tempo = 2;
        module.patterns.assign(1, XmPattern{});
        module.instruments[0].samples[0].finetune = 64;
        Cell(0, 0, 0) = c.row0;
        Cell(0, 1, 0) = XmCell{61, 1};
        Start();
        Ticks(1);
        EXPECT_EQ(Ch(0).period, c.period0) << c.name;
        Ticks(2);
        EXPECT_EQ(Ch(0).period, own) << c.name;
        EXPECT_EQ(song->instruments[0].samples[0]->finetune, 64) << c.name;
    }
}

TEST_F(Player, FinetuneEffectDetunesArpeggioStepsWithItsNote)
{
    module.linear = false;
    module.tempo = 3;
    Cell(0, 0, 0) = XmCell{61, 1, 0, 14, 0x50};
    Cell(0, 1, 0) = XmCell{0, 0, 0, 0, 0x0C};  // an octave up on tick 2
    Start();
    Ticks(1);
    EXPECT_EQ(Ch(0).period, AmigaPeriod(60, -128));
    Ticks(5);
    EXPECT_EQ(Ch(0).periodDelta, AmigaPeriod(72, -128) - AmigaPeriod(60, -128));
}

// The song loops: its second pass must sound exactly like the first.
TEST(Finetune, ASongPlaysTheSameEveryTimeAround)
{
    XmModule m;
    m.channels = 1;
    m.tempo = 2;
    m.instruments = {XmToneInstrument()};
    m.patterns[0].rows = 8;
    m.patterns[0].At(0, 0, 1) = XmCell{61, 1};
    m.patterns[0].At(2, 0, 1) = XmCell{61, 1, 0, 14, 0x5F};
    m.patterns[0].At(4, 0, 1) = XmCell{97};  // key off without envelope: silence before the loop
    std::vector<uint8_t> bytes = XmBuild(m);
    ASSERT_EQ(MusicLoad(bytes.data(), int(bytes.size())), 0);
    ASSERT_TRUE(MusicRenderBegin());
    const size_t pass = 8 * 2 * 882;  // frames: rows x speed x frames per tick at 125 BPM
    std::vector<int16_t> pcm;
    std::vector<int16_t> block(MUSIC_BLOCK_FRAMES * 2);
    while (pcm.size() < 4 * pass) {
        MusicRenderBlock(block.data());
        pcm.insert(pcm.end(), block.begin(), block.end());
    }
    MusicRenderEnd();
    MusicFree();
    std::vector<int16_t> first(pcm.begin(), pcm.begin() + 2 * pass);
    std::vector<int16_t> second(pcm.begin() + 2 * pass, pcm.begin() + 4 * pass);
    EXPECT_TRUE(first == second);
}

// One point is an envelope too: it holds its value from the first tick, wherever its x, and
// key off starts the fadeout instead of cutting the note.
TEST_F(Player, OnePointEnvelopesHoldTheirValueAndFadeAfterKeyOff)
{
    XmInstrument held = XmToneInstrument();
    held.volume.points = {{10, 32}};
    held.volume.type = ENVELOPE_ON;
    held.panning.points = {{5, 0}};
    held.panning.type = ENVELOPE_ON;
    held.fadeout = 4096;  // 8192 a tick: silent 8 ticks after key off
    module.instruments = {held};
    module.tempo = 4;
    Cell(0, 0, 0) = XmCell{61, 1};
    Cell(0, 1, 0) = XmCell{97};
    Start();
    Ticks(1);
    EXPECT_EQ(Ch(0).volumeEnvelope.value, 32);
    EXPECT_EQ(Ch(0).voice->volume, 63);
    EXPECT_EQ(Ch(0).voice->pan, 0);
    Ticks(3);
    EXPECT_EQ(Ch(0).voice->volume, 63);
    std::vector<int> released;
    for (int i = 0; i < 9; i++) {
        Ticks(1);
        released.push_back(Ch(0).voice->volume);
    }
    EXPECT_EQ(released, (std::vector<int>{55, 47, 39, 31, 23, 15, 7, 0, 0}));
    EXPECT_EQ(Ch(0).voice->pan, 0);
}

}  // namespace
