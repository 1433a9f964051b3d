// Pattern player. State: the 32 channels, owned by the thread that runs the block filler (the
// mixing thread once it runs; before that the thread that starts output).
#include "sound/player.h"

#include "sound/mixer.h"
#include "sound/modulation.h"
#include "sound/music.h"
#include "sound/song.h"

#include <cstring>
#include <iterator>

static Channel g_channels[CHANNEL_COUNT];

// Periods beyond this are far below the lowest audible frequency; the cap keeps a long
// portamento down from overflowing.
static const int kMaxPeriod = 1 << 24;
// Portamento up stops at this period.
static const int kMinPeriod = 56;
// Channel and global volume; effect C alone may set a channel above it.
static const int kMaxVolume = 64;
static const int kMaxPan = 255;
// A pattern break to a later row starts the next pattern from its top.
static const int kLastBreakRow = 63;
// Effect F: parameters from here on set the BPM, lower ones the speed.
static const int kFirstBpm = 32;
// The halves of a channel's wave control.
static const uint8_t kVibratoWaveform = 0x0F;
static const uint8_t kTremoloWaveform = 0xF0;
// What a note delay holds back until its tick.
static const uint8_t kNoteFlags = CHANNEL_FREQUENCY | CHANNEL_VOLUME | CHANNEL_PAN | CHANNEL_TRIGGER;

enum Effect : uint8_t {
    EFFECT_ARPEGGIO = 0, EFFECT_PORTAMENTO_UP = 1, EFFECT_PORTAMENTO_DOWN = 2, EFFECT_TONE_PORTAMENTO = 3,
    EFFECT_VIBRATO = 4, EFFECT_TONE_PORTAMENTO_SLIDE = 5, EFFECT_VIBRATO_SLIDE = 6, EFFECT_TREMOLO = 7,
    EFFECT_PANNING = 8, EFFECT_SAMPLE_OFFSET = 9, EFFECT_VOLUME_SLIDE = 10, EFFECT_POSITION_JUMP = 11,
    EFFECT_VOLUME = 12, EFFECT_PATTERN_BREAK = 13, EFFECT_EXTENDED = 14, EFFECT_SPEED = 15,
    EFFECT_GLOBAL_VOLUME = 16, EFFECT_GLOBAL_SLIDE = 17, EFFECT_KEY_OFF = 20, EFFECT_ENVELOPE_POSITION = 21,
    EFFECT_PANNING_SLIDE = 25, EFFECT_RETRIGGER = 27, EFFECT_TREMOR = 29, EFFECT_EXTRA_FINE = 33,
    EFFECT_COUNT = 34,
};

// One pattern cell by name.
struct PatternCell {
    uint8_t note;           // 0 none, 1-96, NOTE_KEY_OFF
    uint8_t instrument;     // 0 none, 1-128
    uint8_t volume;         // volume column
    uint8_t effect;         // Effect
    uint8_t parameter;
};

// A channel's cell on this tick and what it plays.
struct EffectContext {
    Song* song;
    Channel* channel;
    Instrument* instrument;
    Sample* sample;
    PatternCell cell;
    int x, y;               // the parameter's high and low nibble
    int savedPeriod;        // row start only: the channel before the row, for note delay
    int savedVolume;
    int savedPan;
    bool* jumped;           // row start only: a position jump came earlier in the row
};

using EffectStep = void (*)(EffectContext& e);

// One line of an effect table: the action on the row's first tick and on each later one.
struct EffectActions {
    EffectStep row;
    EffectStep tick;
};

Channel* ChannelPool()
{
    return g_channels;
}

void SetTempo(Song* song, int bpm)
{
    song->bpm = bpm;
    double tempo = bpm < 1 ? 1.0 : double(bpm);
    double frames = (1000.0 / (tempo * double(0.4f))) * MUSIC_MIX_RATE * double(0.001f);
    song->framesPerTick = frames < 1.0 ? 1 : int(frames);
}

void PlayerReset(Song* song)
{
    song->speed = song->defaultTempo;
    SetTempo(song, song->defaultBpm);
    song->globalVolume = song->initialGlobalVolume;
    song->nextRow = song->nextOrder = -1;
    song->framesLeft = 0;
    song->tick = 0;
    song->patternDelay = 0;
    memset(g_channels, 0, sizeof g_channels);
    for (int i = 0; i < CHANNEL_COUNT; i++)
        g_channels[i].voice = &VoicePool()[i];
}

