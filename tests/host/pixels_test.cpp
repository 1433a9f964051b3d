#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <vector>

#include "host/pixels.h"

namespace {

// --- Span routines: the plain per-lane formulas, the scalar reference, and the SIMD code ----

uint32_t Lane(uint32_t p, int i) { return (p >> (8 * i)) & 255; }

uint32_t FromLanes(uint32_t l0, uint32_t l1, uint32_t l2, uint32_t l3)
{
    return l0 | l1 << 8 | l2 << 16 | l3 << 24;
}

// Four (d, s) lane pairs per pixel cover all 65,536 pairs in 16,384 pixels.
void AllLanePairs(std::vector<uint32_t>& d, std::vector<uint32_t>& s)
{
    d.resize(16384);
    s.resize(16384);
    for (uint32_t k = 0; k < 16384; ++k) {
        uint32_t dl[4], sl[4];
        for (int i = 0; i < 4; ++i) {
            uint32_t pair = k * 4 + (uint32_t)i;
            dl[i] = pair & 255;
            sl[i] = pair >> 8;
        }
        d[k] = FromLanes(dl[0], dl[1], dl[2], dl[3]);
        s[k] = FromLanes(sl[0], sl[1], sl[2], sl[3]);
    }
}

uint32_t ScreenLane(uint32_t d, uint32_t s, uint32_t k)
{
    uint32_t s1 = s * k / 256;
    return s1 + (255 - s1) * d / 256;
}
uint32_t CrossFadeLane(uint32_t d, uint32_t s, uint32_t a) { return s * a / 256 + d * (255 - a) / 256; }
uint32_t ScaleLane(uint32_t d, uint32_t, uint32_t a) { return d * a / 256; }
uint32_t TowardWhiteLane(uint32_t d, uint32_t, uint32_t a) { return d * (255 - a) / 256 + 255 * a / 256; }

using LaneFormula = uint32_t (*)(uint32_t, uint32_t, uint32_t);
using SpanFn = void (*)(uint32_t*, const uint32_t*, size_t, uint32_t);

void ScaleAdapter(uint32_t* d, const uint32_t*, size_t n, uint32_t a) { SpanScale(d, n, a); }
void ScaleScalarAdapter(uint32_t* d, const uint32_t*, size_t n, uint32_t a) { SpanScaleScalar(d, n, a); }
void WhiteAdapter(uint32_t* d, const uint32_t*, size_t n, uint32_t a) { SpanTowardWhite(d, n, a); }
void WhiteScalarAdapter(uint32_t* d, const uint32_t*, size_t n, uint32_t a) { SpanTowardWhiteScalar(d, n, a); }

struct SpanCase {
    const char* name;
    SpanFn simd;
    SpanFn scalar;
    LaneFormula formula;
};

const SpanCase kSpans[] = {
    {"SpanScreen", SpanScreen, SpanScreenScalar, ScreenLane},
    {"SpanCrossFade", SpanCrossFade, SpanCrossFadeScalar, CrossFadeLane},
    {"SpanScale", ScaleAdapter, ScaleScalarAdapter, ScaleLane},
    {"SpanTowardWhite", WhiteAdapter, WhiteScalarAdapter, TowardWhiteLane},
};

// Runs each test of the span routines with wide vectors allowed and with SSE2 only.
class Spans : public testing::TestWithParam<bool> {
protected:
    void SetUp() override { SpanAllowWideVectors(GetParam()); }
    void TearDown() override { SpanAllowWideVectors(true); }
};

INSTANTIATE_TEST_SUITE_P(Vectors, Spans, testing::Bool(),
                         [](const testing::TestParamInfo<bool>& info) { return info.param ? "Wide" : "Sse2"; });

// Every destination lane, every source lane and every amount: the scalar reference equals the
// formula and the SIMD routine equals the scalar reference.
TEST_P(Spans, ExhaustiveLanesMatchFormulaAndReference)
{
    std::vector<uint32_t> d0, s;
    AllLanePairs(d0, s);
    for (const SpanCase& c : kSpans) {
        for (uint32_t amount = 0; amount < 256; ++amount) {
            std::vector<uint32_t> ref = d0, simd = d0;
            c.scalar(ref.data(), s.data(), ref.size(), amount);
            c.simd(simd.data(), s.data(), simd.size(), amount);
            ASSERT_EQ(ref, simd) << c.name << " amount " << amount;
            for (size_t k = 0; k < ref.size(); ++k)
                for (int i = 0; i < 4; ++i)
                    ASSERT_EQ(Lane(ref[k], i), c.formula(Lane(d0[k], i), Lane(s[k], i), amount))
                        << c.name << " amount " << amount << " d " << Lane(d0[k], i) << " s " << Lane(s[k], i);
        }
    }
}

// Runs of every short length at every start alignment, with random pixels and amounts beyond
// 8 bits; nothing outside the run changes.
TEST_P(Spans, TailsAndAlignmentMatchReference)
{
    std::mt19937 rng(1234);
    for (const SpanCase& c : kSpans) {
        for (size_t offset = 0; offset < 4; ++offset) {
            for (size_t n = 1; n <= 35; ++n) {
                std::vector<uint32_t> d(n + 8), s(n + 8);
                for (auto& v : d) v = rng();
                for (auto& v : s) v = rng();
                uint32_t amount = rng();
                std::vector<uint32_t> ref = d, simd = d;
                c.scalar(ref.data() + offset, s.data() + offset, n, amount);
                c.simd(simd.data() + offset, s.data() + offset, n, amount);
                ASSERT_EQ(ref, simd) << c.name << " n " << n << " offset " << offset;
                for (size_t i = 0; i < d.size(); ++i) {
                    if (i < offset || i >= offset + n) {
                        ASSERT_EQ(simd[i], d[i]) << c.name << " wrote outside the run";
                    }
                }
            }
        }
    }
}

TEST_P(Spans, AmountsUseOnlyTheirLowEightBits)
{
    std::vector<uint32_t> d0, s;
    AllLanePairs(d0, s);
    for (const SpanCase& c : kSpans) {
        std::vector<uint32_t> low = d0, high = d0;
        c.simd(low.data(), s.data(), low.size(), 0x37);
        c.simd(high.data(), s.data(), high.size(), 0xAB37);
        EXPECT_EQ(low, high) << c.name;
    }
}

TEST_P(Spans, DocumentedValues)
{
    uint32_t d = 0x00000000, s = 0xFFFFFFFF;
    SpanCrossFade(&d, &s, 1, 255);
    EXPECT_EQ(d, 0xFEFEFEFEu);
    d = 0xFFFFFFFF;
    s = 0;
    SpanCrossFade(&d, &s, 1, 0);
    EXPECT_EQ(d, 0xFEFEFEFEu);

    d = 0;
    s = 0x80FF4001;
    SpanScreen(&d, &s, 1, 255);
    EXPECT_EQ(d, FromLanes(1 * 255 / 256, 0x40 * 255 / 256, 0xFF * 255 / 256, 0x80 * 255 / 256));
    d = 0xFFFFFFFF;
    SpanScreen(&d, &s, 1, 255);
    EXPECT_EQ(d, 0xFEFEFEFEu);
    EXPECT_EQ(s, 0x80FF4001u) << "the source is only read";
}

// --- Surfaces and blits -------------------------------------------------------------------

struct OwnedSurface {
    Surface s{};
    OwnedSurface(int32_t w, int32_t h, uint32_t fill)
    {
        SurfaceCreate(s, w, h);
        SurfaceFill(s, fill);
    }
    ~OwnedSurface() { SurfaceRelease(s); }
    uint32_t At(int x, int y) const { return s.pixels[y * s.width + x]; }
};

Bitmap MakeBitmap(std::vector<uint32_t>& store, uint32_t w, uint32_t h)
{
    store.resize(w * h);
    for (uint32_t i = 0; i < w * h; ++i)
        store[i] = 0x01000000u * (i % 251 + 1) + i * 0x010203u;
    return Bitmap{store.data(), w, h};
}

TEST(Surface, CreateFillReleaseZeroesEveryField)
{
    Surface s{};
    SurfaceCreate(s, 7, 3);
    ASSERT_NE(s.pixels, nullptr);
    EXPECT_EQ(s.width, 7);
    EXPECT_EQ(s.height, 3);
    EXPECT_EQ(s.pitch, 28u);
    SurfaceFill(s, 0x12345678);
    for (int i = 0; i < 21; ++i)
        EXPECT_EQ(s.pixels[i], 0x12345678u);
    SurfaceRelease(s);
    EXPECT_EQ(s.pixels, nullptr);
    EXPECT_EQ(s.width, 0);
    EXPECT_EQ(s.height, 0);
    EXPECT_EQ(s.pitch, 0u);
    SurfaceRelease(s);  // releasing twice is harmless
}

TEST(Surface, FillHonoursPitch)
{
    std::vector<uint32_t> store(4 * 3, 0xAAAAAAAA);
    Surface s{store.data(), 2, 3, 16};
    SurfaceFill(s, 5);
    for (int y = 0; y < 3; ++y) {
        EXPECT_EQ(store[y * 4 + 0], 5u);
        EXPECT_EQ(store[y * 4 + 1], 5u);
        EXPECT_EQ(store[y * 4 + 2], 0xAAAAAAAAu);
        EXPECT_EQ(store[y * 4 + 3], 0xAAAAAAAAu);
    }
}

TEST(Surface, FlashAndDarkenEndpoints)
{
    OwnedSurface a(4, 2, 0x00406080);
    SurfaceFlash(a.s, 0);
    EXPECT_EQ(a.At(3, 1), 0x00406080u);
    SurfaceFlash(a.s, 256);
    EXPECT_EQ(a.At(3, 1), 0x00406080u);
    SurfaceFlash(a.s, 255);
    EXPECT_EQ(a.At(0, 0), 0xFFFFFFFFu);
    EXPECT_EQ(a.At(3, 1), 0xFFFFFFFFu);

    OwnedSurface b(4, 2, 0x00406080);
    SurfaceFlash(b.s, 128);
    uint32_t expect = 0x00406080;
    SpanTowardWhiteScalar(&expect, 1, 128);
    EXPECT_EQ(b.At(2, 1), expect);

    OwnedSurface c(4, 2, 0x00406080);
    SurfaceDarken(c.s, 255);
    EXPECT_EQ(c.At(1, 1), 0x00406080u);
    SurfaceDarken(c.s, 64);
    EXPECT_EQ(c.At(1, 1), FromLanes(0x80 * 64 / 256, 0x60 * 64 / 256, 0x40 * 64 / 256, 0));
    SurfaceDarken(c.s, 0);
    EXPECT_EQ(c.At(1, 1), 0u);
    EXPECT_EQ(c.At(3, 0), 0u);
}

// What a blit must draw, pixel by pixel, with no clipping arithmetic at all.
template <typename PixelOp>
std::vector<uint32_t> NaiveBlit(const OwnedSurface& dst, const Bitmap& src, int64_t x, int64_t y, PixelOp op)
{
    std::vector<uint32_t> out(dst.s.pixels, dst.s.pixels + dst.s.width * dst.s.height);
    for (int64_t sy = 0; sy < src.height; ++sy)
        for (int64_t sx = 0; sx < src.width; ++sx) {
            int64_t dx = x + sx, dy = y + sy;
            if (dx >= 0 && dy >= 0 && dx < dst.s.width && dy < dst.s.height)
                out[dy * dst.s.width + dx] = op(out[dy * dst.s.width + dx], src.pixels[sy * src.width + sx]);
        }
    return out;
}

uint32_t Blend(uint32_t d, uint32_t s, uint32_t a)
{
    return FromLanes((Lane(d, 0) * (255 - a) + Lane(s, 0) * a) / 256, (Lane(d, 1) * (255 - a) + Lane(s, 1) * a) / 256,
                     (Lane(d, 2) * (255 - a) + Lane(s, 2) * a) / 256, 0);
}

TEST(Blit, ClippingMatchesPixelByPixelPlacement)
{
    std::vector<uint32_t> store;
    Bitmap bmp = MakeBitmap(store, 5, 4);
    const int32_t positions[] = {-6, -5, -4, -1, 0, 1, 3, 6, 7, 8, 9, INT32_MIN, INT32_MAX};
    for (int32_t x : positions)
        for (int32_t y : positions) {
            OwnedSurface copy(8, 6, 0x11223344), alpha(8, 6, 0x11223344), constant(8, 6, 0x11223344),
                fill(8, 6, 0x11223344);
            auto wantCopy = NaiveBlit(copy, bmp, x, y, [](uint32_t, uint32_t s) { return s; });
            auto wantAlpha = NaiveBlit(alpha, bmp, x, y, [](uint32_t d, uint32_t s) {
                return (s >> 24) == 0 ? d : Blend(d, s, s >> 24);
            });
            auto wantConstant = NaiveBlit(constant, bmp, x, y, [](uint32_t d, uint32_t s) { return Blend(d, s, 77); });
            auto wantFill = NaiveBlit(fill, bmp, x, y, [](uint32_t, uint32_t) { return 0xCAFEu; });
            BlitCopy(copy.s, bmp, x, y);
            BlitAlpha(alpha.s, bmp, x, y);
            BlitConstant(constant.s, bmp, x, y, 77);
            SurfaceFillRect(fill.s, x, y, 5, 4, 0xCAFE);
            auto got = [](const OwnedSurface& o) { return std::vector<uint32_t>(o.s.pixels, o.s.pixels + 48); };
            ASSERT_EQ(got(copy), wantCopy) << "BlitCopy at " << x << "," << y;
            ASSERT_EQ(got(alpha), wantAlpha) << "BlitAlpha at " << x << "," << y;
            ASSERT_EQ(got(constant), wantConstant) << "BlitConstant at " << x << "," << y;
            ASSERT_EQ(got(fill), wantFill) << "SurfaceFillRect at " << x << "," << y;
        }
}

TEST(Blit, DestinationRowsAdvanceByPitch)
{
    std::vector<uint32_t> bmpStore;
    Bitmap bmp = MakeBitmap(bmpStore, 2, 2);
    std::vector<uint32_t> store(5 * 3, 0);
    Surface s{store.data(), 3, 3, 20};
    BlitCopy(s, bmp, 1, 1);
    EXPECT_EQ(store[1 * 5 + 1], bmpStore[0]);
    EXPECT_EQ(store[1 * 5 + 2], bmpStore[1]);
    EXPECT_EQ(store[2 * 5 + 1], bmpStore[2]);
    EXPECT_EQ(store[2 * 5 + 3], 0u) << "padding beyond the width stays untouched";
}

// Every destination lane, source lane and alpha through BlitConstant, and through BlitAlpha with
// the alpha carried by the source pixel.
TEST(Blit, BlendIsExactForEveryLaneAndAlpha)
{
    std::vector<uint32_t> d0, s0;
    AllLanePairs(d0, s0);
    for (uint32_t alpha = 0; alpha < 256; ++alpha) {
        std::vector<uint32_t> d = d0, d2 = d0, s = s0;
        for (auto& p : s)
            p = (p & 0x00FFFFFF) | alpha << 24;
        Surface surface{d.data(), 128, 128, 512};
        Surface surface2{d2.data(), 128, 128, 512};
        Bitmap bitmap{s.data(), 128, 128};
        BlitConstant(surface, bitmap, 0, 0, alpha);
        BlitAlpha(surface2, bitmap, 0, 0);
        for (size_t k = 0; k < d.size(); ++k) {
            ASSERT_EQ(d[k], Blend(d0[k], s[k], alpha)) << "alpha " << alpha << " pixel " << k;
            ASSERT_EQ(d2[k], alpha == 0 ? d0[k] : Blend(d0[k], s[k], alpha)) << "alpha " << alpha;
        }
    }
}

TEST(Blit, AlphaValues)
{
    OwnedSurface dst(2, 1, 0x00000000);
    uint32_t src[2] = {0xFFFFFFFF, 0x00FFFFFF};
    Bitmap bmp{src, 2, 1};
    BlitAlpha(dst.s, bmp, 0, 0);
    EXPECT_EQ(dst.At(0, 0), 0x00FEFEFEu) << "opaque white gives 254 and alpha 0";
    EXPECT_EQ(dst.At(1, 0), 0u) << "alpha 0 leaves the destination";
}

TEST(Blit, WithAlphaDispatch)
{
    uint32_t src[1] = {0x7F102030};
    Bitmap bmp{src, 1, 1};
    struct Case { uint32_t alpha; uint32_t want; } cases[] = {
        {0, 0x00405060}, {256, 0x00405060}, {255, 0x7F102030}, {511, 0x7F102030}, {100, Blend(0x00405060, 0x7F102030, 100)},
    };
    for (const Case& c : cases) {
        OwnedSurface dst(1, 1, 0x00405060);
        BlitWithAlpha(dst.s, bmp, 0, 0, c.alpha);
        EXPECT_EQ(dst.At(0, 0), c.want) << "alpha " << c.alpha;
    }
}

TEST(Blit, NegativeRectangleFillsNothing)
{
    OwnedSurface dst(4, 4, 1);
    SurfaceFillRect(dst.s, 1, 1, -3, 2, 9);
    SurfaceFillRect(dst.s, 1, 1, 2, -3, 9);
    SurfaceFillRect(dst.s, -10, -10, 5, 5, 9);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(dst.s.pixels[i], 1u);
}

// --- Textures and bitmaps -------------------------------------------------------------------

TEST(Texture, MasksAndShift)
{
    struct Case { uint32_t w, h; int32_t wm, hm; uint32_t shift; } cases[] = {
        {256, 256, 255, 255, 8}, {256, 128, 255, 127, 8}, {1, 1, 0, 0, 0}, {64, 512, 63, 511, 6},
    };
    for (const Case& c : cases) {
        Texture t{};
        uint32_t* p = TextureCreate(t, c.w, c.h);
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(p, t.pixels);
        EXPECT_EQ(t.width, c.w);
        EXPECT_EQ(t.height, c.h);
        EXPECT_EQ(t.widthMask, c.wm);
        EXPECT_EQ(t.heightMask, c.hm);
        EXPECT_EQ(t.widthShift, c.shift);
        for (uint32_t i = 0; i < c.w * c.h; ++i)
            p[i] = i;
        EXPECT_EQ(TextureTexel(t, (int32_t)c.w + 1, -1), (c.h - 1) * c.w + (c.w > 1 ? 1 : 0));
        TextureRelease(t);
        EXPECT_EQ(t.pixels, nullptr);
        EXPECT_EQ(t.width | t.height | t.widthShift, 0u);
        EXPECT_EQ(t.widthMask | t.heightMask, 0);
    }
}

TEST(TextureDeathTest, NonPowerOfTwoIsFatal)
{
    for (auto size : {std::pair<uint32_t, uint32_t>{3, 4}, {4, 6}, {0, 4}, {4, 0}}) {
        EXPECT_EXIT(
            {
                Texture t{};
                TextureCreate(t, size.first, size.second);
            },
            testing::ExitedWithCode(1), "Texture is non-pow2!");
    }
}

TEST(Bitmap, ReleaseZeroesEveryField)
{
    Bitmap b{(uint32_t*)std::malloc(16), 2, 2};
    BitmapRelease(b);
    EXPECT_EQ(b.pixels, nullptr);
    EXPECT_EQ(b.width, 0u);
    EXPECT_EQ(b.height, 0u);
}

}  // namespace
