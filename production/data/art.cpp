#include "production/data/art.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include <ft2build.h>
#include FT_FREETYPE_H
#include <jpeglib.h>

#include "images/png_writer.h"

Rgb operator+(Rgb a, Rgb b) { return {a.r + b.r, a.g + b.g, a.b + b.b}; }
Rgb operator*(Rgb a, float k) { return {a.r * k, a.g * k, a.b * k}; }
Rgb Mix(Rgb a, Rgb b, float t) { return a * (1 - t) + b * t; }
Rgb Screen(Rgb a, Rgb b)
{
    return {1 - (1 - a.r) * (1 - b.r), 1 - (1 - a.g) * (1 - b.g), 1 - (1 - a.b) * (1 - b.b)};
}

float Mask::Wrapped(int x, int y) const
{
    x %= width;
    y %= height;
    if (x < 0)
        x += width;
    if (y < 0)
        y += height;
    return At(x, y);
}

uint32_t Hash(uint32_t x, uint32_t y, uint32_t seed)
{
    uint32_t h = x * 0x8da6b343u ^ y * 0xd8163841u ^ seed * 0xcb1ab31fu;
    h ^= h >> 15;
    h *= 0x2c1b3c6du;
    h ^= h >> 12;
    h *= 0x297a2d39u;
    h ^= h >> 15;
    return h;
}

uint32_t Random::Next()
{
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    return uint32_t(state >> 33);
}
float Random::Unit() { return float(Next() & 0xFFFFFF) / 16777216.0f; }
float Random::Range(float lo, float hi) { return lo + (hi - lo) * Unit(); }

float Clamp01(float v) { return v < 0 ? 0 : v > 1 ? 1 : v; }
float Smooth(float e0, float e1, float v)
{
    float t = Clamp01((v - e0) / (e1 - e0));
    return t * t * (3 - 2 * t);
}

static float Gradient(int ix, int iy, int period, uint32_t seed, float dx, float dy)
{
    int wx = ((ix % period) + period) % period, wy = ((iy % period) + period) % period;
    float a = float(Hash(uint32_t(wx), uint32_t(wy), seed) & 1023) * (6.2831853f / 1024.0f);
    return std::cos(a) * dx + std::sin(a) * dy;
}

float PeriodicNoise(float x, float y, int period, uint32_t seed)
{
    int ix = int(std::floor(x)), iy = int(std::floor(y));
    float fx = x - float(ix), fy = y - float(iy);
    float u = fx * fx * fx * (fx * (fx * 6 - 15) + 10), v = fy * fy * fy * (fy * (fy * 6 - 15) + 10);
    float n00 = Gradient(ix, iy, period, seed, fx, fy);
    float n10 = Gradient(ix + 1, iy, period, seed, fx - 1, fy);
    float n01 = Gradient(ix, iy + 1, period, seed, fx, fy - 1);
    float n11 = Gradient(ix + 1, iy + 1, period, seed, fx - 1, fy - 1);
    float a = n00 + (n10 - n00) * u, b = n01 + (n11 - n01) * u;
    return (a + (b - a) * v) * 1.414f;
}

float TileFbm(float x, float y, int size, int baseCells, int octaves, uint32_t seed)
{
    float sum = 0, amp = 0.5f, norm = 0;
    int cells = baseCells;
    for (int o = 0; o < octaves; o++) {
        float s = float(cells) / float(size);
        sum += amp * PeriodicNoise(x * s, y * s, cells, seed + uint32_t(o) * 101u);
        norm += amp;
        amp *= 0.5f;
        cells *= 2;
    }
    return sum / norm;
}

void TileCells(float x, float y, int size, int cells, uint32_t seed, float* f1, float* f2)
{
    float s = float(cells) / float(size);
    float px = x * s, py = y * s;
    int cx = int(std::floor(px)), cy = int(std::floor(py));
    float d1 = 1e9f, d2 = 1e9f;
    for (int j = -1; j <= 1; j++)
        for (int i = -1; i <= 1; i++) {
            int gx = cx + i, gy = cy + j;
            int wx = ((gx % cells) + cells) % cells, wy = ((gy % cells) + cells) % cells;
            uint32_t h = Hash(uint32_t(wx), uint32_t(wy), seed);
            float fx = float(gx) + float(h & 0xFFFF) / 65536.0f;
            float fy = float(gy) + float(h >> 16) / 65536.0f;
            float d = std::sqrt((fx - px) * (fx - px) + (fy - py) * (fy - py));
            if (d < d1) {
                d2 = d1;
                d1 = d;
            } else if (d < d2) {
                d2 = d;
            }
        }
    *f1 = d1;
    *f2 = d2;
}

