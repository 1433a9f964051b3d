// Targa: types 1, 2, 3 and their run-length versions 9, 10, 11.
#include <cstring>

#include "images/codecs.h"

bool TgaCodec::Open() {
    uint8_t header[18];
    if (opened || !SourceReadExact(source, header, sizeof header)) return false;
    int idLength = header[0], mapType = header[1], type = header[2];
    int mapLength = ReadU16(header + 5), mapEntryBits = header[7];
    int w = ReadU16(header + 12), h = ReadU16(header + 14);
    int depth = header[16], descriptor = header[17];
    if (mapType > 1 || descriptor >= 64) return false;
    if (depth == 15) depth = 16;
    if (depth < 8 || depth > 32 || depth % 8 != 0) return false;
    if (!ImageSizeValid(w, h)) return false;
    bytesPerPixel = depth / 8;
    bottomUp = (descriptor & 0x20) == 0;
    runLength = type >= 9 && type <= 11;
    int baseType = runLength ? type - 8 : type;
    if (!SourceSkip(source, idLength)) return false;

    int format = -1;
    if (baseType == 1) {
        // Only 24-bit colour maps of at most 256 entries fit the caller's palette.
        if (depth != 8 || mapType != 1 || mapEntryBits != 24 || mapLength > 256) return false;
        paletteCount = mapLength;
        format = FormatIndexed8;
    } else {
        // A colour map in a picture that does not use it is passed over.
        if (mapType == 1) skipBytes = uint64_t(mapLength) * ((mapEntryBits + 7) / 8);
        if (baseType == 2 && depth == 8) return false;
        if (baseType == 2) format = depth == 32 ? FormatARGB32 : FormatRGB24;
        if (baseType == 3 && depth != 8) return false;
        if (baseType == 3) format = FormatGray8;
    }
    width = w, height = h;
    if (format >= 0) AddFormat(format);
    opened = true;
    return true;
}

// Reads the next pixel's bytes into pixel, directly or through the run-length packets.
bool TgaCodec::NextPixel() {
    if (!runLength) return SourceReadExact(source, pixel, bytesPerPixel);
    if (repeatCount > 0) {
        repeatCount--;
        return true;
    }
    if (literalCount > 0) {
        literalCount--;
        return SourceReadExact(source, pixel, bytesPerPixel);
    }
    uint8_t packet;
    if (!SourceReadExact(source, &packet, 1)) return false;
    if (packet & 0x80) repeatCount = packet & 0x7F;
    else literalCount = packet & 0x7F;
    return SourceReadExact(source, pixel, bytesPerPixel);
}

static uint8_t Expand5(int v) { return uint8_t((v * 255 + 15) / 31); }

bool TgaCodec::Read(void* dst, int format, int stride, uint8_t* palette) {
    if (!CanRead(dst, format, stride)) return false;
    if (paletteCount > 0) {
        uint8_t map[256 * 3];
        if (!SourceReadExact(source, map, size_t(paletteCount) * 3)) return false;
        for (int i = 0; palette && i < paletteCount; i++)
            palette[i * 3] = map[i * 3 + 2], palette[i * 3 + 1] = map[i * 3 + 1], palette[i * 3 + 2] = map[i * 3];
    }
    if (!SourceSkip(source, skipBytes)) return false;
    repeatCount = literalCount = 0;
    uint8_t* out = static_cast<uint8_t*>(dst);
    for (int i = 0; i < height; i++) {
        uint8_t* row = out + ptrdiff_t(bottomUp ? height - 1 - i : i) * stride;
        for (int x = 0; x < width; x++) {
            if (!NextPixel()) return false;
            if (bytesPerPixel == 1) {
                row[x] = pixel[0];
            } else if (bytesPerPixel == 2) {
                int v = pixel[0] | (pixel[1] << 8);
                uint8_t* p = row + x * 3;
                p[0] = Expand5((v >> 10) & 31), p[1] = Expand5((v >> 5) & 31), p[2] = Expand5(v & 31);
            } else if (bytesPerPixel == 3) {
                uint8_t* p = row + x * 3;
                p[0] = pixel[2], p[1] = pixel[1], p[2] = pixel[0];
            } else {
                memcpy(row + x * 4, pixel, 4);
            }
        }
    }
    return true;
}
