#include "effects/fill.h"

#include <climits>
#include <cstdint>
#include <utility>

#include "effects/local.h"

// Stateless; called on the frame thread by SceneRender.

// Input coordinates are clamped to this range so that every product below fits.
static const int kCoordLimit = 1 << 20;

// Truncating division; 32-bit when both operands fit, which is the usual case and much
// cheaper than a 64-bit divide.
static inline int64_t Divide(int64_t n, int64_t d)
{
    if (n == (int32_t)n && d == (int32_t)d && !(n == INT32_MIN && d == -1))
        return (int32_t)n / (int32_t)d;
    return n / d;
}

namespace {

template <int N>
struct Corner {
    int64_t x, y;
    int64_t a[N];
};

// One edge in 20.12: x in 64 bits (exact for any clamped input), attributes wrap at 32 bits
// as the 32-bit registers of the scheme do.
template <int N>
struct Edge {
    int64_t x, dx;
    uint32_t a[N], da[N];

    void Start(const Corner<N>& from, const Corner<N>& to, int64_t rows)
    {
        x = from.x * 4096;
        dx = Divide((to.x - from.x) * 4096, rows);
        for (int k = 0; k < N; k++) {
            a[k] = (uint32_t)(from.a[k] * 4096);
            da[k] = (uint32_t)Divide((to.a[k] - from.a[k]) * 4096, rows);
        }
    }
    void Step()
    {
        x += dx;
        for (int k = 0; k < N; k++)
            a[k] += da[k];
    }
    // n steps at once: the same result as n single steps.
    void Advance(int64_t n)
    {
        x += dx * n;
        for (int k = 0; k < N; k++)
            a[k] += da[k] * (uint32_t)n;
    }
};

} // namespace

// ((a02 * y12 - a12 * y02) * 4096) / d, kept to its low 32 bits. Coordinates are within
// 2^21, so 64 bits hold the product whenever the attribute differences stay below 2^20.
static int32_t Gradient(int64_t a02, int64_t a12, int64_t y12, int64_t y02, int64_t d)
{
    const int64_t small = (int64_t)1 << 20;
    if (a02 > -small && a02 < small && a12 > -small && a12 < small)
        return (int32_t)(uint32_t)(uint64_t)Divide((a02 * y12 - a12 * y02) * 4096, d);
    __int128 n = (__int128)a02 * y12 - (__int128)a12 * y02;
    return (int32_t)(uint32_t)(uint64_t)(n * 4096 / d);
}

template <int N>
static void SortByY(Corner<N> c[3])
{
    if (c[1].y < c[0].y)
        std::swap(c[0], c[1]);
    if (c[2].y < c[1].y)
        std::swap(c[1], c[2]);
    if (c[1].y < c[0].y)
        std::swap(c[0], c[1]);
}

static int64_t ClampCoord(int v)
{
    return EffectClamp(v, -kCoordLimit, kCoordLimit);
}

// Clips one span and hands the visible run to the pixel loop:
// pixels(y, x, count, attributes, gradients).
template <int N, class Pixels>
static void SpanClip(const Surface* target, int64_t y, int64_t xStart, int64_t xEnd,
                     const uint32_t start[N], const int32_t g[N], Pixels& pixels)
{
    if (y < 0 || y >= (int64_t)target->height || xStart >= (int64_t)target->width || xEnd < 0)
        return;
    if (xEnd > (int64_t)target->width)
        xEnd = target->width;
    uint32_t a[N];
    for (int k = 0; k < N; k++)
        a[k] = start[k];
    if (xStart < 0) {
        for (int k = 0; k < N; k++)
            a[k] += (uint32_t)(-xStart) * (uint32_t)g[k];
        xStart = 0;
    }
    if (xEnd > xStart)
        pixels((int)y, (int)xStart, (int)(xEnd - xStart), a, g);
}

