// The production driven without a display, a sound device or a clock, for tests, benchmarks and
// the video export: frame n of a run at fps frames per second is drawn at
// timeMs = floor(n * 1000 / fps), with the position of the offline-mixed block that holds sample
// floor(n * 44100 / fps): the moment a listener hears with that frame. One thread at a time
// (an export starts it on the main thread, draws on a render thread, stops it after the join).
#pragma once

#include <cstdint>

#include "host/frame.h"

// Receives every block of sound the driver mixes, in order: frames interleaved stereo int16
// frames at 44,100 Hz.
using OfflineSoundSink = void (*)(const int16_t* pcm, int frames, void* user);

// HostStartOffline, then the music from the song's start; sink (may be null) hears every block.
void OfflineStart(OfflineSoundSink sink, void* user);
// Draws frame n (frames must be drawn in increasing order, n from 0); DemoFrame's answer.
bool OfflineFrame(uint64_t n, uint32_t fps);
// Draws one frame at the given moment, as the frame thread would (tests pick their own moments).
bool OfflineFrameAt(uint16_t position, int32_t timeMs);
// Mixes blocks until at least sampleFrames frames of sound exist; handed to the sink.
void OfflineMixTo(uint64_t sampleFrames);
// Frames of sound mixed so far.
uint64_t OfflineMixedFrames();
// The position of the block that holds sample frame s, mixing up to it; 0 without music.
uint16_t OfflinePositionAt(uint64_t sample);
// The frame the production draws into.
const FrameSurface& OfflineFrameSurface();
// Stops the music rendering and HostStopOffline.
void OfflineStop();
