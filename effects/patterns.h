#pragma once
// Procedural test textures for the effects gallery, benchmarks and tests.
#include <cstdint>

#include "host/pixels.h"

enum PatternKind {
    PATTERN_CHECKER, // 32-texel squares in two colours with a colour ramp across them
    PATTERN_RINGS,   // concentric rings around the middle
    PATTERN_GLOW,    // a soft round spot, black at the edges (for sprites)
    PATTERN_PLASMA,  // smooth colour waves
};

// Creates a size x size texture (size a power of two) filled with the pattern.
void PatternTextureCreate(Texture* texture, int size, PatternKind kind);
// Fills an existing surface or bitmap-sized run of pixels with the pattern at width x height.
void PatternFill(uint32_t* pixels, int width, int height, PatternKind kind);
