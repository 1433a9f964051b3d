#include "platform/video.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <vector>

#include "platform/window.h"
#include "platform/window_internal.h"

namespace {

// The buffers are written by the frame thread and read by the main thread, both under the
// display's lock; the renderer and its textures belong to the main thread.
struct VideoState {
    std::vector<uint32_t> picture;
    int32_t pictureWidth = 0;
    int32_t pictureHeight = 0;

    bool fullScreen = false;
    VideoMode mode{};
    int32_t backPitch = 0;
    std::vector<uint8_t> back;
    std::atomic<bool> lost{false};
    bool rebuild = false;  // textures must be made anew before the next upload

    SDL_Renderer* renderer = nullptr;
    SDL_Texture* pictureTexture = nullptr;
    SDL_Texture* backTexture = nullptr;
    SDL_Texture* shown = nullptr;  // what VideoShow draws
};

}  // namespace

static VideoState video;

static uint32_t GreenMask(uint32_t format)
{
    int bpp = 0;
    Uint32 r = 0, g = 0, b = 0, a = 0;
    if (!SDL_PixelFormatEnumToMasks(format, &bpp, &r, &g, &b, &a))
        return 0;
    return g;
}

int32_t VideoListModes(VideoMode* modes, int32_t capacity)
{
    if (!PlatformVideoUp())
        return 0;
    int count = SDL_GetNumDisplayModes(0);
    if (count < 0)
        return 0;
    for (int i = 0; i < count && i < capacity; i++) {
        SDL_DisplayMode m{};
        if (SDL_GetDisplayMode(0, i, &m) != 0) {
            modes[i] = VideoMode{};
            continue;
        }
        modes[i] = {m.w, m.h, int32_t(SDL_BYTESPERPIXEL(m.format)) * 8, GreenMask(m.format), m.format};
    }
    return count;
}

static void DestroyTextures()
{
    if (video.pictureTexture)
        SDL_DestroyTexture(video.pictureTexture);
    if (video.backTexture)
        SDL_DestroyTexture(video.backTexture);
    video.pictureTexture = video.backTexture = video.shown = nullptr;
}

bool VideoEnterFullScreen(PlatformWindow* window, const VideoMode& mode)
{
    if (!window || mode.width <= 0 || mode.height <= 0 || (mode.depth != 32 && mode.depth != 16))
        return false;
    SDL_DisplayMode m{mode.format, mode.width, mode.height, 0, nullptr};
    if (SDL_SetWindowDisplayMode(window->sdl, &m) != 0)
        return false;
    SDL_ShowWindow(window->sdl);
    if (SDL_SetWindowFullscreen(window->sdl, SDL_WINDOW_FULLSCREEN) != 0) {
        SDL_SetWindowFullscreen(window->sdl, 0);
        return false;
    }
    video.mode = mode;
    video.backPitch = mode.width * (mode.depth / 8);
    video.back.assign(size_t(video.backPitch) * size_t(mode.height), 0);
    video.fullScreen = true;
    video.lost.store(false);
    return true;
}

void VideoLeaveFullScreen(PlatformWindow* window)
{
    if (!video.fullScreen)
        return;
    if (window)
        SDL_SetWindowFullscreen(window->sdl, 0);
    if (video.backTexture) {
        if (video.shown == video.backTexture)
            video.shown = nullptr;
        SDL_DestroyTexture(video.backTexture);
        video.backTexture = nullptr;
    }
    video.back.clear();
    video.back.shrink_to_fit();
    video.fullScreen = false;
}

bool VideoLockBackBuffer(VideoSurface* surface)
{
    if (!video.fullScreen || video.back.empty())
        return false;
    *surface = {video.back.data(), video.mode.width, video.mode.height, video.backPitch, video.mode.depth,
                video.mode.greenMask};
    return true;
}

void VideoUnlockBackBuffer() {}

void VideoFlip()
{
    WindowPostPaint();
}

void VideoMarkLost()
{
    video.lost.store(true);
}

