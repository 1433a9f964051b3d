// The reader itself: the read-ahead stream, kind sniffing and every conversion of the format table.
#include <gtest/gtest.h>

#include <cstring>

#include "image_fixtures.h"

namespace {

// Hands out at most `chunk` bytes per call, like a slow stream.
class TrickleSource : public ImageSource {
public:
    TrickleSource(const Bytes& data, size_t chunk) : data(data), chunk(chunk) {}
    size_t Read(void* buffer, size_t count) override {
        size_t n = std::min({count, chunk, data.size() - at});
        memcpy(buffer, data.data() + at, n);
        at += n;
        return n;
    }

private:
    const Bytes& data;
    size_t chunk;
    size_t at = 0;
};

Bytes Sequence(size_t n) {
    Bytes b(n);
    for (size_t i = 0; i < n; i++) b[i] = uint8_t(i * 31 + i / 256);
    return b;
}

TEST(PeekStream, DeliversEveryByteInOrderWhateverTheChunkSizes) {
    Bytes data = Sequence(10000);
    for (size_t chunk : {size_t(1), size_t(7), size_t(4096), size_t(100000)}) {
        TrickleSource input(data, chunk);
        PeekStream peek(&input, nullptr);
        Bytes out;
        size_t ask = 1;
        for (;;) {
            Bytes part(ask);
            size_t n = peek.Read(part.data(), ask);
            out.insert(out.end(), part.begin(), part.begin() + n);
            if (n < ask) break;
            ask = ask * 3 % 5000 + 1;
        }
        EXPECT_EQ(out, data) << "chunk " << chunk;
        EXPECT_TRUE(peek.AtEnd());
    }
}

TEST(PeekStream, EmptyInputReadsNothingAndIsUnknown) {
    Bytes empty;
    MemoryImageSource input(empty.data(), 0);
    PeekStream peek(&input, "a.tga");
    uint8_t b;
    EXPECT_EQ(peek.Read(&b, 1), 0u);
    EXPECT_TRUE(peek.AtEnd());
    EXPECT_EQ(peek.GetKind(), KindUnknown);
}

struct SniffCase {
    Bytes head;
    const char* name;
    int kind;
};

Bytes Head(std::initializer_list<uint8_t> start, size_t length = 16) {
    Bytes b(start);
    b.resize(length, 0x20);
    return b;
}

TEST(PeekStream, SniffsKindsInOrder) {
    const Bytes png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
    const SniffCase cases[] = {
        {Head({'B', 'M'}), nullptr, KindBmp},
        {Head({'B', 'M'}, 15), nullptr, KindUnknown},
        {Head({0x0A, 0x05}), "x.tga", KindPcx},
        {Head({0x0A, 0x00}), nullptr, KindPcx},
        {Head({0x0A, 0x06}), nullptr, KindUnknown},
        {Head({0x0A, 0x06}), "x.tga", KindTga},
        {Head({'G', 'I', 'F'}), nullptr, KindGif},
        {Head({'G', 'I'}), nullptr, KindUnknown},
        {Head({0xFF, 'P', 'N', 'G'}), nullptr, KindJpeg},
        {png, "x.tga", KindPng},
        {Head({0, 0, 2}), "x.tga", KindTga},
        {Head({0, 0, 2}), "PIC.TgA", KindTga},
        {Head({0, 0, 2}), ".tga", KindTga},
        {Head({0, 0, 2}), "tga", KindUnknown},
        {Head({0, 0, 2}), "x.tga.bak", KindUnknown},
        {Head({0, 0, 2}), nullptr, KindUnknown},
        {Head({0, 0, 2}, 15), "x.tga", KindUnknown},
    };
    for (const SniffCase& c : cases) {
        MemoryImageSource input(c.head.data(), c.head.size());
        PeekStream peek(&input, c.name);
        EXPECT_EQ(peek.GetKind(), c.kind) << "first byte " << int(c.head[0]) << " name " << (c.name ? c.name : "-");
        // The sniffed bytes are still there for the decoder.
        Bytes back(c.head.size());
        EXPECT_EQ(peek.Read(back.data(), back.size()), c.head.size());
        EXPECT_EQ(back, c.head);
    }
}

Bytes TinyTga() {
    Bytes t = TgaHeader(2, 0, 0, 0, 2, 1, 24, 0x20);
    Append(t, {1, 2, 3, 4, 5, 6});
    return t;
}

TEST(Image, TargaOpensOnlyUnderATargaName) {
    Bytes t = TinyTga();
    EXPECT_TRUE(DecodeBytes(t, "pic.tga", FormatRGB24).read);
    EXPECT_FALSE(DecodeBytes(t, "pic.bmp", FormatRGB24).opened);
    EXPECT_FALSE(DecodeBytes(t, nullptr, FormatRGB24).opened);
}

TEST(Image, WithoutADecoderEverythingIsEmpty) {
    Bytes junk = Head({1, 2, 3});
    MemoryImageSource input(junk.data(), junk.size());
    Image image(&input, "junk.bin");
    EXPECT_EQ(image.GetKind(), KindUnknown);
    EXPECT_FALSE(image.Open());
    EXPECT_EQ(image.GetWidth(), 0);
    EXPECT_EQ(image.GetHeight(), 0);
    std::vector<int> list = {7};
    EXPECT_EQ(image.GetFormats(list), 0);
    EXPECT_TRUE(list.empty());
    uint8_t pixel[4];
    EXPECT_FALSE(image.Read(pixel, FormatARGB32, 4, nullptr));
}

TEST(Image, ReadChecksFormatCodeAndStride) {
    Bytes t = TinyTga();
    MemoryImageSource input(t.data(), t.size());
    Image image(&input, "a.tga");
    ASSERT_TRUE(image.Open());
    uint8_t out[64];
    EXPECT_FALSE(image.Read(out, 4, 16, nullptr));
    EXPECT_FALSE(image.Read(out, -1, 16, nullptr));
    EXPECT_FALSE(image.Read(out, FormatARGB32, 7, nullptr));
    EXPECT_FALSE(image.Read(nullptr, FormatARGB32, 8, nullptr));
}

TEST(Image, RowsGoAtTheCallersStride) {
    Bytes t = TgaHeader(2, 0, 0, 0, 2, 2, 24, 0x20);
    Append(t, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12});
    for (int format : {FormatRGB24, FormatARGB32}) {
        MemoryImageSource input(t.data(), t.size());
        Image image(&input, "a.tga");
        ASSERT_TRUE(image.Open());
        Bytes out(40, 0xEE);
        ASSERT_TRUE(image.Read(out.data(), format, 20, nullptr));
        int row = 2 * ImageFormatBytes(format);
        for (int i = row; i < 20; i++) EXPECT_EQ(out[i], 0xEE) << "byte " << i;
        EXPECT_EQ(out[20], format == FormatRGB24 ? 9 : 7);
        for (int i = 20 + row; i < 40; i++) EXPECT_EQ(out[i], 0xEE) << "byte " << i;
    }
}

