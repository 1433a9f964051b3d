#pragma once
// Full-screen texture warps: the texel shown at (x, y) is the one at (x + d, y + d), d from a
// blob field (BlobWarp) or from two interfering ring sets (RippleWarp), wrapped modulo 256.
// Textures are addressed through their own masks: exactly 256 x 256 addressing for a
// 256 x 256 texture, and never outside a smaller one. Frame thread only.
#include <cstdint>

#include "host/pixels.h"

// Builds the program's blob warp for targets up to width x height; false if memory ran out.
bool BlobWarpCreate(int width, int height);
void BlobWarpDestroy();
// Draws the texture displaced by the four blobs at phase time / divisor; clipped to the size
// given at creation.
void BlobWarpRender(const Surface* target, const Texture* texture, float divisor, uint32_t time);
// The displacement of pixel (x, y) left by the last render, for tests; 0 outside the grid.
int BlobWarpDisplacement(int x, int y);

// Builds the 640 x 480 ring table and the 320 x 200 difference buffer (the sizes given are
// not used: the effect is fixed at 320 x 200); false if memory ran out.
bool RippleWarpCreate(int width, int height);
void RippleWarpDestroy();
// Draws the texture displaced by the ring difference at phase time / divisor; clipped to
// 320 x 200, rows by the target's pitch.
void RippleWarpRender(const Surface* target, float divisor, const Texture* texture, uint32_t time);
// The ring table entry at (row, column), for tests; 0 outside the table.
int RippleWarpRing(int row, int column);
