// GIF: the first image of the file, LZW decoded.
#include <cstring>
#include <memory>
#include <new>

#include "images/codecs.h"

static constexpr int kLzwTableSize = 4096;
static constexpr int kLzwMaxBits = 12;

// Reads a colour table of 2 << sizeBits entries.
static bool ReadColourTable(ImageSource* source, int sizeBits, uint8_t* table, int* count) {
    *count = 2 << sizeBits;
    return SourceReadExact(source, table, size_t(*count) * 3);
}

// Skips data sub-blocks up to and including the empty one.
static bool SkipSubBlocks(ImageSource* source) {
    for (;;) {
        uint8_t length;
        if (!SourceReadExact(source, &length, 1)) return false;
        if (length == 0) return true;
        if (!SourceSkip(source, length)) return false;
    }
}

bool GifCodec::Open() {
    uint8_t header[13];
    if (opened || !SourceReadExact(source, header, sizeof header)) return false;
    if (memcmp(header, "GIF", 3) != 0) return false;
    int w = ReadU16(header + 6), h = ReadU16(header + 8);
    if ((header[10] & 0x80) && !ReadColourTable(source, header[10] & 7, colourTable, &colourCount)) return false;
    for (;;) {
        uint8_t type;
        if (!SourceReadExact(source, &type, 1)) return false;
        if (type == 0x3B) return false;
        if (type == 0x21) {
            uint8_t label;
            if (!SourceReadExact(source, &label, 1)) return false;
            if (label == 0xF9) {
                uint8_t size, control[255];
                if (!SourceReadExact(source, &size, 1) || !SourceReadExact(source, control, size)) return false;
                // A block shorter than 4 bytes carries no transparent index.
                if (size >= 4) transparent = control[0] & 1, transparentIndex = control[3];
            }
            if (!SkipSubBlocks(source)) return false;
            continue;
        }
        if (type != 0x2C) continue;
        uint8_t descriptor[9];
        if (!SourceReadExact(source, descriptor, sizeof descriptor)) return false;
        w = ReadU16(descriptor + 4), h = ReadU16(descriptor + 6);
        uint8_t flags = descriptor[8];
        interlaced = (flags & 0x40) != 0;
        if ((flags & 0x80) && !ReadColourTable(source, flags & 7, colourTable, &colourCount)) return false;
        uint8_t codeSize;
        if (!SourceReadExact(source, &codeSize, 1) || codeSize < 2 || codeSize > 11) return false;
        minimumCodeSize = codeSize;
        break;
    }
    if (!ImageSizeValid(w, h)) return false;
    width = w, height = h;
    AddFormat(FormatIndexed8);
    if (transparent) AddFormat(FormatARGB32);
    opened = true;
    return true;
}

// LZW decoder state for one Read; yields one index byte per call.
struct GifCodec::Lzw {
    ImageSource* source;
    int clear, end, codeSize, nextFree, previous, first;
    bool started = false, finished = false, dataEnded = false;
    uint8_t block[255];
    int blockLength = 0, blockAt = 0;
    uint32_t bits = 0;
    int bitCount = 0;
    uint16_t prefix[kLzwTableSize] = {};
    uint8_t suffix[kLzwTableSize] = {};
    uint8_t stack[kLzwTableSize];
    int stackTop = 0;
    int minimumCodeSize;

    Lzw(ImageSource* source, int minimumCodeSize) : source(source), minimumCodeSize(minimumCodeSize) {
        clear = 1 << minimumCodeSize;
        end = clear + 1;
        for (int i = 0; i < clear; i++) suffix[i] = uint8_t(i);
    }

    // Next code, least significant bit first across sub-blocks; -1 when the data is over.
    int ReadCode() {
        while (bitCount < codeSize) {
            if (blockAt == blockLength) {
                uint8_t length;
                if (dataEnded || !SourceReadExact(source, &length, 1) || length == 0 ||
                    !SourceReadExact(source, block, length)) {
                    dataEnded = true;
                    return -1;
                }
                blockLength = length, blockAt = 0;
            }
            bits |= uint32_t(block[blockAt++]) << bitCount;
            bitCount += 8;
        }
        int code = int(bits & ((1u << codeSize) - 1));
        bits >>= codeSize;
        bitCount -= codeSize;
        return code;
    }

    int Finish() {
        if (!finished && !dataEnded) SkipSubBlocks(source);
        finished = true;
        return 0;
    }

    int Clear() {
        codeSize = minimumCodeSize + 1;
        nextFree = clear + 2;
        stackTop = 0;
        int code;
        do code = ReadCode();
        while (code == clear);
        if (code < 0) return Finish();
        if (code > clear) code = 0;
        previous = first = code;
        return code;
    }

    void Push(uint8_t value) {
        if (stackTop < kLzwTableSize) stack[stackTop++] = value;
    }

    int Decode(int k) {
        int code = k, remembered = k;
        if (k >= nextFree) {
            Push(uint8_t(first));
            code = previous;
            if (k > nextFree) remembered = 0;
        }
        // Prefixes always name lower entries, so the walk ends; Push guards the stack anyway.
        while (code >= clear) {
            Push(suffix[code]);
            code = prefix[code];
        }
        first = code;
        if (nextFree < kLzwTableSize) {
            prefix[nextFree] = uint16_t(previous);
            suffix[nextFree] = uint8_t(first);
            nextFree++;
            if (nextFree >= (1 << codeSize) && codeSize < kLzwMaxBits) codeSize++;
        }
        previous = remembered;
        return first;
    }

    int Next() {
        if (finished) return 0;
        if (!started) {
            started = true;
            return Clear();
        }
        if (stackTop > 0) return stack[--stackTop];
        int code = ReadCode();
        if (code < 0 || code == end) return Finish();
        if (code == clear) return Clear();
        return Decode(code);
    }
};

// Destination row of the i-th row in file order.
static int FileRowToImageRow(int i, int height, bool interlaced) {
    if (!interlaced) return i;
    static const int kStart[4] = {0, 4, 2, 1}, kStep[4] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; pass++) {
        int rows = height > kStart[pass] ? (height - kStart[pass] + kStep[pass] - 1) / kStep[pass] : 0;
        if (i < rows) return kStart[pass] + i * kStep[pass];
        i -= rows;
    }
    return 0;
}

bool GifCodec::Read(void* dst, int format, int stride, uint8_t* palette) {
    if (!CanRead(dst, format, stride)) return false;
    if (format == FormatIndexed8 && palette) memcpy(palette, colourTable, size_t(colourCount) * 3);
    std::unique_ptr<Lzw> lzw(new (std::nothrow) Lzw(source, minimumCodeSize));
    if (!lzw) return false;
    uint8_t* out = static_cast<uint8_t*>(dst);
    for (int i = 0; i < height; i++) {
        uint8_t* row = out + ptrdiff_t(FileRowToImageRow(i, height, interlaced)) * stride;
        for (int x = 0; x < width; x++) {
            uint8_t index = uint8_t(lzw->Next());
            if (format == FormatIndexed8) {
                row[x] = index;
                continue;
            }
            const uint8_t* c = colourTable + index * 3;
            uint8_t* p = row + x * 4;
            p[0] = c[2], p[1] = c[1], p[2] = c[0];
            p[3] = transparent && index == transparentIndex ? 0 : 255;
        }
    }
    return true;
}
