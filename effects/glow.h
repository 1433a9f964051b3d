#pragma once
// Anti-aliased glow lines and additive sprites, the wireframe and sprite materials.
// Frame thread only.
#include <cstdint>

#include "host/pixels.h"

// Three-pixel-wide line with a Gaussian falloff from (x0, y0) up to but not including
// (x1, y1), blended towards the colour by the 256-entry profile; clipped per pixel.
void GlowLine(int x0, int y0, int x1, int y1, const Surface* target, int red, int green, int blue,
              const int32_t* profile);
// Square size x size copy of the texture centred on (centreX, centreY), added to the target
// with per-byte saturation; clipped per pixel.
void AddSprite(int centreX, int centreY, int size, const Texture* texture, const Surface* target);

// The per-pixel operations, exposed so tests can hold the SSE2 forms to the scalar ones.
// out.ch = min(255, ((frame.ch * (255 - w)) >> 8) + ((colour.ch * w) >> 8)), top byte 0.
uint32_t GlowBlendScalar(uint32_t frame, uint32_t colour, int w);
uint32_t GlowBlend(uint32_t frame, uint32_t colour, int w);
// Per-byte saturating sum, all four bytes.
uint32_t AddSaturateScalar(uint32_t a, uint32_t b);
