// Each decoder against ImageMagick: a test picture is written by convert in a given kind and
// variant, then decoded here and by convert, and the two compared pixel by pixel.
#include <gtest/gtest.h>

#include <cstdlib>

#include "image_fixtures.h"

namespace {

struct ReferenceCase {
    const char* label;
    const char* file;      // file name to write (its extension picks the kind for the reader)
    const char* options;   // convert options placed before the output
    const char* output;    // ImageMagick output argument; "%s" is the file's path
    int kind;
    const char* formats;   // native formats as "rgb24,argb32,..."
    bool sourceAlpha;      // the test picture carries alpha
    int tolerance;         // largest allowed difference per colour channel
};

const ReferenceCase kCases[] = {
    {"Bmp24", "p.bmp", "-alpha off -type TrueColor", "BMP3:%s", KindBmp, "rgb24", false, 0},
    {"Bmp8", "p.bmp", "-alpha off -colors 50 -type Palette -compress None", "BMP3:%s", KindBmp, "indexed8", false, 0},
    {"BmpOs2", "p.bmp", "-alpha off -type TrueColor", "BMP2:%s", KindBmp, "rgb24", false, 0},
    {"Pcx24", "p.pcx", "-alpha off -type TrueColor", "PCX:%s", KindPcx, "rgb24", false, 0},
    {"Pcx8", "p.pcx", "-alpha off -colors 60 -type Palette", "PCX:%s", KindPcx, "indexed8", false, 0},
    {"Gif", "p.gif", "-alpha off -colors 100", "GIF:%s", KindGif, "indexed8", false, 0},
    {"GifInterlaced", "p.gif", "-alpha off -colors 30 -interlace GIF", "GIF:%s", KindGif, "indexed8", false, 0},
    {"GifTransparent", "p.gif", "-channel A -threshold 50% +channel -colors 40", "GIF:%s", KindGif,
     "argb32,indexed8", true, 0},
    {"Tga24", "p.tga", "-alpha off -type TrueColor", "TGA:%s", KindTga, "rgb24", false, 0},
    {"Tga24Rle", "p.tga", "-alpha off -type TrueColor -compress RLE", "TGA:%s", KindTga, "rgb24", false, 0},
    {"Tga32", "p.tga", "-type TrueColorAlpha", "TGA:%s", KindTga, "argb32", true, 0},
    {"Tga32Rle", "p.tga", "-type TrueColorAlpha -compress RLE", "TGA:%s", KindTga, "argb32", true, 0},
    {"TgaGray", "p.tga", "-alpha off -type Grayscale", "TGA:%s", KindTga, "gray8", false, 0},
    {"TgaPalette", "p.tga", "-alpha off -colors 70 -type Palette", "TGA:%s", KindTga, "indexed8", false, 0},
    {"TgaPaletteRle", "p.tga", "-alpha off -colors 70 -type Palette -compress RLE", "TGA:%s", KindTga, "indexed8",
     false, 0},
    {"PngRgb", "p.png", "-alpha off", "PNG24:%s", KindPng, "rgb24", false, 0},
    {"PngRgba", "p.png", "", "PNG32:%s", KindPng, "argb32", true, 0},
    {"PngRgb16", "p.png", "-alpha off", "PNG48:%s", KindPng, "rgb24", false, 0},
    {"PngRgba16", "p.png", "", "PNG64:%s", KindPng, "argb32", true, 0},
    {"PngGray", "p.png", "-alpha off -type Grayscale -depth 8", "PNG:%s", KindPng, "gray8", false, 0},
    {"PngGray2", "p.png", "-alpha off -type Grayscale -depth 2", "PNG:%s", KindPng, "gray8", false, 0},
    {"PngGrayAlpha", "p.png", "-type GrayscaleAlpha -depth 8", "PNG:%s", KindPng, "argb32", true, 0},
    {"PngPalette", "p.png", "-alpha off -colors 90", "PNG8:%s", KindPng, "indexed8", false, 0},
    {"PngPalette4", "p.png", "-alpha off -colors 12 -define png:bit-depth=4", "PNG8:%s", KindPng, "indexed8",
     false, 0},
    {"PngPaletteAlpha", "p.png", "-channel A -threshold 50% +channel -colors 40", "PNG8:%s", KindPng, "argb32",
     true, 0},
    {"PngInterlaced", "p.png", "-interlace PNG", "PNG32:%s", KindPng, "argb32", true, 0},
    {"Jpeg", "p.jpg", "-alpha off -quality 90", "JPEG:%s", KindJpeg, "rgb24,argb32", false, 1},
    {"JpegSubsampled", "p.jpg", "-alpha off -quality 75 -sampling-factor 2x2", "JPEG:%s", KindJpeg,
     "rgb24,argb32", false, 1},
    {"JpegProgressive", "p.jpg", "-alpha off -quality 80 -interlace JPEG", "JPEG:%s", KindJpeg, "rgb24,argb32",
     false, 1},
    {"JpegGray", "p.jpg", "-alpha off -colorspace Gray -quality 85", "JPEG:%s", KindJpeg, "gray8", false, 1},
};

std::string FormatList(Image& image) {
    std::string names;
    for (int format = 0; format < 4; format++) {
        if (!image.Supports(format)) continue;
        if (!names.empty()) names += ',';
        names += ImageFormatName(format);
    }
    return names;
}

void PrintTo(const ReferenceCase& c, std::ostream* out) { *out << c.label; }

class ReferenceTest : public testing::TestWithParam<ReferenceCase> {};

TEST_P(ReferenceTest, DecodesAsImageMagickDoes) {
    const ReferenceCase& c = GetParam();
    if (!HaveConvert()) GTEST_SKIP() << "ImageMagick's convert is not installed";
    TempDir dir;
    const int w = 37, h = 29;
    WritePam(dir.Path("source.pam"), TestPicture(w, h, c.sourceAlpha), w, h);
    std::string file = dir.Path(c.file);
    char output[512];
    snprintf(output, sizeof output, c.output, file.c_str());
    std::string arguments = "'";
    arguments += dir.Path("source.pam");
    arguments += "' ";
    arguments += c.options;
    arguments += " '";
    arguments += output;
    arguments += "'";
    ASSERT_TRUE(RunConvert(arguments));
    Bytes reference;
    ASSERT_TRUE(ReferenceRgba(file, reference));
    ASSERT_EQ(reference.size(), size_t(w) * h * 4);

    Bytes data = ReadFileBytes(file);
    MemoryImageSource source(data.data(), data.size());
    Image image(&source, c.file);
    EXPECT_EQ(image.GetKind(), c.kind);
    ASSERT_TRUE(image.Open());
    EXPECT_EQ(image.GetWidth(), w);
    EXPECT_EQ(image.GetHeight(), h);
    EXPECT_EQ(FormatList(image), c.formats);

    Decoded d = DecodeBytes(data, c.file, FormatARGB32);
    ASSERT_TRUE(d.read);
    Bytes mine = ToRgba(d.pixels, FormatARGB32, nullptr);
    int worst = 0, alphaMismatches = 0;
    for (size_t i = 0; i < mine.size(); i += 4) {
        if (mine[i + 3] != reference[i + 3]) alphaMismatches++;
        // Colour under a fully transparent pixel is not defined the same way by every writer.
        if (reference[i + 3] == 0) continue;
        for (int k = 0; k < 3; k++) worst = std::max(worst, std::abs(mine[i + k] - reference[i + k]));
    }
    EXPECT_EQ(alphaMismatches, 0);
    EXPECT_LE(worst, c.tolerance);
}

INSTANTIATE_TEST_SUITE_P(Kinds, ReferenceTest, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<ReferenceCase>& info) { return info.param.label; });

} // namespace
