// A production for host tests that never run the frame loop; it remembers what it was given.
#include "host/host.h"

FrameInfo stubLastFrameInfo;
FrameSurface* stubLastFrameSurface;

void DemoConfigure(DemoConfig&) {}
bool DemoSetup(const DemoConfig&) { return true; }
bool DemoFrame(FrameSurface& frame, const FrameInfo& info)
{
    stubLastFrameInfo = info;
    stubLastFrameSurface = &frame;
    return info.timeMs < 1000;
}
void DemoTeardown() {}
