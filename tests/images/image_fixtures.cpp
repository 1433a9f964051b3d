#include "image_fixtures.h"

#include <algorithm>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

Decoded DecodeBytes(const Bytes& data, const char* name, int format) {
    Decoded d;
    MemoryImageSource source(data.data(), data.size());
    Image image(&source, name);
    d.opened = image.Open();
    if (!d.opened) return d;
    d.width = image.GetWidth();
    d.height = image.GetHeight();
    int bytes = ImageFormatBytes(format);
    d.pixels.assign(size_t(d.width) * d.height * bytes, 0xCD);
    d.read = image.Read(d.pixels.data(), format, d.width * bytes, d.palette);
    return d;
}

Bytes ToRgba(const Bytes& pixels, int format, const uint8_t* palette) {
    int bytes = ImageFormatBytes(format);
    size_t count = pixels.size() / bytes;
    Bytes rgba(count * 4);
    for (size_t i = 0; i < count; i++) {
        const uint8_t* s = &pixels[i * bytes];
        uint8_t* d = &rgba[i * 4];
        switch (format) {
        case FormatRGB24: d[0] = s[0], d[1] = s[1], d[2] = s[2], d[3] = 255; break;
        case FormatARGB32: d[0] = s[2], d[1] = s[1], d[2] = s[0], d[3] = s[3]; break;
        case FormatGray8: d[0] = d[1] = d[2] = s[0], d[3] = 255; break;
        default: memcpy(d, palette + s[0] * 3, 3), d[3] = 255; break;
        }
    }
    return rgba;
}

Bytes ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFileBytes(const std::string& path, const Bytes& data) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
}

TempDir::TempDir() {
    std::random_device random;
    auto base = std::filesystem::temp_directory_path();
    for (;;) {
        auto candidate = base / ("zenkor-images-" + std::to_string(random()));
        if (std::filesystem::create_directory(candidate)) {
            path = candidate.string();
            return;
        }
    }
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
}

bool HaveConvert() {
    static int have = -1;
    if (have < 0) have = std::system("convert -version >/dev/null 2>&1") == 0;
    return have == 1;
}

