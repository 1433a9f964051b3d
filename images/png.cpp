// PNG through libpng. libpng reports errors by longjmp into the read structure's jump buffer,
// so the functions that set it up hold no objects with destructors.
#include <png.h>

#include <cstdlib>
#include <cstring>

#include "images/codecs.h"

static void PngFail(png_structp png, png_const_charp) { png_longjmp(png, 1); }

static void PngWarn(png_structp, png_const_charp) {}

// Chunks that carry nothing the decoder uses: libpng passes over them unread, so a damaged or
// oversized one cannot cost time or memory.
static const png_byte kIgnoredChunks[] =
    "bKGD\0cHRM\0eXIf\0gAMA\0hIST\0iCCP\0iTXt\0oFFs\0pCAL\0pHYs\0sBIT\0sCAL\0sPLT\0sRGB\0tEXt\0tIME\0zTXt";
static constexpr int kIgnoredChunkCount = 17;

static void PngReadData(png_structp png, png_bytep data, size_t length) {
    auto* source = static_cast<ImageSource*>(png_get_io_ptr(png));
    if (!SourceReadExact(source, data, length)) png_error(png, "End of file.");
}

PngCodec::~PngCodec() { Release(); }

void PngCodec::Release() {
    if (png) {
        auto p = static_cast<png_structp>(png);
        auto i = static_cast<png_infop>(info), e = static_cast<png_infop>(endInfo);
        png_destroy_read_struct(&p, i ? &i : nullptr, e ? &e : nullptr);
    }
    free(rows);
    png = info = endInfo = rows = nullptr;
}

bool PngCodec::Open() {
    if (opened || png) return false;
    png_structp p = png_create_read_struct(PNG_LIBPNG_VER_STRING, this, PngFail, PngWarn);
    if (!p) return false;
    png = p;
    info = png_create_info_struct(p);
    if (!info) return Release(), false;
    endInfo = png_create_info_struct(p);
    if (!endInfo) return Release(), false;
    auto i = static_cast<png_infop>(info);
    if (setjmp(png_jmpbuf(p))) return Release(), false;
    png_set_read_fn(p, source, PngReadData);
    png_set_keep_unknown_chunks(p, PNG_HANDLE_CHUNK_NEVER, nullptr, 0);
    png_set_keep_unknown_chunks(p, PNG_HANDLE_CHUNK_NEVER, kIgnoredChunks, kIgnoredChunkCount);
    png_read_info(p, i);
    png_uint_32 w = png_get_image_width(p, i), h = png_get_image_height(p, i);
    if (!ImageSizeValid(w, h)) return Release(), false;
    colourType = png_get_color_type(p, i);
    bitDepth = png_get_bit_depth(p, i);
    hasTransparency = png_get_valid(p, i, PNG_INFO_tRNS) != 0;
    int format;
    switch (colourType) {
    case PNG_COLOR_TYPE_GRAY: format = FormatGray8; break;
    case PNG_COLOR_TYPE_RGB: format = FormatRGB24; break;
    case PNG_COLOR_TYPE_PALETTE: format = hasTransparency ? FormatARGB32 : FormatIndexed8; break;
    case PNG_COLOR_TYPE_GRAY_ALPHA:
    case PNG_COLOR_TYPE_RGB_ALPHA: format = FormatARGB32; break;
    default: return Release(), false;
    }
    width = int(w), height = int(h);
    AddFormat(format);
    opened = true;
    return true;
}

// Sets the transformations that turn the rows into format; fills palette for indices.
static void PngSetTransforms(png_structp p, png_infop i, int colourType, int bitDepth, bool transparency,
                             int format, uint8_t* palette) {
    switch (colourType) {
    case PNG_COLOR_TYPE_GRAY:
        if (bitDepth == 16) png_set_strip_16(p);
        if (bitDepth < 8) png_set_expand_gray_1_2_4_to_8(p);
        break;
    case PNG_COLOR_TYPE_RGB:
        if (bitDepth == 16) png_set_strip_16(p);
        break;
    case PNG_COLOR_TYPE_PALETTE:
        if (transparency) {
            png_set_tRNS_to_alpha(p);
            png_set_palette_to_rgb(p);
            png_set_bgr(p);
        } else if (format == FormatRGB24) {
            png_set_palette_to_rgb(p);
        } else if (format == FormatIndexed8) {
            png_colorp entries;
            int count = 0;
            if (!png_get_PLTE(p, i, &entries, &count)) png_error(p, "Palette info not found!");
            for (int k = 0; palette && k < count && k < 256; k++)
                palette[k * 3] = entries[k].red, palette[k * 3 + 1] = entries[k].green, palette[k * 3 + 2] = entries[k].blue;
            // One index per byte, also for 1, 2 and 4 bits per pixel.
            if (bitDepth < 8) png_set_packing(p);
        } else {
            png_error(p, "Format not supported!");
        }
        break;
    case PNG_COLOR_TYPE_GRAY_ALPHA:
        if (bitDepth == 16) png_set_strip_16(p);
        png_set_gray_to_rgb(p);
        break;
    case PNG_COLOR_TYPE_RGB_ALPHA:
        if (bitDepth == 16) png_set_strip_16(p);
        png_set_bgr(p);
        break;
    default: png_error(p, "Format not supported!");
    }
}

bool PngCodec::Read(void* dst, int format, int stride, uint8_t* palette) {
    if (!CanRead(dst, format, stride) || !png) return false;
    auto p = static_cast<png_structp>(png);
    auto i = static_cast<png_infop>(info);
    if (setjmp(png_jmpbuf(p))) return Release(), false;
    PngSetTransforms(p, i, colourType, bitDepth, hasTransparency, format, palette);
    png_set_interlace_handling(p);
    png_read_update_info(p, i);
    // The transformed rows must be exactly what the format promises, or they overrun the caller.
    if (png_get_rowbytes(p, i) != size_t(width) * ImageFormatBytes(format)) png_error(p, "Format not supported!");
    auto rowPointers = static_cast<png_bytepp>(malloc(sizeof(png_bytep) * size_t(height)));
    if (!rowPointers) png_error(p, "Out of memory.");
    rows = rowPointers;
    for (int y = 0; y < height; y++) rowPointers[y] = static_cast<png_bytep>(dst) + ptrdiff_t(y) * stride;
    png_read_image(p, rowPointers);
    free(rows);
    rows = nullptr;
    png_read_end(p, static_cast<png_infop>(endInfo));
    Release();
    return true;
}
