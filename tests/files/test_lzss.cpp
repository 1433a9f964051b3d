// LZSS: round trips through the encoder and decoder, and the format's corner cases.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "files/lzss.h"

namespace {

std::vector<uint8_t> Drain(ByteSource* source, uint32_t piece)
{
    std::vector<uint8_t> out;
    std::vector<uint8_t> buffer(piece);
    uint32_t k;
    while ((k = source->Read(buffer.data(), piece)) != 0) out.insert(out.end(), buffer.begin(), buffer.begin() + k);
    return out;
}

std::vector<uint8_t> Encode(const std::vector<uint8_t>& data, uint32_t piece = 65536)
{
    MemoryByteSource source(data.data(), data.size());
    LzssMethod method;
    ByteSource* encoder = method.CreateEncoder(&source);
    std::vector<uint8_t> out = Drain(encoder, piece);
    delete encoder;
    return out;
}

std::vector<uint8_t> Decode(const std::vector<uint8_t>& packed, uint32_t piece = 65536)
{
    MemoryByteSource source(packed.data(), packed.size());
    LzssDecoder decoder(&source);
    return Drain(&decoder, piece);
}

std::vector<uint8_t> Bytes(const std::string& text) { return std::vector<uint8_t>(text.begin(), text.end()); }

std::vector<uint8_t> Random(size_t size, uint32_t seed, int alphabet)
{
    std::mt19937 rng(seed);
    std::vector<uint8_t> v(size);
    for (auto& b : v) b = uint8_t(rng() % alphabet);
    return v;
}

std::vector<uint8_t> Text(size_t size)
{
    static const char* words[] = {"the ", "demo ", "runs ", "in ", "step ", "with ", "music ", "\n", "pixels ", "zenkor "};
    std::mt19937 rng(7);
    std::string s;
    while (s.size() < size) s += words[rng() % 10];
    s.resize(size);
    return Bytes(s);
}

TEST(Lzss, MethodId)
{
    LzssMethod method;
    EXPECT_EQ(method.GetMethodId(), 2);
    uint8_t none = 0;
    MemoryByteSource source(&none, 0);
    ByteSource* decoder = method.CreateDecoder(&source);
    EXPECT_FALSE(decoder->ReservedQuery());
    delete decoder;
}

TEST(Lzss, RoundTrips)
{
    struct Case {
        const char* what;
        std::vector<uint8_t> data;
    };
    std::vector<Case> cases = {
        {"empty", {}},
        {"one byte", {42}},
        {"two bytes", {1, 2}},
        {"spaces", std::vector<uint8_t>(5000, ' ')},
        {"zeros", std::vector<uint8_t>(70000, 0)},
        {"text", Text(200000)},
        {"random bytes", Random(20000, 1, 256)},
        {"few symbols", Random(50000, 2, 3)},
        {"window size", Random(4096, 3, 4)},
        {"window size plus one", Random(4097, 4, 4)},
        {"longest match", Bytes("abcdefghijklmnopqr")},
        {"nineteen", Bytes("abcdefghijklmnopqrs")},
        {"repeat", Bytes("abcabcabcabcabcabcabcabcabcabcabcabcabcabc")},
    };
    for (int n = 0; n < 40; n++) cases.push_back({"short", Random(n, 100 + n, 2)});
    for (const Case& c : cases) {
        std::vector<uint8_t> packed = Encode(c.data);
        EXPECT_EQ(Decode(packed), c.data) << c.what << " size " << c.data.size();
    }
}

TEST(Lzss, CompressesRepetitiveData)
{
    std::vector<uint8_t> text = Text(100000);
    EXPECT_LT(Encode(text).size(), text.size() / 3);
    std::vector<uint8_t> zeros(100000, 0);
    EXPECT_LT(Encode(zeros).size(), zeros.size() / 8);
}

TEST(Lzss, PiecesOfAnySizeGiveTheSameBytes)
{
    std::vector<uint8_t> data = Text(30000);
    data.insert(data.end(), 5000, 'x');
    std::vector<uint8_t> packed = Encode(data);
    for (uint32_t piece : {1u, 2u, 3u, 7u, 17u, 18u, 19u, 4095u, 4096u, 100000u}) {
        EXPECT_EQ(Decode(packed, piece), data) << "decode piece " << piece;
        EXPECT_EQ(Encode(data, piece), packed) << "encode piece " << piece;
    }
}

TEST(Lzss, FirstMatchReadsTheSpaceFill)
{
    // Flag byte 0: a match at position 4075 (4078 - 3), length 3.
    std::vector<uint8_t> packed = {0x00, 0xEB, 0xF0};
    EXPECT_EQ(Decode(packed), Bytes("   "));
}

TEST(Lzss, OverlappingMatchRepeatsTheLastByte)
{
    // Literal 'z' written at 4078, then a match at 4078 of length 18.
    std::vector<uint8_t> packed = {0x01, 'z', 0xEE, 0xFF};
    EXPECT_EQ(Decode(packed), std::vector<uint8_t>(19, 'z'));
}

TEST(Lzss, MatchSplitAcrossCallsGoesThroughTheHoldingArea)
{
    std::vector<uint8_t> packed = {0x01, 'q', 0xEE, 0xFF};
    MemoryByteSource source(packed.data(), packed.size());
    LzssDecoder decoder(&source);
    uint8_t buffer[32];
    ASSERT_EQ(decoder.Read(buffer, 2), 2u);        // 'q' and the first of 18
    EXPECT_EQ(decoder.Read(buffer, 5), 5u);        // from the holding area
    EXPECT_EQ(decoder.Read(buffer, 32), 12u);      // the rest of it, then the input ends
    EXPECT_EQ(decoder.Read(buffer, 32), 0u);
}

TEST(Lzss, TruncatedStreamsEndCleanly)
{
    std::vector<uint8_t> data = Text(3000);
    std::vector<uint8_t> packed = Encode(data);
    for (size_t cut = 0; cut < 64; cut++) {
        std::vector<uint8_t> part(packed.begin(), packed.begin() + cut);
        std::vector<uint8_t> out = Decode(part);
        ASSERT_LE(out.size(), data.size());
        EXPECT_TRUE(std::equal(out.begin(), out.end(), data.begin())) << "cut at " << cut;
    }
    EXPECT_TRUE(Decode({0xFF}).empty());            // flag byte only
    EXPECT_EQ(Decode({0x01, 'a', 0x10}), Bytes("a")); // match cut after its first byte
}

}  // namespace
