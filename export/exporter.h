// "Murova by Tarsel" rendered offline, frame-exact: frame n of a run at fps frames a second is
// the production's frame for floor(n * 1000 / fps) ms and the music a listener hears then; the
// sound is the song's offline render. Main thread; a video export renders on a second thread.
#pragma once

#include <csignal>
#include <cstdint>
#include <string>

#include "export/encoder.h"

struct ExportOptions {
    std::string path;         // the file to write; it appears only when complete
    EncoderKind kind;         // video exports
    int fps = 60;
    int scale = 4;            // each frame pixel a scale x scale block
    double from = 0;          // seconds: frames before are rendered but not written
    double to = -1;           // seconds: no frame from here on; negative = to the end mark
    int quality = 20;         // H.264 constant rate factor: 20 keeps the noise crisp
    int threads = 2;          // encoder threads
    bool progress = true;     // progress lines on stderr (the main thread owns them)
    const volatile std::sig_atomic_t* interrupted = nullptr; // set by a signal handler to stop
};

// Figures of a finished video export.
struct ExportReport {
    uint64_t frames;        // written
    double renderSeconds;   // drawing the frames and mixing the music (second thread)
    double convertSeconds;  // scaling and colour conversion
    double encodeSeconds;   // encoding and writing
    double totalSeconds;    // wall time
};

// Writes the video file; false with a one-line reason (the file named) in *error, leaving no
// file behind. An interruption is a failure whose reason is "interrupted".
bool ExportVideo(const ExportOptions& options, ExportReport* report, std::string* error);
// Writes one frame as PNG: the frame at floor(seconds * fps) of the run.
bool ExportStill(const ExportOptions& options, double seconds, std::string* error);
// Writes one PNG sheet with a labelled frame from well inside each scene.
bool ExportStoryboard(const ExportOptions& options, std::string* error);
// Removes the temporary file of a video export in progress (a fatal error is ending the program).
void ExportAbandon();
