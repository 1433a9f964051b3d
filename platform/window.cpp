#include "platform/window.h"

#include <atomic>

#include "platform/video.h"
#include "platform/window_internal.h"

namespace {

// User event types, offsets from the registered base.
enum : uint32_t { EVENT_CLOSE = 0, EVENT_QUIT = 1, EVENT_PAINT = 2, EVENT_COUNT = 3 };

// Main thread, except the atomics, which any thread reads.
struct WindowState {
    bool videoUp = false;
    std::atomic<uint32_t> eventBase{uint32_t(-1)};
    std::atomic<bool> paintPending{false};
    WindowProcedures procedures{};
};

}  // namespace

static WindowState state;

// With no display SDL quietly falls back to drivers whose windows nobody sees; such a driver
// counts only when it was asked for by name (tests and headless tools do that).
static bool DriverIsVisible()
{
    const char* driver = SDL_GetCurrentVideoDriver();
    if (!driver)
        return false;
    if (SDL_strcasecmp(driver, "offscreen") != 0 && SDL_strcasecmp(driver, "dummy") != 0)
        return true;
    const char* asked = SDL_getenv("SDL_VIDEODRIVER");
    return asked && SDL_strcasecmp(asked, driver) == 0;
}

bool PlatformVideoUp()
{
    if (state.videoUp)
        return true;
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0)
        return false;
    if (!DriverIsVisible()) {
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        return false;
    }
    if (state.eventBase.load() == uint32_t(-1)) {
        uint32_t base = SDL_RegisterEvents(EVENT_COUNT);
        if (base == uint32_t(-1)) {
            SDL_QuitSubSystem(SDL_INIT_VIDEO);
            return false;
        }
        state.eventBase.store(base);
    }
    state.videoUp = true;
    return true;
}

static bool PostUserEvent(uint32_t which, int32_t code)
{
    uint32_t base = state.eventBase.load();
    if (base == uint32_t(-1))
        return false;
    SDL_Event event{};
    event.type = base + which;
    event.user.code = code;
    return SDL_PushEvent(&event) == 1;
}

static void BorderSizes(SDL_Window* window, int* left, int* top)
{
    int t = 0, l = 0, b = 0, r = 0;
    if (SDL_GetWindowBordersSize(window, &t, &l, &b, &r) != 0)
        t = l = 0;
    *left = l;
    *top = t;
}

PlatformWindow* WindowCreate(const char* title, int32_t x, int32_t y, int32_t width, int32_t height, bool framed)
{
    if (!PlatformVideoUp())
        return nullptr;
    SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "nearest");
    uint32_t flags = SDL_WINDOW_HIDDEN | (framed ? SDL_WINDOW_RESIZABLE : SDL_WINDOW_BORDERLESS);
    SDL_Window* sdl = SDL_CreateWindow(title ? title : "", x, y, width, height, flags);
    if (!sdl)
        return nullptr;
    PlatformWindow* window = new PlatformWindow{sdl};
    return window;
}

void WindowDestroy(PlatformWindow* window)
{
    if (window) {
        SDL_DestroyWindow(window->sdl);
        delete window;
    }
    if (state.videoUp) {
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        state.videoUp = false;
    }
    state.paintPending.store(false);
}

void WindowSetProcedures(const WindowProcedures* procedures)
{
    state.procedures = procedures ? *procedures : WindowProcedures{};
}

static void DispatchClose()
{
    if (state.procedures.close)
        state.procedures.close();
    else
        WindowPostQuit(0);
}

static uint32_t Modifiers(uint16_t mod)
{
    uint32_t result = 0;
    if (mod & KMOD_SHIFT)
        result |= WINDOW_MOD_SHIFT;
    if (mod & KMOD_CTRL)
        result |= WINDOW_MOD_CTRL;
    if (mod & KMOD_ALT)
        result |= WINDOW_MOD_ALT;
    return result;
}

static void DispatchKey(const SDL_KeyboardEvent& key)
{
    if (!state.procedures.keyDown)
        return;
    int32_t code = key.keysym.sym;
    if (code == SDLK_KP_ENTER)
        code = WINDOW_KEY_ENTER;
    state.procedures.keyDown(code, Modifiers(key.keysym.mod), key.repeat != 0);
}

static void DispatchWindowEvent(const SDL_WindowEvent& event)
{
    const WindowProcedures& p = state.procedures;
    switch (event.event) {
    case SDL_WINDOWEVENT_CLOSE:
        DispatchClose();
        break;
    case SDL_WINDOWEVENT_FOCUS_GAINED:
    case SDL_WINDOWEVENT_FOCUS_LOST:
        if (p.activate)
            p.activate(event.event == SDL_WINDOWEVENT_FOCUS_GAINED);
        break;
    case SDL_WINDOWEVENT_MOVED:
        if (p.moved) {
            int left = 0, top = 0;
            if (SDL_Window* w = SDL_GetWindowFromID(event.windowID))
                BorderSizes(w, &left, &top);
            p.moved(event.data1 - left, event.data2 - top);
        }
        break;
    case SDL_WINDOWEVENT_SIZE_CHANGED:
        if (p.resized)
            p.resized(event.data1, event.data2);
        break;
    case SDL_WINDOWEVENT_EXPOSED:
        if (p.paint)
            p.paint();
        break;
    default:
        break;
    }
}

