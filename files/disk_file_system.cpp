// The disk file system over the C library's files and the standard filesystem library. Each
// file system, stream and enumerator belongs to the thread that uses it (the host's main thread).
#include "files/disk_file_system.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <vector>

namespace fs = std::filesystem;

namespace {

class DiskFileStream final : public Stream {
public:
    DiskFileStream(const std::string& name, OpenMode mode, FileSystem* owner, std::FILE* file, std::string path)
        : Stream(name, mode, owner), file(file), path(std::move(path)) {}
    ~DiskFileStream() override { std::fclose(file); }

    uint32_t Read(void* buffer, uint32_t count) override
    {
        if (mode == WriteOnly || !Switch(false)) return 0;
        return uint32_t(std::fread(buffer, 1, count, file));
    }
    uint32_t Write(const void* buffer, uint32_t count) override
    {
        if (mode == ReadOnly || !Switch(true)) return 0;
        return uint32_t(std::fwrite(buffer, 1, count, file));
    }
    uint64_t Tell() override
    {
        long at = std::ftell(file);
        return at < 0 ? 0 : uint64_t(at);
    }
    bool Seek(uint64_t position) override
    {
        if (position > GetSize() || position > uint64_t(LONG_MAX)) return false;
        if (std::fseek(file, long(position), SEEK_SET) != 0) return false;
        lastWasWrite = false;
        return true;
    }
    uint64_t GetSize() override
    {
        long at = std::ftell(file);
        if (at < 0 || std::fseek(file, 0, SEEK_END) != 0) return 0;
        long size = std::ftell(file);
        std::fseek(file, at, SEEK_SET);
        lastWasWrite = false;
        return size < 0 ? 0 : uint64_t(size);
    }
    bool SetSize(uint64_t size) override
    {
        if (mode == ReadOnly) return false;
        uint64_t remembered = Tell();
        if (!Seek(size)) return false;
        std::error_code ec;
        bool cut = std::fflush(file) == 0;
        if (cut) fs::resize_file(path, size, ec);
        cut = cut && !ec;
        Seek(remembered >= size ? size : remembered);
        return cut;
    }

private:
    // The C library needs a positioning call between reading and writing.
    bool Switch(bool toWrite)
    {
        if (toWrite != lastWasWrite && std::fseek(file, 0, SEEK_CUR) != 0) return false;
        lastWasWrite = toWrite;
        return true;
    }

    std::FILE* file;      // owned
    std::string path;     // full path, for cutting the file
    bool lastWasWrite = false;
};

struct DiskEntry {
    std::string name;
    uint64_t size;
    bool isDirectory;
};

class DiskFileEnumerator final : public FileEnumerator {
public:
    std::string GetName() override { return index < entries.size() ? prefix + entries[index].name : std::string(); }
    uint64_t GetSize() override { return index < entries.size() ? entries[index].size : 0; }
    bool IsDirectory() override { return index < entries.size() && entries[index].isDirectory; }

    std::string prefix;  // ParentPath of the listing's pattern
    std::vector<DiskEntry> entries;
    size_t index = 0;
};

// Opens for writing without truncating, creating the file when it does not exist.
std::FILE* OpenForWriting(const std::string& path)
{
    std::FILE* f = std::fopen(path.c_str(), "r+b");
    std::error_code ec;
    if (!f && !fs::exists(path, ec)) f = std::fopen(path.c_str(), "w+b");
    return f;
}

// Creates every missing directory on the way to the file at path. Leading parts that can be
// neither found nor created (the top of the tree) count as existing when they are empty.
bool CreateParents(const std::string& path)
{
    std::error_code ec;
    for (size_t slash = path.find('/'); slash != std::string::npos; slash = path.find('/', slash + 1)) {
        if (slash == 0) continue;
        std::string part = path.substr(0, slash);
        if (fs::is_directory(part, ec)) continue;
        if (!fs::create_directory(part, ec) || ec) return false;
    }
    return true;
}

bool IsRealDirectory(const std::string& path)
{
    std::error_code ec;
    return fs::is_directory(fs::symlink_status(path, ec));
}

}  // namespace

