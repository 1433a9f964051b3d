// The archive tool, run as a program: its commands, outputs, messages and exit codes, and what
// it writes where.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>

#include "files/archive_file_system.h"
#include "files/memory_stream.h"

namespace fs = std::filesystem;

namespace {

struct Result {
    int status;
    std::string out;
    std::string err;
};

std::string Get(const fs::path& path);

// Runs the tool through the shell with arguments as written there; prefix comes first (limits).
Result Pak(const std::string& arguments, const std::string& prefix = "")
{
    std::random_device seed;
    fs::path err = fs::temp_directory_path() / ("zenkor-pak-err-" + std::to_string(seed()));
    std::string command = prefix + std::string(ZENKOR_PAK) + " " + arguments + " 2>'" + err.string() + "'";
    Result r{-1, {}, {}};
    std::FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return r;
    char buffer[4096];
    size_t k;
    while ((k = std::fread(buffer, 1, sizeof buffer, pipe)) != 0) r.out.append(buffer, k);
    int status = pclose(pipe);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.err = Get(err);
    fs::remove(err);
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
    struct Case {
        std::string arguments;
        int status;
        std::string message;  // the first line on stderr
    };
    const Case cases[] = {
        {"list " + P("tree/readme"), 1, "zenkor-pak: '" + (dir / "tree/readme").string() + "' is not a usable archive"},
        {"list " + P("nothere.pak"), 1, "zenkor-pak: cannot open archive '" + (dir / "nothere.pak").string() + "'"},
        {"cat " + P("a.pak") + " nothere", 1, "zenkor-pak: no member 'nothere' in the archive"},
        {"cat " + P("a.pak") + " images", 1, "zenkor-pak: no member 'images' in the archive"},  // a directory
        {"", 2, "usage: zenkor-pak create [--compress] [--encipher] ARCHIVE DIR"},
        {"frobnicate", 2, "zenkor-pak: unknown command 'frobnicate'"},
        {"--bogus", 2, "zenkor-pak: unknown option '--bogus'"},
        {"create --fast " + P("a.pak") + " " + P("tree"), 2, "zenkor-pak: unknown option '--fast'"},
        {"create " + P("a.pak"), 2, "zenkor-pak: create takes ARCHIVE and DIR"},
        {"list", 2, "zenkor-pak: list takes ARCHIVE and maybe PATTERN"},
        {"list -l " + P("a.pak"), 2, "zenkor-pak: unknown option '-l'"},
        {"extract " + P("a.pak"), 2, "zenkor-pak: extract takes ARCHIVE and DIR"},
        {"cat " + P("a.pak"), 2, "zenkor-pak: cat takes ARCHIVE and MEMBER"},
        {"check", 2, "zenkor-pak: check takes ARCHIVE"},
        {"check " + P("a.pak") + " more", 2, "zenkor-pak: check takes ARCHIVE"},
    };
    for (const Case& c : cases) {
        Result r = Pak(c.arguments);
        EXPECT_EQ(r.status, c.status) << c.arguments;
        EXPECT_EQ(r.err.substr(0, r.err.find('\n')), c.message) << c.arguments;
        EXPECT_EQ(r.out, "") << c.arguments;
    }
    Result help = Pak("--help");
    EXPECT_EQ(help.status, 0);
    for (const char* text : {"zenkor-pak create", "zenkor-pak check ARCHIVE", "at most 63 bytes",
                             "symbolic links inside DIR are followed", "Exit status: 0 success, 1 failure"})
        EXPECT_NE(help.out.find(text), std::string::npos) << text;
}

TEST_F(PakTool, ExtractNeverWritesThroughLinks)
{
    ASSERT_EQ(Pak("create " + P("a.pak") + " " + P("tree")).status, 0);
    Put(dir / "outside/file", "keep me");
    fs::create_directories(dir / "outside/place");

    // A link where a file goes is replaced by the file; what it pointed to stays as it was.
    fs::create_directories(dir / "out1");
    fs::create_symlink(dir / "outside/file", dir / "out1/readme");
    Result r = Pak("extract " + P("a.pak") + " " + P("out1"));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_FALSE(fs::is_symlink(dir / "out1/readme"));
    EXPECT_EQ(Get(dir / "out1/readme"), "hello\n");
    EXPECT_EQ(Get(dir / "outside/file"), "keep me");

    // A link where a directory goes, at any depth, is refused and nothing goes through it.
    for (const char* place : {"out2/images", "out3/images/Deep"}) {
        fs::create_directories((dir / place).parent_path());
        fs::create_symlink(dir / "outside/place", dir / place);
        std::string target = fs::path(place).begin()->string();
        r = Pak("extract " + P("a.pak") + " " + P(target.c_str()));
        EXPECT_EQ(r.status, 1) << place;
        EXPECT_EQ(r.err, "zenkor-pak: '" + (dir / place).string() + "' is a symbolic link: nothing is extracted through it\n");
        EXPECT_TRUE(fs::is_empty(dir / "outside/place")) << place;
    }
    EXPECT_EQ(Get(dir / "outside/file"), "keep me");
}

// Every file under root whose name holds ".part".
std::vector<std::string> PartFiles(const fs::path& root)
{
    std::vector<std::string> found;
    if (!fs::exists(root)) return found;
    for (const auto& e : fs::recursive_directory_iterator(root))
        if (e.path().filename().string().find(".part") != std::string::npos) found.push_back(e.path().string());
    return found;
}

TEST_F(PakTool, NoHalfWrittenFiles)
{
    ASSERT_EQ(Pak("create " + P("a.pak") + " " + P("tree")).status, 0);
    // A file size limit stands in for a full disk: the long member cannot be written whole.
    Result r = Pak("extract " + P("a.pak") + " " + P("out"), "trap '' XFSZ; ulimit -f 4; ");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "zenkor-pak: cannot write '" + (dir / "out/images/numbers.txt").string() + "': File too large\n");
    EXPECT_FALSE(fs::exists(dir / "out/images/numbers.txt"));
    EXPECT_EQ(PartFiles(dir / "out"), std::vector<std::string>());

