// Pixel primitives. Any thread; no state.
#include "host/pixels.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>

#if defined(__SSE2__)
#include <immintrin.h>
#endif

#include "host/fatal.h"

// Bytes for count pixels; a failed allocation of a real size is fatal rather than a later crash.
static uint32_t* AllocatePixels(uint64_t count)
{
    if (count == 0)
        return nullptr;
    if (count > SIZE_MAX / 4)
        FatalError("Out of memory allocating %llu pixels!", (unsigned long long)count);
    void* p = std::malloc((size_t)count * 4);
    if (!p)
        FatalError("Out of memory allocating %llu pixels!", (unsigned long long)count);
    return (uint32_t*)p;
}

void SurfaceCreate(Surface& surface, int32_t width, int32_t height)
{
    width = std::max(width, 0);
    height = std::max(height, 0);
    surface.pixels = AllocatePixels((uint64_t)width * (uint64_t)height);
    surface.width = width;
    surface.height = height;
    surface.pitch = (uint32_t)width * 4;
}

void SurfaceRelease(Surface& surface)
{
    std::free(surface.pixels);
    surface = Surface{};
}

static uint32_t* SurfaceRow(const Surface& surface, int64_t y)
{
    return (uint32_t*)((uint8_t*)surface.pixels + y * (int64_t)surface.pitch);
}

void SurfaceFill(Surface& surface, uint32_t value)
{
    if (!surface.pixels)
        return;
    for (int32_t y = 0; y < surface.height; ++y)
        std::fill_n(SurfaceRow(surface, y), std::max(surface.width, 0), value);
}

// The part of a sw x sh source at (x, y) that lies on a dw x dh destination.
struct ClipRect {
    int64_t dstX, dstY, srcX, srcY, columns, rows;
};

static bool Clip(int64_t x, int64_t y, int64_t sw, int64_t sh, int64_t dw, int64_t dh, ClipRect& r)
{
    if (x >= dw || y >= dh)
        return false;
    int64_t skipTop = y < 0 ? -y : 0;
    int64_t skipLeft = x < 0 ? -x : 0;
    if (skipTop >= sh || skipLeft >= sw)
        return false;
    r.rows = std::min(sh - skipTop, dh - (y + skipTop));
    r.columns = std::min(sw - skipLeft, dw - (x + skipLeft));
    r.dstX = x + skipLeft;
    r.dstY = y + skipTop;
    r.srcX = skipLeft;
    r.srcY = skipTop;
    return r.rows > 0 && r.columns > 0;
}

void SurfaceFillRect(Surface& surface, int32_t x, int32_t y, int32_t width, int32_t height, uint32_t value)
{
    ClipRect r;
    if (!surface.pixels || !Clip(x, y, width, height, surface.width, surface.height, r))
        return;
    for (int64_t row = 0; row < r.rows; ++row)
        std::fill_n(SurfaceRow(surface, r.dstY + row) + r.dstX, r.columns, value);
}

void SurfaceFlash(Surface& surface, uint32_t amount)
{
    amount &= 255;
    if (amount == 0)
        return;
    if (amount == 255) {
        SurfaceFill(surface, 0xFFFFFFFFu);
        return;
    }
    if (surface.pixels && surface.width > 0 && surface.height > 0)
        SpanTowardWhite(surface.pixels, (size_t)surface.width * (size_t)surface.height, amount);
}

void SurfaceDarken(Surface& surface, uint32_t amount)
{
    amount &= 255;
    if (amount == 255)
        return;
    if (amount == 0) {
        SurfaceFill(surface, 0);
        return;
    }
    if (surface.pixels && surface.width > 0 && surface.height > 0)
        SpanScale(surface.pixels, (size_t)surface.width * (size_t)surface.height, amount);
}

