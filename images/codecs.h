// The six decoders behind Image, and the byte helpers they share. Each reads its source once,
// front to back, and reports every failure as false.
#pragma once

#include <csetjmp>
#include <cstdint>

#include "images/image.h"

// Reads exactly count bytes; false on a short read.
bool SourceReadExact(ImageSource* source, void* buffer, size_t count);
// Reads and drops count bytes; false on a short read.
bool SourceSkip(ImageSource* source, uint64_t count);

inline uint16_t ReadU16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
inline uint32_t ReadU32(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

// Windows and OS/2 bitmaps: uncompressed 8, 24 and 32 bits.
class BmpCodec : public ImageCodec {
public:
    using ImageCodec::ImageCodec;
    bool Open() override;
    bool Read(void* dst, int format, int stride, uint8_t* palette) override;

private:
    int bitsPerPixel = 0;
    int paletteCount = 0;
    int paletteEntrySize = 0;
    uint32_t skipBytes = 0;
    bool topDown = false;
};

// PCX: run-length 8-bit, one index plane or three colour planes.
class PcxCodec : public ImageCodec {
public:
    using ImageCodec::ImageCodec;
    bool Open() override;
    bool Read(void* dst, int format, int stride, uint8_t* palette) override;

private:
    int planes = 0;
    int bytesPerLine = 0;
};

// GIF: the first image, LZW, interlacing and a transparent index.
class GifCodec : public ImageCodec {
public:
    using ImageCodec::ImageCodec;
    bool Open() override;
    bool Read(void* dst, int format, int stride, uint8_t* palette) override;

private:
    struct Lzw;
    int colourCount = 0;
    uint8_t colourTable[kImagePaletteBytes] = {};
    bool interlaced = false;
    int minimumCodeSize = 0;
    bool transparent = false;
    int transparentIndex = 0;
};

// Targa: colour-mapped, true-colour and grey, raw or run-length.
class TgaCodec : public ImageCodec {
public:
    using ImageCodec::ImageCodec;
    bool Open() override;
    bool Read(void* dst, int format, int stride, uint8_t* palette) override;

private:
    bool NextPixel();

    int paletteCount = 0;
    int bytesPerPixel = 0;
    bool bottomUp = true;
    bool runLength = false;
    uint64_t skipBytes = 0; // a colour map that true-colour pictures do not use
    uint8_t pixel[4] = {};
    int repeatCount = 0;
    int literalCount = 0;
};

// PNG through libpng.
class PngCodec : public ImageCodec {
public:
    using ImageCodec::ImageCodec;
    ~PngCodec() override;
    bool Open() override;
    bool Read(void* dst, int format, int stride, uint8_t* palette) override;

private:
    void Release();

    void* png = nullptr;     // png_structp
    void* info = nullptr;    // png_infop
    void* endInfo = nullptr; // png_infop
    void* rows = nullptr;    // row pointers during Read
    int colourType = 0;
    int bitDepth = 0;
    bool hasTransparency = false;
};

// JPEG through libjpeg: YCbCr colour and grey-scale.
class JpegCodec : public ImageCodec {
public:
    struct Block; // error manager, jump buffer and decompression object
    using ImageCodec::ImageCodec;
    ~JpegCodec() override;
    bool Open() override;
    bool Read(void* dst, int format, int stride, uint8_t* palette) override;

private:
    Block* block = nullptr;
};