template <int N, class Pixels>
static void HalfRows(const Surface* target, Edge<N>& longEdge, Edge<N>& shortEdge, int64_t yFrom,
                     int64_t yTo, const int32_t g[N], Pixels& pixels)
{
    // Rows above the target are stepped over in one go; rows below it are never visible.
    int64_t first = yFrom < 0 ? (yTo < 0 ? yTo : 0) : yFrom;
    longEdge.Advance(first - yFrom);
    shortEdge.Advance(first - yFrom);
    int64_t last = yTo < (int64_t)target->height ? yTo : (int64_t)target->height;
    int64_t y = first;
    for (; y < last; y++) {
        // The edge with the smaller x is the left one; a tie goes to the long edge.
        const Edge<N>& left = shortEdge.x < longEdge.x ? shortEdge : longEdge;
        const Edge<N>& right = shortEdge.x < longEdge.x ? longEdge : shortEdge;
        SpanClip<N>(target, y, left.x >> 12, right.x >> 12, left.a, g, pixels);
        longEdge.Step();
        shortEdge.Step();
    }
    if (yTo > y) {
        longEdge.Advance(yTo - y);
        shortEdge.Advance(yTo - y);
    }
}

// The shared scheme of every filler but the flat one.
template <int N, class Pixels>
static void FillShared(Corner<N> c[3], const Surface* target, Pixels& pixels)
{
    SortByY<N>(c);
    if (c[2].y < 0 || c[0].y >= (int64_t)target->height)
        return;
    int64_t longRows = c[2].y - c[0].y, topRows = c[1].y - c[0].y, bottomRows = c[2].y - c[1].y;
    if (longRows == 0)
        longRows = 1;
    if (topRows == 0)
        topRows = 1;
    if (bottomRows == 0)
        bottomRows = 1;
    int64_t d = (c[0].x - c[2].x) * (c[1].y - c[2].y) - (c[1].x - c[2].x) * (c[0].y - c[2].y);
    if (d == 0)
        d = 1;
    int32_t g[N];
    for (int k = 0; k < N; k++)
        g[k] = Gradient(c[0].a[k] - c[2].a[k], c[1].a[k] - c[2].a[k], c[1].y - c[2].y,
                        c[0].y - c[2].y, d);
    Edge<N> longEdge, shortEdge;
    longEdge.Start(c[0], c[2], longRows);
    shortEdge.Start(c[0], c[1], topRows);
    HalfRows<N>(target, longEdge, shortEdge, c[0].y, c[1].y, g, pixels);
    shortEdge.Start(c[1], c[2], bottomRows);
    HalfRows<N>(target, longEdge, shortEdge, c[1].y, c[2].y, g, pixels);
}

template <int N>
static void CornersFrom(const FillVertex in[3], Corner<N> out[3], const int FillVertex::*fields[N])
{
    for (int j = 0; j < 3; j++) {
        out[j].x = ClampCoord(in[j].x);
        out[j].y = ClampCoord(in[j].y);
        for (int k = 0; k < N; k++)
            out[j].a[k] = in[j].*fields[k];
    }
}

static inline int Fixed(uint32_t a)
{
    return (int32_t)a >> 12;
}

namespace {
// A texture's addressing held in locals, so stores to the target cannot alias it.
struct Texels {
    const uint32_t* pixels;
    int widthMask, heightMask;
    uint32_t widthShift;
    explicit Texels(const Texture* t)
        : pixels(t->pixels), widthMask(t->widthMask), heightMask(t->heightMask), widthShift(t->widthShift)
    {
    }
};
} // namespace

static inline uint32_t TexelAt(const Texels& t, uint32_t u, uint32_t v)
{
    return t.pixels[((Fixed(v) & t.heightMask) << t.widthShift) + (Fixed(u) & t.widthMask)];
}

static inline uint32_t Channels(const uint8_t* e, int r, int g, int b)
{
    return ((uint32_t)e[r] << 16) | ((uint32_t)e[g] << 8) | (uint32_t)e[b];
}

static int Channel(int v)
{
    return EffectClamp(v, 0, 255);
}

void FillTexture(const FillVertex corners[3], const Surface* target, const uint32_t* texels)
{
    static const int FillVertex::*fields[2] = {&FillVertex::u, &FillVertex::v};
    Corner<2> c[3];
    CornersFrom<2>(corners, c, fields);
    auto pixels = [&](int y, int x, int n, uint32_t* a, const int32_t* g) {
        uint32_t* out = EffectRowByWidth(target, y) + x;
        uint32_t u = a[0], v = a[1];
        const uint32_t du = (uint32_t)g[0], dv = (uint32_t)g[1];
        for (int i = 0; i < n; i++, u += du, v += dv)
            out[i] = texels[(Fixed(v) & 255) * 256 + (Fixed(u) & 255)];
    };
    FillShared<2>(c, target, pixels);
}

