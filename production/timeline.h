// What the production's timeline tells programs that drive it (the video export's progress
// and storyboard): its scenes in the order of the song, by music position (order << 8 | row).
#pragma once

#include <cstdint>

constexpr int kTimelineScenes = 16;
// The song's end mark, order 42 row 32: its frame is drawn but ends the run.
constexpr uint16_t kTimelineEnd = 0x2A20;

// The first position of scene (0 to 15).
uint16_t TimelineSceneStart(int scene);
// The scene drawn at position.
int TimelineSceneAt(uint16_t position);
