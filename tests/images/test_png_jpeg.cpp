// The PNG and JPEG adapters on files written here with the libraries' own encoders.
#include <gtest/gtest.h>

#include <png.h>
#include <cstdio>
#include <jpeglib.h>

#include <cstring>

#include "image_fixtures.h"
#include "images/codecs.h"

namespace {

// ---- PNG files of any colour type

struct PngPicture {
    int width, height, colourType, bitDepth;
    Bytes rows;       // packed rows as libpng expects them
    Bytes palette;    // red, green, blue triples for palette pictures
    Bytes alphas;     // tRNS entries for palette pictures
};

void PngAppend(png_structp png, png_bytep data, size_t length) {
    auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

void PngNoFlush(png_structp) {}

Bytes EncodePng(const PngPicture& s) {
    Bytes out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        ADD_FAILURE() << "libpng could not write the test file";
        return {};
    }
    png_set_write_fn(png, &out, PngAppend, PngNoFlush);
    png_set_IHDR(png, info, s.width, s.height, s.bitDepth, s.colourType, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    std::vector<png_color> entries;
    for (size_t i = 0; i + 2 < s.palette.size(); i += 3) entries.push_back({s.palette[i], s.palette[i + 1], s.palette[i + 2]});
    if (!entries.empty()) png_set_PLTE(png, info, entries.data(), int(entries.size()));
    if (!s.alphas.empty()) png_set_tRNS(png, info, s.alphas.data(), int(s.alphas.size()), nullptr);
    png_write_info(png, info);
    size_t rowBytes = s.rows.size() / s.height;
    for (int y = 0; y < s.height; y++) png_write_row(png, s.rows.data() + y * rowBytes);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

std::string Formats(const Bytes& file) {
    MemoryImageSource source(file.data(), file.size());
    Image image(&source, nullptr);
    if (!image.Open()) return "closed";
    std::string names;
    for (int f = 0; f < 4; f++)
        if (image.Supports(f)) names += std::string(names.empty() ? "" : ",") + ImageFormatName(f);
    return names;
}

TEST(Png, SixteenBitRgbGivesTheHighBytes) {
    PngPicture s{2, 1, PNG_COLOR_TYPE_RGB, 16, {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE, 0xF0, 0x01, 0x02, 0x03, 0x04}, {}, {}};
    Bytes file = EncodePng(s);
    EXPECT_EQ(Formats(file), "rgb24");
    Decoded d = DecodeBytes(file, nullptr, FormatRGB24);
    ASSERT_TRUE(d.read);
    EXPECT_EQ(d.pixels, (Bytes{0x12, 0x56, 0x9A, 0xDE, 0x01, 0x03}));
}

TEST(Png, PaletteWithTransparencyIsArgbOnly) {
    PngPicture s{3, 1, PNG_COLOR_TYPE_PALETTE, 8, {0, 1, 2}, {10, 20, 30, 40, 50, 60, 70, 80, 90}, {0, 128}};
    Bytes file = EncodePng(s);
    EXPECT_EQ(Formats(file), "argb32");
    Decoded d = DecodeBytes(file, nullptr, FormatARGB32);
    ASSERT_TRUE(d.read);
    EXPECT_EQ(d.pixels, (Bytes{30, 20, 10, 0, 60, 50, 40, 128, 90, 80, 70, 255}));
}

TEST(Png, PaletteWithoutTransparencyIsIndexedAndOpaqueAsArgb) {
    PngPicture s{3, 1, PNG_COLOR_TYPE_PALETTE, 8, {2, 0, 1}, {10, 20, 30, 40, 50, 60, 70, 80, 90}, {}};
    Bytes file = EncodePng(s);
    EXPECT_EQ(Formats(file), "indexed8");
    Decoded indexed = DecodeBytes(file, nullptr, FormatIndexed8);
    ASSERT_TRUE(indexed.read);
    EXPECT_EQ(indexed.pixels, (Bytes{2, 0, 1}));
    EXPECT_EQ(Bytes(indexed.palette, indexed.palette + 9), s.palette);
    Decoded argb = DecodeBytes(file, nullptr, FormatARGB32);
    ASSERT_TRUE(argb.read);
    EXPECT_EQ(argb.pixels, (Bytes{90, 80, 70, 255, 30, 20, 10, 255, 60, 50, 40, 255}));
}

TEST(Png, PackedPaletteGivesOneIndexPerByte) {
    // 2 bits per pixel: indices 3, 2, 1, 0, 1 packed into two bytes.
    PngPicture s{5, 1, PNG_COLOR_TYPE_PALETTE, 2, {0xE4, 0x40}, {0, 0, 0, 1, 1, 1, 2, 2, 2, 3, 3, 3}, {}};
    Decoded d = DecodeBytes(EncodePng(s), nullptr, FormatIndexed8);
    ASSERT_TRUE(d.read);
    EXPECT_EQ(d.pixels, (Bytes{3, 2, 1, 0, 1}));
}

TEST(Png, TwoBitGreyIsScaledToBytes) {
    PngPicture s{4, 1, PNG_COLOR_TYPE_GRAY, 2, {0x1B}, {}, {}};
    Bytes file = EncodePng(s);
    EXPECT_EQ(Formats(file), "gray8");
    Decoded d = DecodeBytes(file, nullptr, FormatGray8);
    ASSERT_TRUE(d.read);
    EXPECT_EQ(d.pixels, (Bytes{0, 85, 170, 255}));
}

TEST(Png, GreyAlphaAndSixteenBitRgba) {
    PngPicture ga{2, 1, PNG_COLOR_TYPE_GRAY_ALPHA, 8, {7, 100, 200, 255}, {}, {}};
    Decoded d = DecodeBytes(EncodePng(ga), nullptr, FormatARGB32);
    ASSERT_TRUE(d.read);
    EXPECT_EQ(d.pixels, (Bytes{7, 7, 7, 100, 200, 200, 200, 255}));
    PngPicture rgba{1, 1, PNG_COLOR_TYPE_RGB_ALPHA, 16, {1, 0, 2, 0, 3, 0, 4, 0}, {}, {}};
    d = DecodeBytes(EncodePng(rgba), nullptr, FormatARGB32);
    ASSERT_TRUE(d.read);
    EXPECT_EQ(d.pixels, (Bytes{3, 2, 1, 4}));
}

TEST(Png, CodecRefusesFormatsThatAreNotNative) {
    PngPicture s{1, 1, PNG_COLOR_TYPE_PALETTE, 8, {0}, {1, 2, 3}, {}};
    Bytes file = EncodePng(s);
    MemoryImageSource source(file.data(), file.size());
    PngCodec codec(&source);
    ASSERT_TRUE(codec.Open());
    uint8_t out[4];
    EXPECT_FALSE(codec.Read(out, FormatRGB24, 3, nullptr));
}

TEST(Png, BadChecksumDoesNotOpen) {
    PngPicture s{1, 1, PNG_COLOR_TYPE_GRAY, 8, {9}, {}, {}};
    Bytes file = EncodePng(s);
    file[29] ^= 1; // inside the header chunk's checksum
    EXPECT_FALSE(DecodeBytes(file, nullptr, FormatGray8).opened);
}

// ---- JPEG files

Bytes EncodeJpeg(int w, int h, J_COLOR_SPACE space, int components, const Bytes& samples, bool progressive = false) {
    jpeg_compress_struct c;
    jpeg_error_mgr errors;
    c.err = jpeg_std_error(&errors);
    jpeg_create_compress(&c);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &buffer, &size);
    c.image_width = w;
    c.image_height = h;
    c.input_components = components;
    c.in_color_space = space;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 95, TRUE);
    if (progressive) jpeg_simple_progression(&c);
    jpeg_start_compress(&c, TRUE);
    while (c.next_scanline < c.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(samples.data() + size_t(c.next_scanline) * w * components);
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    Bytes out(buffer, buffer + size);
    jpeg_destroy_compress(&c);
    free(buffer);
    return out;
}

Bytes FlatSamples(int w, int h, const Bytes& value) {
    Bytes out;
    for (int i = 0; i < w * h; i++) Append(out, value);
    return out;
}

TEST(Jpeg, ColourOffersRgbAndArgbWithOpaqueAlpha) {
    Bytes file = EncodeJpeg(16, 8, JCS_RGB, 3, FlatSamples(16, 8, {200, 100, 50}));
    EXPECT_EQ(Formats(file), "rgb24,argb32");
    Decoded rgb = DecodeBytes(file, nullptr, FormatRGB24);
    Decoded argb = DecodeBytes(file, nullptr, FormatARGB32);
    ASSERT_TRUE(rgb.read && argb.read);
    for (size_t i = 0; i < 16 * 8; i++) {
        EXPECT_EQ(argb.pixels[i * 4 + 3], 255);
        EXPECT_EQ(argb.pixels[i * 4 + 2], rgb.pixels[i * 3]);
        EXPECT_EQ(argb.pixels[i * 4], rgb.pixels[i * 3 + 2]);
        EXPECT_NEAR(rgb.pixels[i * 3], 200, 2);
        EXPECT_NEAR(rgb.pixels[i * 3 + 1], 100, 2);
        EXPECT_NEAR(rgb.pixels[i * 3 + 2], 50, 2);
    }
}

TEST(Jpeg, GreyIsNativeGreyAndOpaqueGreyAsArgb) {
    Bytes file = EncodeJpeg(8, 8, JCS_GRAYSCALE, 1, FlatSamples(8, 8, {77}));
    EXPECT_EQ(Formats(file), "gray8");
    Decoded grey = DecodeBytes(file, nullptr, FormatGray8);
    Decoded argb = DecodeBytes(file, nullptr, FormatARGB32);
    ASSERT_TRUE(grey.read && argb.read);
    for (size_t i = 0; i < 64; i++) {
        uint8_t g = grey.pixels[i];
        EXPECT_EQ(Bytes(argb.pixels.begin() + i * 4, argb.pixels.begin() + i * 4 + 4), (Bytes{g, g, g, 255}));
    }
}

TEST(Jpeg, CmykDoesNotOpen) {
    Bytes file = EncodeJpeg(8, 8, JCS_CMYK, 4, FlatSamples(8, 8, {1, 2, 3, 4}));
    EXPECT_FALSE(DecodeBytes(file, nullptr, FormatRGB24).opened);
}

TEST(Jpeg, RowsGoAtTheCallersStride) {
    Bytes file = EncodeJpeg(3, 2, JCS_GRAYSCALE, 1, {0, 0, 0, 255, 255, 255});
    MemoryImageSource source(file.data(), file.size());
    Image image(&source, nullptr);
    ASSERT_TRUE(image.Open());
    Bytes out(16, 0xEE);
    ASSERT_TRUE(image.Read(out.data(), FormatGray8, 8, nullptr));
    for (int i : {3, 4, 5, 6, 7, 11, 12, 13, 14, 15}) EXPECT_EQ(out[i], 0xEE) << i;
    EXPECT_GT(out[8], 200);
}

Bytes RgbPicture(int w, int h) {
    Bytes rgba = TestPicture(w, h, false), rgb;
    for (size_t i = 0; i < rgba.size(); i += 4) Append(rgb, {rgba[i], rgba[i + 1], rgba[i + 2]});
    return rgb;
}

TEST(Jpeg, ShortFileDecodesWhatIsThere) {
    Bytes file = EncodeJpeg(64, 64, JCS_RGB, 3, RgbPicture(64, 64));
    Decoded whole = DecodeBytes(file, nullptr, FormatRGB24);
    Bytes cut(file.begin(), file.begin() + file.size() * 2 / 3);
    Decoded d = DecodeBytes(cut, nullptr, FormatRGB24);
    ASSERT_TRUE(d.opened);
    EXPECT_TRUE(d.read);
    EXPECT_EQ(Bytes(d.pixels.begin(), d.pixels.begin() + 64 * 3), Bytes(whole.pixels.begin(), whole.pixels.begin() + 64 * 3));
}

TEST(Jpeg, ErrorsDuringReadReturnFalse) {
    // A progressive file decodes its scans in start-up; break one scan's Huffman table id.
    Bytes file = EncodeJpeg(32, 32, JCS_RGB, 3, RgbPicture(32, 32), true);
    size_t sos = 0, count = 0;
    for (size_t i = 0; i + 1 < file.size(); i++)
        if (file[i] == 0xFF && file[i + 1] == 0xDA && ++count == 3) sos = i;
    ASSERT_GT(sos, 0u);
    for (size_t i = sos; i + 1 < file.size(); i++) {
        if (file[i] == 0xFF && file[i + 1] == 0xD9) break;
        if (i > sos + 4 && i < sos + 14) file[i] = 0xFF; // scan header and the data behind it
    }
    Decoded d = DecodeBytes(file, nullptr, FormatRGB24);
    ASSERT_TRUE(d.opened);
    EXPECT_FALSE(d.read);
}

TEST(Jpeg, NotAJpegAndTruncatedHeadersDoNotOpen) {
    Bytes junk(64, 0xFF);
    EXPECT_FALSE(DecodeBytes(junk, nullptr, FormatRGB24).opened);
    Bytes file = EncodeJpeg(8, 8, JCS_GRAYSCALE, 1, FlatSamples(8, 8, {1}));
    for (size_t length = 16; length < 120; length++) {
        Bytes cut(file.begin(), file.begin() + length);
        Decoded d = DecodeBytes(cut, nullptr, FormatGray8);
        EXPECT_TRUE(!d.opened || d.read) << length;
    }
}

TEST(Jpeg, OpenTwiceFails) {
    Bytes file = EncodeJpeg(8, 8, JCS_GRAYSCALE, 1, FlatSamples(8, 8, {1}));
    MemoryImageSource source(file.data(), file.size());
    JpegCodec codec(&source);
    EXPECT_TRUE(codec.Open());
    EXPECT_FALSE(codec.Open());
}

} // namespace
