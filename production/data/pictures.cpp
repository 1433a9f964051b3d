#include "production/data/pictures.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr float kTau = 6.2831853f;

struct Emitter {
    std::string dir;
    std::vector<PicturePreview>* previews;
    bool ok = true;

    static bool IsPcx(const std::string& name)
    {
        return name.size() > 4 && name.substr(name.size() - 4) == ".pcx";
    }

    void Colour(const std::string& name, const Canvas& c)
    {
        std::string path = dir + "/" + name;
        ok = ok && (IsPcx(name) ? WritePcxRgb(path, c) : WriteJpeg(path, c, 92));
        if (previews)
            previews->push_back({name, c});
    }
    void Alpha(const std::string& name, const Mask& m)
    {
        std::string path = dir + "/" + name;
        ok = ok && (IsPcx(name) ? WritePcxGray(path, m) : WriteJpegGray(path, m, 95));
        if (!previews)
            return;
        Canvas c(m.width, m.height);
        for (size_t i = 0; i < m.values.size(); i++)
            c.pixels[i] = {m.values[i], m.values[i], m.values[i]};
        previews->push_back({name, c});
    }
};

// ---- shapes as signed distances (negative inside), in pixels ----

float SdCircle(float x, float y, float cx, float cy, float r) { return std::hypot(x - cx, y - cy) - r; }

float SdCapsule(float x, float y, float ax, float ay, float bx, float by, float r)
{
    float pax = x - ax, pay = y - ay, bax = bx - ax, bay = by - ay;
    float h = Clamp01((pax * bax + pay * bay) / (bax * bax + bay * bay));
    return std::hypot(pax - bax * h, pay - bay * h) - r;
}

float SdBox(float x, float y, float cx, float cy, float hw, float hh, float round)
{
    float dx = std::fabs(x - cx) - hw + round, dy = std::fabs(y - cy) - hh + round;
    float outside = std::hypot(std::max(dx, 0.0f), std::max(dy, 0.0f));
    return outside + std::min(std::max(dx, dy), 0.0f) - round;
}

float SdEllipse(float x, float y, float cx, float cy, float rx, float ry)
{
    float nx = (x - cx) / rx, ny = (y - cy) / ry;
    return (std::sqrt(nx * nx + ny * ny) - 1) * std::min(rx, ry);
}

float SmoothMin(float a, float b, float k)
{
    float h = Clamp01(0.5f + 0.5f * (b - a) / k);
    return b + (a - b) * h - k * h * (1 - h);
}

// Regular star or polygon: n points, outer radius r, inner ratio (1 = polygon), rotation.
float SdStar(float x, float y, float cx, float cy, float r, int n, float inner, float rot)
{
    float a = std::atan2(y - cy, x - cx) - rot, d = std::hypot(x - cx, y - cy);
    float seg = kTau / float(n);
    float t = std::fmod(a + seg * 100.0f, seg) / seg; // 0..1 across one spoke
    float edge = r * (inner + (1 - inner) * std::fabs(1 - 2 * t));
    if (inner >= 1)
        edge = r * std::cos(seg / 2) / std::cos((t - 0.5f) * seg);
    return (d - edge) * 0.8f;
}

template <typename F>
Mask Field(int w, int h, F sd)
{
    Mask m(w, h);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            m.At(x, y) = sd(float(x) + 0.5f, float(y) + 0.5f);
    return m;
}

Mask Coverage(const Mask& sd)
{
    Mask m(sd.width, sd.height);
    for (size_t i = 0; i < sd.values.size(); i++)
        m.values[i] = Clamp01(0.5f - sd.values[i]);
    return m;
}

Canvas DuskBackground(int w, int h, uint32_t seed, float lo, float hi)
{
    Canvas c(w, h);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            float n = TileFbm(float(x), float(y), 256, 4, 5, seed) * 0.5f + 0.5f;
            float v = lo + (hi - lo) * (n * 0.7f + 0.3f * float(y) / float(h));
            c.At(x, y) = Dusk(v);
        }
    return c;
}

// Paints a shape: colour from a field, rim light along the edge from the upper left, soft shadow.
void PaintShape(Canvas& c, const Mask& sd, Rgb (*shade)(float, float, float), uint32_t seed)
{
    Mask cover = Coverage(sd);
    Mask depth(sd.width, sd.height);
    for (size_t i = 0; i < sd.values.size(); i++)
        depth.values[i] = Clamp01(-sd.values[i] / 18.0f);
    BoxBlur(depth, 2, false);
    Mask light = Emboss(depth, 14.0f, false);
    for (int y = 0; y < c.height; y++)
        for (int x = 0; x < c.width; x++) {
            float k = cover.At(x, y);
            if (k <= 0)
                continue;
            float n = TileFbm(float(x), float(y), 256, 8, 4, seed) * 0.5f + 0.5f;
            Rgb base = shade(float(x) / float(c.width), float(y) / float(c.height), n);
            float l = 0.55f + 0.6f * light.At(x, y);
            c.At(x, y) = Mix(c.At(x, y), base * l, k);
        }
}

void Vignette(Canvas& c, float strength)
{
    for (int y = 0; y < c.height; y++)
        for (int x = 0; x < c.width; x++) {
            float dx = (float(x) / float(c.width) - 0.5f) * 2, dy = (float(y) / float(c.height) - 0.5f) * 2;
            c.At(x, y) = c.At(x, y) * (1 - strength * Clamp01((dx * dx + dy * dy) * 0.5f));
        }
}

void Stars(Canvas& c, uint32_t seed, int count)
{
    Random rnd(seed);
    for (int i = 0; i < count; i++) {
        int x = int(rnd.Next() % uint32_t(c.width)), y = int(rnd.Next() % uint32_t(c.height));
        float b = rnd.Range(0.2f, 1.0f);
        c.At(x, y) = Screen(c.At(x, y), Rgb{b, b * 0.95f, b * 0.85f});
    }
}

