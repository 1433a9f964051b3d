// Music player: one loaded XM song, mixed block by block on its own thread into the audio
// device, or driven offline block by block for tools, tests and exports.
#pragma once

#include <cstdint>

constexpr int MUSIC_MIX_RATE = 44100;      // frames per second
constexpr int MUSIC_BLOCK_FRAMES = 884;    // frames mixed per block (20 ms rounded up to 4)
constexpr int MUSIC_RING_BLOCKS = 100;     // blocks in the looping device ring (about 2 s)
constexpr int MUSIC_LOAD_FAILED = 3;       // MusicLoad's result for data it cannot load

// Loads an XM module from a block the caller keeps valid for the call; 0, or 3 on failure.
int MusicLoad(const void* data, int size);
// Starts the device and the mixing thread on the loaded song; false without song or device.
bool MusicPlay();
// Position of the block being heard: order << 8 | row; 0 before playing or when stopped.
int MusicGetPosition();
// Stops output and frees the loaded song; false if there was none.
bool MusicFree();

// Offline driver, no device and no thread: the same block filler the device path runs.
// Begins rendering the loaded song from its current position; false without song.
bool MusicRenderBegin();
// Mixes the next block into pcm (MUSIC_BLOCK_FRAMES interleaved stereo int16 frames) and
// returns the position recorded for it (order << 8 | row); -1 when not rendering.
int MusicRenderBlock(int16_t* pcm);
// Ends offline rendering and releases its buffers (the song stays loaded).
void MusicRenderEnd();
