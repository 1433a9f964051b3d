// Wave-out-like audio device: 16-bit stereo PCM played from one looping ring buffer, with a
// monotonic count of the bytes played. No SDL types here.
#pragma once

#include <cstdint>

struct AudioDevice;

// Opens the default output at rate frames per second, 16-bit stereo; when no sound card can be
// opened, a silent device that consumes the ring at the real rate. Null when neither opens.
AudioDevice* AudioOpen(int rate);
// True when the device is the silent stand-in.
bool AudioIsSilent(const AudioDevice* device);
// Starts playing ring (bytes long, a multiple of 4) from its start, over and over.
void AudioPlayLoop(AudioDevice* device, const void* ring, uint32_t bytes);
// Bytes played since AudioPlayLoop. Ring writes made before this call are seen by the device's
// later reads, so a writer that refills behind the returned cursor needs no other lock.
uint64_t AudioGetPosition(AudioDevice* device);
// Stops playback; when it returns the device no longer reads the ring.
void AudioReset(AudioDevice* device);
// Closes the device (resetting it first) and frees it; null is ignored.
void AudioClose(AudioDevice* device);
// Raises the calling thread's scheduling priority where the system allows; quietly does
// nothing where it does not.
void AudioRaiseThreadPriority();
