// The device path writes exactly the PCM the offline driver yields: plays a module a few
// seconds through SDL's disk audio driver and compares the captured bytes.
#include "sound/music.h"
#include "tests/sound/xm_builder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

std::vector<uint8_t> TuneModule()
{
    XmModule m;
    m.channels = 3;
    m.tempo = 3;
    m.instruments = {XmToneInstrument(160, 1), XmToneInstrument(90, 2)};
    for (int row = 0; row < 64; row += 2)
        m.patterns[0].At(row, row / 2 % 3, 3) = XmCell{uint8_t(36 + row % 24), uint8_t(1 + row / 2 % 2), 0, 4, 0x34};
    return XmBuild(m);
}

std::vector<uint8_t> ReadAll(const std::string& path)
{
    std::vector<uint8_t> data;
    FILE* file = fopen(path.c_str(), "rb");
    if (!file)
        return data;
    uint8_t buffer[65536];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, file)) > 0)
        data.insert(data.end(), buffer, buffer + n);
    fclose(file);
    return data;
}

size_t FirstNonZero(const std::vector<uint8_t>& bytes)
{
    size_t i = 0;
    while (i < bytes.size() && bytes[i] == 0)
        i++;
    return i & ~size_t(3);
}

TEST(Device, DiskDriverCapturesTheOfflinePcm)
{
    std::string path = testing::TempDir() + "zenkor_sound_capture.raw";
    remove(path.c_str());
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", path.c_str(), 1);
    std::vector<uint8_t> module = TuneModule();

    ASSERT_EQ(MusicLoad(module.data(), int(module.size())), 0);
    std::vector<uint8_t> offline;
    std::vector<int16_t> block(MUSIC_BLOCK_FRAMES * 2);
    ASSERT_TRUE(MusicRenderBegin());
    for (int i = 0; i < 250; i++) {  // 5 s
        MusicRenderBlock(block.data());
        const uint8_t* bytes = reinterpret_cast<const uint8_t*>(block.data());
        offline.insert(offline.end(), bytes, bytes + block.size() * 2);
    }
    MusicRenderEnd();
    MusicFree();

    ASSERT_EQ(MusicLoad(module.data(), int(module.size())), 0);
    ASSERT_TRUE(MusicPlay());
    std::this_thread::sleep_for(std::chrono::milliseconds(3500));
    MusicFree();
    std::vector<uint8_t> captured = ReadAll(path);
    remove(path.c_str());

    // The driver writes silence while the device is paused, before and after the music.
    size_t start = FirstNonZero(captured);
    size_t offlineStart = FirstNonZero(offline);
    ASSERT_LT(start, captured.size());
    ASSERT_GE(start, offlineStart);
    size_t offset = start - offlineStart;
    size_t same = 0;
    while (offset + same < captured.size() && same < offline.size() && captured[offset + same] == offline[same])
        same++;
    EXPECT_GE(same, size_t(2 * MUSIC_MIX_RATE * 4)) << "identical bytes: " << same;
    // Whatever follows the identical stretch is the paused device's silence.
    for (size_t i = offset + same; i < captured.size(); i++)
        ASSERT_EQ(captured[i], 0) << "at byte " << i;
}

}  // namespace
