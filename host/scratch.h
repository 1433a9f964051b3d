// Last-in first-out scratch memory for work buffers inside one frame, with the heap as overflow.
// One pool per process; only the frame thread allocates while it runs, so there is no lock.
#pragma once

#include <cstdint>

// Every allocation, pooled or not, starts with this header: the size asked for and the
// allocation made before it. A request of n bytes takes n + sizeof(ScratchHeader) bytes of the
// pool (16 on 64-bit machines, which keeps every block 16-byte aligned when sizes are).
struct ScratchHeader {
    uint32_t size;
    ScratchHeader* previous;
};

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
