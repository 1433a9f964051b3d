// murova-export's stills, storyboard, errors and interruption, run as a user runs it.
#include <gtest/gtest.h>

#include <png.h>

#include <string>
#include <vector>

#include "tests/export/run_export.h"

namespace {

namespace fs = std::filesystem;
using sandbox::Result;

struct Picture {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;
    uint8_t At(int x, int y, int channel) const { return rgb[((size_t)y * width + x) * 3 + channel]; }
};

Picture ReadPng(const fs::path& path)
{
    Picture p;
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str()))
        return p;
    image.format = PNG_FORMAT_RGB;
    p.rgb.resize(PNG_IMAGE_SIZE(image));
    if (png_image_finish_read(&image, nullptr, p.rgb.data(), 0, nullptr)) {
        p.width = (int)image.width;
        p.height = (int)image.height;
    }
    return p;
}

// Pixels whose channels add up to more than threshold.
int LitPixels(const Picture& p, int x0, int y0, int width, int height, int threshold = 24)
{
    int lit = 0;
    for (int y = y0; y < y0 + height; y++)
        for (int x = x0; x < x0 + width; x++)
            lit += p.At(x, y, 0) + p.At(x, y, 1) + p.At(x, y, 2) > threshold;
    return lit;
}

TEST(ExportStill, TheFirstFrameIsBlackAndTheTunnelIsNot)
{
    sandbox::Sandbox box = ExportSandbox();
    ASSERT_EQ(Export(box, "--still 0 first.png").code, 0) << box.log;
    ASSERT_EQ(Export(box, "--still 64 tunnel.png --scale 2").code, 0) << box.log;
    Picture first = ReadPng(box.dir / "first.png"), tunnel = ReadPng(box.dir / "tunnel.png");
    ASSERT_EQ(first.width, 320);
    ASSERT_EQ(first.height, 200);
    EXPECT_EQ(LitPixels(first, 0, 0, 320, 200), 0);
    ASSERT_EQ(tunnel.width, 640);
    EXPECT_GT(LitPixels(tunnel, 0, 0, 640, 400), 640 * 400 * 3 / 4);
}

// Sixteen tiles of 320 x 200 in four rows, each with a label below it.
TEST(ExportStoryboard, SixteenLabelledTiles)
{
    sandbox::Sandbox box = ExportSandbox();
    Result r = Export(box, "--storyboard board.png");
    ASSERT_EQ(r.code, 0) << r.err << box.log;
    Picture board = ReadPng(box.dir / "board.png");
    ASSERT_EQ(board.width, 4 + 4 * 324);
    ASSERT_EQ(board.height, 4 + 4 * 217);
    for (int scene = 0; scene < 16; scene++) {
        int x = 4 + scene % 4 * 324, y = 4 + scene / 4 * 217;
        EXPECT_GT(LitPixels(board, x, y, 320, 200), 1000) << "scene " << scene;
        int label = LitPixels(board, x, y + 203, 200, 7, 300);
        EXPECT_GT(label, 100) << "scene " << scene;
        EXPECT_LT(label, 200 * 7 / 2) << "scene " << scene;
    }
    EXPECT_LT(fs::file_size(box.dir / "board.png"), 1000000u);
}

struct Failure {
    const char* name;
    const char* args;
    int code;
    const char* message;
    const char* output; // the file that must not exist afterwards (nor its .part)
};

class ExportFailures : public testing::TestWithParam<Failure> {};

TEST_P(ExportFailures, ExitCodeMessageAndNothingLeft)
{
    sandbox::Sandbox box = ExportSandbox();
    fs::create_directories(box.dir / "taken.mp4");
    Result r = Export(box, GetParam().args);
    EXPECT_EQ(r.code, GetParam().code) << r.err << box.log;
    EXPECT_NE(r.err.find(GetParam().message), std::string::npos) << r.err;
    EXPECT_EQ(r.err.rfind("murova-export: ", 0), 0u) << r.err;
    EXPECT_FALSE(fs::exists(box.dir / GetParam().output));
    EXPECT_FALSE(fs::exists(box.dir / (std::string(GetParam().output) + ".part")));
}

INSTANTIATE_TEST_SUITE_P(
    Cli, ExportFailures,
    testing::Values(
        Failure{"Unwritable", "missing/dir/demo.mp4 --to 1", 1, "cannot write 'missing/dir/demo.mp4': No such file or directory",
                "missing/dir/demo.mp4"},
        Failure{"NotARegularFile", "taken.mp4 --to 1", 1, "'taken.mp4' exists and is not a regular file",
                "taken.mp4.part"},
        Failure{"UnknownExtension", "demo.avi", 1, "unknown extension '.avi' (use .mp4 or .mkv)", "demo.avi"},
        Failure{"LosslessMp4", "demo.mp4 --lossless", 1, "--lossless needs a .mkv file", "demo.mp4"},
        Failure{"BadNumber", "demo.mp4 --fps 60x", 2, "--fps needs a whole number from 1 to 240, not '60x'",
                "demo.mp4"},
        Failure{"BadSeconds", "demo.mp4 --to 1e3", 2, "--to needs seconds from 0 to 3600, not '1e3'", "demo.mp4"},
        Failure{"FromAfterTo", "demo.mp4 --from 20 --to 10", 2, "--from must come before --to", "demo.mp4"},
        Failure{"UnknownOption", "demo.mp4 --bogus", 2, "unknown option '--bogus'", "demo.mp4"},
        Failure{"NoOutput", "--fps 30", 2, "no output file", "demo.mp4"},
        Failure{"PastTheEnd", "late.mkv --from 400", 1, "nothing to write: the demo ends at 5:00.2",
                "late.mkv"}),
    [](const testing::TestParamInfo<Failure>& info) { return info.param.name; });

// Ctrl+C while it encodes: a clean stop, exit code 130, and no file.
TEST(ExportInterrupt, LeavesNoFile)
{
    sandbox::Sandbox box = ExportSandbox();
    Result r = box.Run(R"SH(
"$X" whole.mkv --lossless > out.txt 2> err.txt & pid=$!
for i in $(seq 100); do [ -e whole.mkv.part ] && break; sleep 0.1; done
sleep 1; kill -INT $pid; wait $pid; echo $? > rc.txt)SH");
    EXPECT_EQ(r.code, 130) << r.err << box.log;
    EXPECT_NE(r.err.find("murova-export: interrupted"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(box.dir / "whole.mkv"));
    EXPECT_FALSE(fs::exists(box.dir / "whole.mkv.part"));
}

TEST(ExportHelp, StatesTheUsageAndTheExitCodes)
{
    sandbox::Sandbox box = ExportSandbox();
    Result r = Export(box, "--help");
    EXPECT_EQ(r.code, 0);
    EXPECT_NE(r.out.find("usage: murova-export OUT.mp4|OUT.mkv"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Exit codes: 0 written, 1 failed"), std::string::npos) << r.out;
    EXPECT_TRUE(r.err.empty()) << r.err;
}

} // namespace
