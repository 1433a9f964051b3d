// What the processor offers the span routines and the production.
#pragma once

// True when the processor reports MMX, unless a test made it answer otherwise.
bool HasMmx();
// Makes HasMmx answer answer (1 yes, 0 no); -1 asks the processor again. For tests.
void HasMmxOverride(int answer);
