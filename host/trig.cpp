// Shared trigonometric tables. Filled on the main thread before the frame thread starts;
// read-only afterwards.
#include "host/trig.h"

#include <cmath>

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