// ---- textures (256 x 256, seamless) ----

Canvas Plasma(uint32_t seed)
{
    Canvas c(256, 256);
    for (int y = 0; y < 256; y++)
        for (int x = 0; x < 256; x++) {
            float fx = float(x) / 256 * kTau, fy = float(y) / 256 * kTau;
            float warp = TileFbm(float(x), float(y), 256, 4, 4, seed) * 2.5f;
            float v = std::sin(2 * fx + warp) + std::sin(3 * fy - warp) + std::sin(fx + fy + 0.5f * warp) +
                      std::sin(2 * fx - fy);
            c.At(x, y) = Dusk(0.12f + 0.8f * (0.5f + v / 8));
        }
    return c;
}

Canvas CellTexture(uint32_t seed)
{
    Canvas c(256, 256);
    Mask h(256, 256);
    for (int y = 0; y < 256; y++)
        for (int x = 0; x < 256; x++) {
            float f1, f2;
            TileCells(float(x), float(y), 256, 8, seed, &f1, &f2);
            h.At(x, y) =
                Smooth(0.0f, 0.25f, f2 - f1) * (0.8f + 0.2f * TileFbm(float(x), float(y), 256, 16, 3, seed));
        }
    Mask light = Emboss(h, 10.0f, true);
    for (int y = 0; y < 256; y++)
        for (int x = 0; x < 256; x++) {
            float f1, f2;
            TileCells(float(x), float(y), 256, 8, seed, &f1, &f2);
            Rgb base = Dusk(0.25f + 0.45f * h.At(x, y) + 0.15f * (1 - f1));
            c.At(x, y) = base * (0.5f + 0.7f * light.At(x, y));
        }
    return c;
}

Canvas StoneTiles(uint32_t seed)
{
    Canvas c(256, 256);
    Mask h(256, 256);
    for (int y = 0; y < 256; y++)
        for (int x = 0; x < 256; x++) {
            int row = y / 32;
            int ox = (row & 1) * 32;
            int lx = (x + ox) % 64, ly = y % 32;
            float edge = std::min({float(lx), float(63 - lx), float(ly), float(31 - ly)});
            float n = TileFbm(float(x), float(y), 256, 16, 4, seed);
            h.At(x, y) = Smooth(0.0f, 4.0f, edge) * (0.75f + 0.25f * n);
        }
    Mask light = Emboss(h, 6.0f, true);
    for (int y = 0; y < 256; y++)
        for (int x = 0; x < 256; x++) {
            int row = y / 32, col = ((x + (row & 1) * 32) % 256) / 64;
            float tone = float(Hash(uint32_t(col), uint32_t(row), seed) % 100) / 100.0f;
            float n = TileFbm(float(x), float(y), 256, 32, 3, seed + 7) * 0.5f + 0.5f;
            Rgb base = Dusk(0.2f + 0.3f * tone + 0.2f * n) * (0.3f + 0.7f * h.At(x, y));
            c.At(x, y) = base * (0.55f + 0.65f * light.At(x, y));
        }
    return c;
}

Canvas MetalPanels(uint32_t seed)
{
    Canvas c(256, 256);
    Mask h(256, 256);
    for (int y = 0; y < 256; y++)
        for (int x = 0; x < 256; x++) {
            int lx = x % 64, ly = y % 64;
            float edge = std::min({float(lx), float(63 - lx), float(ly), float(63 - ly)});
            float rivet = 1e9f;
            for (int cy : {6, 57})
                for (int cx : {6, 57})
                    rivet = std::min(rivet, std::hypot(float(lx - cx), float(ly - cy)));
            float v = Smooth(0.0f, 3.0f, edge) * 0.8f + 0.2f * Smooth(3.5f, 2.0f, rivet);
            h.At(x, y) = v;
        }
    Mask light = Emboss(h, 8.0f, true);
    for (int y = 0; y < 256; y++)
        for (int x = 0; x < 256; x++) {
            float brushed = TileFbm(float(x) * 0.25f, float(y) * 4.0f, 256, 64, 2, seed) * 0.5f + 0.5f;
            int panel = (x / 64) + (y / 64) * 4;
            float tint = float(Hash(uint32_t(panel), 1, seed) % 100) / 100.0f;
            Rgb base = Mix(Tide(0.35f + 0.25f * brushed), Dusk(0.55f + 0.1f * brushed), tint * 0.35f);
            Rgb lit = base * (0.35f + 0.85f * light.At(x, y)) * (0.4f + 0.6f * h.At(x, y));
            int lx = x % 64, ly = y % 64;
            if (lx > 24 && lx < 40 && ly > 29 && ly < 34 && (panel % 3) == 1)
                lit = Screen(lit, Dusk(0.85f));
            c.At(x, y) = lit;
        }
    return c;
}

Canvas Caustics(uint32_t seed, float bias)
{
    Canvas c(256, 256);
    for (int y = 0; y < 256; y++)
        for (int x = 0; x < 256; x++) {
            float wx = float(x) + 18 * TileFbm(float(x), float(y), 256, 4, 3, seed);
            float wy = float(y) + 18 * TileFbm(float(x), float(y), 256, 4, 3, seed + 5);
            float a1, a2, b1, b2;
            TileCells(wx, wy, 256, 6, seed, &a1, &a2);
            TileCells(wx + 40, wy + 90, 256, 9, seed + 3, &b1, &b2);
            float light = std::pow(Clamp01(1 - (a2 - a1) * 3), 3.0f) +
                          0.7f * std::pow(Clamp01(1 - (b2 - b1) * 3), 4.0f);
            c.At(x, y) = Tide(bias + 0.25f * (1 - a1) + 0.55f * light);
        }
    return c;
}

