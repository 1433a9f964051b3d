#pragma once
// Shared between window.cpp and video.cpp only.
#include <SDL.h>

struct PlatformWindow {
    SDL_Window* sdl;
};

// Main thread: starts the video system once (and the user events it posts); false when there is none.
bool PlatformVideoUp();