static Pattern* CurrentPattern(Song* song)
{
    return &song->patterns[song->orders[song->order]];
}

static PatternCell CellAt(Song* song, int channel)
{
    size_t index = size_t(song->row) * size_t(song->channels) + size_t(channel);
    const uint8_t* b = CurrentPattern(song)->cells + index * CELL_BYTES;
    return PatternCell{b[0], b[1], b[2], b[3], b[4]};
}

static void SelectSample(const Song* song, const Channel* channel, Instrument** instrument, Sample** sample)
{
    if (channel->instrument >= song->instrumentCount || channel->noteIndex >= INSTRUMENT_NOTES) {
        *instrument = &g_emptyInstrument;
        *sample = &g_emptySample;
        return;
    }
    Instrument* selected = &song->instruments[channel->instrument];
    uint8_t slot = selected->keymap[channel->noteIndex];
    *instrument = selected;
    *sample = slot < INSTRUMENT_MAX_SAMPLES ? selected->samples[slot] : &g_emptySample;
}

static EffectContext ContextFor(Song* song, Channel* channel, const PatternCell& cell)
{
    EffectContext e{song, channel, nullptr, nullptr, cell, cell.parameter >> 4, cell.parameter & 15,
                    channel->period, channel->volume, channel->pan, nullptr};
    SelectSample(song, channel, &e.instrument, &e.sample);
    return e;
}

static int Clamp(int value, int low, int high)
{
    return value < low ? low : value > high ? high : value;
}

// Every slide stops at its limit in the direction it moves and only there.
static int SlideUp(int value, int step, int top)
{
    return value + step > top ? top : value + step;
}

static int SlideDown(int value, int step, int bottom)
{
    return value - step < bottom ? bottom : value - step;
}

// The slide of effects A, H and P: up by the high nibble if it is set, else down by the low one.
static int Slide(int value, uint8_t memory, int top)
{
    return memory >> 4 ? SlideUp(value, memory >> 4, top) : SlideDown(value, memory & 15, 0);
}

static void SetPeriod(Channel* channel, int period)
{
    channel->period = period;
    channel->updateFlags |= CHANNEL_FREQUENCY;
}

static void SetVolume(Channel* channel, int volume)
{
    channel->volume = volume;
    channel->updateFlags |= CHANNEL_VOLUME;
}

static void Remember(uint8_t* memory, uint8_t parameter)
{
    if (parameter)
        *memory = parameter;
}

static void AdvanceVibrato(Channel* channel)
{
    int p = channel->vibratoPosition + channel->vibratoSpeed;
    if (p > 31)
        p -= 64;
    channel->vibratoPosition = int8_t(p);
}

// Every pan change goes to the voice on the next update.
static void SetPan(Channel* channel, int pan)
{
    channel->pan = pan;
    channel->updateFlags |= CHANNEL_PAN;
}

void ApplyVolumeColumn(Channel* channel, uint8_t value)
{
    int y = value & 15;
    switch (value >> 4) {
    case 1: case 2: case 3: case 4: case 5:
        if (value <= 0x50)
            SetVolume(channel, value - 0x10);
        break;
    case 6: case 8: SetVolume(channel, SlideDown(channel->volume, y, 0)); break;
    case 7: case 9: SetVolume(channel, SlideUp(channel->volume, y, kMaxVolume)); break;
    case 0xA: channel->vibratoSpeed = uint8_t(y); break;
    case 0xB: channel->vibratoDepth = uint8_t(y); break;
    case 0xC: SetPan(channel, y * 16); break;
    case 0xD: SetPan(channel, channel->pan - y); break;
    case 0xE: SetPan(channel, channel->pan + y); break;
    case 0xF:
        if (y)
            channel->tonePortamentoSpeed = uint8_t(y * 16);
        channel->tonePortamentoTarget = channel->basePeriod;
        channel->updateFlags &= uint8_t(~CHANNEL_TRIGGER);
        break;
    default: break;
    }
}

