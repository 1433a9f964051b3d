#include "effects/glow.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "effects/local.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// Stateless; frame thread.

uint32_t GlowBlendScalar(uint32_t frame, uint32_t colour, int w)
{
    uint32_t out = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        uint32_t f = frame >> shift & 255, c = colour >> shift & 255;
        uint32_t v = ((f * (255 - w)) >> 8) + ((c * w) >> 8);
        out |= (v > 255 ? 255 : v) << shift;
    }
    return out;
}

#if defined(__SSE2__)
// The blend in 16-bit lanes: frame and colour parts weighed apart, added with saturation,
// packed with saturation at 255; the top byte is dropped.
static inline uint32_t GlowBlendLanes(uint32_t frame, __m128i colourLanes, int w)
{
    const __m128i zero = _mm_setzero_si128();
    __m128i f = _mm_unpacklo_epi8(_mm_cvtsi32_si128((int)frame), zero);
    __m128i fpart = _mm_srli_epi16(_mm_mullo_epi16(f, _mm_set1_epi16((short)(255 - w))), 8);
    __m128i cpart = _mm_srli_epi16(_mm_mullo_epi16(colourLanes, _mm_set1_epi16((short)w)), 8);
    __m128i sum = _mm_adds_epu16(fpart, cpart);
    return (uint32_t)_mm_cvtsi128_si32(_mm_packus_epi16(sum, zero)) & 0x00FFFFFFu;
}

static inline __m128i ColourLanes(uint32_t colour)
{
    return _mm_unpacklo_epi8(_mm_cvtsi32_si128((int)colour), _mm_setzero_si128());
}
#endif

uint32_t GlowBlend(uint32_t frame, uint32_t colour, int w)
{
#if defined(__SSE2__)
    return GlowBlendLanes(frame, ColourLanes(colour), w);
#else
    return GlowBlendScalar(frame, colour, w);
#endif
}

uint32_t AddSaturateScalar(uint32_t a, uint32_t b)
{
    uint32_t out = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        uint32_t v = (a >> shift & 255) + (b >> shift & 255);
        out |= (v > 255 ? 255 : v) << shift;
    }
    return out;
}

static inline uint32_t AddSaturate(uint32_t a, uint32_t b)
{
#if defined(__SSE2__)
    return (uint32_t)_mm_cvtsi128_si32(
        _mm_adds_epu8(_mm_cvtsi32_si128((int)a), _mm_cvtsi32_si128((int)b)));
#else
    return AddSaturateScalar(a, b);
#endif
}

namespace {
// What one line needs per pixel, held in locals so stores to the target cannot alias it.
struct GlowTarget {
    uint32_t* pixels;
    int width, height;
    uint32_t colour;
    const int32_t* profile;
#if defined(__SSE2__)
    __m128i colourLanes; // the colour's channels in 16-bit lanes 0..3
#endif
};
} // namespace

// Blends one target pixel by the profile's weight at the given distance from the line.
static inline void GlowBlendAt(const GlowTarget& t, uint32_t* p, int64_t distance)
{
    int64_t index = (distance < 0 ? -distance : distance) >> 9;
    int w = EffectClamp(t.profile[index > 255 ? 255 : index], 0, 255);
#if defined(__SSE2__)
    *p = GlowBlendLanes(*p, t.colourLanes, w);
#else
    *p = GlowBlendScalar(*p, t.colour, w);
#endif
}

static inline void GlowPixel(const GlowTarget& t, int x, int y, int64_t distance)
{
    if (x < 0 || y < 0 || x >= t.width || y >= t.height)
        return;
    GlowBlendAt(t, t.pixels + (intptr_t)y * t.width + x, distance);
}

// The same walk as the clipped loop in GlowLine, by pointer: every pixel and both of its
// neighbours across the line lie inside the target, so none is checked.
static void GlowRunInside(const GlowTarget& t, uint32_t* p, intptr_t majorStep, intptr_t minorStep,
                          int64_t major, int64_t minor, int64_t unit, int64_t across)
{
    int64_t d = 2 * minor - major, distance = 0;
    for (int64_t n = 0; n < major; n++) {
        GlowBlendAt(t, p, distance);
        GlowBlendAt(t, p + minorStep, across - distance);
        GlowBlendAt(t, p - minorStep, across + distance);
        if (d <= 0) {
            distance = (d + major) * unit;
            d += 2 * minor;
        } else {
            distance = (d - major) * unit;
            p += minorStep;
            d += 2 * minor - 2 * major;
        }
        p += majorStep;
    }
}

