// The archive tool, run as a program: its commands, outputs and exit codes.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>

namespace fs = std::filesystem;

namespace {

struct Result {
    int status;
    std::string out;
};

Result Pak(const std::string& arguments)
{
    std::string command = std::string(ZENKOR_PAK) + " " + arguments + " 2>/dev/null";
    Result r{-1, {}};
    std::FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return r;
    char buffer[4096];
    size_t k;
    while ((k = std::fread(buffer, 1, sizeof buffer, pipe)) != 0) r.out.append(buffer, k);
    int status = pclose(pipe);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

void Put(const fs::path& path, const std::string& text)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

std::string Get(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class PakTool : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::random_device seed;
        dir = fs::temp_directory_path() / ("zenkor-pak-" + std::to_string(seed()));
        std::string numbers;
        for (int k = 0; k < 3000; k++) numbers += std::to_string(k) + "\n";
        Put(dir / "tree/readme", "hello\n");
        Put(dir / "tree/images/numbers.txt", numbers);
        Put(dir / "tree/images/Deep/x.bin", std::string("\x01\x02\x03", 3));
        fs::create_directories(dir / "tree/empty");
    }
    void TearDown() override { fs::remove_all(dir); }
    std::string P(const char* relative) { return "'" + (dir / relative).string() + "'"; }

    fs::path dir;
};

TEST_F(PakTool, CreateListCatExtract)
{
    for (const char* flags : {"", "--compress", "--encipher", "--compress --encipher"}) {
        ASSERT_EQ(Pak(std::string("create ") + flags + " " + P("a.pak") + " " + P("tree")).status, 0) << flags;
        Result list = Pak("list " + P("a.pak"));
        EXPECT_EQ(list.status, 0);
        bool lzss = std::string(flags).find("compress") != std::string::npos;
        std::string expected = "3 STORED images/Deep/x.bin\n" + std::to_string(Get(dir / "tree/images/numbers.txt").size()) +
                               (lzss ? " LZSS" : " STORED") + " images/numbers.txt\n6 STORED readme\n";
        EXPECT_EQ(list.out, expected) << flags;
        Result cat = Pak("cat " + P("a.pak") + " IMAGES/NUMBERS.TXT");
        EXPECT_EQ(cat.status, 0);
        EXPECT_EQ(cat.out, Get(dir / "tree/images/numbers.txt"));
        Put(dir / "out/readme", "an older, longer file");
        ASSERT_EQ(Pak("extract " + P("a.pak") + " " + P("out")).status, 0);
        EXPECT_EQ(Get(dir / "out/readme"), "hello\n");
        EXPECT_EQ(Get(dir / "out/images/Deep/x.bin"), std::string("\x01\x02\x03", 3));
        EXPECT_EQ(Get(dir / "out/images/numbers.txt"), Get(dir / "tree/images/numbers.txt"));
        EXPECT_TRUE(fs::is_directory(dir / "out/empty"));
        fs::remove_all(dir / "out");
    }
}

TEST_F(PakTool, SameTreeSameBytes)
{
    ASSERT_EQ(Pak("create --compress --encipher " + P("a.pak") + " " + P("tree")).status, 0);
    ASSERT_EQ(Pak("create --encipher --compress " + P("b.pak") + " " + P("tree")).status, 0);
    EXPECT_EQ(Get(dir / "a.pak"), Get(dir / "b.pak"));
}

TEST_F(PakTool, ListWithAPattern)
{
    ASSERT_EQ(Pak("create " + P("a.pak") + " " + P("tree")).status, 0);
    EXPECT_EQ(Pak("list " + P("a.pak") + " 'images/*.txt'").out, "13890 STORED images/numbers.txt\n");
    EXPECT_EQ(Pak("list " + P("a.pak") + " 'images/*.TXT'").out, "");
}

TEST_F(PakTool, FailuresLeaveNoArchive)
{
    const std::string tooLong(64, 'n');
    Put(dir / "long" / tooLong, "x");
    Put(dir / "refused/a..b", "x");
    Put(dir / "case/A", "x");
    Put(dir / "case/a", "y");
    fs::create_directories(dir / "dangling");
    fs::create_symlink(dir / "nowhere", dir / "dangling/link");
    for (const char* tree : {"long", "refused", "case", "missing", "dangling"}) {
        EXPECT_EQ(Pak("create " + P("x.pak") + " " + P(tree)).status, 1) << tree;
        EXPECT_FALSE(fs::exists(dir / "x.pak")) << tree;
        EXPECT_FALSE(fs::exists(dir / "x.pak.part")) << tree;
    }
}

TEST_F(PakTool, ErrorsAndUsage)
{
    ASSERT_EQ(Pak("create " + P("a.pak") + " " + P("tree")).status, 0);
    EXPECT_EQ(Pak("list " + P("tree/readme")).status, 1);        // not an archive
    EXPECT_EQ(Pak("list " + P("nothere.pak")).status, 1);
    EXPECT_EQ(Pak("cat " + P("a.pak") + " nothere").status, 1);
    EXPECT_EQ(Pak("cat " + P("a.pak") + " images").status, 1);   // a directory
    EXPECT_EQ(Pak("").status, 2);
    EXPECT_EQ(Pak("frobnicate").status, 2);
    EXPECT_EQ(Pak("create --fast " + P("a.pak") + " " + P("tree")).status, 2);
    EXPECT_EQ(Pak("cat " + P("a.pak")).status, 2);
    Result help = Pak("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("zenkor-pak create"), std::string::npos);
}

}  // namespace
