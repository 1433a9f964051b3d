#include "effects/warp.h"

#include <cmath>
#include <cstdlib>
#include <new>

#include "effects/local.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {
struct WarpBlob {
    float x, y, radius, weight, radiusSquared;
};
// The blob warp; built at set-up, rendered on the frame thread.
struct BlobWarpState {
    WarpBlob blobs[4];
    int32_t* grid;
    int width, height; // the largest target, as created
    int gridWidth, gridHeight;
};
// The ripple warp; built at set-up, rendered on the frame thread.
struct RippleWarpState {
    int32_t* rings;      // 640 x 480
    int32_t* difference; // 320 x 200
};
} // namespace

namespace {
// The texel at (x + d, y + d) of a texture read as 256 x 256 texels: its own masks and shift
// address it, which is the same thing for 256 x 256 and stays inside smaller ones. Held in
// locals, so stores to the target cannot alias the texture's fields.
struct WarpTexels {
    const uint32_t* pixels;
    int rowMask, columnMask;
    uint32_t shift;
    explicit WarpTexels(const Texture* t)
        : pixels(t->pixels), rowMask(255 & t->heightMask), columnMask(255 & t->widthMask),
          shift(t->widthShift)
    {
    }
    uint32_t At(int x, int y, int d) const
    {
        return pixels[(((y + d) & rowMask) << shift) + ((x + d) & columnMask)];
    }
};
} // namespace

// Pixels 0 .. w - 1 of row y, pixel x displaced by d[x].
static void WarpRow(const WarpTexels& t, uint32_t* out, int y, const int32_t* d, int w)
{
    int x = 0;
#if defined(__SSE2__)
    // The same addressing in 32-bit lanes, four pixels at a time; only the fetches are single.
    const __m128i rowMask = _mm_set1_epi32(t.rowMask), columnMask = _mm_set1_epi32(t.columnMask);
    const __m128i shift = _mm_cvtsi32_si128((int)t.shift), row = _mm_set1_epi32(y);
    __m128i column = _mm_set_epi32(3, 2, 1, 0);
    for (; x + 4 <= w; x += 4, column = _mm_add_epi32(column, _mm_set1_epi32(4))) {
        __m128i dx = _mm_loadu_si128((const __m128i*)(d + x));
        __m128i index = _mm_add_epi32(_mm_sll_epi32(_mm_and_si128(_mm_add_epi32(row, dx), rowMask), shift),
                                      _mm_and_si128(_mm_add_epi32(column, dx), columnMask));
        alignas(16) uint32_t at[4];
        _mm_store_si128((__m128i*)at, index);
        _mm_storeu_si128((__m128i*)(out + x),
                         _mm_set_epi32((int)t.pixels[at[3]], (int)t.pixels[at[2]], (int)t.pixels[at[1]],
                                       (int)t.pixels[at[0]]));
    }
#endif
    for (; x < w; x++)
        out[x] = t.At(x, y, d[x]);
}

static BlobWarpState gBlob;
static RippleWarpState gRipple;

static const int kRingWidth = 640, kRingHeight = 480;
static const int kRippleWidth = 320, kRippleHeight = 200;

bool BlobWarpCreate(int width, int height)
{
    BlobWarpDestroy();
    if (width <= 0 || height <= 0 || width > 65536 || height > 65536)
        return false;
    gBlob.gridWidth = ((width + 3) & ~3) + 1;
    gBlob.gridHeight = ((height + 3) & ~3) + 1;
    gBlob.grid = new (std::nothrow) int32_t[(size_t)gBlob.gridWidth * gBlob.gridHeight]();
    if (!gBlob.grid)
        return false;
    gBlob.width = width;
    gBlob.height = height;
    static const float weights[4] = {1.0f, 1.0f, -1.0f, 1.0f};
    for (int i = 0; i < 4; i++)
        gBlob.blobs[i] = WarpBlob{0.0f, 0.0f, 175.0f, weights[i], 30625.0f};
    return true;
}

void BlobWarpDestroy()
{
    delete[] gBlob.grid;
    gBlob = BlobWarpState{};
}

