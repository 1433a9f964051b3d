// The timeline driven through the host's offline driver, with the real archive and song, at
// positions and times the tests choose (the frame thread's FrameAdvance underneath).
#include <gtest/gtest.h>

#include <cstring>
#include <iterator>
#include <vector>

#include "host/offline.h"
#include "host/random.h"
#include "production/murova.h"

namespace {

class Timeline : public testing::Test {
protected:
    void SetUp() override { OfflineStart(nullptr, nullptr); }
    void TearDown() override { OfflineStop(); }

    static bool Draw(uint16_t position, int32_t timeMs) { return OfflineFrameAt(position, timeMs); }
    static const FrameSurface& Frame() { return OfflineFrameSurface(); }
    static std::vector<uint32_t> Pixels()
    {
        const FrameSurface& f = Frame();
        return std::vector<uint32_t>(f.pixels, f.pixels + (size_t)f.width * f.height);
    }
    // How many pixels differ from colour (alpha ignored).
    static int PixelsOtherThan(uint32_t colour)
    {
        const FrameSurface& f = Frame();
        int count = 0;
        for (int i = 0; i < f.width * f.height; i++)
            count += (f.pixels[i] & 0xFFFFFF) != colour;
        return count;
    }
    static float Level(const Envelope& e, int32_t timeMs) { return EnvelopeValue(&e, (uint32_t)timeMs); }
};

// Pictures with an alpha file cut out their shape; the others are opaque; textures have masks.
TEST_F(Timeline, SetupLoadsEveryPictureAsItsKind)
{
    MurovaPictures& p = murova.pictures;
    const Bitmap* cutOut[] = {&p.refuse, &p.diurne3, &p.meid, &p.hebben, &p.heers, &p.keers, &p.bert};
    const Bitmap* opaque[] = {&p.start,   &p.logo,    &p.formule, &p.code,  &p.music, &p.zooi,
                              &p.scratch, &p.chago,   &p.tekst3,  &p.tekst4, &p.tekst5, &p.sat,
                              &p.diurne1, &p.tekst,   &p.tekst2,  &p.frut,  &p.einde};
    const Texture* textures[] = {&p.defaultTexture, &p.def2, &p.hohoho, &p.water, &p.envmap, &p.test,
                                 &p.lens,           &p.water2, &p.bot,  &p.bol,   &p.bol2};
    auto transparent = [](const Bitmap* b) {
        size_t count = 0;
        for (size_t i = 0; i < (size_t)b->width * b->height; i++)
            count += (b->pixels[i] >> 24) < 255;
        return count;
    };
    for (size_t i = 0; i < std::size(cutOut); i++)
        EXPECT_GT(transparent(cutOut[i]), (size_t)cutOut[i]->width * cutOut[i]->height / 10) << "cut-out " << i;
    for (size_t i = 0; i < std::size(opaque); i++)
        EXPECT_EQ(transparent(opaque[i]), 0u) << "opaque " << i;
    for (const Texture* t : textures) {
        EXPECT_EQ(transparent(t), 0u);
        EXPECT_EQ((uint32_t)t->widthMask + 1, t->width);
        EXPECT_EQ(1u << t->widthShift, t->width);
    }
}

TEST_F(Timeline, FirstFrameIsBlackAndFiresNothing)
{
    EXPECT_TRUE(Draw(0x0000, 1234));
    EXPECT_EQ(PixelsOtherThan(0), 0) << "the fade-in at row 0 darkens fully";
    EXPECT_EQ(timeline.sceneStart, 1234);
    EXPECT_EQ(timeline.layerEnvelope.startTime, 1234u);
    EXPECT_EQ(Level(timeline.layerEnvelope, 1234), 0.0f);
    EXPECT_EQ(Level(timeline.introEnvelope, 1234), 0.0f);
}

// The same scene 0 frame (same noise, same scene time) in order 1 and at row 64 of order 0.
TEST_F(Timeline, RowSixtyFourOfOrderZeroIsAtHalfBrightness)
{
    Draw(0x0000, 5000);
    RandomSeed(77);
    Draw(0x0140, 5000);
    std::vector<uint32_t> full = Pixels();
    RandomSeed(77);
    Draw(0x0040, 5000);
    std::vector<uint32_t> half = Pixels();
    int wrong = 0, lit = 0;
    for (size_t i = 0; i < full.size(); i++) {
        for (int shift = 0; shift < 24; shift += 8) {
            uint32_t f = full[i] >> shift & 0xFF, h = half[i] >> shift & 0xFF;
            wrong += h != (f * 128) >> 8;
            lit += f > 1;
        }
    }
    EXPECT_EQ(wrong, 0);
    EXPECT_GT(lit, 100000) << "the full frame is not dark itself";
}

TEST_F(Timeline, SceneClockRestartsAtItsBoundariesOnly)
{
    const uint16_t restarts[] = {0x0700, 0x0B00, 0x0F00, 0x1100, 0x1300, 0x1700, 0x1900, 0x2100, 0x2500, 0x2900};
    Draw(0x0000, 100);
    int32_t now = 1000;
    for (uint16_t p : {0x0300, 0x0400, 0x0500, 0x0600}) {
        Draw((uint16_t)(p - 1), now += 10);
        Draw(p, now += 10);
        EXPECT_EQ(timeline.sceneStart, 100) << std::hex << p << ": scenes 0 to 4 count from the first frame";
    }
    for (uint16_t p : restarts) {
        Draw((uint16_t)(p - 1), now += 10);
        Draw((uint16_t)(p + 1), now += 10); // crossed between two frames, not landed on
        EXPECT_EQ(timeline.sceneStart, now) << std::hex << p;
        Draw((uint16_t)(p + 2), now += 10);
        EXPECT_EQ(timeline.sceneStart, now - 10) << std::hex << p << " fires once";
    }
    Draw(0x2977, now += 10);
    Draw(0x2978, now += 10);
    EXPECT_EQ(timeline.sceneStart, now - 30) << "the last scene keeps the clock of scene 14";
}

// Scenes 4 to 15 open with a flash from full white, gone after 1,275 ms; scenes 5 to 14 show it
// over everything, scene 15 darkens by it (so nothing at first).
TEST_F(Timeline, EveryLaterSceneOpensWithAFlashThatLasts1275Ms)
{
    const uint16_t starts[] = {0x0600, 0x0700, 0x0B00, 0x0F00, 0x1100, 0x1300,
                               0x1700, 0x1900, 0x2100, 0x2500, 0x2900, 0x2978};
    Draw(0x0000, 0);
    int32_t now = 2000;
    for (uint16_t start : starts) {
        Draw((uint16_t)(start - 1), now += 3000);
        Draw(start, now += 16);
        EXPECT_EQ(timeline.layerEnvelope.startTime, (uint32_t)now) << std::hex << start;
        EXPECT_EQ(Level(timeline.layerEnvelope, now), 255.0f);
        EXPECT_GT(Level(timeline.layerEnvelope, now + 1274), 0.0f);
        EXPECT_EQ(Level(timeline.layerEnvelope, now + 1275), 0.0f);
        if (start >= 0x0700 && start < 0x2978)
            EXPECT_EQ(PixelsOtherThan(0xFFFFFF), 0) << std::hex << start;
        else
            EXPECT_GT(PixelsOtherThan(0xFFFFFF), 1000) << std::hex << start;
    }
}

TEST_F(Timeline, SceneOnePulsesLast650And867Ms)
{
    Draw(0x0360, 10000);
    Draw(0x0368, 10020);
    EXPECT_EQ(Level(timeline.layerEnvelope, 10020), 0.26f);
    EXPECT_GT(Level(timeline.layerEnvelope, 10020 + 649), 0.0f);
    EXPECT_EQ(Level(timeline.layerEnvelope, 10020 + 650), 0.0f);
    Draw(0x0376, 11000);
    EXPECT_GT(Level(timeline.layerEnvelope, 11000 + 866), 0.0f);
    EXPECT_EQ(Level(timeline.layerEnvelope, 11000 + 867), 0.0f);
}

TEST_F(Timeline, TheEndMarkIsDrawnButEndsTheRun)
{
    Draw(0x2A00, 290000);
    EXPECT_TRUE(Draw(0x2A1F, 290020));
    std::memset(Frame().pixels, 0x5A, (size_t)Frame().width * Frame().height * 4);
    EXPECT_FALSE(Draw(0x2A20, 290040));
    EXPECT_EQ(PixelsOtherThan(0x5A5A5A), Frame().width * Frame().height) << "the last frame was drawn";
    EXPECT_FALSE(Draw(0x2B00, 290060));
}

// Crossing three hit rows at once fires them all, in ascending order: the first (threshold
// -90,000) restarts the idle animation, which the others (threshold 5) then restart again.
TEST_F(Timeline, HitsCrossedTogetherAllFire)
{
    Draw(0x1C00, 200000);
    Draw(0x1C57, 201000);
    EXPECT_EQ(Level(murova.frameEnvelope, 201000), 0.0f) << "no animation before the first hit";
    Draw(0x1C60, 201040);
    EXPECT_EQ(murova.frameEnvelope.startTime, 201040u);
    EXPECT_EQ(murova.frameEnvelope.startValue, 57.0f);
    EXPECT_EQ(murova.flashEnvelope.startTime, 201040u);
    EXPECT_EQ(murova.flashEnvelope.startValue, 255.0f);
    // Seven seconds on, the animation has run out: a threshold-5 hit alone leaves it be.
    Draw(0x1C67, 208000);
    Draw(0x1C68, 208020);
    EXPECT_EQ(murova.frameEnvelope.startTime, 201040u);
    EXPECT_EQ(murova.flashEnvelope.startTime, 208020u);
}

TEST_F(Timeline, WithoutMusicItStaysInSceneZero)
{
    for (int32_t now = 0; now <= 600000; now += 25000) {
        EXPECT_TRUE(Draw(0, now)) << now;
        EXPECT_EQ(PixelsOtherThan(0), 0) << now;
    }
    EXPECT_EQ(timeline.sceneStart, 0);
}

// What a frame depends on besides the moment: the timeline's state, the film-scratch
// envelopes, the motion trail and the random numbers.
struct Snapshot {
    TimelineState timeline;
    Envelope frameEnvelope, flashEnvelope;
    std::vector<uint32_t> trail;
    unsigned seed;
};

Snapshot Take(unsigned seed)
{
    const Surface& t = murova.trailSurface;
    return Snapshot{timeline, murova.frameEnvelope, murova.flashEnvelope,
                    std::vector<uint32_t>(t.pixels, t.pixels + (size_t)t.width * t.height), seed};
}

void Restore(const Snapshot& s)
{
    timeline = s.timeline;
    murova.frameEnvelope = s.frameEnvelope;
    murova.flashEnvelope = s.flashEnvelope;
    std::memcpy(murova.trailSurface.pixels, s.trail.data(), s.trail.size() * 4);
    RandomSeed(s.seed);
}

// Every scene at moments inside it writes every pixel of the frame: drawn twice from the same
// state over two different frames, it gives the same picture. Under the sanitizers this also
// proves no scene reads or writes outside a buffer.
TEST_F(Timeline, EverySceneWritesEveryPixel)
{
    const uint16_t starts[] = {0x0000, 0x0300, 0x0400, 0x0500, 0x0600, 0x0700, 0x0B00, 0x0F00,
                               0x1100, 0x1300, 0x1700, 0x1900, 0x2100, 0x2500, 0x2900, 0x2978};
    const uint16_t offsets[] = {0x0001, 0x0024, 0x0067, 0x0177, 0x0322};
    Draw(0x0000, 0);
    int32_t now = 0;
    uint16_t previous = 0;
    for (int scene = 0; scene < 16; scene++) {
        uint16_t end = scene < 15 ? starts[scene + 1] : 0x2A20;
        for (uint16_t offset : offsets) {
            uint16_t v = (uint16_t)(starts[scene] + offset);
            if (v >= end || v <= previous)
                continue;
            now += 1777;
            Snapshot before = Take((unsigned)now);
            std::vector<uint32_t> pictures[2];
            for (uint32_t fill : {0x00000000u, 0xFFFFFFFFu}) {
                Restore(before);
                std::memset(Frame().pixels, (int)(fill & 0xFF), (size_t)Frame().width * Frame().height * 4);
                Draw(v, now);
                pictures[fill & 1] = Pixels();
                if (!fill)
                    Draw(previous, now); // back to the previous position for the second draw
            }
            int differ = 0;
            for (size_t i = 0; i < pictures[0].size(); i++)
                differ += ((pictures[0][i] ^ pictures[1][i]) & 0xFFFFFF) != 0;
            EXPECT_EQ(differ, 0) << "scene " << scene << " at " << std::hex << v;
            previous = v;
        }
    }
}

// From the first frame to the end mark at 60 frames a second with the music mixed alongside,
// then the teardown: under the sanitizers, no error and no leak.
TEST(WholeDemo, RunsOfflineToTheEndMark)
{
    uint64_t heard = 0;
    OfflineStart([](const int16_t*, int frames, void* user) { *(uint64_t*)user += (uint64_t)frames; }, &heard);
    uint64_t n = 0;
    while (OfflineFrame(n, 60))
        n++;
    uint64_t lastSample = n * 44100 / 60;
    EXPECT_NEAR((double)n / 60.0, 300.2, 0.5) << "the song's end mark comes after about 300 s";
    EXPECT_GT(heard, lastSample);
    EXPECT_LE(heard, lastSample + 884);
    OfflineStop();
}

} // namespace
