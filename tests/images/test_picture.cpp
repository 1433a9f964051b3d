// Pictures, alpha maps and textures loaded from an archive, and the loaders' fatal messages.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>

#include "files/archive_writer.h"
#include "host/archive.h"
#include "host/picture.h"
#include "image_fixtures.h"
#include "images/png_writer.h"

namespace {

// Each test runs in its own process, several at once in one directory: one archive each.
const std::string& ArchiveName() {
    static const std::string name = "images_picture_test_" + std::to_string(std::random_device{}()) + ".pak";
    return name;
}

// A bottom-up 24-bit Targa whose pixel (x, y) is (x, y, x + y) and a grey one of value 10y + x.
Bytes ColourTga(int w, int h) {
    Bytes t = TgaHeader(2, 0, 0, 0, w, h, 24, 0x20);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) Append(t, {uint8_t(x + y), uint8_t(y), uint8_t(x)});
    return t;
}

Bytes GreyTga(int w, int h) {
    Bytes t = TgaHeader(3, 0, 0, 0, w, h, 8, 0x20);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) t.push_back(uint8_t(10 * y + x));
    return t;
}

Bytes Png(int w, int h) {
    Bytes rgba = TestPicture(w, h, true), png;
    PngEncode(png, rgba.data(), w, h, w * 4, PngRGBA);
    return png;
}

class Picture : public testing::Test {
protected:
    static void SetUpTestSuite() {
        Bytes cut = ColourTga(4, 4);
        cut.resize(cut.size() - 5);
        std::vector<ArchiveItem> items = {
            {"colour.tga", false, ColourTga(8, 6)},
            {"alpha_short.tga", false, GreyTga(8, 3)},
            {"alpha_wide.tga", false, GreyTga(10, 10)},
            {"pictures/tex.png", false, Png(16, 8)},
            {"big.png", false, Png(256, 256)},
            {"odd.png", false, Png(12, 8)},
            {"junk.bin", false, Bytes(64, 0x42)},
            {"cut.tga", false, cut},
        };
        std::vector<uint8_t> archive;
        std::string error;
        ASSERT_TRUE(ArchiveBuild(items, ArchiveOptions{true, true}, &archive, &error)) << error;
        WriteFileBytes(ArchiveName(), archive);
        ASSERT_TRUE(OpenArchive(ArchiveName().c_str()));
    }
    static void TearDownTestSuite() {
        CloseFileSystems();
        std::remove(ArchiveName().c_str());
    }
};

TEST_F(Picture, BitmapLoadGivesOpaqueArgb) {
    Bitmap b{};
    ASSERT_TRUE(BitmapLoad(b, "colour.tga"));
    ASSERT_EQ(b.width, 8u);
    ASSERT_EQ(b.height, 6u);
    for (uint32_t y = 0; y < 6; y++)
        for (uint32_t x = 0; x < 8; x++)
            ASSERT_EQ(b.pixels[y * 8 + x], 0xFF000000u | x << 16 | y << 8 | (x + y)) << x << "," << y;
    BitmapRelease(b);
    EXPECT_EQ(b.pixels, nullptr);
}

TEST_F(Picture, AlphaOnlyWhereThePicturesOverlap) {
    Bitmap b{};
    ASSERT_TRUE(BitmapLoadWithAlpha(b, "colour.tga", "alpha_short.tga"));
    for (uint32_t y = 0; y < 6; y++)
        for (uint32_t x = 0; x < 8; x++)
            ASSERT_EQ(b.pixels[y * 8 + x] >> 24, y < 3 ? 10 * y + x : 255u) << x << "," << y;
    EXPECT_EQ(b.pixels[2 * 8 + 5] & 0xFFFFFF, 5u << 16 | 2u << 8 | 7u);
    BitmapRelease(b);
    // A wider alpha picture: its own rows advance by its own width, the extra columns unused.
    ASSERT_TRUE(BitmapLoadWithAlpha(b, "colour.tga", "alpha_wide.tga"));
    for (uint32_t y = 0; y < 6; y++)
        for (uint32_t x = 0; x < 8; x++) ASSERT_EQ(b.pixels[y * 8 + x] >> 24, 10 * y + x) << x << "," << y;
    BitmapRelease(b);
}

TEST_F(Picture, AlphaMapIsGrey) {
    AlphaMap map{};
    ASSERT_TRUE(AlphaMapLoad(map, "alpha_short.tga"));
    EXPECT_EQ(map.width, 8u);
    EXPECT_EQ(map.height, 3u);
    EXPECT_EQ(map.pixels[2 * 8 + 7], 27);
    AlphaMapRelease(map);
    EXPECT_EQ(map.pixels, nullptr);
    EXPECT_EQ(map.width, 0u);
}

TEST_F(Picture, TextureMasksAndShift) {
    struct Case {
        const char* name;
        int32_t widthMask, heightMask;
        uint32_t widthShift;
    };
    for (const Case& c : {Case{"pictures/tex.png", 15, 7, 4}, Case{"big.png", 255, 255, 8}}) {
        Texture t{};
        ASSERT_TRUE(TextureLoad(t, c.name));
        EXPECT_EQ(t.widthMask, c.widthMask) << c.name;
        EXPECT_EQ(t.heightMask, c.heightMask) << c.name;
        EXPECT_EQ(t.widthShift, c.widthShift) << c.name;
        TextureRelease(t);
    }
}

// Death tests need a process to fork (not under WebAssembly).
#if GTEST_HAS_DEATH_TEST
TEST_F(Picture, FixedMessagesForEveryFailure) {
    Bitmap b{};
    Texture t{};
    EXPECT_EXIT(BitmapLoad(b, "missing.png"), testing::ExitedWithCode(1), "Can't open image 'missing.png'!");
    EXPECT_EXIT(BitmapLoad(b, "junk.bin"), testing::ExitedWithCode(1), "Can't read image header for 'junk.bin'!");
    EXPECT_EXIT(BitmapLoad(b, "cut.tga"), testing::ExitedWithCode(1), "Can't decode image 'cut.tga'!");
    EXPECT_EXIT(TextureLoad(t, "odd.png"), testing::ExitedWithCode(1), "Texture 'odd.png' is non-pow2!");
    EXPECT_EXIT(BitmapLoadWithAlpha(b, "colour.tga", "nothing.tga"), testing::ExitedWithCode(1),
                "Can't open image 'nothing.tga'!");
}
#endif

} // namespace
