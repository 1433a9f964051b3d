// Resources embedded in the program at build time, readable as files: a name is the decimal
// identifier of a resource of type "FileSystem"; streams are read-only views of its bytes.
// Names do not go through the path rules.
#pragma once

#include "files/file_system.h"

class ResourceFileSystem final : public FileSystem {
public:
    ResourceFileSystem() = default;

    // The identifier of the first resource of type "FileSystem" (lowest identifier), in
    // decimal; empty when there is none.
    std::string FirstResourceName();

    // Opens the resource whose identifier starts the name (cut to 16 bits); mode is ignored.
    Stream* Open(const std::string& name, OpenMode mode) override;
    void* ReservedOperation(const std::string& name, uint32_t value) override;
    int64_t GetSize(const std::string& name) override;  // -1 when not found
    bool Exists(const std::string& name) override;
    bool Remove(const std::string& name) override;
    FileEnumerator* FindFirst(const std::string& pattern) override;
    bool FindNext(FileEnumerator* enumerator) override;
    void FindClose(FileEnumerator* enumerator) override;
};
