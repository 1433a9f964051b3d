// PCX, 8 bits per plane, run-length encoded.
#include <cstring>
#include <memory>
#include <new>

#include "images/codecs.h"

bool PcxCodec::Open() {
    uint8_t header[128];
    if (opened || !SourceReadExact(source, header, sizeof header)) return false;
    if (header[0] != 10 || header[1] > 5 || header[2] != 1 || header[3] != 8) return false;
    int64_t w = int64_t(ReadU16(header + 8)) - ReadU16(header + 4) + 1;
    int64_t h = int64_t(ReadU16(header + 10)) - ReadU16(header + 6) + 1;
    planes = header[65];
    bytesPerLine = ReadU16(header + 66);
    if (planes != 1 && planes != 3) return false;
    if (!ImageSizeValid(w, h) || (bytesPerLine != w && bytesPerLine != w + 1)) return false;
    width = int(w), height = int(h);
    AddFormat(planes == 1 ? FormatIndexed8 : FormatRGB24);
    opened = true;
    return true;
}

// Decodes one scan line; a run stops at the end of the line.
static bool DecodeLine(ImageSource* source, uint8_t* line, size_t length) {
    size_t at = 0;
    while (at < length) {
        uint8_t code;
        if (!SourceReadExact(source, &code, 1)) return false;
        if (code < 0xC0) {
            line[at++] = code;
            continue;
        }
        uint8_t value;
        if (!SourceReadExact(source, &value, 1)) return false;
        size_t count = code & 0x3F;
        if (count > length - at) count = length - at;
        memset(line + at, value, count);
        at += count;
    }
    return true;
}

bool PcxCodec::Read(void* dst, int format, int stride, uint8_t* palette) {
    if (!CanRead(dst, format, stride)) return false;
    size_t lineLength = size_t(planes) * bytesPerLine;
    std::unique_ptr<uint8_t[]> line(new (std::nothrow) uint8_t[lineLength]);
    if (!line) return false;
    uint8_t* out = static_cast<uint8_t*>(dst);
    for (int y = 0; y < height; y++) {
        if (!DecodeLine(source, line.get(), lineLength)) return false;
        uint8_t* row = out + ptrdiff_t(y) * stride;
        for (int k = 0; k < planes; k++)
            for (int x = 0; x < width; x++) row[x * planes + k] = line[size_t(k) * bytesPerLine + x];
    }
    if (planes != 1 || !palette) return true;
    uint8_t marker;
    if (!SourceReadExact(source, &marker, 1) || marker != 12) return false;
    return SourceReadExact(source, palette, kImagePaletteBytes);
}
