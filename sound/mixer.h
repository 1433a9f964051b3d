// Voice mixer: 64 voices resampled by linear interpolation at a 32.32 step into stereo floats,
// with gain ramps and forward and ping-pong loops; and the float-to-PCM conversion.
#pragma once

#include <cstdint>

struct Sample;

constexpr int VOICE_COUNT = 64;
constexpr int MIX_RAMP_FRAMES = 128;    // frames over which a gain change is spread
constexpr int VOICE_FORWARD = 1;
constexpr int VOICE_BACKWARD = 2;

struct Voice {
    int index;              // place in the pool
    int volume;             // 0-127, last volume from UpdateVoice
    int pan;                // 0 full left - 255 full right
    uint32_t startOffset;   // sample position the next trigger starts at
    Sample* sample;         // null: silent, skipped
    int gainA;              // target gain of the first (left) sample of each frame, 0-127
    int gainB;              // target gain of the second (right) sample
    uint32_t position;      // integer part of the play position, in sample values
    uint32_t fraction;      // fractional part, units of 2^-32
    uint32_t stepFraction;
    uint32_t stepInteger;
    int direction;          // VOICE_FORWARD or VOICE_BACKWARD (ping-pong loops only)
    int lastGainA;          // targets the running ramp heads for
    int lastGainB;
    int levelA;             // current gains x 256
    int levelB;
    float rampStepA;        // change of the gain per frame, units of 1/255
    float rampStepB;
    int rampFramesLeft;     // 0: no ramp running
};

// The process-wide pool; owned by the thread that runs the block filler.
Voice* VoicePool();
// Zeroes all 64 voices and sets each one's index.
void VoicePoolReset();
// Adds every sounding voice into n interleaved stereo frames of dst.
void MixVoices(float* dst, int n);
// Rounds 2 x n floats to the nearest integer (ties to even), clipped to 16 bits.
void ConvertBlock(int16_t* dst, const float* src, int n);
// The plain reference of ConvertBlock (and the path on machines without SSE2).
void ConvertBlockScalar(int16_t* dst, const float* src, int n);
