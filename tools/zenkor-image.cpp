// zenkor-image: shows what the image reader makes of a file and decodes it to PNG or raw RGBA.
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "images/image.h"
#include "images/png_writer.h"

static const char kUsage[] =
    "usage: zenkor-image info FILE\n"
    "       zenkor-image decode FILE OUT [--format rgb24|argb32|gray8|indexed8]\n"
    "\n"
    "info    prints KIND WIDTH HEIGHT FORMATS: the file kind (bmp pcx gif tga png jpeg),\n"
    "        the size and the decoder's native formats, comma-separated.\n"
    "decode  decodes FILE through the image reader in the format (default argb32) and writes\n"
    "        OUT: a .png file, or with OUT ending in .rgba raw red, green, blue, alpha bytes\n"
    "        for every pixel, top row first.\n"
    "Targa files are recognised by the name ending in .tga.\n";

namespace {

class FileSource : public ImageSource {
public:
    explicit FileSource(FILE* file) : file(file) {}
    size_t Read(void* buffer, size_t count) override { return fread(buffer, 1, count, file); }

private:
    FILE* file;
};

bool EndsWith(const std::string& text, const char* tail) {
    size_t n = strlen(tail);
    return text.size() >= n && text.compare(text.size() - n, n, tail) == 0;
}

int Fail(const char* message, const char* name) {
    fprintf(stderr, "zenkor-image: %s '%s'\n", message, name);
    return 1;
}

// Expands one decoded picture to RGBA bytes.
std::vector<uint8_t> ToRgba(const std::vector<uint8_t>& pixels, int format, const uint8_t* palette, size_t count) {
    std::vector<uint8_t> rgba(count * 4);
    for (size_t i = 0; i < count; i++) {
        uint8_t* d = &rgba[i * 4];
        const uint8_t* s = &pixels[i * ImageFormatBytes(format)];
        switch (format) {
        case FormatRGB24: d[0] = s[0], d[1] = s[1], d[2] = s[2], d[3] = 255; break;
        case FormatARGB32: d[0] = s[2], d[1] = s[1], d[2] = s[0], d[3] = s[3]; break;
        case FormatGray8: d[0] = d[1] = d[2] = s[0], d[3] = 255; break;
        default: memcpy(d, palette + s[0] * 3, 3), d[3] = 255; break;
        }
    }
    return rgba;
}

struct OpenFile {
    FILE* file = nullptr;
    ~OpenFile() {
        if (file) fclose(file);
    }
};

int Info(const char* path) {
    OpenFile in{fopen(path, "rb")};
    if (!in.file) return Fail("cannot open", path);
    FileSource source(in.file);
    Image image(&source, path);
    if (!image.Open()) return Fail("cannot read the image header of", path);
    std::string names;
    for (int format = 0; format < 4; format++) {
        if (!image.Supports(format)) continue;
        if (!names.empty()) names += ',';
        names += ImageFormatName(format);
    }
    printf("%s %d %d %s\n", ImageKindName(image.GetKind()), image.GetWidth(), image.GetHeight(), names.c_str());
    return 0;
}

int Decode(const char* path, const std::string& out, int format) {
    OpenFile in{fopen(path, "rb")};
    if (!in.file) return Fail("cannot open", path);
    FileSource source(in.file);
    Image image(&source, path);
    if (!image.Open()) return Fail("cannot read the image header of", path);
    int width = image.GetWidth(), height = image.GetHeight();
    size_t count = size_t(width) * size_t(height);
    std::vector<uint8_t> pixels(count * ImageFormatBytes(format));
    uint8_t palette[kImagePaletteBytes] = {};
    if (!image.Read(pixels.data(), format, width * ImageFormatBytes(format), palette))
        return Fail("cannot decode", path);
    std::vector<uint8_t> rgba = ToRgba(pixels, format, palette, count);
    if (EndsWith(out, ".png")) {
        if (!PngWrite(out.c_str(), rgba.data(), width, height, width * 4, PngRGBA))
            return Fail("cannot write", out.c_str());
        return 0;
    }
    OpenFile file{fopen(out.c_str(), "wb")};
    if (!file.file || fwrite(rgba.data(), 1, rgba.size(), file.file) != rgba.size())
        return Fail("cannot write", out.c_str());
    if (fclose(file.file) != 0) {
        file.file = nullptr;
        return Fail("cannot write", out.c_str());
    }
    file.file = nullptr;
    return 0;
}

int Usage(const char* problem) {
    if (problem) fprintf(stderr, "zenkor-image: %s\n", problem);
    fputs(kUsage, stderr);
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    for (const std::string& arg : args) {
        if (arg == "--help" || arg == "-h") {
            fputs(kUsage, stdout);
            return 0;
        }
    }
    if (args.empty()) return Usage(nullptr);
    if (args[0] == "info") {
        if (args.size() != 2) return Usage("info takes one FILE");
        return Info(args[1].c_str());
    }
    if (args[0] != "decode") return Usage(("unknown command '" + args[0] + "'").c_str());
    int format = FormatARGB32;
    std::vector<std::string> files;
    for (size_t i = 1; i < args.size(); i++) {
        if (args[i] == "--format") {
            if (i + 1 == args.size()) return Usage("--format needs a value");
            format = ImageFormatFromName(args[++i].c_str());
            if (format < 0) return Usage(("unknown format '" + args[i] + "'").c_str());
        } else if (args[i].rfind("--format=", 0) == 0) {
            format = ImageFormatFromName(args[i].c_str() + 9);
            if (format < 0) return Usage(("unknown format '" + args[i].substr(9) + "'").c_str());
        } else {
            files.push_back(args[i]);
        }
    }
    if (files.size() != 2) return Usage("decode takes FILE and OUT");
    if (!EndsWith(files[1], ".png") && !EndsWith(files[1], ".rgba")) return Usage("OUT must end in .png or .rgba");
    return Decode(files[0].c_str(), files[1], format);
}
