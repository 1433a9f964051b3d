// Picture loading through the archive file system. Main thread; no state of its own.
#include "host/picture.h"

#include <cstdlib>

#include "files/file_system.h"
#include "host/archive.h"
#include "host/fatal.h"
#include "images/image.h"

namespace {

// The image reader's input over an archive stream.
class StreamImageSource : public ImageSource {
public:
    explicit StreamImageSource(Stream* stream) : stream(stream) {}
    size_t Read(void* buffer, size_t count) override {
        return stream->Read(buffer, count > UINT32_MAX ? UINT32_MAX : uint32_t(count));
    }

private:
    Stream* stream;
};

// Opens name, reads its header and decodes it in format into a fresh std::malloc block of
// width * height * bytesPerPixel bytes. Every failure is fatal with the loaders' messages.
void* LoadPixels(const char* name, int format, uint32_t* width, uint32_t* height) {
    FileSystem* archive = HostFileSystem();
    Stream* stream = archive ? archive->Open(name, ReadOnly) : nullptr;
    if (!stream) FatalError("Can't open image '%s'!", name);
    StreamImageSource source(stream);
    void* pixels = nullptr;
    bool header = false, decoded = false;
    {
        Image image(&source, name);
        header = image.Open();
        if (header) {
            *width = uint32_t(image.GetWidth());
            *height = uint32_t(image.GetHeight());
            int rowBytes = image.GetWidth() * ImageFormatBytes(format);
            pixels = std::malloc(size_t(rowBytes) * *height);
            decoded = pixels && image.Read(pixels, format, rowBytes, nullptr);
        }
    }
    stream->Close();
    if (!header) FatalError("Can't read image header for '%s'!", name);
    if (!decoded) {
        std::free(pixels);
        FatalError("Can't decode image '%s'!", name);
    }
    return pixels;
}

bool IsPowerOfTwo(uint32_t v) { return (v & (v - 1)) == 0; }

} // namespace

bool BitmapLoad(Bitmap& bitmap, const char* name) {
    uint32_t width = 0, height = 0;
    void* pixels = LoadPixels(name, FormatARGB32, &width, &height);
    bitmap.pixels = static_cast<uint32_t*>(pixels);
    bitmap.width = width;
    bitmap.height = height;
    return true;
}

bool AlphaMapLoad(AlphaMap& map, const char* name) {
    uint32_t width = 0, height = 0;
    void* pixels = LoadPixels(name, FormatGray8, &width, &height);
    map.pixels = static_cast<uint8_t*>(pixels);
    map.width = width;
    map.height = height;
    return true;
}

void AlphaMapRelease(AlphaMap& map) {
    std::free(map.pixels);
    map = AlphaMap{};
}

bool BitmapLoadWithAlpha(Bitmap& bitmap, const char* colourName, const char* alphaName) {
    if (!BitmapLoad(bitmap, colourName)) return false;
    AlphaMap alpha{};
    if (!AlphaMapLoad(alpha, alphaName)) {
        BitmapRelease(bitmap);
        return false;
    }
    uint32_t rows = bitmap.height < alpha.height ? bitmap.height : alpha.height;
    uint32_t columns = bitmap.width < alpha.width ? bitmap.width : alpha.width;
    for (uint32_t y = 0; y < rows; y++) {
        uint32_t* row = bitmap.pixels + size_t(y) * bitmap.width;
        const uint8_t* a = alpha.pixels + size_t(y) * alpha.width;
        for (uint32_t x = 0; x < columns; x++) row[x] = (row[x] & 0x00FFFFFFu) | (uint32_t(a[x]) << 24);
    }
    AlphaMapRelease(alpha);
    return true;
}

bool TextureLoad(Texture& texture, const char* name) {
    BitmapLoad(texture, name);
    if (!IsPowerOfTwo(texture.width) || !IsPowerOfTwo(texture.height)) {
        BitmapRelease(texture);
        FatalError("Texture '%s' is non-pow2!", name);
    }
    texture.widthMask = int32_t(texture.width - 1);
    texture.heightMask = int32_t(texture.height - 1);
    texture.widthShift = uint32_t(__builtin_ctz(texture.width));
    return true;
}