static void VolumeColumnTick(Channel* channel, uint8_t value)
{
    int y = value & 15;
    switch (value >> 4) {
    case 6: SetVolume(channel, SlideDown(channel->volume, y, 0)); break;
    case 7: SetVolume(channel, SlideUp(channel->volume, y, kMaxVolume)); break;
    case 0xB:
        channel->vibratoDepth = uint8_t(y);
        Vibrato(channel);
        AdvanceVibrato(channel);
        break;
    case 0xD: SetPan(channel, channel->pan - y); break;
    case 0xE: SetPan(channel, channel->pan + y); break;
    case 0xF: TonePortamento(channel); break;
    default: break;
    }
}

static void SetEnvelopePosition(Channel* channel, const Envelope& envelope, int t)
{
    const EnvelopePoint* x = envelope.points;
    int n = envelope.count;
    EnvelopeState* state = &channel->volumeEnvelope;
    int i = 0;
    // Every index from n - 1 on ends the same way, so the search stops there, inside the points.
    if (n > 1 && t > x[1].x) {
        do {
            if (i >= n - 1)
                break;
            i++;
        } while (i < n - 1 && t > x[i + 1].x);
    }
    state->index = i;
    if (i >= n - 1) {
        state->value = n > 0 ? x[n - 1].y : 0;
        state->finished = 1;
        return;
    }
    state->finished = 0;
    state->tick = t;
    state->step = x[i + 1].x == x[i].x
                      ? 0
                      : int(int64_t(int(x[i + 1].y) - int(x[i].y)) * 65536 / (int(x[i + 1].x) - int(x[i].x)));
    state->value16 = int(uint32_t(t - x[i].x) * uint32_t(state->step) + (uint32_t(x[i].y) << 16));
    state->index = i + 1;
    state->value = state->value16 >> 16;
}

static void RetriggerVolume(Channel* channel)
{
    int v = channel->volume;
    switch (channel->retriggerVolume) {
    case 0:
        channel->updateFlags |= CHANNEL_VOLUME;  // no change and no limit
        return;
    case 1: v -= 1; break;
    case 2: v -= 2; break;
    case 3: v -= 4; break;
    case 4: v -= 8; break;
    case 5: v -= 16; break;
    case 6: v = v * 2 / 3; break;
    case 7: v >>= 1; break;
    case 8: break;
    case 9: v += 1; break;
    case 10: v += 2; break;
    case 11: v += 4; break;
    case 12: v += 8; break;
    case 13: v += 16; break;
    case 14: v = v * 3 / 2; break;
    case 15: v *= 2; break;
    default: break;
    }
    SetVolume(channel, Clamp(v, 0, kMaxVolume));
}

// ---- the effects, in the order of their numbers: row action, then tick action ----

// A volume slide first: 5 and 6 slide the volume the same way.
static void VolumeSlideRow(EffectContext& e)
{
    Remember(&e.channel->volumeSlideMemory, e.cell.parameter);
}

static void VolumeSlideTick(EffectContext& e)
{
    SetVolume(e.channel, Slide(e.channel->volume, e.channel->volumeSlideMemory, kMaxVolume));
}

static void Arpeggio(EffectContext& e)
{
    Channel* c = e.channel;
    if (!e.cell.parameter)
        return;
    int phase = e.song->tick % 3;
    int semitones = phase == 1 ? e.x : phase == 2 ? e.y : 0;
    if (e.song->flags & SONG_LINEAR_FREQUENCIES)
        c->periodDelta = semitones * 64;
    else
        c->periodDelta =
            AmigaPeriod(c->realNote + semitones, c->finetune) - AmigaPeriod(c->realNote, c->finetune);
    c->updateFlags |= CHANNEL_FREQUENCY;
}

static void PortamentoUpRow(EffectContext& e)
{
    Remember(&e.channel->portamentoUpMemory, e.cell.parameter);
}

static void PortamentoUpTick(EffectContext& e)
{
    SetPeriod(e.channel, SlideDown(e.channel->period, 4 * e.channel->portamentoUpMemory, kMinPeriod));
}

static void PortamentoDownRow(EffectContext& e)
{
    Remember(&e.channel->portamentoDownMemory, e.cell.parameter);
}

static void PortamentoDownTick(EffectContext& e)
{
    SetPeriod(e.channel, SlideUp(e.channel->period, 4 * e.channel->portamentoDownMemory, kMaxPeriod));
}

// The row's note becomes the target instead of starting.
static void AimTonePortamento(Channel* channel)
{
    channel->tonePortamentoTarget = channel->basePeriod;
    channel->updateFlags &= uint8_t(~(CHANNEL_FREQUENCY | CHANNEL_TRIGGER));
}

