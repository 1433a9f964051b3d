#include "effects/filters.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "effects/local.h"
#include "host/random.h"
#include "host/scratch.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// The film-scratch flash's bindings: set at set-up, used on the frame thread.
namespace {
struct ScratchFlashState {
    Envelope* frameEnvelope;
    Envelope* flashEnvelope;
    const Bitmap* strip;
};
} // namespace

static ScratchFlashState gFlash;

const int32_t ScratchFrameTable[58] = {1, 2, 3, 4, 5, 6, 7, 8, 7, 6, 5, 4, 5, 5, 6, 6, 7, 7, 8, 7,
                                       6, 5, 4, 5, 6, 7, 8, 7, 6, 5, 4, 5, 6, 7, 8, 7, 6, 5, 4, 5,
                                       6, 7, 8, 7, 6, 5, 4, 5, 6, 7, 8, 7, 6, 5, 4, 5, 6, 7};

uint32_t RadialBlurPixelScalar(uint32_t source, uint32_t pixel)
{
    uint32_t out = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        uint32_t v = ((source >> shift & 255) * 90 + (pixel >> shift & 255) * 64) >> 7;
        out |= (v > 255 ? 255 : v) << shift;
    }
    return out;
}

// 16-bit lanes: 255 * 154 fits unsigned, and the pack saturates at 255; the alpha lane
// is weighted 0.
uint32_t RadialBlurPixel(uint32_t source, uint32_t pixel)
{
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    __m128i both = _mm_unpacklo_epi8(_mm_set_epi32(0, 0, (int)pixel, (int)source), zero);
    __m128i weighted = _mm_mullo_epi16(both, _mm_set_epi16(0, 64, 64, 64, 0, 90, 90, 90));
    __m128i sum = _mm_srli_epi16(_mm_add_epi16(weighted, _mm_srli_si128(weighted, 8)), 7);
    return (uint32_t)_mm_cvtsi128_si32(_mm_packus_epi16(sum, zero));
#else
    return RadialBlurPixelScalar(source, pixel);
#endif
}

// Source index the fraction factor of the way from i towards centre, clamped to 0..size - 1.
static void BlurSources(int32_t* out, int size, float factor, int centre)
{
    for (int i = 0; i < size; i++)
        out[i] = EffectClamp(EffectTrunc((float)i + factor * (float)(centre - i)), 0, size - 1);
}

#if defined(__SSE2__)
// Columns from .. to - 1 of a row whose source row is another one, finished before this row
// starts: no pixel reads one written here, so the order is free and four go at a time.
static void BlurRowLanes(uint32_t* row, const uint32_t* sourceRow, const int32_t* columns,
                         int from, int to)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i sourceWeight = _mm_set1_epi16(90), pixelWeight = _mm_set1_epi16(64);
    const __m128i noAlpha = _mm_set1_epi32(0x00FFFFFF);
    int x = from;
    for (; x + 4 <= to; x += 4) {
        __m128i source = _mm_set_epi32((int)sourceRow[columns[x + 3]], (int)sourceRow[columns[x + 2]],
                                       (int)sourceRow[columns[x + 1]], (int)sourceRow[columns[x]]);
        __m128i pixel = _mm_loadu_si128((const __m128i*)(row + x));
        __m128i low = _mm_add_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(source, zero), sourceWeight),
                                    _mm_mullo_epi16(_mm_unpacklo_epi8(pixel, zero), pixelWeight));
        __m128i high = _mm_add_epi16(_mm_mullo_epi16(_mm_unpackhi_epi8(source, zero), sourceWeight),
                                     _mm_mullo_epi16(_mm_unpackhi_epi8(pixel, zero), pixelWeight));
        __m128i out = _mm_packus_epi16(_mm_srli_epi16(low, 7), _mm_srli_epi16(high, 7));
        _mm_storeu_si128((__m128i*)(row + x), _mm_and_si128(out, noAlpha));
    }
    for (; x < to; x++)
        row[x] = RadialBlurPixel(sourceRow[columns[x]], row[x]);
}
#endif