static void PlaceBlobs(float w, float h, float e)
{
    WarpBlob* b = gBlob.blobs;
    b[0].x = (float)(w * (0.1875f * std::sin((double)(0.05f * e)) + 0.5f));
    b[0].y = (float)(h * (0.32f * std::sin((double)(e / 13.0f)) + 0.5f));
    b[1].x = (float)(w * (0.1875f * std::cos((double)(0.1f * e)) + 0.5f));
    b[1].y = (float)(h * (0.32f * std::sin((double)(e / 15.0f)) + 0.5f));
    b[2].x = (float)(w * (0.1875f * std::sin((double)(e / 11.0f)) + 0.5f));
    b[2].y = (float)(h * (0.32f * std::cos((double)(e / 12.0f)) + 0.5f));
    b[3].x = (float)(w * (0.1875f * std::cos((double)(e / 17.0f)) + 0.5f));
    b[3].y = (float)(h * (0.32f * std::sin((double)(e / 12.0f)) + 0.5f));
}

#if defined(__SSE2__)
namespace {
// The four blobs side by side in lanes 0..3, for the field's sampling.
struct BlobLanes {
    __m128 x, y, radiusSquared, weight;
};
} // namespace

static BlobLanes BlobLanesOf(const WarpBlob b[4])
{
    return BlobLanes{_mm_set_ps(b[3].x, b[2].x, b[1].x, b[0].x), _mm_set_ps(b[3].y, b[2].y, b[1].y, b[0].y),
                     _mm_set_ps(b[3].radiusSquared, b[2].radiusSquared, b[1].radiusSquared, b[0].radiusSquared),
                     _mm_set_ps(b[3].weight, b[2].weight, b[1].weight, b[0].weight)};
}

// The field at (x, y), as WarpField below has it, with one division for all four blobs: each
// lane does the same single-precision operations, and the terms are added in blob order. A blob out of reach adds +0, which
// leaves any sum as it was but -0, and -0 - 0.6 is -0.6 all the same.
static float WarpFieldLanes(const BlobLanes& b, float x, float y)
{
    __m128 dx = _mm_sub_ps(_mm_set1_ps(x), b.x), dy = _mm_sub_ps(_mm_set1_ps(y), b.y);
    __m128 d2 = _mm_add_ps(_mm_mul_ps(dx, dx), _mm_mul_ps(dy, dy));
    __m128 f = _mm_sub_ps(_mm_set1_ps(1.0f), _mm_div_ps(d2, b.radiusSquared));
    __m128 term = _mm_and_ps(_mm_mul_ps(_mm_mul_ps(b.weight, f), f), _mm_cmplt_ps(d2, b.radiusSquared));
    alignas(16) float t[4];
    _mm_store_ps(t, term);
    float sum = 0.0f;
    for (float v : t)
        sum += v;
    return sum - 0.6f;
}
#else
// The field at (x, y): the blobs' falloffs within their radii, less the threshold.
static float WarpField(float x, float y)
{
    float sum = 0.0f;
    for (const WarpBlob& b : gBlob.blobs) {
        float dx = x - b.x, dy = y - b.y;
        float d2 = dx * dx + dy * dy;
        if (d2 < b.radiusSquared) {
            float f = 1.0f - d2 / b.radiusSquared;
            sum += b.weight * f * f;
        }
    }
    return sum - 0.6f;
}
#endif

#if defined(__SSE2__)
// Lanes i = 0..3 of 4 * left + i * (right - left).
static inline __m128i Weighted(int32_t left, int32_t right)
{
    int32_t d = right - left;
    return _mm_add_epi32(_mm_set1_epi32(4 * left), _mm_set_epi32(3 * d, 2 * d, d, 0));
}
#endif

// One bilinear 4 x 4 block from its corner samples, in place: cell i of row r is
// ((4 - i) * left + i * right) >> 4, left and right the row's edges times 4. It writes only
// its own cells, so the corner samples later blocks read are still intact.
static void InterpolateBlock(int32_t* cell, int gw)
{
    int32_t tl = cell[0], tr = cell[4], bl = cell[4 * gw], br = cell[4 * gw + 4];
#if defined(__SSE2__)
    __m128i row = Weighted(4 * tl, 4 * tr), step = Weighted(bl - tl, br - tr);
    for (int r = 0; r < 4; r++, cell += gw) {
        _mm_storeu_si128((__m128i*)cell, _mm_srai_epi32(row, 4));
        row = _mm_add_epi32(row, step);
    }
#else
    int32_t l = 4 * tl, r = 4 * tr;
    for (int row = 0; row < 4; row++, cell += gw) {
        cell[0] = (4 * l) >> 4;
        cell[1] = (3 * l + r) >> 4;
        cell[2] = (2 * l + 2 * r) >> 4;
        cell[3] = (l + 3 * r) >> 4;
        l += bl - tl;
        r += br - tr;
    }
#endif
}

