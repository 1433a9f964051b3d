// Host pieces shared between its own files.
#pragma once

// True on the frame thread.
bool HostOnFrameThread();
// True between FrameThreadStart and FrameThreadStop.
bool FrameThreadRunning();
// Stops and frees the music when (HostFlags & 0x0A), with the module block.
void HostReleaseMusic();
