// The archive: writer and reader together, plain and enciphered, stored and compressed.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <random>

#include "files/archive_check.h"
#include "files/archive_file_system.h"
#include "files/archive_writer.h"
#include "files/memory_stream.h"

namespace {

std::vector<uint8_t> Bytes(const std::string& text) { return std::vector<uint8_t>(text.begin(), text.end()); }

std::vector<uint8_t> Text(size_t size, uint32_t seed)
{
    static const char* words[] = {"alpha ", "beta ", "gamma ", "delta ", "\n", "frame ", "pixel "};
    std::mt19937 rng(seed);
    std::string s;
    while (s.size() < size) s += words[rng() % 7];
    s.resize(size);
    return Bytes(s);
}

std::vector<uint8_t> Noise(size_t size, uint32_t seed)
{
    std::mt19937 rng(seed);
    std::vector<uint8_t> v(size);
    for (auto& b : v) b = uint8_t(rng());
    return v;
}

// Files by path; the directories they imply, plus one empty directory.
std::map<std::string, std::vector<uint8_t>> Contents()
{
    std::map<std::string, std::vector<uint8_t>> files = {
        {"images/logo.jpg", Noise(3000, 1)},
        {"images/Sub/deep.txt", Bytes("deep")},
        {"a", Bytes("file a")},
        {"a/b.txt", Bytes("file a/b.txt")},
        {"readme", Text(9000, 2)},
        {"Zeta.txt", Bytes("z")},
        {"alpha.txt", Bytes("")},
        {"beta.TXT", Text(100, 3)},
        {"big.txt", Text(120000, 4)},
        {"noise.bin", Noise(10000, 5)},
    };
    for (int k = 0; k < 37; k++) {
        char name[32];
        std::snprintf(name, sizeof name, "many/F%02d.bin", k);
        files[name] = Text(50 + k * 13, 100 + k);
        std::snprintf(name, sizeof name, "many/d%02d/x", k);
        files[name] = Bytes(name);
    }
    return files;
}

std::vector<uint8_t> BuildArchive(const ArchiveOptions& options)
{
    std::vector<ArchiveItem> items;
    for (auto& [path, data] : Contents()) items.push_back({path, false, data});
    items.push_back({"empty", true, {}});
    std::vector<uint8_t> archive;
    std::string error;
    EXPECT_TRUE(ArchiveBuild(items, options, &archive, &error)) << error;
    return archive;
}

std::vector<uint8_t> ReadAll(Stream* s, uint32_t piece = 1 << 20)
{
    std::vector<uint8_t> out, buffer(piece);
    uint32_t k;
    while ((k = s->Read(buffer.data(), piece)) != 0) out.insert(out.end(), buffer.begin(), buffer.begin() + k);
    return out;
}

// One mounted archive over a memory image.
struct Mounted {
    explicit Mounted(std::vector<uint8_t> image)
        : bytes(std::move(image)), stream(bytes.data(), bytes.size()), archive(&stream) {}
    std::vector<uint8_t> bytes;
    MemoryStream stream;
    ArchiveFileSystem archive;
};

std::vector<std::pair<std::string, bool>> List(FileSystem* fs, const std::string& pattern)
{
    std::vector<std::pair<std::string, bool>> names;
    FileEnumerator* e = fs->FindFirst(pattern);
    if (!e) return names;
    do names.emplace_back(e->GetName(), e->IsDirectory());
    while (fs->FindNext(e));
    fs->FindClose(e);
    return names;
}

class ArchiveKinds : public ::testing::TestWithParam<ArchiveOptions> {
protected:
    Mounted m{BuildArchive(GetParam())};
};

TEST_P(ArchiveKinds, LookupsIgnoreCaseAndLeadingSlash)
{
    ArchiveFileSystem& fs = m.archive;
    ASSERT_TRUE(fs.IsUsable());
    EXPECT_EQ(fs.IsEnciphered(), GetParam().encipher);
    for (const char* name : {"images/logo.jpg", "Images/LOGO.JPG", "/images/logo.jpg", "IMAGES/sub/DEEP.TXT"}) {
        EXPECT_TRUE(fs.Exists(name)) << name;
        Stream* s = fs.Open(name, ReadOnly);
        ASSERT_NE(s, nullptr) << name;
        EXPECT_EQ(s->name, name);
        EXPECT_EQ(s->fileSystem, &fs);
        s->Close();
    }
    EXPECT_EQ(fs.GetSize("images/logo.jpg"), 3000);
    EXPECT_EQ(fs.GetSize("BIG.TXT"), 120000);
    EXPECT_EQ(fs.GetSize("alpha.txt"), 0);
    EXPECT_EQ(fs.GetSize("missing"), -1);
    EXPECT_EQ(fs.GetSize("images\\logo.jpg"), -1);
    EXPECT_FALSE(fs.Exists("images"));          // a directory is not a file
    EXPECT_FALSE(fs.Exists("empty"));
    EXPECT_FALSE(fs.Exists("images/logo"));
    EXPECT_FALSE(fs.Exists("images//logo.jpg"));
    EXPECT_FALSE(fs.Exists("./readme"));
    EXPECT_FALSE(fs.Exists("many/d00"));
    EXPECT_EQ(fs.Open("readme", WriteOnly), nullptr);
    EXPECT_EQ(fs.Open("readme", ReadWrite), nullptr);
    EXPECT_FALSE(fs.Remove("readme"));
    EXPECT_EQ(fs.ReservedOperation("readme", 0), nullptr);
}

TEST_P(ArchiveKinds, FileAndDirectoryOfTheSameName)
{
    ArchiveFileSystem& fs = m.archive;
    Stream* file = fs.Open("A", ReadOnly);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(ReadAll(file), Bytes("file a"));
    file->Close();
    Stream* inner = fs.Open("a/B.txt", ReadOnly);
    ASSERT_NE(inner, nullptr);
    EXPECT_EQ(ReadAll(inner), Bytes("file a/b.txt"));
    inner->Close();
}

TEST_P(ArchiveKinds, EveryMemberReadsBackWhole)
{
    for (auto& [path, data] : Contents()) {
        Stream* s = m.archive.Open(path, ReadOnly);
        ASSERT_NE(s, nullptr) << path;
        EXPECT_EQ(s->GetSize(), data.size());
        EXPECT_EQ(ReadAll(s), data) << path;
        EXPECT_EQ(s->Tell(), data.size());
        uint8_t b;
        EXPECT_EQ(s->Read(&b, 1), 0u);
        s->Close();
    }
}

TEST_P(ArchiveKinds, PiecesInterleavedWithOtherMembers)
{
    const char* names[] = {"big.txt", "noise.bin", "readme", "images/logo.jpg", "many/F36.bin"};
    auto contents = Contents();
    std::vector<Stream*> streams;
    std::vector<std::vector<uint8_t>> got(5);
    for (const char* n : names) streams.push_back(m.archive.Open(n, ReadOnly));
    std::mt19937 rng(9);
    bool any = true;
    while (any) {
        any = false;
        for (size_t k = 0; k < streams.size(); k++) {
            uint32_t piece = 1 + rng() % 5000;
            std::vector<uint8_t> buffer(piece);
            uint32_t n = streams[k]->Read(buffer.data(), piece);
            got[k].insert(got[k].end(), buffer.begin(), buffer.begin() + n);
            any = any || n > 0;
        }
    }
    for (size_t k = 0; k < streams.size(); k++) {
        EXPECT_EQ(got[k], contents[names[k]]) << names[k];
        streams[k]->Close();
    }
}

TEST_P(ArchiveKinds, SeekOnlyWhereTheMemberAllowsIt)
{
    // noise.bin never compresses; big.txt does when compression is on.
    for (const char* name : {"noise.bin", "big.txt"}) {
        Stream* s = m.archive.Open(name, ReadOnly);
        ASSERT_NE(s, nullptr);
        bool compressed = GetParam().compress && std::strcmp(name, "big.txt") == 0;
        bool free = !compressed && !GetParam().encipher;
        uint64_t size = s->GetSize();
        EXPECT_TRUE(s->Seek(0));
        EXPECT_EQ(s->Seek(100), free) << name;
        EXPECT_FALSE(s->Seek(size + 1));
        if (free) {
            std::vector<uint8_t> whole = Contents()[name];
            uint8_t b[4];
            ASSERT_EQ(s->Read(b, 4), 4u);
            EXPECT_EQ(0, std::memcmp(b, whole.data() + 100, 4));
            EXPECT_TRUE(s->Seek(size));
            EXPECT_EQ(s->Read(b, 4), 0u);
        } else {
            uint8_t b[10];
            ASSERT_EQ(s->Read(b, 10), 10u);
            EXPECT_TRUE(s->Seek(10));   // the current position is always allowed
            EXPECT_FALSE(s->Seek(0));
        }
        EXPECT_EQ(s->Write("x", 1), 0u);
        EXPECT_FALSE(s->SetSize(0));
        s->Close();
    }
}

TEST_P(ArchiveKinds, Listings)
{
    ArchiveFileSystem& fs = m.archive;
    using L = std::vector<std::pair<std::string, bool>>;
    L root = List(&fs, "*");
    L expectedRoot = {{"a", true}, {"empty", true}, {"images", true}, {"many", true},
                      {"a", false}, {"alpha.txt", false}, {"beta.TXT", false}, {"big.txt", false},
                      {"noise.bin", false}, {"readme", false}, {"Zeta.txt", false}};
    EXPECT_EQ(root, expectedRoot);
    EXPECT_EQ(List(&fs, "images/*"), (L{{"images/Sub", true}, {"images/logo.jpg", false}}));
    EXPECT_EQ(List(&fs, "/IMAGES/*.jpg"), (L{{"/IMAGES/logo.jpg", false}}));
    EXPECT_EQ(List(&fs, "images/*.JPG"), L{});     // patterns keep case
    EXPECT_EQ(List(&fs, "a*"), (L{{"alpha.txt", false}}));  // never a directory, nor "a" itself
    // Directories are matched with their leading "/", which has no dot.
    EXPECT_EQ(List(&fs, "*."), (L{{"a", true}, {"empty", true}, {"images", true}, {"many", true},
                                  {"a", false}, {"readme", false}}));
    EXPECT_EQ(List(&fs, "empty/*"), L{});
    EXPECT_EQ(List(&fs, "nothere/*"), L{});
    EXPECT_EQ(List(&fs, "*/x"), L{});
    EXPECT_EQ(List(&fs, "many/F*").size(), 37u);
    FileEnumerator* e = fs.FindFirst("big.txt");
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->GetSize(), 120000u);
    EXPECT_FALSE(fs.FindNext(e));
    EXPECT_FALSE(fs.FindNext(e));
    fs.FindClose(e);
}

