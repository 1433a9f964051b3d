// The image reader. State lives in each Image object; the caller's thread owns it.
#include "images/image.h"

#include <png.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <memory>
#include <new>

#include "images/codecs.h"
#include "images/quantize.h"

int ImageFormatBytes(int format) {
    switch (format) {
    case FormatRGB24: return 3;
    case FormatARGB32: return 4;
    case FormatGray8:
    case FormatIndexed8: return 1;
    }
    return 0;
}

static const char* const kFormatNames[] = {"rgb24", "argb32", "gray8", "indexed8"};
static const char* const kKindNames[] = {"bmp", "jpeg", "pcx", "gif", "tga", "png"};

const char* ImageFormatName(int format) {
    return format >= 0 && format < 4 ? kFormatNames[format] : nullptr;
}

int ImageFormatFromName(const char* name) {
    for (int i = 0; i < 4; i++)
        if (strcmp(name, kFormatNames[i]) == 0) return i;
    return -1;
}

const char* ImageKindName(int kind) { return kind >= 0 && kind < KindUnknown ? kKindNames[kind] : nullptr; }

bool ImageSizeValid(int64_t width, int64_t height) {
    if (width < 1 || height < 1 || width > kImageMaxSide || height > kImageMaxSide) return false;
    return width * height <= kImageMaxPixels;
}

bool SourceReadExact(ImageSource* source, void* buffer, size_t count) {
    return source->Read(buffer, count) == count;
}

bool SourceSkip(ImageSource* source, uint64_t count) {
    uint8_t scratch[512];
    while (count > 0) {
        size_t n = size_t(std::min<uint64_t>(count, sizeof scratch));
        if (source->Read(scratch, n) != n) return false;
        count -= n;
    }
    return true;
}

MemoryImageSource::MemoryImageSource(const void* data, size_t size)
    : data(static_cast<const uint8_t*>(data)), size(size) {}

size_t MemoryImageSource::Read(void* buffer, size_t count) {
    size_t n = std::min(count, size - position);
    if (n) memcpy(buffer, data + position, n);
    position += n;
    return n;
}

// ---- PeekStream

static bool EndsWithTga(const char* name) {
    if (!name) return false;
    size_t length = strlen(name);
    if (length < 4) return false;
    const char* tail = name + length - 4;
    return tail[0] == '.' && tolower((unsigned char)tail[1]) == 't' &&
           tolower((unsigned char)tail[2]) == 'g' && tolower((unsigned char)tail[3]) == 'a';
}

static int SniffKind(const uint8_t* b, size_t held, const char* name) {
    if (held < PeekStream::kSniffBytes) return KindUnknown;
    if (b[0] == 'B' && b[1] == 'M') return KindBmp;
    if (b[0] == 0x0A && b[1] <= 5) return KindPcx;
    if (b[0] == 'G' && b[1] == 'I' && b[2] == 'F') return KindGif;
    if (b[0] == 0xFF) return KindJpeg;
    if (png_sig_cmp(b, 0, PeekStream::kSniffBytes) == 0) return KindPng;
    if (EndsWithTga(name)) return KindTga;
    return KindUnknown;
}

PeekStream::PeekStream(ImageSource* input, const char* name) : input(input) {
    // The source may deliver fewer bytes per call than asked; collect all 16 if they exist.
    while (held < kSniffBytes) {
        size_t n = input->Read(buffer + held, kSniffBytes - held);
        if (n == 0) break;
        held += n;
    }
    kind = SniffKind(buffer, held, name);
}

size_t PeekStream::Read(void* out, size_t count) {
    uint8_t* dst = static_cast<uint8_t*>(out);
    size_t delivered = 0;
    while (delivered < count) {
        // Refilling only when empty delivers the same bytes as topping up on every call, without
        // shifting the buffer for each of the many small reads the decoders make.
        if (held == 0) {
            start = 0;
            held = input->Read(buffer, kBufferSize);
            if (held == 0) {
                atEnd = true;
                return delivered;
            }
        }
        size_t n = std::min(held, count - delivered);
        memcpy(dst + delivered, buffer + start, n);
        start += n;
        held -= n;
        delivered += n;
    }
    return delivered;
}

