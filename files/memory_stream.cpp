// Read-only stream over caller-owned memory.
#include "files/memory_stream.h"

#include <algorithm>
#include <cstring>

uint32_t MemoryStream::Read(void* buffer, uint32_t count)
{
    uint64_t k = std::min<uint64_t>(count, size - position);
    if (k) std::memcpy(buffer, data + position, k);
    position += k;
    return uint32_t(k);
}

bool MemoryStream::Seek(uint64_t to)
{
    if (to > size) return false;
    position = to;
    return true;
}
