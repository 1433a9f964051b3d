// Voice mixer. State: the voice pool, owned by the thread that runs the block filler (the
// mixing thread, or the caller of the offline driver).
#include "sound/mixer.h"

#include "sound/song.h"

#include <cmath>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

static Voice g_voices[VOICE_COUNT];

static const float kInverse255 = 1.0f / 255.0f;
static const float kInverse256 = 1.0f / 256.0f;
static const float kInverseRamp = 1.0f / float(MIX_RAMP_FRAMES);
static const float kFractionScale = 1.0f / 2147483648.0f;  // 2^-31

Voice* VoicePool()
{
    return g_voices;
}

void VoicePoolReset()
{
    memset(g_voices, 0, sizeof g_voices);
    for (int i = 0; i < VOICE_COUNT; i++)
        g_voices[i].index = i;
}

// The interpolated value at a 32.32 position; the caller keeps position + 1 inside the data.
static inline float SampleAt(const int16_t* data, uint64_t position)
{
    uint32_t index = uint32_t(position >> 32);
    float s0 = data[index];
    float s1 = data[index + 1];
    float t = float(uint32_t(position) >> 1) * kFractionScale;
    return s0 + t * (s1 - s0);
}

// Frames until the voice passes its loop end (or sample end) going forward, or its loop start
// going backward; 0 when it already has. Exact 64-bit division, so every frame mixed before
// the end reads inside the sample and every end moves the voice. A step of 0 never ends.
static uint64_t FramesToEnd(const Voice* voice, const Sample* sample, int64_t position, uint64_t step)
{
    if (voice->direction == VOICE_BACKWARD) {
        // Going backward the end is passed below the loop start, so the frame at the start
        // itself still plays.
        int64_t distance = position - (int64_t(sample->loopStart) << 32);
        if (distance < 0)
            return 0;
        return step == 0 ? UINT64_MAX : uint64_t(distance) / step + 1;
    }
    int64_t end = int64_t(sample->loopStart) + sample->loopLength;
    if ((position >> 32) > end)
        end = sample->length;
    int64_t distance = (end << 32) - position;
    if (distance <= 0)
        return 0;
    return step == 0 ? UINT64_MAX : (uint64_t(distance) + step - 1) / step;
}

// Starts a new ramp when the targets changed; returns its frames (0: no ramp) and the steps.
static int PrepareRamp(Voice* voice, float* stepA, float* stepB)
{
    if (voice->rampFramesLeft != 0 && voice->gainA == voice->lastGainA && voice->gainB == voice->lastGainB) {
        *stepA = voice->rampStepA;
        *stepB = voice->rampStepB;
        return voice->rampFramesLeft;
    }
    int count = 0;
    *stepA = 0.0f;
    *stepB = 0.0f;
    voice->lastGainA = voice->gainA;
    voice->lastGainB = voice->gainB;
    if (voice->gainA != voice->levelA >> 8) {
        *stepA = float(voice->gainA - (voice->levelA >> 8)) * kInverse255 * kInverseRamp;
        count = MIX_RAMP_FRAMES;
    }
    if (voice->gainB != voice->levelB >> 8) {
        *stepB = float(voice->gainB - (voice->levelB >> 8)) * kInverse255 * kInverseRamp;
        count = MIX_RAMP_FRAMES;
    }
    voice->rampStepA = *stepA;
    voice->rampStepB = *stepB;
    voice->rampFramesLeft = count;
    return count;
}

static uint64_t MixRamped(Voice* voice, const int16_t* data, uint64_t position, int64_t step,
                          float* out, int frames, float stepA, float stepB)
{
    float a = float(voice->levelA) * kInverse256 * kInverse255;
    float b = float(voice->levelB) * kInverse256 * kInverse255;
    for (int i = 0; i < frames; i++) {
        float v = SampleAt(data, position);
        out[0] += v * a;
        out[1] += v * b;
        a += stepA;
        b += stepB;
        position += uint64_t(step);
        out += 2;
    }
    voice->levelA = int(lrintf(a * 255.0f * 256.0f));
    voice->levelB = int(lrintf(b * 255.0f * 256.0f));
    return position;
}

// One frame of the steady path, as the SIMD loop computes it.
static inline void MixSteadyFrame(const int16_t* data, uint64_t position, float a, float b, float* out)
{
    float v = SampleAt(data, position);
    out[0] += v * a;
    out[1] += v * b;
}