// One quadrant, rows from y0 stepping by dy to y1 (exclusive), columns likewise. Sources lie
// between a pixel and the centre, so each is final by the time it is read.
static void BlurQuadrant(uint32_t* pixels, int width, const int32_t* rows, const int32_t* columns,
                         int y0, int y1, int dy, int x0, int x1, int dx)
{
    for (int y = y0; y != y1; y += dy) {
        uint32_t* row = pixels + (intptr_t)y * width;
        const uint32_t* sourceRow = pixels + (intptr_t)rows[y] * width;
#if defined(__SSE2__)
        if (rows[y] != y) {
            BlurRowLanes(row, sourceRow, columns, dx > 0 ? x0 : x1 + 1, dx > 0 ? x1 : x0 + 1);
            continue;
        }
#endif
        for (int x = x0; x != x1; x += dx)
            row[x] = RadialBlurPixel(sourceRow[columns[x]], row[x]);
    }
}

void RadialBlur(const Surface* surface, float factor, int centreX, int centreY)
{
    int w = surface->width, h = surface->height;
    if (w <= 0 || h <= 0)
        return;
    int cx = EffectClamp(centreX, 0, w - 1), cy = EffectClamp(centreY, 0, h - 1);
    int32_t* columns = (int32_t*)ScratchAlloc((uint32_t)w * 4);
    int32_t* rows = (int32_t*)ScratchAlloc((uint32_t)h * 4);
    BlurSources(columns, w, factor, cx);
    BlurSources(rows, h, factor, cy);
    uint32_t* p = surface->pixels;
    BlurQuadrant(p, w, rows, columns, cy, -1, -1, cx, -1, -1);
    BlurQuadrant(p, w, rows, columns, cy, -1, -1, cx + 1, w, 1);
    BlurQuadrant(p, w, rows, columns, cy + 1, h, 1, cx, -1, -1);
    BlurQuadrant(p, w, rows, columns, cy + 1, h, 1, cx + 1, w, 1);
    ScratchFree(rows);
    ScratchFree(columns);
}

// sum / n for sum < 2^24 and n < 2^16 by a 40-bit reciprocal: the rounding error of
// ceil(2^40 / n) adds less than 2^-16 < 1 / n, which never reaches the next integer.
static inline uint64_t Divide(int64_t sum, uint64_t reciprocal)
{
    return ((uint64_t)sum * reciprocal) >> 40;
}

namespace {
// The channel sums of the pixels under the window, and how many there are.
struct BoxWindow {
    int64_t red = 0, green = 0, blue = 0, count = 0;

    void Add(uint32_t s)
    {
        red += s >> 16 & 255;
        green += s >> 8 & 255;
        blue += s & 255;
        count++;
    }
    void Remove(uint32_t s)
    {
        red -= s >> 16 & 255;
        green -= s >> 8 & 255;
        blue -= s & 255;
        count--;
    }
    // The averages, by the reciprocal of count where it has one (0 when count is too large).
    uint32_t Average(uint64_t reciprocal) const
    {
        if (reciprocal)
            return (uint32_t)(Divide(red, reciprocal) << 16 | Divide(green, reciprocal) << 8 |
                              Divide(blue, reciprocal));
        int64_t n = count == 0 ? 1 : count;
        return (uint32_t)((red / n) << 16 | (green / n) << 8 | (blue / n));
    }
};
} // namespace

static uint64_t Reciprocal(int64_t count)
{
    int64_t n = count == 0 ? 1 : count;
    return n < 65536 ? ((1ull << 40) + (uint64_t)n - 1) / (uint64_t)n : 0;
}

#if defined(__SSE2__)
// The lanes divide by a 32-bit reciprocal m = ceil(2^32 / n): its error adds less than
// sum / 2^32, below 1 / n while sum * n < 2^32; sums reach 255 * n, so n stays under 4104.
static const int64_t kBoxLanesMaxCount = 4104;

