// Resource file system over the registry of embedded resources. The resources' bytes live as
// long as the process, so streams copy straight out of them; each stream belongs to one thread.
#include "files/resource_file_system.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "platform/resources.h"

namespace {

constexpr const char* RESOURCE_TYPE = "FileSystem";

class ResourceStream final : public Stream {
public:
    ResourceStream(const std::string& name, FileSystem* owner, const unsigned char* data, uint32_t size)
        : Stream(name, ReadOnly, owner), data(data), size(size) {}

    uint32_t Read(void* buffer, uint32_t count) override
    {
        uint32_t k = std::min(count, size - position);
        if (k) std::memcpy(buffer, data + position, k);
        position += k;
        return k;
    }
    uint32_t Write(const void*, uint32_t) override { return 0; }
    uint64_t Tell() override { return position; }
    bool Seek(uint64_t to) override
    {
        if (to > size) return false;
        position = uint32_t(to);
        return true;
    }
    uint64_t GetSize() override { return size; }
    bool SetSize(uint64_t) override { return false; }

private:
    const unsigned char* data;  // the resource's bytes; not owned, never released
    uint32_t size;
    uint32_t position = 0;
};

// The identifier the name starts with, read as the C library's atoi does, cut to 16 bits.
bool FindByName(const std::string& name, ResourceInfo* info)
{
    long value = std::strtol(name.c_str(), nullptr, 10);
    return ResourceFind(RESOURCE_TYPE, int32_t(uint16_t(value)), info);
}

}  // namespace

std::string ResourceFileSystem::FirstResourceName()
{
    ResourceInfo info;
    for (int k = 0; ResourceAt(k, &info); k++)
        if (std::strcmp(info.type, RESOURCE_TYPE) == 0) return std::to_string(info.id);
    return std::string();
}

Stream* ResourceFileSystem::Open(const std::string& name, OpenMode)
{
    ResourceInfo info;
    if (!FindByName(name, &info)) return nullptr;
    return new ResourceStream(name, this, info.data, info.size);
}

void* ResourceFileSystem::ReservedOperation(const std::string&, uint32_t) { return nullptr; }

int64_t ResourceFileSystem::GetSize(const std::string& name)
{
    ResourceInfo info;
    return FindByName(name, &info) ? int64_t(info.size) : -1;
}

bool ResourceFileSystem::Exists(const std::string& name)
{
    ResourceInfo info;
    return FindByName(name, &info);
}

bool ResourceFileSystem::Remove(const std::string&) { return false; }
FileEnumerator* ResourceFileSystem::FindFirst(const std::string&) { return nullptr; }
bool ResourceFileSystem::FindNext(FileEnumerator*) { return false; }
void ResourceFileSystem::FindClose(FileEnumerator*) {}
