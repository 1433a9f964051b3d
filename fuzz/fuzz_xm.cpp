// The XM loader on any bytes, then a second of offline mixing of whatever loaded.
#include "sound/music.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > (1u << 20))
        return 0;
    if (MusicLoad(data, int(size)) != 0)
        return 0;
    if (MusicRenderBegin()) {
        static int16_t pcm[MUSIC_BLOCK_FRAMES * 2];
        for (int i = 0; i < MUSIC_MIX_RATE / MUSIC_BLOCK_FRAMES; i++)
            MusicRenderBlock(pcm);
        MusicRenderEnd();
    }
    MusicFree();
    return 0;
}
