// Ray-cast environments: fog table, view rotation, grid interpolation and the three casters.
#include <gtest/gtest.h>

#include <cmath>

#include "effects/raycast.h"
#include "host/scratch.h"
#include "tests/effects/effects_fixture.h"

TEST(Raycast, FogTable)
{
    for (int c : {0, 1, 128, 255}) {
        EXPECT_EQ(FogTable[c * 256 + 255], 0);
        EXPECT_EQ(FogTable[c * 256 + 0], (255 * c) >> 8);
        EXPECT_EQ(FogTable[c * 256 + 100], ((255 - 100) * c) >> 8);
    }
}

TEST(Raycast, GridFillDarkensEveryChannelAsTheFogTableSays)
{
    // One texel per fog level and colour: every (channel, level) pair is met.
    TestTexture tex(256, 1, [](int x, int) { return (uint32_t)(x * 0x010101) ^ 0xFF00A5u; });
    int32_t rows[4] = {0, 0, 0, 0}, cols[4] = {0, 8 * 256, 0, 8 * 256}, fog[4];
    RayGrid grid{rows, cols, fog, 2, 2};
    for (int level = 0; level < 256; level++) {
        fog[0] = fog[1] = fog[2] = fog[3] = level << 8;
        for (int start = 0; start < 256; start += 8) {
            cols[0] = cols[2] = start << 8;
            cols[1] = cols[3] = (start + 8) << 8;
            TestSurface s(8, 8);
            RayGridFill(&grid, &s, &tex);
            for (int x = 0; x < 8; x++) {
                uint32_t t = tex.pixels[start + x];
                uint32_t want = (uint32_t)FogTable[(t >> 16 & 255) * 256 + level] << 16 |
                                (uint32_t)FogTable[(t >> 8 & 255) * 256 + level] << 8 |
                                FogTable[(t & 255) * 256 + level];
                ASSERT_EQ(s.At(x, 3), want) << level << " " << start + x;
            }
        }
    }
}

TEST(Raycast, WholeAndPartialBlocksAgree)
{
    // A 7-pixel-wide target takes the pixel-by-pixel path, an 8-pixel one the four-at-a-time
    // path; their common columns must match for any grid values, wrapped ones included.
    TestTexture tex(64, 32, [](int x, int y) { return (uint32_t)(x * 0x030507 + y * 0x110D0B) | 0xFF000000u; });
    RandomSeed(21);
    auto wild = [] { return (int32_t)RandomWord(); };
    for (int n = 0; n < 300; n++) {
        int32_t rows[4], cols[4], fog[4];
        for (int i = 0; i < 4; i++) {
            rows[i] = n % 2 ? wild() : RandomNext() % 20000;
            cols[i] = n % 3 ? wild() : RandomNext() % 20000;
            fog[i] = n % 5 == 0 ? wild() : RandomWord() % 65536;
        }
        RayGrid grid{rows, cols, fog, 2, 2};
        TestSurface whole(8, 8), part(7, 8);
        RayGridFill(&grid, &whole, &tex);
        RayGridFill(&grid, &part, &tex);
        for (int y = 0; y < 8; y++)
            for (int x = 0; x < 7; x++)
                ASSERT_EQ(whole.At(x, y), part.At(x, y)) << n << ": " << x << "," << y;
    }
}

TEST(Raycast, CameraAndViewRotation)
{
    Camera c{1, 2, 3};
    CameraReset(&c);
    EXPECT_EQ(c.x, 0.0f);
    EXPECT_EQ(c.z, -128.0f);
    float m[9];
    ViewRotation(0, 0, 1024, m);
    for (int i = 0; i < 9; i++)
        EXPECT_NEAR(m[i], i % 4 == 0 ? 1.0f : 0.0f, 1e-6) << i;
    // A quarter turn of B: row 0 = (cos C cos B, sin C cos B, -sin B) = (0, 0, -1).
    ViewRotation(0, 256, 0, m);
    EXPECT_NEAR(m[2], -1.0f, 1e-6);
    EXPECT_NEAR(m[6], 1.0f, 1e-6);
}

namespace {
// A hand-made grid for an 8 x 8 target (2 x 2 corners).
struct SmallGrid {
    int32_t rowCoord[4], columnCoord[4], fog[4];
    RayGrid grid{rowCoord, columnCoord, fog, 2, 2};
    void Set(int32_t* a, int tl, int tr, int bl, int br)
    {
        a[0] = tl;
        a[1] = tr;
        a[2] = bl;
        a[3] = br;
    }
};
} // namespace

