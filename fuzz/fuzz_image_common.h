// Shared body of the image fuzz targets: the input, with the kind's signature forced on it,
// goes through the Image reader, which opens it and reads it in every format.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "images/image.h"

// Bigger pictures are valid but only slow the search down.
constexpr int64_t kFuzzMaxPixels = int64_t(1) << 18;
constexpr int64_t kFuzzMaxQuantizedPixels = int64_t(1) << 14;

inline void FuzzImageRead(const std::vector<uint8_t>& data, const char* name, int format) {
    MemoryImageSource source(data.data(), data.size());
    Image image(&source, name);
    if (!image.Open()) return;
    int64_t pixels = int64_t(image.GetWidth()) * image.GetHeight();
    if (pixels > kFuzzMaxPixels) return;
    // The quantiser is slow on big pictures; only small ones are converted to indices.
    if (format == FormatIndexed8 && !image.Supports(format) && pixels > kFuzzMaxQuantizedPixels) return;
    int stride = image.GetWidth() * ImageFormatBytes(format);
    std::unique_ptr<uint8_t[]> out(new uint8_t[size_t(stride) * image.GetHeight()]);
    uint8_t palette[kImagePaletteBytes];
    image.Read(out.get(), format, stride, palette);
}

inline int FuzzImage(const uint8_t* bytes, size_t size, const uint8_t* signature, size_t signatureLength,
                     const char* name) {
    std::vector<uint8_t> data(bytes, bytes + size);
    if (data.size() < signatureLength) data.resize(signatureLength);
    if (signatureLength) memcpy(data.data(), signature, signatureLength);
    for (int format = 0; format < 4; format++) FuzzImageRead(data, name, format);
    return 0;
}
