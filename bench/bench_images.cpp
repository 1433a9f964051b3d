// Decoding time per file kind at 320 × 200 and 640 × 400, and the median-cut quantiser on a
// 320 × 200 photograph-like picture. The files are encoded here, in memory, before timing.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <vector>

#include <jpeglib.h>

#include "images/image.h"
#include "images/png_writer.h"
#include "images/quantize.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Smooth shading, a few soft shapes and fine grain: tens of thousands of distinct colours,
// the way a photograph has them. RGB24, packed rows.
Bytes Photograph(int w, int h) {
    Bytes rgb(size_t(w) * h * 3);
    uint32_t seed = 12345;
    for (int y = 0; y < h; y++) {
        for (int x = 0; x < w; x++) {
            double u = double(x) / w, v = double(y) / h;
            double sky = 1.0 - v;
            double hill = 0.5 + 0.5 * std::sin(u * 9.0 + std::cos(v * 5.0) * 2.0);
            double sun = std::exp(-((u - 0.7) * (u - 0.7) + (v - 0.25) * (v - 0.25)) * 40.0);
            seed = seed * 1103515245u + 12345u;
            double grain = double((seed >> 16) & 31) - 15.5;
            double c[3] = {70 + 120 * sky * hill + 150 * sun, 90 + 100 * hill * v + 110 * sun, 160 * sky + 40 * hill};
            for (int k = 0; k < 3; k++) {
                double value = c[k] + grain * (k + 1) * 0.4;
                rgb[(size_t(y) * w + x) * 3 + k] = uint8_t(value < 0 ? 0 : value > 255 ? 255 : value);
            }
        }
    }
    return rgb;
}

void PutU16(Bytes& b, int v) {
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}

void PutU32(Bytes& b, uint32_t v) {
    for (int i = 0; i < 4; i++) b.push_back(uint8_t(v >> (8 * i)));
}

Bytes EncodeBmp(const Bytes& rgb, int w, int h) {
    int rowBytes = (w * 3 + 3) & ~3;
    Bytes b = {'B', 'M'};
    PutU32(b, 54 + uint32_t(rowBytes) * h);
    PutU32(b, 0);
    PutU32(b, 54);
    PutU32(b, 40);
    PutU32(b, uint32_t(w));
    PutU32(b, uint32_t(h));
    PutU16(b, 1);
    PutU16(b, 24);
    for (int i = 0; i < 6; i++) PutU32(b, 0);
    for (int y = h - 1; y >= 0; y--) {
        for (int x = 0; x < w; x++) {
            const uint8_t* p = &rgb[(size_t(y) * w + x) * 3];
            b.insert(b.end(), {p[2], p[1], p[0]});
        }
        b.resize(b.size() + rowBytes - w * 3, 0);
    }
    return b;
}

// Run-length PCX scan line.
void PcxLine(Bytes& out, const uint8_t* line, int n) {
    for (int x = 0; x < n;) {
        int run = 1;
        while (x + run < n && run < 63 && line[x + run] == line[x]) run++;
        if (run > 1 || line[x] >= 0xC0) out.push_back(uint8_t(0xC0 | run));
        out.push_back(line[x]);
        x += run;
    }
}

Bytes EncodePcx(const Bytes& rgb, int w, int h) {
    int bytesPerLine = w + (w & 1);
    Bytes b(128, 0);
    b[0] = 10, b[1] = 5, b[2] = 1, b[3] = 8;
    b[8] = uint8_t(w - 1), b[9] = uint8_t((w - 1) >> 8), b[10] = uint8_t(h - 1), b[11] = uint8_t((h - 1) >> 8);
    b[65] = 3, b[66] = uint8_t(bytesPerLine), b[67] = uint8_t(bytesPerLine >> 8);
    Bytes line(bytesPerLine, 0);
    for (int y = 0; y < h; y++)
        for (int k = 0; k < 3; k++) {
            for (int x = 0; x < w; x++) line[x] = rgb[(size_t(y) * w + x) * 3 + k];
            PcxLine(b, line.data(), bytesPerLine);
        }
    return b;
}

