// Sound output and the music API. State: one SoundOutput. The caller of MusicPlay/MusicFree
// (main or frame thread) starts and stops it; while the mixing thread runs, it alone touches
// the song, channels, voices, ring and mix buffer; the frame thread reads only the position
// records and the read index.
#include "sound/music.h"

#include "platform/audio.h"
#include "sound/mixer.h"
#include "sound/output.h"
#include "sound/player.h"
#include "sound/song.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <system_error>
#include <thread>

static const int kRingFrames = (1000 / 20) * MUSIC_BLOCK_FRAMES * 2;
static_assert(kRingFrames / MUSIC_BLOCK_FRAMES == MUSIC_RING_BLOCKS);
static_assert(MUSIC_BLOCK_FRAMES == ((MUSIC_MIX_RATE * 20 / 1000 + 3) & ~3));

struct SoundOutput {
    AudioDevice* device;
    std::atomic<Song*> loaded;
    Song* current;                      // being played or rendered
    bool rendering;                     // offline: no device, no thread
    int16_t* ring;                      // kRingFrames stereo int16 frames
    void* mixAllocation;
    float* mix;                         // kRingFrames stereo floats, 16-byte aligned
    std::atomic<int> writeIndex;        // next block to mix
    std::atomic<int> readIndex;         // block whose position is reported
    std::atomic<bool> stopRequest;
    std::atomic<bool> busy;             // mixing thread inside FillBlock
    std::atomic<bool> threadEnded{true};
    std::atomic<bool> hasPositions;
    std::thread thread;
    // Fixed, never freed: a position read racing a stop still reads valid memory.
    std::atomic<uint16_t> positions[MUSIC_RING_BLOCKS];
};

static SoundOutput g_output;

void FillBlock()
{
    SoundOutput& o = g_output;
    Song* song = o.current;
    int block = o.writeIndex.load(std::memory_order_relaxed);
    float* floats = o.mix + size_t(block) * MUSIC_BLOCK_FRAMES * 2;
    memset(floats, 0, sizeof(float) * MUSIC_BLOCK_FRAMES * 2);
    int mixed = 0;
    while (mixed < MUSIC_BLOCK_FRAMES) {
        if (song->framesLeft == 0) {
            song->tickHandler(song);
            song->framesLeft = song->framesPerTick;
        }
        int n = song->framesLeft < MUSIC_BLOCK_FRAMES - mixed ? song->framesLeft : MUSIC_BLOCK_FRAMES - mixed;
        MixVoices(floats + mixed * 2, n);
        mixed += n;
        song->framesLeft -= n;
    }
    o.positions[block].store(uint16_t((song->order & 0xFF) << 8 | (song->row & 0xFF)), std::memory_order_relaxed);
    ConvertBlock(o.ring + size_t(block) * MUSIC_BLOCK_FRAMES * 2, floats, MUSIC_BLOCK_FRAMES);
    o.writeIndex.store(block + 1 == MUSIC_RING_BLOCKS ? 0 : block + 1, std::memory_order_relaxed);
}

