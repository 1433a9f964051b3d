// Real modules nobody here wrote (a Debian game-music package): each loads and renders ten
// seconds with sane output.
#include "sound/music.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace {

std::vector<std::filesystem::path> FindModules()
{
    std::vector<std::filesystem::path> found;
    for (const char* dir : {"/usr/share/games/pekka-kana-2", "/usr/share/games/bomberclone"}) {
        std::error_code error;
        if (!std::filesystem::is_directory(dir, error))
            continue;
        for (auto it = std::filesystem::recursive_directory_iterator(dir, error);
             !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
            std::string extension = it->path().extension().string();
            std::transform(extension.begin(), extension.end(), extension.begin(), ::tolower);
            if (extension == ".xm")
                found.push_back(it->path());
        }
    }
    std::sort(found.begin(), found.end());
    return found;
}

TEST(RealModules, EachLoadsAndRendersTenSecondsOfSound)
{
    std::vector<std::filesystem::path> modules = FindModules();
    if (modules.empty())
        GTEST_SKIP() << "no game-music package with .xm files installed";
    std::vector<int16_t> block(MUSIC_BLOCK_FRAMES * 2);
    for (const auto& path : modules) {
        SCOPED_TRACE(path.string());
        std::ifstream file(path, std::ios::binary);
        std::vector<uint8_t> data((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        ASSERT_EQ(MusicLoad(data.data(), int(data.size())), 0);
        ASSERT_TRUE(MusicRenderBegin());
        int loud = 0, clipped = 0, distinct = 0, previous = -1, backwards = 0;
        const int blocks = 10 * MUSIC_MIX_RATE / MUSIC_BLOCK_FRAMES;
        for (int i = 0; i < blocks; i++) {
            int position = MusicRenderBlock(block.data());
            if (position != previous)
                distinct++;
            if (position < previous)
                backwards++;  // only when the song loops back
            previous = position;
            for (int16_t v : block) {
                loud += std::abs(v) > 256;
                clipped += v == 32767 || v == -32768;
            }
        }
        MusicRenderEnd();
        int samples = blocks * MUSIC_BLOCK_FRAMES * 2;
        EXPECT_GT(loud, samples / 20);
        EXPECT_LT(clipped, samples / 100);
        EXPECT_GT(distinct, 20);
        EXPECT_LE(backwards, 1);
        EXPECT_TRUE(MusicFree());
    }
}

}  // namespace
