// Sound output: blocks, ring and position records, offline rendering, and start, stop and free
// while the mixing thread runs (also under ThreadSanitizer). Uses SDL's dummy audio driver.
#include "sound/music.h"
#include "tests/sound/xm_builder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace {

// Speed 1, so every tick (882 frames at 125 BPM) is a new row: positions move in each block.
std::vector<uint8_t> RowPerTickModule()
{
    XmModule m;
    m.channels = 2;
    m.tempo = 1;
    m.orders = {0, 1, 0, 1, 0};
    m.patterns.assign(2, XmPattern{});
    m.instruments = {XmToneInstrument(100, 1)};
    for (int p = 0; p < 2; p++)
        for (int row = 0; row < 64; row += 8)
            m.patterns[size_t(p)].At(row, row / 8 % 2, 2) = XmCell{uint8_t(40 + row / 4 + p), 1};
    return XmBuild(m);
}

std::vector<int> RenderPositions(int blocks, std::vector<int16_t>* pcm = nullptr)
{
    std::vector<int> positions;
    std::vector<int16_t> block(MUSIC_BLOCK_FRAMES * 2);
    EXPECT_TRUE(MusicRenderBegin());
    for (int i = 0; i < blocks; i++) {
        positions.push_back(MusicRenderBlock(block.data()));
        if (pcm)
            pcm->insert(pcm->end(), block.begin(), block.end());
    }
    MusicRenderEnd();
    return positions;
}

class Output : public ::testing::Test {
protected:
    std::vector<uint8_t> module = RowPerTickModule();
    void SetUp() override { ASSERT_EQ(MusicLoad(module.data(), int(module.size())), 0); }
    void TearDown() override { MusicFree(); }
};

TEST(OutputConstants, BlockAndRing)
{
    EXPECT_EQ(MUSIC_BLOCK_FRAMES, 884);
    EXPECT_EQ(MUSIC_RING_BLOCKS * MUSIC_BLOCK_FRAMES, 88400);
    EXPECT_FALSE(MusicPlay());  // nothing loaded
    EXPECT_FALSE(MusicFree());
    EXPECT_EQ(MusicGetPosition(), 0);
    EXPECT_FALSE(MusicRenderBegin());
    EXPECT_EQ(MusicRenderBlock(nullptr), -1);
}

TEST_F(Output, OfflinePositionsFollowTicksAcrossBlocks)
{
    std::vector<int> positions = RenderPositions(210);
    // 882-frame rows in 884-frame blocks: a block ends in row k + 1 (ticks at frames 0 and
    // 882 fall in block 0), until the two-frame drift has added up to a whole row.
    EXPECT_EQ(positions[0], 0x0001);
    EXPECT_EQ(positions[1], 0x0002);
    EXPECT_EQ(positions[62], 0x003F);
    EXPECT_EQ(positions[63], 0x0100);
    bool sawOrder3Row10 = false;
    for (size_t i = 1; i < positions.size(); i++) {
        EXPECT_GT(positions[i], positions[i - 1]) << i;
        sawOrder3Row10 |= positions[i] == 0x030A;
    }
    EXPECT_TRUE(sawOrder3Row10);
    EXPECT_EQ(MusicGetPosition(), 0);  // rendering ended
}

TEST_F(Output, OfflineRenderingRestartsFromWhereTheSongStands)
{
    std::vector<int16_t> first, again;
    RenderPositions(30, &first);
    std::vector<int> positions = RenderPositions(30, &again);
    EXPECT_EQ(positions[0], 0x001F);  // the song went on from row 30, where it stood
    EXPECT_NE(first, again);
    bool sound = false;
    for (int16_t v : first)
        sound |= v != 0;
    EXPECT_TRUE(sound);
}

TEST_F(Output, PositionIsZeroBeforePlayAndAfterStop)
{
    EXPECT_EQ(MusicGetPosition(), 0);
    std::vector<int> offline = RenderPositions(25);
    MusicFree();
    ASSERT_EQ(MusicLoad(module.data(), int(module.size())), 0);
    ASSERT_TRUE(MusicPlay());
    // Right after the start the device plays block 0, or on a busy machine one a little later:
    // the position is that of the block heard, not of the 2 s mixed ahead.
    int position = MusicGetPosition();
    EXPECT_LE(position, offline[24]);
    EXPECT_GE(position, offline[0]);
    EXPECT_TRUE(MusicFree());
    EXPECT_EQ(MusicGetPosition(), 0);
    EXPECT_FALSE(MusicFree());
}

TEST_F(Output, PositionsAdvanceWhilePlaying)
{
    ASSERT_TRUE(MusicPlay());
    int start = MusicGetPosition();
    int later = start;
    for (int i = 0; i < 200 && later <= start + 3; i++) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        later = MusicGetPosition();
    }
    EXPECT_GT(later, start + 3);
}

TEST_F(Output, PlayAgainRestartsAndLoadReplacesAPlayingSong)
{
    ASSERT_TRUE(MusicPlay());
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_TRUE(MusicPlay());
    EXPECT_GT(MusicGetPosition(), 0);  // restarted from where the song stood: 2 s ahead
    ASSERT_EQ(MusicLoad(module.data(), int(module.size())), 0);
    EXPECT_EQ(MusicGetPosition(), 0);  // the old song was stopped and freed
    ASSERT_TRUE(MusicPlay());
    std::vector<uint8_t> garbage(500, 0x55);
    EXPECT_EQ(MusicLoad(garbage.data(), int(garbage.size())), MUSIC_LOAD_FAILED);
    EXPECT_GE(MusicGetPosition(), 0);  // a failed load leaves the playing song alone
}

TEST_F(Output, StartStopAndFreeWithAReaderOnAnotherThread)
{
    std::atomic<bool> done{false};
    std::atomic<int> reads{0};
    std::thread reader([&] {
        while (!done.load()) {
            int position = MusicGetPosition();
            EXPECT_GE(position, 0);
            EXPECT_LT(position, 0x10000);
            reads++;
            std::this_thread::yield();
        }
    });
    for (int round = 0; round < 12; round++) {
        // EXPECT, not ASSERT: the reader thread must be joined whatever happens.
        if (round > 0) {
            EXPECT_EQ(MusicLoad(module.data(), int(module.size())), 0);
        }
        EXPECT_TRUE(MusicPlay());
        std::this_thread::sleep_for(std::chrono::milliseconds(round % 3 * 15));
        if (round % 2) {
            EXPECT_TRUE(MusicPlay());
        }
        EXPECT_TRUE(MusicFree());
    }
    done = true;
    reader.join();
    EXPECT_GT(reads.load(), 0);
}

}  // namespace
