// The voice mixer's numerics: stretch ends, loops, gain ramps and PCM conversion.
#include "sound/mixer.h"
#include "sound/song.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

namespace {

struct TestSample {
    std::vector<int16_t> data;
    Sample sample{};
    TestSample(int length, int16_t value, uint8_t loopMode = LOOP_NONE, uint32_t loopStart = 0, uint32_t loopLength = 0)
    {
        data.assign(size_t(length) + 8, 0);
        for (int i = 0; i < length; i++)
            data[size_t(i)] = value;
        sample.data = data.data();
        sample.length = uint32_t(length);
        sample.loopMode = loopMode;
        sample.loopStart = loopMode == LOOP_NONE ? 0 : loopStart;
        sample.loopLength = loopMode == LOOP_NONE ? uint32_t(length) : loopLength;
        sample.bits = 16;
    }
};

void SetFrequency(Voice* voice, uint64_t hz)
{
    voice->stepInteger = uint32_t(hz / 44100);
    voice->stepFraction = uint32_t((((hz % 44100) << 32) + hz / 44100) / 44100);
}

Voice* StartVoice(Sample* sample, int gain)
{
    VoicePoolReset();
    Voice* voice = &VoicePool()[0];
    voice->sample = sample;
    voice->direction = VOICE_FORWARD;
    voice->gainA = voice->gainB = voice->lastGainA = voice->lastGainB = gain;
    voice->levelA = voice->levelB = gain * 256;
    return voice;
}

TEST(Mixer, VoiceWithoutLoopStopsAtItsEndAndFallsSilent)
{
    TestSample s(1000, 1000);
    Voice* voice = StartVoice(&s.sample, 127);
    SetFrequency(voice, 8363);
    uint64_t step = uint64_t(voice->stepInteger) << 32 | voice->stepFraction;
    uint64_t frames = ((uint64_t(1000) << 32) + step - 1) / step;
    EXPECT_EQ(frames, 5274u);
    std::vector<float> out(2 * 6000, 0.0f);
    MixVoices(out.data(), int(frames) - 1);
    EXPECT_EQ(voice->sample, &s.sample);
    MixVoices(out.data() + 2 * (frames - 1), 1);
    EXPECT_EQ(voice->sample, nullptr);
    EXPECT_EQ(voice->position, 0u);
    float expected = 1000.0f * (127.0f * (1.0f / 255.0f));
    EXPECT_FLOAT_EQ(out[0], expected);
    // The last frame interpolates towards the silence behind the end.
    EXPECT_GT(out[2 * (frames - 1) + 1], 0.0f);
    EXPECT_LT(out[2 * (frames - 1) + 1], expected);
    MixVoices(out.data() + 2 * frames, 100);
    for (size_t i = 2 * frames; i < out.size(); i++)
        ASSERT_EQ(out[i], 0.0f);
}

TEST(Mixer, ForwardLoopContinuesAtLoopStartPlusOvershoot)
{
    TestSample s(200, 100, LOOP_FORWARD, 50, 100);
    Voice* voice = StartVoice(&s.sample, 64);
    voice->position = 140;
    voice->stepInteger = 3;
    voice->stepFraction = 0x80000000u;  // 3.5 values per frame
    std::vector<float> out(8, 0.0f);
    MixVoices(out.data(), 3);  // 140, 143.5, 147: then 150.5 passes the end
    EXPECT_EQ(voice->position, 50u);
    EXPECT_EQ(voice->fraction, 0x80000000u);
    MixVoices(out.data(), 1);
    EXPECT_EQ(voice->position, 54u);
    EXPECT_EQ(voice->sample, &s.sample);
}

TEST(Mixer, PingPongLoopTurnsAtBothEnds)
{
    TestSample s(200, 100, LOOP_PINGPONG, 50, 100);
    Voice* voice = StartVoice(&s.sample, 64);
    voice->position = 140;
    voice->stepInteger = 3;
    voice->stepFraction = 0x80000000u;
    std::vector<float> out(2 * 64, 0.0f);
    MixVoices(out.data(), 3);  // reaches 150.5: back to 150 - 0.5 - 2^-32
    EXPECT_EQ(voice->direction, VOICE_BACKWARD);
    EXPECT_EQ(voice->position, 149u);
    EXPECT_EQ(voice->fraction, 0x7FFFFFFFu);
    MixVoices(out.data(), 1);
    EXPECT_EQ(voice->position, 145u);
    EXPECT_EQ(voice->fraction, 0xFFFFFFFFu);
    // 146 - 2^-32 down to below 50 takes 28 more frames, then forward again.
    MixVoices(out.data(), 28);
    EXPECT_EQ(voice->direction, VOICE_FORWARD);
    EXPECT_GE(voice->position, 50u);
    EXPECT_LT(voice->position, 150u);
}

TEST(Mixer, StepsLongerThanTheLoopStayInsideTheSample)
{
    // Loops of one value starting at 0, played at the highest step: every read must stay in
    // the data (the sanitizer build checks), the position inside the loop.
    for (uint8_t mode : {LOOP_FORWARD, LOOP_PINGPONG}) {
        TestSample s(4, 500, mode, 0, 1);
        Voice* voice = StartVoice(&s.sample, 100);
        voice->stepInteger = 255;
        voice->stepFraction = 0xFFFFFFFFu;
        std::vector<float> out(2 * 1000, 0.0f);
        MixVoices(out.data(), 1000);
        EXPECT_EQ(voice->position, 0u) << int(mode);
        EXPECT_EQ(voice->sample, &s.sample);
    }
}

TEST(Mixer, GainChangeRampsOverTheRampLength)
{
    TestSample s(100000, 1000);
    Voice* voice = StartVoice(&s.sample, 0);
    SetFrequency(voice, 44100);
    voice->gainA = 127;
    voice->gainB = 0;
    std::vector<float> out(2 * 300, 0.0f);
    MixVoices(out.data(), 300);
    float step = 127.0f * (1.0f / 255.0f) * (1.0f / MIX_RAMP_FRAMES);
    EXPECT_EQ(out[0], 0.0f);
    EXPECT_NEAR(out[2 * 64], 1000.0f * step * 64, 0.01f);
    EXPECT_NEAR(out[2 * 127], 1000.0f * step * 127, 0.01f);
    EXPECT_FLOAT_EQ(out[2 * 128], 1000.0f * (127.0f * (1.0f / 255.0f)));
    for (int i = 0; i < 300; i++)
        ASSERT_EQ(out[2 * i + 1], 0.0f);
    EXPECT_EQ(voice->levelA, 127 * 256);
    EXPECT_EQ(voice->rampFramesLeft, 0);
}

TEST(Mixer, RampSurvivesCallBoundariesAndRestartsOnNewTargets)
{
    TestSample s(100000, 1000);
    Voice* voice = StartVoice(&s.sample, 0);
    SetFrequency(voice, 44100);
    voice->gainA = voice->gainB = 127;
    std::vector<float> split(2 * 200, 0.0f), whole(2 * 200, 0.0f);
    MixVoices(split.data(), 50);
    EXPECT_EQ(voice->rampFramesLeft, MIX_RAMP_FRAMES - 50);
    MixVoices(split.data() + 100, 150);
    StartVoice(&s.sample, 0);
    SetFrequency(voice, 44100);
    voice->gainA = voice->gainB = 127;
    MixVoices(whole.data(), 200);
    EXPECT_EQ(split, whole);

    voice->gainA = voice->gainB = 0;  // new targets: ramps back down from the level
    std::vector<float> down(2 * 200, 0.0f);
    MixVoices(down.data(), 200);
    EXPECT_GT(down[0], 0.0f);
    EXPECT_EQ(down[2 * 128], 0.0f);
    EXPECT_EQ(voice->levelA, 0);
}

TEST(Mixer, WholeStretchesAndSingleFramesMixTheSameBits)
{
    // Long calls take the four-frames-at-once path, single frames the plain one.
    std::vector<int16_t> values(5000);
    std::mt19937 random(7);
    for (int16_t& v : values)
        v = int16_t(random());
    TestSample s(5000, 0, LOOP_PINGPONG, 1000, 3000);
    std::copy(values.begin(), values.end(), s.data.begin());
    std::vector<float> whole(2 * 4000, 0.25f), single(2 * 4000, 0.25f);
    for (int pass = 0; pass < 2; pass++) {
        Voice* voice = StartVoice(&s.sample, 90);
        voice->gainB = voice->lastGainB = 31;
        voice->levelB = 31 * 256;
        SetFrequency(voice, 37123);
        if (pass == 0) {
            MixVoices(whole.data(), 4000);
        } else {
            for (int i = 0; i < 4000; i++)
                MixVoices(single.data() + 2 * i, 1);
        }
    }
    EXPECT_EQ(0, memcmp(whole.data(), single.data(), whole.size() * sizeof(float)));
}

TEST(Mixer, EmptyAndZeroLengthCallsDoNothing)
{
    Voice* voice = StartVoice(&g_emptySample, 127);
    std::vector<float> out(16, 0.0f);
    MixVoices(out.data(), 0);
    MixVoices(out.data(), -5);
    EXPECT_EQ(voice->sample, &g_emptySample);
    MixVoices(out.data(), 8);  // no data: the voice falls silent
    EXPECT_EQ(voice->sample, nullptr);
    for (float f : out)
        EXPECT_EQ(f, 0.0f);
}

TEST(Mixer, ConvertBlockRoundsToEvenAndClips)
{
    struct Case {
        float in;
        int16_t out;
    } cases[] = {{0.5f, 0},          {1.5f, 2},          {2.5f, 2},       {-0.5f, 0},      {-1.5f, -2},
                 {-2.5f, -2},        {0.49f, 0},         {100.7f, 101},   {32767.4f, 32767}, {32767.6f, 32767},
                 {40000.0f, 32767},  {-40000.0f, -32768}, {3e9f, 32767},  {-3e9f, -32768}, {-32768.4f, -32768}};
    std::vector<float> in;
    std::vector<int16_t> expected;
    for (const Case& c : cases) {
        in.push_back(c.in);
        expected.push_back(c.out);
    }
    in.push_back(7.0f);  // even count of floats: whole frames
    expected.push_back(7);
    std::vector<int16_t> simd(in.size()), scalar(in.size());
    ConvertBlock(simd.data(), in.data(), int(in.size() / 2));
    ConvertBlockScalar(scalar.data(), in.data(), int(in.size() / 2));
    EXPECT_EQ(simd, expected);
    EXPECT_EQ(scalar, expected);

    std::mt19937 random(3);
    std::uniform_real_distribution<float> any(-50000.0f, 50000.0f);
    for (int n = 1; n < 40; n++) {
        std::vector<float> floats(2 * size_t(n));
        for (float& f : floats)
            f = any(random);
        std::vector<int16_t> a(floats.size()), b(floats.size());
        ConvertBlock(a.data(), floats.data(), n);
        ConvertBlockScalar(b.data(), floats.data(), n);
        ASSERT_EQ(a, b) << n;
    }
    int16_t untouched = 123;
    ConvertBlock(&untouched, in.data(), 0);
    ConvertBlock(nullptr, in.data(), 4);
    EXPECT_EQ(untouched, 123);
}

}  // namespace
