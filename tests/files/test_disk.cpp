// The disk file system, in a temporary directory of its own.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "files/disk_file_system.h"

namespace fs = std::filesystem;

namespace {

class Disk : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::random_device seed;
        dir = fs::temp_directory_path() / ("zenkor-disk-" + std::to_string(seed()));
        fs::create_directories(dir);
        disk = std::make_unique<DiskFileSystem>(dir.string());
    }
    void TearDown() override
    {
        disk.reset();
        fs::remove_all(dir);
    }
    void Put(const std::string& name, const std::string& text)
    {
        fs::create_directories((dir / name).parent_path());
        std::ofstream(dir / name, std::ios::binary) << text;
    }
    std::string Get(const std::string& name)
    {
        std::ifstream in(dir / name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    fs::path dir;
    std::unique_ptr<DiskFileSystem> disk;
};

TEST_F(Disk, RootGetsASeparator)
{
    EXPECT_EQ(DiskFileSystem("data").GetRoot(), "data/");
    EXPECT_EQ(DiskFileSystem("data/").GetRoot(), "data/");
    EXPECT_EQ(disk->FullPath("/a/b.txt"), dir.string() + "/a/b.txt");
}

TEST_F(Disk, EmptyRootIsTheCurrentDirectory)
{
    Put("here.txt", "12345");
    fs::path previous = fs::current_path();
    fs::current_path(dir);
    DiskFileSystem current("");
    EXPECT_EQ(current.GetSize("here.txt"), 5);
    Stream* s = current.Open("/here.txt", ReadOnly);
    fs::current_path(previous);
    ASSERT_NE(s, nullptr);
    s->Close();
}

TEST_F(Disk, ReadOnlyStreams)
{
    Put("images/a.jpg", "0123456789");
    for (const char* name : {"images/a.jpg", "/images/a.jpg"}) {
        Stream* s = disk->Open(name, ReadOnly);
        ASSERT_NE(s, nullptr) << name;
        EXPECT_EQ(s->mode, ReadOnly);
        EXPECT_EQ(s->fileSystem, disk.get());
        EXPECT_EQ(s->GetSize(), 10u);
        char buffer[16] = {};
        EXPECT_EQ(s->Read(buffer, 4), 4u);
        EXPECT_EQ(std::string(buffer, 4), "0123");
        EXPECT_EQ(s->Tell(), 4u);
        EXPECT_EQ(s->Write("x", 1), 0u);
        EXPECT_FALSE(s->SetSize(2));
        EXPECT_FALSE(s->Seek(11));
        EXPECT_EQ(s->Tell(), 4u);
        EXPECT_TRUE(s->Seek(10));
        EXPECT_EQ(s->Read(buffer, 16), 0u);
        s->Close();
    }
    for (const char* bad : {"images\\a.jpg", "images//a.jpg", "images/../images/a.jpg", "./images/a.jpg",
                            "images/", "images", "missing.txt", "images/*.jpg"})
        EXPECT_EQ(disk->Open(bad, ReadOnly), nullptr) << bad;
}

TEST_F(Disk, SizesAndExistence)
{
    Put("a/file.bin", std::string(1234, 'x'));
    EXPECT_EQ(disk->GetSize("a/file.bin"), 1234);
    EXPECT_EQ(disk->GetSize("missing"), 0);
    EXPECT_EQ(disk->GetSize("a/../a/file.bin"), 0);
    EXPECT_TRUE(disk->Exists("a/file.bin"));
    EXPECT_FALSE(disk->Exists("a"));
    EXPECT_FALSE(disk->Exists("missing"));
    EXPECT_EQ(disk->ReservedOperation("a/file.bin", 7), nullptr);
}

TEST_F(Disk, WritingCreatesDirectories)
{
    Stream* s = disk->Open("a/b/c.txt", WriteOnly);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->Write("hello", 5), 5u);
    char b;
    EXPECT_EQ(s->Read(&b, 1), 0u);
    s->Close();
    EXPECT_TRUE(fs::is_directory(dir / "a/b"));
    EXPECT_EQ(Get("a/b/c.txt"), "hello");
    Put("blocker", "file");
    EXPECT_EQ(disk->Open("blocker/x.txt", WriteOnly), nullptr);   // a file stands where a directory must go
}

