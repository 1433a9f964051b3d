#pragma once
// The presentation copies as pure functions over a mode list and buffers, so they can be tested
// and measured without a screen. Any thread; they touch only what they are given.
#include <cstdint>

#include "platform/video.h"

// Smallest-area mode at least frameWidth x frameHeight, 32-bit modes first, then 16-bit; of equal
// areas the first listed wins. False when no mode fits (chosen is then left alone).
bool ChooseDisplayMode(const VideoMode* modes, int32_t count, int32_t frameWidth, int32_t frameHeight,
                       VideoMode* chosen);
// Doubling shift for full screen: 1 when the mode is at least twice the frame in both directions.
int32_t PresentDoubling(int32_t frameWidth, int32_t frameHeight, int32_t modeWidth, int32_t modeHeight);
// Copies the frame centred into a locked full-screen surface: 32-bit doubled per PresentDoubling,
// 16-bit converted to 5-6-5 or 5-5-5 by the green mask and never doubled. False when nothing was
// drawn (a depth other than 16 or 32, or a surface too small for the picture).
bool PresentCopyFullScreen(const uint32_t* frame, int32_t frameWidth, int32_t frameHeight, int32_t modeWidth,
                           int32_t modeHeight, const VideoSurface& surface);
// Copies the frame into the window's picture row by row, top row first (the picture's pitch may be negative).
void PresentCopyWindowed(const uint32_t* frame, int32_t frameWidth, int32_t frameHeight, const VideoSurface& picture);
// A 0x00RRGGBB pixel as 5-6-5.
inline uint16_t PixelTo565(uint32_t p)
{
    return uint16_t(((p >> 8) & 0xF800) | ((p >> 5) & 0x07E0) | ((p >> 3) & 0x001F));
}
// A 0x00RRGGBB pixel as 5-5-5.
inline uint16_t PixelTo555(uint32_t p)
{
    return uint16_t(((p >> 9) & 0x7C00) | ((p >> 6) & 0x03E0) | ((p >> 3) & 0x001F));
}
