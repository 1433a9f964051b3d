// A read-only Stream over bytes in memory that the caller keeps alive (archives held in memory,
// tests, fuzzing). Belongs to one thread at a time.
#pragma once

#include "files/file_system.h"

class MemoryStream final : public Stream {
public:
    MemoryStream(const void* data, uint64_t size, const std::string& name = std::string())
        : Stream(name, ReadOnly, nullptr), data(static_cast<const uint8_t*>(data)), size(size) {}

    uint32_t Read(void* buffer, uint32_t count) override;
    uint32_t Write(const void*, uint32_t) override { return 0; }
    uint64_t Tell() override { return position; }
    bool Seek(uint64_t to) override;
    uint64_t GetSize() override { return size; }
    bool SetSize(uint64_t) override { return false; }

private:
    const uint8_t* data;
    uint64_t size;
    uint64_t position = 0;
};
