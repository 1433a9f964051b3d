// The processor check. The override is set by tests before anything asks.
#include "host/cpu.h"

#include <atomic>

#include "platform/system.h"

static std::atomic<int> mmxOverride{-1};

bool HasMmx()
{
    int answer = mmxOverride.load();
    return answer < 0 ? SystemHasMmx() : answer != 0;
}

void HasMmxOverride(int answer)
{
    mmxOverride.store(answer < 0 ? -1 : answer != 0);
}