static void TonePortamentoRow(EffectContext& e)
{
    Remember(&e.channel->tonePortamentoSpeed, e.cell.parameter);
    AimTonePortamento(e.channel);
}

static void TonePortamentoTick(EffectContext& e)
{
    TonePortamento(e.channel);
}

static void VibratoRow(EffectContext& e)
{
    Remember(&e.channel->vibratoSpeed, uint8_t(e.x));
    Remember(&e.channel->vibratoDepth, uint8_t(e.y));
    Vibrato(e.channel);
}

static void VibratoTick(EffectContext& e)
{
    Vibrato(e.channel);
    AdvanceVibrato(e.channel);
}

static void TonePortamentoSlideRow(EffectContext& e)
{
    VolumeSlideRow(e);
    AimTonePortamento(e.channel);
}

static void TonePortamentoSlideTick(EffectContext& e)
{
    TonePortamentoTick(e);
    VolumeSlideTick(e);
}

static void VibratoSlideRow(EffectContext& e)
{
    VolumeSlideRow(e);
    Vibrato(e.channel);
}

static void VibratoSlideTick(EffectContext& e)
{
    VibratoTick(e);
    VolumeSlideTick(e);
}

static void TremoloRow(EffectContext& e)
{
    Remember(&e.channel->tremoloSpeed, uint8_t(e.x));
    Remember(&e.channel->tremoloDepth, uint8_t(e.y));
}

static void TremoloTick(EffectContext& e)
{
    Tremolo(e.channel);
}

static void PanningRow(EffectContext& e)
{
    SetPan(e.channel, e.cell.parameter);
}

static void SampleOffsetRow(EffectContext& e)
{
    Channel* c = e.channel;
    if (e.cell.parameter)
        c->sampleOffsetMemory = e.cell.parameter;
    uint32_t offset = uint32_t(c->sampleOffsetMemory) * 256;
    if (offset >= e.sample->loopStart + e.sample->loopLength) {
        c->updateFlags &= uint8_t(~CHANNEL_TRIGGER);
        c->updateFlags |= CHANNEL_RESET_POSITION;
    } else {
        c->voice->startOffset = offset;
    }
}

static void PositionJumpRow(EffectContext& e)
{
    Song* song = e.song;
    song->nextOrder = e.cell.parameter >= song->songLength ? 0 : e.cell.parameter;
    song->nextRow = 0;
    *e.jumped = true;
}

static void SetVolumeRow(EffectContext& e)
{
    SetVolume(e.channel, e.cell.parameter);
}

static void PatternBreakRow(EffectContext& e)
{
    Song* song = e.song;
    int row = e.x * 10 + e.y;
    song->nextRow = row > kLastBreakRow ? 0 : row;
    if (!*e.jumped) {
        song->nextOrder = song->order + 1;
        if (song->nextOrder >= song->songLength)
            song->nextOrder = 0;
    }
}

static void ExtendedRow(EffectContext& e);
static void ExtendedTick(EffectContext& e);

static void SpeedRow(EffectContext& e)
{
    if (e.cell.parameter < kFirstBpm)
        e.song->speed = e.cell.parameter;
    else
        SetTempo(e.song, e.cell.parameter);
}

static void GlobalVolumeRow(EffectContext& e)
{
    e.song->globalVolume = e.cell.parameter > kMaxVolume ? kMaxVolume : e.cell.parameter;
    e.channel->updateFlags |= CHANNEL_VOLUME;
}

static void GlobalSlideRow(EffectContext& e)
{
    Remember(&e.song->globalVolumeSlideMemory, e.cell.parameter);
}

// No channel flag: channels pick the change up whenever their volume is next recomputed.
static void GlobalSlideTick(EffectContext& e)
{
    e.song->globalVolume = Slide(e.song->globalVolume, e.song->globalVolumeSlideMemory, kMaxVolume);
}

static void EnvelopePositionRow(EffectContext& e)
{
    if (e.instrument->volume.type & ENVELOPE_ON)
        SetEnvelopePosition(e.channel, e.instrument->volume, e.cell.parameter);
}

static void PanningSlideRow(EffectContext& e)
{
    Remember(&e.channel->panningSlideMemory, e.cell.parameter);
    e.channel->updateFlags |= CHANNEL_PAN;
}

static void PanningSlideTick(EffectContext& e)
{
    SetPan(e.channel, Slide(e.channel->pan, e.channel->panningSlideMemory, kMaxPan));
}

