#include "display/display.h"

#include <atomic>
#include <mutex>
#include <vector>

#include "display/present.h"
#include "platform/video.h"

namespace {

enum : int32_t { MODE_WINDOWED = 0, MODE_FULL_SCREEN = 1 };

using KeyProcedure = void (*)(int32_t key, uint32_t modifiers, bool repeat);

// Owned by the main thread. The frame thread reads the frame size and mode and writes the
// presentation buffers only under lock; active is read by it without the lock.
struct DisplayWindow {
    int32_t frameWidth = -1;
    int32_t frameHeight = -1;
    int32_t rowBytes = 0;
    int32_t clientWidth = 0;
    int32_t clientHeight = 0;
    int32_t windowX = 20;
    int32_t windowY = 20;
    std::atomic<bool> active{true};
    const char* title = "Untitled";
    const DisplayIcon* icon = nullptr;
    int32_t mode = MODE_WINDOWED;
    bool requestedFullScreen = false;
    WindowPlacement savedPlacement{};
    bool placementSaved = false;
    KeyProcedure chainedProcedure = nullptr;
    std::atomic<PlatformWindow*> window{nullptr};
    std::mutex lock;

    bool haveMode = false;  // a full-screen mode was found
    VideoMode fullScreenMode{};
};

}  // namespace

static DisplayWindow display;

static void DisplayKeyProc(int32_t key, uint32_t modifiers, bool repeat);

static void SetChainedProcedure(KeyProcedure procedure)
{
    display.chainedProcedure = procedure;
}

void DisplaySetTitle(const char* title)
{
    display.title = title;
}

void DisplaySetIcon(const DisplayIcon* icon)
{
    display.icon = icon;
}

static void EnterWindowed()
{
    PlatformWindow* window = display.window.load();
    if (WindowSetFramed(window, true) && display.icon)
        WindowSetIcon(window, display.icon);
    if (display.placementSaved) {
        WindowSetPlacement(window, display.savedPlacement);
        display.placementSaved = false;
    } else {
        WindowSetPlacement(window, {display.windowX, display.windowY, display.clientWidth, display.clientHeight, false});
    }
    WindowShowCursor(true);
}

// False when full screen cannot be had; the window is then left as it was.
static bool EnterFullScreen()
{
    if (!display.haveMode)
        return false;
    PlatformWindow* window = display.window.load();
    WindowShowCursor(false);
    WindowSetFramed(window, false);
    if (VideoEnterFullScreen(window, display.fullScreenMode))
        return true;
    WindowShowCursor(true);
    return false;
}

static void LeaveFullScreen()
{
    if (display.mode == MODE_FULL_SCREEN)
        VideoLeaveFullScreen(display.window.load());
}

// Enters the wanted mode, or the framed window when full screen cannot be had. Lock held.
static void EnterMode(int32_t wanted)
{
    display.mode = wanted;
    if (wanted == MODE_FULL_SCREEN && EnterFullScreen())
        return;
    display.mode = MODE_WINDOWED;
    EnterWindowed();
}

static void SwitchMode(bool fullScreen)
{
    int32_t wanted = fullScreen ? MODE_FULL_SCREEN : MODE_WINDOWED;
    if (wanted == display.mode)
        return;
    std::lock_guard<std::mutex> guard(display.lock);
    if (display.mode == MODE_WINDOWED)
        display.placementSaved = WindowGetPlacement(display.window.load(), &display.savedPlacement);
    LeaveFullScreen();
    EnterMode(wanted);
}

// The requested flag follows the mode actually reached, so the next toggle always flips what is shown.
static void RequestFullScreen(bool fullScreen)
{
    if (fullScreen == display.requestedFullScreen)
        return;
    SwitchMode(fullScreen);
    display.requestedFullScreen = display.mode == MODE_FULL_SCREEN;
}

static void ClassClose()
{
    WindowPostQuit(0);
}

static void ClassKeyDown(int32_t key, uint32_t modifiers, bool repeat)
{
    if (display.chainedProcedure)
        display.chainedProcedure(key, modifiers, repeat);
}

static void ClassActivate(bool active)
{
    display.active.store(active);
    WindowShowCursor(!(active && display.mode == MODE_FULL_SCREEN));
}

static void ClassMoved(int32_t x, int32_t y)
{
    if (display.mode != MODE_WINDOWED)
        return;
    std::lock_guard<std::mutex> guard(display.lock);
    display.windowX = x;
    display.windowY = y;
}

static void ClassResized(int32_t width, int32_t height)
{
    if (display.mode != MODE_WINDOWED)
        return;
    std::lock_guard<std::mutex> guard(display.lock);
    display.clientWidth = width;
    display.clientHeight = height;
}

