#include "effects/patterns.h"

#include <cmath>

#include "effects/blend.h"
#include "effects/sphere.h"

// Stateless.

static uint32_t Rgb(int r, int g, int b)
{
    auto c = [](int v) { return (uint32_t)(v < 0 ? 0 : (v > 255 ? 255 : v)); };
    return 0xFF000000u | c(r) << 16 | c(g) << 8 | c(b);
}

static uint32_t PatternPixel(int x, int y, int width, int height, PatternKind kind)
{
    double fx = (double)x / width, fy = (double)y / height;
    switch (kind) {
    case PATTERN_CHECKER: {
        bool on = ((x >> 5) ^ (y >> 5)) & 1;
        int ramp = (int)(fx * 255.0);
        return on ? Rgb(255 - ramp / 2, 200, ramp) : Rgb(30, (int)(fy * 120.0), 90 + ramp / 3);
    }
    case PATTERN_RINGS: {
        double d = std::hypot(fx - 0.5, fy - 0.5);
        int v = (int)(127.5 + 127.5 * std::cos(d * 60.0));
        return Rgb(v, v / 2 + 60, 255 - v);
    }
    case PATTERN_GLOW: {
        double d = std::hypot(fx - 0.5, fy - 0.5) * 2.0;
        double a = d >= 1.0 ? 0.0 : (1.0 - d) * (1.0 - d);
        return Rgb((int)(a * 255.0), (int)(a * 200.0), (int)(a * 120.0));
    }
    case PATTERN_PLASMA:
    default: {
        double v = std::sin(fx * 12.566) + std::sin(fy * 18.85) + std::sin((fx + fy) * 9.42);
        return Rgb((int)(128.0 + 42.0 * v), (int)(128.0 + 42.0 * std::sin(v * 2.0) * 3.0),
                   (int)(128.0 - 42.0 * v));
    }
    }
}

void PatternFill(uint32_t* pixels, int width, int height, PatternKind kind)
{
    for (int y = 0; y < height; y++)
        for (int x = 0; x < width; x++)
            pixels[y * width + x] = PatternPixel(x, y, width, height, kind);
}

void PatternTextureCreate(Texture* texture, int size, PatternKind kind)
{
    uint32_t* pixels = TextureCreate(*texture, (uint32_t)size, (uint32_t)size);
    PatternFill(pixels, size, size, kind);
}

void PatternTexturesCreate(PatternTextures* textures)
{
    PatternTextureCreate(&textures->checker, 256, PATTERN_CHECKER);
    PatternTextureCreate(&textures->rings, 256, PATTERN_RINGS);
    PatternTextureCreate(&textures->glow, 256, PATTERN_GLOW);
    PatternTextureCreate(&textures->plasma, 256, PATTERN_PLASMA);
}

void PatternTexturesRelease(PatternTextures* textures)
{
    TextureRelease(textures->checker);
    TextureRelease(textures->rings);
    TextureRelease(textures->glow);
    TextureRelease(textures->plasma);
}

void PatternMaterialInit(Material* material, MaterialType type, const PatternTextures& textures)
{
    bool sprites = type == MATERIAL_SPRITE || type == MATERIAL_GLOW_SPRITE;
    SphereMaterialInit(material, type, &textures.checker, sprites ? &textures.glow : &textures.rings);
    material->edgeFlags = 7;
    material->red = 90;
    material->green = 200;
    material->blue = 255;
    material->spriteScale = 6000.0f;
    switch (type) {
    case MATERIAL_TEXTURE_OVER:
        material->blendTable = BlendScreen;
        break;
    case MATERIAL_FLAT:
    case MATERIAL_TEXTURE_LIT:
    case MATERIAL_GOURAUD:
    case MATERIAL_TEXTURE_GOURAUD:
        material->blendTable = BlendMultiply;
        break;
    default:
        material->blendTable = BlendAdd;
        break;
    }
}
