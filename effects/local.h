#pragma once
// Helpers shared by the effect modules (not part of the public interface).
#include <cmath>
#include <cstdint>

#include "host/pixels.h"

// Row y of a surface, rows advancing by the pitch in bytes.
static inline uint32_t* EffectRow(const Surface* s, int y)
{
    return (uint32_t*)((uint8_t*)s->pixels + (intptr_t)y * (intptr_t)s->pitch);
}

// Row y of a surface addressed as y * width pixels.
static inline uint32_t* EffectRowByWidth(const Surface* s, int y)
{
    return (uint32_t*)s->pixels + (intptr_t)y * (intptr_t)s->width;
}

static inline int EffectClamp(int v, int lo, int hi)
{
    return v < lo ? lo : (v > hi ? hi : v);
}

// Truncation toward zero that stays defined for any input: NaN gives 0, values beyond
// the 64-bit range saturate, and the result keeps the low 32 bits as a 32-bit int would.
static inline int32_t EffectTrunc(double v)
{
    // Inside the 32-bit range (which NaN is not) the plain conversion gives the same.
    if (v > -2147483649.0 && v < 2147483648.0)
        return (int32_t)v;
    if (!(v == v))
        return 0;
    if (v >= 9.0e18)
        v = 9.0e18;
    if (v <= -9.0e18)
        v = -9.0e18;
    return (int32_t)(uint32_t)(int64_t)v;
}

// Truncation toward zero into an int clamped to +-limit (projected screen coordinates).
static inline int EffectTruncClamp(double v, int limit)
{
    if (!(v == v))
        return 0;
    if (v >= limit)
        return limit;
    if (v <= -limit)
        return -limit;
    return (int)v;
}