Canvas Marble(uint32_t seed)
{
    Canvas c(256, 256);
    for (int y = 0; y < 256; y++)
        for (int x = 0; x < 256; x++) {
            float n = TileFbm(float(x), float(y), 256, 4, 6, seed);
            float v = std::sin(float(x + y) / 256 * kTau * 2 + n * 6);
            float w = TileFbm(float(x), float(y), 256, 8, 4, seed + 1) * 0.5f + 0.5f;
            c.At(x, y) = Tide(0.2f + 0.35f * (v * 0.5f + 0.5f) + 0.35f * w * w);
        }
    return c;
}

Canvas LavaCells(uint32_t seed)
{
    Canvas c(256, 256);
    for (int y = 0; y < 256; y++)
        for (int x = 0; x < 256; x++) {
            float f1, f2;
            float wx = float(x) + 10 * TileFbm(float(x), float(y), 256, 8, 2, seed);
            TileCells(wx, float(y), 256, 6, seed, &f1, &f2);
            float crack = std::pow(Clamp01(1 - (f2 - f1) * 5), 2.0f);
            float crust = TileFbm(float(x), float(y), 256, 16, 4, seed + 2) * 0.5f + 0.5f;
            c.At(x, y) = Screen(Dusk(0.08f + 0.25f * crust * f1), Dusk(0.55f + 0.45f * crack) * crack);
        }
    return c;
}

Canvas RingBands(uint32_t seed)
{
    Canvas c(256, 256);
    for (int y = 0; y < 256; y++)
        for (int x = 0; x < 256; x++) {
            float n = TileFbm(float(x), float(y), 256, 4, 4, seed);
            float v =
                std::sin(float(y) / 256 * kTau * 6 + n * 4 + std::sin(float(x) / 256 * kTau * 2) * 1.5f);
            float fine = TileFbm(float(x), float(y), 256, 32, 2, seed + 9) * 0.5f + 0.5f;
            c.At(x, y) = Mix(Tide(0.3f + 0.45f * (v * 0.5f + 0.5f)), Dusk(0.7f), 0.25f * fine * (v > 0.6f));
        }
    return c;
}

Canvas Checker(uint32_t seed)
{
    Canvas c(256, 256);
    Mask h(256, 256);
    for (int y = 0; y < 256; y++)
        for (int x = 0; x < 256; x++) {
            int lx = x % 32, ly = y % 32;
            float edge = std::min({float(lx), float(31 - lx), float(ly), float(31 - ly)});
            h.At(x, y) = Smooth(0.0f, 3.0f, edge);
        }
    Mask light = Emboss(h, 5.0f, true);
    for (int y = 0; y < 256; y++)
        for (int x = 0; x < 256; x++) {
            bool odd = ((x / 32) + (y / 32)) & 1;
            float n = TileFbm(float(x), float(y), 256, 16, 3, seed) * 0.5f + 0.5f;
            Rgb base = odd ? Dusk(0.62f + 0.2f * n) : Dusk(0.3f + 0.15f * n);
            c.At(x, y) = base * (0.5f + 0.6f * light.At(x, y));
        }
    return c;
}

Canvas EnvMap()
{
    Canvas c(256, 256);
    for (int y = 0; y < 256; y++)
        for (int x = 0; x < 256; x++) {
            float dx = (float(x) - 128) / 128, dy = (float(y) - 128) / 128;
            float r = std::sqrt(dx * dx + dy * dy);
            float hl = std::exp(-((dx + 0.35f) * (dx + 0.35f) + (dy + 0.4f) * (dy + 0.4f)) * 18);
            float hl2 = std::exp(-((dx - 0.45f) * (dx - 0.45f) + (dy - 0.3f) * (dy - 0.3f)) * 30) * 0.5f;
            float horizon = std::exp(-(dy - 0.1f) * (dy - 0.1f) * 40) * 0.3f;
            c.At(x, y) = Dusk(Clamp01(0.85f - 0.75f * r + hl + hl2 + horizon));
        }
    return c;
}

// 256 x 256: the sprite filler spreads 256 texels over a sprite, so a smaller texture repeats.
Canvas LensFlare()
{
    Canvas c(256, 256);
    for (int y = 0; y < 256; y++)
        for (int x = 0; x < 256; x++) {
            float dx = (float(x) - 127.5f) / 128, dy = (float(y) - 127.5f) / 128;
            float r = std::sqrt(dx * dx + dy * dy);
            float core = std::exp(-r * r * 30);
            float halo = std::exp(-r * r * 6) * 0.35f;
            float ring = std::exp(-(r - 0.62f) * (r - 0.62f) * 400) * 0.25f;
            float streak = (std::exp(-dy * dy * 900) + std::exp(-dx * dx * 900)) * std::exp(-r * 3) * 0.6f;
            float fade = Smooth(1.0f, 0.8f, r);
            float v = (core + halo + ring + streak) * fade;
            c.At(x, y) = Rgb{v * 1.0f, v * 0.85f, v * 0.7f} + Rgb{ring * 0.2f, 0, ring * 0.5f} * fade;
        }
    return c;
}

// ---- pictures ----

Canvas StartPicture()
{
    Canvas c(320, 100);
    for (int y = 0; y < 100; y++)
        for (int x = 0; x < 320; x++)
            c.At(x, y) = Dusk(0.05f + 0.12f * (TileFbm(float(x), float(y), 256, 4, 4, 11) * 0.5f + 0.5f));
    Mask title(320, 100), small(320, 100);
    TextDrawCentred(title, FontSansBold, 58, 160, 78, "MUROVA");
    TextDrawCentred(small, FontSans, 12, 160, 18, "tarsel presents");
    AddGlow(c, title, Dusk(0.72f), 6, 1.1f);
    for (int y = 0; y < 100; y++)
        for (int x = 0; x < 320; x++)
            c.At(x, y) = Mix(c.At(x, y), Dusk(0.95f - 0.25f * float(y - 30) / 50.0f), title.At(x, y));
    Fill(c, small, Dusk(0.85f));
    return c;
}

