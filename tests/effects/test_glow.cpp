// Blend tables, the glow profile, glow lines and additive sprites.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "effects/blend.h"
#include "effects/glow.h"
#include "tests/effects/effects_fixture.h"

TEST(Blend, TablesFollowTheirFormulas)
{
    struct Case {
        const BlendTable* table;
        int a, b, want;
    } cases[] = {
        {BlendMultiply, 255, 255, 254}, {BlendMultiply, 128, 2, 1},   {BlendMultiply, 0, 200, 0},
        {BlendScreen, 0, 255, 254},     {BlendScreen, 255, 0, 254},   {BlendScreen, 128, 64, 159},
        {BlendScreen, 0, 0, 0},         {BlendAdd, 200, 100, 255},    {BlendAdd, 100, 55, 155},
        {BlendFirst, 17, 99, 17},       {BlendSecond, 17, 99, 99},
    };
    for (const Case& k : cases)
        EXPECT_EQ(k.table->entry[k.a * 256 + k.b], k.want) << k.a << "," << k.b;
}

TEST(Blend, GlowProfileIsTheGaussianFalloff)
{
    const int spot[][2] = {{0, 255}, {1, 254}, {40, 198}, {80, 93}, {120, 26}, {160, 4}, {191, 0}};
    for (const auto& s : spot)
        EXPECT_EQ(GlowProfile[s[0]], s[1]) << s[0];
    for (int i = 0; i < 192; i++)
        EXPECT_EQ(GlowProfile[i], (int)(255.0 * std::exp(-(i / 80.0) * (i / 80.0))));
    for (int i = 192; i < 256; i++)
        EXPECT_EQ(GlowProfile[i], 0);
}

TEST(Glow, BlendMatchesTheScalarReference)
{
    RandomSeed(7);
    for (int n = 0; n < 20000; n++) {
        uint32_t f = RandomWord();
        uint32_t c = RandomWord() & 0xFFFFFF;
        int w = RandomNext() % 256;
        ASSERT_EQ(GlowBlend(f, c, w), GlowBlendScalar(f, c, w)) << std::hex << f << " " << c << " " << w;
    }
    EXPECT_EQ(GlowBlendScalar(0xFFFFFFFF, 0xFFFFFF, 0), 0xFEFEFEu); // top byte dropped
}

TEST(Glow, HorizontalLineCoversThreeRows)
{
    TestSurface s(16, 12, 0);
    GlowLine(2, 5, 7, 5, &s, 255, 255, 255, GlowProfile);
    uint32_t centre = Grey((255 * 255) >> 8);
    uint32_t side = Grey((uint32_t)(255 * GlowProfile[127]) >> 8);
    for (int y = 0; y < 12; y++)
        for (int x = 0; x < 16; x++) {
            uint32_t want = 0;
            if (x >= 2 && x < 7)
                want = y == 5 ? centre : (y == 4 || y == 6 ? side : 0);
            EXPECT_EQ(s.At(x, y), want) << x << "," << y;
        }
}

TEST(Glow, DiagonalLineWritesThreePixelsPerStep)
{
    TestSurface s(8, 8, 0);
    GlowLine(1, 1, 5, 5, &s, 255, 0, 0, GlowProfile);
    // length sqrt(32): a neighbour lies across = trunc(65535 / sqrt 2) away, about 0.71 pixel.
    uint32_t side = (uint32_t)((255 * GlowProfile[46340 >> 9]) >> 8) << 16;
    int lit = 0;
    for (int y = 0; y < 8; y++)
        for (int x = 0; x < 8; x++) {
            uint32_t want = 0;
            if (x >= 1 && x <= 4 && x == y)
                want = 254u << 16;
            else if (x >= 1 && x <= 4 && (y == x + 1 || y == x - 1))
                want = side;
            EXPECT_EQ(s.At(x, y), want) << x << "," << y;
            lit += s.At(x, y) != 0;
        }
    EXPECT_EQ(lit, 12);
}

