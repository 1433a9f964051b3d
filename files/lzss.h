// LZSS compression: pull sources of bytes, and a method that stacks a decoder or an encoder of
// the archive's compressed format on another source. Format: 4096-byte window that starts as
// spaces up to 4077 and is written from 4078 on; a flag byte before every eight items (bit set =
// one literal byte, clear = a two-byte match of 3..18 bytes at a 12-bit window position).
#pragma once

#include <cstdint>
#include <vector>

// Hands out bytes on request. Virtual operations stay in this order.
class ByteSource {
public:
    ByteSource() = default;
    ByteSource(const ByteSource&) = delete;
    ByteSource& operator=(const ByteSource&) = delete;

    // Pulls up to count bytes; fewer only at the end of the data.
    virtual uint32_t Read(void* buffer, uint32_t count) = 0;
    // Nothing asks it: false.
    virtual bool ReservedQuery() { return false; }
    virtual ~ByteSource() = default;
};

// A way of compressing. Created sources do not own the source they pull from. Virtual
// operations stay in this order.
class CompressionMethod {
public:
    CompressionMethod() = default;
    CompressionMethod(const CompressionMethod&) = delete;
    CompressionMethod& operator=(const CompressionMethod&) = delete;

    // A source delivering the compressed form of what it pulls from source; caller owns it.
    virtual ByteSource* CreateEncoder(ByteSource* source) = 0;
    // A source delivering the decompressed form of what it pulls from source; caller owns it.
    virtual ByteSource* CreateDecoder(ByteSource* source) = 0;
    // The method's number.
    virtual int32_t GetMethodId() = 0;
    virtual ~CompressionMethod() = default;
};

enum : int32_t { LZSS_METHOD_ID = 2 };

class LzssMethod final : public CompressionMethod {
public:
    ByteSource* CreateEncoder(ByteSource* source) override;
    ByteSource* CreateDecoder(ByteSource* source) override;
    int32_t GetMethodId() override { return LZSS_METHOD_ID; }
};

// Decodes the compressed format pulled from source; the output ends where the input ends.
// Allocates nothing after construction.
class LzssDecoder final : public ByteSource {
public:
    explicit LzssDecoder(ByteSource* source);
    uint32_t Read(void* buffer, uint32_t count) override;

private:
    bool Refill();

    ByteSource* source;         // not owned
    uint32_t r;                 // window write position
    uint32_t flags = 0;         // flag register: bit 8 set while flags of the last flag byte remain
    uint32_t heldCount = 0;     // bytes of a split match waiting for the next Read
    uint32_t heldIndex = 0;
    uint32_t inputCount = 0;    // compressed bytes pulled ahead from source
    uint32_t inputIndex = 0;
    uint8_t held[17];
    uint8_t window[4096];
    uint8_t input[4096];
};

struct LzssEncoderState;

// Encodes what it pulls from source with a search tree of window positions; the output decodes
// to exactly the input.
class LzssEncoder final : public ByteSource {
public:
    explicit LzssEncoder(ByteSource* source);
    ~LzssEncoder() override;
    uint32_t Read(void* buffer, uint32_t count) override;

private:
    LzssEncoderState* state;
};

// A ByteSource over bytes in memory, which the caller keeps alive.
class MemoryByteSource final : public ByteSource {
public:
    MemoryByteSource(const void* data, uint64_t size) : data(static_cast<const uint8_t*>(data)), size(size) {}
    uint32_t Read(void* buffer, uint32_t count) override;

private:
    const uint8_t* data;
    uint64_t size;
    uint64_t position = 0;
};

// Encodes a whole block in memory: the bytes of an LZSS-compressed archive member.
std::vector<uint8_t> LzssCompress(const void* data, uint64_t size);
