#include "display/present.h"

#include <cstring>

static bool TakeSmallestMode(const VideoMode* modes, int32_t count, int32_t depth, int32_t frameWidth,
                             int32_t frameHeight, VideoMode* chosen)
{
    // 64-bit areas: a 32-bit product of a huge mode would wrap and look small.
    int64_t bestArea = 2147483647;
    bool taken = false;
    for (int32_t i = 0; i < count; i++) {
        const VideoMode& m = modes[i];
        if (m.depth != depth || m.width < frameWidth || m.height < frameHeight)
            continue;
        int64_t area = int64_t(m.width) * int64_t(m.height);
        if (area < bestArea) {
            bestArea = area;
            *chosen = m;
            taken = true;
        }
    }
    return taken;
}

bool ChooseDisplayMode(const VideoMode* modes, int32_t count, int32_t frameWidth, int32_t frameHeight,
                       VideoMode* chosen)
{
    if (!modes || count <= 0 || frameWidth <= 0 || frameHeight <= 0)
        return false;
    return TakeSmallestMode(modes, count, 32, frameWidth, frameHeight, chosen) ||
           TakeSmallestMode(modes, count, 16, frameWidth, frameHeight, chosen);
}

int32_t PresentDoubling(int32_t frameWidth, int32_t frameHeight, int32_t modeWidth, int32_t modeHeight)
{
    return int64_t(modeWidth) >= 2 * int64_t(frameWidth) && int64_t(modeHeight) >= 2 * int64_t(frameHeight) ? 1 : 0;
}

static void CopyRows32(const uint32_t* frame, int32_t w, int32_t h, uint8_t* dst, int32_t pitch)
{
    for (int32_t y = 0; y < h; y++, dst += pitch)
        std::memcpy(dst, frame + size_t(y) * size_t(w), size_t(w) * 4);
}

static void CopyRowsDoubled32(const uint32_t* frame, int32_t w, int32_t h, uint8_t* dst, int32_t pitch)
{
    for (int32_t y = 0; y < h; y++) {
        const uint32_t* src = frame + size_t(y) * size_t(w);
        uint32_t* out = reinterpret_cast<uint32_t*>(dst);
        for (int32_t x = 0; x < w; x++) {
            out[2 * x] = src[x];
            out[2 * x + 1] = src[x];
        }
        std::memcpy(dst + pitch, dst, size_t(w) * 8);
        dst += 2 * pitch;
    }
}

static void CopyRows16(const uint32_t* frame, int32_t w, int32_t h, uint8_t* dst, int32_t pitch, bool is565)
{
    for (int32_t y = 0; y < h; y++, dst += pitch) {
        const uint32_t* src = frame + size_t(y) * size_t(w);
        uint16_t* out = reinterpret_cast<uint16_t*>(dst);
        if (is565) {
            for (int32_t x = 0; x < w; x++)
                out[x] = PixelTo565(src[x]);
        } else {
            for (int32_t x = 0; x < w; x++)
                out[x] = PixelTo555(src[x]);
        }
    }
}

bool PresentCopyFullScreen(const uint32_t* frame, int32_t frameWidth, int32_t frameHeight, int32_t modeWidth,
                           int32_t modeHeight, const VideoSurface& surface)
{
    if (!frame || !surface.pixels || frameWidth <= 0 || frameHeight <= 0)
        return false;
    if (surface.depth != 32 && surface.depth != 16)
        return false;
    int32_t s = surface.depth == 32 ? PresentDoubling(frameWidth, frameHeight, modeWidth, modeHeight) : 0;
    int64_t pictureWidth = int64_t(frameWidth) << s;
    int64_t pictureHeight = int64_t(frameHeight) << s;
    int32_t bytesPerPixel = surface.depth / 8;
    // A surface smaller than the picture would be written past its end: drop the frame instead.
    if (pictureWidth > surface.width || pictureHeight > surface.height ||
        pictureWidth * bytesPerPixel > (surface.pitch < 0 ? -int64_t(surface.pitch) : int64_t(surface.pitch)))
        return false;
    int64_t top = (surface.height - pictureHeight) / 2;
    int64_t left = (surface.width - pictureWidth) / 2;
    uint8_t* dst = surface.pixels + top * surface.pitch + left * bytesPerPixel;
    if (surface.depth == 16)
        CopyRows16(frame, frameWidth, frameHeight, dst, surface.pitch, (surface.greenMask & ~0x1Fu) == 0x07E0);
    else if (s)
        CopyRowsDoubled32(frame, frameWidth, frameHeight, dst, surface.pitch);
    else
        CopyRows32(frame, frameWidth, frameHeight, dst, surface.pitch);
    return true;
}

void PresentCopyWindowed(const uint32_t* frame, int32_t frameWidth, int32_t frameHeight, const VideoSurface& picture)
{
    if (!frame || !picture.pixels || frameWidth <= 0 || frameHeight <= 0)
        return;
    int32_t w = frameWidth < picture.width ? frameWidth : picture.width;
    int32_t h = frameHeight < picture.height ? frameHeight : picture.height;
    uint8_t* dst = picture.pixels;
    for (int32_t y = 0; y < h; y++, dst += picture.pitch)
        std::memcpy(dst, frame + size_t(y) * size_t(frameWidth), size_t(w) * 4);
}
