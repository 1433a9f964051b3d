// Runs the test production as a separate program: its exit codes, its messages, where it finds
// its archive, and (under X) its window, keys and frames on screen.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "tests/support/sandbox.h"

namespace fs = std::filesystem;

namespace {

const char kTitle[] = "Zenkor test production";

using sandbox::HaveXTools;
using sandbox::ReadFile;
using sandbox::Result;

// A sandbox holding the archive "testprod.pak" (unless told otherwise); scripts see $P (the
// program), $E (the program with its archive embedded) and $TITLE.
class Sandbox : public sandbox::Sandbox {
public:
    explicit Sandbox(bool withArchive = true)
        : sandbox::Sandbox("testprod", std::string("export P='") + TESTPROD_PATH + "' E='" + TESTPROD_EMBEDDED_PATH +
                                           "' TITLE='" + kTitle + "'")
    {
        if (withArchive)
            WriteArchive(dir / "testprod.pak", "disk");
    }

    static void WriteArchive(const fs::path& path, const std::string& origin)
    {
        std::string cmd = std::string("'") + TESTPROD_PATH + "' --write-archive '" + path.string() + "' " + origin;
        ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
    }

    Result RunUnderX(const std::string& body) { return sandbox::Sandbox::RunUnderX(body, kBoxPrelude); }

private:
    // The error box carries the configured title too, but no window class, unlike the main window.
    static constexpr char kBoxPrelude[] = R"SH(
box() {
    for i in $(seq 150); do
        b=$(xwininfo -root -tree | grep "\"$TITLE\": ()" | awk '{print $1}' | tail -1)
        [ -n "$b" ] && break; sleep 0.2
    done
    # How many of the program's own windows are still there while the box is shown.
    xwininfo -root -tree | grep -c '("testprod" "testprod")' > windows-left.txt
    sleep 0.5; xdotool windowfocus "$b"; sleep 0.3; xdotool key Return
}
)SH";
};

// Runs the program with args and no display at all, on SDL's offscreen driver asked for by name
// (without the name a program refuses it); an error box fails at once.
std::string Headless(const std::string& program, const std::string& args)
{
    return "env -u DISPLAY -u WAYLAND_DISPLAY SDL_VIDEODRIVER=offscreen timeout -k 5 60 \"" + program + "\" " + args +
           " > out.txt 2> err.txt; echo $? > rc.txt";
}

// --- Without a display ----------------------------------------------------------------------

TEST(TestProduction, RunsForItsTimeAndExitsZero)
{
    Sandbox box;
    Result r = box.Run(Headless("$P", "--seconds 1"));
    EXPECT_EQ(r.code, 0) << r.err << box.log;
    EXPECT_NE(r.out.find("origin: disk"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("testprod: "), std::string::npos) << "teardown ran: " << r.out;
    EXPECT_NE(r.out.find("last position 0,"), std::string::npos) << "without music the position stays 0: " << r.out;
    size_t time = r.out.find("last time ");
    ASSERT_NE(time, std::string::npos) << r.out;
    EXPECT_GE(std::atoi(r.out.c_str() + time + 10), 1000) << "the clock ran to the end time: " << r.out;
    EXPECT_EQ(r.err.find(kTitle), std::string::npos) << "no error box: " << r.err;
}

TEST(TestProduction, FatalErrorOnTheFrameThreadRunsTheWholeShutdownAndExitsZero)
{
    Sandbox box;
    Result r = box.Run(Headless("$P", "--fatal-frame 5"));
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.err.find(std::string(kTitle) + ": Frame 5 failed on purpose\n"), std::string::npos) << r.err;
    EXPECT_NE(r.out.find("testprod: 5 frames"), std::string::npos) << "teardown ran after the join: " << r.out;
}

// SDL's fallback to its offscreen driver is no display: the program stops at once with the
// display message instead of running where nobody can see it.
TEST(TestProduction, WithoutADisplayStopsWithTheDisplayMessage)
{
    Sandbox box;
    Result r = box.Run("env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER timeout -k 5 60 \"$P\" --seconds 30"
                       " > out.txt 2> err.txt; echo $? > rc.txt");
    EXPECT_EQ(r.code, 1) << r.err << box.log;
    EXPECT_NE(r.err.find(std::string(kTitle) + ": Error initializing display!"), std::string::npos) << r.err;
    EXPECT_EQ(r.out.find("testprod: "), std::string::npos) << "no frame loop, no teardown: " << r.out;
}

struct StartupFailure {
    const char* name;
    const char* args;
    const char* message;
};

class StartupFailures : public testing::TestWithParam<StartupFailure> {};