Canvas Logo()
{
    Canvas c(320, 200);
    Mask word(320, 200), line(320, 200);
    TextDrawCentred(word, FontCondensedBold, 74, 160, 124, "TARSEL");
    for (int x = 60; x < 260; x++) {
        float fade = Smooth(60, 110, float(x)) * Smooth(260, 210, float(x));
        line.At(x, 142) = fade;
        line.At(x, 143) = fade * 0.5f;
    }
    AddGlow(c, word, Dusk(0.45f), 8, 1.4f);
    Mask height = word;
    BoxBlur(height, 2, false);
    Mask light = Emboss(height, 6.0f, false);
    for (int y = 0; y < 200; y++)
        for (int x = 0; x < 320; x++) {
            float t = float(y - 60) / 70.0f;
            Rgb metal = Mix(Dusk(0.98f), Dusk(0.62f), Clamp01(t)) * (0.6f + 0.6f * light.At(x, y));
            c.At(x, y) = Mix(c.At(x, y), metal, word.At(x, y));
        }
    Fill(c, line, Dusk(0.8f));
    return c;
}

Canvas Formulas()
{
    static const char* lines[] = {
        "x(t) = r·cos(ωt)",   "∇²φ = 0",          "e^(iπ) + 1 = 0",  "z ← z² + c",      "∫ e^(−x²) dx = √π",
        "sin²θ + cos²θ = 1",  "f(x) = Σ aₙ·xⁿ",   "P′ = M·P",        "v = Δs / Δt",     "λ = h / p",
        "u = A·sin(kx − ωt)", "r = √(x² + y²)",   "θ = atan2(y, x)", "det M = ad − bc", "n · l = cos α",
        "c² = a² + b²",       "φ = (1 + √5) / 2", "dz/dt = i·ω·z",   "∮ F · ds = 0",    "y″ + ω²y = 0"};
    Canvas c(640, 400);
    Mask grid(640, 400);
    for (int y = 0; y < 400; y++)
        for (int x = 0; x < 640; x++)
            if (x % 40 == 0 || y % 40 == 0)
                grid.At(x, y) = ((x + y) % 4 == 0) ? 0.5f : 0.15f;
    Fill(c, grid, Dusk(0.3f));
    Random rnd(404);
    int i = 0;
    for (int row = 0; row < 8; row++)
        for (int col = 0; col < 3; col++, i++) {
            Mask m(640, 400);
            Font font = (i % 3 == 0) ? FontSerifItalic : (i % 3 == 1) ? FontMono : FontSerif;
            int size = 15 + int(rnd.Next() % 10);
            int x = col * 213 + int(rnd.Next() % 40), y = row * 50 + 30 + int(rnd.Next() % 12);
            TextDraw(m, font, size, x, y, lines[i % 20], true);
            AddGlow(c, m, Dusk(0.5f), 3, 0.6f);
            Fill(c, m, Dusk(0.7f + 0.28f * rnd.Unit()));
        }
    return c;
}

Canvas Credit(const char* role, const char* handle, uint32_t seed)
{
    Canvas c = DuskBackground(320, 200, seed, 0.02f, 0.3f);
    Mask ring =
        Field(320, 200, [](float x, float y) { return std::fabs(SdCircle(x, y, 160, 92, 78)) - 1.2f; });
    Fill(c, Coverage(ring), Dusk(0.45f));
    Mask big(320, 200), name(320, 200);
    TextDrawCentred(big, FontSerifItalic, 72, 160, 110, role);
    TextDrawCentred(name, FontSansBold, 22, 160, 160, handle);
    AddGlow(c, big, Dusk(0.6f), 7, 1.2f);
    Fill(c, big, Dusk(0.96f));
    AddGlow(c, name, Dusk(0.8f), 3, 0.8f);
    Fill(c, name, Dusk(0.85f));
    Vignette(c, 0.5f);
    return c;
}

Canvas Mountains()
{
    Canvas c(320, 200);
    for (int y = 0; y < 200; y++)
        for (int x = 0; x < 320; x++) {
            float sun = std::exp(-(std::pow(float(x) - 200, 2.0f) + std::pow(float(y) - 95, 2.0f)) / 900.0f);
            c.At(x, y) = Screen(Dusk(0.2f + 0.65f * float(y) / 200.0f), Dusk(0.95f) * sun);
        }
    for (int layer = 0; layer < 4; layer++) {
        float base = 100.0f + float(layer) * 24, amp = 40.0f - float(layer) * 6;
        for (int x = 0; x < 320; x++) {
            float ridge =
                base -
                amp * (TileFbm(float(x), float(layer * 37), 256, 3 + layer, 5, 80 + uint32_t(layer)) * 0.8f +
                       0.3f);
            for (int y = std::max(0, int(ridge)); y < 200; y++)
                c.At(x, y) = Mix(Dusk(0.45f - 0.1f * float(layer)), Dusk(0.05f), float(layer) / 3.0f) *
                             (0.9f + 0.1f * Clamp01(float(y) - ridge));
        }
    }
    return c;
}

Canvas RingedPlanet()
{
    Canvas c(320, 200);
    Stars(c, 21, 500);
    for (int y = 0; y < 200; y++)
        for (int x = 0; x < 320; x++) {
            float dx = (float(x) - 160) / 70, dy = (float(y) - 100) / 70;
            float r2 = dx * dx + dy * dy;
            float ry = (float(y) - 100 - (float(x) - 160) * 0.25f),
                  rr = std::hypot(float(x) - 160, ry * 4.0f);
            bool ringFront = rr > 95 && rr < 150 && ry > 0;
            bool ringBack = rr > 95 && rr < 150 && ry <= 0;
            float band = std::sin(rr * 0.35f) * 0.5f + 0.5f;
            if (ringBack)
                c.At(x, y) = Dusk(0.5f + 0.3f * band) * 0.8f;
            if (r2 < 1) {
                float nz = std::sqrt(1 - r2), light = Clamp01(-dx * 0.6f - dy * 0.5f + nz * 0.6f);
                float bands = TileFbm(float(x) * 0.5f, float(y) * 4, 256, 4, 3, 22) * 0.5f + 0.5f;
                c.At(x, y) = Dusk(0.25f + 0.55f * bands) * (0.15f + light);
            }
            if (ringFront)
                c.At(x, y) = Dusk(0.55f + 0.35f * band);
        }
    return c;
}

