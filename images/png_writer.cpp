// PNG encoding. libpng reports errors by longjmp, so the function that sets the jump point
// keeps no objects with destructors of its own.
#include "images/png_writer.h"

#include <png.h>

#include <cstdio>

static void WriterFail(png_structp png, png_const_charp) { png_longjmp(png, 1); }

static void WriterWarn(png_structp, png_const_charp) {}

static void WriterData(png_structp png, png_bytep data, size_t length) {
    auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

static void WriterFlush(png_structp) {}

// Encodes height rows of 8-bit samples in the given colour type; palette colours for palettes.
static bool Encode(std::vector<uint8_t>& out, const uint8_t* rows, int width, int height, int stride, int colourType,
                   const png_color* palette, int count) {
    out.clear();
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, WriterFail, WriterWarn);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, info ? &info : nullptr);
        return false;
    }
    png_set_write_fn(png, &out, WriterData, WriterFlush);
    png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), 8, colourType, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (palette) png_set_PLTE(png, info, palette, count);
    png_write_info(png, info);
    for (int y = 0; y < height; y++) png_write_row(png, rows + ptrdiff_t(y) * stride);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

bool PngEncode(std::vector<uint8_t>& out, const uint8_t* pixels, int width, int height, int stride,
               PngChannels channels) {
    if (width <= 0 || height <= 0 || (channels != PngRGB && channels != PngRGBA)) return false;
    if (stride < width * int(channels)) return false;
    return Encode(out, pixels, width, height, stride,
                  channels == PngRGBA ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, nullptr, 0);
}

bool PngEncodeIndexed(std::vector<uint8_t>& out, const uint8_t* indices, int width, int height, int stride,
                      const uint8_t* palette, int count) {
    if (width <= 0 || height <= 0 || stride < width || count < 1 || count > 256) return false;
    png_color colours[256];
    for (int i = 0; i < count; i++) colours[i] = png_color{palette[i * 3], palette[i * 3 + 1], palette[i * 3 + 2]};
    return Encode(out, indices, width, height, stride, PNG_COLOR_TYPE_PALETTE, colours, count);
}

bool PngWrite(const char* path, const uint8_t* pixels, int width, int height, int stride, PngChannels channels) {
    std::vector<uint8_t> data;
    if (!PngEncode(data, pixels, width, height, stride, channels)) return false;
    FILE* file = fopen(path, "wb");
    if (!file) return false;
    bool written = fwrite(data.data(), 1, data.size(), file) == data.size();
    return fclose(file) == 0 && written;
}
