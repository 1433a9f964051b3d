// The XM loader: file layout, conversions, and modules the records cannot hold.
#include "sound/music.h"
#include "sound/song.h"
#include "tests/sound/xm_builder.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

struct SongDeleter {
    void operator()(Song* song) const { SongDestroy(song); }
};
using SongPtr = std::unique_ptr<Song, SongDeleter>;

SongPtr Load(const std::vector<uint8_t>& bytes)
{
    ModuleFileOpsUseMemory();
    MemoryFile file{int(bytes.size()), 0, bytes.data()};
    return SongPtr(SongCreate(&file));
}

SongPtr Load(const XmModule& m)
{
    return Load(XmBuild(m));
}

XmModule WithSample(XmSample sample)
{
    XmModule m;
    XmInstrument ins;
    ins.samples.push_back(sample);
    m.instruments.push_back(ins);
    return m;
}

TEST(Loader, ReadsHeaderOrdersAndPatterns)
{
    XmModule m;
    m.channels = 3;
    m.orders = {1, 0, 1};
    m.restart = 2;
    m.tempo = 5;
    m.bpm = 140;
    m.linear = false;
    m.patterns.assign(2, XmPattern{});
    m.patterns[1].rows = 10;
    m.patterns[1].At(9, 2, 3) = XmCell{49, 1, 0x40, 0x0F, 0x03};
    SongPtr song = Load(m);
    ASSERT_TRUE(song);
    EXPECT_EQ(song->songLength, 3);
    EXPECT_EQ(song->restartPosition, 2);
    EXPECT_EQ(song->channels, 3);
    EXPECT_EQ(song->defaultTempo, 5);
    EXPECT_EQ(song->defaultBpm, 140);
    EXPECT_EQ(song->flags & 1, 0);
    EXPECT_EQ(song->initialGlobalVolume, 64);
    EXPECT_EQ(song->patternCount, 2);
    EXPECT_EQ(song->patterns[1].rows, 10);
    const uint8_t* cell = song->patterns[1].cells + (9 * 3 + 2) * CELL_BYTES;
    EXPECT_EQ(std::vector<uint8_t>(cell, cell + 5), (std::vector<uint8_t>{49, 1, 0x40, 0x0F, 0x03}));
    EXPECT_EQ(song->row, 0);
    EXPECT_EQ(song->order, 0);
}

TEST(Loader, RejectsWrongSignatureAndEmptyInput)
{
    std::vector<uint8_t> bytes = XmBuild(XmModule{});
    bytes[5] = 'x';
    EXPECT_FALSE(Load(bytes));
    EXPECT_FALSE(Load(std::vector<uint8_t>{}));
    EXPECT_EQ(MusicLoad(nullptr, 100), MUSIC_LOAD_FAILED);
    EXPECT_EQ(MusicLoad(bytes.data(), 0), MUSIC_LOAD_FAILED);
    EXPECT_EQ(MusicLoad(bytes.data(), int(bytes.size())), MUSIC_LOAD_FAILED);
}

TEST(Loader, MissingPatternsBecomeEmptySixtyFourRowSlots)
{
    XmModule m;
    m.orders = {0, 5, 1};
    m.patterns.assign(3, XmPattern{});
    m.patterns[2].rows = 16;
    SongPtr song = Load(m);
    ASSERT_TRUE(song);
    EXPECT_EQ(song->patternsReferenced, 6);
    EXPECT_EQ(song->patternCount, 6);
    for (int p = 3; p < 6; p++) {
        EXPECT_EQ(song->patterns[p].rows, 64);
        for (int i = 0; i < 64 * m.channels * CELL_BYTES; i++)
            ASSERT_EQ(song->patterns[p].cells[i], 0);
    }
    EXPECT_EQ(song->patterns[2].rows, 16);  // packed size 0: declared rows, empty cells
}

// Appends a raw pattern with hand-packed data to a module without patterns.
std::vector<uint8_t> WithRawPattern(int channels, int rows, const std::vector<uint8_t>& packed)
{
    XmModule m;
    m.channels = channels;
    m.patterns.clear();
    m.patternCountOverride = 1;
    std::vector<uint8_t> bytes = XmBuild(m);
    std::vector<uint8_t> header = {9, 0, 0, 0, 0, uint8_t(rows), uint8_t(rows >> 8), uint8_t(packed.size()), uint8_t(packed.size() >> 8)};
    bytes.insert(bytes.end(), header.begin(), header.end());
    bytes.insert(bytes.end(), packed.begin(), packed.end());
    return bytes;
}

