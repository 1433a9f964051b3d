// The program murova as a person starts it: on a private X server, and with no display at all.
#include <gtest/gtest.h>

#include <string>

#include "tests/support/sandbox.h"

namespace {

using sandbox::Result;

const char kExports[] = "export M='" MUROVA_PATH "' TITLE='Murova by Tarsel'";

TEST(Murova, WithoutADisplayStopsAtOnceWithTheDisplayMessage)
{
    sandbox::Sandbox box("murova", kExports);
    Result r = box.Run("env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER timeout -k 5 20 \"$M\""
                       " > out.txt 2> err.txt; echo $? > rc.txt");
    EXPECT_EQ(r.code, 1) << r.err << box.log;
    EXPECT_NE(r.err.find("Murova by Tarsel: Error initializing display!\n"), std::string::npos) << r.err;
}

// Full screen under a window manager: after two seconds the fade-in shows through; Escape ends
// the demo with exit code 0.
TEST(Murova, ShowsTheDemoAndEscapeEndsIt)
{
    if (!sandbox::HaveXTools())
        GTEST_SKIP() << "needs xvfb-run, xdotool, openbox, xwininfo and import";
    sandbox::Sandbox box("murova", kExports);
    Result r = box.RunUnderX(R"SH(
start "$M"
w=$(window); sleep 2
import -window root -depth 8 gray:shot.gray
press Escape
finish)SH");
    EXPECT_EQ(r.code, 0) << r.err << box.log;
    std::string shot = sandbox::ReadFile(box.dir / "shot.gray");
    ASSERT_EQ(shot.size(), 1280u * 1024u) << box.log;
    int lit = 0;
    for (unsigned char grey : shot)
        lit += grey > 8;
    EXPECT_GT(lit, 20000) << "pixels of the frame that are not black";
}

} // namespace
