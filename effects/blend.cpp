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

namespace {
// The owned blocks behind the pointers above; built by the main thread at set-up, read by
// the frame thread.
struct BlendState {
    BlendTable* tables; // the five tables in one block
    int32_t* profile;
};
} // namespace

static BlendState gBlend;

bool BlendTablesCreate()
{
    BlendTablesDestroy();
    gBlend.tables = new (std::nothrow) BlendTable[5];
    gBlend.profile = new (std::nothrow) int32_t[256]();
    if (!gBlend.tables || !gBlend.profile) {
        BlendTablesDestroy();
        return false;
    }
    for (int a = 0; a < 256; a++) {
        for (int b = 0; b < 256; b++) {
            int i = a * 256 + b;
            gBlend.tables[0].entry[i] = (a * b) / 256;
            gBlend.tables[1].entry[i] = (255 * b + a * (255 - b)) / 256;
            gBlend.tables[2].entry[i] = std::min(a + b, 255);
            gBlend.tables[3].entry[i] = a;
            gBlend.tables[4].entry[i] = b;
            for (int t = 0; t < 5; t++)
                gBlend.tables[t].narrow[i] = (uint8_t)gBlend.tables[t].entry[i];
        }
    }
    // Width parameter 5 gives the divisor (5 - 1) * 20; 128 entries per pixel of distance.
    for (int i = 0; i < 192; i++) {
        double x = i / 80.0;
        gBlend.profile[i] = (int32_t)(255.0 * std::exp(-(x * x)));
    }
    BlendMultiply = &gBlend.tables[0];
    BlendScreen = &gBlend.tables[1];
    BlendAdd = &gBlend.tables[2];
    BlendFirst = &gBlend.tables[3];
    BlendSecond = &gBlend.tables[4];
    GlowProfile = gBlend.profile;
    return true;
}

void BlendTablesDestroy()
{
    delete[] gBlend.tables;
    delete[] gBlend.profile;
    gBlend.tables = nullptr;
    gBlend.profile = nullptr;
    BlendMultiply = BlendScreen = BlendAdd = BlendFirst = BlendSecond = nullptr;
    GlowProfile = nullptr;
}
