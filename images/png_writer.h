// Writes 8-bit RGB or RGBA PNG files with libpng. Any thread; no shared state.
#pragma once

#include <cstdint>
#include <vector>

enum PngChannels : int {
    PngRGB = 3,  // bytes red, green, blue per pixel
    PngRGBA = 4, // bytes red, green, blue, alpha per pixel
};

// Encodes width × height pixels (rows stride bytes apart, top row first) into out.
bool PngEncode(std::vector<uint8_t>& out, const uint8_t* pixels, int width, int height, int stride,
               PngChannels channels);
// Encodes width × height palette indices (rows stride bytes apart, top row first) with a palette
// of count (1 to 256) entries of red, green, blue into out.
bool PngEncodeIndexed(std::vector<uint8_t>& out, const uint8_t* indices, int width, int height, int stride,
                      const uint8_t* palette, int count);
// Encodes as PngEncode and writes the file at path (replacing it); false on any failure.
bool PngWrite(const char* path, const uint8_t* pixels, int width, int height, int stride, PngChannels channels);
