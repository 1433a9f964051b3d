// Last-in first-out scratch memory for work buffers inside one frame, with the heap as overflow.
// One pool per process; only the frame thread allocates while it runs, so there is no lock.
#pragma once

#include <cstdint>

// Every allocation, pooled or not, starts with this header: the size asked for and the
// allocation made before it. A request of n bytes takes ScratchBlockBytes(n) bytes of the pool:
// the 16-byte header and n rounded up to 16, so every block handed out is 16-byte aligned.
struct ScratchHeader {
    uint32_t size;
    ScratchHeader* previous;
};

constexpr uint64_t ScratchBlockBytes(uint32_t n)
{
    return (sizeof(ScratchHeader) + (uint64_t)n + 15) & ~(uint64_t)15;
}

struct ScratchPool {
    uint8_t* base;
    uint32_t capacity;   // bytes
    uint32_t top;        // bytes in use, headers included
    ScratchHeader* head; // most recent outstanding allocation, or null
};

// Reserves size bytes; fatal ("Can't allocate scratch pool!") when the heap refuses.
bool ScratchPoolCreate(uint32_t size);
// Frees the reserved block.
void ScratchPoolDestroy();
// Hands out n bytes from the pool, or from the heap when they do not fit; never fails.
void* ScratchAlloc(uint32_t n);
// Returns the most recent allocation; any other pointer is fatal.
void ScratchFree(void* p);
// The pool's state, for inspection.
const ScratchPool& ScratchPoolState();
