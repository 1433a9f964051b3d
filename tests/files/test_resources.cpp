// The resource file system over resources embedded in this test program: the fixture archive as
// "FileSystem" 102 and 200, and a small blob as "Icon" 101.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "files/archive_file_system.h"
#include "files/resource_file_system.h"
#include "platform/resources.h"

namespace {

TEST(Resources, RegistryListsEveryEmbeddedResource)
{
    EXPECT_EQ(ResourceCount(), 3);
    ResourceInfo info;
    ASSERT_TRUE(ResourceFind("Icon", 101, &info));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(info.data), 9), "zenkor ic");
    EXPECT_FALSE(ResourceFind("Icon", 102, &info));
    ASSERT_TRUE(ResourceFind("FileSystem", 102, &info));
    EXPECT_GE(info.size, 2048u);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(info.data) % 16, 0u);
    EXPECT_FALSE(ResourceAt(3, &info));
    EXPECT_FALSE(ResourceAt(-1, &info));
}

TEST(Resources, FirstResourceNameIsTheLowestFileSystemId)
{
    ResourceFileSystem resources;
    EXPECT_EQ(resources.FirstResourceName(), "102");
}

TEST(Resources, OpenByLeadingDecimalNumber)
{
    ResourceFileSystem resources;
    for (const char* name : {"102", "102abc", "65638"}) {   // 65638 cut to 16 bits is 102
        Stream* s = resources.Open(name, WriteOnly);          // the mode is ignored
        ASSERT_NE(s, nullptr) << name;
        EXPECT_EQ(s->mode, ReadOnly);
        EXPECT_EQ(s->name, name);
        EXPECT_EQ(s->fileSystem, &resources);
        s->Close();
    }
    EXPECT_EQ(resources.Open("abc", ReadOnly), nullptr);
    EXPECT_EQ(resources.Open("101", ReadOnly), nullptr);      // an icon, not a file system
    EXPECT_EQ(resources.GetSize("7"), -1);
    EXPECT_FALSE(resources.Exists("7"));
    EXPECT_TRUE(resources.Exists("200"));
    EXPECT_FALSE(resources.Remove("102"));
    EXPECT_EQ(resources.FindFirst("*"), nullptr);
    EXPECT_EQ(resources.ReservedOperation("102", 0), nullptr);
}

TEST(Resources, StreamReadsSeeksAndEnds)
{
    ResourceFileSystem resources;
    int64_t size = resources.GetSize("102");
    ASSERT_GT(size, 10);
    Stream* s = resources.Open("102", ReadOnly);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(int64_t(s->GetSize()), size);
    std::vector<uint8_t> buffer(size + 100);
    EXPECT_TRUE(s->Seek(size - 10));
    EXPECT_EQ(s->Read(buffer.data(), 100), 10u);
    EXPECT_EQ(s->Read(buffer.data(), 100), 0u);
    EXPECT_EQ(int64_t(s->Tell()), size);
    EXPECT_TRUE(s->Seek(size));
    EXPECT_FALSE(s->Seek(size + 1));
    EXPECT_FALSE(s->Seek(uint64_t(1) << 32));
    EXPECT_EQ(s->Write("x", 1), 0u);
    EXPECT_FALSE(s->SetSize(0));
    s->Close();
}

TEST(Resources, ArchiveMountedOnTheEmbeddedResource)
{
    ResourceFileSystem resources;
    Stream* source = resources.Open(resources.FirstResourceName(), ReadOnly);
    ASSERT_NE(source, nullptr);
    {
        ArchiveFileSystem archive(source);
        ASSERT_TRUE(archive.IsUsable());
        EXPECT_TRUE(archive.IsEnciphered());
        Stream* hello = archive.Open("HELLO.TXT", ReadOnly);
        ASSERT_NE(hello, nullptr);
        char text[64] = {};
        EXPECT_EQ(hello->Read(text, sizeof text), 23u);
        EXPECT_STREQ(text, "hello from the resource");
        hello->Close();
        Stream* inner = archive.Open("dir/inner.txt", ReadOnly);
        ASSERT_NE(inner, nullptr);
        std::string got;
        char piece[7];
        uint32_t k;
        while ((k = inner->Read(piece, sizeof piece)) != 0) got.append(piece, k);
        inner->Close();
        std::string expected;
        for (int n = 0; n < 200; n++) expected += "compressible line " + std::to_string(n % 7) + "\n";
        EXPECT_EQ(got, expected);
    }
    source->Close();
}

}  // namespace
