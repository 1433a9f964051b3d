#pragma once
// Blend tables and the glow profile: the lookups every 3D filler combines channels through.
#include <cstdint>

// 256 x 256 entries indexed [a * 256 + b]; every entry is a channel value 0..255.
// narrow holds the same values as bytes: a quarter of the cache footprint for the fillers'
// per-pixel lookups. BlendTablesCreate fills both.
struct BlendTable {
    int32_t entry[65536];
    uint8_t narrow[65536];
};

// The five tables and the glow profile; none until BlendTablesCreate, read-only after.
extern const BlendTable* BlendMultiply; // (a * b) / 256
extern const BlendTable* BlendScreen;   // (255 * b + a * (255 - b)) / 256
extern const BlendTable* BlendAdd;      // min(a + b, 255)
extern const BlendTable* BlendFirst;    // a
extern const BlendTable* BlendSecond;   // b
extern const int32_t* GlowProfile;      // 256 entries, 0..191 filled with the Gaussian falloff

// Builds the five tables and the glow profile (once, at set-up); false if memory ran out.
bool BlendTablesCreate();
// Frees the tables and the profile and resets the pointers to none.
void BlendTablesDestroy();
