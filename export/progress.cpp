#include "export/progress.h"

#include <chrono>
#include <cstdio>

#include "platform/system.h"

static double Now()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

void ProgressBegin(ExportProgress& p, const char* program)
{
    p = ExportProgress{program, SystemStderrIsTerminal(), Now(), -1.0, false};
}

static void Print(ExportProgress& p, uint64_t done, uint64_t total, int32_t demoMs, int scene)
{
    double now = Now(), elapsed = now - p.started;
    double fps = elapsed > 0 ? (double)done / elapsed : 0;
    int left = fps > 0 && total > done ? (int)((double)(total - done) / fps + 0.5) : 0;
    int percent = total ? (int)(done * 100 / total) : 0;
    std::fprintf(stderr, "%s%s: frame %llu of %llu (%d%%), demo %d:%02d.%d, scene %d, %.0f frames/s, %d:%02d left%s",
                 p.terminal ? "\r" : "", p.program, (unsigned long long)done, (unsigned long long)total, percent,
                 demoMs / 60000, demoMs / 1000 % 60, demoMs / 100 % 10, scene, fps, left / 60, left % 60,
                 p.terminal ? "\033[K" : "\n");
    std::fflush(stderr);
    p.lastPrinted = now;
    p.lineOpen = p.terminal;
}

void ProgressUpdate(ExportProgress& p, uint64_t done, uint64_t total, int32_t demoMs, int scene)
{
    double due = p.terminal ? 0.25 : 5.0;
    if (p.lastPrinted < 0 ? Now() - p.started >= due : Now() - p.lastPrinted >= due)
        Print(p, done, total, demoMs, scene);
}

void ProgressEnd(ExportProgress& p, uint64_t done, uint64_t total, int32_t demoMs, int scene)
{
    Print(p, done, total, demoMs, scene);
    if (p.lineOpen)
        std::fputc('\n', stderr);
    p.lineOpen = false;
}
