#include "effects/blend.h"

#include <algorithm>
#include <cmath>
#include <new>

// Owned by the frame thread's set-up; immutable between create and destroy.
const BlendTable* BlendMultiply = nullptr;
const BlendTable* BlendScreen = nullptr;
const BlendTable* BlendAdd = nullptr;
const BlendTable* BlendFirst = nullptr;
const BlendTable* BlendSecond = nullptr;
const int32_t* GlowProfile = nullptr;

static BlendTable* gTables = nullptr; // the five tables in one block
static int32_t* gProfile = nullptr;

bool BlendTablesCreate()
{
    BlendTablesDestroy();
    gTables = new (std::nothrow) BlendTable[5];
    gProfile = new (std::nothrow) int32_t[256]();
    if (!gTables || !gProfile) {
        BlendTablesDestroy();
        return false;
    }
    for (int a = 0; a < 256; a++) {
        for (int b = 0; b < 256; b++) {
            int i = a * 256 + b;
            gTables[0].entry[i] = (a * b) / 256;
            gTables[1].entry[i] = (255 * b + a * (255 - b)) / 256;
            gTables[2].entry[i] = std::min(a + b, 255);
            gTables[3].entry[i] = a;
            gTables[4].entry[i] = b;
        }
    }
    // Width parameter 5 gives the divisor (5 - 1) * 20; 128 entries per pixel of distance.
    for (int i = 0; i < 192; i++) {
        double x = i / 80.0;
        gProfile[i] = (int32_t)(255.0 * std::exp(-(x * x)));
    }
    BlendMultiply = &gTables[0];
    BlendScreen = &gTables[1];
    BlendAdd = &gTables[2];
    BlendFirst = &gTables[3];
    BlendSecond = &gTables[4];
    GlowProfile = gProfile;
    return true;
}

void BlendTablesDestroy()
{
    delete[] gTables;
    delete[] gProfile;
    gTables = nullptr;
    gProfile = nullptr;
    BlendMultiply = BlendScreen = BlendAdd = BlendFirst = BlendSecond = nullptr;
    GlowProfile = nullptr;
}
