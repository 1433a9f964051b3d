// Radial and row blurs, noise, scratches, envelopes, the film-scratch flash, tiled scrolling.
#include <gtest/gtest.h>


#include "effects/filters.h"
#include "host/scratch.h"
#include "tests/effects/effects_fixture.h"

TEST(Filters, RadialBlurWithFactorZeroBrightens)
{
    TestSurface s(7, 5);
    for (size_t i = 0; i < s.pixels.size(); i++)
        s.pixels[i] = (uint32_t)(i * 37 % 256) << 16 | (uint32_t)(i * 11 % 256) << 8 | (uint32_t)(i * 5 % 256) | 0xFF000000u;
    std::vector<uint32_t> before = s.pixels;
    RadialBlur(&s, 0.0f, 3, 2);
    for (size_t i = 0; i < before.size(); i++) {
        uint32_t want = 0;
        for (int sh = 0; sh <= 16; sh += 8)
            want |= (uint32_t)std::min(255u, ((before[i] >> sh & 255) * 154) >> 7) << sh;
        ASSERT_EQ(s.pixels[i], want) << i;
    }
    EXPECT_EQ(ScratchPoolState().top, 0u);
}

TEST(Filters, RadialBlurVisitsTheCentreFirst)
{
    // Factor 1: every pixel's source is the centre, which is already updated when read.
    TestSurface s(5, 5, 0);
    s.At(2, 2) = 100;
    RadialBlur(&s, 1.0f, 2, 2);
    uint32_t centre = (100 * 154) >> 7;
    EXPECT_EQ(s.At(2, 2), centre);
    for (int y = 0; y < 5; y++)
        for (int x = 0; x < 5; x++) {
            if (x != 2 || y != 2) {
                ASSERT_EQ(s.At(x, y), (centre * 90) >> 7) << x << "," << y;
            }
        }
}

TEST(Filters, RadialBlurSourcesMoveTowardsTheCentre)
{
    // Factor 0.5 on one row: pixel x reads x + (cx - x) / 2, visited from the centre outwards.
    TestSurface s(9, 1, 0);
    for (int x = 0; x < 9; x++)
        s.At(x, 0) = (uint32_t)(x * 20);
    RadialBlur(&s, 0.5f, 4, 0);
    uint32_t v[9];
    for (int x = 0; x < 9; x++)
        v[x] = (uint32_t)(x * 20);
    auto blend = [](uint32_t a, uint32_t b) { return std::min(255u, (a * 90 + b * 64) >> 7); };
    for (int x = 4; x >= 0; x--)
        v[x] = blend(v[(int)(x + 0.5f * (4 - x))], v[x]);
    for (int x = 5; x < 9; x++)
        v[x] = blend(v[(int)(x + 0.5f * (4 - x))], v[x]);
    for (int x = 0; x < 9; x++)
        EXPECT_EQ(s.At(x, 0), v[x]) << x;
    RadialBlur(&s, 0.5f, 100, -7); // centre clamped into the surface
}

// The blur pixel by pixel in its visiting order (each quadrant from the centre outwards),
// against RadialBlur on surfaces, factors and centres of every kind.
TEST(Filters, RadialBlurMatchesThePixelByPixelOrder)
{
    RandomSeed(12);
    for (int n = 0; n < 60; n++) {
        int w = 1 + RandomNext() % 40, h = 1 + RandomNext() % 30;
        int cx = RandomNext() % w, cy = RandomNext() % h;
        float factor = (float)(RandomNext() % 1200) / 1000.0f - 0.1f;
        TestSurface s(w, h);
        for (uint32_t& p : s.pixels)
            p = RandomWord();
        std::vector<uint32_t> want = s.pixels;
        auto source = [&](int i, int size, int centre) {
            int v = (int)((float)i + factor * (float)(centre - i));
            return std::min(std::max(v, 0), size - 1);
        };
        auto quadrant = [&](int y0, int y1, int dy, int x0, int x1, int dx) {
            for (int y = y0; y != y1; y += dy)
                for (int x = x0; x != x1; x += dx)
                    want[(size_t)y * w + x] = RadialBlurPixelScalar(
                        want[(size_t)source(y, h, cy) * w + source(x, w, cx)], want[(size_t)y * w + x]);
        };
        quadrant(cy, -1, -1, cx, -1, -1);
        quadrant(cy, -1, -1, cx + 1, w, 1);
        quadrant(cy + 1, h, 1, cx, -1, -1);
        quadrant(cy + 1, h, 1, cx + 1, w, 1);
        RadialBlur(&s, factor, cx, cy);
        ASSERT_EQ(s.pixels, want) << w << "x" << h << " centre " << cx << "," << cy << " factor " << factor;
    }
}

