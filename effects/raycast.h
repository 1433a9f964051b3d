#pragma once
// Ray-cast environments (planes, sphere interior, tunnel) cast on a grid of one ray per 8 x 8
// block corner and filled by bilinear interpolation with fog. Frame thread only.
#include <cstdint>

#include "host/pixels.h"

struct Camera {
    float x, y, z;
};

// Per-corner values in 24.8 texels (rowCoord, columnCoord) and fog 0..65535, row-major,
// columns x rows; borrowed from the scratch pool for one call.
struct RayGrid {
    int32_t* rowCoord;
    int32_t* columnCoord;
    int32_t* fog;
    int32_t columns, rows;
};

// 65,536 bytes, [c * 256 + f] = ((255 - f) * c) >> 8; none until FogTableCreate.
extern const uint8_t* FogTable;

// Builds the fog table; false if memory ran out.
bool FogTableCreate();
void FogTableDestroy();
// Places the camera at (0, 0, -128).
void CameraReset(Camera* camera);
// 3 x 3 row-major rotation from three angles in 1024ths of a turn, for row vectors.
void ViewRotation(int angleA, int angleB, int angleC, float m[9]);

// Takes the three arrays for a width x height target from the scratch pool
// (rowCoord, columnCoord, fog) and gives them back in reverse order.
void RayGridBorrow(RayGrid* grid, int width, int height);
void RayGridReturn(RayGrid* grid);
// Fills the target's 8 x 8 blocks by interpolating the grid, texels darkened through the fog
// table; blocks are clipped to the target. Draws nothing without a fog table.
void RayGridFill(const RayGrid* grid, const Surface* target, const Texture* texture);

// Floor and mirrored ceiling at y = 100; sets the camera's z to cameraZ.
void RaycastPlanes(Camera* camera, const Surface* target, float zoom, const Texture* texture,
                   int angleA, int angleB, int angleC, float cameraZ);
// Inside of a sphere of radius 256 about the origin; the camera must lie inside.
void RaycastSphere(Camera* camera, const Surface* target, float zoom, const Texture* texture,
                   int angleA, int angleB, int angleC);
// Inside of a tube of radius 128 along z; sets the camera's z to cameraZ.
void RaycastTunnel(Camera* camera, const Surface* target, float zoom, const Texture* texture,
                   int angleA, int angleB, int angleC, float cameraZ);