// The middle of RowBoxBlur with the sums in 32-bit lanes (blue, green, red, alpha); the same
// averages as the scalar loop, which the window is left holding afterwards.
static void BoxMiddleLanes(const uint32_t* source, uint32_t* destination, int radius, int from,
                           int to, BoxWindow& box)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i m = _mm_set1_epi32((int)(((1ull << 32) + (uint64_t)box.count - 1) / (uint64_t)box.count));
    const __m128i greenLane = _mm_set_epi32(0, 0, -1, 0);
    __m128i sums = _mm_set_epi32(0, (int)box.red, (int)box.green, (int)box.blue);
    for (int j = from; j < to; j++) {
        __m128i in = _mm_unpacklo_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128((int)source[j + radius]), zero), zero);
        __m128i out = _mm_unpacklo_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128((int)source[j - radius]), zero), zero);
        sums = _mm_sub_epi32(_mm_add_epi32(sums, in), out);
        // Blue and red quotients in the high halves of lanes 0 and 2, green in that of lane 1.
        __m128i blueRed = _mm_srli_epi64(_mm_mul_epu32(sums, m), 32);
        __m128i green = _mm_and_si128(_mm_mul_epu32(_mm_srli_epi64(sums, 32), m), greenLane);
        __m128i q = _mm_or_si128(blueRed, green);
        q = _mm_packus_epi16(_mm_packs_epi32(q, zero), zero);
        destination[j] = (uint32_t)_mm_cvtsi128_si32(q) & 0x00FFFFFFu;
    }
    box.blue = (uint32_t)_mm_cvtsi128_si32(sums);
    box.green = (uint32_t)_mm_cvtsi128_si32(_mm_srli_si128(sums, 4));
    box.red = (uint32_t)_mm_cvtsi128_si32(_mm_srli_si128(sums, 8));
}
#endif

void RowBoxBlur(const uint32_t* source, uint32_t* destination, int radius, int length)
{
    if (length <= 0)
        return;
    if (radius < 0)
        radius = 0;
    BoxWindow box;
    for (int j = 0; j < radius && j < length; j++)
        box.Add(source[j]);
    // Pixel j takes in j + radius while that exists and lets go of j - radius once it exists.
    auto edgePixel = [&](int j) {
        if ((int64_t)j + radius < length)
            box.Add(source[j + radius]);
        if (j - radius >= 0)
            box.Remove(source[j - radius]);
        destination[j] = box.Average(Reciprocal(box.count));
    };
    // Between the two ends the window does both and keeps its size: one reciprocal for all.
    int64_t middleTo = (int64_t)length - radius;
    int headTo = middleTo > radius ? radius : length;
    int j = 0;
    for (; j < headTo; j++)
        edgePixel(j);
    const uint64_t reciprocal = Reciprocal(box.count);
#if defined(__SSE2__)
    if (j < middleTo && box.count >= 2 && box.count < kBoxLanesMaxCount) {
        BoxMiddleLanes(source, destination, radius, j, (int)middleTo, box);
        j = (int)middleTo;
    }
#endif
    for (; j < middleTo; j++) {
        box.Add(source[j + radius]);
        box.Remove(source[j - radius]);
        destination[j] = box.Average(reciprocal);
    }
    for (; j < length; j++)
        edgePixel(j);
}

bool NoiseCreate(Noise* noise, int width, int height)
{
    std::memset(noise, 0, sizeof(*noise));
    if (width <= 0 || height <= 0)
        return false;
    uint64_t count = (uint64_t)width * (uint64_t)height * 3 / 2;
    if (count > 0x10000000u)
        return false;
    noise->pixels = (uint32_t*)std::malloc(count * sizeof(uint32_t));
    if (!noise->pixels)
        return false;
    for (uint64_t i = 0; i < count; i++) {
        uint32_t g = (uint32_t)(RandomNext() % 255);
        noise->pixels[i] = g << 16 | g << 8 | g;
    }
    noise->width = width;
    noise->height = height;
    noise->count = (uint32_t)count;
    return true;
}

void NoiseDestroy(Noise* noise)
{
    std::free(noise->pixels);
    std::memset(noise, 0, sizeof(*noise));
}

// The noise is one run copied from a random offset; rows land at the target's pitch and
// nothing is read past the buffer's end.
void NoiseFrame(const Noise* noise, const Surface* target)
{
    uint32_t span = (uint32_t)noise->width * (uint32_t)noise->height / 2;
    if (!noise->pixels || span == 0)
        return;
    uint32_t offset = (uint32_t)RandomNext() % span;
    uint32_t stride = target->pitch / 4;
    uint32_t w = (uint32_t)(target->width > 0 ? target->width : 0);
    uint32_t n = w < stride ? w : stride;
    for (int y = 0; y < target->height; y++) {
        uint64_t from = offset + (uint64_t)y * stride;
        if (from >= noise->count)
            return;
        uint64_t take = noise->count - from < n ? noise->count - from : n;
        std::memcpy(EffectRow(target, y), noise->pixels + from, take * sizeof(uint32_t));
    }
}