TEST_F(Disk, WritingKeepsContentsAndSetSizeOnlyShortens)
{
    Put("ten.bin", "0123456789");
    Stream* s = disk->Open("ten.bin", WriteOnly);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->Write("abc", 3), 3u);
    EXPECT_EQ(s->GetSize(), 10u);
    EXPECT_FALSE(s->SetSize(11));
    EXPECT_EQ(s->GetSize(), 10u);
    EXPECT_TRUE(s->Seek(8));
    EXPECT_TRUE(s->SetSize(5));      // position beyond the new end moves to it
    EXPECT_EQ(s->Tell(), 5u);
    EXPECT_EQ(s->GetSize(), 5u);
    EXPECT_TRUE(s->Seek(1));
    EXPECT_TRUE(s->SetSize(3));      // position before it stays
    EXPECT_EQ(s->Tell(), 1u);
    s->Close();
    EXPECT_EQ(Get("ten.bin"), "abc");
}

TEST_F(Disk, ReadWriteMixesReadsAndWrites)
{
    Put("rw.bin", "abcdef");
    Stream* s = disk->Open("rw.bin", ReadWrite);
    ASSERT_NE(s, nullptr);
    char buffer[4] = {};
    EXPECT_EQ(s->Read(buffer, 2), 2u);
    EXPECT_EQ(s->Write("XY", 2), 2u);
    EXPECT_EQ(s->Read(buffer, 4), 2u);
    EXPECT_EQ(std::string(buffer, 2), "ef");
    EXPECT_EQ(s->Write("Z", 1), 1u);
    s->Close();
    EXPECT_EQ(Get("rw.bin"), "abXYefZ");
}

TEST_F(Disk, RemoveTakesEmptiedDirectoriesAlong)
{
    Put("a/b/c.txt", "1");
    EXPECT_TRUE(disk->Remove("a/b/c.txt"));
    EXPECT_FALSE(fs::exists(dir / "a"));
    Put("a/b/c.txt", "1");
    Put("a/keep.txt", "2");
    EXPECT_TRUE(disk->Remove("/a/b/c.txt"));
    EXPECT_FALSE(fs::exists(dir / "a/b"));
    EXPECT_TRUE(fs::exists(dir / "a/keep.txt"));
    EXPECT_FALSE(disk->Remove("a/b/c.txt"));
    EXPECT_FALSE(disk->Remove("a"));           // directories are not files
    EXPECT_TRUE(fs::exists(dir));              // the root itself is never removed
    EXPECT_TRUE(disk->Remove("a/keep.txt"));
    EXPECT_TRUE(fs::exists(dir));
}

TEST_F(Disk, Listings)
{
    Put("sub/y", "yy");
    Put("sub/x", "x");
    Put("sub/inner/z", "");
    Put("sub/dot.txt", "");
    std::vector<std::string> names;
    FileEnumerator* e = disk->FindFirst("sub/*");
    ASSERT_NE(e, nullptr);
    do {
        names.push_back(e->GetName());
        if (names.back() == "sub/y") {
            EXPECT_EQ(e->GetSize(), 2u);
        }
        EXPECT_EQ(e->IsDirectory(), names.back() == "sub/inner");
    } while (disk->FindNext(e));
    EXPECT_FALSE(disk->FindNext(e));
    disk->FindClose(e);
    EXPECT_EQ(names, (std::vector<std::string>{"sub/dot.txt", "sub/inner", "sub/x", "sub/y"}));

    e = disk->FindFirst("/sub/*.");
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->GetName(), "/sub/inner");
    disk->FindClose(e);
    EXPECT_EQ(disk->FindFirst("sub/*.none"), nullptr);
    EXPECT_EQ(disk->FindFirst("missing/*"), nullptr);
    EXPECT_EQ(disk->FindFirst("*/x"), nullptr);
}

}  // namespace