TEST_P(ArchiveKinds, EveryEntryOfALargeDirectoryIsFound)
{
    for (int k = 0; k < 37; k++) {
        char name[32];
        std::snprintf(name, sizeof name, "MANY/f%02d.BIN", k);
        EXPECT_EQ(m.archive.GetSize(name), 50 + k * 13) << name;
        std::snprintf(name, sizeof name, "many/D%02d/X", k);
        EXPECT_TRUE(m.archive.Exists(name)) << name;
    }
    EXPECT_FALSE(m.archive.Exists("many/f37.bin"));
    EXPECT_FALSE(m.archive.Exists("many/d37/x"));
}

INSTANTIATE_TEST_SUITE_P(Kinds, ArchiveKinds,
                         ::testing::Values(ArchiveOptions{false, false}, ArchiveOptions{true, false},
                                           ArchiveOptions{false, true}, ArchiveOptions{true, true}),
                         [](const auto& info) {
                             return std::string(info.param.compress ? "Compressed" : "Stored") +
                                    (info.param.encipher ? "Enciphered" : "Plain");
                         });

TEST(Archive, WriterIsDeterministicAndEnciphersEverything)
{
    std::vector<uint8_t> plain = BuildArchive({true, false});
    std::vector<uint8_t> enciphered = BuildArchive({true, true});
    EXPECT_EQ(plain, BuildArchive({true, false}));
    EXPECT_EQ(enciphered, BuildArchive({true, true}));
    ASSERT_EQ(plain.size(), enciphered.size());
    EXPECT_EQ(0, std::memcmp(plain.data(), "Zenkor3.0", 10));
    EXPECT_NE(0, std::memcmp(enciphered.data(), "Zenkor3.0", 10));
    // The text member appears in clear in the stored plain archive only.
    std::vector<uint8_t> stored = BuildArchive({false, false});
    std::vector<uint8_t> storedEnciphered = BuildArchive({false, true});
    std::string needle = "alpha beta";
    auto has = [&](const std::vector<uint8_t>& v) {
        return std::search(v.begin(), v.end(), needle.begin(), needle.end()) != v.end();
    };
    auto text = Text(9000, 2);
    needle.assign(text.begin(), text.begin() + 40);
    EXPECT_TRUE(has(stored));
    EXPECT_FALSE(has(storedEnciphered));
    EXPECT_LT(plain.size(), stored.size());
}

