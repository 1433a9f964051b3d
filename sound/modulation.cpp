// Channel modulation and voice control. No state of its own: works on the channels, voices
// and song of the thread that runs the block filler.
#include "sound/modulation.h"

#include "sound/mixer.h"
#include "sound/music.h"
#include "sound/player.h"
#include "sound/song.h"

#include <cmath>
#include <cstdlib>

static const double kPi = 3.14159265358979323846;
static const float kAutoVibratoFactor = float(kPi / 128.0);
static const float kTwelfth = 1.0f / 12.0f;
static const float kLinearFactor = 1.0f / 768.0f;
static const float kVolumeScale = 255.0f / 34359738368.0f;  // 255 / 2^35
// Highest frequency a voice plays: keeps the 32.32 step below 256 values per frame.
static const int kMaxFrequency = 256 * MUSIC_MIX_RATE - 1;

void ResetChannel(Channel* channel, const Sample* sample)
{
    channel->volume = sample->volume;
    channel->pan = sample->pan;
    EnvelopeState* v = &channel->volumeEnvelope;
    v->value = 64;
    v->index = v->tick = v->step = 0;
    v->finished = 0;
    EnvelopeState* p = &channel->panningEnvelope;
    p->value = 32;
    p->index = p->tick = p->step = 0;
    p->finished = 0;
    channel->keyOff = 0;
    channel->fadeout = 65536;
    channel->autoVibratoSweep = 0;
    channel->autoVibratoPosition = 0;
    if ((channel->waveControl & 0x0F) < 4)
        channel->vibratoPosition = 0;
    if ((channel->waveControl >> 4) < 4)
        channel->tremoloPosition = 0;
    channel->tremorCounter = 0;
    channel->updateFlags |= CHANNEL_VOLUME | CHANNEL_PAN;
}

// 16.16 slope between two points; wraps rather than overflows on out-of-range y values.
static int EnvelopeSlope(const EnvelopePoint& a, const EnvelopePoint& b)
{
    if (b.x == a.x)
        return 0;
    return int(int64_t(int(b.y) - int(a.y)) * 65536 / (int(b.x) - int(a.x)));
}

void StepEnvelope(Channel* channel, EnvelopeState* state, const Envelope& envelope, uint8_t flag)
{
    const EnvelopePoint* points = envelope.points;
    int n = envelope.count;
    if (n == 1) {
        // A single point holds its value from the note's first tick on, wherever its x.
        state->value = points[0].y;
        state->finished = 1;
        channel->updateFlags |= flag;
        return;
    }
    if (state->index < n) {
        if (state->tick != points[state->index].x) {
            state->value16 = int(uint32_t(state->value16) + uint32_t(state->step));
        } else {
            if ((envelope.type & ENVELOPE_LOOP) && state->index == envelope.loopEnd) {
                state->index = envelope.loopStart;
                state->tick = points[state->index].x;
            }
            if (state->index == n - 1) {
                state->value = points[state->index].y;
                state->finished = 1;
                channel->updateFlags |= flag;
                return;
            }
            if ((envelope.type & ENVELOPE_SUSTAIN) && state->index == envelope.sustain && !channel->keyOff) {
                state->value = points[state->index].y;
                channel->updateFlags |= flag;
                return;
            }
            state->step = EnvelopeSlope(points[state->index], points[state->index + 1]);
            state->value16 = int(uint32_t(points[state->index].y) << 16);
            state->index++;
        }
    }
    state->value = state->value16 >> 16;
    state->tick++;
    channel->updateFlags |= flag;
}

// Amplitude 0-255 of the vibrato and tremolo waveforms at position -32 ... 31.
static int WaveAmplitude(int position, int waveform)
{
    if (waveform == 0)
        return int(std::fabs(std::sin(position * kPi / 32.0)) * 256.0);
    if (waveform == 1) {
        int b = (position * 8) & 255;
        return position >= 0 ? b : 255 - b;
    }
    return 255;
}

void Vibrato(Channel* channel)
{
    int p = channel->vibratoPosition;
    int a = WaveAmplitude(p, channel->waveControl & 3);
    int offset = ((channel->vibratoDepth * a) >> 5) & ~3;
    if (p >= 0)
        offset = -offset;
    channel->periodDelta = offset;
    channel->updateFlags |= CHANNEL_FREQUENCY;
}

void Tremolo(Channel* channel)
{
    int p = channel->tremoloPosition;
    int w = (channel->waveControl >> 4) & 3;
    int a = WaveAmplitude(p, w == 3 ? 0 : w);
    int offset = (channel->tremoloDepth * a) >> 6;
    if (p >= 0) {
        if (channel->volume + offset > 64)
            offset = 64 - channel->volume;
    } else {
        if (int16_t(channel->volume - offset) < 0)
            offset = channel->volume;
        offset = -offset;
    }
    channel->volumeDelta = offset;
    p += channel->tremoloSpeed;
    if (p > 31)
        p -= 64;
    channel->tremoloPosition = int8_t(p);
    channel->updateFlags |= CHANNEL_VOLUME;
}

void Tremor(Channel* channel)
{
    if (channel->tremorCounter >= channel->tremorOn)
        channel->volumeDelta = -channel->volume;
    channel->tremorCounter++;
    if (channel->tremorCounter >= channel->tremorOn + channel->tremorOff)
        channel->tremorCounter = 0;
    channel->updateFlags |= CHANNEL_VOLUME;
}

