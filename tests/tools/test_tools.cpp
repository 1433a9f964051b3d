// zenkor-xm and zenkor-effects as a careful user with awkward files and places meets them: their
// messages and exit codes, what they write where, and where their progress goes.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>

#include "tests/sound/xm_builder.h"

namespace fs = std::filesystem;

namespace {

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

std::string Get(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void Put(const fs::path& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

std::string FirstLine(const std::string& text) { return text.substr(0, text.find('\n')); }

size_t Count(const std::string& text, char c) { return size_t(std::count(text.begin(), text.end(), c)); }

// One run of a tool and the first line it must put on stderr.
struct UsageCase {
    std::string arguments;
    int status;
    std::string message;
};

class Tools : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::random_device seed;
        dir = fs::temp_directory_path() / ("zenkor-tools-" + std::to_string(seed()));
        fs::create_directories(dir);
        // One pattern of silence after a note: the song never loops back, so every stretch runs
        // to its time limit.
        XmModule m;
        m.instruments.push_back(XmToneInstrument());
        m.patterns[0].At(0, 0, m.channels) = XmCell{49, 1, 0, 0, 0};
        std::vector<uint8_t> module = XmBuild(m);
        module[17 + 4] = 0x1B; // "test\x1Bmodule": a name that would drive a terminal
        Put(dir / "m.xm", std::string(module.begin(), module.end()));
    }
    void TearDown() override { fs::remove_all(dir); }

    std::string P(const std::string& name) const { return "'" + (dir / name).string() + "'"; }

    // Runs the shell command with stdout to stdoutTarget (a file read back when none is given)
    // and stderr to a file read back.
    Outcome Shell(const std::string& command, const std::string& stdoutTarget = "")
    {
        std::string target = stdoutTarget.empty() ? P("out.txt") : stdoutTarget;
        std::string line = "(" + command + ") >" + target + " 2>" + P("err.txt");
        Outcome r;
        int status = std::system(("(" + line + "); echo $? >" + P("rc.txt")).c_str());
        if (status != 0)
            return r;
        r.status = std::atoi(Get(dir / "rc.txt").c_str());
        if (stdoutTarget.empty())
            r.out = Get(dir / "out.txt");
        r.err = Get(dir / "err.txt");
        return r;
    }
    Outcome Xm(const std::string& arguments, const std::string& prefix = "",
               const std::string& stdoutTarget = "")
    {
        return Shell(prefix + ZENKOR_XM + " " + arguments, stdoutTarget);
    }
    Outcome Effects(const std::string& arguments, const std::string& prefix = "",
                    const std::string& stdoutTarget = "")
    {
        return Shell(prefix + ZENKOR_EFFECTS + " " + arguments, stdoutTarget);
    }
    void ExpectFirstLines(const std::string& tool, const std::vector<UsageCase>& cases)
    {
        for (const UsageCase& c : cases) {
            Outcome r = Shell(tool + " " + c.arguments);
            EXPECT_EQ(r.status, c.status) << c.arguments;
            EXPECT_EQ(FirstLine(r.err), c.message) << c.arguments;
        }
        Outcome help = Shell(tool + " --help");
        EXPECT_EQ(help.status, 0);
        EXPECT_NE(help.out.find("Exit status: 0 success, 1 failure"), std::string::npos);
    }

    // Every file under root whose name holds ".part".
    std::vector<std::string> PartFiles()
    {
        std::vector<std::string> found;
        for (const auto& e : fs::recursive_directory_iterator(dir))
            if (e.path().filename().string().find(".part") != std::string::npos)
                found.push_back(e.path().string());
        return found;
    }

    fs::path dir;
};

// A file size limit stands in for a full disk; the signal it raises is ignored, so writes fail.
// It holds for the messages file too: 16 blocks leave room for a line per picture.
const char kSmallDisk[] = "trap '' XFSZ; ulimit -f 16; ";

uint32_t Le32(const std::string& bytes, size_t at)
{
    return uint32_t(uint8_t(bytes[at])) | uint32_t(uint8_t(bytes[at + 1])) << 8 |
           uint32_t(uint8_t(bytes[at + 2])) << 16 | uint32_t(uint8_t(bytes[at + 3])) << 24;
}

TEST_F(Tools, XmInfoShowsTheModuleNamePrintably)
{
    Outcome r = Xm("info " + P("m.xm"));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(FirstLine(r.out), "name: test\\x1Bmodule");
}

TEST_F(Tools, FailedWritesToStandardOutput)
{
    const std::string full = "zenkor-xm: writing standard output failed: No space left on device\n";
    for (const char* command : {"info", "timeline"}) {
        Outcome r = Xm(std::string(command) + " " + P("m.xm"), "", "/dev/full");
        EXPECT_EQ(r.status, 1) << command;
        EXPECT_EQ(r.err, full) << command;
    }
    Outcome r = Effects("gallery " + P("g"), "", "/dev/full");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.substr(r.err.find('\n') + 1),
              "zenkor-effects: writing standard output failed: No space left on device\n");
}