TEST(Archive, CipherRoundTrip)
{
    std::vector<uint8_t> data = Noise(5000, 11), enciphered(5000), back(5000);
    ArchiveCipher a, b;
    InitCipher(&a);
    InitCipher(&b);
    EncipherBytes(enciphered.data(), data.data(), 5000, &a);
    EXPECT_NE(enciphered, data);
    DecipherBytes(back.data(), enciphered.data(), 1234, &b);       // in two runs
    DecipherBytes(back.data() + 1234, enciphered.data() + 1234, 5000 - 1234, &b);
    EXPECT_EQ(back, data);
}

TEST(Archive, SmallArchivesArePaddedToTheMinimumHeader)
{
    std::vector<uint8_t> archive;
    std::string error;
    ASSERT_TRUE(ArchiveBuild({{"x", false, Bytes("y")}}, {}, &archive, &error));
    EXPECT_EQ(archive.size(), 2049u);
    Mounted m(archive);
    EXPECT_EQ(m.archive.GetSize("x"), 1);
    ASSERT_TRUE(ArchiveBuild({}, {false, true}, &archive, &error));
    Mounted empty(archive);
    EXPECT_TRUE(empty.archive.IsUsable());
    EXPECT_EQ(empty.archive.FindFirst("*"), nullptr);
}