static void RetriggerRow(EffectContext& e)
{
    if (e.cell.parameter) {
        e.channel->retriggerVolume = uint8_t(e.x);
        e.channel->retriggerInterval = uint8_t(e.y);
    }
}

static void RetriggerTick(EffectContext& e)
{
    Channel* c = e.channel;
    if (c->retriggerInterval && e.song->tick % c->retriggerInterval == 0) {
        RetriggerVolume(c);
        c->updateFlags |= CHANNEL_TRIGGER;
    }
}

static void TremorRow(EffectContext& e)
{
    if (e.cell.parameter) {
        e.channel->tremorOn = uint8_t(e.x + 1);
        e.channel->tremorOff = uint8_t(e.y + 1);
    }
    Tremor(e.channel);
}

static void TremorTick(EffectContext& e)
{
    Tremor(e.channel);
}

static void ExtraFineRow(EffectContext& e)
{
    Channel* c = e.channel;
    if (e.x == 1) {
        Remember(&c->extraFineUpMemory, uint8_t(e.y));
        c->period -= c->extraFineUpMemory;
    } else if (e.x == 2) {
        Remember(&c->extraFineDownMemory, uint8_t(e.y));
        c->period += c->extraFineDownMemory;
    }
}

// By effect number. Key off (K) has no action of its own: the row start reads it with the
// key-off note.
static const EffectActions kEffects[] = {
    {nullptr, Arpeggio},                                    // 0 arpeggio
    {PortamentoUpRow, PortamentoUpTick},                    // 1 portamento up
    {PortamentoDownRow, PortamentoDownTick},                // 2 portamento down
    {TonePortamentoRow, TonePortamentoTick},                // 3 tone portamento
    {VibratoRow, VibratoTick},                              // 4 vibrato
    {TonePortamentoSlideRow, TonePortamentoSlideTick},      // 5 tone portamento + volume slide
    {VibratoSlideRow, VibratoSlideTick},                    // 6 vibrato + volume slide
    {TremoloRow, TremoloTick},                              // 7 tremolo
    {PanningRow, nullptr},                                  // 8 set panning
    {SampleOffsetRow, nullptr},                             // 9 sample offset
    {VolumeSlideRow, VolumeSlideTick},                      // A volume slide
    {PositionJumpRow, nullptr},                             // B position jump
    {SetVolumeRow, nullptr},                                // C set volume
    {PatternBreakRow, nullptr},                             // D pattern break
    {ExtendedRow, ExtendedTick},                            // E extended
    {SpeedRow, nullptr},                                    // F speed or tempo
    {GlobalVolumeRow, nullptr},                             // G global volume
    {GlobalSlideRow, GlobalSlideTick},                      // H global volume slide
    {}, {},                                                 // 18, 19
    {},                                                     // K key off
    {EnvelopePositionRow, nullptr},                         // L envelope position
    {}, {}, {},                                             // 22-24
    {PanningSlideRow, PanningSlideTick},                    // P panning slide
    {},                                                     // 26
    {RetriggerRow, RetriggerTick},                          // R multi retrigger
    {},                                                     // 28
    {TremorRow, TremorTick},                                // T tremor
    {}, {}, {},                                             // 30-32
    {ExtraFineRow, nullptr},                                // X extra-fine portamento
};
static_assert(std::size(kEffects) == EFFECT_COUNT);

// ---- the extended effects E1-EE, selected by x ----

static void FinePortamentoUpRow(EffectContext& e)
{
    Remember(&e.channel->finePortamentoUpMemory, uint8_t(e.y));
    e.channel->period -= 4 * e.channel->finePortamentoUpMemory;
}

static void FinePortamentoDownRow(EffectContext& e)
{
    Remember(&e.channel->finePortamentoDownMemory, uint8_t(e.y));
    e.channel->period += 4 * e.channel->finePortamentoDownMemory;
}

static void VibratoWaveformRow(EffectContext& e)
{
    e.channel->waveControl = uint8_t((e.channel->waveControl & kTremoloWaveform) | e.y);
}

static void PatternLoopRow(EffectContext& e)
{
    Channel* c = e.channel;
    if (e.y == 0) {
        c->loopRow = e.song->row;
        return;
    }
    c->loopCounter = c->loopCounter == 0 ? e.y : c->loopCounter - 1;
    if (c->loopCounter != 0)
        e.song->nextRow = c->loopRow;
}

