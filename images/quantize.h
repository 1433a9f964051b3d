// Colour quantiser: median cut to a palette of at most 256 colours, nearest-colour mapping
// without dithering. Pure functions; any thread.
#pragma once

#include <cstdint>

constexpr int kQuantizeMaxColours = 256;

// Builds up to maxColours (clamped to 1..256) entries of red, green, blue into palette from
// RGB24 pixels (rows stride bytes apart); returns the entry count, 0 for an empty picture.
// Entries from the count on are left as they were.
int MedianCutPalette(const uint8_t* pixels, int width, int height, int stride, uint8_t* palette,
                     int maxColours);

// Index of the entry among the first count nearest to (red, green, blue) by the weighted
// distance 2|dr| + 3|dg| + |db|; the first of equals wins; 0 when count is 0.
int NearestColour(const uint8_t* palette, int count, int red, int green, int blue);

// Replaces every RGB24 pixel by the index of its nearest palette entry (dst rows dstStride
// bytes apart).
void QuantizeMap(const uint8_t* pixels, int width, int height, int stride, const uint8_t* palette,
                 int count, uint8_t* dst, int dstStride);
