// Pictures and textures from the archive. Main thread, while the production sets up.
// Every loader returns true or ends the program through FatalError with its fixed message.
#pragma once

#include <cstdint>

#include "host/pixels.h"

// An 8-bit picture used only while loading: width * height bytes, rows top to bottom.
struct AlphaMap {
    uint8_t* pixels;  // owned, std::malloc
    uint32_t width;
    uint32_t height;
};

// Loads a picture of the archive as 32-bit pixels (alpha 255 unless the file carries alpha).
bool BitmapLoad(Bitmap& bitmap, const char* name);
// Loads colourName and puts the grey levels of alphaName into the alpha bytes where the two
// pictures overlap; false (bitmap released) when the alpha picture cannot be had.
bool BitmapLoadWithAlpha(Bitmap& bitmap, const char* colourName, const char* alphaName);
// Loads a picture whose sizes are powers of two and fills the masks and the shift.
bool TextureLoad(Texture& texture, const char* name);
// Loads a picture of the archive as one grey byte per pixel.
bool AlphaMapLoad(AlphaMap& map, const char* name);
// Frees the pixels if any and zeroes every field.
void AlphaMapRelease(AlphaMap& map);
