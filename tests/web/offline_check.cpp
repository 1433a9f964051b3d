// Draws the whole production offline, frame after frame, and writes what a viewer would get:
// OUTDIR/frames.txt ("N TIME_MS POSITION HASH" per frame, FNV-1a of its pixels), OUTDIR/song.pcm
// (the offline render, 16-bit stereo 44,100 Hz, up to the last frame's sample) and, every K
// frames, OUTDIR/frame-N.png. The native and the web builds of it must write the same bytes.
// usage: offline_check [--fps N] [--png-every K] [--frames N] OUTDIR
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "host/offline.h"
#include "images/png_writer.h"
#include "sound/music.h"

namespace {

struct Options {
    uint32_t fps = 60;
    uint64_t pngEvery = 0;
    uint64_t frames = UINT64_MAX;
    const char* out = nullptr;
};

void SinkToFile(const int16_t* pcm, int frames, void* user)
{
    std::fwrite(pcm, 4, (size_t)frames, static_cast<FILE*>(user));
}

uint64_t FrameHash(const FrameSurface& s)
{
    uint64_t h = 0xcbf29ce484222325ull;
    for (int32_t y = 0; y < s.height; y++) {
        const uint8_t* row = reinterpret_cast<const uint8_t*>(s.pixels) + (size_t)y * s.pitch;
        for (size_t i = 0; i < (size_t)s.width * 4; i++)
            h = (h ^ row[i]) * 0x100000001b3ull;
    }
    return h;
}

bool WritePng(const std::string& path, const FrameSurface& s)
{
    std::vector<uint8_t> rgb((size_t)s.width * s.height * 3);
    for (int32_t y = 0; y < s.height; y++)
        for (int32_t x = 0; x < s.width; x++) {
            uint32_t p = s.pixels[(size_t)y * (s.pitch / 4) + x];
            uint8_t* o = &rgb[((size_t)y * s.width + x) * 3];
            o[0] = uint8_t(p >> 16), o[1] = uint8_t(p >> 8), o[2] = uint8_t(p);
        }
    return PngWrite(path.c_str(), rgb.data(), s.width, s.height, s.width * 3, PngRGB);
}

bool Parse(int argc, char** argv, Options* o)
{
    for (int i = 1; i < argc; i++) {
        std::string a = argv[i];
        if ((a == "--fps" || a == "--png-every" || a == "--frames") && i + 1 < argc) {
            uint64_t v = std::strtoull(argv[++i], nullptr, 10);
            if (a == "--fps")
                o->fps = (uint32_t)v;
            else if (a == "--png-every")
                o->pngEvery = v;
            else
                o->frames = v;
        } else if (!o->out && a[0] != '-') {
            o->out = argv[i];
        } else {
            return false;
        }
    }
    return o->out && o->fps > 0;
}

} // namespace

int main(int argc, char** argv)
{
    Options o;
    if (!Parse(argc, argv, &o)) {
        std::fprintf(stderr,
                     "offline_check: usage: offline_check [--fps N] [--png-every K] [--frames N] OUTDIR\n");
        return 2;
    }
    std::string dir = o.out;
    FILE* pcm = std::fopen((dir + "/song.pcm").c_str(), "wb");
    FILE* list = std::fopen((dir + "/frames.txt").c_str(), "w");
    if (!pcm || !list) {
        std::fprintf(stderr, "offline_check: cannot write in %s\n", o.out);
        return 1;
    }
    OfflineStart(SinkToFile, pcm);
    uint64_t n = 0;
    for (; n < o.frames; n++) {
        bool more = OfflineFrame(n, o.fps);
        const FrameSurface& s = OfflineFrameSurface();
        std::fprintf(list, "%llu %llu %u %016llx\n", (unsigned long long)n,
                     (unsigned long long)(n * 1000 / o.fps), OfflinePositionAt(n * MUSIC_MIX_RATE / o.fps),
                     (unsigned long long)FrameHash(s));
        if (o.pngEvery && n % o.pngEvery == 0 && !WritePng(dir + "/frame-" + std::to_string(n) + ".png", s)) {
            std::fprintf(stderr, "offline_check: cannot write frame %llu\n", (unsigned long long)n);
            return 1;
        }
        if (!more)
            break;
    }
    OfflineStop();
    bool ok = std::fclose(pcm) == 0;
    ok = std::fclose(list) == 0 && ok;
    std::fprintf(stderr, "offline_check: %llu frames\n", (unsigned long long)n + 1);
    return ok ? 0 : 1;
}