static void MixThread()
{
    SoundOutput& o = g_output;
    AudioRaiseThreadPriority();
    while (!o.stopRequest.load(std::memory_order_acquire)) {
        uint64_t framesPlayed = AudioGetPosition(o.device) / 4;
        int playing = int(framesPlayed % kRingFrames) / MUSIC_BLOCK_FRAMES;
        while (o.writeIndex.load(std::memory_order_relaxed) != playing) {
            o.busy.store(true, std::memory_order_release);
            int read = o.readIndex.load(std::memory_order_relaxed) + 1;
            o.readIndex.store(read == MUSIC_RING_BLOCKS ? 0 : read, std::memory_order_release);
            FillBlock();
            o.busy.store(false, std::memory_order_release);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    o.threadEnded.store(true, std::memory_order_release);
}

// Everything a start needs short of the device: fresh voices, channels, song state, positions
// and buffers.
static bool Prepare(Song* song)
{
    SoundOutput& o = g_output;
    VoicePoolReset();
    PlayerReset(song);
    for (auto& position : o.positions)
        position.store(0, std::memory_order_relaxed);
    o.readIndex.store(0);
    o.writeIndex.store(0);
    o.current = song;
    o.hasPositions.store(true, std::memory_order_release);
    o.ring = static_cast<int16_t*>(calloc(size_t(kRingFrames) * 2, sizeof(int16_t)));
    o.mixAllocation = calloc(size_t(kRingFrames) * 2 * sizeof(float) + 256, 1);
    if (!o.ring || !o.mixAllocation)
        return false;
    o.mix = reinterpret_cast<float*>((reinterpret_cast<uintptr_t>(o.mixAllocation) + 15) & ~uintptr_t(15));
    return true;
}

bool SoundStart(Song* song)
{
    SoundOutput& o = g_output;
    if (!song)
        return false;
    SoundStop(o.current ? o.current : song);
    if (!Prepare(song)) {
        SoundStop(song);
        return false;
    }
    // Without a device the positions stay 0 until the song is stopped or freed.
    o.device = AudioOpen(MUSIC_MIX_RATE);
    if (!o.device)
        return false;
    do
        FillBlock();
    while (o.writeIndex.load(std::memory_order_relaxed) != 0);
    AudioPlayLoop(o.device, o.ring, uint32_t(kRingFrames) * 4);
    o.stopRequest.store(false);
    o.threadEnded.store(false);
    try {
        o.thread = std::thread(MixThread);
    } catch (const std::system_error&) {
        SoundStop(song);
        return false;
    }
    return true;
}

bool SoundStop(Song* song)
{
    SoundOutput& o = g_output;
    if (!song)
        return false;
    if (song != o.current)
        return true;
    o.stopRequest.store(true, std::memory_order_release);
    while (o.busy.load(std::memory_order_acquire))
        std::this_thread::yield();
    if (o.thread.joinable()) {
        while (!o.threadEnded.load(std::memory_order_acquire))
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        o.thread.join();
    }
    free(o.mixAllocation);
    o.mixAllocation = nullptr;
    o.mix = nullptr;
    // The device is reset and closed before the ring it reads is freed.
    AudioClose(o.device);
    o.device = nullptr;
    free(o.ring);
    o.ring = nullptr;
    o.rendering = false;
    o.current = nullptr;
    o.hasPositions.store(false, std::memory_order_release);
    o.writeIndex.store(0);
    o.readIndex.store(0);
    return true;
}

int MusicLoad(const void* data, int size)
{
    if (!data || size <= 0)
        return MUSIC_LOAD_FAILED;
    ModuleFileOpsUseMemory();
    MemoryFile file{size, 0, static_cast<const uint8_t*>(data)};
    Song* song = SongCreate(&file);
    if (!song)
        return MUSIC_LOAD_FAILED;
    // A second load replaces the first song instead of losing it.
    MusicFree();
    g_output.loaded.store(song, std::memory_order_release);
    return 0;
}

bool MusicPlay()
{
    return SoundStart(g_output.loaded.load(std::memory_order_acquire));
}

int MusicGetPosition()
{
    SoundOutput& o = g_output;
    if (!o.loaded.load(std::memory_order_acquire) || !o.hasPositions.load(std::memory_order_acquire))
        return 0;
    return o.positions[o.readIndex.load(std::memory_order_acquire)].load(std::memory_order_relaxed);
}

bool MusicFree()
{
    Song* song = g_output.loaded.exchange(nullptr, std::memory_order_acq_rel);
    if (!song)
        return false;
    SongDestroy(song);
    return true;
}

bool MusicRenderBegin()
{
    SoundOutput& o = g_output;
    Song* song = o.loaded.load(std::memory_order_acquire);
    if (!song)
        return false;
    SoundStop(o.current ? o.current : song);
    if (!Prepare(song)) {
        SoundStop(song);
        return false;
    }
    o.rendering = true;
    return true;
}

int MusicRenderBlock(int16_t* pcm)
{
    SoundOutput& o = g_output;
    if (!o.rendering || !o.current)
        return -1;
    int block = o.writeIndex.load(std::memory_order_relaxed);
    FillBlock();
    if (pcm)
        memcpy(pcm, o.ring + size_t(block) * MUSIC_BLOCK_FRAMES * 2, sizeof(int16_t) * MUSIC_BLOCK_FRAMES * 2);
    o.readIndex.store(block, std::memory_order_release);
    return o.positions[block].load(std::memory_order_relaxed);
}

void MusicRenderEnd()
{
    if (g_output.rendering)
        SoundStop(g_output.current);
}
