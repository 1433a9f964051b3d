// A video file of the demo: one video stream made from 320 x 200 frames scaled up by whole
// pixels, and one sound stream of 44,100 Hz stereo 16-bit PCM, written through libavformat,
// libavcodec and libswscale. One thread at a time per encoder.
#pragma once

#include <cstdint>
#include <string>

enum EncoderKind {
    ENCODER_MP4,          // H.264 and AAC in MP4
    ENCODER_MKV,          // H.264 and FLAC in Matroska
    ENCODER_MKV_LOSSLESS, // FFV1 (RGB) and FLAC in Matroska: every pixel and sample exact
};

struct EncoderSettings {
    EncoderKind kind;
    int width, height; // of the frames handed in
    int scale;         // each frame pixel becomes a scale x scale block
    int fps;
    int quality;  // H.264 constant rate factor: 0 best, 51 worst
    int threads;  // encoder threads
    const char* title;
};

struct Encoder;

struct OutputFile;

// Starts the file in out (begun, not committed; the format is chosen by kind) with both
// streams; null with a one-line reason in *error when a codec cannot be had or writing fails.
Encoder* EncoderOpen(OutputFile* out, const EncoderSettings& settings, std::string* error);
// Appends one frame: width * height pixels 0x..RRGGBB, rows top to bottom.
bool EncoderWriteFrame(Encoder* encoder, const uint32_t* pixels, std::string* error);
// Appends frames of interleaved stereo sound.
bool EncoderWriteSound(Encoder* encoder, const int16_t* pcm, int frames, std::string* error);
// Flushes both encoders and writes the file's trailer; the caller then commits the output.
bool EncoderFinish(Encoder* encoder, std::string* error);
// Frees everything (the output stays the caller's); null is ignored.
void EncoderClose(Encoder* encoder);
// Seconds this encoder spent scaling and converting frames, and encoding and writing.
void EncoderTimes(const Encoder* encoder, double* convertSeconds, double* encodeSeconds);
