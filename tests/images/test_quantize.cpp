// The median-cut quantiser and the nearest-colour search.
#include <gtest/gtest.h>

#include <set>

#include "image_fixtures.h"
#include "images/quantize.h"

namespace {

uint32_t Rgb(const uint8_t* p) { return uint32_t(p[0]) << 16 | p[1] << 8 | p[2]; }

TEST(MedianCut, OneColourGivesOneEntry) {
    Bytes rgb;
    for (int i = 0; i < 12; i++) Append(rgb, {40, 50, 60});
    uint8_t palette[kImagePaletteBytes];
    memset(palette, 0xAB, sizeof palette);
    ASSERT_EQ(MedianCutPalette(rgb.data(), 4, 3, 12, palette, 256), 1);
    EXPECT_EQ(Bytes(palette, palette + 3), (Bytes{40, 50, 60}));
    EXPECT_EQ(palette[3], 0xAB); // entries past the count are left alone
    Bytes indices(12, 9);
    QuantizeMap(rgb.data(), 4, 3, 12, palette, 1, indices.data(), 4);
    EXPECT_EQ(indices, Bytes(12, 0));
}

TEST(MedianCut, RedAgainstBlueSplitsOnBlue) {
    // Red's extent only ties blue's, so blue is the split channel: sorted on blue the red
    // pixels (blue 0) come first and the halves are exactly the two colours.
    Bytes rgb;
    for (int i = 0; i < 8; i++) Append(rgb, i % 2 ? Bytes{0, 0, 255} : Bytes{255, 0, 0});
    uint8_t palette[kImagePaletteBytes] = {};
    ASSERT_EQ(MedianCutPalette(rgb.data(), 8, 1, 24, palette, 256), 2);
    EXPECT_EQ((std::set<uint32_t>{Rgb(palette), Rgb(palette + 3)}), (std::set<uint32_t>{0xFF0000, 0x0000FF}));
}

TEST(MedianCut, EntriesAreTruncatedMeansOfTheBoxes) {
    // Two grey levels far apart and, inside each, two near ones: with two entries allowed, each
    // entry is the truncated mean of its half.
    Bytes rgb = {10, 10, 10, 11, 11, 11, 200, 200, 200, 203, 203, 203};
    uint8_t palette[kImagePaletteBytes] = {};
    ASSERT_EQ(MedianCutPalette(rgb.data(), 4, 1, 12, palette, 2), 2);
    EXPECT_EQ((std::set<uint32_t>{Rgb(palette), Rgb(palette + 3)}), (std::set<uint32_t>{0x0A0A0A, 0xC9C9C9}));
}

TEST(MedianCut, StopsAtTheMaximumAndUsesTheStride) {
    const int w = 40, h = 30, stride = w * 3 + 5;
    Bytes rgb(size_t(stride) * h, 0);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            uint8_t* p = &rgb[size_t(y) * stride + x * 3];
            p[0] = uint8_t(x * 6), p[1] = uint8_t(y * 8), p[2] = uint8_t((x * y) & 0xFF);
        }
    uint8_t palette[kImagePaletteBytes] = {};
    for (int maximum : {1, 2, 7, 64, 256, 1000}) {
        int n = MedianCutPalette(rgb.data(), w, h, stride, palette, maximum);
        EXPECT_EQ(n, std::min(std::max(maximum, 1), 256)) << maximum;
    }
    // Padding bytes do not enter the palette: a picture of one colour with junk in the padding.
    Bytes flat(size_t(stride) * 2, 0xFF);
    for (int x = 0; x < w; x++) flat[x * 3] = flat[stride + x * 3] = 5, flat[x * 3 + 1] = flat[stride + x * 3 + 1] = 6,
                                flat[x * 3 + 2] = flat[stride + x * 3 + 2] = 7;
    EXPECT_EQ(MedianCutPalette(flat.data(), w, 2, stride, palette, 256), 1);
}

TEST(MedianCut, EmptyPictureGivesNoEntries) {
    uint8_t palette[kImagePaletteBytes];
    EXPECT_EQ(MedianCutPalette(nullptr, 0, 5, 0, palette, 256), 0);
}

TEST(MedianCut, FewColoursComeBackExactly) {
    // Splits fall at the pixel median, so one colour may end in several boxes; cutting stops
    // when every box holds a single colour, and each pixel then finds its own colour.
    const Bytes colours[] = {{0, 0, 0}, {255, 255, 255}, {12, 200, 7}, {90, 90, 91}, {255, 0, 128}};
    Bytes rgb;
    for (int i = 0; i < 50; i++) Append(rgb, colours[(i * 3) % 5]);
    uint8_t palette[kImagePaletteBytes] = {};
    int n = MedianCutPalette(rgb.data(), 50, 1, 150, palette, 256);
    ASSERT_GE(n, 5);
    ASSERT_LE(n, 50);
    Bytes indices(50);
    QuantizeMap(rgb.data(), 50, 1, 150, palette, n, indices.data(), 50);
    for (int i = 0; i < 50; i++) EXPECT_EQ(Bytes(palette + indices[i] * 3, palette + indices[i] * 3 + 3), colours[(i * 3) % 5]);
}

TEST(NearestColour, WeightedDistanceAndFirstOfEquals) {
    const uint8_t palette[] = {10, 24, 30, 16, 20, 30, 0, 0, 0};
    EXPECT_EQ(NearestColour(palette, 2, 10, 20, 30), 0); // 12 against 12: the first wins
    EXPECT_EQ(NearestColour(palette, 3, 1, 1, 1), 2);
    EXPECT_EQ(NearestColour(palette, 3, 16, 21, 30), 1);
    EXPECT_EQ(NearestColour(palette, 0, 1, 2, 3), 0);
    // Green weighs 3, red 2, blue 1.
    const uint8_t axes[] = {100, 0, 0, 0, 100, 0, 0, 0, 100};
    EXPECT_EQ(NearestColour(axes, 3, 0, 0, 0), 2);
    const uint8_t far[] = {255, 255, 255};
    EXPECT_EQ(NearestColour(far, 1, 0, 0, 0), 0);
}

} // namespace
