// The host's runtime: the frame loop's step, the clock, the frame surface and the program's
// directory, with the test production of stub_production.cpp.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>

#include "host/archive.h"
#include "host/frame.h"
#include "host/host.h"

extern FrameInfo stubLastFrameInfo;
extern FrameSurface* stubLastFrameSurface;

namespace {

// Each step hands the hook the host's frame surface, the new moment and the previous position;
// the loop starts from 0xFFFF so that the first frame crosses no boundary.

TEST(FrameAdvance, ShiftsPositionsAndCallsTheHook)
{
    FrameInfo info{0xFFFF, 0xFFFF, 0};
    EXPECT_TRUE(FrameAdvance(info, 0, 5));
    EXPECT_EQ(stubLastFrameSurface, &HostFrameSurface());
    EXPECT_EQ(stubLastFrameInfo.previousPosition, 0xFFFF);
    EXPECT_EQ(stubLastFrameInfo.position, 0);
    EXPECT_EQ(stubLastFrameInfo.timeMs, 5);
    EXPECT_TRUE(FrameAdvance(info, 0x0102, 40));
    EXPECT_EQ(stubLastFrameInfo.previousPosition, 0);
    EXPECT_EQ(stubLastFrameInfo.position, 0x0102);
    EXPECT_TRUE(FramePositionCrossed(stubLastFrameInfo, 0x0101));
    EXPECT_FALSE(FrameAdvance(info, 0x0103, 1000)) << "the hook's end is passed on";
    EXPECT_EQ(info.previousPosition, 0x0102);
}

TEST(ProgramDirectory, FromPath)
{
    struct Case { const char* path; bool ok; const char* want; } cases[] = {
        {"/usr/local/bin/demo", true, "/usr/local/bin"},
        {"/demo", true, "/"},
        {"/a/b", true, "/a"},
        {"demo", false, ""},
        {"", false, ""},
        {"relative/dir/demo", true, "relative/dir"},
    };
    for (const Case& c : cases) {
        char buffer[kProgramPathMax];
        std::memset(buffer, 'x', sizeof buffer);
        EXPECT_EQ(ProgramDirectoryFromPath(c.path, std::strlen(c.path), buffer, sizeof buffer), c.ok) << c.path;
        EXPECT_STREQ(buffer, c.want) << c.path;
    }
}

TEST(ProgramDirectory, TooLongPathGivesEmptyBuffer)
{
    std::string path = "/" + std::string(kProgramPathMax, 'a');
    char buffer[kProgramPathMax] = "junk";
    EXPECT_FALSE(ProgramDirectoryFromPath(path.c_str(), path.size(), buffer, sizeof buffer));
    EXPECT_STREQ(buffer, "");
    path.resize(kProgramPathMax - 1);
    EXPECT_TRUE(ProgramDirectoryFromPath(path.c_str(), path.size(), buffer, sizeof buffer));
    EXPECT_STREQ(buffer, "/");
}

TEST(ProgramDirectory, OfThisTestProgram)
{
    char buffer[kProgramPathMax];
    ASSERT_TRUE(ProgramDirectory(buffer));
    std::string dir = buffer;
    EXPECT_EQ(dir.front(), '/');
    EXPECT_NE(dir.back(), '/');
    EXPECT_NE(dir.find("tests"), std::string::npos) << dir;
}

TEST(Clock, StartsAtZeroAndAdvances)
{
    ASSERT_TRUE(ClockStart());
    int32_t first = ClockMilliseconds();
    EXPECT_GE(first, 0);
    EXPECT_LT(first, 50);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    int32_t later = ClockMilliseconds();
    EXPECT_GE(later, first + 25);
}

TEST(FrameInfo, PositionCrossing)
{
    struct Case { uint16_t previous, position, boundary; bool crossed; } cases[] = {
        {0xFFFF, 0, 0, false},     // the first frame fires nothing
        {0x0100, 0x0101, 0x0101, true},
        {0x0101, 0x0102, 0x0101, false},
        {0x00FF, 0x0300, 0x0200, true},
        {0x0200, 0x0200, 0x0200, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FramePositionCrossed(FrameInfo{c.position, c.previous, 0}, c.boundary), c.crossed)
            << std::hex << c.previous << " -> " << c.position << " over " << c.boundary;
}

TEST(FrameSurface, FilledFromConfig)
{
    DemoConfig config{};
    config.width = 320;
    config.height = 200;
    config.bitsPerPixel = 32;
    config.aspect = 4.0f / 3.0f;
    config.scaleX = 0.95f;
    config.scaleY = 0.5f;
    uint32_t pixel = 0;
    FrameSurface surface{};
    FrameSurfaceFill(surface, config, &pixel);
    EXPECT_EQ(surface.pixels, &pixel);
    EXPECT_EQ(surface.width, 320);
    EXPECT_EQ(surface.height, 200);
    EXPECT_EQ(surface.pitch, 1280u);
    EXPECT_EQ(surface.aspect, 1.3333334f);
    EXPECT_EQ(surface.scaleX, 0.95f);
    EXPECT_EQ(surface.scaleY, 0.5f);
}

}  // namespace
