// Drawing kit of the data generator: float canvases, tileable noise, the production's palette,
// text through FreeType, and the picture writers. Single-threaded (the generator's main thread).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct Rgb {
    float r = 0, g = 0, b = 0;
};

Rgb operator+(Rgb a, Rgb b);
Rgb operator*(Rgb a, float k);
Rgb Mix(Rgb a, Rgb b, float t);
Rgb Screen(Rgb a, Rgb b);

// Colour picture, channels 0..1, rows top-down.
struct Canvas {
    int width = 0, height = 0;
    std::vector<Rgb> pixels;
    Canvas() = default;
    Canvas(int w, int h) : width(w), height(h), pixels(size_t(w) * h) {}
    Rgb& At(int x, int y) { return pixels[size_t(y) * width + x]; }
    const Rgb& At(int x, int y) const { return pixels[size_t(y) * width + x]; }
};

// One-channel picture (coverage, alpha, height field), 0..1.
struct Mask {
    int width = 0, height = 0;
    std::vector<float> values;
    Mask() = default;
    Mask(int w, int h) : width(w), height(h), values(size_t(w) * h) {}
    float& At(int x, int y) { return values[size_t(y) * width + x]; }
    float At(int x, int y) const { return values[size_t(y) * width + x]; }
    float Wrapped(int x, int y) const;
};

// Deterministic integer hash and a small generator of our own (no rand()).
uint32_t Hash(uint32_t x, uint32_t y, uint32_t seed);
struct Random {
    uint64_t state;
    explicit Random(uint64_t seed) : state(seed * 2862933555777941757ull + 3037000493ull) {}
    uint32_t Next();
    float Unit(); // [0, 1)
    float Range(float lo, float hi);
};

// Gradient noise in [-1, 1] that repeats every `period` lattice cells in x and y.
float PeriodicNoise(float x, float y, int period, uint32_t seed);
// Sum of octaves over a picture of the given size that tiles at that size; about [-1, 1].
float TileFbm(float x, float y, int size, int baseCells, int octaves, uint32_t seed);
// Distance to the nearest and second nearest feature point of a tiling cell grid (cells per side).
void TileCells(float x, float y, int size, int cells, uint32_t seed, float* f1, float* f2);

float Clamp01(float v);
float Smooth(float e0, float e1, float v);

// The production's palette: night indigo, violet, rose, amber, cream; t in 0..1.
Rgb Dusk(float t);
// Cool variant for water and metal: deep blue, teal, pale cyan.
Rgb Tide(float t);
Rgb Hex(uint32_t rgb);

void BoxBlur(Mask& m, int radius, bool wrap);
void BoxBlur(Canvas& c, int radius, bool wrap);
// Adds a blurred copy of the mask as light of the given colour (a glow).
void AddGlow(Canvas& c, const Mask& m, Rgb colour, int radius, float strength);
void Fill(Canvas& c, const Mask& m, Rgb colour);
// Shades a height field with a light from the upper left; returns the lit value per pixel.
Mask Emboss(const Mask& height, float strength, bool wrap);

// Text. Fonts are looked up in the font directory given to TextInit.
bool TextInit(const std::string& fontDirectory);
void TextShutdown();
enum Font { FontSans, FontSansBold, FontSerif, FontSerifItalic, FontMono, FontCondensedBold, FontCount };
int TextWidth(Font font, int pixelSize, const std::string& utf8);
// Draws text with its baseline at y, into the mask (max of coverages); wrap draws modulo the size.
void TextDraw(Mask& m, Font font, int pixelSize, int x, int baseline, const std::string& utf8,
              bool wrap = false);
void TextDrawCentred(Mask& m, Font font, int pixelSize, int centreX, int baseline, const std::string& utf8);

// Writers. Each returns false when the file cannot be written.
bool WriteJpeg(const std::string& path, const Canvas& c, int quality);
bool WriteJpegGray(const std::string& path, const Mask& m, int quality);
bool WritePcxRgb(const std::string& path, const Canvas& c);
bool WritePcxGray(const std::string& path, const Mask& m);
bool WritePngRgba(const std::string& path, const std::vector<uint8_t>& rgba, int w, int h);
uint8_t ToByte(float v);