TEST(Glow, DegenerateAndClippedLines)
{
    TestSurface s(8, 8, 0x00102030);
    GlowLine(3, 3, 3, 3, &s, 255, 255, 255, GlowProfile);
    for (uint32_t p : s.pixels)
        ASSERT_EQ(p, 0x00102030u);
    GlowLine(-50, -20, 60, 30, &s, 255, 255, 255, GlowProfile);
    GlowLine(7, -100, 0, 100, &s, 255, 255, 255, GlowProfile);
    GlowLine(-10, 8, 20, 8, &s, 255, 255, 255, GlowProfile); // only its upper neighbour row shows
    for (int x = 0; x < 8; x++)
        EXPECT_NE(s.At(x, 7), 0x00102030u);
}

// A line spanning its whole target takes the clipped walk; the same line one pixel in from
// the edges of a target two pixels larger takes the unclipped one. Both must agree.
TEST(Glow, UnclippedWalkMatchesTheClippedOne)
{
    RandomSeed(11);
    for (int n = 0; n < 400; n++) {
        int x0 = RandomNext() % 40, y0 = RandomNext() % 40, x1 = RandomNext() % 40, y1 = RandomNext() % 40;
        int w = std::abs(x1 - x0) + 1, h = std::abs(y1 - y0) + 1;
        int left = std::min(x0, x1), top = std::min(y0, y1);
        x0 -= left, x1 -= left, y0 -= top, y1 -= top;
        TestSurface edge(w, h, 0x00203040), inside(w + 2, h + 2, 0x00203040);
        GlowLine(x0, y0, x1, y1, &edge, 200, 90, 255, GlowProfile);
        GlowLine(x0 + 1, y0 + 1, x1 + 1, y1 + 1, &inside, 200, 90, 255, GlowProfile);
        for (int y = 0; y < h; y++)
            for (int x = 0; x < w; x++)
                ASSERT_EQ(edge.At(x, y), inside.At(x + 1, y + 1))
                    << x0 << "," << y0 << " " << x1 << "," << y1 << " at " << x << "," << y;
    }
}

static TestTexture Sprite256()
{
    return TestTexture(256, 256, [](int x, int y) {
        return (uint32_t)(x & 255) << 16 | (uint32_t)(y & 255) << 8 | 0x40u;
    });
}

TEST(Sprite, SizeOneIsTheFirstTexel)
{
    TestTexture tex = Sprite256();
    tex.pixels[0] = 0x01020304;
    TestSurface s(8, 8, 0x10101010);
    AddSprite(4, 3, 1, &tex, &s);
    for (int y = 0; y < 8; y++)
        for (int x = 0; x < 8; x++)
            EXPECT_EQ(s.At(x, y), x == 4 && y == 3 ? 0x11121314u : 0x10101010u);
}

TEST(Sprite, ScalesTheWholeTextureAndClips)
{
    TestTexture tex = Sprite256();
    for (int cx : {8, 0, 15}) {
        TestSurface s(16, 16, 0x00F00000);
        AddSprite(cx, 8, 16, &tex, &s);
        int left = cx - 8;
        for (int y = 0; y < 16; y++)
            for (int x = 0; x < 16; x++) {
                int q = x - left;
                uint32_t want = 0x00F00000;
                if (q >= 0 && q < 16)
                    want = AddSaturateScalar(0x00F00000, tex.pixels[(y * 16) * 256 + q * 16]);
                ASSERT_EQ(s.At(x, y), want) << cx << ": " << x << "," << y;
            }
    }
}

TEST(Sprite, WhiteStaysWhiteAndNothingForEmptyOrOutside)
{
    TestTexture tex = Sprite256();
    TestSurface white(8, 8, 0xFFFFFFFF);
    AddSprite(4, 4, 8, &tex, &white);
    for (uint32_t p : white.pixels)
        ASSERT_EQ(p, 0xFFFFFFFFu);
    TestSurface s(8, 8, 0);
    for (int size : {0, -5})
        AddSprite(4, 4, size, &tex, &s);
    AddSprite(-9, 4, 8, &tex, &s);
    AddSprite(4, 12, 8, &tex, &s);
    for (uint32_t p : s.pixels)
        ASSERT_EQ(p, 0u);
}