Canvas MarbleWide()
{
    Canvas c(320, 200);
    Canvas m = Marble(33);
    for (int y = 0; y < 200; y++)
        for (int x = 0; x < 320; x++)
            c.At(x, y) = Screen(m.At(x & 255, y), Dusk(0.3f) * 0.4f);
    return c;
}

Canvas Rose()
{
    Canvas c(320, 200);
    Mask lines(320, 200);
    for (int k = 0; k < 3; k++)
        for (int i = 0; i < 6000; i++) {
            float a = float(i) / 6000.0f * kTau * 3, petals = float(5 + 2 * k) / 3.0f;
            float r = (80.0f - float(k) * 18) * std::cos(petals * a);
            int x = int(160 + r * std::cos(a)), y = int(100 + r * std::sin(a));
            if (x >= 0 && y >= 0 && x < 320 && y < 200)
                lines.At(x, y) = 1;
        }
    AddGlow(c, lines, Dusk(0.55f), 3, 2.0f);
    Fill(c, lines, Dusk(0.9f));
    return c;
}

Canvas Skyline()
{
    Canvas c(320, 200);
    for (int y = 0; y < 200; y++)
        for (int x = 0; x < 320; x++)
            c.At(x, y) = Dusk(0.75f - 0.6f * float(y) / 200.0f);
    Random rnd(55);
    for (int x = 0; x < 320;) {
        int w = 8 + int(rnd.Next() % 22), top = 70 + int(rnd.Next() % 90);
        for (int bx = x; bx < std::min(320, x + w); bx++)
            for (int y = top; y < 200; y++) {
                bool window = ((bx - x) % 5 == 2) && ((y - top) % 7 == 3) &&
                              (Hash(uint32_t(bx), uint32_t(y), 7) % 3 == 0);
                c.At(bx, y) = window ? Dusk(0.9f) : Dusk(0.04f);
            }
        x += w + int(rnd.Next() % 3);
    }
    return c;
}

Canvas Zooi()
{
    Canvas all(320, 1000);
    Canvas parts[5] = {Mountains(), RingedPlanet(), MarbleWide(), Rose(), Skyline()};
    for (int k = 0; k < 5; k++)
        for (int y = 0; y < 200; y++)
            for (int x = 0; x < 320; x++)
                all.At(x, k * 200 + y) = parts[k].At(x, y);
    return all;
}