#if defined(__SSE2__)
// Four frames at once with the same operations in the same order as the scalar frame, so the
// floats come out bit for bit the same.
static uint64_t MixSteadyQuads(const int16_t* data, uint64_t position, int64_t step, float* out, int quads,
                               float a, float b)
{
    const __m128 scale = _mm_set1_ps(kFractionScale);
    const __m128 ga = _mm_set1_ps(a);
    const __m128 gb = _mm_set1_ps(b);
    for (int q = 0; q < quads; q++) {
        uint64_t p0 = position, p1 = p0 + uint64_t(step), p2 = p1 + uint64_t(step), p3 = p2 + uint64_t(step);
        position = p3 + uint64_t(step);
        int32_t w0, w1, w2, w3;  // the value at the position and the one after it
        memcpy(&w0, data + (p0 >> 32), 4);
        memcpy(&w1, data + (p1 >> 32), 4);
        memcpy(&w2, data + (p2 >> 32), 4);
        memcpy(&w3, data + (p3 >> 32), 4);
        __m128i pairs = _mm_set_epi32(w3, w2, w1, w0);
        __m128 s0 = _mm_cvtepi32_ps(_mm_srai_epi32(_mm_slli_epi32(pairs, 16), 16));
        __m128 s1 = _mm_cvtepi32_ps(_mm_srai_epi32(pairs, 16));
        __m128i fractions = _mm_srli_epi32(_mm_set_epi32(int(uint32_t(p3)), int(uint32_t(p2)), int(uint32_t(p1)), int(uint32_t(p0))), 1);
        __m128 t = _mm_mul_ps(_mm_cvtepi32_ps(fractions), scale);
        __m128 v = _mm_add_ps(s0, _mm_mul_ps(t, _mm_sub_ps(s1, s0)));
        __m128 va = _mm_mul_ps(v, ga);
        __m128 vb = _mm_mul_ps(v, gb);
        _mm_storeu_ps(out, _mm_add_ps(_mm_loadu_ps(out), _mm_unpacklo_ps(va, vb)));
        _mm_storeu_ps(out + 4, _mm_add_ps(_mm_loadu_ps(out + 4), _mm_unpackhi_ps(va, vb)));
        out += 8;
    }
    return position;
}
#endif

static uint64_t MixSteady(const Voice* voice, const int16_t* data, uint64_t position, int64_t step,
                          float* out, int frames)
{
    float a = float(voice->gainA) * kInverse255;
    float b = float(voice->gainB) * kInverse255;
    int pairs = frames >> 1;
#if defined(__SSE2__)
    int quads = pairs >> 1;
    position = MixSteadyQuads(data, position, step, out, quads, a, b);
    out += 8 * quads;
    pairs -= 2 * quads;
#endif
    for (int i = 0; i < pairs; i++) {
        MixSteadyFrame(data, position, a, b, out);
        MixSteadyFrame(data, position + uint64_t(step), a, b, out + 2);
        position += uint64_t(step) * 2;
        out += 4;
    }
    if (frames & 1) {
        // The odd frame goes the ramp way, from the levels with no steps.
        float la = float(voice->levelA) * kInverse256 * kInverse255;
        float lb = float(voice->levelB) * kInverse256 * kInverse255;
        MixSteadyFrame(data, position, la, lb, out);
        position += uint64_t(step);
    }
    return position;
}

// Moves a voice that reached its end back into its loop, or silences it for good.
static void PassEnd(Voice* voice, const Sample* sample, int64_t* position)
{
    int64_t start = int64_t(sample->loopStart) << 32;
    int64_t end = (int64_t(sample->loopStart) + sample->loopLength) << 32;
    if (sample->loopMode == LOOP_FORWARD) {
        if (*position >= end)
            *position = start + (*position - start) % (int64_t(sample->loopLength) << 32);
        return;
    }
    if (sample->loopMode == LOOP_PINGPONG) {
        // Reflect until inside: a step longer than the loop bounces more than once.
        for (;;) {
            if (voice->direction == VOICE_BACKWARD) {
                if (*position >= start)
                    return;
                *position = 2 * start - *position - 1;
                voice->direction = VOICE_FORWARD;
            } else {
                if (*position < end)
                    return;
                *position = 2 * end - *position - 1;
                voice->direction = VOICE_BACKWARD;
            }
        }
    }
    *position = 0;
    voice->sample = nullptr;
}

