// Sound output internals: the block filler, the mixing thread and the device ring.
#pragma once

struct Song;

// Starts the device and the mixing thread on the song, from where it stands; false when the
// song is null or no device opens.
bool SoundStart(Song* song);
// Stops the mixing thread and the device and frees their buffers, if the song is the one
// being played or rendered; false for null.
bool SoundStop(Song* song);
// Mixes the block at the write index and records the position it ends at.
void FillBlock();