TEST(Archive, WriterRefusesBadNames)
{
    std::string longName(63, 'n'), tooLong(64, 'n');
    struct Case {
        std::vector<ArchiveItem> items;
        bool ok;
    };
    const Case cases[] = {
        {{{longName, false, {}}}, true},
        {{{tooLong, false, {}}}, false},
        {{{longName.substr(1) + "/x", false, {}}}, true},   // "/" + 62 characters
        {{{longName + "/x", false, {}}}, false},
        {{{"a\\b", false, {}}}, false},
        {{{"a/../b", false, {}}}, false},
        {{{"a//b", false, {}}}, false},
        {{{"a*", false, {}}}, false},
        {{{"", false, {}}}, false},
        {{{"dup", false, {}}, {"DUP", false, {}}}, false},
        {{{"dir/x", false, {}}, {"DIR/y", false, {}}}, false},
        {{{"same", false, {}}, {"same/inner", false, {}}}, true},
        {{{"d", true, {}}, {"d/e", false, {}}}, true},
        {{{"line\nbreak", false, {}}}, false},
        {{{"dir\x1b[31m/x", false, {}}}, false},
        {{{"tab\t", false, {}}}, false},
        {{{"del\x7f", false, {}}}, false},
        {{{"next\xc2\x85line", false, {}}}, false},   // U+0085 in UTF-8
        {{{"caf\xc3\xa9", false, {}}}, true},         // U+00E9: not a control character
        {{{".", false, {}}}, false},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> archive;
        std::string error;
        EXPECT_EQ(ArchiveBuild(c.items, {}, &archive, &error), c.ok) << c.items[0].path;
        EXPECT_EQ(error.empty(), c.ok) << error;
    }
}