Rgb Hex(uint32_t v)
{
    return {float((v >> 16) & 255) / 255.0f, float((v >> 8) & 255) / 255.0f, float(v & 255) / 255.0f};
}

static Rgb Ramp(const uint32_t* stops, int count, float t)
{
    t = Clamp01(t) * float(count - 1);
    int i = std::min(int(t), count - 2);
    return Mix(Hex(stops[i]), Hex(stops[i + 1]), t - float(i));
}

Rgb Dusk(float t)
{
    static const uint32_t stops[] = {0x07040f, 0x1b0f3a, 0x4a2376, 0x9a3a7e, 0xe0607a, 0xf4a748, 0xfbe6c2};
    return Ramp(stops, 7, t);
}

Rgb Tide(float t)
{
    static const uint32_t stops[] = {0x030812, 0x0b2446, 0x15607a, 0x2aa39a, 0x9fe3d6, 0xf4fbf6};
    return Ramp(stops, 6, t);
}

// Running-sum box blur of one line, read through an index function (clamped or wrapped).
template <typename T>
static void BlurLine(T* data, int n, int stride, int radius, bool wrap, std::vector<T>& tmp)
{
    tmp.assign(size_t(n), T{});
    auto at = [&](int i) -> T {
        if (wrap)
            i = ((i % n) + n) % n;
        else
            i = std::clamp(i, 0, n - 1);
        return data[size_t(i) * stride];
    };
    T sum{};
    for (int i = -radius; i <= radius; i++)
        sum = sum + at(i);
    float k = 1.0f / float(2 * radius + 1);
    for (int i = 0; i < n; i++) {
        tmp[size_t(i)] = sum * k;
        sum = sum + at(i + radius + 1) + at(i - radius) * -1.0f;
    }
    for (int i = 0; i < n; i++)
        data[size_t(i) * stride] = tmp[size_t(i)];
}

void BoxBlur(Mask& m, int radius, bool wrap)
{
    if (radius <= 0)
        return;
    std::vector<float> tmp;
    for (int y = 0; y < m.height; y++)
        BlurLine(&m.values[size_t(y) * m.width], m.width, 1, radius, wrap, tmp);
    for (int x = 0; x < m.width; x++)
        BlurLine(&m.values[size_t(x)], m.height, m.width, radius, wrap, tmp);
}

void BoxBlur(Canvas& c, int radius, bool wrap)
{
    if (radius <= 0)
        return;
    std::vector<Rgb> tmp;
    for (int y = 0; y < c.height; y++)
        BlurLine(&c.pixels[size_t(y) * c.width], c.width, 1, radius, wrap, tmp);
    for (int x = 0; x < c.width; x++)
        BlurLine(&c.pixels[size_t(x)], c.height, c.width, radius, wrap, tmp);
}

void AddGlow(Canvas& c, const Mask& m, Rgb colour, int radius, float strength)
{
    Mask g = m;
    BoxBlur(g, radius, false);
    BoxBlur(g, radius, false);
    for (size_t i = 0; i < c.pixels.size(); i++)
        c.pixels[i] = c.pixels[i] + colour * (g.values[i] * strength);
}

void Fill(Canvas& c, const Mask& m, Rgb colour)
{
    for (size_t i = 0; i < c.pixels.size(); i++)
        c.pixels[i] = Mix(c.pixels[i], colour, Clamp01(m.values[i]));
}

Mask Emboss(const Mask& h, float strength, bool wrap)
{
    Mask out(h.width, h.height);
    for (int y = 0; y < h.height; y++)
        for (int x = 0; x < h.width; x++) {
            auto at = [&](int px, int py) {
                if (wrap)
                    return h.Wrapped(px, py);
                return h.At(std::clamp(px, 0, h.width - 1), std::clamp(py, 0, h.height - 1));
            };
            float dx = at(x + 1, y) - at(x - 1, y), dy = at(x, y + 1) - at(x, y - 1);
            float nx = -dx * strength, ny = -dy * strength, nz = 1;
            float len = std::sqrt(nx * nx + ny * ny + nz * nz);
            float light = (nx * -0.5f + ny * -0.6f + nz * 0.62f) / len;
            out.At(x, y) = light;
        }
    return out;
}

