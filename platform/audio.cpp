// The audio device over SDL's callback API. The callback (SDL's audio thread) copies from the
// ring at the play cursor and advances the byte count; the caller's thread only reads the count.
#include "platform/audio.h"

#include <SDL.h>
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>

struct AudioDevice {
    SDL_AudioDeviceID id;
    bool silent;
    bool ownsDriver;                    // opened the dummy driver with SDL_AudioInit
    const uint8_t* ring;                // set and cleared under SDL's device lock
    uint32_t ringBytes;
    std::atomic<uint64_t> played;       // written by the callback, read by anyone
};

static void SDLCALL AudioCallback(void* user, Uint8* out, int length)
{
    AudioDevice* device = static_cast<AudioDevice*>(user);
    uint64_t played = device->played.load(std::memory_order_acquire);
    if (!device->ring || device->ringBytes == 0) {
        memset(out, 0, size_t(length));
        return;
    }
    uint32_t cursor = uint32_t(played % device->ringBytes);
    int done = 0;
    while (done < length) {
        uint32_t chunk = device->ringBytes - cursor;
        if (chunk > uint32_t(length - done))
            chunk = uint32_t(length - done);
        memcpy(out + done, device->ring + cursor, chunk);
        done += int(chunk);
        cursor = 0;
    }
    device->played.fetch_add(uint64_t(length), std::memory_order_acq_rel);
}

static SDL_AudioDeviceID OpenDefault(AudioDevice* device, int rate)
{
    SDL_AudioSpec want;
    SDL_zero(want);
    want.freq = rate;
    want.format = AUDIO_S16SYS;
    want.channels = 2;
    want.samples = 1024;
    want.callback = AudioCallback;
    want.userdata = device;
    SDL_AudioSpec have;
    return SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
}

AudioDevice* AudioOpen(int rate)
{
    AudioDevice* device = new (std::nothrow) AudioDevice{};
    if (!device)
        return nullptr;
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) == 0) {
        device->id = OpenDefault(device, rate);
        if (device->id != 0)
            return device;
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }
    if (SDL_AudioInit("dummy") == 0) {
        device->ownsDriver = true;
        device->silent = true;
        device->id = OpenDefault(device, rate);
        if (device->id != 0) {
            // Under the running program's name, like every other message it prints.
            fprintf(stderr, "%s: no sound device could be opened; the music plays silently\n",
                    program_invocation_short_name);
            return device;
        }
        SDL_AudioQuit();
    }
    delete device;
    return nullptr;
}

bool AudioIsSilent(const AudioDevice* device)
{
    return device && device->silent;
}

void AudioPlayLoop(AudioDevice* device, const void* ring, uint32_t bytes)
{
    SDL_LockAudioDevice(device->id);
    device->ring = static_cast<const uint8_t*>(ring);
    device->ringBytes = bytes & ~3u;
    device->played.store(0, std::memory_order_release);
    SDL_UnlockAudioDevice(device->id);
    SDL_PauseAudioDevice(device->id, 0);
}

uint64_t AudioGetPosition(AudioDevice* device)
{
    // A read-modify-write, not a load: it heads a release sequence that the callback's next
    // acquire joins, which orders the ring writes made before this call before its reads.
    return device->played.fetch_add(0, std::memory_order_acq_rel);
}

void AudioReset(AudioDevice* device)
{
    SDL_PauseAudioDevice(device->id, 1);
    SDL_LockAudioDevice(device->id);
    device->ring = nullptr;
    device->ringBytes = 0;
    SDL_UnlockAudioDevice(device->id);
}

void AudioClose(AudioDevice* device)
{
    if (!device)
        return;
    AudioReset(device);
    SDL_CloseAudioDevice(device->id);
    if (device->ownsDriver)
        SDL_AudioQuit();
    else
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    delete device;
}

void AudioRaiseThreadPriority()
{
    sched_param param{};
    param.sched_priority = sched_get_priority_max(SCHED_FIFO);
    if (pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) == 0)
        return;
    setpriority(PRIO_PROCESS, id_t(gettid()), -10);
}