// Runs op(dstRow, srcRow, columns) over every clipped row of a blit.
template <typename RowOp>
static void BlitRows(Surface& dst, const Bitmap& src, int32_t x, int32_t y, RowOp op)
{
    ClipRect r;
    if (!dst.pixels || !src.pixels || !Clip(x, y, src.width, src.height, dst.width, dst.height, r))
        return;
    for (int64_t row = 0; row < r.rows; ++row) {
        uint32_t* d = SurfaceRow(dst, r.dstY + row) + r.dstX;
        const uint32_t* s = src.pixels + (r.srcY + row) * (int64_t)src.width + r.srcX;
        op(d, s, r.columns);
    }
}

// (d * (255 - a) + s * a) / 256 for blue, green and red; alpha byte 0. Blue and red share one
// 32-bit product: each lane's sum stays below 65,536, so neither spills into the other.
static uint32_t BlendPixel(uint32_t d, uint32_t s, uint32_t a)
{
    uint32_t ia = 255 - a;
    uint32_t rb = (((d & 0xFF00FF) * ia + (s & 0xFF00FF) * a) >> 8) & 0xFF00FF;
    uint32_t g = (((d & 0x00FF00) * ia + (s & 0x00FF00) * a) >> 8) & 0x00FF00;
    return rb | g;
}

void BlitCopy(Surface& dst, const Bitmap& src, int32_t x, int32_t y)
{
    BlitRows(dst, src, x, y, [](uint32_t* d, const uint32_t* s, int64_t n) {
        std::memcpy(d, s, (size_t)n * 4);
    });
}

void BlitAlpha(Surface& dst, const Bitmap& src, int32_t x, int32_t y)
{
    BlitRows(dst, src, x, y, [](uint32_t* d, const uint32_t* s, int64_t n) {
        for (int64_t i = 0; i < n; ++i) {
            uint32_t a = s[i] >> 24;
            if (a != 0)
                d[i] = BlendPixel(d[i], s[i], a);
        }
    });
}

void BlitConstant(Surface& dst, const Bitmap& src, int32_t x, int32_t y, uint32_t alpha)
{
    uint32_t a = alpha & 255;
    BlitRows(dst, src, x, y, [a](uint32_t* d, const uint32_t* s, int64_t n) {
        for (int64_t i = 0; i < n; ++i)
            d[i] = BlendPixel(d[i], s[i], a);
    });
}

void BlitWithAlpha(Surface& dst, const Bitmap& src, int32_t x, int32_t y, uint32_t alpha)
{
    alpha &= 255;
    if (alpha == 0)
        return;
    if (alpha == 255)
        BlitCopy(dst, src, x, y);
    else
        BlitConstant(dst, src, x, y, alpha);
}

void BitmapRelease(Bitmap& bitmap)
{
    std::free(bitmap.pixels);
    bitmap = Bitmap{};
}

uint32_t* TextureCreate(Texture& texture, uint32_t width, uint32_t height)
{
    // Zero is refused too: its mask would be -1 and its shift undefined.
    if (width == 0 || height == 0 || (width & (width - 1)) != 0 || (height & (height - 1)) != 0)
        FatalError("Texture is non-pow2!");
    texture.width = width;
    texture.height = height;
    texture.widthMask = (int32_t)(width - 1);
    texture.heightMask = (int32_t)(height - 1);
    texture.widthShift = (uint32_t)__builtin_ctz(width);
    texture.pixels = AllocatePixels((uint64_t)width * height);
    return texture.pixels;
}

void TextureRelease(Texture& texture)
{
    std::free(texture.pixels);
    texture = Texture{};
}

// --- Span routines -------------------------------------------------------------------------
// The scalar references do per lane exactly what the 16-bit SIMD lanes do: a product keeping its
// low 16 bits, a logical shift by 8, an add saturating at 0xFFFF and a pack saturating at 255.

