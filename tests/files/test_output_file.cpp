// Output files: whole or not at all, never through a link, never over what is not a file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>

#include "files/output_file.h"

namespace fs = std::filesystem;

namespace {

class Output : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::random_device seed;
        dir = fs::temp_directory_path() / ("zenkor-output-" + std::to_string(seed()));
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    void Put(const fs::path& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }
    std::string Get(const fs::path& path)
    {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    std::string P(const char* name) { return (dir / name).string(); }
    std::vector<std::string> Names()
    {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    fs::path dir;
};

TEST_F(Output, ReplacesFilesAndLinksWhole)
{
    std::string error;
    Put(dir / "old", "an older, longer text");
    ASSERT_TRUE(OutputFileSave(P("old"), "new", 3, &error)) << error;
    EXPECT_EQ(Get(dir / "old"), "new");
    Put(dir / "outside", "keep me");
    fs::create_symlink(dir / "outside", dir / "link");
    ASSERT_TRUE(OutputFileSave(P("link"), "file", 4, &error)) << error;
    EXPECT_FALSE(fs::is_symlink(dir / "link"));
    EXPECT_EQ(Get(dir / "link"), "file");
    EXPECT_EQ(Get(dir / "outside"), "keep me");
    EXPECT_EQ(Names(), (std::vector<std::string>{"link", "old", "outside"}));
}

TEST_F(Output, RefusesWhatIsNotAFile)
{
    fs::create_directories(dir / "directory");
    ASSERT_EQ(std::system(("mkfifo '" + P("fifo") + "'").c_str()), 0);
    for (const char* name : {"directory", "fifo", "directory/"}) {
        std::string error;
        EXPECT_FALSE(OutputFileSave(P(name), "x", 1, &error)) << name;
        EXPECT_NE(error.find(P(name)), std::string::npos) << error;
    }
    EXPECT_TRUE(fs::is_fifo(dir / "fifo"));
    EXPECT_TRUE(fs::is_empty(dir / "directory"));
    EXPECT_EQ(Names(), (std::vector<std::string>{"directory", "fifo"}));
    std::string error;
    EXPECT_FALSE(OutputFileSave(P("missing/x"), "x", 1, &error));
    EXPECT_EQ(error, "cannot write '" + P("missing/x") + "': No such file or directory");
}

TEST_F(Output, LeavesAnotherPartFileAlone)
{
    Put(dir / "a.part", "someone else's");
    OutputFile out;
    ASSERT_TRUE(OutputFileBegin(&out, P("a")));
    EXPECT_EQ(out.temporary, "a.part2");
    ASSERT_TRUE(OutputFileWrite(&out, "abc", 3));
    ASSERT_TRUE(OutputFileWriteAt(&out, 0, "A", 1));
    ASSERT_TRUE(OutputFileCommit(&out));
    EXPECT_EQ(Get(dir / "a"), "Abc");
    EXPECT_EQ(Get(dir / "a.part"), "someone else's");
}

TEST_F(Output, FailuresLeaveTheTargetAsItWas)
{
    Put(dir / "a", "before");
    {
        OutputFile out;
        ASSERT_TRUE(OutputFileBegin(&out, P("a")));
        ASSERT_TRUE(OutputFileWrite(&out, "half", 4));
        EXPECT_FALSE(OutputFileWriteAt(&out, 2, "xyz", 3)); // past what was written
        EXPECT_FALSE(OutputFileWrite(&out, "more", 4));
        EXPECT_FALSE(OutputFileCommit(&out));
        EXPECT_EQ(out.error, "cannot write '" + P("a") + "': Invalid argument");
    }
    {
        OutputFile out;
        ASSERT_TRUE(OutputFileBegin(&out, P("a")));
        ASSERT_TRUE(OutputFileWrite(&out, "abandoned", 9));
    }
    EXPECT_EQ(Get(dir / "a"), "before");
    EXPECT_EQ(Names(), (std::vector<std::string>{"a"}));
}

} // namespace
