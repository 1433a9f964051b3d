// The host: start-up and shutdown, fatal errors, the archive, shared tables and the
// production's four hooks. Everything here runs on the main thread unless it says otherwise.
#pragma once

#include <atomic>
#include <cstddef>
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
// The configuration in force (defaults before DemoConfigure).
const DemoConfig& HostConfig();

// Formats at most 1023 characters (longer messages are cut), shows them in an error box and on
// stderr, and ends the program. On the frame thread it ends only that thread and lets the
// normal shutdown show the message at the end.
[[noreturn]] void FatalError(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Mounts the archive: embedded resource, else name in the current directory, else name beside
// the program. False only when nothing is embedded and name is null; a named archive found
// nowhere is fatal.
bool OpenArchive(const char* name);
// Destroys the archive file system, closes its stream, destroys the base file system.
void CloseFileSystems();
// The mounted archive file system every load goes through; null before OpenArchive.
class FileSystem;
FileSystem* HostFileSystem();
// Reads a file of the archive whole into a std::malloc block that the caller frees with
// std::free; a missing file is fatal. size receives the bytes read.
void* LoadWholeFile(const char* name, size_t* size = nullptr);

// Capacity of a program-path buffer.
constexpr size_t kProgramPathMax = 260;
// The program's directory without a trailing '/' (the root keeps its '/'); false and an empty
// buffer when the path cannot be had or does not fit.
bool ProgramDirectory(char* buffer, size_t capacity = kProgramPathMax);
// The same rule over a given program path of length characters.
bool ProgramDirectoryFromPath(const char* path, size_t length, char* buffer, size_t capacity);

// 1024 entries each, entry i = sin / cos of i * pi / 512; index with (angle & 1023).
extern float SineTable[1024];
extern float CosineTable[1024];
// Fills both tables (start-up, before DemoSetup).
void BuildTrigTables();

// True when the processor reports MMX.
bool HasMmx();
