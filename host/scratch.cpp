// Scratch pool. Created and destroyed by the main thread; used only by the frame thread between.
#include "host/scratch.h"

#include <cstdlib>

#include "host/fatal.h"

static ScratchPool pool;

bool ScratchPoolCreate(uint32_t size)
{
    pool.head = nullptr;
    pool.base = (uint8_t*)std::malloc(size ? size : 1);
    if (!pool.base)
        FatalError("Can't allocate scratch pool!");
    pool.capacity = size;
    pool.top = 0;
    return true;
}

void ScratchPoolDestroy()
{
    std::free(pool.base);
    pool = ScratchPool{};
}

void* ScratchAlloc(uint32_t n)
{
    const uint64_t need = ScratchBlockBytes(n);
    ScratchHeader* header;
    if (!pool.base || (uint64_t)pool.top + need > pool.capacity) {
        header = (ScratchHeader*)std::malloc((size_t)need);
        if (!header)
            FatalError("Out of memory allocating %u scratch bytes!", n);
    } else {
        header = (ScratchHeader*)(pool.base + pool.top);
        pool.top += (uint32_t)need;
    }
    header->size = n;
    header->previous = pool.head;
    pool.head = header;
    return header + 1;
}

void ScratchFree(void* p)
{
    if (!pool.head || p != (void*)(pool.head + 1))
        FatalError("Out of order scratch pool free 0x%p, not end of the pool.", p);
    ScratchHeader* header = pool.head;
    pool.head = header->previous;
    const uint64_t bytes = ScratchBlockBytes(header->size);
    if (pool.base && (uint8_t*)header + bytes == pool.base + pool.top)
        pool.top -= (uint32_t)bytes;
    else
        std::free(header);
}

const ScratchPool& ScratchPoolState() { return pool; }