TEST_F(Tools, XmRenderWritesWholeFilesOrNone)
{
    Put(dir / "o.wav", "an older file");
    Outcome r = Xm("render " + P("m.xm") + " " + P("o.wav"), kSmallDisk);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "zenkor-xm: cannot write '" + (dir / "o.wav").string() + "': File too large\n");
    EXPECT_EQ(Get(dir / "o.wav"), "an older file");
    EXPECT_EQ(PartFiles(), std::vector<std::string>());

    fs::create_directories(dir / "d.wav");
    r = Xm("render " + P("m.xm") + " " + P("d.wav"));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "zenkor-xm: '" + (dir / "d.wav").string() + "' exists and is not a regular file\n");

    r = Xm("render " + P("m.xm") + " " + P("o.wav") + " --seconds 10");
    EXPECT_EQ(r.status, 0) << r.err;
    // Not a terminal: no progress within seconds, no carriage returns, one line at the end.
    EXPECT_EQ(r.err, "zenkor-xm: rendered " + (dir / "o.wav").string() + ": 10.00 s\n");
    std::string wav = Get(dir / "o.wav");
    ASSERT_GT(wav.size(), 44u);
    EXPECT_EQ(Le32(wav, 4), wav.size() - 8);
    EXPECT_EQ(Le32(wav, 40), wav.size() - 44);
    EXPECT_EQ((wav.size() - 44) / 4, 499u * 884u); // whole blocks up to 10 s
}

TEST_F(Tools, XmRenderStoppedByASignalLeavesNothing)
{
    // Hours of song take many seconds to render: the signal comes long before the end.
    Outcome r = Shell(std::string(ZENKOR_XM) + " render " + P("m.xm") + " " + P("o.wav") +
                      " --seconds 24000 & p=$!; sleep 0.3; kill -INT $p; wait $p");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "zenkor-xm: interrupted: '" + (dir / "o.wav").string() + "' not written\n");
    EXPECT_FALSE(fs::exists(dir / "o.wav"));
    EXPECT_EQ(PartFiles(), std::vector<std::string>());
}