// Fatal errors on the main thread end the program with code 1 and their message on stderr,
// before the frame loop and without the production's teardown.
TEST_P(StartupFailures, ExitOneWithTheMessage)
{
    Sandbox box;
    Result r = box.Run(Headless("$P", GetParam().args));
    EXPECT_EQ(r.code, 1) << r.err << box.log;
    EXPECT_NE(r.err.find(GetParam().message), std::string::npos) << r.err;
    EXPECT_EQ(r.out.find("testprod: "), std::string::npos) << r.out;
}

INSTANTIATE_TEST_SUITE_P(
    Host, StartupFailures,
    testing::Values(StartupFailure{"FatalInSetup", "--fatal-setup", "Setup failed on purpose (320x200)"},
                    StartupFailure{"SetupFails", "--setup-fails", "Error initializing demo!"},
                    StartupFailure{"MissingModule", "--module missing.xm", "File not found: 'missing.xm'"},
                    StartupFailure{"RejectedModule", "--module bad.xm", "Unable to load module 'bad.xm'!"},
                    StartupFailure{"NoArchiveAnywhere", "--archive nowhere.pak", "Error opening archive 'nowhere.pak'.\n"},
                    StartupFailure{"NoArchiveNamed", "--no-archive", "Error opening archive ''."}),
    [](const testing::TestParamInfo<StartupFailure>& info) { return info.param.name; });

TEST(OpenArchive, FoundBesideTheProgramFromAnotherDirectory)
{
    Sandbox box(false);
    fs::create_directories(box.dir / "bin");
    fs::create_directories(box.dir / "elsewhere");
    fs::copy_file(TESTPROD_PATH, box.dir / "bin" / "testprod");
    Sandbox::WriteArchive(box.dir / "bin" / "testprod.pak", "beside");
    Result r = box.Run("cd elsewhere && " + Headless("../bin/testprod", "--seconds 0 --frames 3") +
                       " && mv out.txt err.txt rc.txt ..");
    EXPECT_EQ(r.code, 0) << r.err << box.log;
    EXPECT_NE(r.out.find("origin: beside"), std::string::npos) << r.out;
}

TEST(OpenArchive, CurrentDirectoryComesBeforeTheProgramsDirectory)
{
    Sandbox box(false);
    fs::create_directories(box.dir / "bin");
    fs::create_directories(box.dir / "here");
    fs::copy_file(TESTPROD_PATH, box.dir / "bin" / "testprod");
    Sandbox::WriteArchive(box.dir / "bin" / "testprod.pak", "beside");
    Sandbox::WriteArchive(box.dir / "here" / "testprod.pak", "current");
    Result r = box.Run("cd here && " + Headless("../bin/testprod", "--frames 3") + " && mv out.txt err.txt rc.txt ..");
    EXPECT_EQ(r.code, 0) << r.err << box.log;
    EXPECT_NE(r.out.find("origin: current"), std::string::npos) << r.out;
}

TEST(OpenArchive, EmbeddedArchiveWinsOverOneOnDisk)
{
    Sandbox box;  // a "disk" archive of the configured name lies in the current directory
    Result r = box.Run(Headless("$E", "--frames 3"));
    EXPECT_EQ(r.code, 0) << r.err << box.log;
    EXPECT_NE(r.out.find("origin: embedded"), std::string::npos) << r.out;
    r = box.Run(Headless("$E", "--no-archive --frames 3"));
    EXPECT_EQ(r.code, 0) << r.err << box.log;
    EXPECT_NE(r.out.find("origin: embedded"), std::string::npos) << "no name needed: " << r.out;
}

// --- Under X ----------------------------------------------------------------------------------

TEST(TestProductionUnderX, EscapeEndsItWithExitZero)
{
    if (!HaveXTools())
        GTEST_SKIP() << "needs xvfb-run, xdotool, openbox, xwininfo and import";
    Sandbox box;
    Result r = box.RunUnderX(R"SH(
start "$P"
w=$(window); sleep 1
press Escape
finish)SH");
    EXPECT_EQ(r.code, 0) << r.err << box.log;
    EXPECT_NE(r.out.find("testprod: "), std::string::npos) << r.out;
}

