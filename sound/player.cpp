// Pattern player. State: the 32 channels, owned by the thread that runs the block filler (the
// mixing thread once it runs; before that the thread that starts output).
#include "sound/player.h"

#include "sound/mixer.h"
#include "sound/modulation.h"
#include "sound/music.h"
#include "sound/song.h"

#include <cstring>

static Channel g_channels[CHANNEL_COUNT];

// Periods beyond this are far below the lowest audible frequency; the cap keeps a long
// portamento down from overflowing.
static const int kMaxPeriod = 1 << 24;

enum Effect : uint8_t {
    EFFECT_ARPEGGIO = 0, EFFECT_PORTAMENTO_UP = 1, EFFECT_PORTAMENTO_DOWN = 2, EFFECT_TONE_PORTAMENTO = 3,
    EFFECT_VIBRATO = 4, EFFECT_TONE_PORTAMENTO_SLIDE = 5, EFFECT_VIBRATO_SLIDE = 6, EFFECT_TREMOLO = 7,
    EFFECT_PANNING = 8, EFFECT_SAMPLE_OFFSET = 9, EFFECT_VOLUME_SLIDE = 10, EFFECT_POSITION_JUMP = 11,
    EFFECT_VOLUME = 12, EFFECT_PATTERN_BREAK = 13, EFFECT_EXTENDED = 14, EFFECT_SPEED = 15,
    EFFECT_GLOBAL_VOLUME = 16, EFFECT_GLOBAL_SLIDE = 17, EFFECT_KEY_OFF = 20, EFFECT_ENVELOPE_POSITION = 21,
    EFFECT_PANNING_SLIDE = 25, EFFECT_RETRIGGER = 27, EFFECT_TREMOR = 29, EFFECT_EXTRA_FINE = 33,
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

static void SelectSample(const Song* song, const Channel* channel, Instrument** instrument, Sample** sample)
{
    if (channel->instrument >= song->instrumentCount || channel->noteIndex >= 96) {
        *instrument = &g_emptyInstrument;
        *sample = &g_emptySample;
        return;
    }
    Instrument* selected = &song->instruments[channel->instrument];
    uint8_t slot = selected->keymap[channel->noteIndex];
    *instrument = selected;
    *sample = slot < INSTRUMENT_MAX_SAMPLES ? selected->samples[slot] : &g_emptySample;
}

static int Clamp(int value, int low, int high)
{
    return value < low ? low : value > high ? high : value;
}

static void VolumeSlide(Channel* channel)
{
    uint8_t m = channel->volumeSlideMemory;
    if (m >> 4)
        channel->volume = channel->volume + (m >> 4) > 64 ? 64 : channel->volume + (m >> 4);
    else
        channel->volume = channel->volume - (m & 15) < 0 ? 0 : channel->volume - (m & 15);
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

static void VolumeColumnSlide(Channel* channel, uint8_t value)
{
    int y = value & 15;
    if (value >= 0x60 && value <= 0x6F)
        channel->volume = channel->volume - y < 0 ? 0 : channel->volume - y;
    else
        channel->volume = channel->volume + y > 64 ? 64 : channel->volume + y;
    channel->updateFlags |= CHANNEL_VOLUME;
}

void ApplyVolumeColumn(Channel* channel, uint8_t value)
{
    int y = value & 15;
    switch (value >> 4) {
    case 1: case 2: case 3: case 4: case 5:
        if (value <= 0x50) {
            channel->volume = value - 0x10;
            channel->updateFlags |= CHANNEL_VOLUME;
        }
        break;
    case 6: case 8: VolumeColumnSlide(channel, uint8_t(0x60 | y)); break;
    case 7: case 9: VolumeColumnSlide(channel, uint8_t(0x70 | y)); break;
    case 0xA: channel->vibratoSpeed = uint8_t(y); break;
    case 0xB: channel->vibratoDepth = uint8_t(y); break;
    case 0xC:
        SetPan(channel, y * 16);
        break;
    case 0xD:
        SetPan(channel, channel->pan - y);
        break;
    case 0xE:
        SetPan(channel, channel->pan + y);
        break;
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
    case 6: case 7: VolumeColumnSlide(channel, value); break;
    case 0xB:
        channel->vibratoDepth = uint8_t(y);
        Vibrato(channel);
        AdvanceVibrato(channel);
        break;
    case 0xD:
        SetPan(channel, channel->pan - y);
        break;
    case 0xE:
        SetPan(channel, channel->pan + y);
        break;
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
    state->step = x[i + 1].x == x[i].x ? 0 : int(int64_t(int(x[i + 1].y) - int(x[i].y)) * 65536 / (int(x[i + 1].x) - int(x[i].x)));
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
    channel->volume = Clamp(v, 0, 64);
    channel->updateFlags |= CHANNEL_VOLUME;
}

struct RowContext {
    Song* song;
    Channel* channel;
    Instrument* instrument;
    Sample* sample;
    const uint8_t* cell;
    int savedPeriod;
    int savedVolume;
    int savedPan;
    bool* jumped;
};

static void ExtendedRow(RowContext& r)
{
    Channel* c = r.channel;
    Song* song = r.song;
    int y = r.cell[4] & 15;
    switch (r.cell[4] >> 4) {
    case 0x1:
        Remember(&c->finePortamentoUpMemory, uint8_t(y));
        c->period -= 4 * c->finePortamentoUpMemory;
        break;
    case 0x2:
        Remember(&c->finePortamentoDownMemory, uint8_t(y));
        c->period += 4 * c->finePortamentoDownMemory;
        break;
    case 0x4: c->waveControl = uint8_t((c->waveControl & 0xF0) | y); break;
    case 0x5:
        if (r.sample != &g_emptySample)  // the shared record stays untouched
            r.sample->finetune = int8_t(y);
        break;
    case 0x6:
        if (y == 0) {
            c->loopRow = song->row;
        } else {
            c->loopCounter = c->loopCounter == 0 ? y : c->loopCounter - 1;
            if (c->loopCounter != 0)
                song->nextRow = c->loopRow;
        }
        break;
    case 0x7: c->waveControl = uint8_t((c->waveControl & 0x0F) | y << 4); break;
    case 0x8:
        SetPan(c, y * 16);
        break;
    case 0xA:
        Remember(&c->fineVolumeMemory, uint8_t(y));
        c->volume = c->volume + c->fineVolumeMemory > 64 ? 64 : c->volume + c->fineVolumeMemory;
        c->updateFlags |= CHANNEL_VOLUME;
        break;
    case 0xB:
        Remember(&c->fineVolumeMemory, uint8_t(y));
        c->volume = c->volume - c->fineVolumeMemory < 0 ? 0 : c->volume - c->fineVolumeMemory;
        c->updateFlags |= CHANNEL_VOLUME;
        break;
    case 0xD:
        c->period = r.savedPeriod;
        c->volume = r.savedVolume;
        c->pan = r.savedPan;
        c->updateFlags &= uint8_t(~0x0F);
        break;
    case 0xE: song->patternDelay = y * song->speed; break;
    default: break;
    }
}

static void EffectRow(RowContext& r)
{
    Channel* c = r.channel;
    Song* song = r.song;
    uint8_t parameter = r.cell[4];
    int x = parameter >> 4, y = parameter & 15;
    switch (r.cell[3]) {
    case EFFECT_PORTAMENTO_UP: Remember(&c->portamentoUpMemory, parameter); break;
    case EFFECT_PORTAMENTO_DOWN: Remember(&c->portamentoDownMemory, parameter); break;
    case EFFECT_TONE_PORTAMENTO:
        Remember(&c->tonePortamentoSpeed, parameter);
        c->tonePortamentoTarget = c->basePeriod;
        c->updateFlags &= uint8_t(~(CHANNEL_FREQUENCY | CHANNEL_TRIGGER));
        break;
    case EFFECT_VIBRATO:
        if (x)
            c->vibratoSpeed = uint8_t(x);
        if (y)
            c->vibratoDepth = uint8_t(y);
        Vibrato(c);
        break;
    case EFFECT_TONE_PORTAMENTO_SLIDE:
        c->tonePortamentoTarget = c->basePeriod;
        Remember(&c->volumeSlideMemory, parameter);
        c->updateFlags &= uint8_t(~(CHANNEL_FREQUENCY | CHANNEL_TRIGGER));
        break;
    case EFFECT_VIBRATO_SLIDE:
        Remember(&c->volumeSlideMemory, parameter);
        Vibrato(c);
        break;
    case EFFECT_TREMOLO:
        if (x)
            c->tremoloSpeed = uint8_t(x);
        if (y)
            c->tremoloDepth = uint8_t(y);
        break;
    case EFFECT_PANNING:
        SetPan(c, parameter);
        break;
    case EFFECT_SAMPLE_OFFSET: {
        if (parameter)
            c->sampleOffsetMemory = parameter;
        uint32_t offset = uint32_t(c->sampleOffsetMemory) * 256;
        if (offset >= r.sample->loopStart + r.sample->loopLength) {
            c->updateFlags &= uint8_t(~CHANNEL_TRIGGER);
            c->updateFlags |= CHANNEL_RESET_POSITION;
        } else {
            c->voice->startOffset = offset;
        }
        break;
    }
    case EFFECT_VOLUME_SLIDE: Remember(&c->volumeSlideMemory, parameter); break;
    case EFFECT_POSITION_JUMP:
        song->nextOrder = parameter >= song->songLength ? 0 : parameter;
        song->nextRow = 0;
        *r.jumped = true;
        break;
    case EFFECT_VOLUME:
        c->volume = parameter;
        c->updateFlags |= CHANNEL_VOLUME;
        break;
    case EFFECT_PATTERN_BREAK:
        song->nextRow = x * 10 + y > 63 ? 0 : x * 10 + y;
        if (!*r.jumped) {
            song->nextOrder = song->order + 1;
            if (song->nextOrder >= song->songLength)
                song->nextOrder = 0;
        }
        break;
    case EFFECT_EXTENDED: ExtendedRow(r); break;
    case EFFECT_SPEED:
        if (parameter < 32)
            song->speed = parameter;
        else
            SetTempo(song, parameter);
        break;
    case EFFECT_GLOBAL_VOLUME:
        song->globalVolume = parameter > 64 ? 64 : parameter;
        c->updateFlags |= CHANNEL_VOLUME;
        break;
    case EFFECT_GLOBAL_SLIDE: Remember(&song->globalVolumeSlideMemory, parameter); break;
    case EFFECT_ENVELOPE_POSITION:
        if (r.instrument->volume.type & ENVELOPE_ON)
            SetEnvelopePosition(c, r.instrument->volume, parameter);
        break;
    case EFFECT_PANNING_SLIDE:
        Remember(&c->panningSlideMemory, parameter);
        c->updateFlags |= CHANNEL_PAN;
        break;
    case EFFECT_RETRIGGER:
        if (parameter) {
            c->retriggerVolume = uint8_t(x);
            c->retriggerInterval = uint8_t(y);
        }
        break;
    case EFFECT_TREMOR:
        if (parameter) {
            c->tremorOn = uint8_t(x + 1);
            c->tremorOff = uint8_t(y + 1);
        }
        Tremor(c);
        break;
    case EFFECT_EXTRA_FINE:
        if (x == 1) {
            Remember(&c->extraFineUpMemory, uint8_t(y));
            c->period -= c->extraFineUpMemory;
        } else if (x == 2) {
            Remember(&c->extraFineDownMemory, uint8_t(y));
            c->period += c->extraFineDownMemory;
        }
        break;
    default: break;
    }
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
        c->fadeout = c->fadeout - instrument->fadeout < 0 ? 0 : c->fadeout - instrument->fadeout;
        c->updateFlags |= CHANNEL_VOLUME;
    }
}

static void ProcessRowChannel(Song* song, Channel* c, const uint8_t* cell, bool* jumped)
{
    uint8_t note = cell[0], instrumentNumber = cell[1], volume = cell[2], effect = cell[3];
    bool portamento = effect == EFFECT_TONE_PORTAMENTO || effect == EFFECT_TONE_PORTAMENTO_SLIDE;
    if (instrumentNumber && !portamento)
        c->instrument = uint8_t(instrumentNumber - 1);
    if (note && note != NOTE_KEY_OFF && !portamento)
        c->noteIndex = uint8_t(note - 1);
    RowContext r{song, c, nullptr, nullptr, cell, c->period, c->volume, c->pan, jumped};
    SelectSample(song, c, &r.instrument, &r.sample);
    if (c->lastEffect == EFFECT_TREMOLO && effect != EFFECT_TREMOLO)
        c->volume += c->volumeDelta;
    c->lastEffect = effect;
    c->volumeDelta = 0;
    c->updateFlags = 0;
    if (note && note != NOTE_KEY_OFF) {
        c->realNote = uint8_t(note + r.sample->relativeNote - 1);
        c->basePeriod = NotePeriod(song, c->realNote, r.sample->finetune);
        if (!portamento)
            c->period = c->basePeriod;
        c->updateFlags = CHANNEL_TRIGGER;
    }
    c->updateFlags |= CHANNEL_FREQUENCY | CHANNEL_VOLUME;
    c->periodDelta = 0;
    if (instrumentNumber)
        ResetChannel(c, r.sample);
    if (volume)
        ApplyVolumeColumn(c, volume);
    if (note == NOTE_KEY_OFF || effect == EFFECT_KEY_OFF)
        c->keyOff = 1;
    StepEnvelopes(c, r.instrument, true);
    EffectRow(r);
    AutoVibrato(c, r.instrument);
    UpdateVoice(c, r.sample, song);
}

void ProcessRow(Song* song)
{
    song->nextRow = song->nextOrder = -1;
    bool jumped = false;
    const uint8_t* cells = CurrentPattern(song)->cells + size_t(song->row) * song->channels * CELL_BYTES;
    for (int i = 0; i < song->channels; i++)
        ProcessRowChannel(song, &g_channels[i], cells + i * CELL_BYTES, &jumped);
}

static void ExtendedTick(Song* song, Channel* c, Sample* sample, const uint8_t* cell)
{
    int y = cell[4] & 15;
    switch (cell[4] >> 4) {
    case 0x9:
        if (y && song->tick % y == 0)
            c->updateFlags |= CHANNEL_TRIGGER | CHANNEL_FREQUENCY | CHANNEL_VOLUME;
        break;
    case 0xC:
        if (song->tick == y) {
            c->volume = 0;
            c->updateFlags |= CHANNEL_VOLUME;
        }
        break;
    case 0xD:
        if (song->tick == y) {
            ResetChannel(c, sample);
            c->period = c->basePeriod;
            c->updateFlags |= CHANNEL_FREQUENCY;
            if (cell[2])
                ApplyVolumeColumn(c, cell[2]);
            c->updateFlags |= CHANNEL_TRIGGER;
        } else {
            c->updateFlags &= uint8_t(~0x0F);
        }
        break;
    default: break;
    }
}

static void Arpeggio(Song* song, Channel* c, const Sample* sample, uint8_t parameter)
{
    if (!parameter)
        return;
    int phase = song->tick % 3;
    int semitones = phase == 1 ? parameter >> 4 : phase == 2 ? parameter & 15 : 0;
    if (song->flags & 1)
        c->periodDelta = semitones * 64;
    else
        c->periodDelta = AmigaPeriod(c->realNote + semitones, sample->finetune) - AmigaPeriod(c->realNote, sample->finetune);
    c->updateFlags |= CHANNEL_FREQUENCY;
}

static void EffectTick(Song* song, Channel* c, Sample* sample, const uint8_t* cell)
{
    uint8_t parameter = cell[4];
    switch (cell[3]) {
    case EFFECT_ARPEGGIO: Arpeggio(song, c, sample, parameter); break;
    case EFFECT_PORTAMENTO_UP:
        c->period = c->period - 4 * c->portamentoUpMemory < 56 ? 56 : c->period - 4 * c->portamentoUpMemory;
        c->updateFlags |= CHANNEL_FREQUENCY;
        break;
    case EFFECT_PORTAMENTO_DOWN:
        c->period = c->period + 4 * c->portamentoDownMemory > kMaxPeriod ? kMaxPeriod : c->period + 4 * c->portamentoDownMemory;
        c->updateFlags |= CHANNEL_FREQUENCY;
        break;
    case EFFECT_TONE_PORTAMENTO: TonePortamento(c); break;
    case EFFECT_VIBRATO:
        Vibrato(c);
        AdvanceVibrato(c);
        break;
    case EFFECT_TONE_PORTAMENTO_SLIDE:
        TonePortamento(c);
        VolumeSlide(c);
        break;
    case EFFECT_VIBRATO_SLIDE:
        Vibrato(c);
        AdvanceVibrato(c);
        VolumeSlide(c);
        break;
    case EFFECT_TREMOLO: Tremolo(c); break;
    case EFFECT_VOLUME_SLIDE: VolumeSlide(c); break;
    case EFFECT_EXTENDED: ExtendedTick(song, c, sample, cell); break;
    case EFFECT_GLOBAL_SLIDE: {
        uint8_t m = song->globalVolumeSlideMemory;
        if (m >> 4)
            song->globalVolume = song->globalVolume + (m >> 4) > 64 ? 64 : song->globalVolume + (m >> 4);
        else
            song->globalVolume = song->globalVolume - (m & 15) < 0 ? 0 : song->globalVolume - (m & 15);
        break;
    }
    case EFFECT_PANNING_SLIDE: {
        uint8_t m = c->panningSlideMemory;
        if (m >> 4)
            SetPan(c, c->pan + (m >> 4) > 255 ? 255 : c->pan + (m >> 4));
        else
            SetPan(c, c->pan - (m & 15) < 0 ? 0 : c->pan - (m & 15));
        break;
    }
    case EFFECT_RETRIGGER:
        if (c->retriggerInterval && song->tick % c->retriggerInterval == 0) {
            RetriggerVolume(c);
            c->updateFlags |= CHANNEL_TRIGGER;
        }
        break;
    case EFFECT_TREMOR: Tremor(c); break;
    default: break;
    }
}

void ProcessTick(Song* song)
{
    const uint8_t* cells = CurrentPattern(song)->cells + size_t(song->row) * song->channels * CELL_BYTES;
    for (int i = 0; i < song->channels; i++) {
        Channel* c = &g_channels[i];
        const uint8_t* cell = cells + i * CELL_BYTES;
        Instrument* instrument;
        Sample* sample;
        SelectSample(song, c, &instrument, &sample);
        c->volumeDelta = 0;
        c->periodDelta = 0;
        c->updateFlags = 0;
        StepEnvelopes(c, instrument, false);
        if (cell[2])
            VolumeColumnTick(c, cell[2]);
        EffectTick(song, c, sample, cell);
        AutoVibrato(c, instrument);
        UpdateVoice(c, sample, song);
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