void TonePortamento(Channel* channel)
{
    int target = channel->tonePortamentoTarget;
    int speed = 4 * channel->tonePortamentoSpeed;
    if (channel->period < target) {
        channel->period += speed;
        if (channel->period > target)
            channel->period = target;
    } else if (channel->period > target) {
        channel->period -= speed;
        if (channel->period < target)
            channel->period = target;
    }
    channel->updateFlags |= CHANNEL_FREQUENCY;
}

void AutoVibrato(Channel* channel, const Instrument* instrument)
{
    int q = channel->autoVibratoPosition;
    int v = 0;
    switch (instrument->vibratoType) {
    case 0: v = int(std::sin(double(q) * double(kAutoVibratoFactor)) * 64.0); break;
    case 1: v = q < 128 ? 64 : -64; break;
    case 2: v = (128 - ((q + 128) % 256)) >> 1; break;
    case 3: v = (128 - ((384 - q) % 256)) >> 1; break;
    default: break;  // types past 3 have no waveform: no vibrato
    }
    int sweep = instrument->vibratoSweep;
    int m = instrument->vibratoDepth * v;
    if (sweep != 0)
        m = channel->autoVibratoSweep * m / sweep;
    channel->periodDelta += m >> 6;
    if (channel->autoVibratoSweep < sweep)
        channel->autoVibratoSweep++;
    q += instrument->vibratoRate;
    if (q > 255)
        q -= 256;
    channel->autoVibratoPosition = q;
    channel->updateFlags |= CHANNEL_FREQUENCY;
}

int NotePeriod(const Song* song, int note, int finetune)
{
    if (song->flags & SONG_LINEAR_FREQUENCIES)
        return 7680 - note * 64 - finetune / 2;
    return AmigaPeriod(note, finetune);
}

static int AmigaTable(int exponentNumerator)
{
    double exponent = double(exponentNumerator) * double(kTwelfth);
    return int(std::pow(2.0, exponent) * 13.375);
}

int AmigaPeriod(int note, int finetune)
{
    int p = AmigaTable(132 - note);
    if (finetune < 0 && note != 0)
        return p + std::abs(finetune) * (AmigaTable(133 - note) - p) / 128;
    return p - finetune * (p - AmigaTable(131 - note)) / 128;
}

// Pan 0 is full left, 255 full right.
static void SetGains(Voice* voice)
{
    voice->gainA = int(int64_t(voice->volume) * (255 - voice->pan) / 255);
    voice->gainB = int(int64_t(voice->volume) * voice->pan / 255);
}

static Voice* Trigger(Channel* channel, Sample* sample)
{
    Voice* voice = channel->voice;
    if (voice->sample) {
        // The old note fades out over the ramp on its own while the new one starts on the
        // partner voice.
        int index = voice->index < 32 ? voice->index + 32 : voice->index - 32;
        Voice* partner = &VoicePool()[index];
        *partner = *voice;
        partner->index = index;
        voice->volume = 0;
        voice->gainA = voice->gainB = 0;
        voice = partner;
        channel->voice = partner;
    }
    voice->sample = sample;
    if (voice->startOffset >= sample->loopStart + sample->loopLength)
        voice->startOffset = 0;
    voice->position = voice->startOffset;
    voice->fraction = 0;
    voice->direction = VOICE_FORWARD;
    voice->startOffset = 0;
    voice->levelA = voice->levelB = 0;
    voice->rampFramesLeft = 0;
    return voice;
}

static void SetFrequency(Voice* voice, const Channel* channel, const Song* song)
{
    int period = channel->period + channel->periodDelta;
    double f;
    if (song->flags & SONG_LINEAR_FREQUENCIES)
        f = std::trunc(8363.0 * std::pow(2.0, double(4608 - channel->period + channel->periodDelta) * double(kLinearFactor)));
    else
        f = double(14317056 / period);
    if (f < 100.0)
        f = 100.0;
    if (f > kMaxFrequency)
        f = kMaxFrequency;
    uint64_t frequency = uint64_t(f);
    uint64_t rate = MUSIC_MIX_RATE;
    voice->stepInteger = uint32_t(frequency / rate);
    voice->stepFraction = uint32_t((((frequency % rate) << 32) + frequency / rate) / rate);
}

void UpdateVoice(Channel* channel, Sample* sample, const Song* song)
{
    if (channel->period + channel->periodDelta == 0)
        channel->updateFlags &= uint8_t(~CHANNEL_FREQUENCY);
    uint8_t flags = channel->updateFlags;
    Voice* voice = channel->voice;
    if (flags & CHANNEL_TRIGGER)
        voice = Trigger(channel, sample);
    if (flags & CHANNEL_VOLUME) {
        long double v = (long double)(channel->volume + channel->volumeDelta) * channel->volumeEnvelope.value *
                        channel->fadeout * song->globalVolume * (long double)kVolumeScale;
        voice->volume = int(v);
        SetGains(voice);
    }
    if (flags & CHANNEL_PAN) {
        int pan = channel->pan;
        int p = pan + ((128 - std::abs(pan - 128)) / 32) * (channel->panningEnvelope.value - 32);
        voice->pan = p < 0 ? 0 : p > 255 ? 255 : p;
        SetGains(voice);
    }
    if (flags & CHANNEL_FREQUENCY)
        SetFrequency(voice, channel, song);
    if (flags & CHANNEL_RESET_POSITION) {
        voice->position = voice->fraction = 0;
        voice->startOffset = 0;
    }
}