TEST(Filters, RadialBlurPixelMatchesTheScalarReference)
{
    RandomSeed(11);
    for (int n = 0; n < 20000; n++) {
        uint32_t a = RandomWord();
        uint32_t b = RandomWord();
        ASSERT_EQ(RadialBlurPixel(a, b), RadialBlurPixelScalar(a, b)) << std::hex << a << " " << b;
    }
    EXPECT_EQ(RadialBlurPixelScalar(0xFFFFFFFF, 0xFFFFFFFF), 0x00FFFFFFu);
}

TEST(Filters, RowBoxBlurMatchesPlainAveragesForEveryRadius)
{
    std::vector<uint32_t> src(300), dst(300);
    RandomSeed(4);
    for (uint32_t& p : src)
        p = RandomWord() & 0xFFFFFF;
    for (int r : {1, 2, 3, 7, 99, 150, 299, 300}) {
        RowBoxBlur(src.data(), dst.data(), r, 300);
        for (int j = 0; j < 300; j++) {
            uint32_t sum[3] = {0, 0, 0}, count = 0;
            for (int i = std::max(0, j - r + 1); i <= std::min(299, j + r); i++, count++)
                for (int c = 0; c < 3; c++)
                    sum[c] += src[i] >> (8 * c) & 255;
            uint32_t want = sum[2] / count << 16 | sum[1] / count << 8 | sum[0] / count;
            ASSERT_EQ(dst[j], want) << r << " " << j;
        }
    }
}

// Long rows whose windows hold thousands of pixels: the widest sums, with the alpha byte set
// and ignored, both sides of the window size where the averaging changes its divisor.
TEST(Filters, RowBoxBlurWideWindowsAndBrightRows)
{
    const int length = 9000;
    std::vector<uint32_t> src(length), dst(length);
    RandomSeed(5);
    for (int i = 0; i < length; i++)
        src[i] = i % 7 == 0 ? 0xFFFFFFFFu : (RandomWord() | 0xFF000000u);
    for (int r : {1, 5, 2051, 2052, 2053, 4000}) {
        RowBoxBlur(src.data(), dst.data(), r, length);
        uint64_t sum[3] = {0, 0, 0};
        int lo = 0, hi = -1; // the window src[lo .. hi]
        for (int j = 0; j < length; j++) {
            for (; hi < std::min(length - 1, j + r); hi++)
                for (int c = 0; c < 3; c++)
                    sum[c] += src[hi + 1] >> (8 * c) & 255;
            for (; lo < j - r + 1; lo++)
                for (int c = 0; c < 3; c++)
                    sum[c] -= src[lo] >> (8 * c) & 255;
            uint64_t count = (uint64_t)(hi - lo + 1);
            uint32_t want = (uint32_t)(sum[2] / count << 16 | sum[1] / count << 8 | sum[0] / count);
            ASSERT_EQ(dst[j], want) << r << " " << j;
        }
    }
}

TEST(Filters, RowBoxBlur)
{
    const uint32_t src[5] = {0x000000, 0x020406, 0x040810, 0xFFFFFF, 0x101010};
    uint32_t dst[5];
    RowBoxBlur(src, dst, 1, 5);
    auto avg = [](uint32_t a, uint32_t b) {
        uint32_t out = 0;
        for (int sh = 0; sh <= 16; sh += 8)
            out |= (((a >> sh & 255) + (b >> sh & 255)) / 2) << sh;
        return out;
    };
    for (int j = 0; j < 4; j++)
        EXPECT_EQ(dst[j], avg(src[j], src[j + 1])) << j;
    EXPECT_EQ(dst[4], src[4]);
    // Radius 2: window j - 1 .. j + 2 clipped.
    RowBoxBlur(src, dst, 2, 5);
    EXPECT_EQ(dst[0] & 255, (0x00u + 0x06 + 0x10) / 3);
    EXPECT_EQ(dst[1] & 255, (0x00u + 0x06 + 0x10 + 0xFF) / 4);
    EXPECT_EQ(dst[4] & 255, (0xFFu + 0x10) / 2);
    // A radius beyond the run reads nothing outside it; every output is the run's mean.
    RowBoxBlur(src, dst, 50, 5);
    EXPECT_EQ(dst[2] & 255, (0x00u + 0x06 + 0x10 + 0xFF + 0x10) / 5);
    RowBoxBlur(src, dst, 0, 5);
    EXPECT_EQ(dst[3], 0u); // empty window: count 0 read as 1, sums 0
}

