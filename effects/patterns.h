#pragma once
// Procedural test textures and materials for the effects gallery, benchmarks and tests.
#include <cstdint>

#include "effects/scene.h"
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

// One 256 x 256 texture of each pattern.
struct PatternTextures {
    Texture checker, rings, glow, plasma;
};
void PatternTexturesCreate(PatternTextures* textures);
void PatternTexturesRelease(PatternTextures* textures);

// A sphere material that shows its type well: the checker as texture A, the glow spot (types
// that draw sprites) or the rings as texture B, all three edges glowing, a cyan-white colour,
// sprite scale 6000, and the blend table the type reads best with.
void PatternMaterialInit(Material* material, MaterialType type, const PatternTextures& textures);
