// Message box, program path, CPU features and threads over Linux and SDL (clock and process exit: posix.cpp).
#include "platform/system.h"

#include <SDL.h>
#include <cpuid.h>
#include <pthread.h>
#include <unistd.h>

#include <cstdio>

void SystemMessageBox(const char* caption, const char* text)
{
    std::fprintf(stderr, "%s: %s\n", caption ? caption : "", text ? text : "");
    std::fflush(stderr);
    SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, caption ? caption : "", text ? text : "", nullptr);
}

size_t SystemProgramPath(char* buffer, size_t capacity)
{
    if (capacity == 0)
        return 0;
    ssize_t length = readlink("/proc/self/exe", buffer, capacity);
    if (length <= 0) {
        buffer[0] = 0;
        return 0;
    }
    // readlink does not terminate; a result that fills the buffer may have been cut.
    if ((size_t)length >= capacity) {
        buffer[capacity - 1] = 0;
        return capacity;
    }
    buffer[length] = 0;
    return (size_t)length;
}

bool SystemHasMmx()
{
    unsigned eax, ebx, ecx, edx;
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx))
        return false;
    return (edx & (1u << 23)) != 0;
}

void SystemThreadCleanup()
{
    SDL_TLSCleanup();
}

void SystemExitThread()
{
    SystemThreadCleanup();
    pthread_exit(nullptr);
}
