// The generator's state. Owned by the frame thread while it runs; before that, by the thread
// that sets up or tests.
#include "host/random.h"

static uint32_t randomState = 1;

void RandomSeed(uint32_t seed) { randomState = seed; }

int RandomNext()
{
    randomState = randomState * 214013u + 2531011u;
    return (int)((randomState >> 16) & 0x7FFF);
}
