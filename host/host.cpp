// Start-up, shutdown and fatal errors. Main thread, except FatalError on the frame thread.
#include "host/host.h"

#include <cstdlib>
#include <cstring>

#include "display/display.h"
#include "host/archive.h"
#include "host/fatal.h"
#include "host/host_internal.h"
#include "host/scratch.h"
#include "host/trig.h"
#include "platform/system.h"
#include "platform/window.h"
#include "sound/music.h"

std::atomic<uint32_t> HostFlags{0};

// Main thread; the frame thread only writes pendingMessage, before it ends.
static struct {
    DemoConfig config;
    void* moduleBlock;       // the module file, kept until the music is released
    uint32_t* frameBuffer;   // zero-filled, width * height * bitsPerPixel / 8 bytes
    char* pendingMessage;    // left by a fatal error on the frame thread
} host;

static const char kDefaultTitle[] = "Zenkor Demo System";

const DemoConfig& HostConfig() { return host.config; }

static void SetDefaults(DemoConfig& config)
{
    config = DemoConfig{};
    config.width = 320;
    config.height = 200;
    config.bitsPerPixel = 32;
    config.aspect = 4.0f / 3.0f;
    config.scaleX = 1.0f;
    config.scaleY = 1.0f;
    config.title = kDefaultTitle;
}

static void ShowError(const char* text)
{
    SystemMessageBox(host.config.title ? host.config.title : kDefaultTitle, text);
}

void HostReleaseMusic()
{
    if ((HostFlags.load() & HOST_MUSIC_HELD) == 0)
        return;
    MusicFree();
    std::free(host.moduleBlock);
    host.moduleBlock = nullptr;
    HostFlags &= ~HOST_MUSIC_HELD;
}

[[noreturn]] static void ReportFatal(const char* message)
{
    if ((HostFlags.load() & HOST_FRAME_THREAD) && HostOnFrameThread()) {
        host.pendingMessage = strdup(message);
        HostFlags &= ~HOST_FRAME_THREAD;
        WindowPostClose(DisplayGetWindow());
        SystemExitThread();
    }
    // The frame thread may still be drawing (a fatal error on the main thread while it runs):
    // let it finish its frame before the music and the display go away under it.
    if (FrameThreadRunning() && !HostOnFrameThread())
        FrameThreadStop();
    HostReleaseMusic();
    if (HostFlags.load() & HOST_DISPLAY_UP) {
        DisplayShutdown();
        HostFlags &= ~HOST_DISPLAY_UP;
    }
    ShowError(message);
    SystemExitProcess(1);
}

void HostInstallFatalReporter()
{
    FatalErrorSetReporter(ReportFatal);
}

static void AllocateFrameBuffer(const DemoConfig& config)
{
    uint64_t bytes = (uint64_t)config.width * config.height * config.bitsPerPixel / 8;
    host.frameBuffer = (uint32_t*)std::calloc(bytes ? (size_t)bytes : 1, 1);
    if (!host.frameBuffer)
        FatalError("Out of memory allocating the frame buffer!");
}

void HostInitDisplay(DemoConfig& config)
{
    if (config.title)
        DisplaySetTitle(config.title);
    if (config.icon)
        DisplaySetIcon(config.icon);
    DisplaySettings settings{(int32_t)config.width, (int32_t)config.height, 1};
    if (!DisplayInit(settings))
        FatalError("Error initializing display!");
    DisplaySetFullScreen(true);
    AllocateFrameBuffer(config);
    DisplayPresent(host.frameBuffer);
    HostFlags |= HOST_DISPLAY_UP;
}

// Loads the configured module into the player; false when there is no module to load.
static void LoadModule(const char* name)
{
    size_t size = 0;
    void* block = LoadWholeFile(name, &size);
    if (!block) {
        CloseFileSystems();
        FatalError("Unable to load module '%s'!", name);
    }
    if (size > 0x7FFFFFFF || MusicLoad(block, (int)size) != 0) {
        std::free(block);
        CloseFileSystems();
        FatalError("Unable to load module '%s'!", name);
    }
    host.moduleBlock = block;
    HostFlags |= HOST_MODULE_LOADED;
}

// Archive, scratch pool and music: everything HostInit brings up but the display.
static bool InitServices(const DemoConfig& config)
{
    if (!OpenArchive(config.archiveName))
        FatalError("Error opening archive '%s'.", config.archiveName ? config.archiveName : "");
    if (config.scratchPoolSize != 0 && !ScratchPoolCreate(config.scratchPoolSize))
        return false;
    if (config.moduleName)
        LoadModule(config.moduleName);
    return true;
}

bool HostInit(DemoConfig& config)
{
    if (!InitServices(config))
        return false;
    if (!(HostFlags.load() & HOST_DISPLAY_UP))
        HostInitDisplay(config);
    return true;
}

static void ReleaseFrameBuffer()
{
    std::free(host.frameBuffer);
    host.frameBuffer = nullptr;
}

void HostShutdown()
{
    ReleaseFrameBuffer();
    DisplayShutdown();
    HostFlags &= ~HOST_DISPLAY_UP;
    CloseFileSystems();
    if (host.config.scratchPoolSize != 0)
        ScratchPoolDestroy();
    if (host.pendingMessage) {
        ShowError(host.pendingMessage);
        std::free(host.pendingMessage);
        host.pendingMessage = nullptr;
    }
}

// The shared tables, the frame surface over the frame buffer, then the production's set-up.
static void SetUpProduction()
{
    BuildTrigTables();
    FrameSurfaceFill(HostFrameSurface(), host.config, host.frameBuffer);
    if (!DemoSetup(host.config))
        FatalError("Error initializing demo!");
}

int HostMain()
{
    HostInstallFatalReporter();
    SetDefaults(host.config);
    DemoConfigure(host.config);
    if (!HostInit(host.config))
        FatalError("Error initializing system!");
    SetUpProduction();
    FrameThreadStart();
    WindowRunMessageLoop();
    FrameThreadStop();
    HostReleaseMusic();
    DemoTeardown();
    HostShutdown();
    return 0;
}

void HostStartOffline()
{
    SetDefaults(host.config);
    DemoConfigure(host.config);
    if (!InitServices(host.config))
        FatalError("Error initializing system!");
    AllocateFrameBuffer(host.config);
    SetUpProduction();
}

void HostStopOffline()
{
    HostReleaseMusic();
    DemoTeardown();
    ReleaseFrameBuffer();
    CloseFileSystems();
    if (host.config.scratchPoolSize != 0)
        ScratchPoolDestroy();
}