uint32_t Get32(const std::vector<uint8_t>& v, size_t at)
{
    return v[at] | v[at + 1] << 8 | v[at + 2] << 16 | uint32_t(v[at + 3]) << 24;
}

void Put32(std::vector<uint8_t>* v, size_t at, uint32_t value)
{
    for (int k = 0; k < 4; k++) (*v)[at + k] = uint8_t(value >> (8 * k));
}

TEST(Archive, DamagedHeadersFindNothing)
{
    std::vector<uint8_t> good = BuildArchive({false, false});
    struct Case {
        const char* what;
        std::function<void(std::vector<uint8_t>*)> damage;
        bool usable;
    };
    const Case cases[] = {
        {"shorter than the minimum header", [](auto* v) { v->resize(2047); }, false},
        {"no magic", [](auto* v) { (*v)[3] ^= 0x55; }, false},
        {"header size past the end", [](auto* v) { Put32(v, 12, uint32_t(v->size() + 1)); }, false},
        {"header size of 4 GiB", [](auto* v) { Put32(v, 12, 0xFFFFFFFFu); }, false},
        {"root count past the header", [](auto* v) { Put32(v, 16, 0x7FFFFFFFu); }, true},
        {"root count of all ones", [](auto* v) { Put32(v, 16, 0xFFFFFFFFu); }, true},
        {"directory offset outside", [](auto* v) {
             for (uint32_t k = 0; k < Get32(*v, 16); k++) Put32(v, 20 + k * 80 + 76, 0xFFFFFFF0u);
         }, true},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> image = good;
        c.damage(&image);
        Mounted m(image);
        EXPECT_EQ(m.archive.IsUsable(), c.usable) << c.what;
        EXPECT_EQ(m.archive.Open("images/logo.jpg", ReadOnly), nullptr) << c.what;
        EXPECT_EQ(m.archive.GetSize("many/d01/x"), -1) << c.what;
        EXPECT_EQ(m.archive.FindFirst("images/*"), nullptr) << c.what;
    }
}

TEST(Archive, MembersRunningPastTheEndYieldWhatThereIs)
{
    std::vector<uint8_t> image = BuildArchive({false, false});
    image.resize(image.size() - 10);    // the last member loses its tail
    Mounted m(image);
    FileEnumerator* e = m.archive.FindFirst("*");
    ASSERT_NE(e, nullptr);
    m.archive.FindClose(e);
    uint64_t total = 0;
    for (auto& [path, data] : Contents()) {
        Stream* s = m.archive.Open(path, ReadOnly);
        ASSERT_NE(s, nullptr);
        total += data.size() - ReadAll(s, 333).size();
        s->Close();
    }
    EXPECT_EQ(total, 10u);
}

TEST_P(ArchiveKinds, CheckFindsNothingWrongWithWhatTheWriterMade)
{
    for (bool readMembers : {false, true}) {
        ArchiveCheckResult result;
        ArchiveCheck(&m.archive, readMembers, &result);
        EXPECT_TRUE(result.problems.empty()) << result.problems[0];
        EXPECT_EQ(result.members, Contents().size());
    }
    std::string problem;
    EXPECT_TRUE(ArchiveCheckMember(&m.archive, "/big.txt", &problem)) << problem;
    EXPECT_FALSE(ArchiveCheckMember(&m.archive, "images", &problem));
}

// Where the entry that a lookup finds lies in the image.
uint32_t EntryOffset(const std::vector<uint8_t>& image, const std::string& path, bool directory)
{
    Mounted m(image);
    ArchiveEntry e{};
    EXPECT_TRUE(m.archive.Lookup(path, directory, &e)) << path;
    return e.at;
}

