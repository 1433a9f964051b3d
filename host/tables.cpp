// Shared trigonometric tables, the processor check and the program's directory.
// Filled on the main thread before the frame thread starts; read-only afterwards.
#include <cmath>
#include <cstring>

#include "host/host.h"
#include "platform/system.h"

float SineTable[1024];
float CosineTable[1024];

void BuildTrigTables()
{
    // The single-precision value of pi, widened: the tables match those built from it.
    const long double pi = (long double)3.1415927f;
    for (int i = 0; i < 1024; ++i) {
        long double angle = (long double)i * pi * (1.0L / 512.0L);
        SineTable[i] = (float)std::sin(angle);
        CosineTable[i] = (float)std::cos(angle);
    }
}

bool HasMmx()
{
    return SystemHasMmx();
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
