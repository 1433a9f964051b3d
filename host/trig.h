// The shared sine and cosine tables. Filled once at start-up, read-only afterwards.
#pragma once

// 1024 entries each, entry i = sin / cos of i * pi / 512; index with (angle & 1023).
extern float SineTable[1024];
extern float CosineTable[1024];

// Fills both tables (start-up, before the production sets up).
void BuildTrigTables();