// ---- text ----

struct TextState { // generator main thread
    FT_Library library = nullptr;
    FT_Face faces[FontCount] = {};
};
static TextState text;

bool TextInit(const std::string& dir)
{
    static const char* files[FontCount] = {"DejaVuSans.ttf",     "DejaVuSans-Bold.ttf",
                                           "DejaVuSerif.ttf",    "DejaVuSerif-Italic.ttf",
                                           "DejaVuSansMono.ttf", "DejaVuSansCondensed-Bold.ttf"};
    if (FT_Init_FreeType(&text.library))
        return false;
    for (int i = 0; i < FontCount; i++) {
        std::string path = dir + "/" + files[i];
        if (FT_New_Face(text.library, path.c_str(), 0, &text.faces[i]))
            return false;
    }
    return true;
}

void TextShutdown()
{
    for (FT_Face& f : text.faces)
        if (f)
            FT_Done_Face(f), f = nullptr;
    if (text.library)
        FT_Done_FreeType(text.library);
    text.library = nullptr;
}

static std::vector<uint32_t> Decode(const std::string& s)
{
    std::vector<uint32_t> out;
    for (size_t i = 0; i < s.size();) {
        uint8_t c = uint8_t(s[i]);
        int extra = c < 0x80 ? 0 : c < 0xE0 ? 1 : c < 0xF0 ? 2 : 3;
        uint32_t cp = extra == 0 ? c : c & (0x3F >> extra);
        for (int k = 1; k <= extra && i + size_t(k) < s.size(); k++)
            cp = cp << 6 | (uint8_t(s[i + size_t(k)]) & 0x3F);
        out.push_back(cp);
        i += size_t(extra) + 1;
    }
    return out;
}

// Walks the glyphs of a string, calling fn(glyph slot, pen x) for each rendered glyph.
template <typename F>
static int TextWalk(Font font, int size, const std::string& s, bool render, F fn)
{
    FT_Face face = text.faces[font];
    if (!face)
        return 0;
    FT_Set_Pixel_Sizes(face, 0, FT_UInt(size));
    int pen = 0;
    FT_UInt previous = 0;
    for (uint32_t cp : Decode(s)) {
        FT_UInt index = FT_Get_Char_Index(face, cp);
        if (previous && index && FT_HAS_KERNING(face)) {
            FT_Vector k;
            FT_Get_Kerning(face, previous, index, FT_KERNING_DEFAULT, &k);
            pen += int(k.x >> 6);
        }
        if (FT_Load_Glyph(face, index, render ? FT_LOAD_RENDER : FT_LOAD_DEFAULT))
            continue;
        if (render)
            fn(face->glyph, pen);
        pen += int(face->glyph->advance.x >> 6);
        previous = index;
    }
    return pen;
}

int TextWidth(Font font, int size, const std::string& s)
{
    return TextWalk(font, size, s, false, [](FT_GlyphSlot, int) {});
}

void TextDraw(Mask& m, Font font, int size, int x, int baseline, const std::string& s, bool wrap)
{
    TextWalk(font, size, s, true, [&](FT_GlyphSlot g, int pen) {
        const FT_Bitmap& b = g->bitmap;
        for (unsigned row = 0; row < b.rows; row++)
            for (unsigned col = 0; col < b.width; col++) {
                int px = x + pen + g->bitmap_left + int(col), py = baseline - g->bitmap_top + int(row);
                if (wrap) {
                    px = ((px % m.width) + m.width) % m.width;
                    py = ((py % m.height) + m.height) % m.height;
                } else if (px < 0 || py < 0 || px >= m.width || py >= m.height) {
                    continue;
                }
                float v = float(b.buffer[int(row) * b.pitch + int(col)]) / 255.0f;
                m.At(px, py) = std::max(m.At(px, py), v);
            }
    });
}

void TextDrawCentred(Mask& m, Font font, int size, int cx, int baseline, const std::string& s)
{
    TextDraw(m, font, size, cx - TextWidth(font, size, s) / 2, baseline, s);
}

// ---- writers ----

uint8_t ToByte(float v) { return uint8_t(std::lround(Clamp01(v) * 255.0f)); }

