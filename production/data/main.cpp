// murova-data: writes the production's pictures, song, icon and contact sheet, and packs the
// archive. Run by the build; the same sources always give the same bytes.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "files/archive_writer.h"
#include "production/data/art.h"
#include "production/data/pictures.h"
#include "production/data/song.h"

namespace {

const char kUsage[] =
    "usage: murova-data --out DIR [--fonts DIR] [--contact-sheet FILE]\n"
    "  writes DIR/files/ (the 42 pictures and murova.xm), DIR/murova.pak (the archive,\n"
    "  compressed and enciphered) and DIR/murova-icon.bmp (32 x 32 window icon, 32-bit with alpha);\n"
    "  --contact-sheet also writes every picture scaled onto one PNG with its name.\n";

struct Bytes {
    std::vector<uint8_t> v;
    void U16(uint32_t x) { v.push_back(uint8_t(x)), v.push_back(uint8_t(x >> 8)); }
    void U32(uint32_t x) { U16(x & 0xFFFF), U16(x >> 16); }
    void Text(const char* s) { v.insert(v.end(), s, s + std::strlen(s)); }
};

bool WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

std::vector<uint8_t> ToRgba(const Canvas& c, const Mask* alpha)
{
    std::vector<uint8_t> out;
    out.reserve(c.pixels.size() * 4);
    for (size_t i = 0; i < c.pixels.size(); i++) {
        out.push_back(ToByte(c.pixels[i].r));
        out.push_back(ToByte(c.pixels[i].g));
        out.push_back(ToByte(c.pixels[i].b));
        out.push_back(alpha ? ToByte(alpha->values[i]) : 255);
    }
    return out;
}

// The window icon: a rose-to-amber disc with a dark "M" cut through it, as a 32-bit bitmap
// whose pixels are 0xAARRGGBB words (rows bottom-up, as bitmaps store them).
bool WriteIcon(const std::string& path)
{
    const int n = 32;
    Mask letter(n, n);
    TextDrawCentred(letter, FontSansBold, 22, n / 2, 24, "M");
    Bytes bmp;
    bmp.Text("BM");
    bmp.U32(54 + n * n * 4);
    bmp.U32(0);
    bmp.U32(54);
    bmp.U32(40);
    bmp.U32(n);
    bmp.U32(n);
    bmp.U16(1);
    bmp.U16(32);
    for (int i = 0; i < 6; i++)
        bmp.U32(0);
    for (int y = n - 1; y >= 0; y--)
        for (int x = 0; x < n; x++) {
            float dx = float(x) + 0.5f - 16, dy = float(y) + 0.5f - 16;
            float alpha = Clamp01(15.5f - std::sqrt(dx * dx + dy * dy));
            Rgb c = Mix(Dusk(0.9f - float(y) / 80.0f), Dusk(0.1f), letter.At(x, y));
            bmp.U32(uint32_t(ToByte(alpha)) << 24 | uint32_t(ToByte(c.r)) << 16 | uint32_t(ToByte(c.g)) << 8 |
                    ToByte(c.b));
        }
    return WriteBytes(path, bmp.v);
}

// Scales a picture to fit a w x h box by averaging the source pixels under each target pixel.
Canvas Fit(const Canvas& src, int w, int h)
{
    float scale = std::min(float(w) / float(src.width), float(h) / float(src.height));
    int tw = std::max(1, int(float(src.width) * scale)), th = std::max(1, int(float(src.height) * scale));
    Canvas out(tw, th);
    for (int y = 0; y < th; y++)
        for (int x = 0; x < tw; x++) {
            int x0 = x * src.width / tw, x1 = std::max(x0 + 1, (x + 1) * src.width / tw);
            int y0 = y * src.height / th, y1 = std::max(y0 + 1, (y + 1) * src.height / th);
            Rgb sum;
            for (int sy = y0; sy < y1; sy++)
                for (int sx = x0; sx < x1; sx++)
                    sum = sum + src.At(sx, sy);
            out.At(x, y) = sum * (1.0f / float((x1 - x0) * (y1 - y0)));
        }
    return out;
}

bool WriteContactSheet(const std::string& path, const std::vector<PicturePreview>& previews)
{
    const int columns = 7, cellW = 170, cellH = 150, boxW = 160, boxH = 120;
    int rows = int((previews.size() + columns - 1) / columns);
    Canvas sheet(columns * cellW, rows * cellH);
    for (Rgb& p : sheet.pixels)
        p = Rgb{0.16f, 0.16f, 0.18f};
    Mask labels(sheet.width, sheet.height);
    for (size_t i = 0; i < previews.size(); i++) {
        int cx = int(i % columns) * cellW, cy = int(i / columns) * cellH;
        const Canvas& pic = previews[i].picture;
        Canvas thumb = Fit(pic, boxW, boxH);
        int ox = cx + (cellW - thumb.width) / 2, oy = cy + 5 + (boxH - thumb.height) / 2;
        for (int y = 0; y < thumb.height; y++)
            for (int x = 0; x < thumb.width; x++)
                sheet.At(ox + x, oy + y) = thumb.At(x, y);
        std::string label =
            previews[i].name + "  " + std::to_string(pic.width) + "x" + std::to_string(pic.height);
        TextDrawCentred(labels, FontSans, 11, cx + cellW / 2, cy + boxH + 20, label);
    }
    Fill(sheet, labels, Rgb{0.92f, 0.92f, 0.92f});
    return WritePngRgba(path, ToRgba(sheet, nullptr), sheet.width, sheet.height);
}

int Fail(const std::string& what)
{
    std::fprintf(stderr, "murova-data: %s\n", what.c_str());
    return 1;
}

} // namespace

int main(int argc, char** argv)
{
    std::string out, fonts = "/usr/share/fonts/truetype/dejavu", sheet;
    for (int i = 1; i < argc; i++) {
        std::string a = argv[i];
        if (a == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if ((a == "--out" || a == "--fonts" || a == "--contact-sheet") && i + 1 < argc) {
            std::string& target = a == "--out" ? out : a == "--fonts" ? fonts : sheet;
            target = argv[++i];
            continue;
        }
        std::fputs(kUsage, stderr);
        return 2;
    }
    if (out.empty()) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    std::error_code ec;
    std::string files = out + "/files";
    std::filesystem::remove_all(files, ec);
    std::filesystem::create_directories(files, ec);
    if (ec)
        return Fail("cannot create " + files);
    if (!TextInit(fonts))
        return Fail("cannot load the DejaVu fonts from " + fonts);
    std::vector<PicturePreview> previews;
    if (!PicturesWrite(files, sheet.empty() ? nullptr : &previews))
        return Fail("cannot write the pictures");
    if (!WriteBytes(files + "/murova.xm", XmWrite(SongCompose())))
        return Fail("cannot write murova.xm");
    if (!WriteIcon(out + "/murova-icon.bmp"))
        return Fail("cannot write the icon");
    if (!sheet.empty() && !WriteContactSheet(sheet, previews))
        return Fail("cannot write " + sheet);
    TextShutdown();
    std::string error;
    ArchiveOptions options;
    options.compress = true;
    options.encipher = true;
    if (!ArchiveWriteTree(files, out + "/murova.pak", options, &error))
        return Fail("cannot pack the archive: " + error);
    std::printf("%s/murova.pak\n", out.c_str());
    return 0;
}