static void MixVoice(Voice* voice, float* out, int frames)
{
    while (frames > 0 && voice->sample) {
        const Sample* sample = voice->sample;
        if (!sample->data || sample->length == 0) {
            voice->position = voice->fraction = 0;
            voice->sample = nullptr;
            return;
        }
        if (sample->loopMode != LOOP_PINGPONG)
            voice->direction = VOICE_FORWARD;
        int64_t position = int64_t(uint64_t(voice->position) << 32 | voice->fraction);
        uint64_t stepMagnitude = uint64_t(voice->stepInteger) << 32 | voice->stepFraction;
        int64_t step = voice->direction == VOICE_BACKWARD ? -int64_t(stepMagnitude) : int64_t(stepMagnitude);

        uint64_t toEnd = FramesToEnd(voice, sample, position, stepMagnitude);
        int span = frames;
        bool endReached = false;
        if (toEnd <= uint64_t(frames)) {
            span = int(toEnd);
            endReached = true;
        }
        float stepA, stepB;
        int ramp = PrepareRamp(voice, &stepA, &stepB);
        bool shortened = ramp > 0 && ramp < span;
        if (shortened)
            span = ramp;

        uint64_t p = uint64_t(position);
        if (ramp > 0) {
            p = MixRamped(voice, sample->data, p, step, out, span, stepA, stepB);
            voice->rampFramesLeft -= span;
            if (voice->rampFramesLeft == 0) {
                voice->rampStepA = voice->rampStepB = 0.0f;
                voice->levelA = voice->gainA * 256;
                voice->levelB = voice->gainB * 256;
            }
        } else if (voice->gainA == 0 && voice->gainB == 0 && voice->levelA == 0 && voice->levelB == 0) {
            // A silent voice only moves on: adding its zero products would change no output bit.
            p += uint64_t(step) * uint64_t(span);
        } else {
            p = MixSteady(voice, sample->data, p, step, out, span);
        }
        position = int64_t(p);
        out += 2 * span;
        frames -= span;
        if (!shortened) {
            if (!endReached) {
                voice->position = uint32_t(uint64_t(position) >> 32);
                voice->fraction = uint32_t(position);
                return;
            }
            PassEnd(voice, sample, &position);
        }
        voice->position = uint32_t(uint64_t(position) >> 32);
        voice->fraction = uint32_t(position);
    }
}

void MixVoices(float* dst, int n)
{
    if (n <= 0 || !dst)
        return;
    for (int i = 0; i < VOICE_COUNT; i++)
        if (g_voices[i].sample)
            MixVoice(&g_voices[i], dst, n);
}

void ConvertBlockScalar(int16_t* dst, const float* src, int n)
{
    if (n <= 0 || !dst || !src)
        return;
    for (int i = 0; i < 2 * n; i++) {
        float x = src[i];
        if (!(x <= 32767.0f))
            x = 32767.0f;  // NaN too, as the SSE2 path does
        if (x < -32768.0f)
            x = -32768.0f;
        dst[i] = int16_t(lrintf(x));
    }
}

void ConvertBlock(int16_t* dst, const float* src, int n)
{
    if (n <= 0 || !dst || !src)
        return;
#if defined(__SSE2__)
    // Clip in float first: the integer conversion of a value out of int32 range is INT_MIN.
    const __m128 high = _mm_set1_ps(32767.0f);
    const __m128 low = _mm_set1_ps(-32768.0f);
    int count = 2 * n;
    int i = 0;
    for (; i + 8 <= count; i += 8) {
        __m128 x0 = _mm_max_ps(_mm_min_ps(_mm_loadu_ps(src + i), high), low);
        __m128 x1 = _mm_max_ps(_mm_min_ps(_mm_loadu_ps(src + i + 4), high), low);
        __m128i packed = _mm_packs_epi32(_mm_cvtps_epi32(x0), _mm_cvtps_epi32(x1));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), packed);
    }
    if (i < count)
        ConvertBlockScalar(dst + i, src + i, (count - i) / 2);
#else
    ConvertBlockScalar(dst, src, n);
#endif
}