DiskFileSystem::DiskFileSystem(const std::string& rootDirectory) : root(rootDirectory)
{
    if (root.empty()) {
        std::error_code ec;
        root = fs::current_path(ec).string();
    }
    if (root.empty() || root.back() != '/') root += '/';
}

std::string DiskFileSystem::FullPath(const std::string& name) const
{
    size_t skip = name.find_first_not_of("/\\");
    return root + (skip == std::string::npos ? std::string() : name.substr(skip));
}

Stream* DiskFileSystem::Open(const std::string& name, OpenMode mode)
{
    if (!IsValidPath(name, false)) return nullptr;
    std::string path = FullPath(name);
    std::error_code ec;
    if (fs::is_directory(path, ec)) return nullptr;
    std::FILE* f = nullptr;
    if (mode == ReadOnly) {
        f = std::fopen(path.c_str(), "rb");
    } else if (mode == WriteOnly || mode == ReadWrite) {
        f = OpenForWriting(path);
        if (!f && CreateParents(path)) f = OpenForWriting(path);
    }
    if (!f) return nullptr;
    return new DiskFileStream(name, mode, this, f, path);
}

void* DiskFileSystem::ReservedOperation(const std::string& name, uint32_t)
{
    IsValidPath(name, false);
    return nullptr;
}

int64_t DiskFileSystem::GetSize(const std::string& name)
{
    if (!IsValidPath(name, false)) return 0;
    std::error_code ec;
    std::string path = FullPath(name);
    if (fs::is_directory(path, ec)) return 0;
    uintmax_t size = fs::file_size(path, ec);
    return ec ? 0 : int64_t(size);
}

bool DiskFileSystem::Exists(const std::string& name)
{
    if (!IsValidPath(name, false)) return false;
    std::error_code ec;
    fs::file_status status = fs::status(FullPath(name), ec);
    return !ec && fs::exists(status) && !fs::is_directory(status);
}

bool DiskFileSystem::Remove(const std::string& name)
{
    if (!IsValidPath(name, false)) return false;
    std::string path = FullPath(name);
    std::error_code ec;
    if (fs::is_directory(fs::symlink_status(path, ec)) || !fs::remove(path, ec) || ec) return false;
    // Remove the directories the deletion left empty, innermost first; links are left alone.
    std::string dir = ParentPath(name);
    while (!dir.empty()) {
        dir.pop_back();
        std::string full = FullPath(dir);
        if (dir.empty() || !IsRealDirectory(full) || !fs::is_empty(full, ec) || ec) break;
        if (!fs::remove(full, ec) || ec) break;
        dir = ParentPath(dir);
    }
    return true;
}

FileEnumerator* DiskFileSystem::FindFirst(const std::string& pattern)
{
    if (!IsValidPath(pattern, true)) return nullptr;
    auto enumerator = std::make_unique<DiskFileEnumerator>();
    enumerator->prefix = ParentPath(pattern);
    std::string last = pattern.substr(enumerator->prefix.size());
    std::string directory = FullPath(enumerator->prefix);
    std::error_code ec;
    for (fs::directory_iterator it(directory, ec), end; !ec && it != end; it.increment(ec)) {
        std::string entryName = it->path().filename().string();
        if (!MatchPattern(entryName, last)) continue;
        std::error_code statError;
        bool isDirectory = it->is_directory(statError);
        uint64_t size = isDirectory ? 0 : it->file_size(statError);
        enumerator->entries.push_back({entryName, statError ? 0 : size, isDirectory});
    }
    if (enumerator->entries.empty()) return nullptr;
    std::sort(enumerator->entries.begin(), enumerator->entries.end(),
              [](const DiskEntry& a, const DiskEntry& b) { return a.name < b.name; });
    return enumerator.release();
}

bool DiskFileSystem::FindNext(FileEnumerator* enumerator)
{
    auto* e = static_cast<DiskFileEnumerator*>(enumerator);
    if (e->index >= e->entries.size()) return false;
    return ++e->index < e->entries.size();
}

void DiskFileSystem::FindClose(FileEnumerator* enumerator) { delete enumerator; }
