// Progress of a long export on stderr: one line updated in place on a terminal, a plain line
// every few seconds otherwise. One thread.
#pragma once

#include <cstdint>

struct ExportProgress {
    const char* program;
    bool terminal;
    double started;     // seconds, steady clock
    double lastPrinted; // seconds, steady clock; negative before the first line
    bool lineOpen;      // a terminal line waits for its end
};

void ProgressBegin(ExportProgress& progress, const char* program);
// Reports done of total frames, the demo time and scene reached; prints when due.
void ProgressUpdate(ExportProgress& progress, uint64_t done, uint64_t total, int32_t demoMs, int scene);
// Prints the last state at once and ends the line.
void ProgressEnd(ExportProgress& progress, uint64_t done, uint64_t total, int32_t demoMs, int scene);