TEST(Loader, UnpacksCellForms)
{
    // 0x83: note and instrument only; 0x00: no note, four bytes follow; a plain note byte
    // with four bytes; note 97 is key off; instruments above 128 and notes past 97 drop.
    std::vector<uint8_t> packed = {0x83, 50, 2,  0x00, 3, 0x20, 1, 2,  60, 4, 0x30, 0x0C, 0x40,
                                   0x81, 97,  0x83, 98, 129,  0x9F, 1, 2, 3, 4, 5};
    SongPtr song = Load(WithRawPattern(6, 1, packed));
    ASSERT_TRUE(song);
    const uint8_t* c = song->patterns[0].cells;
    std::vector<std::vector<uint8_t>> expected = {
        {50, 2, 0, 0, 0}, {0, 3, 0x20, 1, 2}, {60, 4, 0x30, 0x0C, 0x40}, {255, 0, 0, 0, 0}, {0, 0, 0, 0, 0}, {1, 2, 3, 4, 5}};
    for (int i = 0; i < 6; i++)
        EXPECT_EQ(std::vector<uint8_t>(c + i * 5, c + i * 5 + 5), expected[i]) << "cell " << i;
}

TEST(Loader, SampleLengthsLoopsAndDeltaDecoding)
{
    XmSample s16;
    s16.values.assign(500, 7);
    XmSample s8;
    s8.sixteenBit = false;
    s8.values = {0x1000, 0x2000, 0x1000};
    s8.loopType = 1;
    s8.loopStart = 10;  // loop length 0: no loop
    XmModule m = WithSample(s16);
    m.instruments[0].samples.push_back(s8);
    SongPtr song = Load(m);
    ASSERT_TRUE(song);
    const Sample* a = song->instruments[0].samples[0];
    EXPECT_EQ(a->length, 500u);
    EXPECT_EQ(a->bits, 16);
    EXPECT_EQ(a->data[499], 7);
    EXPECT_EQ(a->data[500], 0);  // zeros behind the end
    const Sample* b = song->instruments[0].samples[1];
    EXPECT_EQ(b->length, 3u);
    EXPECT_EQ(b->loopMode, LOOP_NONE);
    EXPECT_EQ(b->loopStart, 0u);
    EXPECT_EQ(b->loopLength, 3u);
    EXPECT_EQ(b->fileBits, 8);
    EXPECT_EQ(b->data[0], 0x1000);
    EXPECT_EQ(b->data[1], 0x2000);
    EXPECT_EQ(b->data[2], 0x1000);
    EXPECT_EQ(song->instruments[0].sampleCount, 2);
    EXPECT_EQ(song->instruments[0].samples[2], &g_emptySample);
}

TEST(Loader, GuardValueBehindLoops)
{
    struct Case {
        uint8_t type;
        int16_t expected;  // value at loop end
    } cases[] = {{1, 100}, {2, 149}};
    for (const Case& c : cases) {
        XmSample s;
        for (int i = 0; i < 200; i++)
            s.values.push_back(int16_t(i));
        s.loopType = c.type;
        s.loopStart = 100;
        s.loopLength = 50;
        SongPtr song = Load(WithSample(s));
        ASSERT_TRUE(song);
        const Sample* sample = song->instruments[0].samples[0];
        EXPECT_EQ(sample->loopMode, c.type == 1 ? LOOP_FORWARD : LOOP_PINGPONG);
        EXPECT_EQ(sample->data[150], c.expected);
    }
}

TEST(Loader, LoopsAreClampedIntoTheSample)
{
    struct Case {
        uint32_t start, length;
        uint8_t mode;
        uint32_t wantStart, wantLength;
    } cases[] = {
        {40, 1000, LOOP_FORWARD, 40, 60},   // runs past the end: cut at the end
        {100, 10, LOOP_NONE, 0, 100},       // starts at the end: no loop
        {5000, 10, LOOP_NONE, 0, 100},      // starts far outside: no loop
        {0xFFFFFF00u, 0x200, LOOP_NONE, 0, 100},
    };
    for (const Case& c : cases) {
        XmSample s;
        s.values.assign(100, 3);
        s.loopType = 1;
        s.loopStart = c.start;
        s.loopLength = c.length;
        std::vector<uint8_t> bytes = XmBuild(WithSample(s));
        SongPtr song = Load(bytes);
        ASSERT_TRUE(song);
        const Sample* sample = song->instruments[0].samples[0];
        EXPECT_EQ(sample->loopMode, c.mode) << c.start;
        EXPECT_EQ(sample->loopStart, c.wantStart) << c.start;
        EXPECT_EQ(sample->loopLength, c.wantLength) << c.start;
    }
}

TEST(Loader, SampleDataCutShortByTheFileEndIsShortened)
{
    XmSample s;
    s.values.assign(300, 5);
    s.loopType = 1;
    s.loopStart = 250;
    s.loopLength = 50;
    std::vector<uint8_t> bytes = XmBuild(WithSample(s));
    bytes.resize(bytes.size() - 200);  // 100 values of data missing
    SongPtr song = Load(bytes);
    ASSERT_TRUE(song);
    const Sample* sample = song->instruments[0].samples[0];
    EXPECT_EQ(sample->length, 200u);
    EXPECT_EQ(sample->loopMode, LOOP_NONE);
    EXPECT_EQ(sample->data[199], 5);
}

