// The audio device on the web: our AudioWorklet (audio_worklet.js) reads the ring straight from
// the shared memory on the browser's audio thread and advances the played count. Without an
// audio context (none made, or no worklet support) a silent device consumes the ring at the
// real rate on a thread of its own, as the SDL back-end's dummy driver does.
#include "platform/audio.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <new>
#include <thread>

#include "platform/web/web_internal.h"

// The state word shared with the worklet.
enum : int32_t { STATE_STOPPED = 0, STATE_PLAYING = 1, STATE_READING = 2 };

// Opened and used by the caller's thread; played and state are shared with the worklet or the
// silent thread.
struct AudioDevice {
    int rate;
    bool silent;
    bool started;
    alignas(8) std::atomic<uint64_t> played;
    std::atomic<int32_t> state;
    std::thread silentThread;
    uint32_t ringBytes;
};

static_assert(sizeof(std::atomic<uint64_t>) == 8 && sizeof(std::atomic<int32_t>) == 4);

AudioDevice* AudioOpen(int rate)
{
    AudioDevice* device = new (std::nothrow) AudioDevice{};
    if (!device)
        return nullptr;
    device->rate = rate;
    device->silent = zenkor_web_audio_ready(rate) == 0;
    if (device->silent)
        std::fprintf(stderr, "no sound device could be opened; the music plays silently\n");
    return device;
}

bool AudioIsSilent(const AudioDevice* device) { return device && device->silent; }

// The silent device: the count follows the clock, in whole 4-byte frames.
static void SilentThread(AudioDevice* device)
{
    auto start = std::chrono::steady_clock::now();
    while (device->state.load() == STATE_PLAYING) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        auto elapsed = std::chrono::steady_clock::now() - start;
        uint64_t us = (uint64_t)std::chrono::duration_cast<std::chrono::microseconds>(elapsed).count();
        device->played.store(us * (uint64_t)device->rate / 1000000 * 4);
    }
}

void AudioPlayLoop(AudioDevice* device, const void* ring, uint32_t bytes)
{
    AudioReset(device);
    device->ringBytes = bytes & ~3u;
    device->played.store(0);
    device->state.store(STATE_PLAYING);
    device->started = true;
    if (device->silent)
        device->silentThread = std::thread(SilentThread, device);
    else
        zenkor_web_audio_start(ring, device->ringBytes, &device->played, &device->state);
}

uint64_t AudioGetPosition(AudioDevice* device)
{
    // Sequentially consistent, as the worklet's Atomics are: ring writes before this call are
    // seen by its later reads.
    return device->played.fetch_add(0);
}

void AudioReset(AudioDevice* device)
{
    if (!device->started)
        return;
    // A read in progress ends within one 128-frame block.
    for (;;) {
        int32_t expected = STATE_PLAYING;
        if (device->state.compare_exchange_strong(expected, STATE_STOPPED) || expected == STATE_STOPPED)
            break;
        std::this_thread::yield();
    }
    if (device->silentThread.joinable())
        device->silentThread.join();
    else
        zenkor_web_audio_stop();
    device->started = false;
}

void AudioClose(AudioDevice* device)
{
    if (!device)
        return;
    AudioReset(device);
    delete device;
}

void AudioRaiseThreadPriority() {}
