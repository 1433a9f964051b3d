#include "effects/raycast.h"

#include <cmath>
#include <new>

#include "effects/local.h"
#include "host/trig.h"
#include "host/scratch.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

const uint8_t* FogTable = nullptr;

namespace {
// The fog table's owned block: built by the main thread at set-up, read-only on the frame
// thread afterwards.
struct FogState {
    uint8_t* table;
};
} // namespace

static FogState gFog;

static const float kHalfTurnTexels = 81.48733f; // 256 / pi

namespace {
struct Vec {
    float x, y, z;
};
// What a ray yields where it meets the surface.
struct Hit {
    int32_t row, column, fog;
};
} // namespace

bool FogTableCreate()
{
    FogTableDestroy();
    gFog.table = new (std::nothrow) uint8_t[65536];
    if (!gFog.table)
        return false;
    // A shift, not a division by 255: fog level 0 leaves 255 at 254 and every channel one step
    // darker at most. The production's frames were made with this table; an exact one would
    // change every ray-cast pixel of them.
    for (int c = 0; c < 256; c++)
        for (int f = 0; f < 256; f++)
            gFog.table[c * 256 + f] = (uint8_t)(((255 - f) * c) >> 8);
    FogTable = gFog.table;
    return true;
}

void FogTableDestroy()
{
    delete[] gFog.table;
    gFog.table = nullptr;
    FogTable = nullptr;
}

void CameraReset(Camera* camera)
{
    camera->x = 0.0f;
    camera->y = 0.0f;
    camera->z = -128.0f;
}

void ViewRotation(int angleA, int angleB, int angleC, float m[9])
{
    float sa = SineTable[angleA & 1023], ca = CosineTable[angleA & 1023];
    float sb = SineTable[angleB & 1023], cb = CosineTable[angleB & 1023];
    float sc = SineTable[angleC & 1023], cc = CosineTable[angleC & 1023];
    m[0] = cc * cb;
    m[1] = sc * cb;
    m[2] = -sb;
    m[3] = sa * sb * cc - ca * sc;
    m[4] = ca * cc + sa * sb * sc;
    m[5] = sa * cb;
    m[6] = ca * sb * cc + sa * sc;
    m[7] = ca * sb * sc - sa * cc;
    m[8] = ca * cb;
}

void RayGridBorrow(RayGrid* grid, int width, int height)
{
    grid->columns = (width > 0 ? (width + 7) / 8 : 0) + 1;
    grid->rows = (height > 0 ? (height + 7) / 8 : 0) + 1;
    uint32_t bytes = (uint32_t)(grid->columns * grid->rows * sizeof(int32_t));
    grid->rowCoord = (int32_t*)ScratchAlloc(bytes);
    grid->columnCoord = (int32_t*)ScratchAlloc(bytes);
    grid->fog = (int32_t*)ScratchAlloc(bytes);
}

void RayGridReturn(RayGrid* grid)
{
    ScratchFree(grid->fog);
    ScratchFree(grid->columnCoord);
    ScratchFree(grid->rowCoord);
    grid->rowCoord = grid->columnCoord = grid->fog = nullptr;
}

static int32_t FogValue(double v)
{
    if (!(v >= 0.0))
        return v == v ? 0 : 65535; // NaN comes from an endless distance
    return v >= 65535.0 ? 65535 : (int32_t)v;
}

// Casts one ray per grid point and stores what surface() makes of its rotated direction.
template <class SurfaceHit>
static void CastGrid(RayGrid* grid, float zoom, const float m[9], SurfaceHit surface)
{
    float wide = zoom * 0.75f;
    for (int i = 0; i < grid->rows; i++) {
        for (int k = 0; k < grid->columns; k++) {
            float x = ((float)k / (float)(grid->columns - 1) - 0.5f) * 320.0f * wide;
            float y = ((float)i / (float)(grid->rows - 1) - 0.5f) * 200.0f;
            float z = 128.0f;
            float len = std::sqrt(x * x + y * y + 16384.0f);
            if (len != 0.0f) {
                x /= len;
                y /= len;
                z /= len;
            }
            Vec d{x * m[0] + y * m[3] + z * m[6], x * m[1] + y * m[4] + z * m[7],
                  x * m[2] + y * m[5] + z * m[8]};
            Hit h = surface(d);
            int at = i * grid->columns + k;
            grid->rowCoord[at] = h.row;
            grid->columnCoord[at] = h.column;
            grid->fog[at] = h.fog;
        }
    }
}