// Eight frames of an old film countdown leader: grain, rings, sweep, number, scratches, dust.
Canvas ScratchStrip()
{
    Canvas all(320, 1600);
    Random rnd(808);
    for (int f = 0; f < 8; f++) {
        Mask number(320, 200);
        TextDrawCentred(number, FontSansBold, 110, 160, 140, std::to_string(8 - f));
        float sweep = float(f) / 8.0f * kTau;
        for (int y = 0; y < 200; y++)
            for (int x = 0; x < 320; x++) {
                float dx = float(x) - 160, dy = float(y) - 100, r = std::hypot(dx, dy);
                // Coarse grain in a few levels keeps the scan lines' runs long.
                float grain = float(Hash(uint32_t(x / 4), uint32_t((y + f * 200) / 2), 91) % 4) / 4.0f;
                float v = 0.72f + 0.08f * grain;
                float a = std::fmod(std::atan2(dx, -dy) + kTau, kTau);
                if (a < sweep)
                    v -= 0.18f;
                if (std::fabs(r - 80) < 1.5f || std::fabs(r - 92) < 1.0f)
                    v = 0.15f;
                if (std::fabs(dx) < 0.8f || std::fabs(dy) < 0.8f)
                    v = 0.25f;
                v = v * (1 - number.At(x, y)) + 0.08f * number.At(x, y);
                float vig = Clamp01((dx * dx / 25600 + dy * dy / 10000) - 0.4f);
                v *= 1 - 0.6f * std::floor(vig * 8) / 8;
                all.At(x, f * 200 + y) = Rgb{v * 1.02f, v * 0.95f, v * 0.82f};
            }
        for (int s = 0; s < 3 + int(rnd.Next() % 4); s++) {
            float sx = rnd.Range(10, 310), drift = rnd.Range(-0.05f, 0.05f);
            bool white = rnd.Next() & 1;
            for (int y = 0; y < 200; y++) {
                int x = int(sx + drift * float(y) + 2 * std::sin(float(y) * 0.05f + float(s)));
                if (x >= 0 && x < 320)
                    all.At(x, f * 200 + y) = white ? Rgb{0.97f, 0.95f, 0.9f} : Rgb{0.1f, 0.08f, 0.06f};
            }
        }
        for (int d = 0; d < 40; d++) {
            int cx = int(rnd.Next() % 320), cy = int(rnd.Next() % 200), r = 1 + int(rnd.Next() % 3);
            for (int y = cy - r; y <= cy + r; y++)
                for (int x = cx - r; x <= cx + r; x++)
                    if (x >= 0 && y >= 0 && x < 320 && y < 200 &&
                        (x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r)
                        all.At(x, f * 200 + y) = Rgb{0.05f, 0.04f, 0.03f};
        }
    }
    return all;
}

Rgb ShadeRose(float u, float v, float n) { return Dusk(0.45f + 0.3f * n + 0.2f * (1 - v) - 0.1f * u); }
Rgb ShadeAmber(float u, float v, float n) { return Dusk(0.68f + 0.25f * n - 0.15f * v + 0.05f * u); }
Rgb ShadeTide(float u, float v, float n) { return Tide(0.45f + 0.35f * n + 0.15f * (1 - v) + 0.05f * u); }
Rgb ShadeViolet(float u, float v, float n) { return Dusk(0.3f + 0.35f * n + 0.2f * (1 - v) + 0.1f * u); }
Rgb ShadeCream(float, float v, float n) { return Dusk(0.8f + 0.1f * n + 0.08f * (1 - v)); }

// A standing figure, one arm raised towards the viewer with an open hand.
float SdRefuser(float x, float y)
{
    float d = SdCircle(x, y, 238, 52, 17);
    d = SmoothMin(d, SdCapsule(x, y, 238, 70, 238, 80, 8), 4);
    d = SmoothMin(d, SdCapsule(x, y, 238, 92, 238, 132, 24), 8);
    d = SmoothMin(d, SdCapsule(x, y, 226, 140, 218, 210, 10), 4);
    d = SmoothMin(d, SdCapsule(x, y, 250, 140, 258, 210, 10), 4);
    d = SmoothMin(d, SdCapsule(x, y, 222, 86, 178, 66, 8), 4);
    d = SmoothMin(d, SdBox(x, y, 166, 58, 11, 15, 6), 3);
    d = SmoothMin(d, SdCapsule(x, y, 256, 88, 270, 140, 7), 4);
    return d;
}

float SdSun(float x, float y)
{
    float d = std::min(SdCircle(x, y, 96, 96, 52), SdStar(x, y, 96, 96, 86, 12, 0.62f, 0.1f));
    return d;
}

// A girl seen from the front: long hair and dress in violet, her face in cream.
float SdMaidenBody(float x, float y)
{
    float d = SdEllipse(x, y, 78, 84, 31, 48);              // hair
    d = SmoothMin(d, SdEllipse(x, y, 78, 120, 42, 18), 10); // shoulders
    float dress = SdBox(x, y, 78, 170, 34 + (y - 120) * 0.25f, 55, 10);
    return SmoothMin(d, dress, 10);
}

float SdMaidenFace(float x, float y) { return SdEllipse(x, y, 78, 66, 18, 22); }

Canvas Shapes4(Mask* alpha)
{
    Canvas all(320, 800);
    *alpha = Mask(320, 800);
    Rgb (*shades[4])(float, float, float) = {ShadeAmber, ShadeRose, ShadeTide, ShadeViolet};
    for (int k = 0; k < 4; k++) {
        Mask sd = Field(320, 200, [k](float x, float y) {
            switch (k) {
            case 0:
                return std::fabs(SdCircle(x, y, 160, 100, 62)) - 16;
            case 1:
                return SdStar(x, y, 160, 108, 86, 3, 1.0f, -kTau / 4);
            case 2:
                return SdBox(x, y, 160, 100, 62, 62, 10);
            default:
                return SdStar(x, y, 160, 104, 88, 5, 0.45f, -kTau / 4);
            }
        });
        Canvas c(320, 200);
        PaintShape(c, sd, shades[k], 60 + uint32_t(k));
        Mask cover = Coverage(sd);
        for (int y = 0; y < 200; y++)
            for (int x = 0; x < 320; x++) {
                all.At(x, k * 200 + y) = c.At(x, y);
                alpha->At(x, k * 200 + y) = cover.At(x, y);
            }
    }
    return all;
}

float SdFrame(float x, float y)
{
    float outer = SdBox(x, y, 160, 100, 158, 98, 12), inner = SdBox(x, y, 160, 100, 144, 84, 8);
    float d = std::max(outer, -inner);
    for (float cx : {20.0f, 300.0f})
        for (float cy : {20.0f, 180.0f})
            d = std::min(d, SdStar(x, y, cx, cy, 20, 4, 0.4f, 0.0f));
    return d;
}

float SdSpiral(float x, float y)
{
    float dx = x - 246, dy = y - 104, r = std::hypot(dx, dy), a = std::atan2(dy, dx);
    float turn = 14.0f;
    float k = (r - a / kTau * turn) / turn;
    float band = std::fabs(k - std::round(k)) * turn - 3.5f;
    float d = std::max(band, r - 66);
    return std::min(d, SdCircle(x, y, 246, 104, 6));
}

float SdBot(float x, float y)
{
    float d = SdBox(x, y, 70, 118, 34, 30, 14);             // head
    d = std::min(d, SdCapsule(x, y, 70, 88, 70, 62, 2.5f)); // antenna
    d = std::min(d, SdCircle(x, y, 70, 60, 7));
    d = SmoothMin(d, SdBox(x, y, 70, 190, 62, 40, 18), 6); // shoulders
    d = SmoothMin(d, SdBox(x, y, 70, 152, 12, 8, 2), 4);   // neck
    d = std::max(d, -SdBox(x, y, 70, 116, 24, 7, 6));      // visor slot
    return d;
}

Canvas FigureOver(const Mask& sd, Rgb (*shade)(float, float, float), uint32_t seed, Mask* alpha)
{
    Canvas c(sd.width, sd.height);
    PaintShape(c, sd, shade, seed);
    *alpha = Coverage(sd);
    BoxBlur(*alpha, 1, false);
    return c;
}

Canvas Nebula()
{
    Canvas c(320, 200);
    Stars(c, 31, 300);
    for (int y = 0; y < 200; y++)
        for (int x = 0; x < 320; x++) {
            float qx = TileFbm(float(x), float(y), 256, 3, 4, 40),
                  qy = TileFbm(float(x), float(y), 256, 3, 4, 41);
            float n = TileFbm(float(x) + 60 * qx, float(y) + 60 * qy, 256, 4, 6, 42) * 0.5f + 0.5f;
            float glow = std::pow(Clamp01(n * 1.3f - 0.35f), 2.2f);
            c.At(x, y) = Screen(c.At(x, y), Dusk(0.3f + 0.7f * glow) * Clamp01(glow * 2.2f));
        }
    return c;
}

Canvas Traces()
{
    Canvas c(640, 200);
    Mask lines(640, 200);
    for (int k = 0; k < 5; k++) {
        float base = 30.0f + 35.0f * float(k);
        int prev = -1;
        for (int x = 0; x < 640; x++) {
            float t = float(x) / 640 * kTau;
            float v = 18 * std::sin(t * float(2 + k) + float(k)) + 7 * std::sin(t * float(7 + 3 * k)) +
                      4 * std::sin(t * float(19 + k));
            int y = int(base + v);
            int a = prev < 0 ? y : std::min(prev, y), b = prev < 0 ? y : std::max(prev, y);
            for (int yy = a; yy <= b; yy++)
                if (yy >= 0 && yy < 200)
                    lines.At(x, yy) = 1;
            prev = y;
        }
    }
    for (int x = 0; x < 640; x += 8)
        for (int y = 4; y < 200; y += 16)
            lines.At(x, y) = std::max(lines.At(x, y), 0.5f);
    Mask wide = lines;
    BoxBlur(wide, 2, true);
    for (size_t i = 0; i < c.pixels.size(); i++) {
        int y = int(i / 640);
        Rgb tint = (y / 35) % 2 ? Tide(0.75f) : Dusk(0.72f);
        c.pixels[i] = tint * std::min(1.0f, lines.values[i] + 2.5f * wide.values[i]);
    }
    return c;
}

Canvas Daylight()
{
    Canvas c(320, 200);
    for (int y = 0; y < 200; y++)
        for (int x = 0; x < 320; x++) {
            float t = float(y) / 200.0f;
            Rgb sky = Mix(Tide(0.55f), Dusk(0.8f), Smooth(0.2f, 0.62f, t));
            float cloud = TileFbm(float(x) * 0.6f, float(y) * 2.2f, 256, 4, 5, 70) * 0.5f + 0.5f;
            sky = Mix(sky, Dusk(0.96f), Smooth(0.55f, 0.8f, cloud) * (1 - t));
            if (y > 140) {
                float ripple = TileFbm(float(x) * 0.3f, float(y) * 6, 256, 8, 3, 71) * 0.5f + 0.5f;
                sky = Mix(Tide(0.3f), Dusk(0.75f), ripple * Smooth(230, 140, float(y)) * 0.7f);
            }
            c.At(x, y) = sky;
        }
    return c;
}

Canvas Bokeh()
{
    Canvas c(320, 200);
    for (int y = 0; y < 200; y++)
        for (int x = 0; x < 320; x++)
            c.At(x, y) = Mix(Dusk(0.5f), Dusk(0.15f), float(x + y) / 520.0f);
    Random rnd(99);
    for (int i = 0; i < 45; i++) {
        float cx = rnd.Range(0, 320), cy = rnd.Range(0, 200), r = rnd.Range(6, 30);
        Rgb col = (i % 3 == 0) ? Tide(rnd.Range(0.5f, 0.9f)) : Dusk(rnd.Range(0.55f, 0.95f));
        float strength = rnd.Range(0.15f, 0.5f);
        for (int y = std::max(0, int(cy - r - 2)); y < std::min(200, int(cy + r + 2)); y++)
            for (int x = std::max(0, int(cx - r - 2)); x < std::min(320, int(cx + r + 2)); x++) {
                float d = std::hypot(float(x) - cx, float(y) - cy);
                float k = Clamp01(r - d) * (0.6f + 0.4f * Smooth(r * 0.5f, r, d));
                c.At(x, y) = Screen(c.At(x, y), col * (k * strength));
            }
    }
    return c;
}

Canvas TheEnd()
{
    Canvas c = DuskBackground(320, 200, 120, 0.0f, 0.22f);
    Mask title(320, 200), sub(320, 200);
    TextDrawCentred(title, FontSansBold, 54, 160, 100, "MUROVA");
    TextDrawCentred(sub, FontSerifItalic, 20, 160, 136, "the end");
    TextDrawCentred(sub, FontSans, 11, 160, 180, "tarsel · zenkor demo system · 2026");
    AddGlow(c, title, Dusk(0.62f), 7, 1.3f);
    Fill(c, title, Dusk(0.95f));
    Fill(c, sub, Dusk(0.8f));
    Vignette(c, 0.6f);
    return c;
}

// A page of centred text, white on black; lines starting with '#' are headings.
Canvas TextPage(int height, const std::vector<const char*>& lines, int top)
{
    Canvas c(320, height);
    Mask m(320, height);
    int y = top;
    for (const char* line : lines) {
        bool heading = line[0] == '#';
        if (heading)
            y += 10;
        if (line[0])
            TextDrawCentred(m, heading ? FontSansBold : FontSans, heading ? 20 : 15, 160, y,
                            heading ? line + 1 : line);
        y += heading ? 30 : 22;
    }
    Mask glow = m;
    AddGlow(c, glow, Rgb{0.5f, 0.5f, 0.55f}, 2, 0.5f);
    Fill(c, m, Rgb{1, 1, 1});
    return c;
}

} // namespace

