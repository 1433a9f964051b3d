#pragma once
// The program's single window: creation, windowed and full-screen modes, the keys it knows
// (Escape closes, Alt+Enter toggles full screen) and the presentation of each frame.
// Main thread, except DisplayPresent and DisplayGetWindow, which the frame thread calls.
#include <cstdint>

#include "platform/window.h"

// What the host passes to DisplayInit.
struct DisplaySettings {
    int32_t width;       // frame-buffer width in pixels
    int32_t height;      // frame-buffer height in pixels
    uint8_t fullScreen;  // start in full screen when non-zero
};

// The window icon: 32-bit pixels 0xAARRGGBB with their size; the caller keeps it alive.
using DisplayIcon = WindowIcon;

// Stores the caption (not copied); it takes effect when the window is created.
void DisplaySetTitle(const char* title);
// Stores the icon (not copied); used at creation and whenever the window gets its frame back.
void DisplaySetIcon(const DisplayIcon* icon);
// Creates the window and both presentation back-ends and installs the window procedures.
bool DisplayInit(const DisplaySettings& settings);
// Switches to full screen (true) or to the framed window; stays windowed when full screen cannot be had.
void DisplaySetFullScreen(bool fullScreen);
// Frame thread: shows one frame of width x height 32-bit pixels 0x00RRGGBB, rows top to bottom.
void DisplayPresent(const uint32_t* frame);
// Any thread: the window, for WindowPostClose.
PlatformWindow* DisplayGetWindow();
// True while in full-screen mode.
bool DisplayIsFullScreen();
// Leaves full screen, frees the back-ends and destroys the window; the frame thread must have stopped.
void DisplayShutdown();