static bool WriteJpegRows(const std::string& path, int w, int h, int components, int quality,
                          const std::vector<uint8_t>& bytes)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    jpeg_compress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, f);
    cinfo.image_width = JDIMENSION(w);
    cinfo.image_height = JDIMENSION(h);
    cinfo.input_components = components;
    cinfo.in_color_space = components == 3 ? JCS_RGB : JCS_GRAYSCALE;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    cinfo.optimize_coding = TRUE;
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(&bytes[size_t(cinfo.next_scanline) * size_t(w * components)]);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return std::fclose(f) == 0;
}

bool WriteJpeg(const std::string& path, const Canvas& c, int quality)
{
    std::vector<uint8_t> bytes;
    bytes.reserve(c.pixels.size() * 3);
    for (const Rgb& p : c.pixels) {
        bytes.push_back(ToByte(p.r));
        bytes.push_back(ToByte(p.g));
        bytes.push_back(ToByte(p.b));
    }
    return WriteJpegRows(path, c.width, c.height, 3, quality, bytes);
}

bool WriteJpegGray(const std::string& path, const Mask& m, int quality)
{
    std::vector<uint8_t> bytes;
    bytes.reserve(m.values.size());
    for (float v : m.values)
        bytes.push_back(ToByte(v));
    return WriteJpegRows(path, m.width, m.height, 1, quality, bytes);
}

// PCX version 5, run-length encoded, 8 bits per plane; runs never cross a scan line.
static void PcxEncodeLine(const uint8_t* line, int n, std::vector<uint8_t>& out)
{
    for (int i = 0; i < n;) {
        int run = 1;
        while (i + run < n && run < 63 && line[i + run] == line[i])
            run++;
        if (run > 1 || line[i] >= 0xC0)
            out.push_back(uint8_t(0xC0 | run));
        out.push_back(line[i]);
        i += run;
    }
}

static std::vector<uint8_t> PcxHeader(int w, int h, int planes, int bytesPerLine)
{
    std::vector<uint8_t> hd(128, 0);
    hd[0] = 10;
    hd[1] = 5;
    hd[2] = 1;
    hd[3] = 8;
    auto put16 = [&](int at, int v) {
        hd[size_t(at)] = uint8_t(v & 255), hd[size_t(at) + 1] = uint8_t(v >> 8);
    };
    put16(8, w - 1);
    put16(10, h - 1);
    put16(12, 72);
    put16(14, 72);
    hd[65] = uint8_t(planes);
    put16(66, bytesPerLine);
    put16(68, 1);
    return hd;
}

static bool WriteAll(const std::string& path, const std::vector<uint8_t>& bytes)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return (std::fclose(f) == 0) && ok;
}

bool WritePcxRgb(const std::string& path, const Canvas& c)
{
    int bpl = c.width + (c.width & 1);
    std::vector<uint8_t> out = PcxHeader(c.width, c.height, 3, bpl);
    std::vector<uint8_t> line(static_cast<size_t>(bpl));
    for (int y = 0; y < c.height; y++)
        for (int plane = 0; plane < 3; plane++) {
            for (int x = 0; x < c.width; x++) {
                const Rgb& p = c.At(x, y);
                line[size_t(x)] = ToByte(plane == 0 ? p.r : plane == 1 ? p.g : p.b);
            }
            if (bpl > c.width)
                line[size_t(c.width)] = 0;
            PcxEncodeLine(line.data(), bpl, out);
        }
    return WriteAll(path, out);
}

bool WritePcxGray(const std::string& path, const Mask& m)
{
    int bpl = m.width + (m.width & 1);
    std::vector<uint8_t> out = PcxHeader(m.width, m.height, 1, bpl);
    std::vector<uint8_t> line(static_cast<size_t>(bpl));
    for (int y = 0; y < m.height; y++) {
        for (int x = 0; x < m.width; x++)
            line[size_t(x)] = ToByte(m.At(x, y));
        if (bpl > m.width)
            line[size_t(m.width)] = 0;
        PcxEncodeLine(line.data(), bpl, out);
    }
    out.push_back(12);
    for (int i = 0; i < 256; i++)
        out.insert(out.end(), 3, uint8_t(i));
    return WriteAll(path, out);
}

bool WritePngRgba(const std::string& path, const std::vector<uint8_t>& rgba, int w, int h)
{
    return PngWrite(path.c_str(), rgba.data(), w, h, w * 4, PngRGBA);
}