static uint32_t Mul16(uint32_t a, uint32_t b) { return ((a * b) & 0xFFFF) >> 8; }
static uint32_t AddSat16(uint32_t a, uint32_t b) { return std::min<uint32_t>(a + b, 0xFFFF); }
// The pack reads its lanes as signed words: 0x8000 and above saturate to 0.
static uint32_t Pack8(uint32_t v) { return v >= 0x8000 ? 0 : std::min<uint32_t>(v, 255); }

template <typename LaneOp>
static uint32_t EachLane(uint32_t d, uint32_t s, LaneOp op)
{
    uint32_t out = 0;
    for (int shift = 0; shift < 32; shift += 8)
        out |= Pack8(op((d >> shift) & 255, (s >> shift) & 255)) << shift;
    return out;
}

void SpanScreenScalar(uint32_t* dst, const uint32_t* src, size_t n, uint32_t intensity)
{
    uint32_t k = intensity & 255;
    for (size_t i = 0; i < n; ++i)
        dst[i] = EachLane(dst[i], src[i], [k](uint32_t d, uint32_t s) {
            uint32_t s1 = Mul16(s, k);
            return AddSat16(s1, Mul16((255 - s1) & 0xFFFF, d));
        });
}

void SpanCrossFadeScalar(uint32_t* dst, const uint32_t* src, size_t n, uint32_t amount)
{
    uint32_t a = amount & 255;
    for (size_t i = 0; i < n; ++i)
        dst[i] = EachLane(dst[i], src[i], [a](uint32_t d, uint32_t s) {
            return AddSat16(Mul16(s, a), Mul16(d, 255 - a));
        });
}

void SpanScaleScalar(uint32_t* dst, size_t n, uint32_t amount)
{
    uint32_t a = amount & 255;
    for (size_t i = 0; i < n; ++i)
        dst[i] = EachLane(dst[i], 0, [a](uint32_t d, uint32_t) { return Mul16(d, a); });
}

void SpanTowardWhiteScalar(uint32_t* dst, size_t n, uint32_t amount)
{
    uint32_t a = amount & 255;
    uint32_t white = Mul16(255, a);
    for (size_t i = 0; i < n; ++i)
        dst[i] = EachLane(dst[i], 0, [a, white](uint32_t d, uint32_t) {
            return AddSat16(Mul16(d, 255 - a), white);
        });
}

#if defined(__SSE2__)

// Each 16-bit word carries one lane in its high byte: the even lanes (blue, red) shifted up by
// 8, the odd lanes (green, alpha) masked in place. An unsigned high multiply by a factor f then
// gives (v * f) >> 8 in one step, which with both operands at most 255 is exactly the low-16-bit
// product shifted right by 8; every result is at most 255, so the saturating pack becomes a
// shift and an or, and no instruction moves bytes across words. Four pixels per SSE2 step, eight
// per AVX2 step where the processor has it; tails go through the scalar reference, which agrees
// bit for bit.

struct Sse2Ops {
    static constexpr size_t kPixels = 4;
    static __m128i Load(const uint32_t* p) { return _mm_loadu_si128((const __m128i*)p); }
    static void Store(uint32_t* p, __m128i v) { _mm_storeu_si128((__m128i*)p, v); }
    static __m128i Set(uint32_t f) { return _mm_set1_epi16((short)f); }
    static __m128i HighLo(__m128i v) { return _mm_slli_epi16(v, 8); }
    static __m128i HighHi(__m128i v) { return _mm_and_si128(v, _mm_set1_epi16((short)0xFF00)); }
    static __m128i MulHi(__m128i a, __m128i b) { return _mm_mulhi_epu16(a, b); }
    static __m128i Sub(__m128i a, __m128i b) { return _mm_sub_epi16(a, b); }
    static __m128i AddSat(__m128i a, __m128i b) { return _mm_adds_epu16(a, b); }
    static __m128i Pack(__m128i lo, __m128i hi) { return _mm_or_si128(lo, _mm_slli_epi16(hi, 8)); }
};

