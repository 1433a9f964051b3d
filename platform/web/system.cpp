// Message box, program path, CPU features and threads on the web (clock and process exit: posix.cpp).
#include "platform/system.h"

#include <emscripten.h>
#include <pthread.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "platform/web/web_internal.h"

void SystemMessageBox(const char* caption, const char* text)
{
    std::fprintf(stderr, "%s: %s\n", caption ? caption : "", text ? text : "");
    std::fflush(stderr);
    zenkor_web_message(caption ? caption : "", text ? text : "");
}

// The page's program lives at the root of the virtual file system; under node it is the
// script that was run.
size_t SystemProgramPath(char* buffer, size_t capacity)
{
    if (capacity == 0)
        return 0;
    char path[1024];
    // clang-format off
    MAIN_THREAD_EM_ASM(
        {
            var path = '/murova';
            if (typeof process !== 'undefined' && process.argv && process.argv[1])
                path = require('path').resolve(process.argv[1]);
            stringToUTF8(path, $0, 1024);
        },
        path);
    // clang-format on
    size_t length = std::strlen(path);
    if (length >= capacity) {
        std::memcpy(buffer, path, capacity - 1);
        buffer[capacity - 1] = 0;
        return capacity;
    }
    std::memcpy(buffer, path, length + 1);
    return length;
}

// The span routines' SIMD forms are lane-exact in any instruction set; the web has them when
// built with WebAssembly SIMD.
bool SystemHasMmx()
{
#if defined(__wasm_simd128__)
    return true;
#else
    return false;
#endif
}

// The web back-end keeps nothing per thread.
void SystemThreadCleanup() {}

void SystemExitThread() { pthread_exit(nullptr); }