TEST(Filters, NoiseCopiesFromARandomOffset)
{
    Noise noise;
    RandomSeed(99);
    ASSERT_TRUE(NoiseCreate(&noise, 16, 10));
    EXPECT_EQ(noise.count, 240u);
    for (uint32_t i = 0; i < noise.count; i++) {
        uint32_t g = noise.pixels[i] & 255;
        ASSERT_LT(g, 255u);
        ASSERT_EQ(noise.pixels[i], Grey(g));
    }
    TestSurface s(16, 10);
    RandomSeed(5);
    uint32_t offset = (uint32_t)RandomNext() % 80;
    RandomSeed(5);
    NoiseFrame(&noise, &s);
    for (int i = 0; i < 160; i++)
        ASSERT_EQ(s.pixels[i], noise.pixels[offset + i]);
    TestSurface big(40, 40, 3); // larger than the noise: stops at the buffer's end
    NoiseFrame(&noise, &big);
    NoiseDestroy(&noise);
    EXPECT_EQ(noise.pixels, nullptr);
}

TEST(Filters, ScratchesAreGreySpecksOnRandomRows)
{
    TestSurface s(320, 200, 0x00FF0000);
    Scratches(0, &s);
    for (uint32_t p : s.pixels)
        ASSERT_EQ(p, 0x00FF0000u);
    RandomSeed(3);
    Scratches(5, &s);
    int rows = 0;
    for (int y = 0; y < 200; y++) {
        bool touched = false;
        for (int x = 0; x < 320; x++) {
            uint32_t p = s.At(x, y);
            if (p != 0x00FF0000u) {
                touched = true;
                ASSERT_EQ(p, Grey(p & 255));
            }
        }
        rows += touched;
    }
    EXPECT_GE(rows, 1);
    EXPECT_LE(rows, 5);
    // The first speck row is the first number drawn after seeding.
    RandomSeed(3);
    int first = RandomNext() % 200;
    bool any = false;
    for (int x = 0; x < 320; x++)
        any = any || s.At(x, first) != 0x00FF0000u;
    EXPECT_TRUE(any);
}

TEST(Filters, EnvelopeValue)
{
    Envelope e;
    EnvelopeRestart(&e, 1000, 57.0f, 0.01f);
    EXPECT_EQ(EnvelopeValue(&e, 1000), 57.0f);
    EXPECT_NEAR(EnvelopeValue(&e, 3850), 28.5f, 1e-3);
    EXPECT_EQ(EnvelopeValue(&e, 6700), 0.0f);
    EXPECT_EQ(EnvelopeValue(&e, 1000000), 0.0f);
    EXPECT_EQ(EnvelopeValue(&e, 999), 0.0f); // before the start: huge unsigned difference
    EnvelopeRestart(&e, 0, 255.0f, 0.4f);
    EXPECT_GT(EnvelopeValue(&e, 637), 0.0f);
    EXPECT_EQ(EnvelopeValue(&e, 638), 0.0f);
}