void FillTextureLit(const FillVertex corners[3], const Surface* target, const Texture* texture,
                    const BlendTable* table, int intensity)
{
    static const int FillVertex::*fields[2] = {&FillVertex::u, &FillVertex::v};
    Corner<2> c[3];
    CornersFrom<2>(corners, c, fields);
    const uint8_t* e = table->narrow + Channel(intensity);
    const Texels texels(texture);
    auto pixels = [&](int y, int x, int n, uint32_t* a, const int32_t* g) {
        uint32_t* out = EffectRowByWidth(target, y) + x;
        uint32_t u = a[0], v = a[1];
        const uint32_t du = (uint32_t)g[0], dv = (uint32_t)g[1];
        for (int i = 0; i < n; i++, u += du, v += dv) {
            uint32_t t = TexelAt(texels, u, v);
            out[i] = Channels(e, (t >> 8 & 0xFF00), (t & 0xFF00), (t << 8 & 0xFF00));
        }
    };
    FillShared<2>(c, target, pixels);
}

void FillTextureEnv(const FillVertex corners[3], const Surface* target, const Texture* textureA,
                    const BlendTable* table, const Texture* textureB)
{
    static const int FillVertex::*fields[4] = {&FillVertex::u, &FillVertex::v, &FillVertex::s,
                                               &FillVertex::t};
    Corner<4> c[3];
    CornersFrom<4>(corners, c, fields);
    const uint8_t* e = table->narrow;
    const Texels texelsA(textureA), texelsB(textureB);
    auto pixels = [&](int y, int x, int n, uint32_t* a, const int32_t* g) {
        uint32_t* out = EffectRow(target, y) + x;
        uint32_t u = a[0], v = a[1], s = a[2], t = a[3];
        const uint32_t du = (uint32_t)g[0], dv = (uint32_t)g[1], ds = (uint32_t)g[2], dt = (uint32_t)g[3];
        for (int i = 0; i < n; i++, u += du, v += dv, s += ds, t += dt) {
            uint32_t ta = TexelAt(texelsA, u, v);
            uint32_t tb = TexelAt(texelsB, s, t);
            out[i] = Channels(e, (ta >> 8 & 0xFF00) + (tb >> 16 & 0xFF),
                              (ta & 0xFF00) + (tb >> 8 & 0xFF), (ta << 8 & 0xFF00) + (tb & 0xFF));
        }
    };
    FillShared<4>(c, target, pixels);
}

void FillTextureOver(const FillVertex corners[3], const Surface* target, const Texture* texture,
                     const BlendTable* table)
{
    static const int FillVertex::*fields[2] = {&FillVertex::u, &FillVertex::v};
    Corner<2> c[3];
    CornersFrom<2>(corners, c, fields);
    const uint8_t* e = table->narrow;
    const Texels texels(texture);
    auto pixels = [&](int y, int x, int n, uint32_t* a, const int32_t* g) {
        uint32_t* out = EffectRow(target, y) + x;
        uint32_t u = a[0], v = a[1];
        const uint32_t du = (uint32_t)g[0], dv = (uint32_t)g[1];
        for (int i = 0; i < n; i++, u += du, v += dv) {
            uint32_t t = TexelAt(texels, u, v);
            uint32_t f = out[i];
            out[i] = Channels(e, (f >> 8 & 0xFF00) + (t >> 16 & 0xFF),
                              (f & 0xFF00) + (t >> 8 & 0xFF), (f << 8 & 0xFF00) + (t & 0xFF));
        }
    };
    FillShared<2>(c, target, pixels);
}

void FillColourOver(const FillVertex corners[3], const Surface* target, int red, int green,
                    int blue, const BlendTable* table)
{
    static const int FillVertex::*fields[1] = {&FillVertex::i};
    Corner<1> c[3];
    CornersFrom<1>(corners, c, fields);
    const uint8_t* e = table->narrow;
    int r = Channel(red), gr = Channel(green), b = Channel(blue);
    auto pixels = [&](int y, int x, int n, uint32_t*, const int32_t*) {
        uint32_t* out = EffectRow(target, y) + x;
        for (int i = 0; i < n; i++) {
            uint32_t f = out[i];
            out[i] = Channels(e, (f >> 8 & 0xFF00) + r, (f & 0xFF00) + gr, (f << 8 & 0xFF00) + b);
        }
    };
    FillShared<1>(c, target, pixels);
}

