// Offline exports of the production. A video export draws frames and mixes the music on a
// render thread while the main thread converts and encodes them; they meet only in the queue.
#include "export/exporter.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <filesystem>
#include <mutex>
#include <thread>
#include <vector>

#include "export/sheet.h"
#include "files/output_file.h"
#include "host/offline.h"
#include "production/timeline.h"
#include "sound/music.h"
#include "tools/support/tool.h"

namespace {

using Clock = std::chrono::steady_clock;

double Since(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// One frame on its way from the render thread to the encoder, with the sound heard during it.
struct Job {
    uint64_t n;
    uint16_t position;
    int32_t timeMs;
    std::vector<uint32_t> pixels;
    std::vector<int16_t> pcm;
};

// Between the render thread (producer) and the main thread (consumer), under its mutex.
struct JobQueue {
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<Job> jobs;
    bool ended = false;   // the producer has pushed its last job
    bool stopped = false; // the consumer wants no more
};

constexpr size_t kQueueDepth = 8;

// The offline render's sound, every block since the song's start; the offline driver's sink
// appends to it on whichever thread drives the production.
std::vector<int16_t> mixed;

void Hear(const int16_t* pcm, int frames, void*)
{
    mixed.insert(mixed.end(), pcm, pcm + 2 * (size_t)frames);
}

uint64_t SampleOf(uint64_t n, int fps)
{
    return n * MUSIC_MIX_RATE / (uint64_t)fps;
}

uint64_t FrameAtOrAfter(double seconds, int fps)
{
    double n = seconds * fps;
    uint64_t whole = (uint64_t)n;
    return (double)whole < n - 1e-9 ? whole + 1 : whole;
}

// The first sample the music plays the end mark at, mixing up to it (the song may also end by
// looping back, or not at all within an hour).
uint64_t SongEndSample()
{
    uint16_t last = 0;
    for (uint64_t s = 0; s < 3600ull * MUSIC_MIX_RATE; s += MUSIC_BLOCK_FRAMES) {
        uint16_t position = OfflinePositionAt(s);
        if (position >= kTimelineEnd || position < last)
            return s;
        last = position;
    }
    return 3600ull * MUSIC_MIX_RATE;
}

bool Interrupted(const ExportOptions& o)
{
    return o.interrupted && *o.interrupted;
}

// The render thread: frames [first, end) drawn from frame 0 on, pushed from first on.
void Render(const ExportOptions& o, uint64_t first, uint64_t end, JobQueue& queue, double* seconds)
{
    Clock::time_point start = Clock::now();
    double waited = 0;
    for (uint64_t n = 0; n < end && !Interrupted(o); n++) {
        bool goOn = OfflineFrame(n, (uint32_t)o.fps);
        if (!goOn)
            break;
        if (n < first)
            continue;
        OfflineMixTo(SampleOf(n + 1, o.fps));
        const FrameSurface& f = OfflineFrameSurface();
        Job job{n, OfflinePositionAt(SampleOf(n, o.fps)), (int32_t)(n * 1000 / (uint64_t)o.fps),
                std::vector<uint32_t>(f.pixels, f.pixels + (size_t)f.width * f.height),
                std::vector<int16_t>(mixed.begin() + 2 * (ptrdiff_t)SampleOf(n, o.fps),
                                     mixed.begin() + 2 * (ptrdiff_t)SampleOf(n + 1, o.fps))};
        Clock::time_point before = Clock::now();
        std::unique_lock<std::mutex> lock(queue.mutex);
        queue.changed.wait(lock, [&] { return queue.jobs.size() < kQueueDepth || queue.stopped; });
        waited += Since(before);
        if (queue.stopped)
            break;
        queue.jobs.push_back(std::move(job));
        queue.changed.notify_all();
    }
    std::lock_guard<std::mutex> lock(queue.mutex);
    queue.ended = true;
    queue.changed.notify_all();
    *seconds = Since(start) - waited;
}

// The next job, or false once the producer has ended and the queue is empty.
bool Take(JobQueue& queue, Job* job)
{
    std::unique_lock<std::mutex> lock(queue.mutex);
    queue.changed.wait(lock, [&] { return !queue.jobs.empty() || queue.ended; });
    if (queue.jobs.empty())
        return false;
    *job = std::move(queue.jobs.front());
    queue.jobs.pop_front();
    queue.changed.notify_all();
    return true;
}

void Stop(JobQueue& queue)
{
    std::lock_guard<std::mutex> lock(queue.mutex);
    queue.stopped = true;
    queue.changed.notify_all();
}

// Draws frames 0 to n and keeps frame n; false when the demo ends before it.
bool DrawUpTo(uint64_t n, int fps)
{
    for (uint64_t i = 0; i <= n; i++)
        if (!OfflineFrame(i, (uint32_t)fps))
            return false;
    return true;
}

bool SaveSheet(const Sheet& sheet, bool palette, const std::string& path, std::string* error)
{
    std::vector<uint8_t> png;
    if (!SheetEncodePng(sheet, palette, &png)) {
        *error = "cannot encode the PNG";
        return false;
    }
    return OutputFileSave(path, png.data(), png.size(), error);
}

// m:ss.t
std::string MinutesSeconds(int32_t ms)
{
    char text[32];
    std::snprintf(text, sizeof text, "%d:%02d.%d", ms / 60000, ms / 1000 % 60, ms / 100 % 10);
    return text;
}

// Frames written of the total, the demo time and scene reached, the speed and the time left.
std::string ProgressLine(uint64_t done, uint64_t total, const Job& job, const ToolProgress& progress)
{
    double elapsed = std::chrono::duration<double>(Clock::now() - progress.start).count();
    double fps = elapsed > 0 ? (double)done / elapsed : 0;
    int left = fps > 0 && total > done ? (int)((double)(total - done) / fps + 0.5) : 0;
    char text[160];
    std::snprintf(text, sizeof text, "frame %llu of %llu (%d%%), demo %s, scene %d, %.0f frames/s, %d:%02d left",
                  (unsigned long long)done, (unsigned long long)total, (int)(done * 100 / (total ? total : 1)),
                  MinutesSeconds(job.timeMs).c_str(), TimelineSceneAt(job.position), fps, left / 60, left % 60);
    return text;
}

} // namespace

// The output being written, for ExportAbandon.
OutputFile* volatile activeOutput = nullptr;

void ExportAbandon()
{
    if (OutputFile* out = activeOutput)
        OutputFileDiscard(out);
}

bool ExportVideo(const ExportOptions& o, ExportReport* report, std::string* error)
{
    Clock::time_point start = Clock::now();
    *report = ExportReport{};
    OutputFile out;
    if (!OutputFileBegin(&out, o.path)) {
        *error = out.error;
        return false;
    }
    EncoderSettings settings{o.kind, 320, 200, o.scale, o.fps, o.quality, o.threads, "Murova by Tarsel"};
    Encoder* encoder = EncoderOpen(&out, settings, error);
    if (!encoder)
        return false;
    activeOutput = &out;
    mixed.clear();
    OfflineStart(Hear, nullptr);
    // The end mark's frame is the first one not written; only the progress needs it ahead.
    uint64_t demoEnd = FrameAtOrAfter((double)SongEndSample() / MUSIC_MIX_RATE, o.fps);
    uint64_t first = FrameAtOrAfter(o.from, o.fps);
    uint64_t end = o.to >= 0 ? FrameAtOrAfter(o.to, o.fps) : UINT64_MAX;
    uint64_t stop = std::min(demoEnd, end);
    uint64_t total = stop > first ? stop - first : 0;

    JobQueue queue;
    double renderSeconds = 0;
    std::thread renderer(Render, std::cref(o), first, end, std::ref(queue), &renderSeconds);
    ToolProgress progress;
    ToolProgressBegin(&progress);
    Job job;
    bool ok = true;
    while (ok && Take(queue, &job)) {
        ok = EncoderWriteFrame(encoder, job.pixels.data(), error) &&
             EncoderWriteSound(encoder, job.pcm.data(), (int)(job.pcm.size() / 2), error);
        report->frames++;
        if (o.progress)
            ToolProgressShow(&progress, ProgressLine(report->frames, std::max(total, report->frames), job, progress));
    }
    Stop(queue);
    renderer.join();
    if (ok && Interrupted(o)) {
        *error = "interrupted";
        ok = false;
    }
    if (ok && report->frames == 0) {
        *error = "nothing to write: the demo ends at " + MinutesSeconds((int32_t)(demoEnd * 1000 / (uint64_t)o.fps));
        ok = false;
    }
    ToolProgressEnd(&progress, false);
    OfflineStop();
    mixed = std::vector<int16_t>();
    ok = ok && EncoderFinish(encoder, error);
    EncoderTimes(encoder, &report->convertSeconds, &report->encodeSeconds);
    EncoderClose(encoder);
    report->renderSeconds = renderSeconds;
    if (ok && !OutputFileCommit(&out)) {
        *error = out.error;
        ok = false;
    }
    activeOutput = nullptr;
    report->totalSeconds = Since(start);
    return ok;
}

bool ExportStill(const ExportOptions& o, double seconds, std::string* error)
{
    OfflineStart(nullptr, nullptr);
    uint64_t n = (uint64_t)(seconds * o.fps + 1e-9);
    bool drawn = DrawUpTo(n, o.fps);
    Sheet sheet;
    if (drawn) {
        const FrameSurface& f = OfflineFrameSurface();
        SheetCreate(sheet, f.width * o.scale, f.height * o.scale, 0);
        SheetPlaceFrame(sheet, f.pixels, f.width, f.height, o.scale, 0, 0);
    }
    OfflineStop();
    if (!drawn) {
        *error = "the demo ends before " + MinutesSeconds((int32_t)(seconds * 1000));
        return false;
    }
    return SaveSheet(sheet, false, o.path, error);
}

bool ExportStoryboard(const ExportOptions& o, std::string* error)
{
    const int kColumns = 4, kGap = 4, kLabel = 13, kTileWidth = 320, kTileHeight = 200;
    OfflineStart(nullptr, nullptr);
    // Where each scene starts in the music, and the frame halfway through it.
    uint64_t starts[kTimelineScenes + 1];
    uint64_t s = 0;
    for (int scene = 0; scene <= kTimelineScenes; scene++) {
        uint16_t from = scene < kTimelineScenes ? TimelineSceneStart(scene) : kTimelineEnd;
        while (OfflinePositionAt(s) < from && s < 3600ull * MUSIC_MIX_RATE)
            s += MUSIC_BLOCK_FRAMES;
        starts[scene] = s;
    }
    Sheet sheet;
    int rows = (kTimelineScenes + kColumns - 1) / kColumns;
    SheetCreate(sheet, kColumns * (kTileWidth + kGap) + kGap, rows * (kTileHeight + kLabel + kGap) + kGap, 0x101018);
    uint64_t n = 0;
    bool drawn = true;
    for (int scene = 0; scene < kTimelineScenes && drawn; scene++) {
        uint64_t middle = (starts[scene] + starts[scene + 1]) / 2;
        uint64_t target = middle * (uint64_t)o.fps / MUSIC_MIX_RATE;
        for (; n <= target && drawn; n++)
            drawn = OfflineFrame(n, (uint32_t)o.fps);
        const FrameSurface& f = OfflineFrameSurface();
        int x = kGap + scene % kColumns * (kTileWidth + kGap), y = kGap + scene / kColumns * (kTileHeight + kLabel + kGap);
        SheetPlaceFrame(sheet, f.pixels, f.width, f.height, 1, x, y);
        uint16_t position = OfflinePositionAt(SampleOf(target, o.fps));
        char label[64];
        std::snprintf(label, sizeof label, "SCENE %d  ORDER %d ROW %d  %s", scene, position >> 8, position & 0xFF,
                      MinutesSeconds((int32_t)(target * 1000 / (uint64_t)o.fps)).c_str());
        SheetText(sheet, label, x, y + kTileHeight + 3, 0xC8C8D8);
    }
    OfflineStop();
    if (!drawn) {
        *error = "the demo ended before its last scene";
        return false;
    }
    return SaveSheet(sheet, true, o.path, error);
}
