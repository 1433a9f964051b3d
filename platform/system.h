// Clock, message box, program path, CPU features and thread exit for the host.
#pragma once

#include <cstddef>
#include <cstdint>

// High-resolution counter ticks; false when it cannot be read.
bool SystemClockCounter(int64_t* ticks);
// Ticks per second of that counter; false when it cannot be read.
bool SystemClockFrequency(int64_t* ticksPerSecond);

// Writes text to stderr and, where a display exists, shows it in a modal error box with the
// caption (it fails fast without one). Any thread.
void SystemMessageBox(const char* caption, const char* text);

// Writes the program file's full path (NUL-terminated) and returns its length; 0 on failure.
// A result >= capacity means the path did not fit (the buffer then holds a cut copy).
size_t SystemProgramPath(char* buffer, size_t capacity);

// True when cpuid is available and function 1 reports MMX (EDX bit 23).
bool SystemHasMmx();

// Frees what the platform keeps for the calling thread (its error text and the like); called by
// a thread that used the platform before it ends.
void SystemThreadCleanup();
// Ends the calling thread at once, unwinding its stack, after SystemThreadCleanup; never the
// last thread.
[[noreturn]] void SystemExitThread();
// Ends the process at once with code, without running exit handlers; stderr is flushed first.
[[noreturn]] void SystemExitProcess(int code);
