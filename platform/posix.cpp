// What every back-end takes from POSIX as it is: the monotonic clock and ending the process.
#include <unistd.h>

#include <cstdio>
#include <ctime>

#include "platform/system.h"

bool SystemClockCounter(int64_t* ticks)
{
    timespec now;
    if (clock_gettime(CLOCK_MONOTONIC, &now) != 0)
        return false;
    *ticks = (int64_t)now.tv_sec * 1000000000 + now.tv_nsec;
    return true;
}

bool SystemClockFrequency(int64_t* ticksPerSecond)
{
    *ticksPerSecond = 1000000000;
    return true;
}

void SystemExitProcess(int code)
{
    std::fflush(stdout);
    std::fflush(stderr);
    _exit(code);
}