TEST(Archive, CheckNamesEveryKindOfDamage)
{
    std::vector<uint8_t> good = BuildArchive({false, false});
    uint32_t images = EntryOffset(good, "images", true), readme = EntryOffset(good, "readme", false);
    uint32_t zeta = EntryOffset(good, "Zeta.txt", false), alpha = EntryOffset(good, "alpha.txt", false);
    std::string header = " the " + std::to_string(Get32(good, 12)) + "-byte header";
    struct Case {
        std::function<void(std::vector<uint8_t>*)> damage;
        std::string problem;
        bool withoutReading;  // found from the header alone
    };
    const Case cases[] = {
        {[](auto* v) { Put32(v, 16, 0xFFFFFFFFu); },
         "/: its directory block at byte 16 claims 4294967295 entries, which run past the end of" + header, true},
        {[&](auto* v) { Put32(v, images + 76, 0xFFFFFFF0u); },
         "images/: its directory block at byte 4294967280 lies outside of" + header, true},
        {[&](auto* v) { Put32(v, images + 76, 16); }, "images/: its directory block at byte 16 is also that of '/'",
         true},
        {[&](auto* v) { Put32(v, readme + 64, 0xFFFFFFFFu); }, "readme: its 4294967295 bytes from byte", true},
        {[&](auto* v) { (*v)[readme + 2] = '\n'; }, "re\\x0Adme: name refused: a control character", true},
        {[&](auto* v) { std::fill_n(v->begin() + zeta, 64, 'z'); }, ": name refused: longer than 63 bytes", true},
        {[&](auto* v) { std::memcpy(v->data() + alpha, "zzzzzzzzz", 10); },
         "zzzzzzzzz: a lookup of its name does not find it", true},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> image = good;
        c.damage(&image);
        Mounted m(image);
        for (bool readMembers : {false, true}) {
            ArchiveCheckResult result;
            ArchiveCheck(&m.archive, readMembers, &result);
            bool found = false;
            for (const std::string& p : result.problems) found = found || p.find(c.problem) != std::string::npos;
            EXPECT_EQ(found, readMembers || c.withoutReading)
                << c.problem << " among " << result.problems.size() << ", first: " << result.problems[0];
        }
    }
}

TEST(Archive, CheckFindsMembersThatComeUpShort)
{
    std::vector<uint8_t> image;
    std::string error;
    ASSERT_TRUE(ArchiveBuild({{"x", false, Text(5000, 7)}, {"y", false, Bytes("tail")}}, {true, false}, &image, &error));
    uint32_t y = EntryOffset(image, "y", false);
    Put32(&image, y + 76, uint32_t(image.size()) - 2);   // "tail" now runs two bytes past the end
    image.resize(image.size() - 200);                     // and x loses the end of its compressed data
    Mounted m(image);
    ArchiveCheckResult result;
    ArchiveCheck(&m.archive, false, &result);
    ASSERT_EQ(result.problems.size(), 1u);
    EXPECT_EQ(result.problems[0].rfind("y: its 4 bytes from byte", 0), 0u) << result.problems[0];
    ArchiveCheck(&m.archive, true, &result);
    ASSERT_EQ(result.problems.size(), 2u);
    EXPECT_EQ(result.problems[0].rfind("x: its compressed data decodes to ", 0), 0u) << result.problems[0];
    EXPECT_NE(result.problems[0].find("not its size 5000"), std::string::npos) << result.problems[0];
    EXPECT_EQ(result.members, 2u);
    std::string problem;
    EXPECT_FALSE(ArchiveCheckMember(&m.archive, "x", &problem));
    EXPECT_EQ(problem, result.problems[0]);
    EXPECT_FALSE(ArchiveCheckMember(&m.archive, "/y", &problem));
    EXPECT_EQ(problem, result.problems[1]);
}

}  // namespace