// The window opens full screen; Alt+Enter gives the doubled 640 x 400 window, whose pixels are
// the production's ramp with every frame pixel doubled; Alt+Enter again returns to full screen.
TEST(TestProductionUnderX, FramesOnScreenDoubledAndAltEnterSwitches)
{
    if (!HaveXTools())
        GTEST_SKIP() << "needs xvfb-run, xdotool, openbox, xwininfo and import";
    Sandbox box;
    Result r = box.RunUnderX(R"SH(
start "$P" --still
w=$(window); sleep 1
echo "full $(geometry)" >> shapes.txt
press alt+Return; sleep 1
echo "windowed $(geometry)" >> shapes.txt
import -window "$w" -depth 8 rgb:shot.rgb
press alt+Return; sleep 1
echo "full $(geometry)" >> shapes.txt
press Escape
finish)SH");
    EXPECT_EQ(r.code, 0) << r.err << box.log;
    std::string shapes = ReadFile(box.dir / "shapes.txt");
    EXPECT_NE(shapes.find("windowed WIDTH=640 HEIGHT=400"), std::string::npos) << shapes;
    std::string full = shapes.substr(0, shapes.find('\n'));
    EXPECT_EQ(full.find("WIDTH=640 HEIGHT=400"), std::string::npos) << "starts full screen: " << shapes;
    EXPECT_EQ(shapes.substr(shapes.rfind("full")), full.substr(full.find("full")) + "\n") << shapes;

    std::string shot = ReadFile(box.dir / "shot.rgb");
    ASSERT_EQ(shot.size(), 640u * 400u * 3u) << box.log;
    int wrong = 0;
    for (int y = 0; y < 400; y += 7) {
        for (int x = 0; x < 640; x += 5) {
            const unsigned char* p = (const unsigned char*)shot.data() + (y * 640 + x) * 3;
            int fx = x / 2, fy = y / 2;
            bool ok = p[0] == fx * 255 / 319 && p[1] == fy * 255 / 199 && p[2] == 0x40;
            wrong += !ok;
        }
    }
    EXPECT_EQ(wrong, 0) << "pixels that are not the doubled ramp";
}

TEST(TestProductionUnderX, FatalErrorOnTheFrameThreadClosesTheWindowThenShowsTheBox)
{
    if (!HaveXTools())
        GTEST_SKIP() << "needs xvfb-run, xdotool, openbox, xwininfo and import";
    Sandbox box;
    Result r = box.RunUnderX(R"SH(
start "$P" --fatal-frame 30
w=$(window)
# The window goes first; the box with the same caption comes after the whole shutdown.
for i in $(seq 100); do grep -q testprod: out.txt && break; sleep 0.2; done
box
finish)SH");
    EXPECT_EQ(r.code, 0) << r.err << box.log;
    EXPECT_NE(r.err.find("Frame 30 failed on purpose"), std::string::npos) << r.err;
    EXPECT_NE(r.out.find("testprod: 30 frames"), std::string::npos) << r.out;
    EXPECT_EQ(ReadFile(box.dir / "windows-left.txt"), "0\n") << "the window was gone when the box came";
}

TEST(TestProductionUnderX, FatalErrorOnTheMainThreadExitsOne)
{
    if (!HaveXTools())
        GTEST_SKIP() << "needs xvfb-run, xdotool, openbox, xwininfo and import";
    Sandbox box;
    Result r = box.RunUnderX(R"SH(
start "$P" --fatal-setup
box
finish)SH");
    EXPECT_EQ(r.code, 1) << r.err << box.log;
    EXPECT_NE(r.err.find("Setup failed on purpose"), std::string::npos) << r.err;
    EXPECT_EQ(ReadFile(box.dir / "windows-left.txt"), "0\n") << "the display was shut down before the box";
}

// Start-up, at least three hundred frames and three seconds with mode switches while frames are
// presented, the production's own end, shutdown. Under the ThreadSanitizer build any race ends the program with a report
// and a non-zero code.
TEST(TestProductionUnderX, FramesAndModeSwitchesRunClean)
{
    if (!HaveXTools())
        GTEST_SKIP() << "needs xvfb-run, xdotool, openbox, xwininfo and import";
    Sandbox box;
    Result r = box.RunUnderX(R"SH(
start "$P" --frames 300 --seconds 3
w=$(window)
switches=0
while kill -0 $pid 2>/dev/null; do sleep 0.3; press alt+Return 2>/dev/null; switches=$((switches + 1)); done
echo $switches > switches.txt
finish)SH");
    EXPECT_EQ(r.code, 0) << r.err << box.log;
    EXPECT_EQ(r.err.find("WARNING: ThreadSanitizer"), std::string::npos) << r.err;
    int frames = std::atoi(r.out.c_str() + std::min(r.out.size(), r.out.find("testprod: ") + 10));
    EXPECT_GE(frames, 300) << r.out;
    EXPECT_GE(std::atoi(ReadFile(box.dir / "switches.txt").c_str()), 2) << "switched while it ran";
}

}  // namespace
