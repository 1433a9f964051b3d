// Pattern player: turns a loaded song into voice settings one tick at a time and keeps the
// song position moving through the order table.
#pragma once

#include <cstdint>

struct Song;
struct Voice;

constexpr uint8_t CHANNEL_FREQUENCY = 0x01;
constexpr uint8_t CHANNEL_VOLUME = 0x02;
constexpr uint8_t CHANNEL_PAN = 0x04;
constexpr uint8_t CHANNEL_TRIGGER = 0x08;
constexpr uint8_t CHANNEL_RESET_POSITION = 0x20;

struct EnvelopeState {
    int tick;
    int index;              // next point
    int value16;            // 16.16 fixed point
    int value;              // 0-64 (panning: 32 = centre)
    int step;               // 16.16 per tick
    uint8_t finished;
};

struct Channel {
    uint8_t noteIndex;          // last note - 1 given without tone portamento
    uint8_t updateFlags;        // CHANNEL_* work for UpdateVoice this tick
    Voice* voice;
    int period;
    int volume;                 // 0-64 (effect C: up to 255)
    int pan;                    // 0 left - 255 right (volume-column pan slides are not limited)
    int volumeDelta;            // tremolo or tremor offset of this tick
    int periodDelta;            // arpeggio, vibrato and auto-vibrato offset of this tick
    EnvelopeState volumeEnvelope;
    EnvelopeState panningEnvelope;
    int fadeout;                // 65536 = full
    int autoVibratoPosition;    // 0-255
    int autoVibratoSweep;
    uint8_t keyOff;
    uint8_t instrument;         // 0-based
    uint8_t realNote;           // note + relative note - 1, 8-bit
    int finetune;               // of the last note: its sample's, or the E5x on its row
    int basePeriod;
    uint8_t lastEffect;
    int sampleOffsetMemory;
    uint8_t portamentoDownMemory;
    uint8_t portamentoUpMemory;
    uint8_t extraFineDownMemory;
    uint8_t extraFineUpMemory;
    uint8_t volumeSlideMemory;
    uint8_t panningSlideMemory;
    uint8_t retriggerVolume;
    uint8_t retriggerInterval;
    int tonePortamentoTarget;
    uint8_t tonePortamentoSpeed;
    int8_t vibratoPosition;     // -32 ... 31
    uint8_t vibratoSpeed;
    uint8_t vibratoDepth;
    int8_t tremoloPosition;     // -32 ... 31
    uint8_t tremoloSpeed;
    uint8_t tremoloDepth;
    uint8_t tremorCounter;
    uint8_t tremorOn;
    uint8_t tremorOff;
    int loopRow;
    int loopCounter;
    uint8_t waveControl;        // low nibble vibrato waveform, high nibble tremolo waveform
    uint8_t fineVolumeMemory;
    uint8_t finePortamentoUpMemory;
    uint8_t finePortamentoDownMemory;
};

constexpr int CHANNEL_COUNT = 32;

// The process-wide channels; owned by the thread that runs the block filler.
Channel* ChannelPool();
// Playback state back to the song's defaults (current row and order kept), channels zeroed,
// channel i on voice i. The voice pool must have been reset.
void PlayerReset(Song* song);
// One tick: a new row at tick 0, per-tick effects otherwise.
void TickHandler(Song* song);
// Tick 0 of a row, all channels.
void ProcessRow(Song* song);
// Any later tick, all channels.
void ProcessTick(Song* song);
// BPM and the frames per tick it gives (882 at 125 BPM).
void SetTempo(Song* song, int bpm);
// The tick-0 meaning of a volume-column value.
void ApplyVolumeColumn(Channel* channel, uint8_t value);
