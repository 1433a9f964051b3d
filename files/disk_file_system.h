// A read-write file system over one directory of the local disk. Names are "/"-separated and
// relative to the root (a leading "/" is ignored). Opening for writing creates missing
// directories; Remove also removes the directories it leaves empty.
#pragma once

#include "files/file_system.h"

class DiskFileSystem final : public FileSystem {
public:
    // An empty root means the current directory; a "/" is appended when missing.
    explicit DiskFileSystem(const std::string& root);

    Stream* Open(const std::string& name, OpenMode mode) override;
    void* ReservedOperation(const std::string& name, uint32_t value) override;
    int64_t GetSize(const std::string& name) override;  // 0 when not found
    bool Exists(const std::string& name) override;
    bool Remove(const std::string& name) override;
    // Lists the pattern's directory, matching its last component with MatchPattern; entries
    // come in ascending byte order of their names, without "." and "..".
    FileEnumerator* FindFirst(const std::string& pattern) override;
    bool FindNext(FileEnumerator* enumerator) override;
    void FindClose(FileEnumerator* enumerator) override;

    // The root, always ending with "/".
    const std::string& GetRoot() const { return root; }
    // The root followed by name without its leading separators.
    std::string FullPath(const std::string& name) const;

private:
    std::string root;
};
