// zenkor-xm: inspects, times, renders and plays XM modules with the system's own player.
#include "sound/music.h"
#include "sound/song.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "files/file_system.h"
#include "files/output_file.h"
#include "tools/support/tool.h"

static const char kUsage[] =
    "usage: zenkor-xm info MODULE\n"
    "       zenkor-xm timeline MODULE [--seconds S]\n"
    "       zenkor-xm render MODULE OUT.wav [--seconds S]\n"
    "       zenkor-xm play MODULE [--seconds S]\n"
    "\n"
    "info      header figures, order table and every instrument's samples\n"
    "timeline  one line per 884-frame block mixed offline: FRAMES ORDER ROW\n"
    "render    the same stretch as 16-bit stereo 44,100 Hz WAV; OUT.wav appears whole or not\n"
    "          at all (written as OUT.wav.part beside it and renamed when complete)\n"
    "play      plays through the audio device, showing order and row\n"
    "Timeline and render stop after S seconds (default 600), play after S seconds if given;\n"
    "all three stop when the song loops back to an earlier order. Play also stops on Ctrl+C.\n"
    "S is a decimal number of seconds above 0: at most 10000000, for render at most 24347\n"
    "(the most a WAV file holds). Render and play show their progress on standard error: one\n"
    "line updated in place on a terminal, elsewhere a line every five seconds at most.\n"
    "Exit status: 0 success, 1 failure, 2 usage error.\n";

static const double kMaxSeconds = 1e7;
// A WAV file counts its bytes in 32 bits: 24,347 s rounded up to whole blocks still fits.
static const double kMaxRenderSeconds = 24347;
static const size_t kWriteChunk = 1 << 18;

static std::atomic<bool> g_interrupted{false};

static void OnInterrupt(int)
{
    g_interrupted.store(true);
}

static std::string Quoted(const char* path)
{
    return std::string("'") + path + "'";
}

static bool ReadFile(const char* path, std::vector<uint8_t>* data)
{
    FILE* file = fopen(path, "rb");
    if (!file) {
        ToolFail("cannot open " + Quoted(path) + ": " + strerror(errno));
        return false;
    }
    uint8_t buffer[65536];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, file)) > 0 && data->size() <= 0x7FFFFFFF)
        data->insert(data->end(), buffer, buffer + n);
    int reason = ferror(file) ? errno : 0;
    fclose(file);
    if (reason) {
        ToolFail("cannot read " + Quoted(path) + ": " + strerror(reason));
        return false;
    }
    if (data->size() > 0x7FFFFFFF) {
        ToolFail(Quoted(path) + " is larger than 2 GiB");
        return false;
    }
    return true;
}

static bool LoadModule(const char* path)
{
    std::vector<uint8_t> data;
    if (!ReadFile(path, &data))
        return false;
    if (MusicLoad(data.data(), int(data.size())) != 0) {
        ToolFail(Quoted(path) + " is not a module this player can play");
        return false;
    }
    return true;
}

static const char* LoopName(uint8_t mode)
{
    return mode == LOOP_FORWARD ? "forward" : mode == LOOP_PINGPONG ? "ping-pong" : "none";
}

static int Info(const char* path)
{
    std::vector<uint8_t> data;
    if (!ReadFile(path, &data))
        return 1;
    ModuleFileOpsUseMemory();
    MemoryFile file{int(data.size()), 0, data.data()};
    Song* song = SongCreate(&file);
    if (!song)
        return ToolFail(Quoted(path) + " is not a module this player can play");
    char name[21] = {};
    if (data.size() >= 37)
        memcpy(name, data.data() + 17, 20);
    ToolPrintf("name: %s\n", PrintableName(name).c_str());
    ToolPrintf("song length: %d\nrestart position: %d\nchannels: %d\n", song->songLength, song->restartPosition, song->channels);
    ToolPrintf("patterns: %d\ninstruments: %d\n", song->patternsInFile, song->instrumentCount);
    ToolPrintf("frequency table: %s\ntempo: %d\nbpm: %d\n", (song->flags & 1) ? "linear" : "amiga", song->defaultTempo, song->defaultBpm);
    ToolPrintf("orders:");
    for (int i = 0; i < song->songLength; i++)
        ToolPrintf(" %d", song->orders[i]);
    ToolPrintf("\n");
    for (int i = 0; i < song->instrumentCount; i++) {
        const Instrument& instrument = song->instruments[i];
        ToolPrintf("instrument %d: %d samples\n", i + 1, instrument.sampleCount);
        for (int k = 0; k < instrument.sampleCount; k++) {
            const Sample* s = instrument.samples[k];
            ToolPrintf("  sample %d: length %u loop %s %u %u bits %d volume %d finetune %d relative note %d\n", k, s->length,
                   LoopName(s->loopMode), s->loopStart, s->loopLength, s->fileBits, s->volume, s->finetune, s->relativeNote);
        }
    }
    SongDestroy(song);
    return 0;
}