Bytes EncodeTga(const Bytes& rgb, int w, int h) {
    Bytes b = {0, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    PutU16(b, w);
    PutU16(b, h);
    b.push_back(24);
    b.push_back(0x20);
    size_t n = size_t(w) * h;
    for (size_t i = 0; i < n;) {
        size_t run = 1;
        while (i + run < n && run < 128 && memcmp(&rgb[(i + run) * 3], &rgb[i * 3], 3) == 0) run++;
        if (run > 1) {
            b.push_back(uint8_t(0x80 | (run - 1)));
            b.insert(b.end(), {rgb[i * 3 + 2], rgb[i * 3 + 1], rgb[i * 3]});
            i += run;
            continue;
        }
        size_t literal = 1;
        while (i + literal < n && literal < 128 && memcmp(&rgb[(i + literal) * 3], &rgb[(i + literal - 1) * 3], 3) != 0)
            literal++;
        b.push_back(uint8_t(literal - 1));
        for (size_t j = i; j < i + literal; j++) b.insert(b.end(), {rgb[j * 3 + 2], rgb[j * 3 + 1], rgb[j * 3]});
        i += literal;
    }
    return b;
}

// GIF with a real LZW dictionary, code widths growing to 12 bits and clears when it fills.
Bytes EncodeGif(const Bytes& indices, const uint8_t* palette, int w, int h) {
    Bytes b = {'G', 'I', 'F', '8', '9', 'a'};
    PutU16(b, w);
    PutU16(b, h);
    b.insert(b.end(), {0xF7, 0, 0});
    b.insert(b.end(), palette, palette + 768);
    b.push_back(0x2C);
    PutU16(b, 0);
    PutU16(b, 0);
    PutU16(b, w);
    PutU16(b, h);
    b.push_back(0);
    const int minimum = 8, clear = 256, end = 257;
    b.push_back(minimum);
    Bytes packed;
    uint32_t bits = 0;
    int bitCount = 0, codeBits = minimum + 1, next = clear + 2;
    std::map<uint32_t, int> table;
    auto put = [&](int code) {
        bits |= uint32_t(code) << bitCount;
        for (bitCount += codeBits; bitCount >= 8; bitCount -= 8, bits >>= 8) packed.push_back(uint8_t(bits));
        if (code != clear && next >= (1 << codeBits) && codeBits < 12) codeBits++;
    };
    put(clear);
    int current = indices[0];
    for (size_t i = 1; i < indices.size(); i++) {
        uint32_t key = uint32_t(current) << 8 | indices[i];
        auto found = table.find(key);
        if (found != table.end()) {
            current = found->second;
            continue;
        }
        put(current);
        current = indices[i];
        if (next >= 4095) {
            put(clear);
            codeBits = minimum + 1, next = clear + 2;
            table.clear();
        } else {
            table[key] = next++;
        }
    }
    put(current);
    put(end);
    if (bitCount) packed.push_back(uint8_t(bits));
    for (size_t at = 0; at < packed.size(); at += 255) {
        size_t n = std::min<size_t>(255, packed.size() - at);
        b.push_back(uint8_t(n));
        b.insert(b.end(), packed.begin() + at, packed.begin() + at + n);
    }
    b.insert(b.end(), {0, 0x3B});
    return b;
}

Bytes EncodeJpeg(const Bytes& rgb, int w, int h) {
    jpeg_compress_struct c;
    jpeg_error_mgr errors;
    c.err = jpeg_std_error(&errors);
    jpeg_create_compress(&c);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &buffer, &size);
    c.image_width = w, c.image_height = h, c.input_components = 3, c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 90, TRUE);
    jpeg_start_compress(&c, TRUE);
    while (c.next_scanline < c.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(&rgb[size_t(c.next_scanline) * w * 3]);
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    Bytes out(buffer, buffer + size);
    jpeg_destroy_compress(&c);
    free(buffer);
    return out;
}

enum Kind { Bmp, Pcx, Gif, Tga, Png, Jpeg };
const char* const kNames[] = {"photo.bmp", "photo.pcx", "photo.gif", "photo.tga", "photo.png", "photo.jpg"};

Bytes MakeFile(int kind, int w, int h) {
    Bytes rgb = Photograph(w, h);
    switch (kind) {
    case Bmp: return EncodeBmp(rgb, w, h);
    case Pcx: return EncodePcx(rgb, w, h);
    case Tga: return EncodeTga(rgb, w, h);
    case Jpeg: return EncodeJpeg(rgb, w, h);
    case Png: {
        Bytes png;
        PngEncode(png, rgb.data(), w, h, w * 3, PngRGB);
        return png;
    }
    default: {
        uint8_t palette[768] = {};
        int n = MedianCutPalette(rgb.data(), w, h, w * 3, palette, 256);
        Bytes indices(size_t(w) * h);
        QuantizeMap(rgb.data(), w, h, w * 3, palette, n, indices.data(), w);
        Bytes gif = EncodeGif(indices, palette, w, h);
        // The encoder is the bench's own: make sure the decoder gives the indices back.
        MemoryImageSource source(gif.data(), gif.size());
        Image image(&source, nullptr);
        Bytes back(indices.size());
        if (!image.Open() || !image.Read(back.data(), FormatIndexed8, w, nullptr) || back != indices) {
            fprintf(stderr, "bench_images: the GIF encoder and decoder disagree\n");
            abort();
        }
        return gif;
    }
    }
}

void BM_Decode(benchmark::State& state) {
    int kind = int(state.range(0)), w = int(state.range(1)), h = w * 5 / 8;
    Bytes file = MakeFile(kind, w, h);
    std::vector<uint32_t> pixels(size_t(w) * h);
    for (auto _ : state) {
        MemoryImageSource source(file.data(), file.size());
        Image image(&source, kNames[kind]);
        if (!image.Open() || !image.Read(pixels.data(), FormatARGB32, w * 4, nullptr)) {
            state.SkipWithError("decoding failed");
            return;
        }
        benchmark::DoNotOptimize(pixels.data());
    }
    state.SetLabel(std::string(kNames[kind] + 6) + " " + std::to_string(file.size()) + " bytes");
    state.SetItemsProcessed(state.iterations() * w * h);
}

void BM_MedianCut(benchmark::State& state) {
    const int w = 320, h = 200;
    Bytes rgb = Photograph(w, h);
    uint8_t palette[768];
    Bytes indices(size_t(w) * h);
    for (auto _ : state) {
        int n = MedianCutPalette(rgb.data(), w, h, w * 3, palette, 256);
        QuantizeMap(rgb.data(), w, h, w * 3, palette, n, indices.data(), w);
        benchmark::DoNotOptimize(indices.data());
    }
    state.SetItemsProcessed(state.iterations() * w * h);
}

void BM_MedianCutPaletteOnly(benchmark::State& state) {
    const int w = 320, h = 200;
    Bytes rgb = Photograph(w, h);
    uint8_t palette[768];
    for (auto _ : state) benchmark::DoNotOptimize(MedianCutPalette(rgb.data(), w, h, w * 3, palette, 256));
    state.SetItemsProcessed(state.iterations() * w * h);
}

} // namespace

BENCHMARK(BM_Decode)
    ->ArgNames({"kind", "width"})
    ->ArgsProduct({{Bmp, Pcx, Gif, Tga, Png, Jpeg}, {320, 640}})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MedianCut)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MedianCutPaletteOnly)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
