// The display on a real X server: each case runs in its own private Xvfb (with a window manager
// where full screen needs one), draws through the display as the frame thread would, and checks
// screenshots of the root window.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "display/display.h"
#include "platform/video.h"

namespace {

constexpr int32_t kFrameWidth = 320;
constexpr int32_t kFrameHeight = 200;
constexpr const char* kTitle = "Zenkor display test";

bool InPrivateServer()
{
    return std::getenv("ZENKOR_DISPLAY_CHILD") != nullptr;
}

// Runs the current test again inside a private X server; returns the child's exit status.
int RunInPrivateServer(const std::string& screen, bool windowManager)
{
    const testing::TestInfo* info = testing::UnitTest::GetInstance()->current_test_info();
    std::string filter = std::string(info->test_suite_name()) + "." + info->name();
    std::string exe = std::filesystem::read_symlink("/proc/self/exe").string();
    std::random_device random;
    int serverNumber = 100 + int(random() % 800);
    std::string start = windowManager ? "openbox --sm-disable >/dev/null 2>&1 & sleep 1; " : "";
    std::string command = "ZENKOR_DISPLAY_CHILD=1 SDL_VIDEODRIVER=x11 SDL_RENDER_DRIVER=${SDL_RENDER_DRIVER:-software} "
                          "SDL_FRAMEBUFFER_ACCELERATION=${SDL_FRAMEBUFFER_ACCELERATION:-0} timeout -k 5 120 xvfb-run -a -n " +
                          std::to_string(serverNumber) + " -s '-screen 0 " + screen + "' sh -c '" + start +
                          "exec \"$0\" --gtest_filter=\"$1\"' '" + exe + "' '" + filter + "'";
    return std::system(command.c_str());
}

bool HaveTools(bool windowManager)
{
    std::string tools = "xvfb-run Xvfb import xdotool xprop xwininfo xlogo";
    if (windowManager)
        tools += " openbox";
    return std::system(("for t in " + tools + "; do command -v $t >/dev/null || exit 1; done").c_str()) == 0;
}

// Each case is a child in its own server; the parent only launches it.
#define RUN_IN_PRIVATE_SERVER(screen, windowManager)                              \
    if (!InPrivateServer()) {                                                      \
        if (!HaveTools(windowManager))                                             \
            GTEST_SKIP() << "needs xvfb-run, Xvfb, import, xdotool, xprop, xwininfo, xlogo and openbox";   \
        EXPECT_EQ(RunInPrivateServer(screen, windowManager), 0);                   \
        return;                                                                    \
    }

// Changes every pixel of the pattern, to tell one frame from the next on screen.
uint32_t patternFlip = 0;

uint32_t PatternPixel(int32_t x, int32_t y)
{
    return patternFlip ^ (uint32_t((x * 5 + 40) & 255) << 16 | uint32_t((y * 3 + 7) & 255) << 8 | uint32_t((x ^ y) & 255));
}

std::vector<uint32_t> PatternFrame()
{
    std::vector<uint32_t> frame(size_t(kFrameWidth) * kFrameHeight);
    for (int32_t y = 0; y < kFrameHeight; y++)
        for (int32_t x = 0; x < kFrameWidth; x++)
            frame[size_t(y) * kFrameWidth + x] = PatternPixel(x, y);
    return frame;
}

struct Screenshot {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint8_t> rgb;