    // Neither a device-like node nor a directory is replaced by the archive.
    ASSERT_EQ(std::system(("mkfifo " + P("fifo.pak")).c_str()), 0);
    fs::create_directories(dir / "directory.pak");
    for (const char* target : {"fifo.pak", "directory.pak"}) {
        r = Pak("create " + P(target) + " " + P("tree"));
        EXPECT_EQ(r.status, 1) << target;
        EXPECT_EQ(r.err, "zenkor-pak: '" + (dir / target).string() + "' exists and is not a regular file\n");
    }
    EXPECT_TRUE(fs::is_fifo(dir / "fifo.pak"));
    EXPECT_TRUE(fs::is_empty(dir / "directory.pak"));
    EXPECT_EQ(PartFiles(dir), std::vector<std::string>());
}

TEST_F(PakTool, NamesWithControlCharactersAreRefused)
{
    Put(dir / "tree/bad\nname", "x");
    Result r = Pak("create " + P("a.pak") + " " + P("tree"));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "zenkor-pak: name refused, a control character: 'bad\\x0Aname' in 'bad\\x0Aname'\n");
    EXPECT_FALSE(fs::exists(dir / "a.pak"));
}

// Where the entry that a lookup of path finds lies in the archive file.
uint32_t EntryOffset(const fs::path& archive, const std::string& path)
{
    std::string bytes = Get(archive);
    MemoryStream stream(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    ArchiveFileSystem mounted(&stream);
    ArchiveEntry e{};
    EXPECT_TRUE(mounted.Lookup(path, false, &e)) << path;
    return e.at;
}

void Patch(const fs::path& archive, uint32_t at, const std::string& bytes)
{
    std::fstream f(archive, std::ios::binary | std::ios::in | std::ios::out);
    f.seekp(at);
    f.write(bytes.data(), std::streamsize(bytes.size()));
}

std::string Le32(uint32_t v) { return {char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; }

TEST_F(PakTool, CheckAndDamage)
{
    for (const char* flags : {"", "--compress", "--encipher", "--compress --encipher"}) {
        ASSERT_EQ(Pak(std::string("create ") + flags + " " + P("a.pak") + " " + P("tree")).status, 0) << flags;
        Result r = Pak("check " + P("a.pak"));
        EXPECT_EQ(r.status, 0) << flags << r.err;
        EXPECT_EQ(r.out, "ok 3 members\n") << flags;
    }
    std::string numbers = Get(dir / "tree/images/numbers.txt");
    struct Case {
        const char* flags;
        std::function<void(const fs::path&)> damage;
        const char* member;     // cat of this member writes nothing and fails
        std::string problem;    // what check prints first
        bool listed;            // list still works (the damage is only in member data)
    };
    const Case cases[] = {
        {"", [](const fs::path& a) { Patch(a, 16, Le32(0xFFFFFFFF)); }, nullptr,
         "/: its directory block at byte 16 claims 4294967295 entries, which run past the end of the 2048-byte "
         "header", false},
        {"", [](const fs::path& a) { Patch(a, EntryOffset(a, "readme") + 64, Le32(0xFFFFFFFF)); }, "readme",
         "readme: its 4294967295 bytes from byte ", false},
        {"", [](const fs::path& a) { Patch(a, EntryOffset(a, "readme") + 4, "\n"); }, nullptr,
         "read\\x0Ae: name refused: a control character", false},
        {"--compress",
         [&](const fs::path& a) {
             Patch(a, EntryOffset(a, "images/numbers.txt") + 64, Le32(uint32_t(numbers.size() + 100000)));
         },
         "images/numbers.txt", "images/numbers.txt: its compressed data decodes to ", true},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(Pak(std::string("create ") + c.flags + " " + P("a.pak") + " " + P("tree")).status, 0);
        c.damage(dir / "a.pak");
        Result check = Pak("check " + P("a.pak"));
        EXPECT_EQ(check.status, 1) << c.problem;
        EXPECT_EQ(check.out.substr(0, c.problem.size()), c.problem);
        EXPECT_EQ(check.err.rfind("zenkor-pak: damaged archive '" + (dir / "a.pak").string() + "': 1 problem", 0), 0u)
            << check.err;
        Result list = Pak("list " + P("a.pak"));
        EXPECT_EQ(list.status, c.listed ? 0 : 1) << c.problem;
        if (!c.listed) {
            EXPECT_EQ(list.out, "") << c.problem;
            EXPECT_EQ(list.err.rfind("zenkor-pak: damaged archive '" + (dir / "a.pak").string() + "': " + c.problem, 0), 0u)
                << list.err;
        }
        if (c.member) {
            Result cat = Pak("cat " + P("a.pak") + " " + c.member);
            EXPECT_EQ(cat.status, 1) << c.problem;
            EXPECT_EQ(cat.out, "") << c.problem;
            EXPECT_NE(cat.err.find(c.problem), std::string::npos) << cat.err;
        }
        Result extract = Pak("extract " + P("a.pak") + " " + P("out"));
        EXPECT_EQ(extract.status, 1) << c.problem;
        EXPECT_FALSE(fs::exists(dir / "out/images/numbers.txt")) << c.problem;
        EXPECT_EQ(PartFiles(dir / "out"), std::vector<std::string>());
        fs::remove_all(dir / "out");
    }
}

TEST_F(PakTool, FailedWritesToStandardOutput)
{
    ASSERT_EQ(Pak("create " + P("a.pak") + " " + P("tree")).status, 0);
    // The second cat writes more than the library buffers, so its write fails at once.
    for (std::string arguments : {"list A", "cat A readme", "cat A images/numbers.txt", "check A"}) {
        Result r = Pak(arguments.replace(arguments.find(" A") + 1, 1, P("a.pak")) + " >/dev/full");
        EXPECT_EQ(r.status, 1) << arguments;
        EXPECT_EQ(r.err, "zenkor-pak: writing standard output failed: No space left on device\n") << arguments;
    }
}

}  // namespace
