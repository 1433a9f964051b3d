// BMP, PCX, GIF and Targa on small hand-built files: layouts, edge cases, rejected headers,
// truncated and corrupt data.
#include <gtest/gtest.h>

#include <random>

#include "image_fixtures.h"
#include "images/png_writer.h"

namespace {

// ---- BMP

TEST(Bmp, TwentyFourBitRowsArePaddedAndStoredBottomUp) {
    // Width 3: 9 bytes of pixels and 3 of padding per row; the first file row is the bottom row.
    Bytes data = {1, 2, 3, 4, 5, 6, 7, 8, 9, 0xAA, 0xAA, 0xAA, 11, 12, 13, 14, 15, 16, 17, 18, 19, 0xBB, 0xBB, 0xBB};
    Decoded d = DecodeBytes(MakeBmp(3, 2, 24, 0, {}, data), nullptr, FormatRGB24);
    ASSERT_TRUE(d.read);
    EXPECT_EQ(d.pixels, (Bytes{13, 12, 11, 16, 15, 14, 19, 18, 17, 3, 2, 1, 6, 5, 4, 9, 8, 7}));
}

TEST(Bmp, EightBitWithNoColourCountReadsAFullPalette) {
    Bytes palette;
    for (int i = 0; i < 256; i++) Append(palette, {uint8_t(i), uint8_t(255 - i), uint8_t(i / 2), 0});
    Decoded d = DecodeBytes(MakeBmp(2, 1, 8, 0, palette, {200, 3, 0, 0}), nullptr, FormatIndexed8);
    ASSERT_TRUE(d.read);
    EXPECT_EQ(d.pixels, (Bytes{200, 3}));
    EXPECT_EQ(d.palette[200 * 3], 100);     // red
    EXPECT_EQ(d.palette[200 * 3 + 1], 55);  // green
    EXPECT_EQ(d.palette[200 * 3 + 2], 200); // blue
}

TEST(Bmp, ColoursUsedSetsThePaletteSize) {
    Bytes palette = {1, 2, 3, 0, 4, 5, 6, 0};
    Decoded d = DecodeBytes(MakeBmp(1, 1, 8, 2, palette, {1, 0, 0, 0}), nullptr, FormatRGB24);
    ASSERT_TRUE(d.read);
    EXPECT_EQ(d.pixels, (Bytes{6, 5, 4}));
}

TEST(Bmp, ThirtyTwoBitIsCopiedUnchanged) {
    Decoded d = DecodeBytes(MakeBmp(1, 2, 32, 0, {}, {1, 2, 3, 4, 5, 6, 7, 8}), nullptr, FormatARGB32);
    ASSERT_TRUE(d.read);
    EXPECT_EQ(d.pixels, (Bytes{5, 6, 7, 8, 1, 2, 3, 4}));
}

TEST(Bmp, NegativeHeightStoresRowsTopDown) {
    Decoded d = DecodeBytes(MakeBmp(1, -2, 24, 0, {}, {1, 2, 3, 0, 4, 5, 6, 0}), nullptr, FormatRGB24);
    ASSERT_TRUE(d.read);
    EXPECT_EQ(d.height, 2);
    EXPECT_EQ(d.pixels, (Bytes{3, 2, 1, 6, 5, 4}));
}

TEST(Bmp, OsTwoHeaderWithThreeBytePalette) {
    Bytes b = {'B', 'M'};
    AppendU32(b, 0);
    AppendU32(b, 0);
    AppendU32(b, 14 + 12 + 768 + 5); // five bytes of gap before the pixels
    AppendU32(b, 12);
    AppendU16(b, 2);
    AppendU16(b, 1);
    AppendU16(b, 1);
    AppendU16(b, 8);
    for (int i = 0; i < 256; i++) Append(b, {uint8_t(i), 7, uint8_t(255 - i)});
    Append(b, {9, 9, 9, 9, 9});
    Append(b, {10, 250, 0, 0});
    Decoded d = DecodeBytes(b, nullptr, FormatRGB24);
    ASSERT_TRUE(d.read);
    EXPECT_EQ(d.pixels, (Bytes{245, 7, 10, 5, 7, 250}));
}

TEST(Bmp, SixtyFourByteHeader) {
    // The 40-byte layout followed by 24 more bytes, which are passed over.
    Bytes b = MakeBmp(1, 1, 24, 0, {}, {1, 2, 3, 0});
    b[14] = 64;
    b[10] += 24;
    b.insert(b.begin() + 54, 24, 0xEE);
    Decoded d = DecodeBytes(b, nullptr, FormatRGB24);
    ASSERT_TRUE(d.read);
    EXPECT_EQ(d.pixels, (Bytes{3, 2, 1}));
}

TEST(Bmp, RejectsHeadersItCannotRead) {
    struct Patch {
        const char* what;
        size_t offset;
        Bytes value;
    };
    const Patch patches[] = {
        {"information header of 108 bytes", 14, {108, 0, 0, 0}},
        {"two planes", 26, {2, 0}},
        {"16 bits per pixel", 28, {16, 0}},
        {"run-length compression", 30, {1, 0, 0, 0}},
        {"300 colours used", 46, {0x2C, 0x01, 0, 0}},
        {"pixels inside the palette", 10, {60, 0, 0, 0}},
        {"zero width", 18, {0, 0, 0, 0}},
        {"negative width", 18, {0xFB, 0xFF, 0xFF, 0xFF}},
        {"width × height beyond the limit", 18, {0xFF, 0xFF, 0, 0}},
    };
    Bytes palette(256 * 4, 0);
    Bytes good = MakeBmp(2, 60000, 8, 0, palette, Bytes(4 * 60000, 0));
    ASSERT_TRUE(DecodeBytes(good, nullptr, FormatIndexed8).read);
    for (const Patch& p : patches) {
        Bytes bad = good;
        std::copy(p.value.begin(), p.value.end(), bad.begin() + p.offset);
        EXPECT_FALSE(DecodeBytes(bad, nullptr, FormatIndexed8).opened) << p.what;
    }
}

// ---- PCX

Bytes Pcx8(int w, int h, const Bytes& body, bool withPalette = true) {
    Bytes p = PcxHeader(w, h, 1, w);
    Append(p, body);
    if (withPalette) {
        p.push_back(12);
        for (int i = 0; i < 256; i++) Append(p, {uint8_t(i), uint8_t(i ^ 0xFF), uint8_t(i * 3)});
    }
    return p;
}

TEST(Pcx, RunsLiteralsAndEmptyRuns) {
    // 0xC3 0x7F writes three 0x7F; 0xC0 with any byte writes nothing.
    Decoded d = DecodeBytes(Pcx8(5, 1, {0xC3, 0x7F, 0xC0, 0x55, 0x01, 0x3F}), nullptr, FormatIndexed8);
    ASSERT_TRUE(d.read);
    EXPECT_EQ(d.pixels, (Bytes{0x7F, 0x7F, 0x7F, 0x01, 0x3F}));
    EXPECT_EQ(d.palette[5 * 3 + 1], 0xFA);
}

TEST(Pcx, ARunStopsAtTheEndOfItsLine) {
    // A run of 5 into a 3-byte line fills the line only; the next line starts with the next byte.
    Decoded d = DecodeBytes(Pcx8(3, 2, {0xC5, 0x09, 0x01, 0x02, 0x03}), nullptr, FormatIndexed8);
    ASSERT_TRUE(d.read);
    EXPECT_EQ(d.pixels, (Bytes{9, 9, 9, 1, 2, 3}));
}

TEST(Pcx, ThreePlanesInterleaveAndIgnoreThePadByte) {
    Bytes p = PcxHeader(5, 1, 3, 6);
    Append(p, {10, 11, 12, 13, 14, 99, 20, 21, 22, 23, 24, 99, 30, 31, 32, 33, 34, 99});
    Decoded d = DecodeBytes(p, nullptr, FormatRGB24);
    ASSERT_TRUE(d.read);
    EXPECT_EQ(d.pixels, (Bytes{10, 20, 30, 11, 21, 31, 12, 22, 32, 13, 23, 33, 14, 24, 34}));
}

TEST(Pcx, PaletteToGreyAveragesTheEntry) {
    Decoded d = DecodeBytes(Pcx8(2, 1, {4, 0xC1, 200}), nullptr, FormatGray8);
    ASSERT_TRUE(d.read);
    // Entry i is (i, i ^ 255, 3i mod 256).
    EXPECT_EQ(d.pixels, (Bytes{uint8_t((4 + 251 + 12) / 3), uint8_t((200 + 55 + 88) / 3)}));
}

TEST(Pcx, PaletteNeedsItsMarker) {
    Bytes p = Pcx8(2, 1, {1, 2});
    p[128 + 2] = 11;
    EXPECT_FALSE(DecodeBytes(p, nullptr, FormatIndexed8).read);
}

TEST(Pcx, RejectsHeadersItCannotRead) {
    struct Patch {
        const char* what;
        size_t offset;
        uint8_t value;
    };
    const Patch patches[] = {
        {"encoding 0", 2, 0},        {"4 bits per pixel", 3, 4},   {"two planes", 65, 2},
        {"bytes per line 6", 66, 6}, {"bytes per line 3", 66, 3}, {"xmax below xmin", 4, 9},
    };
    Bytes good = Pcx8(4, 1, {1, 2, 3, 4});
    ASSERT_TRUE(DecodeBytes(good, nullptr, FormatIndexed8).read);
    for (const Patch& p : patches) {
        Bytes bad = good;
        bad[p.offset] = p.value;
        EXPECT_FALSE(DecodeBytes(bad, nullptr, FormatIndexed8).opened) << p.what;
    }
}

// ---- GIF

Bytes Ramp(int n, int colours) {
    Bytes b(n);
    for (int i = 0; i < n; i++) b[i] = uint8_t((i * 7 + i / 5) % colours);
    return b;
}

TEST(Gif, LiteralCodesAcrossManyClearsAndSubBlocks) {
    Bytes indices = Ramp(40 * 30, 16);
    Decoded d = DecodeBytes(MakeGif(40, 30, indices, 16, false, -1), nullptr, FormatIndexed8);
    ASSERT_TRUE(d.read);
    EXPECT_EQ(d.pixels, indices);
    EXPECT_EQ(d.palette[3 * 3], 120);
}

TEST(Gif, TransparentIndexGivesAlphaZero) {
    Bytes indices = {0, 5, 2, 5, 7, 1};
    Bytes gif = MakeGif(3, 2, indices, 8, false, 5);
    MemoryImageSource source(gif.data(), gif.size());
    Image image(&source, nullptr);
    ASSERT_TRUE(image.Open());
    EXPECT_TRUE(image.Supports(FormatARGB32));
    EXPECT_TRUE(image.Supports(FormatIndexed8));
    Decoded d = DecodeBytes(gif, nullptr, FormatARGB32);
    ASSERT_TRUE(d.read);
    for (int i = 0; i < 6; i++) {
        const uint8_t* p = &d.pixels[i * 4];
        int index = indices[i];
        EXPECT_EQ(p[3], index == 5 ? 0 : 255) << i;
        EXPECT_EQ(p[2], uint8_t(index * 40)) << i;
        EXPECT_EQ(p[1], uint8_t(255 - index * 20)) << i;
        EXPECT_EQ(p[0], uint8_t(index * 7 + 3)) << i;
    }
}

TEST(Gif, WithoutTransparencyOnlyIndexedIsNative) {
    Bytes gif = MakeGif(2, 1, {1, 2}, 4, false, -1);
    MemoryImageSource source(gif.data(), gif.size());
    Image image(&source, nullptr);
    ASSERT_TRUE(image.Open());
    EXPECT_FALSE(image.Supports(FormatARGB32));
    Decoded d = DecodeBytes(gif, nullptr, FormatARGB32);
    ASSERT_TRUE(d.read);
    EXPECT_EQ(d.pixels[3], 255);
}

TEST(Gif, InterlacedRowsComeInFourPasses) {
    // Row r of the file order holds the value r; the picture must show it at its interlaced row.
    const int order[10] = {0, 8, 4, 2, 6, 1, 3, 5, 7, 9};
    Bytes indices;
    for (int r = 0; r < 10; r++) Append(indices, Bytes(3, uint8_t(r)));
    Decoded d = DecodeBytes(MakeGif(3, 10, indices, 16, true, -1), nullptr, FormatIndexed8);
    ASSERT_TRUE(d.read);
    for (int r = 0; r < 10; r++) EXPECT_EQ(d.pixels[order[r] * 3], r) << "file row " << r;
}

TEST(Gif, ExtensionsAndStrayBytesBeforeTheImageAreSkipped) {
    Bytes gif = MakeGif(2, 1, {1, 3}, 4, false, -1);
    // Header 13 + table 12: insert a comment extension, an application block and a stray byte.
    Bytes extra = {0x21, 0xFE, 3, 'a', 'b', 'c', 2, 'd', 'e', 0, 0x21, 0xFF, 0, 0x00};
    gif.insert(gif.begin() + 25, extra.begin(), extra.end());
    Decoded d = DecodeBytes(gif, nullptr, FormatIndexed8);
    ASSERT_TRUE(d.read);
    EXPECT_EQ(d.pixels, (Bytes{1, 3}));
}

TEST(Gif, LocalColourTableReplacesTheGlobalOne) {
    Bytes gif = MakeGif(2, 1, {0, 1}, 4, false, -1);
    size_t descriptor = 13 + 12;
    ASSERT_EQ(gif[descriptor], 0x2C);
    gif[descriptor + 9] = 0x80; // local table of 2 entries
    Bytes table = {1, 2, 3, 4, 5, 6};
    gif.insert(gif.begin() + descriptor + 10, table.begin(), table.end());
    Decoded d = DecodeBytes(gif, nullptr, FormatRGB24);
    ASSERT_TRUE(d.read);
    EXPECT_EQ(d.pixels, (Bytes{1, 2, 3, 4, 5, 6}));
}

TEST(Gif, RejectsTrailerFirstAndBadCodeSizes) {
    Bytes gif = MakeGif(2, 1, {0, 1}, 4, false, -1);
    size_t descriptor = 13 + 12;
    Bytes trailer = gif;
    trailer[descriptor] = 0x3B;
    EXPECT_FALSE(DecodeBytes(trailer, nullptr, FormatIndexed8).opened);
    for (uint8_t size : {0, 1, 12, 255}) {
        Bytes bad = gif;
        bad[descriptor + 10] = size;
        EXPECT_FALSE(DecodeBytes(bad, nullptr, FormatIndexed8).opened) << int(size);
    }
    Bytes empty = gif;
    empty[descriptor + 5] = empty[descriptor + 6] = 0;
    EXPECT_FALSE(DecodeBytes(empty, nullptr, FormatIndexed8).opened);
}

TEST(Gif, DataRunningOutLeavesZeros) {
    Bytes gif = MakeGif(4, 4, Bytes(16, 3), 4, false, -1);
    size_t data = 13 + 12 + 10 + 1;
    gif.resize(data + 3);
    gif[data] = 2; // one sub-block of 2 bytes, then nothing
    Decoded d = DecodeBytes(gif, nullptr, FormatIndexed8);
    ASSERT_TRUE(d.read);
    EXPECT_EQ(d.pixels[15], 0);
}

TEST(Gif, RandomCodeStreamsStayInBounds) {
    std::mt19937 random(7);
    for (int round = 0; round < 200; round++) {
        int minimum = 2 + round % 10;
        Bytes gif = {'G', 'I', 'F', '8', '9', 'a', 64, 0, 64, 0, 0x87, 0, 0};
        gif.resize(gif.size() + 768, 0x40);
        Append(gif, {0x2C, 0, 0, 0, 0, 64, 0, 64, 0, uint8_t(round % 2 ? 0x40 : 0), uint8_t(minimum)});
        for (int block = 0; block < 20; block++) {
            gif.push_back(255);
            for (int i = 0; i < 255; i++) gif.push_back(uint8_t(random()));
        }
        gif.push_back(0);
        EXPECT_TRUE(DecodeBytes(gif, nullptr, FormatARGB32).read);
    }
}

// ---- Targa

TEST(Tga, RunLengthRepeatsAcrossRows) {
    // Header 0x83 repeats the first pixel 4 times; a 3-wide picture carries it into row 2.
    Bytes t = TgaHeader(10, 0, 0, 0, 3, 2, 24, 0x20);
    Append(t, {0x83, 1, 2, 3, 0x01, 4, 5, 6, 7, 8, 9});
    Decoded d = DecodeBytes(t, "a.tga", FormatRGB24);
    ASSERT_TRUE(d.read);
    EXPECT_EQ(d.pixels, (Bytes{3, 2, 1, 3, 2, 1, 3, 2, 1, 3, 2, 1, 6, 5, 4, 9, 8, 7}));
}

TEST(Tga, SixteenBitColour) {
    Bytes t = TgaHeader(2, 0, 0, 0, 3, 1, 16, 0x20);
    Append(t, {0xFF, 0x7F, 0x21, 0x04, 0x00, 0xFC}); // 0x7FFF, 0x0421, 0xFC00 (top bit ignored)
    Decoded d = DecodeBytes(t, "a.tga", FormatRGB24);
    ASSERT_TRUE(d.read);
    EXPECT_EQ(d.pixels, (Bytes{255, 255, 255, 8, 8, 8, 255, 0, 0}));
    t[16] = 15;
    EXPECT_EQ(DecodeBytes(t, "a.tga", FormatRGB24).pixels, d.pixels);
}

TEST(Tga, BottomUpUnlessBitFive) {
    Bytes t = TgaHeader(3, 0, 0, 0, 1, 3, 8, 0);
    Append(t, {1, 2, 3});
    EXPECT_EQ(DecodeBytes(t, "a.tga", FormatGray8).pixels, (Bytes{3, 2, 1}));
    t[17] = 0x20;
    EXPECT_EQ(DecodeBytes(t, "a.tga", FormatGray8).pixels, (Bytes{1, 2, 3}));
}

TEST(Tga, ColourMappedWithIdField) {
    Bytes t = TgaHeader(1, 1, 3, 24, 2, 1, 8, 0x20);
    t[0] = 4;
    Append(t, {'i', 'd', '!', '!'});
    Append(t, {1, 2, 3, 4, 5, 6, 7, 8, 9});
    Append(t, {2, 0});
    Decoded d = DecodeBytes(t, "a.tga", FormatIndexed8);
    ASSERT_TRUE(d.read);
    EXPECT_EQ(d.pixels, (Bytes{2, 0}));
    EXPECT_EQ(Bytes(d.palette, d.palette + 9), (Bytes{3, 2, 1, 6, 5, 4, 9, 8, 7}));
}

TEST(Tga, TrueColourPassesOverAColourMap) {
    Bytes t = TgaHeader(2, 1, 2, 16, 1, 1, 32, 0x28);
    Append(t, {0xEE, 0xEE, 0xEE, 0xEE});
    Append(t, {1, 2, 3, 4});
    Decoded d = DecodeBytes(t, "a.tga", FormatARGB32);
    ASSERT_TRUE(d.read);
    EXPECT_EQ(d.pixels, (Bytes{1, 2, 3, 4}));
}

TEST(Tga, RejectsHeadersItCannotRead) {
    struct Case {
        const char* what;
        Bytes header;
    };
    const Case cases[] = {
        {"descriptor 64", TgaHeader(2, 0, 0, 0, 1, 1, 24, 64)},
        {"depth 12", TgaHeader(2, 0, 0, 0, 1, 1, 12, 0)},
        {"depth 40", TgaHeader(2, 0, 0, 0, 1, 1, 40, 0)},
        {"true colour of 8 bits", TgaHeader(2, 0, 0, 0, 1, 1, 8, 0)},
        {"grey of 16 bits", TgaHeader(3, 0, 0, 0, 1, 1, 16, 0)},
        {"colour map of 300 entries", TgaHeader(1, 1, 300, 24, 1, 1, 8, 0)},
        {"colour map of 16-bit entries", TgaHeader(1, 1, 4, 16, 1, 1, 8, 0)},
        {"colour-mapped without a map", TgaHeader(1, 0, 0, 0, 1, 1, 8, 0)},
        {"colour-map type 2", TgaHeader(2, 2, 0, 0, 1, 1, 24, 0)},
        {"zero height", TgaHeader(2, 0, 0, 0, 1, 0, 24, 0)},
    };
    for (const Case& c : cases) {
        Bytes t = c.header;
        t.resize(t.size() + 1024, 0);
        EXPECT_FALSE(DecodeBytes(t, "a.tga", FormatRGB24).opened) << c.what;
    }
}

// ---- truncated files

struct TruncationCase {
    const char* name;
    Bytes file;
    int format;
};

std::vector<TruncationCase> TruncationCases() {
    Bytes tgaRle = TgaHeader(10, 0, 0, 0, 3, 3, 24, 0);
    Append(tgaRle, {0x82, 1, 2, 3, 0x02, 4, 5, 6, 7, 8, 9, 10, 11, 12, 0x82, 1, 1, 1});
    Bytes tgaMapped = TgaHeader(9, 1, 2, 24, 2, 2, 8, 0);
    Append(tgaMapped, {1, 2, 3, 4, 5, 6, 0x83, 1});
    Bytes pcx24 = PcxHeader(2, 2, 3, 2);
    Append(pcx24, {0xC2, 1, 2, 3, 4, 5, 6, 7, 0xC6, 9});
    Bytes rgba = TestPicture(9, 7, true);
    Bytes png;
    PngEncode(png, rgba.data(), 9, 7, 36, PngRGBA);
    Bytes palette(256 * 4, 1);
    return {
        {"a.bmp", MakeBmp(3, 2, 24, 0, {}, Bytes(24, 5)), FormatRGB24},
        {"b.bmp", MakeBmp(3, 2, 8, 0, palette, Bytes(8, 5)), FormatIndexed8},
        {"a.pcx", Pcx8(3, 2, {0xC3, 1, 2, 3, 4}), FormatIndexed8},
        {"b.pcx", pcx24, FormatRGB24},
        {"a.tga", tgaRle, FormatRGB24},
        {"b.tga", tgaMapped, FormatIndexed8},
        {"a.png", png, FormatARGB32},
    };
}

TEST(Truncated, EveryShorterFileFailsCleanly) {
    for (const TruncationCase& c : TruncationCases()) {
        ASSERT_TRUE(DecodeBytes(c.file, c.name, c.format).read) << c.name;
        for (size_t length = 0; length < c.file.size(); length++) {
            Bytes cut(c.file.begin(), c.file.begin() + length);
            for (int format = 0; format < 4; format++) {
                Decoded d = DecodeBytes(cut, c.name, format);
                if (format == c.format) {
                    EXPECT_FALSE(d.read) << c.name << " cut at " << length;
                }
            }
        }
    }
}

TEST(Truncated, GifHeaderCutFailsAndDataCutStillReads) {
    Bytes gif = MakeGif(5, 4, Ramp(20, 8), 8, true, 2);
    size_t header = 13 + 24 + 8 + 10 + 1;
    for (size_t length = 0; length < gif.size(); length++) {
        Bytes cut(gif.begin(), gif.begin() + length);
        Decoded d = DecodeBytes(cut, nullptr, FormatARGB32);
        if (length < header) {
            EXPECT_FALSE(d.opened) << length;
        } else {
            EXPECT_TRUE(d.read) << length;
        }
    }
}

// Every single-byte corruption of each small file: whatever the result, no read or write
// strays outside the buffers (the sanitizer build checks that).
TEST(Corrupt, SingleByteChangesNeverOverrun) {
    std::vector<TruncationCase> cases = TruncationCases();
    cases.push_back({"c.gif", MakeGif(5, 4, Ramp(20, 8), 8, true, 2), FormatARGB32});
    for (const TruncationCase& c : cases) {
        for (size_t at = 0; at < c.file.size(); at++) {
            for (uint8_t value : {uint8_t(0), uint8_t(0x7F), uint8_t(0xFF), uint8_t(c.file[at] ^ 0x10)}) {
                Bytes bad = c.file;
                bad[at] = value;
                for (int format = 0; format < 4; format++) DecodeBytes(bad, c.name, format);
            }
        }
    }
}

} // namespace
