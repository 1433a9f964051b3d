// zenkor-image as other programs call it: its output lines, files, messages and exit codes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <random>

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

// Runs the tool with stdout to stdoutTarget (a file read back when none is given); prefix comes
// first on the shell's line (limits).
ToolRun RunTool(const TempDir& dir, const std::string& arguments, const std::string& prefix = "",
                const std::string& stdoutTarget = "") {
    std::string target = stdoutTarget.empty() ? "'" + dir.Path("out.txt") + "'" : stdoutTarget;
    std::string command = "(" + prefix + "'" + ToolPath() + "' " + arguments;
    command += " >" + target + " 2>'" + dir.Path("err.txt") + "'); echo $? >'" + dir.Path("rc.txt") + "'";
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
    const std::string pic = "'" + dir.Path("pic.tga") + "'";
    struct Case {
        std::string arguments;
        int exitCode;
        std::string message; // the first line on stderr
    };
    const Case cases[] = {
        {"--help", 0, ""},
        {"", 2, "usage: zenkor-image info FILE"},
        {"info", 2, "zenkor-image: info takes one FILE"},
        {"info " + pic + " --bogus", 2, "zenkor-image: unknown option '--bogus'"},
        {"--bogus", 2, "zenkor-image: unknown option '--bogus'"},
        {"shrink x", 2, "zenkor-image: unknown command 'shrink'"},
        {"decode " + pic + " '" + dir.Path("o.bmp") + "'", 2, "zenkor-image: OUT must end in .png or .rgba"},
        {"decode " + pic + " '" + dir.Path("o.png") + "' --format rgb32", 2, "zenkor-image: unknown format 'rgb32'"},
        {"decode " + pic + " '" + dir.Path("o.png") + "' --fromat rgb24", 2, "zenkor-image: unknown option '--fromat'"},
        {"decode " + pic + " '" + dir.Path("o.png") + "' --format", 2, "zenkor-image: --format needs a value"},
        {"decode " + pic, 2, "zenkor-image: decode takes FILE and OUT"},
        {"info '" + dir.Path("missing.png") + "'", 1,
         "zenkor-image: cannot open '" + dir.Path("missing.png") + "': No such file or directory"},
        {"info '" + dir.Path("same_bytes.bin") + "'", 1,
         "zenkor-image: cannot read the image header of '" + dir.Path("same_bytes.bin") + "'"},
        {"decode '" + dir.Path("same_bytes.bin") + "' '" + dir.Path("o.png") + "'", 1,
         "zenkor-image: cannot read the image header of '" + dir.Path("same_bytes.bin") + "'"},
        {"decode " + pic + " '" + dir.Path("no/such/dir/o.png") + "'", 1,
         "zenkor-image: cannot write '" + dir.Path("no/such/dir/o.png") + "': No such file or directory"},
    };
    for (const Case& c : cases) {
        ToolRun run = RunTool(dir, c.arguments);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.arguments;
        EXPECT_EQ(run.err.substr(0, run.err.find('\n')), c.message) << c.arguments;
    }
    ToolRun help = RunTool(dir, "--help");
    EXPECT_NE(help.out.find("Exit status: 0 success, 1 failure, 2 usage error."), std::string::npos);
}

TEST_F(Tool, FailedWritesToStandardOutput) {
    ToolRun run = RunTool(dir, "info '" + dir.Path("pic.tga") + "'", "", "/dev/full");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err, "zenkor-image: writing standard output failed: No space left on device\n");
}

TEST_F(Tool, DecodeWritesWholeFilesOrNone) {
    // 64 × 64 of noise: neither its PNG nor its raw form fits under the file size limit below.
    Bytes tga = TgaHeader(2, 0, 0, 0, 64, 64, 24, 0x20);
    std::mt19937 random(7);
    for (int i = 0; i < 64 * 64 * 3; i++) tga.push_back(uint8_t(random()));
    WriteFileBytes(dir.Path("noise.tga"), tga);
    const std::string in = "'" + dir.Path("noise.tga") + "' ";
    for (const char* out : {"o.png", "o.rgba"}) {
        WriteFileBytes(dir.Path(out), {1, 2, 3});
        ToolRun run = RunTool(dir, "decode " + in + "'" + dir.Path(out) + "'", "trap '' XFSZ; ulimit -f 4; ");
        EXPECT_EQ(run.exitCode, 1) << out;
        EXPECT_EQ(run.err, "zenkor-image: cannot write '" + dir.Path(out) + "': File too large\n");
        EXPECT_EQ(ReadFileBytes(dir.Path(out)), (Bytes{1, 2, 3})) << out;
    }
    // What stands where OUT goes and is not a file is neither replaced nor written to.
    std::filesystem::create_directories(dir.Path("d.png"));
    ASSERT_EQ(std::system(("mkfifo '" + dir.Path("f.rgba") + "'").c_str()), 0);
    for (const char* out : {"d.png", "f.rgba"}) {
        ToolRun run = RunTool(dir, "decode " + in + "'" + dir.Path(out) + "'", "timeout 60 ");
        EXPECT_EQ(run.exitCode, 1) << out;
        EXPECT_EQ(run.err, "zenkor-image: '" + dir.Path(out) + "' exists and is not a regular file\n");
    }
    EXPECT_TRUE(std::filesystem::is_fifo(dir.Path("f.rgba")));
    for (const auto& e : std::filesystem::directory_iterator(dir.Path("")))
        EXPECT_EQ(e.path().filename().string().find(".part"), std::string::npos) << e.path();
}

} // namespace