bool VideoIsLost()
{
    return video.lost.load();
}

void VideoRestore()
{
    video.lost.store(false);
    video.rebuild = true;
    std::fill(video.back.begin(), video.back.end(), uint8_t(0));
    WindowPostPaint();
}

bool VideoCreatePicture(int32_t width, int32_t height)
{
    if (width <= 0 || height <= 0)
        return false;
    video.picture.assign(size_t(width) * size_t(height), 0);
    video.pictureWidth = width;
    video.pictureHeight = height;
    return true;
}

bool VideoGetPicture(VideoSurface* surface)
{
    if (video.picture.empty())
        return false;
    *surface = {reinterpret_cast<uint8_t*>(video.picture.data()), video.pictureWidth, video.pictureHeight,
                video.pictureWidth * 4, 32, 0x0000FF00};
    return true;
}

void VideoDestroyPicture()
{
    DestroyTextures();
    if (video.renderer)
        SDL_DestroyRenderer(video.renderer);
    video.renderer = nullptr;
    video.picture.clear();
    video.picture.shrink_to_fit();
    video.pictureWidth = video.pictureHeight = 0;
    video.rebuild = false;
}

static bool EnsureRenderer(PlatformWindow* window)
{
    if (video.renderer)
        return true;
    video.renderer = SDL_CreateRenderer(window->sdl, -1, 0);
    if (!video.renderer)
        video.renderer = SDL_CreateRenderer(window->sdl, -1, SDL_RENDERER_SOFTWARE);
    return video.renderer != nullptr;
}

// A streaming texture of the given layout, made anew when the layout changed.
static SDL_Texture* EnsureTexture(SDL_Texture** texture, uint32_t format, int32_t width, int32_t height)
{
    if (*texture) {
        Uint32 f = 0;
        int w = 0, h = 0;
        SDL_QueryTexture(*texture, &f, nullptr, &w, &h);
        if (f == format && w == width && h == height)
            return *texture;
        SDL_DestroyTexture(*texture);
    }
    *texture = SDL_CreateTexture(video.renderer, format, SDL_TEXTUREACCESS_STREAMING, width, height);
    if (*texture) {
        SDL_SetTextureBlendMode(*texture, SDL_BLENDMODE_NONE);
        SDL_SetTextureScaleMode(*texture, SDL_ScaleModeNearest);
    }
    return *texture;
}

static uint32_t BackFormat()
{
    if (video.mode.depth == 32)
        return SDL_PIXELFORMAT_RGB888;
    return (video.mode.greenMask & ~0x1Fu) == 0x07E0 ? SDL_PIXELFORMAT_RGB565 : SDL_PIXELFORMAT_RGB555;
}

void VideoUpload(PlatformWindow* window, bool fullScreen)
{
    if (!window || !EnsureRenderer(window))
        return;
    if (video.rebuild) {
        DestroyTextures();
        video.rebuild = false;
    }
    SDL_Texture* texture = nullptr;
    if (fullScreen && video.fullScreen) {
        texture = EnsureTexture(&video.backTexture, BackFormat(), video.mode.width, video.mode.height);
        if (texture)
            SDL_UpdateTexture(texture, nullptr, video.back.data(), video.backPitch);
    } else if (!fullScreen && !video.picture.empty()) {
        texture = EnsureTexture(&video.pictureTexture, SDL_PIXELFORMAT_RGB888, video.pictureWidth,
                                video.pictureHeight);
        if (texture)
            SDL_UpdateTexture(texture, nullptr, video.picture.data(), video.pictureWidth * 4);
    }
    video.shown = texture;
}

void VideoShow(PlatformWindow* window)
{
    if (!window || !video.renderer)
        return;
    SDL_SetRenderDrawColor(video.renderer, 0, 0, 0, 255);
    SDL_RenderClear(video.renderer);
    if (video.shown)
        SDL_RenderCopy(video.renderer, video.shown, nullptr, nullptr);
    SDL_RenderPresent(video.renderer);
}