namespace {
// One interpolated quantity along a block: the edges kept times 8, the row value times 64.
// Wrapping 32-bit arithmetic keeps the low bits that the masks read.
struct Lerp {
    uint32_t left, right, leftStep, rightStep;

    void Start(const int32_t* a, int at, int columns)
    {
        left = 8u * (uint32_t)a[at];
        right = 8u * (uint32_t)a[at + 1];
        leftStep = (uint32_t)a[at + columns] - (uint32_t)a[at];
        rightStep = (uint32_t)a[at + columns + 1] - (uint32_t)a[at + 1];
    }
};
} // namespace

// The fog table's entry ((255 - f) * c) >> 8 for all three channels at once: red and blue
// share one product (each below 2^16, so neither carries into the other), green the other.
static inline uint32_t Fog(uint32_t texel, uint32_t keep)
{
    return (((texel & 0xFF00FFu) * keep >> 8) & 0xFF00FFu) | (((texel & 0xFF00u) * keep >> 8) & 0xFF00u);
}

namespace {
// One pixel row of a block: the three values times 64 and their steps per pixel.
struct BlockRow {
    uint32_t rv, rd, cv, cd, fv, fd;
};
// A texture's addressing in locals, so stores to the target cannot alias its fields.
struct Texels {
    const uint32_t* pixels;
    uint32_t heightMask, widthMask, widthShift;
};
} // namespace

static void RowScalar(uint32_t* out, int n, BlockRow v, const Texels& t)
{
    for (int q = 0; q < n; q++) {
        uint32_t ti = (((v.rv >> 14) & t.heightMask) << t.widthShift) + ((v.cv >> 14) & t.widthMask);
        uint32_t level = v.fv >> 14;
        level = level > 255 ? 255 : level;
        out[q] = Fog(t.pixels[ti], 255 - level);
        v.rv += v.rd;
        v.cv += v.cd;
        v.fv += v.fd;
    }
}

#if defined(__SSE2__)
// Lanes q = 0..3 of value + q * step.
static inline __m128i Ramp(uint32_t value, uint32_t step)
{
    return _mm_add_epi32(_mm_set1_epi32((int)value),
                         _mm_set_epi32((int)(3 * step), (int)(2 * step), (int)step, 0));
}

// Four pixels at once: the same index arithmetic in 32-bit lanes, the fog darkening as
// (channel * keep) >> 8 in 16-bit lanes (at most 255 * 255, so nothing saturates).
static inline void RowQuad(uint32_t* out, __m128i r, __m128i c, __m128i f, const Texels& t)
{
    const __m128i zero = _mm_setzero_si128();
    __m128i ri = _mm_sll_epi32(_mm_and_si128(_mm_srli_epi32(r, 14), _mm_set1_epi32((int)t.heightMask)),
                               _mm_cvtsi32_si128((int)t.widthShift));
    __m128i index = _mm_add_epi32(ri, _mm_and_si128(_mm_srli_epi32(c, 14), _mm_set1_epi32((int)t.widthMask)));
    alignas(16) uint32_t at[4];
    _mm_store_si128((__m128i*)at, index);
    __m128i texel = _mm_set_epi32((int)t.pixels[at[3]], (int)t.pixels[at[2]], (int)t.pixels[at[1]],
                                  (int)t.pixels[at[0]]);
    __m128i level = _mm_min_epi16(_mm_packs_epi32(_mm_srli_epi32(f, 14), zero), _mm_set1_epi16(255));
    __m128i keep = _mm_sub_epi16(_mm_set1_epi16(255), level); // lanes 0..3: pixels 0..3
    keep = _mm_unpacklo_epi16(keep, keep);
    __m128i keepLo = _mm_unpacklo_epi32(keep, keep), keepHi = _mm_unpackhi_epi32(keep, keep);
    __m128i lo = _mm_srli_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(texel, zero), keepLo), 8);
    __m128i hi = _mm_srli_epi16(_mm_mullo_epi16(_mm_unpackhi_epi8(texel, zero), keepHi), 8);
    __m128i pixels = _mm_and_si128(_mm_packus_epi16(lo, hi), _mm_set1_epi32(0x00FFFFFF));
    _mm_storeu_si128((__m128i*)out, pixels);
}
#endif