bool RunConvert(const std::string& arguments) {
    std::string command = "convert " + arguments + " >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

bool ReferenceRgba(const std::string& file, Bytes& rgba) {
    std::string out = file + ".ref.rgba";
    // A Targa file needs its kind named; the others are recognised by ImageMagick itself. Its raw
    // output keeps a Targa's stored row order, so have it put the rows the way the file says.
    bool tga = file.size() > 4 && file.compare(file.size() - 4, 4, ".tga") == 0;
    std::string arguments = tga ? "'tga:" : "'";
    arguments += file;
    arguments += tga ? "' -auto-orient" : "'";
    arguments += " -depth 8 'rgba:";
    arguments += out;
    arguments += "'";
    if (!RunConvert(arguments)) return false;
    rgba = ReadFileBytes(out);
    return !rgba.empty();
}

Bytes TestPicture(int w, int h, bool withAlpha) {
    Bytes rgba(size_t(w) * h * 4);
    for (int y = 0; y < h; y++) {
        for (int x = 0; x < w; x++) {
            uint8_t* p = &rgba[(size_t(y) * w + x) * 4];
            p[0] = uint8_t(x * 255 / (w - 1));
            p[1] = uint8_t(y * 255 / (h - 1));
            p[2] = uint8_t((x + y) % 3 == 0 ? 255 : (x * y) & 0xFF);
            if ((x / 8 + y / 8) % 2) p[0] = 255 - p[0];
            p[3] = withAlpha ? uint8_t((x * 7 + y * 13) & 0xFF) : 255;
        }
    }
    return rgba;
}

void WritePam(const std::string& path, const Bytes& rgba, int w, int h) {
    std::string header = "P7\nWIDTH " + std::to_string(w) + "\nHEIGHT " + std::to_string(h) +
                         "\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n";
    Bytes data(header.begin(), header.end());
    Append(data, rgba);
    WriteFileBytes(path, data);
}

void Append(Bytes& to, const Bytes& more) { to.insert(to.end(), more.begin(), more.end()); }

void AppendU16(Bytes& to, int v) {
    to.push_back(uint8_t(v));
    to.push_back(uint8_t(v >> 8));
}

void AppendU32(Bytes& to, uint32_t v) {
    for (int i = 0; i < 4; i++) to.push_back(uint8_t(v >> (8 * i)));
}

Bytes MakeGif(int w, int h, const Bytes& indices, int colours, bool interlaced, int transparentIndex) {
    int tableBits = 0;
    while ((2 << tableBits) < colours) tableBits++;
    Bytes gif = {'G', 'I', 'F', '8', '9', 'a'};
    AppendU16(gif, w);
    AppendU16(gif, h);
    gif.push_back(uint8_t(0x80 | tableBits));
    gif.push_back(0);
    gif.push_back(0);
    for (int i = 0; i < (2 << tableBits); i++) {
        gif.push_back(uint8_t(i * 40));
        gif.push_back(uint8_t(255 - i * 20));
        gif.push_back(uint8_t(i * 7 + 3));
    }
    if (transparentIndex >= 0) Append(gif, {0x21, 0xF9, 4, 1, 0, 0, uint8_t(transparentIndex), 0});
    gif.push_back(0x2C);
    AppendU16(gif, 0);
    AppendU16(gif, 0);
    AppendU16(gif, w);
    AppendU16(gif, h);
    gif.push_back(interlaced ? 0x40 : 0);
    int minimum = std::max(2, tableBits + 1);
    gif.push_back(uint8_t(minimum));

    // Literal codes only, a clear code before the table would make the codes one bit wider.
    int clear = 1 << minimum, codeBits = minimum + 1;
    Bytes packed;
    uint32_t bits = 0;
    int bitCount = 0;
    auto put = [&](int code) {
        bits |= uint32_t(code) << bitCount;
        for (bitCount += codeBits; bitCount >= 8; bitCount -= 8, bits >>= 8) packed.push_back(uint8_t(bits));
    };
    int sinceClear = 0;
    put(clear);
    for (uint8_t index : indices) {
        if (sinceClear == clear - 2) put(clear), sinceClear = 0;
        put(index);
        sinceClear++;
    }
    put(clear + 1);
    if (bitCount) packed.push_back(uint8_t(bits));
    for (size_t at = 0; at < packed.size(); at += 255) {
        size_t n = std::min<size_t>(255, packed.size() - at);
        gif.push_back(uint8_t(n));
        gif.insert(gif.end(), packed.begin() + at, packed.begin() + at + n);
    }
    gif.push_back(0);
    gif.push_back(0x3B);
    return gif;
}

Bytes TgaHeader(int type, int mapType, int mapLength, int mapBits, int w, int h, int depth, int descriptor) {
    Bytes t = {0, uint8_t(mapType), uint8_t(type), 0, 0};
    AppendU16(t, mapLength);
    t.push_back(uint8_t(mapBits));
    AppendU16(t, 0);
    AppendU16(t, 0);
    AppendU16(t, w);
    AppendU16(t, h);
    t.push_back(uint8_t(depth));
    t.push_back(uint8_t(descriptor));
    return t;
}

Bytes MakeBmp(int w, int h, int depth, uint32_t coloursUsed, const Bytes& palette, const Bytes& data) {
    Bytes b = {'B', 'M'};
    uint32_t offset = 14 + 40 + uint32_t(palette.size());
    AppendU32(b, offset + uint32_t(data.size()));
    AppendU32(b, 0);
    AppendU32(b, offset);
    AppendU32(b, 40);
    AppendU32(b, uint32_t(w));
    AppendU32(b, uint32_t(h));
    AppendU16(b, 1);
    AppendU16(b, depth);
    AppendU32(b, 0);
    AppendU32(b, uint32_t(data.size()));
    AppendU32(b, 2835);
    AppendU32(b, 2835);
    AppendU32(b, coloursUsed);
    AppendU32(b, 0);
    Append(b, palette);
    Append(b, data);
    return b;
}

Bytes PcxHeader(int w, int h, int planes, int bytesPerLine) {
    Bytes p(128, 0);
    p[0] = 10, p[1] = 5, p[2] = 1, p[3] = 8;
    p[8] = uint8_t(w - 1), p[9] = uint8_t((w - 1) >> 8);
    p[10] = uint8_t(h - 1), p[11] = uint8_t((h - 1) >> 8);
    p[65] = uint8_t(planes);
    p[66] = uint8_t(bytesPerLine), p[67] = uint8_t(bytesPerLine >> 8);
    return p;
}