// ---- the conversion table

struct ConvertCase {
    int from;
    int to;
    Bytes source; // two pixels
    Bytes expected;
};

TEST(ImageConvert, EveryPairOfTheTable) {
    uint8_t palette[kImagePaletteBytes] = {};
    palette[3] = 10, palette[4] = 20, palette[5] = 31;      // entry 1
    palette[21] = 255, palette[22] = 128, palette[23] = 1;  // entry 7
    const ConvertCase cases[] = {
        {FormatARGB32, FormatRGB24, {0x33, 0x22, 0x11, 0x80, 3, 2, 1, 0}, {0x11, 0x22, 0x33, 1, 2, 3}},
        {FormatIndexed8, FormatRGB24, {1, 7}, {10, 20, 31, 255, 128, 1}},
        {FormatGray8, FormatRGB24, {0, 200}, {0, 0, 0, 200, 200, 200}},
        {FormatRGB24, FormatARGB32, {0x11, 0x22, 0x33, 1, 2, 3}, {0x33, 0x22, 0x11, 255, 3, 2, 1, 255}},
        {FormatIndexed8, FormatARGB32, {7, 1}, {1, 128, 255, 255, 31, 20, 10, 255}},
        {FormatGray8, FormatARGB32, {0x5A, 0}, {0x5A, 0x5A, 0x5A, 255, 0, 0, 0, 255}},
        {FormatRGB24, FormatGray8, {10, 20, 31, 255, 255, 254}, {20, 254}},
        {FormatARGB32, FormatGray8, {31, 20, 10, 0, 1, 1, 0, 255}, {20, 0}},
        {FormatIndexed8, FormatGray8, {1, 7}, {20, 128}},
    };
    for (const ConvertCase& c : cases) {
        Bytes out(c.expected.size(), 0);
        ASSERT_TRUE(ImageConvert(c.source.data(), c.from, palette, 2, 1, out.data(), c.to,
                                 int(out.size()), nullptr))
            << ImageFormatName(c.from) << " to " << ImageFormatName(c.to);
        EXPECT_EQ(out, c.expected) << ImageFormatName(c.from) << " to " << ImageFormatName(c.to);
    }
}

TEST(ImageConvert, GreyToIndexedIsTheRampAndTheSameBytes) {
    Bytes grey = {0, 17, 255, 128};
    uint8_t palette[kImagePaletteBytes];
    Bytes out(4);
    ASSERT_TRUE(ImageConvert(grey.data(), FormatGray8, nullptr, 2, 2, out.data(), FormatIndexed8, 2, palette));
    EXPECT_EQ(out, grey);
    for (int i = 0; i < 256; i++)
        ASSERT_TRUE(palette[i * 3] == i && palette[i * 3 + 1] == i && palette[i * 3 + 2] == i) << i;
}