#if defined(__SSE2__)
namespace {
// One quantity over a whole block in lanes: pixels 0..3 and 4..7 of the current row, and
// what a row down adds to each, 8 * leftStep + q * (rightStep - leftStep), wrapping as the
// scalar rows do.
struct LaneLerp {
    __m128i low, high, lowStep, highStep;

    explicit LaneLerp(const Lerp& l)
    {
        uint32_t d = l.right - l.left, dStep = l.rightStep - l.leftStep;
        low = Ramp(8u * l.left, d);
        high = _mm_add_epi32(low, _mm_set1_epi32((int)(4 * d)));
        lowStep = Ramp(8u * l.leftStep, dStep);
        highStep = _mm_add_epi32(lowStep, _mm_set1_epi32((int)(4 * dStep)));
    }
    void Step()
    {
        low = _mm_add_epi32(low, lowStep);
        high = _mm_add_epi32(high, highStep);
    }
};
} // namespace

// A block eight pixels wide, h rows, four pixels at a time.
static void FillBlockLanes(uint32_t* out, uint32_t pitch, int h, const Lerp& row, const Lerp& column,
                           const Lerp& fog, const Texels& t)
{
    LaneLerp r(row), c(column), f(fog);
    for (int y = 0; y < h; y++, out = (uint32_t*)((uint8_t*)out + pitch)) {
        RowQuad(out, r.low, c.low, f.low, t);
        RowQuad(out + 4, r.high, c.high, f.high, t);
        r.Step();
        c.Step();
        f.Step();
    }
}
#endif

static void FillBlock(const RayGrid* grid, const Surface* target, const Texture* texture,
                      int br, int bc)
{
    int at = br * grid->columns + bc;
    Lerp row, column, fog;
    row.Start(grid->rowCoord, at, grid->columns);
    column.Start(grid->columnCoord, at, grid->columns);
    fog.Start(grid->fog, at, grid->columns);
    int x0 = bc * 8, y0 = br * 8;
    int w = target->width - x0 < 8 ? target->width - x0 : 8;
    int h = target->height - y0 < 8 ? target->height - y0 : 8;
    const Texels t{texture->pixels, (uint32_t)texture->heightMask, (uint32_t)texture->widthMask,
                   texture->widthShift};
#if defined(__SSE2__)
    if (w == 8) {
        FillBlockLanes(EffectRow(target, y0) + x0, target->pitch, h, row, column, fog, t);
        return;
    }
#endif
    for (int r = 0; r < h; r++) {
        BlockRow v{8u * row.left,    row.right - row.left,       8u * column.left,
                   column.right - column.left, 8u * fog.left, fog.right - fog.left};
        RowScalar(EffectRow(target, y0 + r) + x0, w, v, t);
        row.left += row.leftStep;
        row.right += row.rightStep;
        column.left += column.leftStep;
        column.right += column.rightStep;
        fog.left += fog.leftStep;
        fog.right += fog.rightStep;
    }
}

void RayGridFill(const RayGrid* grid, const Surface* target, const Texture* texture)
{
    if (!FogTable || !texture || !texture->pixels)
        return;
    for (int br = 0; br + 1 < grid->rows && br * 8 < target->height; br++)
        for (int bc = 0; bc + 1 < grid->columns && bc * 8 < target->width; bc++)
            FillBlock(grid, target, texture, br, bc);
}

template <class SurfaceHit>
static void Raycast(const Surface* target, float zoom, const Texture* texture, int angleA,
                    int angleB, int angleC, SurfaceHit surface)
{
    // The grid's byte count must fit the scratch pool's 32-bit sizes.
    if (!FogTable || !texture || !texture->pixels || target->width <= 0 || target->height <= 0 ||
        target->width > 65536 || target->height > 65536)
        return;
    RayGrid grid;
    RayGridBorrow(&grid, target->width, target->height);
    float m[9];
    ViewRotation(angleA, angleB, angleC, m);
    CastGrid(&grid, zoom, m, surface);
    RayGridFill(&grid, target, texture);
    RayGridReturn(&grid);
}

