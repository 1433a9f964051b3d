// A program that embeds nothing: the resource file system finds nothing, which sends the host
// on to the disk.
#include <gtest/gtest.h>

#include "files/resource_file_system.h"
#include "platform/resources.h"

namespace {

TEST(NoResources, NothingIsFound)
{
    EXPECT_EQ(ResourceCount(), 0);
    ResourceFileSystem resources;
    std::string name = resources.FirstResourceName();
    EXPECT_EQ(name, "");
    EXPECT_EQ(resources.Open(name, ReadOnly), nullptr);
    EXPECT_EQ(resources.GetSize("102"), -1);
}

}  // namespace
