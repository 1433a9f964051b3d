// zenkor-image: shows what the image reader makes of a file and decodes it to PNG or raw RGBA.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "files/output_file.h"
#include "images/image.h"
#include "images/png_writer.h"
#include "tools/support/tool.h"

static const char kUsage[] =
    "usage: zenkor-image info FILE\n"
    "       zenkor-image decode FILE OUT [--format rgb24|argb32|gray8|indexed8]\n"
    "\n"
    "info    prints KIND WIDTH HEIGHT FORMATS: the file kind (bmp pcx gif tga png jpeg),\n"
    "        the size and the decoder's native formats, comma-separated.\n"
    "decode  decodes FILE through the image reader in the format (default argb32) and writes\n"
    "        OUT: a .png file, or with OUT ending in .rgba raw red, green, blue, alpha bytes\n"
    "        for every pixel, top row first.\n"
    "        OUT appears whole or not at all (written as OUT.part beside it, then renamed).\n"
    "Targa files are recognised by the name ending in .tga.\n"
    "Exit status: 0 success, 1 failure, 2 usage error.\n";

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
    return ToolFail(std::string(message) + " '" + name + "'");
}

int FailOpen(const char* name) {
    return ToolFail(std::string("cannot open '") + name + "': " + strerror(errno));
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
    if (!in.file) return FailOpen(path);
    FileSource source(in.file);
    Image image(&source, path);
    if (!image.Open()) return Fail("cannot read the image header of", path);
    std::string names;
    for (int format = 0; format < 4; format++) {
        if (!image.Supports(format)) continue;
        if (!names.empty()) names += ',';
        names += ImageFormatName(format);
    }
    ToolPrintf("%s %d %d %s\n", ImageKindName(image.GetKind()), image.GetWidth(), image.GetHeight(), names.c_str());
    return 0;
}

int Decode(const char* path, const std::string& out, int format) {
    OpenFile in{fopen(path, "rb")};
    if (!in.file) return FailOpen(path);
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
    std::vector<uint8_t> png;
    if (EndsWith(out, ".png") && !PngEncode(png, rgba.data(), width, height, width * 4, PngRGBA))
        return Fail("cannot encode a PNG file of", path);
    const std::vector<uint8_t>& bytes = EndsWith(out, ".png") ? png : rgba;
    std::string error;
    if (!OutputFileSave(out, bytes.data(), bytes.size(), &error)) return ToolFail(error);
    return 0;
}

int Usage(const char* problem) {
    return ToolUsage(problem ? problem : "", kUsage);
}

bool IsOption(const std::string& arg) {
    return arg.size() > 1 && arg[0] == '-';
}

int Run(const std::vector<std::string>& args) {
    for (const std::string& arg : args) {
        if (arg == "--help" || arg == "-h") {
            fputs(kUsage, stdout);
            return 0;
        }
    }
    if (args.empty()) return Usage(nullptr);
    if (IsOption(args[0])) return Usage(("unknown option '" + args[0] + "'").c_str());
    if (args[0] == "info") {
        for (size_t i = 1; i < args.size(); i++)
            if (IsOption(args[i])) return Usage(("unknown option '" + args[i] + "'").c_str());
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
        } else if (IsOption(args[i])) {
            return Usage(("unknown option '" + args[i] + "'").c_str());
        } else {
            files.push_back(args[i]);
        }
    }
    if (files.size() != 2) return Usage("decode takes FILE and OUT");
    if (!EndsWith(files[1], ".png") && !EndsWith(files[1], ".rgba")) return Usage("OUT must end in .png or .rgba");
    return Decode(files[0].c_str(), files[1], format);
}

} // namespace

int main(int argc, char** argv) {
    ToolInit("zenkor-image");
    return ToolFinish(Run(std::vector<std::string>(argv + 1, argv + argc)));
}
