// The host's runtime: the configuration, the flags, the production's four hooks and the entry
// sequence that calls them. Everything here runs on the main thread unless it says otherwise.
// The shared services live beside it: fatal.h, scratch.h, pixels.h, trig.h, cpu.h (the core,
// usable without a production) and frame.h, archive.h, picture.h (the runtime).
#pragma once

#include <atomic>
#include <cstdint>

#include "host/frame.h"

struct WindowIcon;

// Start-up configuration: host defaults, then the production's DemoConfigure; read-only after HostInit.
struct DemoConfig {
    uint32_t width;             // frame width in pixels (320)
    uint32_t height;            // frame height in pixels (200)
    uint32_t bitsPerPixel;      // 32
    float aspect;               // display aspect ratio (4/3)
    float scaleX;               // fraction of the width that content keeps to (1.0)
    float scaleY;               // the same for the height (1.0)
    const char* archiveName;    // data archive file name, not owned; null = none
    const char* moduleName;     // music module inside the archive, not owned; null = no music
    const char* title;          // window caption and error-box caption, not owned
    const WindowIcon* icon;     // window icon handed to DisplaySetIcon, not owned; null = none
    uint32_t scratchPoolSize;   // bytes; 0 = no scratch pool
};

// HostFlags bits.
constexpr uint32_t HOST_DISPLAY_UP = 0x01;
constexpr uint32_t HOST_MODULE_LOADED = 0x02;
constexpr uint32_t HOST_MUSIC_STARTED = 0x08;
constexpr uint32_t HOST_FRAME_THREAD = 0x10;
// Either bit means there is music to release: the song, the device and the module block.
constexpr uint32_t HOST_MUSIC_HELD = HOST_MODULE_LOADED | HOST_MUSIC_STARTED;

// Set and cleared by the main and frame threads in an order that needs no lock.
extern std::atomic<uint32_t> HostFlags;

// The production's hooks, bound at link time: exactly one production per program.
void DemoConfigure(DemoConfig& config);               // main thread, before HostInit
bool DemoSetup(const DemoConfig& config);             // main thread; false is fatal
bool DemoFrame(FrameSurface& frame, const FrameInfo& info);  // frame thread; false ends the run
void DemoTeardown();                                  // main thread, after the frame thread

// The whole program: configure, start up, run, shut down. Returns the exit code (0); the
// program's main returns it.
int HostMain();
// Archive, scratch pool, music and display; false when something failed without a message.
bool HostInit(DemoConfig& config);
// Display and the zeroed frame buffer, then a black frame on screen.
void HostInitDisplay(DemoConfig& config);
// Frame buffer, display, file systems, scratch pool; then shows a message the frame thread left.
void HostShutdown();
// Without a display, for offline drivers: the configuration, archive, scratch pool and music
// (loaded, not playing), the trig tables, a zeroed frame buffer under the frame surface, then
// DemoSetup. Fatal errors go to the installed reporter.
void HostStartOffline();
// Music, DemoTeardown, frame buffer, file systems and scratch pool, in HostMain's order.
void HostStopOffline();
// The configuration in force (defaults before DemoConfigure).
const DemoConfig& HostConfig();
// Makes FatalError behave as the running program needs: on the frame thread it ends only that
// thread and the normal shutdown shows the message at the end; elsewhere it stops the music and
// the display, shows an error box and ends the process with code 1. HostMain installs it.
void HostInstallFatalReporter();