void BlobWarpRender(const Surface* target, const Texture* texture, float divisor, uint32_t time)
{
    if (!gBlob.grid || !texture || !texture->pixels)
        return;
    float e = (float)time / divisor;
    PlaceBlobs((float)(uint32_t)target->width, (float)(uint32_t)target->height, e);
    int gw = gBlob.gridWidth;
    int32_t* g = gBlob.grid;
#if defined(__SSE2__)
    const BlobLanes lanes = BlobLanesOf(gBlob.blobs);
#endif
    for (int y = 0; y < gBlob.gridHeight; y += 4)
        for (int x = 0; x < gw; x += 4) {
#if defined(__SSE2__)
            float field = WarpFieldLanes(lanes, (float)x, (float)y);
#else
            float field = WarpField((float)x, (float)y);
#endif
            g[y * gw + x] = EffectTrunc(field * 60.0f + 200.0f);
        }
    int w = target->width < gBlob.width ? target->width : gBlob.width;
    int h = target->height < gBlob.height ? target->height : gBlob.height;
    const WarpTexels t(texture);
    // Band by band: a band's rows are drawn while its fresh cells are still in the cache.
    for (int band = 0; band < gBlob.height; band += 4) {
        for (int x = 0; x < gBlob.width; x += 4)
            InterpolateBlock(&g[band * gw + x], gw);
        for (int y = band; y < band + 4 && y < h; y++)
            WarpRow(t, EffectRow(target, y), y, &g[y * gw], w);
    }
}

int BlobWarpDisplacement(int x, int y)
{
    if (!gBlob.grid || x < 0 || y < 0 || x >= gBlob.gridWidth || y >= gBlob.gridHeight)
        return 0;
    return gBlob.grid[y * gBlob.gridWidth + x];
}

bool RippleWarpCreate(int, int)
{
    RippleWarpDestroy();
    gRipple.rings = new (std::nothrow) int32_t[kRingWidth * kRingHeight];
    gRipple.difference = new (std::nothrow) int32_t[kRippleWidth * kRippleHeight];
    if (!gRipple.rings || !gRipple.difference) {
        RippleWarpDestroy();
        return false;
    }
    for (int i = 0; i < kRingHeight; i++) {
        for (int j = 0; j < kRingWidth; j++) {
            double r = std::sqrt((double)((i - 200) * (i - 200) + (j - 320) * (j - 320)));
            gRipple.rings[i * kRingWidth + j] = (int32_t)(17.5 * std::sin(r / 15.0));
        }
    }
    return true;
}

void RippleWarpDestroy()
{
    delete[] gRipple.rings;
    delete[] gRipple.difference;
    gRipple = RippleWarpState{};
}

int RippleWarpRing(int row, int column)
{
    if (!gRipple.rings || row < 0 || column < 0 || row >= kRingHeight || column >= kRingWidth)
        return 0;
    return gRipple.rings[row * kRingWidth + column];
}

// The windows' offsets stay within 0..200 rows and 0..320 columns, so they lie inside.
static int WindowOffset(int base, double span, double wave)
{
    return base + EffectClamp(EffectTrunc(span * wave), -base, base);
}

void RippleWarpRender(const Surface* target, float divisor, const Texture* texture, uint32_t time)
{
    if (!gRipple.rings || !texture || !texture->pixels)
        return;
    float e = (float)time / divisor;
    int rowA = WindowOffset(100, 100.0, std::cos((double)(e / 14.0f)));
    int colA = WindowOffset(160, 160.0, std::sin((double)(e / 10.0f)));
    int rowB = WindowOffset(100, 100.0, std::sin((double)(e / 13.0f)));
    int colB = WindowOffset(160, 160.0, std::cos((double)(e / 11.0f)));
    int w = target->width < kRippleWidth ? target->width : kRippleWidth;
    int h = target->height < kRippleHeight ? target->height : kRippleHeight;
    const WarpTexels t(texture);
    // One pass: each row's differences are kept and drawn while they are in the cache.
    for (int y = 0; y < kRippleHeight; y++) {
        const int32_t* a = &gRipple.rings[(rowA + y) * kRingWidth + colA];
        const int32_t* b = &gRipple.rings[(rowB + y) * kRingWidth + colB];
        int32_t* d = &gRipple.difference[y * kRippleWidth];
        for (int x = 0; x < kRippleWidth; x++)
            d[x] = a[x] - b[x];
        if (y >= h)
            continue;
        WarpRow(t, EffectRow(target, y), y, d, w);
    }
}
