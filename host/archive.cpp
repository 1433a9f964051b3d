// The archive every load goes through, and whole-file reads from it. Main thread at start-up
// and shutdown; LoadWholeFile also on the frame thread through the production's loads.
#include "host/archive.h"

#include <cstdlib>
#include <cstring>

#include "files/archive_file_system.h"
#include "files/disk_file_system.h"
#include "files/resource_file_system.h"
#include "host/fatal.h"
#include "platform/system.h"

// Opened by OpenArchive, closed by CloseFileSystems: archive, its stream, the file system
// that opened the stream.
static struct {
    FileSystem* base;
    Stream* stream;
    ArchiveFileSystem* archive;
} files;

// The embedded archive, if the program carries one.
static bool OpenEmbedded()
{
    auto* resources = new ResourceFileSystem();
    std::string name = resources->FirstResourceName();
    Stream* stream = name.empty() ? nullptr : resources->Open(name, ReadOnly);
    if (!stream) {
        delete resources;
        return false;
    }
    files.base = resources;
    files.stream = stream;
    return true;
}

// name under root on disk; keeps the disk file system when the file opens.
static bool OpenOnDisk(const std::string& root, const char* name)
{
    auto* disk = new DiskFileSystem(root);
    Stream* stream = disk->Open(name, ReadOnly);
    if (!stream) {
        delete disk;
        return false;
    }
    files.base = disk;
    files.stream = stream;
    return true;
}

bool OpenArchive(const char* name)
{
    if (!OpenEmbedded()) {
        if (!name)
            return false;
        char directory[kProgramPathMax];
        if (!OpenOnDisk("", name) && !(ProgramDirectory(directory) && OpenOnDisk(directory, name)))
            FatalError("Error opening archive '%s'.\n", name);
    }
    files.archive = new ArchiveFileSystem(files.stream);
    return true;
}

void CloseFileSystems()
{
    delete files.archive;
    files.archive = nullptr;
    if (files.stream) {
        files.stream->Close();
        delete files.base;
    }
    files.stream = nullptr;
    files.base = nullptr;
}

FileSystem* HostFileSystem() { return files.archive; }

void* LoadWholeFile(const char* name, size_t* size)
{
    Stream* stream = files.archive ? files.archive->Open(name, ReadOnly) : nullptr;
    if (!stream)
        FatalError("File not found: '%s'", name);
    uint64_t length = stream->GetSize();
    // Read takes 32-bit counts; larger members are not something an archive here can hold.
    if (length > 0xFFFFFFFFu) {
        stream->Close();
        FatalError("File too large: '%s'", name);
    }
    void* block = std::malloc(length ? (size_t)length : 1);
    if (!block) {
        stream->Close();
        FatalError("Out of memory loading '%s'", name);
    }
    uint32_t read = length ? stream->Read(block, (uint32_t)length) : 0;
    stream->Close();
    if (size)
        *size = read;
    return block;
}

bool ProgramDirectoryFromPath(const char* path, size_t length, char* buffer, size_t capacity)
{
    if (capacity == 0)
        return false;
    buffer[0] = 0;
    if (!path || length == 0 || length >= capacity || length >= kProgramPathMax)
        return false;
    const char* first = (const char*)std::memchr(path, '/', length);
    if (!first)
        return false;
    const char* last = first;
    for (const char* p = path + length; p-- > first;) {
        if (*p == '/') {
            last = p;
            break;
        }
    }
    // A single separator is the root, which keeps it; otherwise drop the trailing one.
    size_t keep = last > first ? (size_t)(last - path) : (size_t)(first - path) + 1;
    std::memcpy(buffer, path, keep);
    buffer[keep] = 0;
    return true;
}

bool ProgramDirectory(char* buffer, size_t capacity)
{
    char path[kProgramPathMax];
    size_t length = SystemProgramPath(path, sizeof path);
    return ProgramDirectoryFromPath(path, length, buffer, capacity);
}