#define ZENKOR_SPAN_BODY(OPS, V, NAME, TARGET)                                                           \
    TARGET static size_t NAME##Screen(uint32_t* dst, const uint32_t* src, size_t n, uint32_t k8)        \
    {                                                                                                   \
        using S = OPS;                                                                                  \
        const V k = S::Set(k8), full = S::Set(255);                                                     \
        size_t i = 0;                                                                                   \
        for (; i + S::kPixels <= n; i += S::kPixels) {                                                  \
            V d = S::Load(dst + i), s = S::Load(src + i);                                               \
            V s1 = S::MulHi(S::HighLo(s), k), s2 = S::MulHi(S::HighHi(s), k);                           \
            V lo = S::AddSat(s1, S::MulHi(S::HighLo(d), S::Sub(full, s1)));                             \
            V hi = S::AddSat(s2, S::MulHi(S::HighHi(d), S::Sub(full, s2)));                             \
            S::Store(dst + i, S::Pack(lo, hi));                                                         \
        }                                                                                               \
        return i;                                                                                       \
    }                                                                                                   \
    TARGET static size_t NAME##CrossFade(uint32_t* dst, const uint32_t* src, size_t n, uint32_t a8)     \
    {                                                                                                   \
        using S = OPS;                                                                                  \
        const V a = S::Set(a8), rest = S::Set(255 - a8);                                                \
        size_t i = 0;                                                                                   \
        for (; i + S::kPixels <= n; i += S::kPixels) {                                                  \
            V d = S::Load(dst + i), s = S::Load(src + i);                                               \
            V lo = S::AddSat(S::MulHi(S::HighLo(s), a), S::MulHi(S::HighLo(d), rest));                  \
            V hi = S::AddSat(S::MulHi(S::HighHi(s), a), S::MulHi(S::HighHi(d), rest));                  \
            S::Store(dst + i, S::Pack(lo, hi));                                                         \
        }                                                                                               \
        return i;                                                                                       \
    }                                                                                                   \
    TARGET static size_t NAME##Scale(uint32_t* dst, size_t n, uint32_t a8)                              \
    {                                                                                                   \
        using S = OPS;                                                                                  \
        const V a = S::Set(a8);                                                                         \
        size_t i = 0;                                                                                   \
        for (; i + S::kPixels <= n; i += S::kPixels) {                                                  \
            V d = S::Load(dst + i);                                                                     \
            S::Store(dst + i, S::Pack(S::MulHi(S::HighLo(d), a), S::MulHi(S::HighHi(d), a)));           \
        }                                                                                               \
        return i;                                                                                       \
    }                                                                                                   \
    TARGET static size_t NAME##TowardWhite(uint32_t* dst, size_t n, uint32_t a8)                        \
    {                                                                                                   \
        using S = OPS;                                                                                  \
        const V rest = S::Set(255 - a8), white = S::Set((255 * a8) >> 8);                               \
        size_t i = 0;                                                                                   \
        for (; i + S::kPixels <= n; i += S::kPixels) {                                                  \
            V d = S::Load(dst + i);                                                                     \
            V lo = S::AddSat(S::MulHi(S::HighLo(d), rest), white);                                      \
            V hi = S::AddSat(S::MulHi(S::HighHi(d), rest), white);                                      \
            S::Store(dst + i, S::Pack(lo, hi));                                                         \
        }                                                                                               \
        return i;                                                                                       \
    }

ZENKOR_SPAN_BODY(Sse2Ops, __m128i, Sse2, )

#if defined(__x86_64__) || defined(__i386__)
#define ZENKOR_AVX2 __attribute__((target("avx2")))

