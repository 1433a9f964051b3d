#pragma once
// Presentation over the platform: display modes, an exclusive full-screen mode with a lockable
// back buffer, and a 32-bit picture stretched onto the window's client area.
// The frame thread never reaches the platform's graphics: it only writes the shared buffers here
// (under the display's lock) and asks for a paint; the main thread uploads and shows them.
#include <cstdint>

struct PlatformWindow;

// A display mode. depth is the storage size of a pixel in bits (32 for 8-8-8 in 32-bit words).
struct VideoMode {
    int32_t width;
    int32_t height;
    int32_t depth;
    uint32_t greenMask;  // for 16-bit modes: 0x07E0 (5-6-5) or 0x03E0 (5-5-5)
    uint32_t format;     // the platform's code for the pixel layout
};

// A locked buffer: pixels at pixels + y * pitch (pitch in bytes, may be negative).
struct VideoSurface {
    uint8_t* pixels;
    int32_t width;
    int32_t height;
    int32_t pitch;
    int32_t depth;
    uint32_t greenMask;
};

// Fills modes with up to capacity modes of the main display; returns how many there are in all.
int32_t VideoListModes(VideoMode* modes, int32_t capacity);
// Main thread, display lock held: exclusive full screen in mode, with a cleared back buffer; false leaves the window as it was.
bool VideoEnterFullScreen(PlatformWindow* window, const VideoMode& mode);
// Main thread, display lock held: back to the desktop's mode; frees the back buffer. No-op when not in full screen.
void VideoLeaveFullScreen(PlatformWindow* window);
// Display lock held: the back buffer for writing; false when there is none.
bool VideoLockBackBuffer(VideoSurface* surface);
// Display lock held: ends the write begun by VideoLockBackBuffer.
void VideoUnlockBackBuffer();
// Display lock held: the back buffer holds a finished frame; asks the main thread to show it.
void VideoFlip();
// Display lock held: true when the shown buffers were lost to the platform (device reset).
bool VideoIsLost();
// Any thread: marks the shown buffers lost, as the message loop does when the platform resets the device.
void VideoMarkLost();
// Display lock held: rebuilds lost buffers and clears the back buffer and the screen to black.
void VideoRestore();

// Creates the window's 32-bit picture of width x height pixels, cleared to black; false on failure.
bool VideoCreatePicture(int32_t width, int32_t height);
// Display lock held: the picture for writing; false when there is none.
bool VideoGetPicture(VideoSurface* surface);
// Frees the picture and everything made to show it.
void VideoDestroyPicture();

// Main thread, display lock held: copies the picture (windowed) or back buffer (full screen) for VideoShow.
void VideoUpload(PlatformWindow* window, bool fullScreen);
// Main thread: draws what VideoUpload copied, stretched onto the whole client area with nearest-pixel scaling.
void VideoShow(PlatformWindow* window);