static void PutLe(std::vector<uint8_t>* out, uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; i++)
        out->push_back(uint8_t(value >> (8 * i)));
}

static std::vector<uint8_t> WavHeader(uint32_t dataBytes)
{
    std::vector<uint8_t> h;
    auto tag = [&](const char* t) { h.insert(h.end(), t, t + 4); };
    tag("RIFF");
    PutLe(&h, 36 + dataBytes, 4);
    tag("WAVE");
    tag("fmt ");
    PutLe(&h, 16, 4);
    PutLe(&h, 1, 2);
    PutLe(&h, 2, 2);
    PutLe(&h, MUSIC_MIX_RATE, 4);
    PutLe(&h, MUSIC_MIX_RATE * 4, 4);
    PutLe(&h, 4, 2);
    PutLe(&h, 16, 2);
    tag("data");
    PutLe(&h, dataBytes, 4);
    return h;
}

// Renders block by block until the time is up, the song loops back or perBlock returns false.
template <typename PerBlock>
static void RenderStretch(double seconds, PerBlock perBlock)
{
    std::vector<int16_t> pcm(MUSIC_BLOCK_FRAMES * 2);
    double limit = seconds * MUSIC_MIX_RATE;
    int64_t frames = 0;
    int highestOrder = 0;
    MusicRenderBegin();
    while (double(frames) < limit) {
        int position = MusicRenderBlock(pcm.data());
        int order = position >> 8;
        if (position < 0 || order < highestOrder)
            break;
        highestOrder = order;
        frames += MUSIC_BLOCK_FRAMES;
        if (!perBlock(frames, position, pcm.data()))
            break;
    }
    MusicRenderEnd();
}

static int Timeline(double seconds)
{
    // A stream that has failed stops the mixing: its end reports the failure.
    RenderStretch(seconds, [](int64_t frames, int position, const int16_t*) {
        ToolPrintf("%lld %d %d\n", (long long)frames, position >> 8, position & 0xFF);
        return ToolStdoutOk();
    });
    return 0;
}

static int Render(const char* outPath, double seconds)
{
    OutputFile out;
    if (!OutputFileBegin(&out, outPath))
        return ToolFail(out.error);
    std::vector<uint8_t> le = WavHeader(0);
    uint64_t bytes = 0;
    ToolProgress progress;
    ToolProgressBegin(&progress);
    std::signal(SIGINT, OnInterrupt);
    std::signal(SIGTERM, OnInterrupt);
    RenderStretch(seconds, [&](int64_t frames, int position, const int16_t* pcm) {
        for (int i = 0; i < MUSIC_BLOCK_FRAMES * 2; i++)
            PutLe(&le, uint16_t(pcm[i]), 2);
        bytes += MUSIC_BLOCK_FRAMES * 4;
        if (le.size() >= kWriteChunk) {
            OutputFileWrite(&out, le.data(), le.size());
            le.clear();
        }
        char text[128];
        snprintf(text, sizeof text, "rendering %s: %lld s, order %d row %d", outPath,
                 (long long)(frames / MUSIC_MIX_RATE), position >> 8, position & 0xFF);
        ToolProgressShow(&progress, text);
        return out.error.empty() && !g_interrupted.load();
    });
    ToolProgressEnd(&progress, false);
    if (g_interrupted.load()) {
        OutputFileDiscard(&out);
        return ToolFail("interrupted: " + Quoted(outPath) + " not written");
    }
    std::vector<uint8_t> header = WavHeader(uint32_t(bytes));
    bool ok = OutputFileWrite(&out, le.data(), le.size()) &&
              OutputFileWriteAt(&out, 0, header.data(), header.size()) && OutputFileCommit(&out);
    if (!ok)
        return ToolFail(out.error);
    fprintf(stderr, "zenkor-xm: rendered %s: %.2f s\n", outPath, double(bytes) / 4 / MUSIC_MIX_RATE);
    return 0;
}