static void TremoloWaveformRow(EffectContext& e)
{
    e.channel->waveControl = uint8_t((e.channel->waveControl & kVibratoWaveform) | e.y << 4);
}

static void FinePanningRow(EffectContext& e)
{
    SetPan(e.channel, e.y * 16);
}

static void RetriggerNoteTick(EffectContext& e)
{
    if (e.y && e.song->tick % e.y == 0)
        e.channel->updateFlags |= CHANNEL_TRIGGER | CHANNEL_FREQUENCY | CHANNEL_VOLUME;
}

static void FineVolumeUpRow(EffectContext& e)
{
    Remember(&e.channel->fineVolumeMemory, uint8_t(e.y));
    SetVolume(e.channel, SlideUp(e.channel->volume, e.channel->fineVolumeMemory, kMaxVolume));
}

static void FineVolumeDownRow(EffectContext& e)
{
    Remember(&e.channel->fineVolumeMemory, uint8_t(e.y));
    SetVolume(e.channel, SlideDown(e.channel->volume, e.channel->fineVolumeMemory, 0));
}

static void NoteCutTick(EffectContext& e)
{
    if (e.song->tick == e.y)
        SetVolume(e.channel, 0);
}

static void NoteDelayRow(EffectContext& e)
{
    Channel* c = e.channel;
    c->period = e.savedPeriod;
    c->volume = e.savedVolume;
    c->pan = e.savedPan;
    c->updateFlags &= uint8_t(~kNoteFlags);
}

static void NoteDelayTick(EffectContext& e)
{
    Channel* c = e.channel;
    if (e.song->tick != e.y) {
        c->updateFlags &= uint8_t(~kNoteFlags);
        return;
    }
    ResetChannel(c, e.sample);
    c->period = c->basePeriod;
    c->updateFlags |= CHANNEL_FREQUENCY;
    if (e.cell.volume)
        ApplyVolumeColumn(c, e.cell.volume);
    c->updateFlags |= CHANNEL_TRIGGER;
}

static void PatternDelayRow(EffectContext& e)
{
    e.song->patternDelay = e.y * e.song->speed;
}

static const EffectActions kExtendedEffects[] = {
    {},                                                     // E0
    {FinePortamentoUpRow, nullptr},                         // E1 fine portamento up
    {FinePortamentoDownRow, nullptr},                       // E2 fine portamento down
    {},                                                     // E3 glissando control: ignored
    {VibratoWaveformRow, nullptr},                          // E4 vibrato waveform
    {},                                                     // E5 set finetune: read with the note
    {PatternLoopRow, nullptr},                              // E6 pattern loop
    {TremoloWaveformRow, nullptr},                          // E7 tremolo waveform
    {FinePanningRow, nullptr},                              // E8 set panning
    {nullptr, RetriggerNoteTick},                           // E9 retrigger note
    {FineVolumeUpRow, nullptr},                             // EA fine volume up
    {FineVolumeDownRow, nullptr},                           // EB fine volume down
    {nullptr, NoteCutTick},                                 // EC note cut
    {NoteDelayRow, NoteDelayTick},                          // ED note delay
    {PatternDelayRow, nullptr},                             // EE pattern delay
    {},                                                     // EF
};
static_assert(std::size(kExtendedEffects) == 16);

static void ExtendedRow(EffectContext& e)
{
    if (EffectStep step = kExtendedEffects[e.x].row)
        step(e);
}

static void ExtendedTick(EffectContext& e)
{
    if (EffectStep step = kExtendedEffects[e.x].tick)
        step(e);
}

// ---- rows and ticks ----

// E5x on the note's row replaces its sample's finetune for this note by (x - 8) * 16: E58 is 0,
// E50 a semitone down. The loaded song is never written.
static int NoteFinetune(const PatternCell& cell, const Sample* sample)
{
    if (cell.effect == EFFECT_EXTENDED && cell.parameter >> 4 == 5)
        return ((cell.parameter & 15) - 8) * 16;
    return sample->finetune;
}

