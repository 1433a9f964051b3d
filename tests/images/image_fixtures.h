// Helpers shared by the image tests: decoding a byte block, expanding pixels to RGBA, building
// small files by hand and asking ImageMagick for reference decodes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "images/image.h"

using Bytes = std::vector<uint8_t>;

struct Decoded {
    bool opened = false;
    bool read = false;
    int width = 0;
    int height = 0;
    Bytes pixels; // packed rows in the asked format
    uint8_t palette[kImagePaletteBytes] = {};
};

// Opens data under name and reads it in format with packed rows.
Decoded DecodeBytes(const Bytes& data, const char* name, int format);
// Expands packed pixels of a format to RGBA bytes.
Bytes ToRgba(const Bytes& pixels, int format, const uint8_t* palette);

Bytes ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const Bytes& data);

// A fresh directory under the system's temporary directory, removed by the destructor.
class TempDir {
public:
    TempDir();
    ~TempDir();
    std::string Path(const std::string& name) const { return path + "/" + name; }

private:
    std::string path;
};

// True when ImageMagick's convert can be run.
bool HaveConvert();
// Runs convert with the arguments (already quoted as needed); true on exit status 0.
bool RunConvert(const std::string& arguments);
// The reference decode of a file as RGBA bytes, by ImageMagick.
bool ReferenceRgba(const std::string& file, Bytes& rgba);

// A w × h RGBA test picture: gradients, a few hard edges and, when withAlpha, a varied alpha.
Bytes TestPicture(int w, int h, bool withAlpha);
// Writes RGBA bytes as a PAM file (TUPLTYPE RGB_ALPHA).
void WritePam(const std::string& path, const Bytes& rgba, int w, int h);

// A GIF whose LZW data holds each index as a literal code (clear codes keep the width fixed).
// transparentIndex < 0: no graphic-control block.
Bytes MakeGif(int w, int h, const Bytes& indices, int colours, bool interlaced, int transparentIndex);
// A Targa header of 18 bytes.
Bytes TgaHeader(int type, int mapType, int mapLength, int mapBits, int w, int h, int depth, int descriptor);
// A bitmap with a 40-byte information header; pixel data as given (rows already padded).
Bytes MakeBmp(int w, int h, int depth, uint32_t coloursUsed, const Bytes& palette, const Bytes& data);
// A PCX header of 128 bytes.
Bytes PcxHeader(int w, int h, int planes, int bytesPerLine);

void Append(Bytes& to, const Bytes& more);
void AppendU16(Bytes& to, int v);
void AppendU32(Bytes& to, uint32_t v);
