// LZSS decoder and search-tree encoder. Each object belongs to whichever thread reads it.
#include "files/lzss.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr uint32_t N = 4096;         // window size
constexpr uint32_t F = 18;           // longest match
constexpr uint32_t THRESHOLD = 2;    // matches this long or shorter go as literals
constexpr int NIL = N;               // no node in the search tree

}  // namespace

ByteSource* LzssMethod::CreateEncoder(ByteSource* source) { return new LzssEncoder(source); }
ByteSource* LzssMethod::CreateDecoder(ByteSource* source) { return new LzssDecoder(source); }

uint32_t MemoryByteSource::Read(void* buffer, uint32_t count)
{
    uint64_t k = std::min<uint64_t>(count, size - position);
    if (k) std::memcpy(buffer, data + position, k);
    position += k;
    return uint32_t(k);
}

LzssDecoder::LzssDecoder(ByteSource* source) : source(source), r(N - F)
{
    std::memset(window, ' ', sizeof window);
}

bool LzssDecoder::Refill()
{
    inputCount = source->Read(input, sizeof input);
    inputIndex = 0;
    return inputCount != 0;
}

uint32_t LzssDecoder::Read(void* buffer, uint32_t count)
{
    uint8_t* out = static_cast<uint8_t*>(buffer);
    uint32_t done = 0;
    if (heldIndex < heldCount) {
        done = std::min(heldCount - heldIndex, count);
        std::memcpy(out, held + heldIndex, done);
        heldIndex += done;
        if (done == count) return count;
    }
    heldCount = heldIndex = 0;

    uint32_t w = r, f = flags;
    while (done < count) {
        f >>= 1;
        if (!(f & 0x100)) {
            if (inputIndex == inputCount && !Refill()) break;
            f = input[inputIndex++] | 0xFF00u;
        }
        if (f & 1) {
            if (inputIndex == inputCount && !Refill()) break;
            uint8_t c = input[inputIndex++];
            out[done++] = c;
            window[w] = c;
            w = (w + 1) & (N - 1);
            continue;
        }
        if (inputIndex == inputCount && !Refill()) break;
        uint32_t b0 = input[inputIndex++];
        if (inputIndex == inputCount && !Refill()) break;
        uint32_t b1 = input[inputIndex++];
        uint32_t position = b0 | ((b1 & 0xF0) << 4);
        uint32_t length = (b1 & 0x0F) + THRESHOLD + 1;
        uint32_t direct = std::min(length, count - done);
        uint32_t k = 0;
        // Byte by byte: a match may overlap the bytes it produces.
        for (; k < direct; k++) {
            uint8_t b = window[(position + k) & (N - 1)];
            out[done++] = b;
            window[w] = b;
            w = (w + 1) & (N - 1);
        }
        for (; k < length; k++) {
            uint8_t b = window[(position + k) & (N - 1)];
            held[heldCount++] = b;
            window[w] = b;
            w = (w + 1) & (N - 1);
        }
    }
    r = w;
    flags = f;
    return done;
}

// Binary search trees of window positions, one root per first byte (nodes N+1..N+256), keyed
// by the up to F bytes that start at each position.
struct LzssEncoderState {
    ByteSource* source;
    uint8_t text[N + F - 1];   // the window, its first F-1 bytes mirrored behind it
    int lson[N + 1];
    int rson[N + 257];
    int dad[N + 1];
    int matchPosition = 0;
    int matchLength = 0;
    int s = 0, r = N - F, len = 0;
    uint8_t code[17];          // the group being built: flag byte and up to eight items
    uint32_t codeCount = 1;
    uint8_t mask = 1;
    uint8_t pending[17];       // a finished group not yet handed out
    uint32_t pendingCount = 0, pendingIndex = 0;
    uint8_t input[4096];
    uint32_t inputCount = 0, inputIndex = 0;
    bool started = false, finished = false;
};

