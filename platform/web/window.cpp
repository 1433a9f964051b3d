// The window on the web is the page. Its keys, focus and size come from the html5 callbacks,
// which run on the browser thread and only queue events; the program's main thread (a worker)
// waits for them in WindowRunMessageLoop and calls the window procedures there.
#include "platform/window.h"

#include <emscripten/html5.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>

#include "platform/web/web_internal.h"

struct PlatformWindow {
    int32_t width;
    int32_t height;
};

namespace {

enum EventKind { EVENT_CLOSE, EVENT_QUIT, EVENT_PAINT, EVENT_KEY, EVENT_FOCUS, EVENT_RESIZE };

struct Event {
    EventKind kind;
    int32_t a, b; // quit code; key and modifiers; focus; width and height
    bool repeat;
};

// The queue is filled by any thread (the browser thread's callbacks included) and emptied by the
// main thread; the procedures and the window belong to the main thread.
struct WindowState {
    std::mutex lock;
    std::condition_variable arrived;
    std::deque<Event> events;
    std::atomic<bool> paintPending{false};
    WindowProcedures procedures{};
    PlatformWindow* window = nullptr;
};

} // namespace

static WindowState state;

static void Post(const Event& event)
{
    {
        std::lock_guard<std::mutex> guard(state.lock);
        state.events.push_back(event);
    }
    state.arrived.notify_one();
}

// Escape and Enter by name, printable ASCII keys by their lower-case character; others are not
// handed on.
static int32_t KeyCode(const EmscriptenKeyboardEvent* e)
{
    if (std::strcmp(e->key, "Escape") == 0)
        return WINDOW_KEY_ESCAPE;
    if (std::strcmp(e->key, "Enter") == 0)
        return WINDOW_KEY_ENTER;
    if (e->key[0] > 0x20 && e->key[0] < 0x7F && e->key[1] == 0) {
        char c = e->key[0];
        return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c;
    }
    return 0;
}

// Browser thread.
static EM_BOOL OnKeyDown(int, const EmscriptenKeyboardEvent* e, void*)
{
    int32_t key = KeyCode(e);
    if (key == 0)
        return EM_FALSE;
    uint32_t modifiers = (e->shiftKey ? WINDOW_MOD_SHIFT : 0) | (e->ctrlKey ? WINDOW_MOD_CTRL : 0) |
                         (e->altKey ? WINDOW_MOD_ALT : 0);
    Post({EVENT_KEY, key, (int32_t)modifiers, e->repeat != 0});
    // The page keeps the keys it uses itself (Alt+Enter for its full screen).
    return key == WINDOW_KEY_ESCAPE;
}

static EM_BOOL OnFocus(int type, const EmscriptenFocusEvent*, void*)
{
    Post({EVENT_FOCUS, type == EMSCRIPTEN_EVENT_FOCUS ? 1 : 0, 0, false});
    return EM_FALSE;
}

static EM_BOOL OnResize(int, const EmscriptenUiEvent* e, void*)
{
    Post({EVENT_RESIZE, e->windowInnerWidth, e->windowInnerHeight, false});
    return EM_FALSE;
}

static void Listen(bool on)
{
    pthread_t browser = EM_CALLBACK_THREAD_CONTEXT_MAIN_BROWSER_THREAD;
    const char* target = EMSCRIPTEN_EVENT_TARGET_WINDOW;
    emscripten_set_keydown_callback_on_thread(target, nullptr, EM_TRUE, on ? OnKeyDown : nullptr, browser);
    emscripten_set_focus_callback_on_thread(target, nullptr, EM_TRUE, on ? OnFocus : nullptr, browser);
    emscripten_set_blur_callback_on_thread(target, nullptr, EM_TRUE, on ? OnFocus : nullptr, browser);
    emscripten_set_resize_callback_on_thread(target, nullptr, EM_FALSE, on ? OnResize : nullptr, browser);
}

PlatformWindow* WindowCreate(const char*, int32_t, int32_t, int32_t width, int32_t height, bool)
{
    if (state.window)
        return nullptr;
    state.window = new PlatformWindow{width, height};
    Listen(true);
    return state.window;
}

void WindowDestroy(PlatformWindow* window)
{
    if (!window)
        return;
    Listen(false);
    delete window;
    state.window = nullptr;
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

// Returns true when the event is the quit message.
static bool Dispatch(const Event& e, int32_t* code)
{
    const WindowProcedures& p = state.procedures;
    switch (e.kind) {
    case EVENT_CLOSE:
        DispatchClose();
        break;
    case EVENT_QUIT:
        *code = e.a;
        return true;
    case EVENT_PAINT:
        state.paintPending.store(false);
        if (p.paint)
            p.paint();
        break;
    case EVENT_KEY:
        if (p.keyDown)
            p.keyDown(e.a, (uint32_t)e.b, e.repeat);
        break;
    case EVENT_FOCUS:
        if (p.activate)
            p.activate(e.a != 0);
        break;
    case EVENT_RESIZE:
        if (state.window) {
            state.window->width = e.a;
            state.window->height = e.b;
        }
        if (p.resized)
            p.resized(e.a, e.b);
        break;
    }
    return false;
}

int32_t WindowRunMessageLoop()
{
    int32_t code = 0;
    for (;;) {
        Event event;
        {
            std::unique_lock<std::mutex> guard(state.lock);
            if (!state.arrived.wait_for(guard, std::chrono::milliseconds(100),
                                        [] { return !state.events.empty(); }))
                continue;
            event = state.events.front();
            state.events.pop_front();
        }
        if (Dispatch(event, &code))
            return code;
    }
}

void WindowPostClose(PlatformWindow* window)
{
    if (window)
        Post({EVENT_CLOSE, 0, 0, false});
}

void WindowPostQuit(int32_t code) { Post({EVENT_QUIT, code, 0, false}); }

void WindowPostPaint()
{
    if (!state.paintPending.exchange(true))
        Post({EVENT_PAINT, 0, 0, false});
}

bool WindowDesktopSize(int32_t* width, int32_t* height)
{
    int32_t w = 0, h = 0;
    zenkor_web_client_size(&w, &h);
    if (w <= 0 || h <= 0)
        return false;
    *width = w;
    *height = h;
    return true;
}

// The page shows no cursor over the picture while it plays, and sets the icon and title itself.
void WindowShowCursor(bool) {}

void WindowSetIcon(PlatformWindow*, const WindowIcon*) {}

bool WindowSetFramed(PlatformWindow*, bool) { return false; }

bool WindowGetPlacement(PlatformWindow* window, WindowPlacement* placement)
{
    if (!window)
        return false;
    *placement = {0, 0, window->width, window->height, false};
    return true;
}

void WindowSetPlacement(PlatformWindow*, const WindowPlacement&) {}

void WindowGetClientSize(PlatformWindow* window, int32_t* width, int32_t* height)
{
    *width = window ? window->width : 0;
    *height = window ? window->height : 0;
}