// ---- ImageCodec

ImageCodec::ImageCodec(ImageSource* source) : source(source) {}

ImageCodec::~ImageCodec() = default;

int ImageCodec::GetWidth() { return width; }

int ImageCodec::GetHeight() { return height; }

int ImageCodec::GetFormats(std::vector<int>& list) {
    list = formats;
    return int(list.size());
}

bool ImageCodec::Supports(int format) {
    return std::find(formats.begin(), formats.end(), format) != formats.end();
}

void ImageCodec::AddFormat(int format) {
    if (formats.capacity() == 0) formats.reserve(16);
    formats.push_back(format);
}

bool ImageCodec::CanRead(const void* dst, int format, int stride) {
    if (!opened || !dst || !Supports(format)) return false;
    return int64_t(stride) >= int64_t(width) * ImageFormatBytes(format);
}

// ---- conversions

static void ConvertToRGB24(const uint8_t* s, int srcFormat, const uint8_t* pal, int width, uint8_t* d) {
    for (int x = 0; x < width; x++, d += 3) {
        switch (srcFormat) {
        case FormatARGB32: d[0] = s[4 * x + 2], d[1] = s[4 * x + 1], d[2] = s[4 * x]; break;
        case FormatIndexed8: memcpy(d, pal + s[x] * 3, 3); break;
        default: d[0] = d[1] = d[2] = s[x]; break;
        }
    }
}

static void ConvertToARGB32(const uint8_t* s, int srcFormat, const uint8_t* pal, int width, uint8_t* d) {
    for (int x = 0; x < width; x++, d += 4) {
        const uint8_t* rgb = srcFormat == FormatRGB24 ? s + 3 * x : srcFormat == FormatIndexed8 ? pal + s[x] * 3 : nullptr;
        if (rgb) d[0] = rgb[2], d[1] = rgb[1], d[2] = rgb[0];
        else d[0] = d[1] = d[2] = s[x];
        d[3] = 255;
    }
}

static void ConvertToGray8(const uint8_t* s, int srcFormat, const uint8_t* pal, int width, uint8_t* d) {
    for (int x = 0; x < width; x++) {
        int r, g, b;
        if (srcFormat == FormatRGB24) r = s[3 * x], g = s[3 * x + 1], b = s[3 * x + 2];
        else if (srcFormat == FormatARGB32) r = s[4 * x + 2], g = s[4 * x + 1], b = s[4 * x];
        else r = pal[s[x] * 3], g = pal[s[x] * 3 + 1], b = pal[s[x] * 3 + 2];
        d[x] = uint8_t((r + g + b) / 3);
    }
}

static bool ConvertToIndexed8(const uint8_t* src, int srcFormat, int width, int height, uint8_t* dst,
                              int dstStride, uint8_t* palette) {
    if (srcFormat == FormatGray8) {
        for (int i = 0; i < 256; i++) palette[i * 3] = palette[i * 3 + 1] = palette[i * 3 + 2] = uint8_t(i);
        for (int y = 0; y < height; y++) memcpy(dst + ptrdiff_t(y) * dstStride, src + size_t(y) * width, width);
        return true;
    }
    const uint8_t* rgb = src;
    std::unique_ptr<uint8_t[]> owned;
    if (srcFormat == FormatARGB32) {
        owned.reset(new (std::nothrow) uint8_t[size_t(width) * height * 3]);
        if (!owned) return false;
        for (int y = 0; y < height; y++)
            ConvertToRGB24(src + size_t(y) * width * 4, srcFormat, nullptr, width, owned.get() + size_t(y) * width * 3);
        rgb = owned.get();
    }
    int count = MedianCutPalette(rgb, width, height, width * 3, palette, kQuantizeMaxColours);
    QuantizeMap(rgb, width, height, width * 3, palette, count, dst, dstStride);
    return true;
}

