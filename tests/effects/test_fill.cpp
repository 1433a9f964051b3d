// Triangle fillers: rows covered, span clipping, gradient stepping, wrapping, the flat rule.
#include <gtest/gtest.h>

#include "effects/fill.h"
#include "tests/effects/effects_fixture.h"

static const uint32_t kBack = 0xDEADBEEF;

// Bare 256 x 256 array whose texel is its own index.
static std::vector<uint32_t> IndexTexels()
{
    std::vector<uint32_t> t(65536);
    for (uint32_t i = 0; i < 65536; i++)
        t[i] = i;
    return t;
}

// Right triangle with its right angle at (ox, 0), legs of 8 pixels, u = x - ox + u0, v = y.
static void RightTriangle(FillVertex c[3], int ox, int u0)
{
    c[0] = FillVertex{ox, 0, u0, 0, 0, 0, 0};
    c[1] = FillVertex{ox + 8, 0, u0 + 8, 0, 0, 0, 0};
    c[2] = FillVertex{ox, 8, u0, 8, 0, 0, 0};
}

TEST(Fill, TextureCoversRowsAndStepsOneTexelPerPixel)
{
    TestSurface s(16, 8, kBack);
    auto texels = IndexTexels();
    FillVertex c[3];
    RightTriangle(c, 0, 0);
    FillTexture(c, &s, texels.data());
    for (int y = 0; y < 8; y++)
        for (int x = 0; x < 16; x++)
            EXPECT_EQ(s.At(x, y), x < 8 - y ? (uint32_t)(y * 256 + x) : kBack) << x << "," << y;
}

TEST(Fill, VertexOrderDoesNotMatter)
{
    auto texels = IndexTexels();
    FillVertex c[3];
    RightTriangle(c, 0, 0);
    TestSurface a(16, 8, kBack), b(16, 8, kBack);
    FillTexture(c, &a, texels.data());
    FillVertex r[3] = {c[2], c[0], c[1]};
    FillTexture(r, &b, texels.data());
    EXPECT_EQ(a.pixels, b.pixels);
}

TEST(Fill, LeftClippedSpansAdvanceTheTexture)
{
    TestSurface s(16, 8, kBack);
    auto texels = IndexTexels();
    FillVertex c[3];
    RightTriangle(c, -3, 0);
    FillTexture(c, &s, texels.data());
    for (int y = 0; y < 8; y++)
        for (int x = 0; x < 16; x++)
            EXPECT_EQ(s.At(x, y), x < 5 - y ? (uint32_t)(y * 256 + x + 3) : kBack) << x << "," << y;
}

TEST(Fill, RightAndBottomClipping)
{
    TestSurface s(6, 4, kBack);
    auto texels = IndexTexels();
    FillVertex c[3];
    RightTriangle(c, 2, 0);
    FillTexture(c, &s, texels.data());
    for (int y = 0; y < 4; y++)
        for (int x = 0; x < 6; x++)
            EXPECT_EQ(s.At(x, y), x >= 2 && x < 10 - y ? (uint32_t)(y * 256 + x - 2) : kBack);
}

TEST(Fill, TextureCoordinatesWrap)
{
    TestSurface s(16, 8, kBack);
    auto texels = IndexTexels();
    FillVertex c[3];
    RightTriangle(c, 0, 252);
    FillTexture(c, &s, texels.data());
    for (int x = 0; x < 8; x++)
        EXPECT_EQ(s.At(x, 0), (uint32_t)((252 + x) & 255));
}