void Scratches(int count, const Surface* target)
{
    int w = target->width, h = target->height;
    int specks = (w * 20) >> 5;
    if (w <= 0 || h <= 0 || specks <= 0)
        return;
    for (int c = 0; c < count; c++) {
        int row = RandomNext() % h;
        int n = RandomNext() % specks;
        uint32_t g = (uint32_t)(RandomNext() % 255);
        uint32_t grey = g << 16 | g << 8 | g;
        uint32_t* out = EffectRow(target, row);
        for (int i = 0; i < n; i++)
            out[RandomNext() % w] = grey;
    }
}

float EnvelopeValue(const Envelope* envelope, uint32_t t)
{
    uint32_t d = t - envelope->startTime;
    float v = envelope->startValue - envelope->rate * (float)d;
    return v > 0.0f ? v : 0.0f;
}

void EnvelopeRestart(Envelope* envelope, uint32_t startTime, float startValue, float rate)
{
    envelope->startTime = startTime;
    envelope->startValue = startValue;
    envelope->rate = rate;
}

void ScratchFlashBind(Envelope* frameEnvelope, Envelope* flashEnvelope, const Bitmap* strip)
{
    gFlash = ScratchFlashState{frameEnvelope, flashEnvelope, strip};
}

void EnvelopeTrigger(float threshold, uint32_t t)
{
    if (!gFlash.frameEnvelope || !gFlash.flashEnvelope)
        return;
    // A hit restarts the animation while it is still running (its value, counting down from 57,
    // above the threshold), not once it has nearly run out: the production's hits at threshold
    // 5 keep the scratches going through a run of hits and leave a run in its last frames be.
    if (threshold < EnvelopeValue(gFlash.frameEnvelope, t))
        EnvelopeRestart(gFlash.frameEnvelope, t, 57.0f, 0.01f);
    EnvelopeRestart(gFlash.flashEnvelope, t, 255.0f, 0.4f);
}

void ScratchFlash(const Surface* target, uint32_t t)
{
    if (!gFlash.frameEnvelope || !gFlash.flashEnvelope || !gFlash.strip || !gFlash.strip->pixels)
        return;
    // Clamped so a frame envelope started elsewhere cannot index past the table.
    int k = EffectClamp(EffectTrunc(EnvelopeValue(gFlash.frameEnvelope, t)), 0, 57);
    int frame = ScratchFrameTable[57 - k] - 1;
    int opacity = EffectClamp(EffectTrunc(EnvelopeValue(gFlash.flashEnvelope, t)), 0, 255);
    Surface s = *target;
    BlitWithAlpha(s, *gFlash.strip, 0, -200 * frame, (uint32_t)opacity);
}

void TiledScroll(const Surface* target, const Bitmap* image, int offsetX, int offsetY,
                 int tileWidth, int tileHeight)
{
    if (!image || !image->pixels || tileWidth <= 0 || tileHeight <= 0)
        return;
    if ((uint64_t)image->width * image->height < (uint64_t)tileWidth * (uint64_t)tileHeight)
        return;
    int w = target->width < 320 ? target->width : 320;
    int h = target->height < 200 ? target->height : 200;
    for (int y = 0; y < h; y++) {
        int64_t row = ((int64_t)offsetY + y) % tileHeight;
        row += row < 0 ? tileHeight : 0;
        const uint32_t* src = image->pixels + row * tileWidth;
        uint32_t* out = EffectRow(target, y);
        int64_t column = ((int64_t)offsetX) % tileWidth;
        column += column < 0 ? tileWidth : 0;
        for (int x = 0; x < w;) {
            int64_t run = std::min<int64_t>(tileWidth - column, w - x);
            std::memcpy(out + x, src + column, (size_t)run * sizeof(uint32_t));
            x += (int)run;
            column = 0;
        }
    }
}
