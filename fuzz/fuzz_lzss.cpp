// Fuzzes the LZSS decoder on any input, read in pieces of a size taken from the first byte; and
// checks that the encoder's output of the same input decodes back to it exactly.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "files/lzss.h"

namespace {

std::vector<uint8_t> Drain(ByteSource* source, uint32_t piece)
{
    std::vector<uint8_t> out, buffer(piece);
    uint32_t k;
    while ((k = source->Read(buffer.data(), piece)) != 0) {
        if (k > piece) __builtin_trap();
        out.insert(out.end(), buffer.begin(), buffer.begin() + k);
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0) return 0;
    uint32_t piece = data[0] % 41 + 1;
    MemoryByteSource packed(data + 1, size - 1);
    LzssDecoder decoder(&packed);
    std::vector<uint8_t> decoded = Drain(&decoder, piece);
    // Every two input bytes make at most one 18-byte match.
    if (decoded.size() > (size - 1) * 9) __builtin_trap();

    MemoryByteSource plain(data + 1, size - 1);
    LzssEncoder encoder(&plain);
    std::vector<uint8_t> encoded = Drain(&encoder, piece);
    MemoryByteSource again(encoded.data(), encoded.size());
    LzssDecoder check(&again);
    std::vector<uint8_t> back = Drain(&check, 4096);
    if (back.size() != size - 1 || (size > 1 && std::memcmp(back.data(), data + 1, size - 1) != 0)) __builtin_trap();
    return 0;
}
