// Blob and ripple warps: the displacement field and the displaced texture lookup.
#include <gtest/gtest.h>

#include <cmath>

#include "effects/warp.h"
#include "tests/effects/effects_fixture.h"

static TestTexture IndexTexture()
{
    return TestTexture(256, 256, [](int x, int y) { return (uint32_t)(y << 8 | x); });
}

TEST(Warp, BlobFieldFarFromEveryBlobAndAtTheNegativeBlob)
{
    // 1024 x 1024 at time 0: blobs 0..3 at (512, 512), (704, 512), (512, 839.68), (704, 512).
    ASSERT_TRUE(BlobWarpCreate(1024, 1024));
    TestTexture tex = IndexTexture();
    TestSurface s(1024, 1024);
    BlobWarpRender(&s, &tex, 40.0f, 0);
    EXPECT_EQ(BlobWarpDisplacement(0, 0), 164);
    EXPECT_EQ(s.At(0, 0), (uint32_t)(164 << 8 | 164));
    EXPECT_EQ(s.At(100, 3), (uint32_t)(((3 + 164) & 255) << 8 | ((100 + 164) & 255)));
    EXPECT_EQ(BlobWarpDisplacement(512, 840), 104);
    BlobWarpDestroy();
}

TEST(Warp, BlobGridIsInterpolatedInFourByFourBlocks)
{
    ASSERT_TRUE(BlobWarpCreate(320, 200));
    TestTexture tex = IndexTexture();
    TestSurface s(320, 200);
    BlobWarpRender(&s, &tex, 40.0f, 12345);
    int varied = 0;
    for (int y = 0; y < 200; y += 4)
        for (int x = 0; x < 320; x += 4) {
            int tl = BlobWarpDisplacement(x, y), tr = BlobWarpDisplacement(x + 4, y);
            int bl = BlobWarpDisplacement(x, y + 4), br = BlobWarpDisplacement(x + 4, y + 4);
            // Corner cells keep their samples only where the next block has not rewritten
            // them; re-derive the block from the four samples as bilinear weights in 16ths.
            for (int r = 0; r < 4; r++)
                for (int i = 0; i < 4; i++) {
                    int left = 4 * tl + r * (bl - tl), right = 4 * tr + r * (br - tr);
                    int want = ((4 - i) * left + i * right) >> 4;
                    ASSERT_EQ(BlobWarpDisplacement(x + i, y + r), want) << x + i << "," << y + r;
                }
            varied += tl != tr;
        }
    EXPECT_GT(varied, 10);
    for (int y = 0; y < 200; y += 37)
        for (int x = 0; x < 320; x += 29) {
            int d = BlobWarpDisplacement(x, y);
            ASSERT_EQ(s.At(x, y), (uint32_t)(((y + d) & 255) << 8 | ((x + d) & 255)));
        }
    BlobWarpDestroy();
}

TEST(Warp, BlobRenderClipsToItsSizeAndNeedsCreation)
{
    TestTexture tex = IndexTexture();
    TestSurface s(64, 48, 9);
    BlobWarpRender(&s, &tex, 40.0f, 0); // not created: nothing
    EXPECT_EQ(s.At(0, 0), 9u);
    ASSERT_TRUE(BlobWarpCreate(32, 16));
    BlobWarpRender(&s, &tex, 40.0f, 0);
    EXPECT_NE(s.At(31, 15), 9u);
    EXPECT_EQ(s.At(32, 0), 9u);
    EXPECT_EQ(s.At(0, 16), 9u);
    BlobWarpDestroy();
}

TEST(Warp, RippleRingTable)
{
    ASSERT_TRUE(RippleWarpCreate(320, 200));
    EXPECT_EQ(RippleWarpRing(200, 320), 0);
    for (int j : {0, 100, 344, 639})
        for (int i : {0, 77, 200, 479}) {
            double r = std::sqrt((double)((i - 200) * (i - 200) + (j - 320) * (j - 320)));
            ASSERT_EQ(RippleWarpRing(i, j), (int)(17.5 * std::sin(r / 15.0)));
        }
    EXPECT_EQ(RippleWarpRing(200, 344), 17);
    RippleWarpDestroy();
}

TEST(Warp, RippleDisplacesByTheWindowDifference)
{
    ASSERT_TRUE(RippleWarpCreate(320, 200));
    TestTexture tex = IndexTexture();
    TestSurface s(320, 200);
    // Phase 0: window A at row 200, column 160; window B at row 100, column 320.
    RippleWarpRender(&s, 40.0f, &tex, 0);
    for (int y = 0; y < 200; y += 13)
        for (int x = 0; x < 320; x += 7) {
            int d = RippleWarpRing(200 + y, 160 + x) - RippleWarpRing(100 + y, 320 + x);
            ASSERT_EQ(s.At(x, y), (uint32_t)(((y + d) & 255) << 8 | ((x + d) & 255))) << x << "," << y;
        }
    RippleWarpDestroy();
}

// A narrow texture addressed through its own masks, on a target whose width leaves a
// remainder of three pixels per row: every pixel against the formula.
TEST(Warp, RippleOnASmallTextureAndAnOddWidth)
{
    ASSERT_TRUE(RippleWarpCreate(320, 200));
    TestTexture tex(64, 32, [](int x, int y) { return (uint32_t)(y << 8 | x); });
    TestSurface s(319, 9, 5);
    RippleWarpRender(&s, 40.0f, &tex, 4321);
    float e = 4321.0f / 40.0f;
    int rowA = 100 + (int)(100.0 * std::cos((double)(e / 14.0f)));
    int colA = 160 + (int)(160.0 * std::sin((double)(e / 10.0f)));
    int rowB = 100 + (int)(100.0 * std::sin((double)(e / 13.0f)));
    int colB = 160 + (int)(160.0 * std::cos((double)(e / 11.0f)));
    for (int y = 0; y < 9; y++)
        for (int x = 0; x < 319; x++) {
            int d = RippleWarpRing(rowA + y, colA + x) - RippleWarpRing(rowB + y, colB + x);
            ASSERT_EQ(s.At(x, y), (uint32_t)(((y + d) & 31) << 8 | ((x + d) & 63))) << x << "," << y;
        }
    RippleWarpDestroy();
}

TEST(Warp, RippleClipsToSmallTargets)
{
    ASSERT_TRUE(RippleWarpCreate(0, 0));
    TestTexture tex = IndexTexture();
    TestSurface s(10, 10, 1);
    RippleWarpRender(&s, 40.0f, &tex, 777);
    RippleWarpRender(&s, 0.0f, &tex, 777); // endless phase: offsets stay in the table
    RippleWarpDestroy();
    SUCCEED();
}
