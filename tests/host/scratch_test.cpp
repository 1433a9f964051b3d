#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "host/scratch.h"

namespace {

class Scratch : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(ScratchPoolCreate(1024)); }
    void TearDown() override { ScratchPoolDestroy(); }
    const ScratchPool& pool = ScratchPoolState();
    bool InPool(const void* p) const
    {
        return (const uint8_t*)p >= pool.base && (const uint8_t*)p < pool.base + pool.capacity;
    }
};

TEST_F(Scratch, ReverseOrderEmptiesThePool)
{
    void* a = ScratchAlloc(100);
    void* b = ScratchAlloc(40);
    EXPECT_TRUE(InPool(a));
    EXPECT_TRUE(InPool(b));
    EXPECT_EQ((uint8_t*)a, pool.base + sizeof(ScratchHeader));
    EXPECT_EQ((uint8_t*)b, (uint8_t*)a + ScratchBlockBytes(100));
    EXPECT_EQ(pool.top, ScratchBlockBytes(100) + ScratchBlockBytes(40));
    std::memset(a, 0xAB, 100);
    std::memset(b, 0xCD, 40);
    ScratchFree(b);
    EXPECT_EQ(pool.top, ScratchBlockBytes(100));
    ScratchFree(a);
    EXPECT_EQ(pool.top, 0u);
    EXPECT_EQ(pool.head, nullptr);
}

TEST_F(Scratch, BlocksAreSixteenByteAligned)
{
    void* p[5];
    const uint32_t sizes[] = {0, 1, 7, 15, 33};
    for (int i = 0; i < 5; ++i) {
        p[i] = ScratchAlloc(sizes[i]);
        EXPECT_EQ((uintptr_t)p[i] % 16, 0u) << "request " << sizes[i];
    }
    for (int i = 4; i >= 0; --i)
        ScratchFree(p[i]);
    EXPECT_EQ(pool.top, 0u);
}

TEST_F(Scratch, ZeroBytesStillTakesAHeader)
{
    void* p = ScratchAlloc(0);
    EXPECT_EQ(pool.top, sizeof(ScratchHeader));
    ScratchFree(p);
    EXPECT_EQ(pool.top, 0u);
}

TEST_F(Scratch, OverflowGoesToTheHeapAndComesBack)
{
    void* a = ScratchAlloc(500);
    void* big = ScratchAlloc(600);  // does not fit beside a
    EXPECT_FALSE(InPool(big));
    std::memset(big, 1, 600);
    uint32_t topAfterBig = pool.top;
    void* c = ScratchAlloc(200);  // still fits below the heap block's place
    EXPECT_TRUE(InPool(c));
    EXPECT_EQ(pool.top, topAfterBig + ScratchBlockBytes(200));
    ScratchFree(c);
    EXPECT_EQ(pool.top, topAfterBig);
    ScratchFree(big);
    EXPECT_EQ(pool.top, topAfterBig);
    ScratchFree(a);
    EXPECT_EQ(pool.top, 0u);
    EXPECT_EQ(pool.head, nullptr);
}

TEST_F(Scratch, ExactFitStaysInThePool)
{
    void* p = ScratchAlloc(1024 - sizeof(ScratchHeader));
    EXPECT_TRUE(InPool(p));
    EXPECT_EQ(pool.top, 1024u);
    void* q = ScratchAlloc(0);
    EXPECT_FALSE(InPool(q));
    ScratchFree(q);
    ScratchFree(p);
    EXPECT_EQ(pool.top, 0u);
}

TEST_F(Scratch, LargeRequestOverAPartlyUsedPool)
{
    void* a = ScratchAlloc(16);
    void* p = ScratchAlloc(1 << 20);
    EXPECT_FALSE(InPool(p));
    EXPECT_EQ(pool.top, ScratchBlockBytes(16));
    ScratchFree(p);
    ScratchFree(a);
    EXPECT_EQ(pool.top, 0u);
}

using ScratchDeathTest = Scratch;

TEST_F(ScratchDeathTest, OutOfOrderFreeIsFatal)
{
    void* a = ScratchAlloc(16);
    void* b = ScratchAlloc(16);
    EXPECT_EXIT(ScratchFree(a), testing::ExitedWithCode(1),
                "Out of order scratch pool free 0x.*, not end of the pool\\.");
    ScratchFree(b);
    ScratchFree(a);
    EXPECT_EXIT(ScratchFree(a), testing::ExitedWithCode(1), "Out of order scratch pool free");
}

}  // namespace
