// zenkor-image as other programs call it: its output lines, files and exit codes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "image_fixtures.h"

namespace {

// The tool sits in bin/ of the same build; tests run from tests/images/ of it.
std::string ToolPath() {
    std::filesystem::path tool = std::filesystem::current_path() / ".." / ".." / "bin" / "zenkor-image";
    return std::filesystem::exists(tool) ? tool.string() : std::string();
}

struct ToolRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

ToolRun RunTool(const TempDir& dir, const std::string& arguments) {
    std::string command = "'" + ToolPath() + "' " + arguments;
    command += " >'" + dir.Path("out.txt") + "' 2>'" + dir.Path("err.txt") + "'; echo $? >'" + dir.Path("rc.txt") + "'";
    ToolRun run;
    if (std::system(command.c_str()) != 0) return run;
    Bytes out = ReadFileBytes(dir.Path("out.txt")), err = ReadFileBytes(dir.Path("err.txt"));
    run.out.assign(out.begin(), out.end());
    run.err.assign(err.begin(), err.end());
    Bytes rc = ReadFileBytes(dir.Path("rc.txt"));
    run.exitCode = std::atoi(std::string(rc.begin(), rc.end()).c_str());
    return run;
}

class Tool : public testing::Test {
protected:
    void SetUp() override {
        if (ToolPath().empty()) GTEST_SKIP() << "zenkor-image is not built here";
        // A 2 × 1 Targa: red-ish then blue-ish; and a GIF with a transparent index.
        Bytes tga = TgaHeader(2, 0, 0, 0, 2, 1, 24, 0x20);
        Append(tga, {3, 2, 200, 250, 9, 8});
        WriteFileBytes(dir.Path("pic.tga"), tga);
        WriteFileBytes(dir.Path("same_bytes.bin"), tga);
        WriteFileBytes(dir.Path("pic.gif"), MakeGif(3, 2, {0, 1, 2, 3, 2, 1}, 4, false, 2));
    }
    TempDir dir;
};

TEST_F(Tool, InfoPrintsKindSizeAndNativeFormats) {
    ToolRun tga = RunTool(dir, "info '" + dir.Path("pic.tga") + "'");
    EXPECT_EQ(tga.exitCode, 0);
    EXPECT_EQ(tga.out, "tga 2 1 rgb24\n");
    ToolRun gif = RunTool(dir, "info '" + dir.Path("pic.gif") + "'");
    EXPECT_EQ(gif.exitCode, 0);
    EXPECT_EQ(gif.out, "gif 3 2 argb32,indexed8\n");
}

TEST_F(Tool, DecodeWritesRawRgbaInAnyFormat) {
    for (const char* format : {"", " --format rgb24", " --format argb32", " --format indexed8"}) {
        ToolRun run = RunTool(dir, "decode '" + dir.Path("pic.tga") + "' '" + dir.Path("o.rgba") + "'" + format);
        EXPECT_EQ(run.exitCode, 0) << format << run.err;
        EXPECT_EQ(ReadFileBytes(dir.Path("o.rgba")), (Bytes{200, 2, 3, 255, 8, 9, 250, 255})) << format;
    }
    ToolRun grey = RunTool(dir, "decode '" + dir.Path("pic.tga") + "' '" + dir.Path("g.rgba") + "' --format gray8");
    EXPECT_EQ(grey.exitCode, 0);
    EXPECT_EQ(ReadFileBytes(dir.Path("g.rgba")), (Bytes{68, 68, 68, 255, 89, 89, 89, 255}));
}

TEST_F(Tool, DecodeToPngKeepsAlpha) {
    ToolRun run = RunTool(dir, "decode '" + dir.Path("pic.gif") + "' '" + dir.Path("o.png") + "'");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    Decoded png = DecodeBytes(ReadFileBytes(dir.Path("o.png")), nullptr, FormatARGB32);
    Decoded gif = DecodeBytes(ReadFileBytes(dir.Path("pic.gif")), nullptr, FormatARGB32);
    ASSERT_TRUE(png.read && gif.read);
    EXPECT_EQ(png.pixels, gif.pixels);
    EXPECT_EQ(png.pixels[2 * 4 + 3], 0);
}

TEST_F(Tool, FailuresAndUsage) {
    struct Case {
        std::string arguments;
        int exitCode;
    };
    const Case cases[] = {
        {"--help", 0},
        {"", 2},
        {"info", 2},
        {"shrink x", 2},
        {"decode '" + dir.Path("pic.tga") + "' '" + dir.Path("o.bmp") + "'", 2},
        {"decode '" + dir.Path("pic.tga") + "' '" + dir.Path("o.png") + "' --format rgb32", 2},
        {"info '" + dir.Path("missing.png") + "'", 1},
        {"info '" + dir.Path("same_bytes.bin") + "'", 1},
        {"decode '" + dir.Path("same_bytes.bin") + "' '" + dir.Path("o.png") + "'", 1},
        {"decode '" + dir.Path("pic.tga") + "' '" + dir.Path("no/such/dir/o.png") + "'", 1},
    };
    for (const Case& c : cases) {
        ToolRun run = RunTool(dir, c.arguments);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.arguments;
        if (c.exitCode != 0) {
            EXPECT_FALSE(run.err.empty()) << c.arguments;
        }
    }
}

} // namespace
