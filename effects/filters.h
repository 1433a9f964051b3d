#pragma once
// Full-frame filters and small effects layered by the timeline: radial zoom blur, row box
// blur, noise, scratch specks, the film-scratch flash with its envelopes, tiled scrolling.
// Frame thread only; random numbers come from RandomNext in a fixed order.
#include <cstdint>

#include "host/pixels.h"

// A level that starts at startValue at startTime and falls by rate per time unit, not below 0.
struct Envelope {
    uint32_t startTime;
    float startValue;
    float rate;
};

// Grey noise to copy from: width * height * 3 / 2 pixels.
struct Noise {
    uint32_t* pixels;
    int32_t width, height;
    uint32_t count; // pixels held
};

// In place: each pixel blends with the pixel the fraction factor of the way towards the
// centre, nearer pixels first, so the trail smears outwards. The centre is clamped into the
// surface; borrows two small arrays from the scratch pool.
void RadialBlur(const Surface* surface, float factor, int centreX, int centreY);
// Running box blur over one run of length pixels, window source[j - radius + 1 .. j + radius]
// clipped to the run. source and destination must not overlap.
void RowBoxBlur(const uint32_t* source, uint32_t* destination, int radius, int length);

// One radial-blur pixel: per channel min(255, (source * 90 + pixel * 64) >> 7), top byte 0;
// the SSE2 form and its scalar reference (exposed for tests).
uint32_t RadialBlurPixel(uint32_t source, uint32_t pixel);
uint32_t RadialBlurPixelScalar(uint32_t source, uint32_t pixel);

// Fills the noise buffer with greys RandomNext() % 255; false if memory ran out.
bool NoiseCreate(Noise* noise, int width, int height);
void NoiseDestroy(Noise* noise);
// Copies the noise from a random offset into the target.
void NoiseFrame(const Noise* noise, const Surface* target);
// count random rows each get a random number of grey specks.
void Scratches(int count, const Surface* target);

// max(0, startValue - rate * (t - startTime)), the difference taken as unsigned 32 bits.
float EnvelopeValue(const Envelope* envelope, uint32_t t);
// Sets an envelope's three values.
void EnvelopeRestart(Envelope* envelope, uint32_t startTime, float startValue, float rate);
// Hands ScratchFlash its two envelopes (owned by the caller) and the scratch strip of eight
// 320 x 200 frames stacked; until then EnvelopeTrigger and ScratchFlash do nothing.
void ScratchFlashBind(Envelope* frameEnvelope, Envelope* flashEnvelope, const Bitmap* strip);
// Restarts the frame envelope if threshold < its value at t; always restarts the flash.
void EnvelopeTrigger(float threshold, uint32_t t);
// Draws the strip's current frame over the target at the flash envelope's opacity.
void ScratchFlash(const Surface* target, uint32_t t);
// The 58-entry frame sequence of the film-scratch animation, values 1..8.
extern const int32_t ScratchFrameTable[58];

// Fills 320 x 200 of the target (clipped to it) with the image tiled at tileWidth x
// tileHeight, scrolled by the offsets; the image's rows are tileWidth pixels long and it
// must hold tileWidth * tileHeight pixels, else nothing is drawn.
void TiledScroll(const Surface* target, const Bitmap* image, int offsetX, int offsetY,
                 int tileWidth, int tileHeight);