void GlowLine(int x0, int y0, int x1, int y1, const Surface* target, int red, int green, int blue,
              const int32_t* profile)
{
    if (!profile)
        return;
    int64_t dx = (int64_t)x1 - x0, dy = (int64_t)y1 - y0;
    int sx = dx < 0 ? -1 : 1, sy = dy < 0 ? -1 : 1;
    int64_t ax = std::llabs(dx), ay = std::llabs(dy);
    bool xMajor = !(ax < ay);
    int64_t major = xMajor ? ax : ay, minor = xMajor ? ay : ax;
    if (major == 0)
        return;
    float length = std::sqrt((float)minor * (float)minor + (float)major * (float)major);
    float k = 1.0f / (2.0f * length);
    int64_t unit = (int64_t)(k * 65535.0f);
    int64_t across = (int64_t)(k * 2.0f * (float)major * 65535.0f);
    GlowTarget t;
    t.pixels = target->pixels;
    t.width = target->width;
    t.height = target->height;
    t.colour = ((uint32_t)EffectClamp(red, 0, 255) << 16) | ((uint32_t)EffectClamp(green, 0, 255) << 8) |
               (uint32_t)EffectClamp(blue, 0, 255);
    t.profile = profile;
#if defined(__SSE2__)
    t.colourLanes = ColourLanes(t.colour);
#endif
    // A line whose box, one pixel wider all round, lies inside the target needs no clipping:
    // the walk never leaves the box of its end points, its neighbours one pixel across.
    if (std::min(x0, x1) >= 1 && std::min(y0, y1) >= 1 && std::max(x0, x1) <= (int64_t)t.width - 2 &&
        std::max(y0, y1) <= (int64_t)t.height - 2) {
        intptr_t row = t.width;
        GlowRunInside(t, t.pixels + (intptr_t)y0 * row + x0, xMajor ? sx : sy * row,
                      xMajor ? sy * row : sx, major, minor, unit, across);
        return;
    }
    int64_t d = 2 * minor - major, distance = 0;
    int64_t x = x0, y = y0;
    // Offsets of the pixel one step along the minor axis.
    int mx = xMajor ? 0 : sx, my = xMajor ? sy : 0;
    // Once the major coordinate has left the target in its direction of travel no later
    // pixel can be inside it.
    int64_t majorLimit = xMajor ? (int64_t)target->width : (int64_t)target->height;
    int majorSign = xMajor ? sx : sy;
    for (int64_t n = 0; n < major; n++) {
        int64_t along = xMajor ? x : y;
        if ((majorSign > 0 && along >= majorLimit) || (majorSign < 0 && along < 0))
            break;
        if (x >= -1 && y >= -1 && x <= (int64_t)target->width && y <= (int64_t)target->height) {
            GlowPixel(t, (int)x, (int)y, distance);
            GlowPixel(t, (int)x + mx, (int)y + my, across - distance);
            GlowPixel(t, (int)x - mx, (int)y - my, across + distance);
        }
        if (d <= 0) {
            distance = (d + major) * unit;
            d += 2 * minor;
        } else {
            distance = (d - major) * unit;
            if (xMajor)
                y += sy;
            else
                x += sx;
            d += 2 * minor - 2 * major;
        }
        if (xMajor)
            x += sx;
        else
            y += sy;
    }
}

void AddSprite(int centreX, int centreY, int size, const Texture* texture, const Surface* target)
{
    if (!texture || !texture->pixels || size <= 0)
        return;
    int64_t left = (int64_t)centreX - (size >> 1), top = (int64_t)centreY - (size >> 1);
    int64_t w = target->width, h = target->height;
    if (left + size < 0 || top + size < 0 || left >= w || top >= h)
        return;
    int32_t step = (256 * 4096) / size;
    // Clipped rows and columns still advance the texel position.
    int64_t r0 = top < 0 ? -top : 0, r1 = top + size > h ? h - top : size;
    int64_t q0 = left < 0 ? -left : 0, q1 = left + size > w ? w - left : size;
    for (int64_t r = r0; r < r1; r++) {
        uint32_t v = (uint32_t)(r * step);
        const uint32_t* texRow = texture->pixels + (((v >> 12) & texture->heightMask) << texture->widthShift);
        uint32_t* out = EffectRow(target, (int)(top + r)) + left;
        const uint32_t widthMask = (uint32_t)texture->widthMask;
        int64_t q = q0;
#if defined(__SSE2__)
        // Four texels gathered, then one saturating add over four frame pixels.
        for (; q + 4 <= q1; q += 4) {
            uint32_t u = (uint32_t)(q * step);
            __m128i texels = _mm_set_epi32((int)texRow[((u + 3 * step) >> 12) & widthMask],
                                           (int)texRow[((u + 2 * step) >> 12) & widthMask],
                                           (int)texRow[((u + step) >> 12) & widthMask],
                                           (int)texRow[(u >> 12) & widthMask]);
            __m128i* at = (__m128i*)(out + q);
            _mm_storeu_si128(at, _mm_adds_epu8(_mm_loadu_si128(at), texels));
        }
#endif
        for (; q < q1; q++) {
            uint32_t u = (uint32_t)(q * step);
            out[q] = AddSaturate(out[q], texRow[(u >> 12) & widthMask]);
        }
    }
}