bool ImageConvert(const uint8_t* src, int srcFormat, const uint8_t* srcPalette, int width, int height,
                  uint8_t* dst, int dstFormat, int dstStride, uint8_t* dstPalette) {
    int srcBytes = ImageFormatBytes(srcFormat), dstBytes = ImageFormatBytes(dstFormat);
    if (!srcBytes || !dstBytes || srcFormat == dstFormat) return false;
    if (srcFormat == FormatIndexed8 && !srcPalette) return false;
    if (dstFormat == FormatIndexed8) {
        if (srcFormat == FormatIndexed8 || !dstPalette) return false;
        return ConvertToIndexed8(src, srcFormat, width, height, dst, dstStride, dstPalette);
    }
    if (dstFormat == FormatRGB24 || dstFormat == FormatARGB32 || dstFormat == FormatGray8) {
        if (dstFormat == FormatGray8 && srcFormat == FormatGray8) return false;
        auto row = dstFormat == FormatRGB24 ? ConvertToRGB24 : dstFormat == FormatARGB32 ? ConvertToARGB32 : ConvertToGray8;
        for (int y = 0; y < height; y++)
            row(src + size_t(y) * width * srcBytes, srcFormat, srcPalette, width, dst + ptrdiff_t(y) * dstStride);
        return true;
    }
    return false;
}

// ---- Image

// Native formats to convert from, in order of preference, for each wanted format.
static const int kSources[4][3] = {
    {FormatARGB32, FormatIndexed8, FormatGray8}, // RGB24
    {FormatRGB24, FormatIndexed8, FormatGray8},  // ARGB32
    {FormatRGB24, FormatARGB32, FormatIndexed8}, // Gray8
    {FormatRGB24, FormatARGB32, FormatGray8},    // Indexed8
};

Image::Image(ImageSource* source, const char* name) : ImageCodec(source), peek(source, name) {}

Image::~Image() { delete decoder; }

static ImageCodec* CreateDecoder(int kind, ImageSource* source) {
    switch (kind) {
    case KindBmp: return new (std::nothrow) BmpCodec(source);
    case KindJpeg: return new (std::nothrow) JpegCodec(source);
    case KindPcx: return new (std::nothrow) PcxCodec(source);
    case KindGif: return new (std::nothrow) GifCodec(source);
    case KindTga: return new (std::nothrow) TgaCodec(source);
    case KindPng: return new (std::nothrow) PngCodec(source);
    }
    return nullptr;
}

bool Image::Open() {
    if (decoder) return false;
    decoder = CreateDecoder(peek.GetKind(), &peek);
    if (!decoder) return false;
    opened = decoder->Open();
    return opened;
}

int Image::GetWidth() { return decoder ? decoder->GetWidth() : 0; }

int Image::GetHeight() { return decoder ? decoder->GetHeight() : 0; }

int Image::GetFormats(std::vector<int>& list) {
    if (!decoder) {
        list.clear();
        return 0;
    }
    return decoder->GetFormats(list);
}

bool Image::Supports(int format) { return decoder && decoder->Supports(format); }

bool Image::Read(void* dst, int format, int stride, uint8_t* palette) {
    if (!decoder || !opened || format < 0 || format > 3) return false;
    if (decoder->Supports(format)) return decoder->Read(dst, format, stride, palette);
    int w = decoder->GetWidth(), h = decoder->GetHeight();
    if (!dst || int64_t(stride) < int64_t(w) * ImageFormatBytes(format)) return false;
    for (int source : kSources[format]) {
        if (!decoder->Supports(source)) continue;
        int bytes = ImageFormatBytes(source);
        std::unique_ptr<uint8_t[]> temp(new (std::nothrow) uint8_t[size_t(w) * h * bytes]);
        uint8_t tempPalette[kImagePaletteBytes] = {};
        uint8_t wantedPalette[kImagePaletteBytes];
        if (!temp) return false;
        if (!decoder->Read(temp.get(), source, w * bytes, tempPalette)) return false;
        return ImageConvert(temp.get(), source, tempPalette, w, h, static_cast<uint8_t*>(dst), format, stride,
                            palette ? palette : wantedPalette);
    }
    return false;
}
