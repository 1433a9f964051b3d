// Pictures composed for PNG files: stills and the storyboard sheet, with labels in a small
// built-in font. One thread.
#pragma once

#include <cstdint>
#include <vector>

struct Sheet {
    int width, height;
    std::vector<uint32_t> pixels; // 0x..RRGGBB, rows top to bottom
};

// A width x height sheet filled with background.
void SheetCreate(Sheet& sheet, int width, int height, uint32_t background);
// Copies a width x height frame with each pixel a scale x scale block, its top-left corner at
// (x, y); clipped to the sheet.
void SheetPlaceFrame(Sheet& sheet, const uint32_t* frame, int width, int height, int scale, int x, int y);
// Writes text in 5 x 7 capitals (digits, A to Z, space and ": . - /"; lower case is shown in
// capitals, anything else as a space), 6 pixels a character, its top-left corner at (x, y).
void SheetText(Sheet& sheet, const char* text, int x, int y, uint32_t colour);
// The sheet as a PNG file's bytes, in true colour or reduced to a palette of 256 colours (a
// third of the size for a sheet of many frames); false if encoding failed.
bool SheetEncodePng(const Sheet& sheet, bool palette, std::vector<uint8_t>* png);
