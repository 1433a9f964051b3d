// Image reader: file-kind sniffing, decoder selection and pixel-format conversion.
// Everything here runs on the thread that loads pictures (the main thread in the demo).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Pixel format codes; the numbers are part of the interface.
enum ImageFormat : int {
    FormatRGB24 = 0,    // 3 bytes: red, green, blue
    FormatARGB32 = 1,   // little-endian 0xAARRGGBB (bytes blue, green, red, alpha); 255 = opaque
    FormatGray8 = 2,    // 1 byte of grey or of any single channel
    FormatIndexed8 = 3, // 1 byte index into a 768-byte palette of red, green, blue entries
};

// File kinds as sniffed from the first 16 bytes (Targa by its name).
enum ImageKind : int {
    KindBmp = 0,
    KindJpeg = 1,
    KindPcx = 2,
    KindGif = 3,
    KindTga = 4,
    KindPng = 5,
    KindUnknown = 6,
};

constexpr int kImagePaletteBytes = 768;
// Largest picture any decoder accepts: keeps width × height × 4 within 32 bits.
constexpr int kImageMaxSide = 65535;
constexpr int64_t kImageMaxPixels = int64_t(1) << 28;

// Bytes per pixel of a format code; 0 for an unknown code.
int ImageFormatBytes(int format);
// Lower-case name of a format code ("rgb24", "argb32", "gray8", "indexed8"); null if unknown.
const char* ImageFormatName(int format);
// Format code of a name as ImageFormatName gives it; -1 if unknown.
int ImageFormatFromName(const char* name);
// Lower-case name of a kind ("bmp", "jpeg", "pcx", "gif", "tga", "png"); null for KindUnknown.
const char* ImageKindName(int kind);
// True when both sides are 1..kImageMaxSide and the pixel count is within kImageMaxPixels.
bool ImageSizeValid(int64_t width, int64_t height);

// The one operation image reading pulls bytes from.
class ImageSource {
public:
    virtual ~ImageSource() = default;
    // Copies up to count bytes into buffer; returns the number delivered, 0 at the end.
    virtual size_t Read(void* buffer, size_t count) = 0;
};

// An ImageSource over a block of memory (not owned).
class MemoryImageSource : public ImageSource {
public:
    MemoryImageSource(const void* data, size_t size);
    size_t Read(void* buffer, size_t count) override;

private:
    const uint8_t* data;
    size_t size;
    size_t position = 0;
};

// Reads ahead of the decoder, keeps the file's first bytes for it and sniffs the kind.
class PeekStream : public ImageSource {
public:
    static constexpr size_t kBufferSize = 4096;
    static constexpr size_t kSniffBytes = 16;

    // Reads 16 bytes of input and sniffs them; name (may be null) recognises Targa files.
    PeekStream(ImageSource* input, const char* name);
    size_t Read(void* buffer, size_t count) override;
    int GetKind() const { return kind; }
    bool AtEnd() const { return atEnd; }

private:
    ImageSource* input; // not owned
    uint8_t buffer[kBufferSize];
    size_t start = 0; // first held byte
    size_t held = 0;
    int kind = KindUnknown;
    bool atEnd = false;
};

// Abstract decoder. Open reads the header; Read decodes the whole picture once.
class ImageCodec {
public:
    explicit ImageCodec(ImageSource* source);
    ImageCodec(const ImageCodec&) = delete;
    ImageCodec& operator=(const ImageCodec&) = delete;

    // Reads and checks the header; sets width, height and the native formats.
    virtual bool Open() = 0;
    virtual int GetWidth();
    virtual int GetHeight();
    // Replaces list with the native formats; returns their count.
    virtual int GetFormats(std::vector<int>& list);
    // Whether format is one of the native formats.
    virtual bool Supports(int format);
    // Decodes the picture into dst (rows stride bytes apart, top row first). palette: 768
    // bytes filled for FormatIndexed8 (may be null when the caller does not want it).
    virtual bool Read(void* dst, int format, int stride, uint8_t* palette) = 0;
    virtual ~ImageCodec();

protected:
    void AddFormat(int format);
    // Opened, native format, stride holds a row: the checks every Read starts with.
    bool CanRead(const void* dst, int format, int stride);

    ImageSource* source; // not owned
    bool opened = false;
    int width = 0;
    int height = 0;
    std::vector<int> formats;
};

// The reader: sniffs the kind, creates the decoder and converts between formats.
class Image : public ImageCodec {
public:
    // Creates the PeekStream over source (not owned), which sniffs the kind.
    Image(ImageSource* source, const char* name);
    ~Image() override;

    // Creates the decoder for the sniffed kind and opens it; false for an unknown kind.
    bool Open() override;
    int GetWidth() override;
    int GetHeight() override;
    int GetFormats(std::vector<int>& list) override;
    bool Supports(int format) override;
    // Decodes in format, natively or by conversion from a native format.
    bool Read(void* dst, int format, int stride, uint8_t* palette) override;
    int GetKind() const { return peek.GetKind(); }

private:
    PeekStream peek;
    ImageCodec* decoder = nullptr;
};

// Converts a tightly packed picture from one format to another into dst at dstStride.
// Indexed8 sources need their palette; an Indexed8 destination gets dstPalette filled.
// False when the pair is not one of the supported conversions.
bool ImageConvert(const uint8_t* src, int srcFormat, const uint8_t* srcPalette, int width,
                  int height, uint8_t* dst, int dstFormat, int dstStride, uint8_t* dstPalette);
