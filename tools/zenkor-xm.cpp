// zenkor-xm: inspects, times, renders and plays XM modules with the system's own player.
#include "sound/music.h"
#include "sound/song.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

static const char kUsage[] =
    "usage: zenkor-xm info MODULE\n"
    "       zenkor-xm timeline MODULE [--seconds S]\n"
    "       zenkor-xm render MODULE OUT.wav [--seconds S]\n"
    "       zenkor-xm play MODULE [--seconds S]\n"
    "\n"
    "info      header figures, order table and every instrument's samples\n"
    "timeline  one line per 884-frame block mixed offline: FRAMES ORDER ROW\n"
    "render    the same stretch as 16-bit stereo 44,100 Hz WAV\n"
    "play      plays through the audio device, showing order and row\n"
    "Timeline and render stop after S seconds (default 600), play after S seconds if given;\n"
    "all three stop when the song loops back to an earlier order. Play also stops on Ctrl+C.\n";

static std::atomic<bool> g_interrupted{false};

static void OnInterrupt(int)
{
    g_interrupted.store(true);
}

static bool ReadFile(const char* path, std::vector<uint8_t>* data)
{
    FILE* file = fopen(path, "rb");
    if (!file) {
        fprintf(stderr, "zenkor-xm: cannot open '%s'\n", path);
        return false;
    }
    uint8_t buffer[65536];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, file)) > 0)
        data->insert(data->end(), buffer, buffer + n);
    bool failed = ferror(file) != 0;
    fclose(file);
    if (failed || data->size() > 0x7FFFFFFF) {
        fprintf(stderr, "zenkor-xm: cannot read '%s'\n", path);
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
        fprintf(stderr, "zenkor-xm: '%s' is not a module this player can play\n", path);
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
    if (!song) {
        fprintf(stderr, "zenkor-xm: '%s' is not a module this player can play\n", path);
        return 1;
    }
    char name[21] = {};
    if (data.size() >= 37)
        memcpy(name, data.data() + 17, 20);
    printf("name: %s\n", name);
    printf("song length: %d\nrestart position: %d\nchannels: %d\n", song->songLength, song->restartPosition, song->channels);
    printf("patterns: %d\ninstruments: %d\n", song->patternsInFile, song->instrumentCount);
    printf("frequency table: %s\ntempo: %d\nbpm: %d\n", (song->flags & 1) ? "linear" : "amiga", song->defaultTempo, song->defaultBpm);
    printf("orders:");
    for (int i = 0; i < song->songLength; i++)
        printf(" %d", song->orders[i]);
    printf("\n");
    for (int i = 0; i < song->instrumentCount; i++) {
        const Instrument& instrument = song->instruments[i];
        printf("instrument %d: %d samples\n", i + 1, instrument.sampleCount);
        for (int k = 0; k < instrument.sampleCount; k++) {
            const Sample* s = instrument.samples[k];
            printf("  sample %d: length %u loop %s %u %u bits %d volume %d finetune %d relative note %d\n", k, s->length,
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

// Renders block by block until the time is up or the song loops back; calls back per block.
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
        perBlock(frames, position, pcm.data());
    }
    MusicRenderEnd();
}

static int Timeline(double seconds)
{
    RenderStretch(seconds, [](int64_t frames, int position, const int16_t*) {
        printf("%lld %d %d\n", (long long)frames, position >> 8, position & 0xFF);
    });
    return fflush(stdout) == 0 ? 0 : 1;
}

static int Render(const char* outPath, double seconds)
{
    FILE* out = fopen(outPath, "wb");
    if (!out) {
        fprintf(stderr, "zenkor-xm: cannot create '%s'\n", outPath);
        return 1;
    }
    std::vector<uint8_t> header = WavHeader(0);
    bool ok = fwrite(header.data(), 1, header.size(), out) == header.size();
    uint64_t bytes = 0;
    int64_t lastSecond = -1;
    RenderStretch(seconds, [&](int64_t frames, int position, const int16_t* pcm) {
        std::vector<uint8_t> le;
        le.reserve(MUSIC_BLOCK_FRAMES * 4);
        for (int i = 0; i < MUSIC_BLOCK_FRAMES * 2; i++)
            PutLe(&le, uint16_t(pcm[i]), 2);
        ok = ok && fwrite(le.data(), 1, le.size(), out) == le.size();
        bytes += le.size();
        if (frames / MUSIC_MIX_RATE != lastSecond) {
            lastSecond = frames / MUSIC_MIX_RATE;
            fprintf(stderr, "\rrendering %s: %lld s, order %d row %d   ", outPath, (long long)lastSecond, position >> 8, position & 0xFF);
        }
    });
    fprintf(stderr, "\rrendered %s: %.2f s%30s\n", outPath, double(bytes) / 4 / MUSIC_MIX_RATE, "");
    header = WavHeader(uint32_t(bytes));
    ok = ok && fseek(out, 0, SEEK_SET) == 0 && fwrite(header.data(), 1, header.size(), out) == header.size();
    ok = (fclose(out) == 0) && ok;
    if (!ok) {
        fprintf(stderr, "zenkor-xm: writing '%s' failed\n", outPath);
        return 1;
    }
    return 0;
}

static int Play(double seconds)
{
    if (!MusicPlay()) {
        fprintf(stderr, "zenkor-xm: no audio device could be opened\n");
        MusicFree();
        return 1;
    }
    std::signal(SIGINT, OnInterrupt);
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
        printf("\rorder %3d row %3d  %6.1f s", order, position & 0xFF, elapsed.count());
        fflush(stdout);
        std::this_thread::sleep_for(std::chrono::milliseconds(40));
    }
    printf("\n");
    MusicFree();
    return 0;
}

static bool ParseSeconds(const char* text, double* seconds)
{
    char* end = nullptr;
    double value = strtod(text, &end);
    if (!end || *end || !(value > 0) || value > 1e7)
        return false;
    *seconds = value;
    return true;
}

int main(int argc, char** argv)
{
    std::vector<std::string> positional;
    double seconds = 600;
    bool secondsGiven = false;
    for (int i = 1; i < argc; i++) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            fputs(kUsage, stdout);
            return 0;
        }
        if (arg == "--seconds") {
            if (i + 1 >= argc || !ParseSeconds(argv[i + 1], &seconds)) {
                fprintf(stderr, "zenkor-xm: --seconds needs a positive number\n%s", kUsage);
                return 2;
            }
            secondsGiven = true;
            i++;
            continue;
        }
        positional.push_back(arg);
    }
    if (positional.empty()) {
        fputs(kUsage, stderr);
        return 2;
    }
    const std::string& command = positional[0];
    size_t wanted = command == "render" ? 3 : 2;
    if ((command != "info" && command != "timeline" && command != "render" && command != "play") ||
        positional.size() != wanted) {
        fputs(kUsage, stderr);
        return 2;
    }
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
        return Play(secondsGiven ? seconds : 1e300);  // play has no time limit of its own
    MusicFree();
    return result;
}
