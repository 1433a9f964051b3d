// The production's song: instruments synthesised here, patterns composed to the timeline.
#pragma once

#include "production/data/xm_writer.h"

// Rows of every pattern but the last; the timeline's events sit at rows up to 120.
constexpr int kSongRows = 128;
// The end mark the production stops at: order 42, row 32.
constexpr int kSongEndOrder = 42, kSongEndRow = 32;
constexpr int kSongTempo = 4, kSongBpm = 180;

XmSong SongCompose();