static int Play(double seconds)
{
    if (!MusicPlay()) {
        MusicFree();
        return ToolFail("no audio device could be opened");
    }
    std::signal(SIGINT, OnInterrupt);
    std::signal(SIGTERM, OnInterrupt);
    ToolProgress progress;
    ToolProgressBegin(&progress);
    auto start = std::chrono::steady_clock::now();
    int highestOrder = 0;
    while (!g_interrupted.load()) {
        std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
        if (elapsed.count() >= seconds)
            break;
        int position = MusicGetPosition();
        int order = position >> 8;
        if (order < highestOrder)
            break;
        highestOrder = order;
        char text[64];
        snprintf(text, sizeof text, "order %3d row %3d  %6.1f s", order, position & 0xFF, elapsed.count());
        ToolProgressShow(&progress, text);
        std::this_thread::sleep_for(std::chrono::milliseconds(40));
    }
    ToolProgressEnd(&progress, true);
    MusicFree();
    return 0;
}

static int Run(int argc, char** argv)
{
    std::vector<std::string> positional;
    double seconds = 600;
    const char* secondsText = nullptr;
    for (int i = 1; i < argc; i++) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            fputs(kUsage, stdout);
            return 0;
        }
        if (arg == "--seconds" || arg.rfind("--seconds=", 0) == 0) {
            if (arg == "--seconds" && i + 1 >= argc)
                return ToolUsage("--seconds needs a number of seconds", kUsage);
            secondsText = arg == "--seconds" ? argv[++i] : argv[i] + 10;
            if (!ToolParseDecimal(secondsText, &seconds) || !(seconds > 0) || seconds > kMaxSeconds)
                return ToolUsage("--seconds needs a decimal number of seconds above 0 and at most 10000000, not '" +
                                     std::string(secondsText) + "'",
                                 kUsage);
            continue;
        }
        if (arg.size() > 1 && arg[0] == '-')
            return ToolUsage("unknown option '" + arg + "'", kUsage);
        positional.push_back(arg);
    }
    if (positional.empty())
        return ToolUsage("", kUsage);
    const std::string& command = positional[0];
    if (command != "info" && command != "timeline" && command != "render" && command != "play")
        return ToolUsage("unknown command '" + command + "'", kUsage);
    if (command == "render" && positional.size() != 3)
        return ToolUsage("render takes MODULE and OUT.wav", kUsage);
    if (command != "render" && positional.size() != 2)
        return ToolUsage(command + " takes one MODULE", kUsage);
    if (command == "info" && secondsText)
        return ToolUsage("info takes no --seconds", kUsage);
    if (command == "render" && seconds > kMaxRenderSeconds)
        return ToolUsage("render writes at most 24347 seconds (the most a WAV file holds), not '" +
                             std::string(secondsText) + "'",
                         kUsage);
    const char* module = positional[1].c_str();
    if (command == "info")
        return Info(module);
    if (!LoadModule(module))
        return 1;
    int result;
    if (command == "timeline")
        result = Timeline(seconds);
    else if (command == "render")
        result = Render(positional[2].c_str(), seconds);
    else
        return Play(secondsText ? seconds : 1e300);  // play has no time limit of its own
    MusicFree();
    return result;
}

int main(int argc, char** argv)
{
    ToolInit("zenkor-xm");
    return ToolFinish(Run(argc, argv));
}