// Copies the picture or the flipped back buffer under the lock; drawing it needs no lock.
static void ClassPaint()
{
    PlatformWindow* window = display.window.load();
    {
        std::lock_guard<std::mutex> guard(display.lock);
        VideoUpload(window, display.mode == MODE_FULL_SCREEN);
    }
    VideoShow(window);
}

static const WindowProcedures classProcedures = {ClassClose, ClassKeyDown, ClassActivate,
                                                 ClassMoved, ClassResized, ClassPaint};

static void DisplayKeyProc(int32_t key, uint32_t modifiers, bool repeat)
{
    if (key == WINDOW_KEY_ESCAPE) {
        WindowPostClose(display.window.load());
        return;
    }
    // Held-down keys repeat; one press toggles once.
    if (key == WINDOW_KEY_ENTER && (modifiers & WINDOW_MOD_ALT) && !repeat)
        RequestFullScreen(!display.requestedFullScreen);
}

static void ChooseFullScreenMode()
{
    int32_t count = VideoListModes(nullptr, 0);
    std::vector<VideoMode> modes(size_t(count > 0 ? count : 0));
    if (count > 0)
        count = VideoListModes(modes.data(), count);
    display.haveMode = ChooseDisplayMode(modes.data(), int32_t(modes.size()), display.frameWidth,
                                         display.frameHeight, &display.fullScreenMode);
}

bool DisplayInit(const DisplaySettings& settings)
{
    if (settings.width <= 0 || settings.height <= 0 || display.window.load())
        return false;
    display.frameWidth = settings.width;
    display.frameHeight = settings.height;
    display.rowBytes = settings.width * 4;
    if (!VideoCreatePicture(settings.width, settings.height))
        return false;
    SetChainedProcedure(nullptr);
    WindowSetProcedures(&classProcedures);

    display.clientWidth = settings.width;
    display.clientHeight = settings.height;
    int32_t desktopWidth = 0, desktopHeight = 0;
    if (WindowDesktopSize(&desktopWidth, &desktopHeight) && int64_t(desktopWidth) >= 3 * int64_t(settings.width) &&
        int64_t(desktopHeight) >= 3 * int64_t(settings.height)) {
        display.clientWidth *= 2;
        display.clientHeight *= 2;
    }
    PlatformWindow* window = WindowCreate(display.title, display.windowX, display.windowY, display.clientWidth,
                                          display.clientHeight, !settings.fullScreen);
    if (!window) {
        WindowSetProcedures(nullptr);
        VideoDestroyPicture();
        return false;
    }
    display.window.store(window);
    ChooseFullScreenMode();
    if (display.icon)
        WindowSetIcon(window, display.icon);
    {
        std::lock_guard<std::mutex> guard(display.lock);
        EnterMode(settings.fullScreen ? MODE_FULL_SCREEN : MODE_WINDOWED);
    }
    display.requestedFullScreen = display.mode == MODE_FULL_SCREEN;
    SetChainedProcedure(DisplayKeyProc);
    return true;
}

void DisplaySetFullScreen(bool fullScreen)
{
    RequestFullScreen(fullScreen);
}

static void PresentWindowed(const uint32_t* frame)
{
    VideoSurface picture;
    if (!VideoGetPicture(&picture))
        return;
    PresentCopyWindowed(frame, display.frameWidth, display.frameHeight, picture);
    WindowPostPaint();
}

static void PresentFullScreen(const uint32_t* frame)
{
    if (!display.active.load())
        return;
    if (VideoIsLost())
        VideoRestore();
    VideoSurface surface;
    if (!VideoLockBackBuffer(&surface))
        return;
    PresentCopyFullScreen(frame, display.frameWidth, display.frameHeight, display.fullScreenMode.width,
                          display.fullScreenMode.height, surface);
    VideoUnlockBackBuffer();
    VideoFlip();
}

void DisplayPresent(const uint32_t* frame)
{
    if (!frame)
        return;
    std::lock_guard<std::mutex> guard(display.lock);
    if (!display.window.load())
        return;
    if (display.mode == MODE_WINDOWED)
        PresentWindowed(frame);
    else
        PresentFullScreen(frame);
}

PlatformWindow* DisplayGetWindow()
{
    return display.window.load();
}

bool DisplayIsFullScreen()
{
    return display.mode == MODE_FULL_SCREEN;
}

void DisplayShutdown()
{
    PlatformWindow* window = display.window.load();
    if (!window)
        return;
    LeaveFullScreen();
    VideoDestroyPicture();
    WindowSetProcedures(nullptr);
    WindowShowCursor(true);
    display.window.store(nullptr);
    WindowDestroy(window);
    display.frameWidth = display.frameHeight = -1;
    display.rowBytes = 0;
    display.windowX = display.windowY = 20;
    display.active.store(true);
    display.mode = MODE_WINDOWED;
    display.requestedFullScreen = false;
    display.placementSaved = false;
    display.haveMode = false;
    SetChainedProcedure(nullptr);
}