TEST(Filters, ScratchFlashFollowsItsEnvelopes)
{
    // Strip of eight 4 x 2 frames; frame k is filled with k + 1.
    std::vector<uint32_t> strip(4 * 16);
    for (int k = 0; k < 8; k++)
        for (int i = 0; i < 8; i++)
            strip[k * 8 + i] = (uint32_t)(k + 1);
    Bitmap bitmap{strip.data(), 4, 16};
    Envelope frame{}, flash{};
    TestSurface s(4, 2, 0x77);
    ScratchFlash(&s, 0); // unbound: nothing
    EXPECT_EQ(s.At(0, 0), 0x77u);
    ScratchFlashBind(&frame, &flash, &bitmap);
    EnvelopeTrigger(-90000.0f, 500);
    EXPECT_EQ(frame.startTime, 500u);
    EXPECT_EQ(frame.startValue, 57.0f);
    EXPECT_EQ(flash.startValue, 255.0f);
    ScratchFlash(&s, 500);
    // Right after a trigger: frame 0 at full opacity, copied. The strip's frames are 200
    // rows apart in the real data; this one shows its top rows at -200 * frame.
    EXPECT_EQ(s.At(0, 0), 1u);
    // The frame envelope restarts while its value is above the threshold (56 > 5 here) ...
    EnvelopeTrigger(5.0f, 600);
    EXPECT_EQ(frame.startTime, 600u);
    EXPECT_EQ(flash.startTime, 600u);
    // ... and not once it has fallen to the threshold or below (4 at 5,300 later).
    EnvelopeTrigger(5.0f, 600 + 5300);
    EXPECT_EQ(frame.startTime, 600u);
    EXPECT_EQ(flash.startTime, 5900u);
    TestSurface t(4, 2, 0x55);
    ScratchFlash(&t, 5900 + 700); // flash decayed
    EXPECT_EQ(t.At(0, 0), 0x55u);
    ScratchFlashBind(nullptr, nullptr, nullptr);
}

TEST(Filters, ScratchFlashPlaysTheFrameSequence)
{
    // Eight 2 x 200 frames; frame k is blue 30 * (k + 1).
    std::vector<uint32_t> strip(2 * 1600);
    for (int row = 0; row < 1600; row++)
        strip[row * 2] = strip[row * 2 + 1] = (uint32_t)(30 * (row / 200 + 1));
    Bitmap bitmap{strip.data(), 2, 1600};
    Envelope frame{}, flash{};
    ScratchFlashBind(&frame, &flash, &bitmap);
    EnvelopeTrigger(-90000.0f, 0);
    for (uint32_t t : {0u, 100u, 250u, 400u, 600u}) {
        int k = (int)(57.0f - 0.01f * (float)t);
        int shown = ScratchFrameTable[57 - k] - 1;
        uint32_t opacity = (uint32_t)(255.0f - 0.4f * (float)t);
        TestSurface s(2, 200, 0);
        ScratchFlash(&s, t);
        uint32_t texel = (uint32_t)(30 * (shown + 1));
        uint32_t want = opacity == 255 ? texel : (texel * opacity) >> 8;
        EXPECT_EQ(s.At(1, 150), want) << t;
    }
    ScratchFlashBind(nullptr, nullptr, nullptr);
}

TEST(Filters, TiledScrollWrapsBothWays)
{
    // A 4 x 3 tile, pixel = row * 16 + column.
    std::vector<uint32_t> tile(12);
    for (int i = 0; i < 12; i++)
        tile[i] = (uint32_t)((i / 4) * 16 + i % 4);
    Bitmap image{tile.data(), 4, 3};
    TestSurface s(320, 200);
    for (int ox : {0, -1, 5, -9})
        for (int oy : {0, -1, 7}) {
            TiledScroll(&s, &image, ox, oy, 4, 3);
            for (int y = 0; y < 200; y += 11)
                for (int x = 0; x < 320; x += 3) {
                    int row = ((oy + y) % 3 + 3) % 3, col = ((ox + x) % 4 + 4) % 4;
                    ASSERT_EQ(s.At(x, y), (uint32_t)(row * 16 + col)) << ox << "," << oy;
                }
        }
    TiledScroll(&s, &image, -1, 0, 4, 3);
    EXPECT_EQ(s.At(0, 0), 3u); // offset -1 shows the last column first
    TestSurface small(8, 8, 1);
    TiledScroll(&small, &image, 0, 0, 8, 8); // the image is too small for that tile: nothing
    EXPECT_EQ(small.At(0, 0), 1u);
    TiledScroll(&small, &image, 0, 0, 4, 3); // target smaller than 320 x 200: clipped
    EXPECT_EQ(small.At(7, 7), (uint32_t)(1 * 16 + 3));
}