void FillGouraud(const FillVertex corners[3], int red, int green, int blue, const Surface* target,
                 const BlendTable* table)
{
    static const int FillVertex::*fields[1] = {&FillVertex::i};
    Corner<1> c[3];
    CornersFrom<1>(corners, c, fields);
    const uint8_t* e = table->narrow;
    int r = Channel(red) << 8, gr = Channel(green) << 8, b = Channel(blue) << 8;
    auto pixels = [&](int y, int x, int n, uint32_t* a, const int32_t* g) {
        uint32_t* out = EffectRow(target, y) + x;
        uint32_t level = a[0];
        const uint32_t step = (uint32_t)g[0];
        for (int i = 0; i < n; i++, level += step) {
            int l = Fixed(level) & 255;
            out[i] = Channels(e, r + l, gr + l, b + l);
        }
    };
    FillShared<1>(c, target, pixels);
}

void FillTextureGouraud(const FillVertex corners[3], const Surface* target, const Texture* texture,
                        const BlendTable* table)
{
    static const int FillVertex::*fields[3] = {&FillVertex::u, &FillVertex::v, &FillVertex::i};
    Corner<3> c[3];
    CornersFrom<3>(corners, c, fields);
    const uint8_t* e = table->narrow;
    const Texels texels(texture);
    auto pixels = [&](int y, int x, int n, uint32_t* a, const int32_t* g) {
        uint32_t* out = EffectRow(target, y) + x;
        uint32_t u = a[0], v = a[1], i0 = a[2];
        const uint32_t du = (uint32_t)g[0], dv = (uint32_t)g[1], di = (uint32_t)g[2];
        for (int i = 0; i < n; i++, u += du, v += dv, i0 += di) {
            uint32_t t = TexelAt(texels, u, v);
            int level = Fixed(i0) & 255;
            out[i] = Channels(e, (t >> 8 & 0xFF00) + level, (t & 0xFF00) + level,
                              (t << 8 & 0xFF00) + level);
        }
    };
    FillShared<3>(c, target, pixels);
}

// Flat span: a is the short edge's column, b the long edge's; covers a .. b - 1, or
// b - 1 .. a when they cross.
static void FlatSpan(const Surface* target, int64_t y, int64_t a, int64_t b, uint32_t colour)
{
    int64_t left = a, right = b - 1;
    if (left > right)
        std::swap(left, right);
    int64_t w = target->width;
    if (y < 0 || y >= (int64_t)target->height || left >= w || right < 0)
        return;
    if (left < 0)
        left = 0;
    if (right > w - 1)
        right = w - 1;
    uint32_t* out = EffectRowByWidth(target, (int)y);
    for (int64_t x = left; x <= right; x++)
        out[x] = colour;
}

static void FlatHalf(const Surface* target, int64_t yFrom, int64_t yTo, int64_t& shortX,
                     int64_t shortStep, int64_t& longX, int64_t longStep, uint32_t colour)
{
    int64_t first = yFrom < 0 ? (yTo < 0 ? yTo : 0) : yFrom;
    shortX += shortStep * (first - yFrom);
    longX += longStep * (first - yFrom);
    int64_t last = yTo < (int64_t)target->height ? yTo : (int64_t)target->height;
    int64_t y = first;
    for (; y < last; y++) {
        FlatSpan(target, y, shortX >> 12, longX >> 12, colour);
        shortX += shortStep;
        longX += longStep;
    }
    if (yTo > y)
        longX += longStep * (yTo - y);
}

void FillFlat(const FillVertex corners[3], uint32_t colour, const Surface* target)
{
    Corner<1> c[3];
    for (int j = 0; j < 3; j++)
        c[j] = Corner<1>{ClampCoord(corners[j].x), ClampCoord(corners[j].y), {0}};
    SortByY<1>(c);
    if (c[2].y < 0 || c[0].y >= (int64_t)target->height)
        return;
    // The divisors are the heights plus one: this filler's own rule.
    int64_t longX = c[0].x * 4096, longStep = Divide((c[2].x - c[0].x) * 4096, c[2].y - c[0].y + 1);
    int64_t shortX = c[0].x * 4096, shortStep = Divide((c[1].x - c[0].x) * 4096, c[1].y - c[0].y + 1);
    FlatHalf(target, c[0].y, c[1].y, shortX, shortStep, longX, longStep, colour);
    shortX = c[1].x * 4096;
    shortStep = Divide((c[2].x - c[1].x) * 4096, c[2].y - c[1].y + 1);
    FlatHalf(target, c[1].y, c[2].y, shortX, shortStep, longX, longStep, colour);
}