    uint32_t Pixel(int32_t x, int32_t y) const
    {
        const uint8_t* p = &rgb[(size_t(y) * width + x) * 3];
        return uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
    }
};

// The whole root window as 8-bit RGB.
bool TakeScreenshot(Screenshot* shot)
{
    std::string path = (std::filesystem::temp_directory_path() /
                        ("zenkor-display-" + std::to_string(std::random_device()()) + ".ppm"))
                           .string();
    if (std::system(("import -window root -depth 8 ppm:'" + path + "' 2>/dev/null").c_str()) != 0)
        return false;
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    int maxValue = 0;
    in >> magic >> shot->width >> shot->height >> maxValue;
    in.get();
    bool ok = in && magic == "P6" && maxValue == 255 && shot->width > 0 && shot->height > 0;
    if (ok) {
        shot->rgb.resize(size_t(shot->width) * shot->height * 3);
        in.read(reinterpret_cast<char*>(shot->rgb.data()), std::streamsize(shot->rgb.size()));
        ok = bool(in);
    }
    std::filesystem::remove(path);
    return ok;
}

// Channels of 16-bit screens come back widened, so compare within tolerance.
bool Near(uint32_t a, uint32_t b, int tolerance)
{
    for (int shift = 0; shift < 24; shift += 8) {
        int d = int((a >> shift) & 255) - int((b >> shift) & 255);
        if (d > tolerance || d < -tolerance)
            return false;
    }
    return true;
}

bool PatternAt(const Screenshot& shot, int32_t ox, int32_t oy, int32_t scale, int tolerance)
{
    if (ox < 0 || oy < 0 || ox + kFrameWidth * scale > shot.width || oy + kFrameHeight * scale > shot.height)
        return false;
    for (int32_t y = 0; y < kFrameHeight * scale; y++)
        for (int32_t x = 0; x < kFrameWidth * scale; x++)
            if (!Near(shot.Pixel(ox + x, oy + y), PatternPixel(x / scale, y / scale), tolerance))
                return false;
    return true;
}

struct Found {
    bool found = false;
    int32_t x = -1;
    int32_t y = -1;
};

// Where the pattern shows whole at the given scale, if anywhere.
Found FindPattern(const Screenshot& shot, int32_t scale, int tolerance = 0)
{
    for (int32_t y = 0; y + kFrameHeight * scale <= shot.height; y++)
        for (int32_t x = 0; x + kFrameWidth * scale <= shot.width; x++)
            if (Near(shot.Pixel(x, y), PatternPixel(0, 0), tolerance) &&
                Near(shot.Pixel(x + scale, y), PatternPixel(1, 0), tolerance) &&
                PatternAt(shot, x, y, scale, tolerance))
                return {true, x, y};
    return {};
}

bool AllBlackOutside(const Screenshot& shot, int32_t ox, int32_t oy, int32_t width, int32_t height)
{
    for (int32_t y = 0; y < shot.height; y++)
        for (int32_t x = 0; x < shot.width; x++)
            if ((x < ox || x >= ox + width || y < oy || y >= oy + height) && shot.Pixel(x, y) != 0)
                return false;
    return true;
}

// Presents the pattern as the frame thread would until the screen shows it, up to a time limit.
Found PresentUntilShown(int32_t scale, int tolerance = 0)
{
    std::vector<uint32_t> frame = PatternFrame();
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline) {
        DisplayPresent(frame.data());
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        Screenshot shot;
        if (!TakeScreenshot(&shot))
            continue;
        Found found = FindPattern(shot, scale, tolerance);
        if (found.found)
            return found;
    }
    return {};
}

