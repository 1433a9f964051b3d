// Presentation on the web: no exclusive full-screen modes (the page is the full view, and the
// browser's full screen is the page's to ask for), one 32-bit picture. VideoUpload copies the
// picture for the browser thread, whose animation frame takes the newest copy
// (zenkor_web_take_frame) and draws it on the page's canvas.
#include "platform/video.h"

#include <emscripten.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <vector>

namespace {

// The picture is written by the frame thread and uploaded by the main thread, both under the
// display's lock; the upload and its RGBA copy are shared with the browser thread under lock.
struct VideoState {
    std::vector<uint32_t> picture;
    int32_t width = 0;
    int32_t height = 0;

    std::mutex uploadLock;
    std::vector<uint32_t> uploaded;
    std::atomic<uint32_t> version{0};

    uint32_t taken = 0;        // browser thread: the version last handed to the page
    std::vector<uint8_t> rgba; // browser thread
};

} // namespace

static VideoState video;

int32_t VideoListModes(VideoMode*, int32_t) { return 0; }

bool VideoEnterFullScreen(PlatformWindow*, const VideoMode&) { return false; }

void VideoLeaveFullScreen(PlatformWindow*) {}

bool VideoLockBackBuffer(VideoSurface*) { return false; }

void VideoUnlockBackBuffer() {}

void VideoFlip() {}

bool VideoIsLost() { return false; }

void VideoMarkLost() {}

void VideoRestore() {}

bool VideoCreatePicture(int32_t width, int32_t height)
{
    if (width <= 0 || height <= 0)
        return false;
    video.picture.assign(size_t(width) * size_t(height), 0);
    video.width = width;
    video.height = height;
    std::lock_guard<std::mutex> guard(video.uploadLock);
    video.uploaded.assign(video.picture.size(), 0);
    return true;
}

bool VideoGetPicture(VideoSurface* surface)
{
    if (video.picture.empty())
        return false;
    *surface = {reinterpret_cast<uint8_t*>(video.picture.data()),
                video.width,
                video.height,
                video.width * 4,
                32,
                0x0000FF00};
    return true;
}

void VideoDestroyPicture()
{
    video.picture.clear();
    video.picture.shrink_to_fit();
    std::lock_guard<std::mutex> guard(video.uploadLock);
    video.uploaded.clear();
    video.uploaded.shrink_to_fit();
    video.width = video.height = 0;
}

void VideoUpload(PlatformWindow*, bool)
{
    if (video.picture.empty())
        return;
    std::lock_guard<std::mutex> guard(video.uploadLock);
    if (video.uploaded.size() != video.picture.size())
        video.uploaded.resize(video.picture.size());
    std::memcpy(video.uploaded.data(), video.picture.data(), video.picture.size() * 4);
    video.version.fetch_add(1);
}

void VideoShow(PlatformWindow*) {}

// Browser thread: the newest uploaded frame as RGBA bytes (width * height * 4), or null when
// there is none newer than the last one taken. The pointer stays valid until the next call.
extern "C" EMSCRIPTEN_KEEPALIVE const uint8_t* zenkor_web_take_frame()
{
    uint32_t version = video.version.load();
    if (version == video.taken)
        return nullptr;
    std::lock_guard<std::mutex> guard(video.uploadLock);
    size_t pixels = video.uploaded.size();
    if (pixels == 0)
        return nullptr;
    video.rgba.resize(pixels * 4);
    uint8_t* out = video.rgba.data();
    for (size_t i = 0; i < pixels; i++, out += 4) {
        uint32_t p = video.uploaded[i];
        out[0] = uint8_t(p >> 16);
        out[1] = uint8_t(p >> 8);
        out[2] = uint8_t(p);
        out[3] = 255;
    }
    video.taken = version;
    return video.rgba.data();
}

// Browser thread: the size of the frames zenkor_web_take_frame hands out.
extern "C" EMSCRIPTEN_KEEPALIVE int32_t zenkor_web_frame_width() { return video.width; }

extern "C" EMSCRIPTEN_KEEPALIVE int32_t zenkor_web_frame_height() { return video.height; }
