// 32-bit pixel records and the drawing primitives over them.
// Pixels: blue in bits 0-7, green 8-15, red 16-23, bits 24-31 alpha in pictures (255 = opaque).
// Every owned pixel array comes from std::malloc and is released with std::free.
// None of these routines allocates except the Create functions; all run on any one thread.
#pragma once

#include <cstddef>
#include <cstdint>

struct Surface {
    uint32_t* pixels;  // not owned for the frame surface, owned when made by SurfaceCreate
    int32_t width;
    int32_t height;
    uint32_t pitch;    // bytes from one row to the next
};

struct Bitmap {
    uint32_t* pixels;  // width * height pixels, rows top to bottom, no padding; owned
    uint32_t width;
    uint32_t height;
};

struct Texture : Bitmap {
    int32_t widthMask;    // width - 1
    int32_t heightMask;   // height - 1
    uint32_t widthShift;  // log2(width)
};

// Texel at (u, v) with wrap-around addressing.
inline uint32_t TextureTexel(const Texture& t, int32_t u, int32_t v)
{
    return t.pixels[((uint32_t)(v & t.heightMask) << t.widthShift) + (uint32_t)(u & t.widthMask)];
}

// Allocates width * height pixels (contents undefined); pitch = width * 4.
void SurfaceCreate(Surface& surface, int32_t width, int32_t height);
// Frees the pixels if any and zeroes every field.
void SurfaceRelease(Surface& surface);
// Sets every pixel of every row to value.
void SurfaceFill(Surface& surface, uint32_t value);
// Fills the rectangle clipped to the surface.
void SurfaceFillRect(Surface& surface, int32_t x, int32_t y, int32_t width, int32_t height, uint32_t value);
// Brightens toward white by the low 8 bits of amount (0 nothing, 255 white); needs pitch = width * 4.
void SurfaceFlash(Surface& surface, uint32_t amount);
// Darkens toward black by the low 8 bits of amount (255 nothing, 0 black); needs pitch = width * 4.
void SurfaceDarken(Surface& surface, uint32_t amount);

// Copies the clipped bitmap at (x, y), all four bytes.
void BlitCopy(Surface& dst, const Bitmap& src, int32_t x, int32_t y);
// Blends each pixel by its own alpha byte; alpha 0 leaves the destination, result alpha is 0.
void BlitAlpha(Surface& dst, const Bitmap& src, int32_t x, int32_t y);
// Blends every pixel with the low 8 bits of alpha; result alpha is 0.
void BlitConstant(Surface& dst, const Bitmap& src, int32_t x, int32_t y, uint32_t alpha);
// Alpha 0 draws nothing, 255 copies, anything else blends with BlitConstant.
void BlitWithAlpha(Surface& dst, const Bitmap& src, int32_t x, int32_t y, uint32_t alpha);
// Frees the pixels if any and zeroes every field.
void BitmapRelease(Bitmap& bitmap);

// Sets sizes, masks and shift and allocates the pixels; a size that is not a power of two
// (zero included) is fatal ("Texture is non-pow2!").
uint32_t* TextureCreate(Texture& texture, uint32_t width, uint32_t height);
// Frees the pixels if any and zeroes every field.
void TextureRelease(Texture& texture);

// Whole-run blends over n >= 1 contiguous pixels, per lane, divisions by 256 truncating.
// Amounts and intensity use their low 8 bits.
// dst = s' + ((255 - s') * dst) / 256 with s' = (src * intensity) / 256.
void SpanScreen(uint32_t* dst, const uint32_t* src, size_t n, uint32_t intensity);
// dst = (src * amount) / 256 + (dst * (255 - amount)) / 256.
void SpanCrossFade(uint32_t* dst, const uint32_t* src, size_t n, uint32_t amount);
// dst = (dst * amount) / 256.
void SpanScale(uint32_t* dst, size_t n, uint32_t amount);
// dst = (dst * (255 - amount)) / 256 + (255 * amount) / 256.
void SpanTowardWhite(uint32_t* dst, size_t n, uint32_t amount);

// Lets the span routines use 256-bit vectors where the processor has them (the default), or
// keeps them to SSE2; for tests and benchmarks of both paths.
void SpanAllowWideVectors(bool allowed);

// Plain scalar references of the span routines: the SIMD versions match them bit for bit.
void SpanScreenScalar(uint32_t* dst, const uint32_t* src, size_t n, uint32_t intensity);
void SpanCrossFadeScalar(uint32_t* dst, const uint32_t* src, size_t n, uint32_t amount);
void SpanScaleScalar(uint32_t* dst, size_t n, uint32_t amount);
void SpanTowardWhiteScalar(uint32_t* dst, size_t n, uint32_t amount);