// Reads a command's standard output.
std::string CommandOutput(const std::string& command)
{
    std::string path = (std::filesystem::temp_directory_path() /
                        ("zenkor-display-" + std::to_string(std::random_device()()) + ".txt"))
                           .string();
    std::string text;
    if (std::system((command + " >'" + path + "' 2>/dev/null").c_str()) == 0) {
        std::ifstream in(path);
        text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    std::filesystem::remove(path);
    return text;
}

int32_t NumberAfter(const std::string& text, const std::string& label)
{
    size_t at = text.find(label);
    return at == std::string::npos ? -1 : std::atoi(text.c_str() + at + label.size());
}

// The outer top-left corner of the window's frame as the X server and window manager see it.
bool OuterCorner(int32_t* x, int32_t* y)
{
    std::string info = CommandOutput(std::string("xwininfo -name '") + kTitle + "'");
    std::string extents = CommandOutput(std::string("xprop -name '") + kTitle + "' _NET_FRAME_EXTENTS");
    size_t equals = extents.find('=');
    int left = 0, right = 0, top = 0;
    if (equals != std::string::npos)
        std::sscanf(extents.c_str() + equals + 1, "%d, %d, %d", &left, &right, &top);
    *x = NumberAfter(info, "Absolute upper-left X:") - left;
    *y = NumberAfter(info, "Absolute upper-left Y:") - top;
    return !info.empty();
}

bool SendKeys(const char* keys)
{
    std::string command = std::string("xdotool search --sync --name '") + kTitle + "' windowactivate --sync %1 key " +
                          keys + " >/dev/null 2>&1 || xdotool search --name '" + kTitle +
                          "' windowfocus --sync %1 key " + keys + " >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

// Runs the message loop on this (main) thread while driver runs beside it, as the frame thread would.
template <typename Driver>
int32_t RunLoopWith(Driver driver)
{
    std::thread thread([&] { driver(); });
    int32_t code = WindowRunMessageLoop();
    thread.join();
    return code;
}

DisplaySettings Settings(bool fullScreen)
{
    return {kFrameWidth, kFrameHeight, uint8_t(fullScreen ? 1 : 0)};
}

TEST(DisplayWindow, WindowedFrameShowsDoubledOnLargeDesktop)
{
    RUN_IN_PRIVATE_SERVER("1280x1024x24", false);
    DisplaySetTitle(kTitle);
    ASSERT_TRUE(DisplayInit(Settings(false)));
    EXPECT_FALSE(DisplayIsFullScreen());
    int32_t width = 0, height = 0;
    WindowGetClientSize(DisplayGetWindow(), &width, &height);
    EXPECT_EQ(width, 640);
    EXPECT_EQ(height, 400);

    Found found;
    int32_t code = RunLoopWith([&] {
        found = PresentUntilShown(2);
        WindowPostQuit(5);
    });
    EXPECT_EQ(code, 5);
    EXPECT_TRUE(found.found) << "the doubled frame never appeared on screen";
    // No window manager: the client's top-left corner is the window's, at (20, 20).
    EXPECT_EQ(found.x, 20);
    EXPECT_EQ(found.y, 20);
    DisplayShutdown();
    EXPECT_EQ(DisplayGetWindow(), nullptr);
}

TEST(DisplayWindow, SmallDesktopGetsFrameSizedWindow)
{
    RUN_IN_PRIVATE_SERVER("800x600x24", false);
    DisplaySetTitle(kTitle);
    ASSERT_TRUE(DisplayInit(Settings(false)));
    int32_t width = 0, height = 0;
    WindowGetClientSize(DisplayGetWindow(), &width, &height);
    EXPECT_EQ(width, 320);
    EXPECT_EQ(height, 200);
    Found found;
    RunLoopWith([&] {
        found = PresentUntilShown(1);
        WindowPostQuit(0);
    });
    EXPECT_TRUE(found.found);
    DisplayShutdown();
}

TEST(DisplayWindow, EscapeAndCloseRequestEndTheLoopWithZero)
{
    RUN_IN_PRIVATE_SERVER("1280x1024x24", false);
    DisplaySetTitle(kTitle);
    ASSERT_TRUE(DisplayInit(Settings(false)));
    bool sent = false;
    int32_t code = RunLoopWith([&] {
        PresentUntilShown(2);
        sent = SendKeys("Escape");
        if (!sent)
            WindowPostQuit(9);
    });
    EXPECT_TRUE(sent);
    EXPECT_EQ(code, 0);

    // A close request posted from another thread, as the frame thread does at its end.
    code = RunLoopWith([] { WindowPostClose(DisplayGetWindow()); });
    EXPECT_EQ(code, 0);
    DisplayShutdown();
}

TEST(DisplayWindow, AltEnterSwitchesToFullScreenAndBack)
{
    RUN_IN_PRIVATE_SERVER("1280x1024x24", true);
    DisplaySetTitle(kTitle);
    ASSERT_TRUE(DisplayInit(Settings(false)));
    Found windowed, fullScreen, windowedAgain;
    bool blackAround = false;
    RunLoopWith([&] {
        windowed = PresentUntilShown(2);
        if (SendKeys("alt+Return")) {
            fullScreen = PresentUntilShown(2);
            Screenshot shot;
            blackAround = fullScreen.found && TakeScreenshot(&shot) &&
                          AllBlackOutside(shot, fullScreen.x, fullScreen.y, 640, 400);
            if (SendKeys("alt+Return"))
                windowedAgain = PresentUntilShown(2);
        }
        WindowPostQuit(0);
    });
    ASSERT_TRUE(windowed.found);
    // The one mode of the server is its screen: the frame doubled in the middle of it.
    EXPECT_TRUE(fullScreen.found);
    EXPECT_EQ(fullScreen.x, (1280 - 640) / 2);
    EXPECT_EQ(fullScreen.y, (1024 - 400) / 2);
    EXPECT_TRUE(blackAround);
    // Back at the placement it had before.
    EXPECT_TRUE(windowedAgain.found);
    EXPECT_EQ(windowedAgain.x, windowed.x);
    EXPECT_EQ(windowedAgain.y, windowed.y);
    EXPECT_FALSE(DisplayIsFullScreen());
    DisplayShutdown();
}

TEST(DisplayWindow, StartsInFullScreenAndFirstLeavesToCorner20x20)
{
    RUN_IN_PRIVATE_SERVER("1280x1024x24", true);
    DisplaySetTitle(kTitle);
    ASSERT_TRUE(DisplayInit(Settings(true)));
    DisplaySetFullScreen(true);
    EXPECT_TRUE(DisplayIsFullScreen());
    Found fullScreen, windowed;
    int32_t cornerX = -1, cornerY = -1;
    RunLoopWith([&] {
        fullScreen = PresentUntilShown(2);
        if (SendKeys("alt+Return")) {
            windowed = PresentUntilShown(2);
            OuterCorner(&cornerX, &cornerY);
        }
        WindowPostQuit(0);
    });
    EXPECT_TRUE(fullScreen.found);
    EXPECT_EQ(fullScreen.x, 320);
    EXPECT_EQ(fullScreen.y, 312);
    EXPECT_TRUE(windowed.found);
    EXPECT_EQ(cornerX, 20);
    EXPECT_EQ(cornerY, 20);
    int32_t width = 0, height = 0;
    WindowGetClientSize(DisplayGetWindow(), &width, &height);
    EXPECT_EQ(width, 640);
    EXPECT_EQ(height, 400);
    DisplayShutdown();
}

TEST(DisplayWindow, SixteenBitScreenShowsConvertedUndoubledFrame)
{
    RUN_IN_PRIVATE_SERVER("1280x1024x16", true);
    DisplaySetTitle(kTitle);
    ASSERT_TRUE(DisplayInit(Settings(true)));
    Found found;
    RunLoopWith([&] {
        found = PresentUntilShown(1, 8);
        WindowPostQuit(0);
    });
    EXPECT_TRUE(DisplayIsFullScreen());
    EXPECT_TRUE(found.found);
    EXPECT_EQ(found.x, (1280 - 320) / 2);
    EXPECT_EQ(found.y, (1024 - 200) / 2);
    DisplayShutdown();
}

TEST(DisplayWindow, FullScreenWithoutAFittingModeStaysWindowed)
{
    RUN_IN_PRIVATE_SERVER("800x600x24", false);
    DisplaySetTitle(kTitle);
    // No mode of the 800 x 600 server holds a 1000-pixel-wide frame.
    ASSERT_TRUE(DisplayInit({1000, 200, 1}));
    DisplaySetFullScreen(true);
    EXPECT_FALSE(DisplayIsFullScreen());
    std::vector<uint32_t> frame(1000 * 200, 0x00FF00FF);
    int32_t code = RunLoopWith([&] {
        DisplayPresent(frame.data());
        WindowPostQuit(3);
    });
    EXPECT_EQ(code, 3);
    DisplayShutdown();
}

TEST(DisplayWindow, PresentsFreelyWhileModesSwitch)
{
    RUN_IN_PRIVATE_SERVER("1280x1024x24", true);
    DisplaySetTitle(kTitle);
    ASSERT_TRUE(DisplayInit(Settings(true)));
    std::atomic<bool> stop{false};
    std::atomic<int32_t> frames{0};
    int32_t switches = 0;
    // The frame thread's pattern: present as fast as possible, post the close request when told to stop.
    std::thread frameThread([&] {
        std::vector<uint32_t> frame = PatternFrame();
        while (!stop.load()) {
            frame[size_t(frames.load() % kFrameHeight) * kFrameWidth] ^= 0x00FFFFFF;
            DisplayPresent(frame.data());
            frames.fetch_add(1);
        }
        WindowPostClose(DisplayGetWindow());
    });
    int32_t code = RunLoopWith([&] {
        for (int i = 0; i < 4; i++) {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            switches += SendKeys("alt+Return") ? 1 : 0;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        stop.store(true);
    });
    frameThread.join();
    EXPECT_EQ(code, 0);
    EXPECT_EQ(switches, 4);
    EXPECT_TRUE(DisplayIsFullScreen());  // an even number of toggles
    EXPECT_GT(frames.load(), 10);
    DisplayShutdown();
}

TEST(DisplayWindow, LostBuffersAreRestoredAndTheNextFrameShown)
{
    RUN_IN_PRIVATE_SERVER("1280x1024x24", true);
    DisplaySetTitle(kTitle);
    ASSERT_TRUE(DisplayInit(Settings(true)));
    Found before, after;
    bool blackAround = false;
    RunLoopWith([&] {
        before = PresentUntilShown(2);
        VideoMarkLost();
        patternFlip = 0x00FFFFFF;
        after = PresentUntilShown(2);
        Screenshot shot;
        blackAround = after.found && TakeScreenshot(&shot) && AllBlackOutside(shot, after.x, after.y, 640, 400);
        WindowPostQuit(0);
    });
    EXPECT_TRUE(before.found);
    EXPECT_TRUE(after.found);
    EXPECT_EQ(after.x, 320);
    EXPECT_EQ(after.y, 312);
    EXPECT_TRUE(blackAround);
    DisplayShutdown();
}

TEST(DisplayWindow, InterruptSignalClosesLikeTheCloseBox)
{
    RUN_IN_PRIVATE_SERVER("1280x1024x24", false);
    DisplaySetTitle(kTitle);
    ASSERT_TRUE(DisplayInit(Settings(false)));
    int32_t code = RunLoopWith([] {
        PresentUntilShown(2);
        std::raise(SIGINT);
    });
    EXPECT_EQ(code, 0);
    DisplayShutdown();
}

TEST(DisplayWindow, IconAndTitleReachTheWindow)
{
    RUN_IN_PRIVATE_SERVER("1280x1024x24", false);
    std::vector<uint32_t> pixels(16 * 16, 0xFF3366CC);
    DisplayIcon icon{pixels.data(), 16, 16};
    DisplaySetTitle(kTitle);
    DisplaySetIcon(&icon);
    ASSERT_TRUE(DisplayInit(Settings(false)));
    std::string iconProperty, name;
    RunLoopWith([&] {
        PresentUntilShown(2);
        iconProperty = CommandOutput(std::string("xprop -name '") + kTitle + "' -f _NET_WM_ICON 32c _NET_WM_ICON");
        name = CommandOutput(std::string("xprop -name '") + kTitle + "' WM_NAME");
        WindowPostQuit(0);
    });
    // Width, height, then the pixels as ARGB words.
    EXPECT_NE(iconProperty.find("16, 16, 4281558732"), std::string::npos) << iconProperty;
    EXPECT_NE(name.find(kTitle), std::string::npos) << name;
    DisplaySetIcon(nullptr);
    DisplayShutdown();
}

TEST(DisplayWindow, ResizedWindowStretchesTheFrame)
{
    RUN_IN_PRIVATE_SERVER("1280x1024x24", false);
    DisplaySetTitle(kTitle);
    ASSERT_TRUE(DisplayInit(Settings(false)));
    Found doubled, tripled;
    RunLoopWith([&] {
        doubled = PresentUntilShown(2);
        std::system((std::string("xdotool search --name '") + kTitle + "' windowsize --sync %1 960 600").c_str());
        tripled = PresentUntilShown(3);
        WindowPostQuit(0);
    });
    EXPECT_TRUE(doubled.found);
    EXPECT_TRUE(tripled.found);
    EXPECT_EQ(tripled.x, doubled.x);
    EXPECT_EQ(tripled.y, doubled.y);
    DisplayShutdown();
}

// Another program takes the focus from the full-screen display: what is presented meanwhile is
// dropped, and once the focus is back the last frame shown before is there until a new one comes.
TEST(DisplayWindow, FramesWhileInactiveInFullScreenAreDropped)
{
    RUN_IN_PRIVATE_SERVER("1280x1024x24", true);
    DisplaySetTitle(kTitle);
    ASSERT_TRUE(DisplayInit(Settings(true)));
    Found first, oldAfterReturn, newAfterReturn;
    bool otherActive = false, returned = false;
    RunLoopWith([&] {
        first = PresentUntilShown(2);
        // xlogo ends with the private server.
        otherActive = std::system("xlogo -name zenkor-other >/dev/null 2>&1 & "
                                  "xdotool search --sync --classname zenkor-other windowactivate --sync %1") == 0;
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        patternFlip = 0x00FFFFFF;
        std::vector<uint32_t> frame = PatternFrame();
        for (int i = 0; i < 20; i++) {
            DisplayPresent(frame.data());
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        returned = std::system((std::string("xdotool search --name '") + kTitle +
                                "' windowactivate --sync %1 >/dev/null 2>&1").c_str()) == 0;
        // The old frame, without presenting anything.
        patternFlip = 0;
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!oldAfterReturn.found && std::chrono::steady_clock::now() < deadline) {
            Screenshot shot;
            if (TakeScreenshot(&shot))
                oldAfterReturn = FindPattern(shot, 2);
        }
        patternFlip = 0x00FFFFFF;
        newAfterReturn = PresentUntilShown(2);
        WindowPostQuit(0);
    });
    ASSERT_TRUE(first.found);
    ASSERT_TRUE(otherActive);
    ASSERT_TRUE(returned);
    EXPECT_TRUE(oldAfterReturn.found) << "a frame presented while inactive was shown";
    EXPECT_TRUE(newAfterReturn.found);
    EXPECT_EQ(newAfterReturn.x, 320);
    EXPECT_EQ(newAfterReturn.y, 312);
    EXPECT_TRUE(DisplayIsFullScreen());
    DisplayShutdown();
}

}  // namespace