TEST_F(Tools, XmProgressOnATerminalIsOneUpdatingLine)
{
    if (std::system("script --version >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "no script(1) to make a terminal";
    // script gives the tool a terminal on stderr and copies what appears there to its stdout.
    auto start = std::chrono::steady_clock::now();
    Outcome r = Shell("script -qec \"" + std::string(ZENKOR_XM) + " render " + P("m.xm") + " " + P("o.wav") +
                      " >/dev/null\" /dev/null </dev/null");
    double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    ASSERT_EQ(r.status, 0) << r.err;
    std::string seen = r.out;
    size_t end = seen.rfind("zenkor-xm: rendered ");
    ASSERT_NE(end, std::string::npos) << seen;
    std::string updates = seen.substr(0, end);
    EXPECT_EQ(Count(updates, '\n'), 0u) << updates;
    EXPECT_EQ(updates.rfind("\rzenkor-xm: rendering ", 0), 0u) << updates;
    // At most one update a tenth of a second, and the blanking of the last one.
    EXPECT_LE(Count(updates, '\r'), size_t(ms / 100) + 3) << updates;
}

TEST_F(Tools, XmPlayShowsProgressOnStandardError)
{
    Outcome r = Xm("play " + P("m.xm") + " --seconds 0.3", "SDL_AUDIODRIVER=dummy ");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(Count(r.err, '\r'), 0u) << r.err;
    for (size_t at = 0; at < r.err.size(); at = r.err.find('\n', at) + 1)
        EXPECT_EQ(r.err.compare(at, 11, "zenkor-xm: "), 0) << r.err;
}

TEST_F(Tools, XmUsageErrorsSayWhatWasWrong)
{
    const std::string module = P("m.xm");
    std::vector<UsageCase> cases = {
        {"", 2, "usage: zenkor-xm info MODULE"},
        {"bogus " + module, 2, "zenkor-xm: unknown command 'bogus'"},
        {"info " + module + " --bogus", 2, "zenkor-xm: unknown option '--bogus'"},
        {"info", 2, "zenkor-xm: info takes one MODULE"},
        {"info " + module + " --seconds 5", 2, "zenkor-xm: info takes no --seconds"},
        {"render " + module, 2, "zenkor-xm: render takes MODULE and OUT.wav"},
        {"timeline " + module + " --seconds", 2, "zenkor-xm: --seconds needs a number of seconds"},
        {"render " + module + " " + P("o.wav") + " --seconds 24348", 2,
         "zenkor-xm: render writes at most 24347 seconds (the most a WAV file holds), not '24348'"},
        {"info " + P("missing.xm"), 1,
         "zenkor-xm: cannot open '" + (dir / "missing.xm").string() + "': No such file or directory"},
        {"info " + P(""), 1, "zenkor-xm: cannot read '" + dir.string() + "/': Is a directory"},
        {"timeline " + module + " --seconds 0.05", 0, ""},
        {"timeline " + module + " --seconds=10000000 --seconds .05", 0, ""},
    };
    for (const char* bad :
         {"1e9", "1e6", "-5", "0", "0.0", " 5", "5s", "inf", "nan", "0x10", "10000000.5", ".", ""})
        cases.push_back(
            {"timeline " + module + " --seconds '" + bad + "'", 2,
             std::string("zenkor-xm: --seconds needs a decimal number of seconds above 0 and at most "
                         "10000000, not '") +
                 bad + "'"});
    ExpectFirstLines(ZENKOR_XM, cases);
}

// True when bytes hold a PNG file through its end chunk.
bool WholePng(const std::string& bytes)
{
    static const std::string end("\0\0\0\0IEND\xAE\x42\x60\x82", 12);
    return bytes.size() > 20 && bytes.compare(0, 8, "\x89PNG\r\n\x1A\n") == 0 &&
           bytes.compare(bytes.size() - 12, 12, end) == 0;
}

TEST_F(Tools, EffectsGalleryWritesWholeFilesOrNone)
{
    Outcome r = Effects("gallery " + P("g"), kSmallDisk);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.substr(r.err.rfind('\n', r.err.size() - 2) + 1, 16), "zenkor-effects: ");
    size_t failures = 0;
    for (size_t at = 0; at < r.err.size(); at = r.err.find('\n', at) + 1) {
        std::string line = r.err.substr(at, r.err.find('\n', at) - at);
        if (line.find("images written") != std::string::npos)
            continue;
        EXPECT_EQ(line.rfind("zenkor-effects: cannot write '" + (dir / "g").string() + "/", 0), 0u) << line;
        EXPECT_NE(line.find(".png': File too large"), std::string::npos) << line;
        failures++;
    }
    EXPECT_GT(failures, 0u);
    for (const auto& e : fs::directory_iterator(dir / "g"))
        EXPECT_TRUE(WholePng(Get(e.path()))) << e.path();
    EXPECT_EQ(PartFiles(), std::vector<std::string>());

    // What stands where a picture goes and is not a file is neither replaced nor written to.
    fs::remove_all(dir / "g");
    fs::create_directories(dir / "g/noise.png");
    ASSERT_EQ(std::system(("mkfifo " + P("g/sprites.png")).c_str()), 0);
    r = Effects("gallery " + P("g"), "timeout 60 ");
    EXPECT_EQ(r.status, 1);
    for (const char* name : {"noise.png", "sprites.png"})
        EXPECT_NE(r.err.find("zenkor-effects: '" + (dir / "g" / name).string() +
                             "' exists and is not a regular file\n"),
                  std::string::npos)
            << r.err;
    EXPECT_TRUE(fs::is_directory(dir / "g/noise.png"));
    EXPECT_TRUE(fs::is_fifo(dir / "g/sprites.png"));
    EXPECT_TRUE(WholePng(Get(dir / "g/glow-lines.png")));
}

TEST_F(Tools, EffectsUsageErrorsSayWhatWasWrong)
{
    Put(dir / "file", "x");
    std::vector<UsageCase> cases = {
        {"", 2, "usage: zenkor-effects gallery OUTDIR [--time MS]"},
        {"--bogus", 2, "zenkor-effects: unknown option '--bogus'"},
        {"render " + P("g"), 2, "zenkor-effects: unknown command 'render'"},
        {"gallery", 2, "zenkor-effects: gallery takes one OUTDIR"},
        {"gallery " + P("g") + " " + P("h"), 2, "zenkor-effects: gallery takes one OUTDIR"},
        {"gallery " + P("g") + " --fast", 2, "zenkor-effects: unknown option '--fast'"},
        {"gallery " + P("g") + " --time", 2, "zenkor-effects: --time needs a number of milliseconds"},
        {"gallery " + P("file"), 1,
         "zenkor-effects: cannot create '" + (dir / "file").string() + "': Not a directory"},
    };
    for (const char* bad : {"-1", "+5", " 5", "1.5", "1e3", "4294967296", "99999999999999999999", ""})
        cases.push_back({"gallery " + P("g") + " --time '" + bad + "'", 2,
                         std::string("zenkor-effects: --time needs a whole number of milliseconds from 0 to "
                                     "4294967295, not '") +
                             bad + "'"});
    ExpectFirstLines(ZENKOR_EFFECTS, cases);
    EXPECT_FALSE(fs::exists(dir / "g"));
    Outcome r = Effects("gallery --time 4294967295 " + P("g"));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Count(r.out, '\n'), 27u);
}

} // namespace
