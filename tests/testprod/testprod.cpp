// A small production for host and display tests: a colour ramp with a moving white bar, drawn
// from the clock and the music position. Options choose how long it runs and which failure it
// provokes; --write-archive makes the archive it reads.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "files/archive_writer.h"
#include "host/archive.h"
#include "host/cpu.h"
#include "host/fatal.h"
#include "host/host.h"
#include "host/scratch.h"

namespace {

struct Options {
    const char* archive = "testprod.pak";
    const char* module = nullptr;
    int seconds = 0;         // end after this many seconds of the clock; 0 = no limit
    int frames = 0;          // end after this many frames; 0 = no limit (both: when both are reached)
    int fatalFrame = -1;     // FatalError on the frame thread at this frame
    bool fatalSetup = false; // FatalError on the main thread in DemoSetup
    bool setupFails = false; // DemoSetup returns false
    bool still = false;      // no moving bar, for screenshots
};

Options options;
int framesDrawn;
FrameInfo lastInfo;

// Red follows x, green follows y, blue is fixed: the screenshot test inverts this.
uint32_t RampPixel(int x, int y)
{
    return (uint32_t)(x * 255 / 319) << 16 | (uint32_t)(y * 255 / 199) << 8 | 0x40;
}

int Usage()
{
    std::fputs("usage: testprod [--seconds S] [--frames N] [--archive NAME | --no-archive] [--module NAME]\n"
               "                [--fatal-frame N] [--fatal-setup] [--setup-fails] [--still]\n"
               "       testprod --write-archive PATH ORIGIN\n",
               stderr);
    return 2;
}

// An archive with a greeting, a note of where it came from, and a module file the player must
// refuse.
int WriteArchive(const char* path, const char* origin)
{
    std::vector<ArchiveItem> items(3);
    items[0].path = "hello.txt";
    items[0].data = {'h', 'e', 'l', 'l', 'o'};
    items[1].path = "bad.xm";
    items[1].data = std::vector<uint8_t>(64, 0x5A);
    items[2].path = "origin.txt";
    items[2].data.assign(origin, origin + std::strlen(origin));
    std::vector<uint8_t> bytes;
    std::string error;
    if (!ArchiveBuild(items, ArchiveOptions{true, true}, &bytes, &error)) {
        std::fprintf(stderr, "testprod: %s\n", error.c_str());
        return 1;
    }
    std::ofstream out(path, std::ios::binary);
    out.write((const char*)bytes.data(), (std::streamsize)bytes.size());
    return out ? 0 : 1;
}

bool ParseOptions(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        bool hasValue = i + 1 < argc;
        if (a == "--still") options.still = true;
        else if (a == "--fatal-setup") options.fatalSetup = true;
        else if (a == "--setup-fails") options.setupFails = true;
        else if (a == "--seconds" && hasValue) options.seconds = std::atoi(argv[++i]);
        else if (a == "--frames" && hasValue) options.frames = std::atoi(argv[++i]);
        else if (a == "--fatal-frame" && hasValue) options.fatalFrame = std::atoi(argv[++i]);
        else if (a == "--archive" && hasValue) options.archive = argv[++i];
        else if (a == "--no-archive") options.archive = nullptr;
        else if (a == "--module" && hasValue) options.module = argv[++i];
        else return false;
    }
    return true;
}

}  // namespace

void DemoConfigure(DemoConfig& config)
{
    config.archiveName = options.archive;
    config.moduleName = options.module;
    config.title = "Zenkor test production";
    config.scratchPoolSize = 64 * 1024;
}

bool DemoSetup(const DemoConfig& config)
{
    if (!HasMmx())
        FatalError("This demo requires MMX technology");
    if (options.fatalSetup)
        FatalError("Setup failed on purpose (%ux%u)", config.width, config.height);
    size_t size = 0;
    void* hello = LoadWholeFile("hello.txt", &size);
    bool ok = size == 5 && std::memcmp(hello, "hello", 5) == 0;
    std::free(hello);
    char* origin = (char*)LoadWholeFile("origin.txt", &size);
    std::printf("origin: %.*s\n", (int)size, origin);
    std::fflush(stdout);
    std::free(origin);
    return ok && !options.setupFails;
}

bool DemoFrame(FrameSurface& frame, const FrameInfo& info)
{
    if (options.fatalFrame >= 0 && framesDrawn == options.fatalFrame)
        FatalError("Frame %d failed on purpose", framesDrawn);
    // A scratch buffer each frame, as the effects borrow them.
    uint32_t* row = (uint32_t*)ScratchAlloc((uint32_t)frame.width * 4);
    int bar = options.still ? -1 : (info.timeMs / 4 + info.position) % frame.width;
    for (int y = 0; y < frame.height; ++y) {
        for (int x = 0; x < frame.width; ++x)
            row[x] = x == bar ? 0x00FFFFFF : RampPixel(x, y);
        std::memcpy((uint8_t*)frame.pixels + (size_t)y * frame.pitch, row, (size_t)frame.width * 4);
    }
    ScratchFree(row);
    lastInfo = info;
    ++framesDrawn;
    // With both limits given the run ends when both are reached.
    bool framesDone = options.frames > 0 && framesDrawn >= options.frames;
    bool timeDone = options.seconds > 0 && info.timeMs >= options.seconds * 1000;
    if (options.frames > 0 && options.seconds > 0)
        return !(framesDone && timeDone);
    return !framesDone && !timeDone;
}

void DemoTeardown()
{
    std::printf("testprod: %d frames, last position %d, last time %d ms\n", framesDrawn, lastInfo.position,
                (int)lastInfo.timeMs);
    std::fflush(stdout);
}

int main(int argc, char** argv)
{
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
        Usage();
        return 0;
    }
    if (argc == 4 && std::strcmp(argv[1], "--write-archive") == 0)
        return WriteArchive(argv[2], argv[3]);
    if (!ParseOptions(argc, argv))
        return Usage();
    return HostMain();
}