TEST(ImageConvert, TrueColourToIndexedQuantisesAndDropsAlpha) {
    // Three colours: each gets its own entry and every pixel its exact colour back.
    Bytes rgb = {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 0, 0, 0, 0, 255, 0, 255, 0};
    Bytes argb;
    for (size_t i = 0; i < rgb.size(); i += 3) Append(argb, {rgb[i + 2], rgb[i + 1], rgb[i], uint8_t(i * 10)});
    for (int from : {FormatRGB24, FormatARGB32}) {
        uint8_t palette[kImagePaletteBytes] = {};
        Bytes out(6);
        const Bytes& src = from == FormatRGB24 ? rgb : argb;
        ASSERT_TRUE(ImageConvert(src.data(), from, nullptr, 3, 2, out.data(), FormatIndexed8, 3, palette));
        for (int i = 0; i < 6; i++)
            EXPECT_EQ(0, memcmp(palette + out[i] * 3, &rgb[i * 3], 3)) << ImageFormatName(from) << " pixel " << i;
    }
}

TEST(ImageConvert, RefusesWhatTheTableDoesNotHold) {
    uint8_t in[16] = {}, out[16], palette[kImagePaletteBytes];
    for (int f = 0; f < 4; f++) EXPECT_FALSE(ImageConvert(in, f, palette, 1, 1, out, f, 4, palette));
    EXPECT_FALSE(ImageConvert(in, FormatIndexed8, nullptr, 1, 1, out, FormatRGB24, 4, nullptr));
    EXPECT_FALSE(ImageConvert(in, FormatRGB24, nullptr, 1, 1, out, FormatIndexed8, 4, nullptr));
    EXPECT_FALSE(ImageConvert(in, 9, nullptr, 1, 1, out, FormatRGB24, 4, nullptr));
}

TEST(Image, ConvertsFromTheNativeFormatInEveryDirection) {
    // A 24-bit Targa (native rgb24) read in each of the four formats.
    Bytes t = TgaHeader(2, 0, 0, 0, 3, 1, 24, 0x20);
    Append(t, {30, 20, 10, 0, 0, 255, 30, 20, 10}); // blue, green, red per pixel
    Decoded rgb = DecodeBytes(t, "a.tga", FormatRGB24);
    ASSERT_TRUE(rgb.read);
    EXPECT_EQ(rgb.pixels, (Bytes{10, 20, 30, 255, 0, 0, 10, 20, 30}));
    Decoded argb = DecodeBytes(t, "a.tga", FormatARGB32);
    ASSERT_TRUE(argb.read);
    EXPECT_EQ(argb.pixels, (Bytes{30, 20, 10, 255, 0, 0, 255, 255, 30, 20, 10, 255}));
    Decoded grey = DecodeBytes(t, "a.tga", FormatGray8);
    ASSERT_TRUE(grey.read);
    EXPECT_EQ(grey.pixels, (Bytes{20, 85, 20}));
    Decoded indexed = DecodeBytes(t, "a.tga", FormatIndexed8);
    ASSERT_TRUE(indexed.read);
    EXPECT_EQ(indexed.pixels[0], indexed.pixels[2]);
    EXPECT_NE(indexed.pixels[0], indexed.pixels[1]);
    EXPECT_EQ(ToRgba(indexed.pixels, FormatIndexed8, indexed.palette), ToRgba(rgb.pixels, FormatRGB24, nullptr));
}

TEST(Image, TypeWithoutFormatsOpensButNeverReads) {
    Bytes t = TgaHeader(32, 0, 0, 0, 2, 2, 8, 0);
    t.resize(t.size() + 64, 0);
    for (int format = 0; format < 4; format++) {
        Decoded d = DecodeBytes(t, "a.tga", format);
        EXPECT_TRUE(d.opened);
        EXPECT_FALSE(d.read) << ImageFormatName(format);
    }
}

TEST(ImageNames, FormatsAndKinds) {
    for (int f = 0; f < 4; f++) EXPECT_EQ(ImageFormatFromName(ImageFormatName(f)), f);
    EXPECT_EQ(ImageFormatFromName("rgb32"), -1);
    EXPECT_EQ(ImageFormatName(4), nullptr);
    EXPECT_STREQ(ImageKindName(KindJpeg), "jpeg");
    EXPECT_EQ(ImageKindName(KindUnknown), nullptr);
    EXPECT_TRUE(ImageSizeValid(65535, 4096));
    EXPECT_FALSE(ImageSizeValid(65535, 65535));
    EXPECT_FALSE(ImageSizeValid(0, 5));
    EXPECT_FALSE(ImageSizeValid(5, -1));
}

} // namespace