// The same steps on 256-bit registers.
struct Avx2Ops {
    static constexpr size_t kPixels = 8;
    ZENKOR_AVX2 static __m256i Load(const uint32_t* p) { return _mm256_loadu_si256((const __m256i*)p); }
    ZENKOR_AVX2 static void Store(uint32_t* p, __m256i v) { _mm256_storeu_si256((__m256i*)p, v); }
    ZENKOR_AVX2 static __m256i Set(uint32_t f) { return _mm256_set1_epi16((short)f); }
    ZENKOR_AVX2 static __m256i HighLo(__m256i v) { return _mm256_slli_epi16(v, 8); }
    ZENKOR_AVX2 static __m256i HighHi(__m256i v) { return _mm256_and_si256(v, _mm256_set1_epi16((short)0xFF00)); }
    ZENKOR_AVX2 static __m256i MulHi(__m256i a, __m256i b) { return _mm256_mulhi_epu16(a, b); }
    ZENKOR_AVX2 static __m256i Sub(__m256i a, __m256i b) { return _mm256_sub_epi16(a, b); }
    ZENKOR_AVX2 static __m256i AddSat(__m256i a, __m256i b) { return _mm256_adds_epu16(a, b); }
    ZENKOR_AVX2 static __m256i Pack(__m256i lo, __m256i hi) { return _mm256_or_si256(lo, _mm256_slli_epi16(hi, 8)); }
};

ZENKOR_SPAN_BODY(Avx2Ops, __m256i, Avx2, ZENKOR_AVX2)

static std::atomic<bool> wideAllowed{true};

static bool HasAvx2()
{
    static const bool avx2 = __builtin_cpu_supports("avx2");
    return avx2 && wideAllowed.load(std::memory_order_relaxed);
}
#else
static bool HasAvx2() { return false; }
#define Avx2Screen Sse2Screen
#define Avx2CrossFade Sse2CrossFade
#define Avx2Scale Sse2Scale
#define Avx2TowardWhite Sse2TowardWhite
#endif

#undef ZENKOR_SPAN_BODY

void SpanAllowWideVectors(bool allowed)
{
#if defined(__x86_64__) || defined(__i386__)
    wideAllowed = allowed;
#else
    (void)allowed;
#endif
}

void SpanScreen(uint32_t* dst, const uint32_t* src, size_t n, uint32_t intensity)
{
    size_t done = HasAvx2() ? Avx2Screen(dst, src, n, intensity & 255) : Sse2Screen(dst, src, n, intensity & 255);
    SpanScreenScalar(dst + done, src + done, n - done, intensity);
}

void SpanCrossFade(uint32_t* dst, const uint32_t* src, size_t n, uint32_t amount)
{
    size_t done = HasAvx2() ? Avx2CrossFade(dst, src, n, amount & 255) : Sse2CrossFade(dst, src, n, amount & 255);
    SpanCrossFadeScalar(dst + done, src + done, n - done, amount);
}

void SpanScale(uint32_t* dst, size_t n, uint32_t amount)
{
    size_t done = HasAvx2() ? Avx2Scale(dst, n, amount & 255) : Sse2Scale(dst, n, amount & 255);
    SpanScaleScalar(dst + done, n - done, amount);
}

void SpanTowardWhite(uint32_t* dst, size_t n, uint32_t amount)
{
    size_t done = HasAvx2() ? Avx2TowardWhite(dst, n, amount & 255) : Sse2TowardWhite(dst, n, amount & 255);
    SpanTowardWhiteScalar(dst + done, n - done, amount);
}

#else

void SpanAllowWideVectors(bool) {}
void SpanScreen(uint32_t* dst, const uint32_t* src, size_t n, uint32_t intensity) { SpanScreenScalar(dst, src, n, intensity); }
void SpanCrossFade(uint32_t* dst, const uint32_t* src, size_t n, uint32_t amount) { SpanCrossFadeScalar(dst, src, n, amount); }
void SpanScale(uint32_t* dst, size_t n, uint32_t amount) { SpanScaleScalar(dst, n, amount); }
void SpanTowardWhite(uint32_t* dst, size_t n, uint32_t amount) { SpanTowardWhiteScalar(dst, n, amount); }

#endif
