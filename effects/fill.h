#pragma once
// Screen-space triangle fillers, one per area material type; 20.12 edge walking with
// per-triangle constant gradients, clipped per span. Frame thread only.
#include <cstdint>

#include "effects/blend.h"
#include "host/pixels.h"

// One projected corner: pixel position, texture (u, v), environment (s, t) in texels and
// an intensity 0..255. Each filler reads only the fields it interpolates.
struct FillVertex {
    int x, y;
    int u, v;
    int s, t;
    int i;
};

// Types 1 and 2: plain texel copy from a bare 256 x 256 array (65,536 texels), (u, v).
void FillTexture(const FillVertex corners[3], const Surface* target, const uint32_t* texels);
// Type 4: flat colour (all 32 bits) with the flat filler's own edge rule.
void FillFlat(const FillVertex corners[3], uint32_t colour, const Surface* target);
// Type 5: ch = T[texel.ch * 256 + intensity], (u, v).
void FillTextureLit(const FillVertex corners[3], const Surface* target, const Texture* texture,
                    const BlendTable* table, int intensity);
// Type 7: ch = T[A(u, v).ch * 256 + B(s, t).ch].
void FillTextureEnv(const FillVertex corners[3], const Surface* target, const Texture* textureA,
                    const BlendTable* table, const Texture* textureB);
// Type 9: ch = T[frame.ch * 256 + texel.ch], (u, v).
void FillTextureOver(const FillVertex corners[3], const Surface* target, const Texture* texture,
                     const BlendTable* table);
// Type 10: ch = T[frame.ch * 256 + colour.ch].
void FillColourOver(const FillVertex corners[3], const Surface* target, int red, int green,
                    int blue, const BlendTable* table);
// Type 11: ch = T[colour.ch * 256 + i(x, y)], i interpolated from the corners.
void FillGouraud(const FillVertex corners[3], int red, int green, int blue, const Surface* target,
                 const BlendTable* table);
// Type 13: ch = T[texel.ch * 256 + i(x, y)], (u, v) and i interpolated.
void FillTextureGouraud(const FillVertex corners[3], const Surface* target, const Texture* texture,
                        const BlendTable* table);
