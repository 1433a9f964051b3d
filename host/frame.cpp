// The frame thread and the clock.
#include "host/frame.h"

#include <atomic>
#include <thread>

#include "display/display.h"
#include "host/host.h"
#include "host/host_internal.h"
#include "platform/system.h"
#include "platform/window.h"
#include "sound/music.h"

// Owned by the main thread, which starts and joins the frame thread; the thread reads the
// shutdown flag once per frame.
static struct {
    std::thread thread;
    std::atomic<bool> shutdown{false};
} frameThread;

// Frame thread while it runs; filled by the main thread before it starts.
static FrameSurface frameSurface;
static FrameInfo frameInfo;

// Counter value at ClockStart; written by the frame thread before it reads the clock.
static int64_t clockStart;

static thread_local bool onFrameThread;

bool HostOnFrameThread() { return onFrameThread; }

void FrameSurfaceFill(FrameSurface& surface, const DemoConfig& config, uint32_t* pixels)
{
    surface.pixels = pixels;
    surface.width = (int32_t)config.width;
    surface.height = (int32_t)config.height;
    surface.pitch = config.width * config.bitsPerPixel / 8;
    surface.aspect = config.aspect;
    surface.scaleX = config.scaleX;
    surface.scaleY = config.scaleY;
}

FrameSurface& HostFrameSurface() { return frameSurface; }

bool FrameAdvance(FrameInfo& info, uint16_t position, int32_t timeMs)
{
    info.previousPosition = info.position;
    info.position = position;
    info.timeMs = timeMs;
    return DemoFrame(frameSurface, info);
}

bool ClockStart()
{
    int64_t now;
    if (!SystemClockCounter(&now))
        return false;
    clockStart = now;
    return true;
}

int32_t ClockMilliseconds()
{
    int64_t frequency, now;
    if (!SystemClockFrequency(&frequency) || !SystemClockCounter(&now) || frequency <= 0)
        return 0;
    uint64_t ticks = (uint64_t)(now - clockStart);
    // Split so that ticks * 1000 cannot overflow for long runs at nanosecond resolution.
    uint64_t f = (uint64_t)frequency;
    uint64_t ms = ticks / f * 1000 + ticks % f * 1000 / f;
    return (int32_t)(uint32_t)ms;
}

int FrameThreadMain(void*)
{
    onFrameThread = true;
    ClockStart();
    if (HostFlags.load() & HOST_MODULE_LOADED)
        MusicPlay();
    HostFlags |= HOST_MUSIC_STARTED | HOST_FRAME_THREAD;
    frameInfo = FrameInfo{0xFFFF, 0xFFFF, 0};
    while (!frameThread.shutdown.load()) {
        uint16_t position = (uint16_t)(MusicGetPosition() & 0xFFFF);
        if (!FrameAdvance(frameInfo, position, ClockMilliseconds()))
            break;
        DisplayPresent(frameSurface.pixels);
    }
    HostFlags &= ~HOST_FRAME_THREAD;
    WindowPostClose(DisplayGetWindow());
    SystemThreadCleanup();
    return 0;
}

void FrameThreadStart()
{
    frameThread.shutdown = false;
    frameThread.thread = std::thread([] { FrameThreadMain(nullptr); });
}

void FrameThreadStop()
{
    frameThread.shutdown = true;
    if (frameThread.thread.joinable())
        frameThread.thread.join();
    frameThread.thread = std::thread();
}

bool FrameThreadRunning() { return frameThread.thread.joinable(); }
