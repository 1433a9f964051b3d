// Writes an extended module (XM 1.04 layout) from plain records: patterns packed, samples as
// 16-bit deltas. Single-threaded.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct XmCell {
    uint8_t note = 0; // 1..96, 97 = key off
    uint8_t instrument = 0;
    uint8_t volume = 0; // volume column byte (0x10..0x50 = set volume 0..64)
    uint8_t effect = 0;
    uint8_t param = 0;
};

struct XmPattern {
    int rows = 64;
    std::vector<XmCell> cells; // rows x channels
};

struct XmEnvelope {
    std::vector<std::pair<uint16_t, uint16_t>> points; // (tick, value 0..64), at most 12
    int sustain = -1, loopStart = -1, loopEnd = -1;
};

struct XmSample {
    std::string name;
    std::vector<int16_t> data;
    uint32_t loopStart = 0, loopLength = 0; // in sample values; length 0 = no loop
    bool pingPong = false;
    uint8_t volume = 64, pan = 128;
    int8_t finetune = 0, relativeNote = 0;
};

struct XmInstrument {
    std::string name;
    XmSample sample;
    XmEnvelope volume;
    uint8_t vibratoType = 0, vibratoSweep = 0, vibratoDepth = 0, vibratoRate = 0;
    uint16_t fadeout = 0;
};

struct XmSong {
    std::string name;
    int channels = 8;
    int tempo = 6, bpm = 125;
    int restart = 0;
    std::vector<uint8_t> orders;
    std::vector<XmPattern> patterns;
    std::vector<XmInstrument> instruments;
};

// The file image of the song.
std::vector<uint8_t> XmWrite(const XmSong& song);
