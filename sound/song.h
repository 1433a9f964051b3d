// XM module records and the loader that fills them. The file image is not needed after loading.
#pragma once

#include <cstdint>

// Where the loader's bytes come from; all five callbacks or none.
struct ModuleFileOps {
    void* (*open)(void* source);                                // file handle, null on failure
    void (*close)(void* file);
    int (*read)(void* destination, int count, void* file);     // bytes delivered
    void (*seek)(void* file, int64_t offset, int mode);         // 0 set, 1 current, 2 end
    int64_t (*tell)(void* file);
};

// A module image in memory owned by the caller.
struct MemoryFile {
    int size;
    int position;
    const uint8_t* base;
};

// Installs the loader's callbacks; clears all five when any is missing. False then.
bool ModuleFileOpsSet(const ModuleFileOps& ops);
// The MemoryFile callbacks (open's source is a MemoryFile*).
const ModuleFileOps& ModuleFileOpsMemory();
// Installs the MemoryFile callbacks.
void ModuleFileOpsUseMemory();

constexpr int SONG_MAX_CHANNELS = 32;
constexpr int SONG_MAX_ORDERS = 256;
constexpr int SONG_MAX_ROWS = 256;
constexpr int INSTRUMENT_MAX_SAMPLES = 16;
constexpr int ENVELOPE_MAX_POINTS = 12;
constexpr int INSTRUMENT_NOTES = 96;        // notes 0-95 of the keymap
constexpr int CELL_BYTES = 5;
constexpr uint8_t NOTE_KEY_OFF = 255;
// Longer samples are cut: keeps 32.32 play positions and their reflections inside 63 bits.
constexpr uint32_t SAMPLE_MAX_LENGTH = 1u << 28;

enum SampleLoop : uint8_t { LOOP_NONE = 1, LOOP_FORWARD = 2, LOOP_PINGPONG = 4 };

struct Sample {
    int16_t* data;          // length + 8 values (the last 8 zero); null when empty
    uint32_t length;        // in sample values
    uint32_t loopStart;
    uint32_t loopLength;
    uint8_t volume;         // 0-64
    int8_t finetune;        // 1/128 semitone
    int pan;                // 0-255
    int8_t relativeNote;    // semitones
    uint8_t bits;           // 16 once loaded
    uint8_t fileBits;       // 8 or 16: how the file stored the data
    uint8_t loopMode;       // SampleLoop; 0 only in the shared empty sample
};

struct EnvelopePoint {
    uint16_t x;             // tick
    uint16_t y;             // 0-64
};

// Envelope type bits.
constexpr uint8_t ENVELOPE_ON = 1;
constexpr uint8_t ENVELOPE_SUSTAIN = 2;
constexpr uint8_t ENVELOPE_LOOP = 4;

struct Envelope {
    EnvelopePoint points[ENVELOPE_MAX_POINTS];
    uint8_t count;
    uint8_t sustain;
    uint8_t loopStart;
    uint8_t loopEnd;
    uint8_t type;           // 0 when there are no points
};

struct Instrument {
    int sampleCount;        // 0-16; samples at and past it are the shared empty sample
    Sample* samples[INSTRUMENT_MAX_SAMPLES];
    uint8_t keymap[INSTRUMENT_NOTES];  // sample slot for each note
    Envelope volume;
    Envelope panning;       // y 32 = centre
    uint8_t vibratoType;    // 0-3
    uint8_t vibratoSweep;
    uint8_t vibratoDepth;
    uint8_t vibratoRate;
    int fadeout;            // the file's value doubled (0-131070)
};

// Cells of 5 bytes: note (0 none, 1-96, 255 key off), instrument (0 none, 1-128), volume
// column, effect type, effect parameter; row r channel c at (r * channels + c) * 5.
struct Pattern {
    int rows;
    uint8_t* cells;
};

// Song flag bits.
constexpr uint16_t SONG_LINEAR_FREQUENCIES = 1;   // clear: the Amiga period table

struct Song {
    int16_t songLength;         // 1-256 once loaded
    int16_t restartPosition;    // below songLength once loaded
    int16_t channels;           // 1-32 once loaded
    int16_t instrumentCount;
    uint16_t flags;             // SONG_* bits
    int16_t defaultTempo;
    int16_t defaultBpm;
    uint8_t orders[SONG_MAX_ORDERS];
    int patternsReferenced;
    int patternCount;           // slots: max(referenced, the header's count)
    int patternsInFile;         // the header's count
    Pattern* patterns;
    Instrument* instruments;
    uint8_t initialGlobalVolume;
    void (*tickHandler)(Song* song);

    // Playback state, owned by the thread running the block filler.
    int framesLeft;
    int framesPerTick;
    int globalVolume;
    uint8_t globalVolumeSlideMemory;
    int tick;
    int speed;
    int bpm;
    int row;
    int order;
    int patternDelay;
    int nextRow;
    int nextOrder;
};

// Allocates a song and loads it through the registered callbacks; null on failure.
Song* SongCreate(void* source);
// Parses the file into the song; false when the data is not a module it can play.
bool SongLoad(Song* song, void* file);
// Stops output of the song if it is playing and frees it; false for null.
bool SongDestroy(Song* song);

// Shared records for "nothing selected"; never freed, never changed.
extern Sample g_emptySample;
extern Instrument g_emptyInstrument;
