// murova-export: "Murova by Tarsel" rendered offline into a video file, a still or a storyboard.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "export/exporter.h"
#include "host/fatal.h"
#include "platform/system.h"
#include "tools/support/tool.h"

namespace {

const char kUsage[] =
    "usage: murova-export OUT.mp4|OUT.mkv [--lossless] [--fps N] [--scale K] [--from S] [--to S] [--quality Q]\n"
    "       murova-export --still SECONDS OUT.png [--fps N] [--scale K]\n"
    "       murova-export --storyboard OUT.png\n"
    "Renders the demo offline, frame-exact, faster than it plays.\n"
    "  OUT.mp4          H.264 and AAC; OUT.mkv: H.264 and FLAC; with --lossless FFV1 (RGB) and FLAC\n"
    "  --fps N          frames per second, 1 to 240 (default 60)\n"
    "  --scale K        each pixel a K x K block, 1 to 16 (default 4 for video: 1280 x 800; 1 for stills)\n"
    "  --from S, --to S seconds of the demo to write (default: from the start to the song's end mark);\n"
    "                   frames before --from are still drawn, so every scene keeps its history\n"
    "  --quality Q      H.264 constant rate factor, 0 (best) to 51 (default 20)\n"
    "  --still SECONDS  writes the frame at that moment as PNG\n"
    "  --storyboard     writes one PNG with a labelled frame from each of the sixteen scenes\n"
    "The file appears only when complete (written as OUT.part, then renamed). Progress goes to stderr.\n"
    "Exit codes: 0 written, 1 failed (nothing left behind), 2 usage error, 130 interrupted (Ctrl+C).\n";

volatile std::sig_atomic_t interrupted = 0;

void OnInterrupt(int)
{
    interrupted = 1;
}

// A fatal error in the production (a damaged archive, memory): the message, no file left.
[[noreturn]] void ReportFatal(const char* message)
{
    ExportAbandon();
    ToolFail(message);
    SystemExitProcess(1);
}

bool ParseInt(const char* text, int low, int high, int* value)
{
    uint64_t v;
    if (!ToolParseWhole(text, (uint64_t)high, &v) || v < (uint64_t)low)
        return false;
    *value = (int)v;
    return true;
}

// Seconds of the demo: a plain decimal number from 0 to one hour.
bool ParseSeconds(const char* text, double* value)
{
    double v;
    if (!ToolParseDecimal(text, &v) || v > 3600)
        return false;
    *value = v;
    return true;
}

std::string Extension(const std::string& path)
{
    size_t dot = path.rfind('.'), slash = path.rfind('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return "";
    std::string ext = path.substr(dot);
    for (char& c : ext)
        c = (char)std::tolower((unsigned char)c);
    return ext;
}

struct Command {
    ExportOptions options;
    enum { VIDEO, STILL, STORYBOARD } mode = VIDEO;
    double still = 0;
    bool lossless = false, scaleGiven = false;
};

// Fills command from the arguments; a non-empty result is the usage problem.
std::string Parse(int argc, char** argv, Command& c)
{
    ExportOptions& o = c.options;
    for (int i = 1; i < argc; i++) {
        std::string a = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        bool takesValue = a == "--fps" || a == "--scale" || a == "--from" || a == "--to" || a == "--quality" ||
                          a == "--still";
        if (takesValue && !value)
            return a + " needs a value";
        if (a == "--fps") {
            if (!ParseInt(value, 1, 240, &o.fps))
                return "--fps needs a whole number from 1 to 240, not '" + std::string(value) + "'";
        } else if (a == "--scale") {
            if (!ParseInt(value, 1, 16, &o.scale))
                return "--scale needs a whole number from 1 to 16, not '" + std::string(value) + "'";
            c.scaleGiven = true;
        } else if (a == "--quality") {
            if (!ParseInt(value, 0, 51, &o.quality))
                return "--quality needs a whole number from 0 to 51, not '" + std::string(value) + "'";
        } else if (a == "--from" || a == "--to") {
            if (!ParseSeconds(value, a == "--from" ? &o.from : &o.to))
                return a + " needs seconds from 0 to 3600, not '" + std::string(value) + "'";
        } else if (a == "--still") {
            if (!ParseSeconds(value, &c.still))
                return "--still needs seconds from 0 to 3600, not '" + std::string(value) + "'";
            c.mode = Command::STILL;
        } else if (a == "--storyboard") {
            c.mode = Command::STORYBOARD;
        } else if (a == "--lossless") {
            c.lossless = true;
        } else if (a.size() > 1 && a[0] == '-') {
            return "unknown option '" + a + "'";
        } else if (o.path.empty()) {
            o.path = a;
            continue;
        } else {
            return "more than one output file ('" + o.path + "', '" + a + "')";
        }
        i += takesValue;
    }
    if (o.path.empty())
        return "no output file";
    if (o.to >= 0 && o.from >= o.to)
        return "--from must come before --to";
    if (c.mode != Command::VIDEO && !c.scaleGiven)
        o.scale = 1;
    return "";
}

// The container and codecs follow the extension; false (exit 1) for one we cannot write.
bool ChooseKind(Command& c, std::string* error)
{
    std::string ext = Extension(c.options.path);
    if (c.mode != Command::VIDEO) {
        if (ext == ".png")
            return true;
        *error = "'" + c.options.path + "': stills and storyboards are PNG files (.png)";
        return false;
    }
    if (ext == ".mp4" && !c.lossless)
        c.options.kind = ENCODER_MP4;
    else if (ext == ".mkv")
        c.options.kind = c.lossless ? ENCODER_MKV_LOSSLESS : ENCODER_MKV;
    else if (ext == ".mp4")
        *error = "'" + c.options.path + "': --lossless needs a .mkv file";
    else
        *error = "'" + c.options.path + "': unknown extension '" + ext + "' (use .mp4 or .mkv)";
    return error->empty();
}

} // namespace

int main(int argc, char** argv)
{
    ToolInit("murova-export");
    for (int i = 1; i < argc; i++) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            ToolPrintf("%s", kUsage);
            return ToolFinish(0);
        }
    }
    Command command;
    std::string problem = Parse(argc, argv, command);
    if (!problem.empty())
        return ToolUsage(problem, kUsage);
    std::string error;
    if (!ChooseKind(command, &error))
        return ToolFail(error);
    ExportOptions& o = command.options;
    o.interrupted = &interrupted;
    FatalErrorSetReporter(ReportFatal);
    std::signal(SIGINT, OnInterrupt);
    std::signal(SIGTERM, OnInterrupt);

    bool ok = false;
    if (command.mode == Command::STILL) {
        ok = ExportStill(o, command.still, &error);
    } else if (command.mode == Command::STORYBOARD) {
        ok = ExportStoryboard(o, &error);
    } else {
        ExportReport r;
        ok = ExportVideo(o, &r, &error);
        if (ok)
            std::fprintf(stderr,
                         "murova-export: wrote %s: %llu frames, %.1f s of demo in %.1f s (rendering %.1f s, "
                         "scaling and conversion %.1f s, encoding %.1f s)\n",
                         o.path.c_str(), (unsigned long long)r.frames, (double)r.frames / o.fps, r.totalSeconds,
                         r.renderSeconds, r.convertSeconds, r.encodeSeconds);
    }
    if (!ok) {
        ToolFail(error);
        return error == "interrupted" ? 130 : 1;
    }
    return 0;
}
