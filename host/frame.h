// The frame the production draws into, what it is told about the moment, and the clock.
#pragma once

#include <cstdint>

#include "host/pixels.h"

struct DemoConfig;

// The Surface the frame hook draws into plus three fields copied from the DemoConfig.
// Filled once before the frame thread starts, never changed while it runs.
struct FrameSurface : Surface {
    float aspect;
    float scaleX;  // fraction of the width that content should keep to
    float scaleY;
};

struct FrameInfo {
    uint16_t position;          // music position: order in bits 8-15, row in bits 0-7
    uint16_t previousPosition;  // position of the previous frame; 0xFFFF on the first frame
    int32_t timeMs;             // milliseconds since the frame thread started the clock
};

// True when boundary has been crossed between the previous frame and this one.
inline bool FramePositionCrossed(const FrameInfo& info, uint16_t boundary)
{
    return info.position >= boundary && info.previousPosition < boundary;
}

// Fills surface from config over the given frame buffer (pitch = width * bitsPerPixel / 8).
void FrameSurfaceFill(FrameSurface& surface, const DemoConfig& config, uint32_t* pixels);
// The host's frame surface and the frame info of the frame in progress (frame thread).
FrameSurface& HostFrameSurface();
// One step of the frame loop with the given moment: shifts the position into previousPosition,
// stores position and timeMs and calls DemoFrame. Offline drivers call it with their own moments.
bool FrameAdvance(FrameInfo& info, uint16_t position, int32_t timeMs);

// Takes the counter value that ClockMilliseconds measures from; false when it cannot be read.
bool ClockStart();
// Milliseconds since ClockStart (low 32 bits); 0 when the counter cannot be read.
int32_t ClockMilliseconds();

// The frame thread's body: clock, music, then frames until DemoFrame ends or shutdown is asked.
int FrameThreadMain(void* unused);
// Starts the frame thread (main thread).
void FrameThreadStart();
// Asks the frame thread to stop after its current frame and waits for it (main thread).
void FrameThreadStop();