void RaycastPlanes(Camera* camera, const Surface* target, float zoom, const Texture* texture,
                   int angleA, int angleB, int angleC, float cameraZ)
{
    camera->z = cameraZ;
    const Camera c = *camera;
    Raycast(target, zoom, texture, angleA, angleB, angleC, [c](Vec d) {
        float t = std::fabs(d.y) >= 0.00001f ? std::fabs((100.0f - c.y) / d.y) : 10000.0f;
        return Hit{EffectTrunc(std::fabs((c.z + t * d.z) * 0.4f) * 256.0f),
                   EffectTrunc(std::fabs(c.x + t * d.x) * 256.0f),
                   FogValue(std::fabs(t) * 64.0f + 20.0f)};
    });
}

// The nearer-side root of a quadratic a t^2 + b t + c0 as the environments choose it.
static float SmallerRoot(float a, float b, float disc)
{
    float r = std::sqrt(disc);
    float t0 = (-b - r) / (2.0f * a), t1 = (-b + r) / (2.0f * a);
    return t0 < t1 ? t0 : t1;
}

void RaycastSphere(Camera* camera, const Surface* target, float zoom, const Texture* texture,
                   int angleA, int angleB, int angleC)
{
    const Camera c = *camera;
    Raycast(target, zoom, texture, angleA, angleB, angleC, [c](Vec d) {
        float u = d.x * d.x + d.y * d.y + d.z * d.z;
        float b = 2.0f * (d.x * c.x + d.y * c.y + d.z * c.z);
        float disc = b * b - 4.0f * u * (c.x * c.x + c.y * c.y + c.z * c.z - 65536.0f);
        float t = 0.0f;
        if (u != 0.0f && disc == 0.0f)
            t = -b / (2.0f * u);
        else if (u != 0.0f && disc > 0.0f)
            t = SmallerRoot(u, b, disc);
        Vec h{c.x + t * d.x, c.y + t * d.y, c.z + t * d.z};
        float len = std::sqrt(h.x * h.x + h.y * h.y + h.z * h.z);
        double sine = len != 0.0f ? (double)(h.y / len) : 0.0;
        sine = sine > 1.0 ? 1.0 : (sine < -1.0 ? -1.0 : sine);
        return Hit{EffectTrunc((std::asin(sine) + 1.0) * 128.0 * 256.0),
                   EffectTrunc(std::fabs(std::atan2((double)h.z, (double)h.x)) * kHalfTurnTexels * 256.0),
                   FogValue(std::fabs((h.z - c.z) * 0.4f) * 256.0f)};
    });
}

void RaycastTunnel(Camera* camera, const Surface* target, float zoom, const Texture* texture,
                   int angleA, int angleB, int angleC, float cameraZ)
{
    camera->z = cameraZ;
    const Camera c = *camera;
    Raycast(target, zoom, texture, angleA, angleB, angleC, [c](Vec d) {
        float w = d.x * d.x + d.y * d.y;
        float t = 100000.0f;
        if (std::fabs(w) > 0.0001f) {
            float b = 2.0f * (d.x * c.x + d.y * c.y);
            float disc = b * b - 4.0f * w * (c.x * c.x + c.y * c.y - 16384.0f);
            if (disc < 0.0f)
                t = 100000.0f;
            else if (std::fabs(disc) < 0.0001f)
                t = -b / (2.0f * w);
            else
                t = SmallerRoot(w, b, disc);
        }
        float zHit = c.z + t * d.z;
        double angle = std::atan2((double)(c.y + t * d.y), (double)(c.x + t * d.x));
        return Hit{EffectTrunc(std::fabs(zHit) * 204.8f),
                   EffectTrunc(std::fabs(angle) * kHalfTurnTexels * 256.0),
                   FogValue(std::fabs((zHit - c.z) * 0.4f) * 256.0f)};
    });
}