TEST(Fill, NothingDrawnForFlatOrOutsideTriangles)
{
    auto texels = IndexTexels();
    struct Case {
        const char* name;
        FillVertex c[3];
    } cases[] = {
        {"one row", {{0, 3, 0, 0, 0, 0, 0}, {10, 3, 0, 0, 0, 0, 0}, {5, 3, 0, 0, 0, 0, 0}}},
        {"left", {{-20, 0, 0, 0, 0, 0, 0}, {-10, 0, 0, 0, 0, 0, 0}, {-15, 6, 0, 0, 0, 0, 0}}},
        {"below", {{0, 8, 0, 0, 0, 0, 0}, {10, 8, 0, 0, 0, 0, 0}, {5, 20, 0, 0, 0, 0, 0}}},
        {"above", {{0, -9, 0, 0, 0, 0, 0}, {10, -9, 0, 0, 0, 0, 0}, {5, -1, 0, 0, 0, 0, 0}}},
        // The flat filler reaches one column left of its long edge, so start past it.
        {"right", {{17, 0, 0, 0, 0, 0, 0}, {30, 0, 0, 0, 0, 0, 0}, {20, 6, 0, 0, 0, 0, 0}}},
    };
    for (const Case& k : cases) {
        TestSurface s(16, 8, kBack);
        FillTexture(k.c, &s, texels.data());
        FillFlat(k.c, 0x123456, &s);
        for (uint32_t p : s.pixels)
            ASSERT_EQ(p, kBack) << k.name;
    }
}

TEST(Fill, HugeCoordinatesStayInside)
{
    auto texels = IndexTexels();
    FillVertex c[3] = {{-2000000000, -2000000000, -70000, 9, 1, 1, 0},
                       {2000000000, 5, 70000, -9, 1, 1, 0},
                       {3, 2000000000, 5, 5, 1, 1, 900}};
    TestSurface s(16, 8, kBack);
    FillTexture(c, &s, texels.data());
    FillFlat(c, 1, &s);
    FillGouraud(c, 1, 2, 3, &s, BlendAdd);
    SUCCEED();
}

// Gouraud through BlendSecond writes the interpolated intensity itself.
TEST(Fill, GouraudStepsTheIntensityGradientAndWraps)
{
    for (int far : {160, 320}) {
        TestSurface s(16, 8, kBack);
        FillVertex c[3] = {{0, 0, 0, 0, 0, 0, 0}, {16, 0, 0, 0, 0, 0, far}, {0, 16, 0, 0, 0, 0, 0}};
        FillGouraud(c, 0, 0, 0, &s, BlendSecond);
        int step = far / 16;
        for (int x = 0; x < 16; x++)
            EXPECT_EQ(s.At(x, 0), Grey((uint32_t)(step * x) & 255)) << far << " " << x;
    }
}

static FillVertex P(int x, int y)
{
    return FillVertex{x, y, 0, 0, 0, 0, 0};
}

// The flat filler divides by height + 1 and widens each span by one to the left.
TEST(Fill, FlatFillerEdgeRule)
{
    struct Case {
        FillVertex c[3];
        int rows;
        int span[8][2]; // inclusive column range per row
    } cases[] = {
        // Long edge on the left: each row runs from one left of it to the short edge.
        {{P(2, 0), P(6, 0), P(2, 4)}, 4, {{1, 6}, {1, 5}, {1, 4}, {1, 3}}},
        // Equal edge values cover x - 1 and x.
        {{P(4, 0), P(4, 0), P(4, 3)}, 3, {{3, 4}, {3, 4}, {3, 4}}},
        // Short edge left of the long one: short .. long - 1.
        {{P(4, 0), P(0, 4), P(8, 8)},
         8,
         {{3, 4}, {3, 3}, {2, 3}, {1, 4}, {0, 4}, {1, 5}, {3, 5}, {4, 6}}},
    };
    for (const Case& k : cases) {
        TestSurface s(12, 10, 0);
        FillFlat(k.c, 0xABCDEF, &s);
        for (int y = 0; y < 10; y++)
            for (int x = 0; x < 12; x++) {
                bool in = y < k.rows && x >= k.span[y][0] && x <= k.span[y][1];
                EXPECT_EQ(s.At(x, y), in ? 0xABCDEFu : 0u) << x << "," << y;
            }
    }
}