// Returns true when the event is the quit message.
static bool Dispatch(const SDL_Event& event, int32_t* code)
{
    uint32_t base = state.eventBase.load();
    if (base != uint32_t(-1) && event.type >= base && event.type < base + EVENT_COUNT) {
        switch (event.type - base) {
        case EVENT_CLOSE:
            DispatchClose();
            return false;
        case EVENT_QUIT:
            *code = event.user.code;
            return true;
        default:
            state.paintPending.store(false);
            if (state.procedures.paint)
                state.procedures.paint();
            return false;
        }
    }
    switch (event.type) {
    case SDL_QUIT:  // also SIGINT and SIGTERM
        DispatchClose();
        break;
    case SDL_KEYDOWN:
        DispatchKey(event.key);
        break;
    case SDL_WINDOWEVENT:
        DispatchWindowEvent(event.window);
        break;
    case SDL_RENDER_TARGETS_RESET:
    case SDL_RENDER_DEVICE_RESET:
        VideoMarkLost();
        break;
    default:
        break;
    }
    return false;
}

int32_t WindowRunMessageLoop()
{
    SDL_Event event;
    int32_t code = 0;
    for (;;) {
        if (SDL_WasInit(SDL_INIT_EVENTS) == 0)
            return -1;
        // A bounded wait: a termination signal caught by another thread only queues its quit
        // event when this thread next pumps.
        if (!SDL_WaitEventTimeout(&event, 100))
            continue;
        if (Dispatch(event, &code))
            return code;
    }
}

void WindowPostClose(PlatformWindow* window)
{
    if (window)
        PostUserEvent(EVENT_CLOSE, 0);
}

void WindowPostQuit(int32_t code)
{
    PostUserEvent(EVENT_QUIT, code);
}

void WindowPostPaint()
{
    // A paint that could not be queued must not block every later one.
    if (!state.paintPending.exchange(true) && !PostUserEvent(EVENT_PAINT, 0))
        state.paintPending.store(false);
}

bool WindowDesktopSize(int32_t* width, int32_t* height)
{
    SDL_Rect r;
    if (!PlatformVideoUp() || SDL_GetDisplayUsableBounds(0, &r) != 0)
        return false;
    *width = r.w;
    *height = r.h;
    return true;
}

void WindowShowCursor(bool show)
{
    SDL_ShowCursor(show ? SDL_ENABLE : SDL_DISABLE);
}

void WindowSetIcon(PlatformWindow* window, const WindowIcon* icon)
{
    if (!window || !icon || !icon->pixels || icon->width <= 0 || icon->height <= 0)
        return;
    SDL_Surface* surface =
        SDL_CreateRGBSurfaceFrom(const_cast<uint32_t*>(icon->pixels), icon->width, icon->height, 32,
                                 icon->width * 4, 0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000);
    if (!surface)
        return;
    SDL_SetWindowIcon(window->sdl, surface);
    SDL_FreeSurface(surface);
}

bool WindowSetFramed(PlatformWindow* window, bool framed)
{
    bool isFramed = !(SDL_GetWindowFlags(window->sdl) & SDL_WINDOW_BORDERLESS);
    if (isFramed == framed)
        return false;
    SDL_SetWindowBordered(window->sdl, framed ? SDL_TRUE : SDL_FALSE);
    SDL_SetWindowResizable(window->sdl, framed ? SDL_TRUE : SDL_FALSE);
    return true;
}

bool WindowGetPlacement(PlatformWindow* window, WindowPlacement* placement)
{
    if (!window)
        return false;
    int x = 0, y = 0, w = 0, h = 0, left = 0, top = 0;
    SDL_GetWindowPosition(window->sdl, &x, &y);
    SDL_GetWindowSize(window->sdl, &w, &h);
    BorderSizes(window->sdl, &left, &top);
    if (w <= 0 || h <= 0)
        return false;
    *placement = {x - left, y - top, w, h, (SDL_GetWindowFlags(window->sdl) & SDL_WINDOW_MAXIMIZED) != 0};
    return true;
}

void WindowSetPlacement(PlatformWindow* window, const WindowPlacement& placement)
{
    SDL_Window* w = window->sdl;
    if (SDL_GetWindowFlags(w) & SDL_WINDOW_MAXIMIZED)
        SDL_RestoreWindow(w);
    SDL_SetWindowSize(w, placement.width, placement.height);
    // The window manager puts the frame's outer corner where a framed window is moved to.
    SDL_SetWindowPosition(w, placement.x, placement.y);
    SDL_ShowWindow(w);
    if (placement.maximized)
        SDL_MaximizeWindow(w);
}

void WindowGetClientSize(PlatformWindow* window, int32_t* width, int32_t* height)
{
    int w = 0, h = 0;
    if (window)
        SDL_GetWindowSize(window->sdl, &w, &h);
    *width = w;
    *height = h;
}
