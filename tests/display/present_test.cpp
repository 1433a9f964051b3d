// The mode choice and the presentation copies over plain mode lists and buffers.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "display/present.h"

namespace {

constexpr uint32_t kSentinel = 0xDEADBEEF;

VideoMode Mode(int32_t w, int32_t h, int32_t depth, uint32_t format = 0)
{
    return {w, h, depth, depth == 16 ? 0x07E0u : 0x0000FF00u, format};
}

std::vector<uint32_t> Pattern(int32_t w, int32_t h)
{
    std::vector<uint32_t> frame(size_t(w) * size_t(h));
    for (int32_t y = 0; y < h; y++)
        for (int32_t x = 0; x < w; x++)
            frame[size_t(y) * w + x] = uint32_t((x * 7 + y) & 255) << 16 | uint32_t(y & 255) << 8 | uint32_t((x ^ y) & 255);
    return frame;
}

// A locked surface over a buffer filled with a sentinel, so untouched bytes show.
struct FakeSurface {
    std::vector<uint8_t> bytes;
    VideoSurface surface;

    FakeSurface(int32_t w, int32_t h, int32_t depth, int32_t pitch, uint32_t greenMask = 0x0000FF00)
        : bytes(size_t(pitch) * size_t(h))
    {
        for (size_t i = 0; i < bytes.size(); i += 4)
            std::memcpy(&bytes[i], &kSentinel, 4);
        surface = {bytes.data(), w, h, pitch, depth, greenMask};
    }
    uint32_t Pixel32(int32_t x, int32_t y) const
    {
        uint32_t p;
        std::memcpy(&p, &bytes[size_t(y) * surface.pitch + size_t(x) * 4], 4);
        return p;
    }
    uint16_t Pixel16(int32_t x, int32_t y) const
    {
        uint16_t p;
        std::memcpy(&p, &bytes[size_t(y) * surface.pitch + size_t(x) * 2], 2);
        return p;
    }
    bool Untouched() const
    {
        for (size_t i = 0; i + 4 <= bytes.size(); i += 4)
            if (std::memcmp(&bytes[i], &kSentinel, 4) != 0)
                return false;
        return true;
    }
};

struct ModeCase {
    const char* name;
    std::vector<VideoMode> modes;
    bool found;
    int32_t width, height, depth;
    uint32_t format;
};

TEST(ChooseDisplayMode, PicksSmallestFitting32BitThen16Bit)
{
    const ModeCase cases[] = {
        {"exact size wins", {Mode(640, 480, 32), Mode(320, 200, 32)}, true, 320, 200, 32, 0},
        {"smallest larger", {Mode(800, 600, 32), Mode(640, 480, 32), Mode(1024, 768, 32)}, true, 640, 480, 32, 0},
        {"first of equal areas", {Mode(640, 480, 32, 1), Mode(480, 640, 32, 2), Mode(640, 480, 32, 3)}, true, 640, 480, 32, 1},
        {"too narrow or too low skipped", {Mode(319, 1000, 32), Mode(1000, 199, 32), Mode(800, 600, 32)}, true, 800, 600, 32, 0},
        {"32 bits before a smaller 16", {Mode(320, 200, 16), Mode(1024, 768, 32)}, true, 1024, 768, 32, 0},
        {"16 bits when no 32 fits", {Mode(256, 192, 32), Mode(640, 480, 16), Mode(320, 240, 16)}, true, 320, 240, 16, 0},
        {"other depths ignored", {Mode(320, 200, 24), Mode(320, 200, 8), Mode(640, 480, 32)}, true, 640, 480, 32, 0},
        {"area overflowing 32 bits", {Mode(65536, 65536, 32), Mode(1280, 1024, 32)}, true, 1280, 1024, 32, 0},
        {"area at the limit never taken", {Mode(65536, 65536, 32), Mode(46341, 46341, 32)}, false, 0, 0, 0, 0},
        {"nothing fits", {Mode(256, 192, 32), Mode(300, 200, 16)}, false, 0, 0, 0, 0},
        {"empty list", {}, false, 0, 0, 0, 0},
    };
    for (const ModeCase& c : cases) {
        SCOPED_TRACE(c.name);
        VideoMode chosen{-7, -7, -7, 0, 99};
        bool found = ChooseDisplayMode(c.modes.data(), int32_t(c.modes.size()), 320, 200, &chosen);
        ASSERT_EQ(found, c.found);
        if (!found) {
            EXPECT_EQ(chosen.width, -7);  // left alone
            continue;
        }
        EXPECT_EQ(chosen.width, c.width);
        EXPECT_EQ(chosen.height, c.height);
        EXPECT_EQ(chosen.depth, c.depth);
        EXPECT_EQ(chosen.format, c.format);
    }
}

TEST(PresentDoubling, NeedsTwiceTheFrameBothWays)
{
    struct {
        int32_t modeWidth, modeHeight, expected;
    } cases[] = {{640, 400, 1}, {639, 480, 0}, {640, 399, 0}, {1280, 1024, 1}, {320, 200, 0}, {400, 300, 0}};
    for (const auto& c : cases)
        EXPECT_EQ(PresentDoubling(320, 200, c.modeWidth, c.modeHeight), c.expected) << c.modeWidth << "x" << c.modeHeight;
}

TEST(PresentCopyFullScreen, CopiesRowsUndoubledInExactMode)
{
    std::vector<uint32_t> frame = Pattern(320, 200);
    FakeSurface s(320, 200, 32, 1312);  // pitch wider than a row
    ASSERT_TRUE(PresentCopyFullScreen(frame.data(), 320, 200, 320, 200, s.surface));
    for (int32_t y = 0; y < 200; y++) {
        for (int32_t x = 0; x < 320; x++)
            ASSERT_EQ(s.Pixel32(x, y), frame[size_t(y) * 320 + x]) << x << "," << y;
        for (int32_t x = 320; x < 328; x++)
            ASSERT_EQ(s.Pixel32(x, y), kSentinel) << "row padding written at " << x << "," << y;
    }
}

TEST(PresentCopyFullScreen, DoublesAndCentresIn640x480)
{
    std::vector<uint32_t> frame = Pattern(320, 200);
    FakeSurface s(640, 480, 32, 640 * 4);
    ASSERT_TRUE(PresentCopyFullScreen(frame.data(), 320, 200, 640, 480, s.surface));
    for (int32_t y = 0; y < 480; y++) {
        for (int32_t x = 0; x < 640; x++) {
            bool inside = y >= 40 && y < 440;
            uint32_t expected = inside ? frame[size_t((y - 40) / 2) * 320 + x / 2] : kSentinel;
            ASSERT_EQ(s.Pixel32(x, y), expected) << x << "," << y;
        }
    }
}

TEST(PresentCopyFullScreen, CentresUndoubledWhenLessThanTwice)
{
    std::vector<uint32_t> frame = Pattern(320, 200);
    FakeSurface s(400, 300, 32, 400 * 4);
    ASSERT_TRUE(PresentCopyFullScreen(frame.data(), 320, 200, 400, 300, s.surface));
    EXPECT_EQ(s.Pixel32(39, 50), kSentinel);
    EXPECT_EQ(s.Pixel32(40, 49), kSentinel);
    EXPECT_EQ(s.Pixel32(40, 50), frame[0]);
    EXPECT_EQ(s.Pixel32(359, 249), frame[199 * 320 + 319]);
    EXPECT_EQ(s.Pixel32(360, 249), kSentinel);
    EXPECT_EQ(s.Pixel32(359, 250), kSentinel);
}

TEST(PixelConversion, FiveSixFiveAndFiveFiveFive)
{
    struct {
        uint32_t pixel;
        uint16_t p565, p555;
    } cases[] = {
        {0x00FFFFFF, 0xFFFF, 0x7FFF}, {0x00FF0000, 0xF800, 0x7C00}, {0x0000FF00, 0x07E0, 0x03E0},
        {0x000000FF, 0x001F, 0x001F}, {0x00123456, 0x11AA, 0x08CA}, {0xFF000000, 0x0000, 0x0000},
        {0x00070307, 0x0000, 0x0000}, {0x00080408, 0x0821, 0x0401},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(PixelTo565(c.pixel), c.p565) << std::hex << c.pixel;
        EXPECT_EQ(PixelTo555(c.pixel), c.p555) << std::hex << c.pixel;
    }
}

TEST(PresentCopyFullScreen, SixteenBitsConvertByGreenMaskAndNeverDouble)
{
    std::vector<uint32_t> frame = Pattern(320, 200);
    struct {
        uint32_t greenMask;
        bool is565;
    } cases[] = {{0x07E0, true}, {0x07FF, true}, {0x03E0, false}, {0, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.greenMask);
        FakeSurface s(640, 480, 16, 640 * 2, c.greenMask);
        ASSERT_TRUE(PresentCopyFullScreen(frame.data(), 320, 200, 640, 480, s.surface));
        for (int32_t y = 0; y < 480; y++) {
            for (int32_t x = 0; x < 640; x++) {
                bool inside = x >= 160 && x < 480 && y >= 140 && y < 340;
                uint16_t expected = 0xBEEF;  // the sentinel's low half, little-endian
                if (x % 2)
                    expected = 0xDEAD;
                if (inside) {
                    uint32_t p = frame[size_t(y - 140) * 320 + (x - 160)];
                    expected = c.is565 ? PixelTo565(p) : PixelTo555(p);
                }
                ASSERT_EQ(s.Pixel16(x, y), expected) << x << "," << y;
            }
        }
    }
}

TEST(PresentCopyFullScreen, DrawsNothingItCannotDrawSafely)
{
    std::vector<uint32_t> frame = Pattern(320, 200);
    struct {
        const char* name;
        int32_t modeWidth, modeHeight, width, height, depth, pitch;
    } cases[] = {
        {"24-bit surface", 640, 480, 640, 480, 24, 640 * 3},
        {"8-bit surface", 640, 480, 640, 480, 8, 640},
        {"mode doubles but surface holds one frame", 640, 400, 320, 200, 32, 1280},
        {"surface narrower than the frame", 320, 200, 319, 200, 32, 1280},
        {"surface lower than the frame", 320, 200, 320, 199, 32, 1280},
        {"pitch shorter than a row", 320, 200, 320, 200, 32, 1276},
        {"16-bit surface too small", 320, 200, 320, 100, 16, 640},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeSurface s(c.width, c.height, c.depth, c.pitch);
        EXPECT_FALSE(PresentCopyFullScreen(frame.data(), 320, 200, c.modeWidth, c.modeHeight, s.surface));
        EXPECT_TRUE(s.Untouched());
    }
}

TEST(PresentCopyWindowed, KeepsTopRowOnTopForEitherRowOrder)
{
    std::vector<uint32_t> frame = Pattern(64, 40);
    // Top-down picture with padded rows.
    FakeSurface down(64, 40, 32, 64 * 4 + 16);
    PresentCopyWindowed(frame.data(), 64, 40, down.surface);
    for (int32_t y = 0; y < 40; y++) {
        for (int32_t x = 0; x < 64; x++)
            ASSERT_EQ(down.Pixel32(x, y), frame[size_t(y) * 64 + x]);
        ASSERT_EQ(down.Pixel32(64, y), kSentinel);
    }
    // Bottom-up picture: its first row in memory is the bottom one.
    FakeSurface up(64, 40, 32, 64 * 4);
    VideoSurface bottomUp = up.surface;
    bottomUp.pixels += size_t(39) * 64 * 4;
    bottomUp.pitch = -64 * 4;
    PresentCopyWindowed(frame.data(), 64, 40, bottomUp);
    for (int32_t y = 0; y < 40; y++)
        for (int32_t x = 0; x < 64; x++)
            ASSERT_EQ(up.Pixel32(x, 39 - y), frame[size_t(y) * 64 + x]);
}

}  // namespace