static void StepEnvelopes(Channel* c, const Instrument* instrument, bool cut)
{
    if (instrument->volume.type & ENVELOPE_ON) {
        if (!c->volumeEnvelope.finished)
            StepEnvelope(c, &c->volumeEnvelope, instrument->volume, CHANNEL_VOLUME);
    } else if (cut && c->keyOff) {
        c->volumeEnvelope.value = 0;
    }
    if ((instrument->panning.type & ENVELOPE_ON) && !c->panningEnvelope.finished)
        StepEnvelope(c, &c->panningEnvelope, instrument->panning, CHANNEL_PAN);
    if (c->keyOff) {
        c->fadeout = SlideDown(c->fadeout, instrument->fadeout, 0);
        c->updateFlags |= CHANNEL_VOLUME;
    }
}

static void ProcessRowChannel(Song* song, Channel* c, const PatternCell& cell, bool* jumped)
{
    bool portamento = cell.effect == EFFECT_TONE_PORTAMENTO || cell.effect == EFFECT_TONE_PORTAMENTO_SLIDE;
    bool note = cell.note && cell.note != NOTE_KEY_OFF;
    if (cell.instrument && !portamento)
        c->instrument = uint8_t(cell.instrument - 1);
    if (note && !portamento)
        c->noteIndex = uint8_t(cell.note - 1);
    EffectContext e = ContextFor(song, c, cell);
    e.jumped = jumped;
    if (c->lastEffect == EFFECT_TREMOLO && cell.effect != EFFECT_TREMOLO)
        c->volume += c->volumeDelta;
    c->lastEffect = cell.effect;
    c->volumeDelta = 0;
    c->updateFlags = 0;
    if (note) {
        c->realNote = uint8_t(cell.note + e.sample->relativeNote - 1);
        c->finetune = NoteFinetune(cell, e.sample);
        c->basePeriod = NotePeriod(song, c->realNote, c->finetune);
        if (!portamento)
            c->period = c->basePeriod;
        c->updateFlags = CHANNEL_TRIGGER;
    }
    c->updateFlags |= CHANNEL_FREQUENCY | CHANNEL_VOLUME;
    c->periodDelta = 0;
    if (cell.instrument)
        ResetChannel(c, e.sample);
    if (cell.volume)
        ApplyVolumeColumn(c, cell.volume);
    if (cell.note == NOTE_KEY_OFF || cell.effect == EFFECT_KEY_OFF)
        c->keyOff = 1;
    StepEnvelopes(c, e.instrument, true);
    if (cell.effect < EFFECT_COUNT && kEffects[cell.effect].row)
        kEffects[cell.effect].row(e);
    AutoVibrato(c, e.instrument);
    UpdateVoice(c, e.sample, song);
}

void ProcessRow(Song* song)
{
    song->nextRow = song->nextOrder = -1;
    bool jumped = false;
    for (int i = 0; i < song->channels; i++)
        ProcessRowChannel(song, &g_channels[i], CellAt(song, i), &jumped);
}

void ProcessTick(Song* song)
{
    for (int i = 0; i < song->channels; i++) {
        Channel* c = &g_channels[i];
        EffectContext e = ContextFor(song, c, CellAt(song, i));
        c->volumeDelta = 0;
        c->periodDelta = 0;
        c->updateFlags = 0;
        StepEnvelopes(c, e.instrument, false);
        if (e.cell.volume)
            VolumeColumnTick(c, e.cell.volume);
        if (e.cell.effect < EFFECT_COUNT && kEffects[e.cell.effect].tick)
            kEffects[e.cell.effect].tick(e);
        AutoVibrato(c, e.instrument);
        UpdateVoice(c, e.sample, song);
    }
}

void TickHandler(Song* song)
{
    if (song->tick == 0) {
        if (song->nextOrder >= 0)
            song->order = song->nextOrder;
        if (song->nextRow >= 0)
            song->row = song->nextRow;
        // A break or loop row past the end of a shorter pattern starts it from its top.
        if (song->row >= CurrentPattern(song)->rows)
            song->row = 0;
        ProcessRow(song);
        if (song->nextRow == -1) {
            song->nextRow = song->row + 1;
            if (song->nextRow >= CurrentPattern(song)->rows) {
                song->nextOrder = song->order + 1;
                if (song->nextOrder >= song->songLength)
                    song->nextOrder = song->restartPosition;
                song->nextRow = 0;
            }
        }
    } else {
        ProcessTick(song);
    }
    song->tick++;
    if (song->tick >= song->speed + song->patternDelay) {
        song->patternDelay = 0;
        song->tick = 0;
    }
}