TEST(Fill, FlatSpanClipsToTheSurface)
{
    TestSurface s(4, 2, 0);
    FillVertex c[3] = {P(-5, 0), P(9, 0), P(-5, 2)};
    FillFlat(c, 7, &s);
    for (int x = 0; x < 4; x++)
        EXPECT_EQ(s.At(x, 0), 7u);
}

static TestTexture Colourful(int size)
{
    return TestTexture(size, size, [](int x, int y) {
        return 0xFF000000u | (uint32_t)(x * 7 & 255) << 16 | (uint32_t)(y * 5 & 255) << 8 |
               (uint32_t)((x + y) & 255);
    });
}

// A 12-pixel-wide block of full rows: the quad split in two triangles.
static void FullQuad(FillVertex tri[2][3])
{
    FillVertex a{0, 0, 0, 0, 0, 0, 0}, b{8, 0, 8, 0, 8, 0, 0}, c{0, 8, 0, 8, 0, 8, 0},
        d{8, 8, 8, 8, 8, 8, 0};
    FillVertex t0[3] = {a, b, c}, t1[3] = {b, d, c};
    for (int k = 0; k < 3; k++) {
        tri[0][k] = t0[k];
        tri[1][k] = t1[k];
    }
}

TEST(Fill, BlendedTypesApplyTheirChannelRule)
{
    TestTexture tex = Colourful(16);
    TestTexture env(16, 16, [](int x, int y) { return (uint32_t)(x * 16) << 16 | (uint32_t)(y * 16); });
    FillVertex q[2][3];
    FullQuad(q);
    const uint32_t frame = 0x00406080;
    auto channel = [](uint32_t p, int shift) { return (int)(p >> shift & 255); };
    auto combine = [&](auto op) {
        uint32_t out = 0;
        for (int shift = 0; shift <= 16; shift += 8)
            out |= (uint32_t)op(shift) << shift;
        return out;
    };
    for (int type : {5, 7, 9, 10, 13}) {
        TestSurface s(8, 8, frame);
        for (auto& t : q) {
            switch (type) {
            case 5: FillTextureLit(t, &s, &tex, BlendMultiply, 200); break;
            case 7: FillTextureEnv(t, &s, &tex, BlendAdd, &env); break;
            case 9: FillTextureOver(t, &s, &tex, BlendScreen); break;
            case 10: FillColourOver(t, &s, 10, 200, 250, BlendAdd); break;
            case 13: FillTextureGouraud(t, &s, &tex, BlendMultiply); break;
            }
        }
        for (int y = 0; y < 8; y++)
            for (int x = 0; x < 8; x++) {
                uint32_t texel = tex.pixels[y * 16 + x], e = env.pixels[y * 16 + x];
                uint32_t want = combine([&](int sh) {
                    int a = channel(texel, sh), f = channel(frame, sh);
                    switch (type) {
                    case 5: return a * 200 / 256;
                    case 7: return std::min(a + channel(e, sh), 255);
                    case 9: return (255 * a + f * (255 - a)) / 256;
                    case 10: return std::min(f + (sh == 16 ? 10 : sh == 8 ? 200 : 250), 255);
                    default: return 0; // intensity 0 at every corner
                    }
                });
                ASSERT_EQ(s.At(x, y), want) << "type " << type << " at " << x << "," << y;
            }
    }
}

TEST(Fill, TextureOverBlackWithAddShowsTextureAndFirstKeepsFrame)
{
    TestTexture tex = Colourful(16);
    FillVertex q[2][3];
    FullQuad(q);
    TestSurface added(8, 8, 0), kept(8, 8, 0x00123456);
    for (auto& t : q) {
        FillTextureOver(t, &added, &tex, BlendAdd);
        FillTextureOver(t, &kept, &tex, BlendFirst);
    }
    for (int y = 0; y < 8; y++)
        for (int x = 0; x < 8; x++) {
            EXPECT_EQ(added.At(x, y), tex.pixels[y * 16 + x] & 0xFFFFFF);
            EXPECT_EQ(kept.At(x, y), 0x00123456u);
        }
}
