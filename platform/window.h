#pragma once
// The program's one top-level window, its events and the main thread's message loop.
// Everything here runs on the main thread unless a declaration says "any thread".
#include <cstdint>

struct PlatformWindow;

// A window icon: width * height pixels 0xAARRGGBB, rows top to bottom. Not owned.
struct WindowIcon {
    const uint32_t* pixels;
    int32_t width;
    int32_t height;
};

// Key codes handed to WindowProcedures::keyDown (printable keys use their ASCII code).
enum : int32_t { WINDOW_KEY_ENTER = 13, WINDOW_KEY_ESCAPE = 27 };
// Modifier bits handed to WindowProcedures::keyDown.
enum : uint32_t { WINDOW_MOD_SHIFT = 1, WINDOW_MOD_CTRL = 2, WINDOW_MOD_ALT = 4 };

// The window procedures; any of them may be null. Called on the main thread by WindowRunMessageLoop.
struct WindowProcedures {
    void (*close)();                                      // close box, WindowPostClose, SIGINT/SIGTERM
    void (*keyDown)(int32_t key, uint32_t modifiers, bool repeat);
    void (*activate)(bool active);                        // input focus gained (true) or lost
    void (*moved)(int32_t x, int32_t y);                  // new outer top-left corner
    void (*resized)(int32_t width, int32_t height);       // new client size
    void (*paint)();                                      // exposed, or a repaint was asked for
};

// Outer top-left corner, client size and maximised state of a framed window.
struct WindowPlacement {
    int32_t x;
    int32_t y;
    int32_t width;
    int32_t height;
    bool maximized;
};

// Creates the hidden window with its outer top-left corner at (x, y) and the given client size; null on failure.
PlatformWindow* WindowCreate(const char* title, int32_t x, int32_t y, int32_t width, int32_t height, bool framed);
// Destroys the window (null is ignored) and the video system under it.
void WindowDestroy(PlatformWindow* window);
// Sets the procedures the message loop calls; null restores the defaults (close ends the loop with code 0).
void WindowSetProcedures(const WindowProcedures* procedures);
// Pumps events until the quit message; returns its code, -1 when waiting for events fails.
int32_t WindowRunMessageLoop();
// Any thread: asks the window to close (its close procedure runs on the main thread). Null is ignored.
void WindowPostClose(PlatformWindow* window);
// Any thread: makes WindowRunMessageLoop return code.
void WindowPostQuit(int32_t code);
// Any thread: asks for one paint; requests made before it is handled are merged into it.
void WindowPostPaint();
// Size of the desktop area a full-size window may use; false when unknown.
bool WindowDesktopSize(int32_t* width, int32_t* height);
// Shows or hides the mouse cursor over the window.
void WindowShowCursor(bool show);
// Sets the window's icon; null is ignored.
void WindowSetIcon(PlatformWindow* window, const WindowIcon* icon);
// Gives the window its frame and caption (true) or takes them away; false when it already was so.
bool WindowSetFramed(PlatformWindow* window, bool framed);
// Reads the placement of the framed window; false when the platform cannot tell.
bool WindowGetPlacement(PlatformWindow* window, WindowPlacement* placement);
// Moves and sizes the window as placement says and shows it.
void WindowSetPlacement(PlatformWindow* window, const WindowPlacement& placement);
// Current client size.
void WindowGetClientSize(PlatformWindow* window, int32_t* width, int32_t* height);
