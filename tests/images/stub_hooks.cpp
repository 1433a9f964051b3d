// Production hooks for the picture tests, which never start the frame loop.
#include "host/host.h"

void DemoConfigure(DemoConfig&) {}
bool DemoSetup(const DemoConfig&) { return true; }
bool DemoFrame(FrameSurface&, const FrameInfo&) { return false; }
void DemoTeardown() {}