TEST(Loader, InstrumentSettingsAndEnvelopes)
{
    XmInstrument ins = XmToneInstrument();
    ins.keymap[10] = 3;
    ins.volume.points = {{0, 64}, {10, 32}, {20, 0}};
    ins.volume.type = ENVELOPE_ON | ENVELOPE_SUSTAIN | ENVELOPE_LOOP;
    ins.volume.sustain = 1;
    ins.volume.loopStart = 0;
    ins.volume.loopEnd = 5;        // past the points: the loop is dropped
    ins.panning.points = {{0, 32}};  // one point: still an envelope
    ins.panning.type = ENVELOPE_ON;
    XmInstrument pointless = XmToneInstrument();
    pointless.volume.type = ENVELOPE_ON | ENVELOPE_SUSTAIN;  // no points: off
    ins.fadeout = 300;
    ins.vibratoType = 2;
    ins.vibratoSweep = 3;
    ins.vibratoDepth = 4;
    ins.vibratoRate = 5;
    XmModule m;
    m.instruments = {ins, XmInstrument{}, pointless};
    SongPtr song = Load(m);
    ASSERT_TRUE(song);
    const Instrument& a = song->instruments[0];
    EXPECT_EQ(a.keymap[10], 3);
    EXPECT_EQ(a.volume.count, 3);
    EXPECT_EQ(a.volume.points[1].x, 10);
    EXPECT_EQ(a.volume.points[1].y, 32);
    EXPECT_EQ(a.volume.type, ENVELOPE_ON | ENVELOPE_SUSTAIN);
    EXPECT_EQ(a.panning.count, 1);
    EXPECT_EQ(a.panning.type, ENVELOPE_ON);
    EXPECT_EQ(song->instruments[2].volume.type, 0);
    EXPECT_EQ(a.fadeout, 600);
    EXPECT_EQ(a.vibratoType, 2);
    EXPECT_EQ(a.vibratoRate, 5);
    const Instrument& empty = song->instruments[1];
    EXPECT_EQ(empty.sampleCount, 0);
    for (Sample* s : empty.samples)
        EXPECT_EQ(s, &g_emptySample);
}

TEST(Loader, RefusesOrClampsWhatTheRecordsCannotHold)
{
    XmModule tooManySamples;
    XmInstrument ins;
    ins.samples.assign(17, XmSample{});
    tooManySamples.instruments.push_back(ins);
    EXPECT_FALSE(Load(tooManySamples));

    XmModule wide;
    wide.channels = 33;
    EXPECT_FALSE(Load(wide));
    XmModule none;
    none.channels = 0;
    EXPECT_FALSE(Load(none));
    XmModule noOrders;
    noOrders.songLengthOverride = 0;
    EXPECT_FALSE(Load(noOrders));
    XmModule tallPattern;
    tallPattern.patterns[0].rows = 257;
    EXPECT_FALSE(Load(tallPattern));

    XmModule longSong;
    longSong.songLengthOverride = 300;
    longSong.restart = 280;
    SongPtr song = Load(longSong);
    ASSERT_TRUE(song);
    EXPECT_EQ(song->songLength, 256);
    EXPECT_EQ(song->restartPosition, 0);

    XmModule emptyPattern;
    emptyPattern.patterns[0].rows = 0;
    song = Load(emptyPattern);
    ASSERT_TRUE(song);
    EXPECT_EQ(song->patterns[0].rows, 64);
}

TEST(Loader, TruncatedPatternHeadersAreRefused)
{
    XmModule m;
    m.patterns.assign(3, XmPattern{});
    std::vector<uint8_t> bytes = XmBuild(m);
    bytes.resize(bytes.size() - 5);
    EXPECT_FALSE(Load(bytes));
}

TEST(Loader, MemoryFileReadsAndSeeksInsideItsBlock)
{
    const uint8_t data[10] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    MemoryFile memory{10, 7, data};
    const ModuleFileOps& ops = ModuleFileOpsMemory();
    void* file = ops.open(&memory);
    ASSERT_EQ(file, &memory);
    EXPECT_EQ(ops.tell(file), 0);
    uint8_t out[16] = {};
    ops.seek(file, 8, 0);
    EXPECT_EQ(ops.read(out, 5, file), 2);  // short at the end
    EXPECT_EQ(out[0], 8);
    EXPECT_EQ(out[1], 9);
    EXPECT_EQ(ops.read(out, 5, file), 0);
    struct Seek {
        int64_t offset;
        int mode;
        int64_t expected;
    } seeks[] = {{3, 0, 3}, {2, 1, 5}, {-4, 2, 6}, {100, 0, 10}, {-50, 1, 0}, {int64_t(1) << 40, 1, 10}};
    for (const Seek& s : seeks) {
        ops.seek(file, s.offset, s.mode);
        EXPECT_EQ(ops.tell(file), s.expected) << s.offset << " mode " << s.mode;
    }
    ops.close(file);

    ModuleFileOps incomplete = ops;
    incomplete.tell = nullptr;
    EXPECT_FALSE(ModuleFileOpsSet(incomplete));
    ModuleFileOpsUseMemory();
}

}  // namespace
