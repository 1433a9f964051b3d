// Per-channel building blocks of the pattern player: envelopes, modulators, period tables and
// the hand-over of a channel's state to its voice.
#pragma once

#include <cstdint>

struct Channel;
struct Envelope;
struct EnvelopeState;
struct Instrument;
struct Sample;
struct Song;

// New instrument or delayed note: volume and pan from the sample, envelopes and fadeout restart.
void ResetChannel(Channel* channel, const Sample* sample);
// One tick of one envelope; flag is CHANNEL_VOLUME or CHANNEL_PAN.
void StepEnvelope(Channel* channel, EnvelopeState* state, const Envelope& envelope, uint8_t flag);
// Vibrato period offset at the channel's position (the caller advances it).
void Vibrato(Channel* channel);
// Tremolo volume offset; advances the position.
void Tremolo(Channel* channel);
// Silences the channel for the off ticks of the tremor cycle.
void Tremor(Channel* channel);
// Slides the period towards the tone-portamento target.
void TonePortamento(Channel* channel);
// The instrument's automatic vibrato, added to the period offset.
void AutoVibrato(Channel* channel, const Instrument* instrument);
// Period of a note (0 = C-0) and finetune in the song's frequency table.
int NotePeriod(const Song* song, int note, int finetune);
// Period of a note and finetune in the Amiga table.
int AmigaPeriod(int note, int finetune);
// Pushes the channel's flagged changes into its voice; a trigger moves to the partner voice.
void UpdateVoice(Channel* channel, Sample* sample, const Song* song);