namespace {

bool EncoderGetByte(LzssEncoderState* e, uint8_t* c)
{
    if (e->inputIndex == e->inputCount) {
        e->inputCount = e->source->Read(e->input, sizeof e->input);
        e->inputIndex = 0;
        if (e->inputCount == 0) return false;
    }
    *c = e->input[e->inputIndex++];
    return true;
}

void InsertNode(LzssEncoderState* e, int r)
{
    int cmp = 1;
    const uint8_t* key = &e->text[r];
    int p = N + 1 + key[0];
    e->rson[r] = e->lson[r] = NIL;
    e->matchLength = 0;
    for (;;) {
        if (cmp >= 0) {
            if (e->rson[p] == NIL) { e->rson[p] = r; e->dad[r] = p; return; }
            p = e->rson[p];
        } else {
            if (e->lson[p] == NIL) { e->lson[p] = r; e->dad[r] = p; return; }
            p = e->lson[p];
        }
        uint32_t i = 1;
        for (; i < F; i++)
            if ((cmp = int(key[i]) - int(e->text[p + i])) != 0) break;
        if (int(i) > e->matchLength) {
            e->matchPosition = p;
            e->matchLength = int(i);
            if (i >= F) break;
        }
    }
    // An equal string replaces the older node p, which leaves the tree.
    e->dad[r] = e->dad[p];
    e->lson[r] = e->lson[p];
    e->rson[r] = e->rson[p];
    e->dad[e->lson[p]] = r;
    e->dad[e->rson[p]] = r;
    if (e->rson[e->dad[p]] == p) e->rson[e->dad[p]] = r;
    else e->lson[e->dad[p]] = r;
    e->dad[p] = NIL;
}

void DeleteNode(LzssEncoderState* e, int p)
{
    if (e->dad[p] == NIL) return;
    int q;
    if (e->rson[p] == NIL) q = e->lson[p];
    else if (e->lson[p] == NIL) q = e->rson[p];
    else {
        q = e->lson[p];
        if (e->rson[q] != NIL) {
            do q = e->rson[q]; while (e->rson[q] != NIL);
            e->rson[e->dad[q]] = e->lson[q];
            e->dad[e->lson[q]] = e->dad[q];
            e->lson[q] = e->lson[p];
            e->dad[e->lson[p]] = q;
        }
        e->rson[q] = e->rson[p];
        e->dad[e->rson[p]] = q;
    }
    e->dad[q] = e->dad[p];
    if (e->rson[e->dad[p]] == p) e->rson[e->dad[p]] = q;
    else e->lson[e->dad[p]] = q;
    e->dad[p] = NIL;
}

void EmitGroup(LzssEncoderState* e)
{
    std::memcpy(e->pending, e->code, e->codeCount);
    e->pendingCount = e->codeCount;
    e->pendingIndex = 0;
    e->code[0] = 0;
    e->codeCount = 1;
    e->mask = 1;
}

void EncoderStart(LzssEncoderState* e)
{
    e->started = true;
    for (int i = N + 1; i <= int(N + 256); i++) e->rson[i] = NIL;
    for (int i = 0; i < int(N); i++) e->dad[i] = NIL;
    std::memset(e->text, 0, sizeof e->text);
    std::memset(e->text, ' ', e->r);
    e->code[0] = 0;
    uint8_t c;
    while (e->len < int(F) && EncoderGetByte(e, &c)) e->text[e->r + e->len++] = c;
    if (e->len == 0) { e->finished = true; return; }
    for (int i = 1; i <= int(F); i++) InsertNode(e, e->r - i);
    InsertNode(e, e->r);
}

// Codes one item and slides the window past it; hands out a group when it is full or the
// input is used up.
void EncoderStep(LzssEncoderState* e)
{
    if (e->matchLength > e->len) e->matchLength = e->len;
    if (e->matchLength <= int(THRESHOLD)) {
        e->matchLength = 1;
        e->code[0] |= e->mask;
        e->code[e->codeCount++] = e->text[e->r];
    } else {
        e->code[e->codeCount++] = uint8_t(e->matchPosition);
        e->code[e->codeCount++] = uint8_t(((e->matchPosition >> 4) & 0xF0) | (e->matchLength - (THRESHOLD + 1)));
    }
    e->mask = uint8_t(e->mask << 1);
    if (e->mask == 0) EmitGroup(e);
    int last = e->matchLength, i = 0;
    uint8_t c;
    for (; i < last && EncoderGetByte(e, &c); i++) {
        DeleteNode(e, e->s);
        e->text[e->s] = c;
        if (e->s < int(F) - 1) e->text[e->s + N] = c;
        e->s = (e->s + 1) & (N - 1);
        e->r = (e->r + 1) & (N - 1);
        InsertNode(e, e->r);
    }
    for (; i < last; i++) {
        DeleteNode(e, e->s);
        e->s = (e->s + 1) & (N - 1);
        e->r = (e->r + 1) & (N - 1);
        if (--e->len) InsertNode(e, e->r);
    }
    if (e->len > 0) return;
    e->finished = true;
    if (e->codeCount > 1) EmitGroup(e);
}

}  // namespace

LzssEncoder::LzssEncoder(ByteSource* source) : state(new LzssEncoderState)
{
    state->source = source;
}

LzssEncoder::~LzssEncoder() { delete state; }

uint32_t LzssEncoder::Read(void* buffer, uint32_t count)
{
    LzssEncoderState* e = state;
    uint8_t* out = static_cast<uint8_t*>(buffer);
    uint32_t done = 0;
    if (!e->started) EncoderStart(e);
    while (done < count) {
        if (e->pendingIndex < e->pendingCount) {
            uint32_t k = std::min(e->pendingCount - e->pendingIndex, count - done);
            std::memcpy(out + done, e->pending + e->pendingIndex, k);
            e->pendingIndex += k;
            done += k;
            continue;
        }
        if (e->finished) break;
        EncoderStep(e);
    }
    return done;
}

std::vector<uint8_t> LzssCompress(const void* data, uint64_t size)
{
    MemoryByteSource source(data, size);
    LzssEncoder encoder(&source);
    std::vector<uint8_t> out;
    uint8_t chunk[16384];
    uint32_t k;
    while ((k = encoder.Read(chunk, sizeof chunk)) != 0) out.insert(out.end(), chunk, chunk + k);
    return out;
}