TEST(Raycast, GridFillInterpolatesTexelsBilinearly)
{
    TestTexture tex(16, 16, [](int x, int y) { return (uint32_t)(y * 16 + x); });
    SmallGrid g;
    g.Set(g.rowCoord, 0, 0, 8 * 256, 8 * 256);       // one texel row per pixel row
    g.Set(g.columnCoord, 0, 8 * 256, 0, 8 * 256);    // one texel column per pixel
    g.Set(g.fog, 0, 0, 0, 0);
    TestSurface s(8, 8, 0xFFFFFFFF);
    RayGridFill(&g.grid, &s, &tex);
    for (int y = 0; y < 8; y++)
        for (int x = 0; x < 8; x++)
            ASSERT_EQ(s.At(x, y), (uint32_t)FogTable[(y * 16 + x) * 256 + 0]) << x << "," << y;

    // Shifted and wrapping: start at texel (14, 3), run 16 texels over the block.
    g.Set(g.rowCoord, 3 * 256, 3 * 256, 3 * 256, 3 * 256);
    g.Set(g.columnCoord, 14 * 256, 30 * 256, 14 * 256, 30 * 256);
    RayGridFill(&g.grid, &s, &tex);
    for (int x = 0; x < 8; x++)
        EXPECT_EQ(s.At(x, 5), (uint32_t)FogTable[(3 * 16 + ((14 + 2 * x) & 15)) * 256]);
}

TEST(Raycast, GridFillFogLevels)
{
    TestTexture tex(8, 8, [](int, int) { return 0x00FFFFFFu; });
    SmallGrid g;
    g.Set(g.rowCoord, 0, 0, 0, 0);
    g.Set(g.columnCoord, 0, 0, 0, 0);
    g.Set(g.fog, 0, 0, 65535, 65535);
    TestSurface s(8, 8);
    RayGridFill(&g.grid, &s, &tex);
    for (int y = 0; y < 8; y++) {
        int level = (8 * y * 65535) >> 14;
        EXPECT_EQ(s.At(3, y), Grey(FogTable[255 * 256 + level])) << y;
    }
    g.Set(g.fog, 65535, 65535, 65535, 65535);
    RayGridFill(&g.grid, &s, &tex);
    EXPECT_EQ(s.At(0, 0), 0u);
}

TEST(Raycast, GridFillClipsPartialBlocks)
{
    TestTexture tex(8, 8, [](int, int) { return 0x00FFFFFFu; });
    TestSurface s(13, 5, 7);
    RayGrid grid;
    RayGridBorrow(&grid, 13, 5);
    EXPECT_EQ(grid.columns, 3);
    EXPECT_EQ(grid.rows, 2);
    for (int i = 0; i < 6; i++)
        grid.rowCoord[i] = grid.columnCoord[i] = grid.fog[i] = 0;
    RayGridFill(&grid, &s, &tex);
    RayGridReturn(&grid);
    for (uint32_t p : s.pixels)
        ASSERT_EQ(p, Grey(254));
    EXPECT_EQ(ScratchPoolState().top, 0u);
}

static TestTexture Bright()
{
    return TestTexture(256, 256, [](int x, int y) { return 0xFF000000u | (uint32_t)(128 + (x ^ y) % 128) * 0x010101u; });
}

TEST(Raycast, PlanesShowFloorCeilingAndABlackHorizon)
{
    TestTexture tex = Bright();
    TestSurface s(320, 200, 0x12345678);
    Camera cam;
    CameraReset(&cam);
    RaycastPlanes(&cam, &s, 1.0f, &tex, 0, 0, 0, 0.0f);
    EXPECT_EQ(cam.z, 0.0f);
    for (int y = 96; y < 104; y++)
        for (int x = 0; x < 320; x++)
            ASSERT_EQ(s.At(x, y), 0u) << x << "," << y;
    int lit = 0;
    for (int x = 0; x < 320; x++)
        lit += (s.At(x, 199) != 0) + (s.At(x, 0) != 0);
    EXPECT_GT(lit, 600);
    for (uint32_t p : s.pixels)
        ASSERT_EQ(p >> 24, 0u);
    EXPECT_EQ(ScratchPoolState().top, 0u);
}

TEST(Raycast, TunnelAxisRayIsBlack)
{
    // 16 x 16: grid point (1, 1) casts straight down the axis.
    TestTexture tex = Bright();
    TestSurface s(16, 16, 0x12345678);
    Camera cam;
    CameraReset(&cam);
    RaycastTunnel(&cam, &s, 1.0f, &tex, 0, 0, 0, 40.0f);
    EXPECT_EQ(cam.z, 40.0f);
    EXPECT_EQ(s.At(8, 8), 0u);
    EXPECT_NE(s.At(0, 0), 0u);
}

TEST(Raycast, SphereFromInsideCoversTheFrame)
{
    TestTexture tex = Bright();
    TestSurface s(320, 200, 0x12345678);
    Camera cam;
    CameraReset(&cam);
    RaycastSphere(&cam, &s, 1.0f, &tex, 0, 100, 300);
    EXPECT_EQ(cam.z, -128.0f);
    for (uint32_t p : s.pixels)
        ASSERT_EQ(p >> 24, 0u);
    EXPECT_EQ(ScratchPoolState().top, 0u);
}

TEST(Raycast, NothingWithoutATexture)
{
    TestSurface s(16, 16, 5);
    Camera cam;
    CameraReset(&cam);
    RaycastPlanes(&cam, &s, 1.0f, nullptr, 0, 0, 0, 0.0f);
    RaycastSphere(&cam, &s, 1.0f, nullptr, 0, 0, 0);
    for (uint32_t p : s.pixels)
        ASSERT_EQ(p, 5u);
}
