// Windows and OS/2 bitmaps, uncompressed.
#include <utility>

#include "images/codecs.h"

static constexpr uint32_t kFileHeaderSize = 14;

bool BmpCodec::Open() {
    uint8_t header[kFileHeaderSize + 64];
    if (opened || !SourceReadExact(source, header, kFileHeaderSize + 4)) return false;
    if (header[0] != 'B' || header[1] != 'M') return false;
    uint32_t dataOffset = ReadU32(header + 10);
    uint32_t infoSize = ReadU32(header + 14);
    if (infoSize != 12 && infoSize != 40 && infoSize != 64) return false;
    uint8_t* info = header + kFileHeaderSize;
    if (!SourceReadExact(source, info + 4, infoSize - 4)) return false;

    int64_t w, h;
    int planes;
    uint32_t coloursUsed = 0;
    if (infoSize == 12) {
        w = ReadU16(info + 4), h = ReadU16(info + 6);
        planes = ReadU16(info + 8), bitsPerPixel = ReadU16(info + 10);
        paletteEntrySize = 3;
    } else {
        w = int32_t(ReadU32(info + 4)), h = int32_t(ReadU32(info + 8));
        planes = ReadU16(info + 12), bitsPerPixel = ReadU16(info + 14);
        if (ReadU32(info + 16) != 0) return false;
        coloursUsed = ReadU32(info + 32);
        paletteEntrySize = 4;
    }
    // A negative height stores the rows top-down.
    topDown = h < 0;
    if (topDown) h = -h;
    if (planes != 1 || !ImageSizeValid(w, h)) return false;
    if (bitsPerPixel != 8 && bitsPerPixel != 24 && bitsPerPixel != 32) return false;

    if (infoSize == 12) paletteCount = bitsPerPixel == 24 ? 0 : 256;
    else paletteCount = coloursUsed ? int(coloursUsed > 256 ? 257 : coloursUsed) : bitsPerPixel == 8 ? 256 : 0;
    // The caller's palette has room for 256 entries.
    if (paletteCount > 256) return false;
    uint32_t paletteBytes = bitsPerPixel < 24 ? uint32_t(paletteCount * paletteEntrySize) : 0;
    uint32_t pixelStart = kFileHeaderSize + infoSize + paletteBytes;
    // Reading never goes back, so the pixels cannot start inside the headers or the palette.
    if (dataOffset < pixelStart) return false;
    skipBytes = dataOffset - pixelStart;

    width = int(w), height = int(h);
    AddFormat(bitsPerPixel == 8 ? FormatIndexed8 : bitsPerPixel == 24 ? FormatRGB24 : FormatARGB32);
    opened = true;
    return true;
}

bool BmpCodec::Read(void* dst, int format, int stride, uint8_t* palette) {
    if (!CanRead(dst, format, stride)) return false;
    if (bitsPerPixel < 24) {
        uint8_t entries[256 * 4];
        if (!SourceReadExact(source, entries, size_t(paletteCount) * paletteEntrySize)) return false;
        for (int i = 0; palette && i < paletteCount; i++) {
            const uint8_t* e = entries + i * paletteEntrySize;
            palette[i * 3] = e[2], palette[i * 3 + 1] = e[1], palette[i * 3 + 2] = e[0];
        }
    }
    if (!SourceSkip(source, skipBytes)) return false;

    size_t rowBytes = size_t(width) * (bitsPerPixel / 8);
    size_t padding = (4 - rowBytes % 4) % 4;
    uint8_t* out = static_cast<uint8_t*>(dst);
    for (int i = 0; i < height; i++) {
        uint8_t* row = out + ptrdiff_t(topDown ? i : height - 1 - i) * stride;
        if (!SourceReadExact(source, row, rowBytes)) return false;
        if (bitsPerPixel == 24)
            for (size_t x = 0; x < rowBytes; x += 3) std::swap(row[x], row[x + 2]);
        if (!SourceSkip(source, padding)) return false;
    }
    return true;
}
