#pragma once
// Small surfaces and textures backed by vectors, and the process-wide set-up the effects need
// (trig tables, scratch pool, blend and fog tables), made once for the whole test program.
#include <cstdint>
#include <vector>

#include "host/pixels.h"
#include "host/random.h"

struct TestSurface {
    std::vector<uint32_t> pixels;
    Surface surface;

    TestSurface(int width, int height, uint32_t fill = 0)
        : pixels((size_t)width * height, fill), surface{nullptr, width, height, (uint32_t)width * 4}
    {
        surface.pixels = pixels.data();
    }
    uint32_t& At(int x, int y) { return pixels[(size_t)y * surface.width + x]; }
    const Surface* operator&() const { return &surface; }
};

struct TestTexture {
    std::vector<uint32_t> pixels;
    Texture texture;

    // width and height powers of two; texel (x, y) = fill(x, y).
    template <class Fill>
    TestTexture(int width, int height, Fill fill) : pixels((size_t)width * height)
    {
        for (int y = 0; y < height; y++)
            for (int x = 0; x < width; x++)
                pixels[(size_t)y * width + x] = fill(x, y);
        texture.pixels = pixels.data();
        texture.width = (uint32_t)width;
        texture.height = (uint32_t)height;
        texture.widthMask = width - 1;
        texture.heightMask = height - 1;
        texture.widthShift = (uint32_t)__builtin_ctz((unsigned)width);
    }
    const Texture* operator&() const { return &texture; }
};

static inline uint32_t Grey(uint32_t g)
{
    return g << 16 | g << 8 | g;
}

// 32 random bits from three draws of the project's generator (15 bits each).
static inline uint32_t RandomWord()
{
    uint32_t high = (uint32_t)RandomNext(), middle = (uint32_t)RandomNext(), low = (uint32_t)RandomNext();
    return high << 17 ^ middle << 2 ^ low;
}

// FNV-1a over the pixels of a surface.
uint64_t SurfaceHash(const Surface* s);
