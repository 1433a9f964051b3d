// Offline driver of the production. Main thread only, between OfflineStart and OfflineStop.
#include "host/offline.h"

#include <vector>

#include "host/host.h"
#include "sound/music.h"

static struct {
    OfflineSoundSink sink;
    void* user;
    bool music;                      // a song is loaded and rendering
    std::vector<uint16_t> positions; // per mixed block, the position it ends at
    std::vector<int16_t> pcm;        // one block, interleaved stereo
    FrameInfo info;
} offline;

void OfflineStart(OfflineSoundSink sink, void* user)
{
    HostStartOffline();
    offline.sink = sink;
    offline.user = user;
    offline.positions.clear();
    offline.pcm.assign((size_t)MUSIC_BLOCK_FRAMES * 2, 0);
    offline.info = FrameInfo{0xFFFF, 0xFFFF, 0};
    offline.music = (HostFlags.load() & HOST_MODULE_LOADED) && MusicRenderBegin();
}

static void MixBlock()
{
    int position = MusicRenderBlock(offline.pcm.data());
    offline.positions.push_back((uint16_t)(position < 0 ? 0 : position));
    if (offline.sink)
        offline.sink(offline.pcm.data(), MUSIC_BLOCK_FRAMES, offline.user);
}

void OfflineMixTo(uint64_t sampleFrames)
{
    while (offline.music && OfflineMixedFrames() < sampleFrames)
        MixBlock();
}

uint64_t OfflineMixedFrames()
{
    return (uint64_t)offline.positions.size() * MUSIC_BLOCK_FRAMES;
}

uint16_t OfflinePositionAt(uint64_t sample)
{
    if (!offline.music)
        return 0;
    OfflineMixTo(sample + 1);
    return offline.positions[sample / MUSIC_BLOCK_FRAMES];
}

bool OfflineFrameAt(uint16_t position, int32_t timeMs)
{
    return FrameAdvance(offline.info, position, timeMs);
}

bool OfflineFrame(uint64_t n, uint32_t fps)
{
    int32_t timeMs = (int32_t)(n * 1000 / fps);
    return OfflineFrameAt(OfflinePositionAt(n * MUSIC_MIX_RATE / fps), timeMs);
}

const FrameSurface& OfflineFrameSurface()
{
    return HostFrameSurface();
}

void OfflineStop()
{
    if (offline.music)
        MusicRenderEnd();
    offline.music = false;
    offline.positions.clear();
    offline.positions.shrink_to_fit();
    offline.pcm.clear();
    offline.pcm.shrink_to_fit();
    HostStopOffline();
}