std::vector<std::string> PictureNames()
{
    return {"start.jpg",   "default.jpg",  "tarsel.jpg",  "formule.jpg", "code.jpg",   "music.jpg",
            "def2.jpg",    "zooi.jpg",     "scratch.pcx", "hohoho.jpg",  "refuse.jpg", "refusea.jpg",
            "chago.jpg",   "tekst3.jpg",   "tekst4.jpg",  "tekst5.jpg",  "sat.jpg",    "water.pcx",
            "diurne3.pcx", "diurne3a.pcx", "diurne1.jpg", "meid2.jpg",   "meid.jpg",   "envmap.jpg",
            "test.jpg",    "lens.jpg",     "tekst.jpg",   "tekst2.jpg",  "water2.jpg", "hebben2.jpg",
            "hebben1.jpg", "heers2.jpg",   "heers1.jpg",  "bot.jpg",     "keers2.jpg", "keers1.jpg",
            "bol.jpg",     "bol2.jpg",     "bert2.jpg",   "bert1.jpg",   "frut.jpg",   "einde.jpg"};
}

bool PicturesWrite(const std::string& dir, std::vector<PicturePreview>* previews)
{
    Emitter out{dir, previews};
    Mask alpha;
    out.Colour("start.jpg", StartPicture());
    out.Colour("default.jpg", Plasma(1));
    out.Colour("tarsel.jpg", Logo());
    out.Colour("formule.jpg", Formulas());
    out.Colour("code.jpg", Credit("code", "FERRIX", 5));
    out.Colour("music.jpg", Credit("music", "LUNDE", 6));
    out.Colour("def2.jpg", CellTexture(2));
    out.Colour("zooi.jpg", Zooi());
    out.Colour("scratch.pcx", ScratchStrip());
    out.Colour("hohoho.jpg", StoneTiles(3));
    {
        Canvas back = DuskBackground(320, 200, 12, 0.1f, 0.4f);
        Mask sd = Field(320, 200, SdRefuser);
        Canvas c = FigureOver(sd, ShadeRose, 13, &alpha);
        for (size_t i = 0; i < c.pixels.size(); i++)
            c.pixels[i] = Mix(back.pixels[i], c.pixels[i], alpha.values[i]);
        out.Colour("refuse.jpg", c);
        out.Alpha("refusea.jpg", alpha);
    }
    out.Colour("chago.jpg", Nebula());
    out.Colour("tekst3.jpg", TextPage(600, {"#GREETINGS",    "",
                                            "Aurelith",      "Brakwater",
                                            "Cinder Lane",   "Dovetail",
                                            "Elmsgrove",     "Fathom Nine",
                                            "Glasshouse",    "Hollow Reed",
                                            "Indigo Tram",   "Juniper Crew",
                                            "Kestrel Works", "Lumen Drift",
                                            "Nachtvlinder",  "Orrery",
                                            "Polder Unit",   "Quillfeather",
                                            "Rasterkat",     "Saltmarsh"},
                                      110));
    out.Colour("tekst4.jpg",
               TextPage(600,
                        {"#NO SHORTCUTS", "", "no borrowed pictures", "no borrowed sounds",
                         "every texel grown from noise", "every note written in code", "", "the tunnel turns",
                         "the planes fly", "the film flickers", "", "#KEEP MOVING"},
                        120));
    out.Colour("tekst5.jpg", TextPage(850,
                                      {"#MUROVA",
                                       "",
                                       "a tarsel production",
                                       "for the zenkor demo system",
                                       "",
                                       "#CODE",
                                       "Ferrix",
                                       "",
                                       "#MUSIC",
                                       "Lunde",
                                       "",
                                       "#PICTURES",
                                       "noise, cells and light",
                                       "type by DejaVu",
                                       "",
                                       "#MORE GREETINGS",
                                       "Tinfoil Choir",
                                       "Umbra Vale",
                                       "Vellum",
                                       "Windmolen",
                                       "Xylo Bay",
                                       "Yarrow",
                                       "Zeppelin Garden",
                                       "",
                                       "thank you for watching"},
                                      110));
    out.Colour("sat.jpg", Traces());
    out.Colour("water.pcx", Caustics(4, 0.15f));
    {
        Mask sd = Field(320, 200, SdSun);
        Canvas c = FigureOver(sd, ShadeAmber, 14, &alpha);
        out.Colour("diurne3.pcx", c);
        out.Alpha("diurne3a.pcx", alpha);
    }
    out.Colour("diurne1.jpg", Daylight());
    {
        Mask body = Field(320, 200, SdMaidenBody), face = Field(320, 200, SdMaidenFace), sd(320, 200);
        for (size_t i = 0; i < sd.values.size(); i++)
            sd.values[i] = std::min(body.values[i], face.values[i]);
        Canvas c = FigureOver(body, ShadeViolet, 15, &alpha);
        PaintShape(c, face, ShadeCream, 19);
        alpha = Coverage(sd);
        BoxBlur(alpha, 1, false);
        out.Colour("meid2.jpg", c);
        out.Alpha("meid.jpg", alpha);
    }
    out.Colour("envmap.jpg", EnvMap());
    out.Colour("test.jpg", Checker(5));
    out.Colour("lens.jpg", LensFlare());
    out.Colour("tekst.jpg", TextPage(600,
                                     {"#MUROVA", "", "a wall of light", "a tunnel of stone", "",
                                      "every pixel", "computed in its time", "in step with the song", "",
                                      "three threads", "one frame", "no waiting", "", "#LISTEN"},
                                     110));
    out.Colour("tekst2.jpg", TextPage(600,
                                      {"#CREDITS", "", "code", "Ferrix", "", "music", "Lunde", "", "pictures",
                                       "grown from noise", "", "letters", "DejaVu", "", "system", "Zenkor"},
                                      110));
    out.Colour("water2.jpg", Marble(6));
    {
        Canvas c = Shapes4(&alpha);
        out.Colour("hebben2.jpg", c);
        out.Alpha("hebben1.jpg", alpha);
    }
    {
        Mask sd = Field(320, 200, SdFrame);
        Canvas c = FigureOver(sd, ShadeAmber, 16, &alpha);
        out.Colour("heers2.jpg", c);
        out.Alpha("heers1.jpg", alpha);
    }
    out.Colour("bot.jpg", MetalPanels(7));
    {
        Mask sd = Field(320, 200, SdSpiral);
        Canvas c = FigureOver(sd, ShadeTide, 17, &alpha);
        out.Colour("keers2.jpg", c);
        out.Alpha("keers1.jpg", alpha);
    }
    out.Colour("bol.jpg", LavaCells(8));
    out.Colour("bol2.jpg", RingBands(9));
    {
        Mask sd = Field(320, 200, SdBot);
        Canvas c = FigureOver(sd, ShadeTide, 18, &alpha);
        out.Colour("bert2.jpg", c);
        out.Alpha("bert1.jpg", alpha);
    }
    out.Colour("frut.jpg", Bokeh());
    out.Colour("einde.jpg", TheEnd());
    return out.ok;
}
