// The archive reader and its cipher. The file system, its members and enumerators belong to one
// thread at a time (the host's main thread at start-up, then the frame thread).
#include "files/archive_file_system.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "files/lzss.h"

namespace {

// The program's key table: archives written with another table cannot be read.
constexpr uint8_t KEY_TABLE[256] = {
    0xCF, 0x33, 0x7B, 0xDA, 0xD6, 0x90, 0x27, 0x89, 0xDB, 0x3A, 0x08, 0x9D, 0xA7, 0xAE, 0x9F, 0x03,
    0x43, 0xF1, 0xF8, 0x6E, 0x93, 0x25, 0xEC, 0x5D, 0xF2, 0xE5, 0x6C, 0x52, 0x78, 0xFA, 0x9B, 0x09,
    0x44, 0x18, 0x5C, 0x72, 0xE0, 0xB4, 0x06, 0x7E, 0x80, 0xC4, 0x0D, 0xFC, 0xDE, 0x0B, 0x2B, 0x22,
    0x24, 0xF9, 0x35, 0xCA, 0x5F, 0x8E, 0xB9, 0xAD, 0x29, 0xB6, 0x5A, 0xF4, 0x67, 0xB5, 0x55, 0x56,
    0x61, 0xCB, 0xC2, 0x4F, 0x01, 0x84, 0x53, 0x57, 0x8D, 0x69, 0x5B, 0x88, 0x2F, 0x8A, 0x6B, 0xAA,
    0x36, 0xA0, 0x7D, 0xB7, 0x66, 0xAB, 0x62, 0x6A, 0x7F, 0xD3, 0x20, 0x7C, 0x1A, 0x40, 0xD7, 0xE3,
    0xA3, 0xA9, 0x2E, 0x10, 0x86, 0xE6, 0x0A, 0xCD, 0x73, 0xAF, 0x95, 0x17, 0xC0, 0x58, 0x28, 0x92,
    0x1F, 0x37, 0x05, 0xFB, 0x0E, 0xFD, 0xA4, 0x9E, 0xA5, 0x98, 0xBA, 0x39, 0x3E, 0xD2, 0x49, 0xDF,
    0xEF, 0x23, 0xE7, 0xFE, 0x31, 0xA6, 0x07, 0xEA, 0x77, 0xED, 0x11, 0x13, 0xD1, 0x2C, 0x4C, 0x15,
    0xD0, 0x81, 0xD8, 0x91, 0xC5, 0x75, 0xA1, 0x82, 0x1E, 0x7A, 0xD5, 0x16, 0x50, 0xD4, 0x76, 0xAC,
    0x68, 0x3D, 0x64, 0xDD, 0x4E, 0xA8, 0x0C, 0x8C, 0xF3, 0x3C, 0xC7, 0x38, 0xF0, 0xBB, 0x21, 0xB3,
    0x04, 0xC9, 0x60, 0x9A, 0x51, 0x59, 0xB8, 0x34, 0x8F, 0xBF, 0x79, 0x4A, 0x1B, 0x3B, 0x8B, 0x19,
    0x26, 0x85, 0x46, 0xF6, 0xEB, 0x47, 0xF7, 0x32, 0x6D, 0xCC, 0x1D, 0x12, 0x83, 0x14, 0x45, 0xD9,
    0x70, 0x9C, 0xB2, 0xB1, 0x87, 0xBD, 0x48, 0x63, 0xC1, 0xE4, 0xC6, 0xE2, 0xE1, 0xE9, 0x02, 0xEE,
    0xDC, 0xC8, 0xBC, 0x94, 0x4D, 0x42, 0x6F, 0x71, 0xCE, 0x5E, 0xF5, 0x74, 0x96, 0x41, 0xE8, 0x00,
    0x54, 0x4B, 0x30, 0xB0, 0x2A, 0x65, 0x2D, 0x0F, 0xBE, 0xFF, 0x97, 0x99, 0x1C, 0x3F, 0xA2, 0xC3,
};

constexpr uint32_t NAME_FIELD = 64;

uint32_t Read32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

uint8_t FoldCase(uint8_t c) { return c >= 'A' && c <= 'Z' ? uint8_t(c + 32) : c; }

// One directory block, known to lie inside the header.
struct Block {
    const uint8_t* entries = nullptr;
    uint32_t count = 0;
};

struct Entry {
    const char* name;
    uint32_t nameLength;
    uint32_t size;
    uint32_t compression;
    uint32_t offset;
    const uint8_t* at;
    bool IsDirectory() const { return nameLength > 0 && name[0] == '/'; }
};

bool BlockAt(const std::vector<uint8_t>& header, uint64_t offset, Block* block)
{
    if (offset + 4 > header.size()) return false;
    uint64_t count = Read32(header.data() + offset);
    if (offset + 4 + count * ARCHIVE_ENTRY_SIZE > header.size()) return false;
    block->entries = header.data() + offset + 4;
    block->count = uint32_t(count);
    return true;
}

Entry EntryAt(const Block& block, uint32_t index)
{
    const uint8_t* p = block.entries + uint64_t(index) * ARCHIVE_ENTRY_SIZE;
    const char* name = reinterpret_cast<const char*>(p);
    const void* nul = std::memchr(name, 0, NAME_FIELD);
    uint32_t length = nul ? uint32_t(static_cast<const char*>(nul) - name) : NAME_FIELD;
    return Entry{name, length, Read32(p + 64), Read32(p + 68), Read32(p + 76), p};
}

// Halving search over one block: directories sort before files, so a key only compares by
// name against entries of its own kind.
bool SearchBlock(const Block& block, std::string_view key, Entry* found)
{
    if (block.count == 0) return false;
    bool directoryKey = !key.empty() && key[0] == '/';
    uint32_t lo = 0, hi = block.count;
    while (hi != lo + 1) {
        uint32_t mid = lo + (hi - lo) / 2;
        Entry e = EntryAt(block, mid);
        if (directoryKey && !e.IsDirectory()) hi = mid;
        else if (!directoryKey && e.IsDirectory()) lo = mid;
        else if (ArchiveCompareNames(key.data(), uint32_t(key.size()), e.name, e.nameLength) < 0) hi = mid;
        else lo = mid;
    }
    Entry e = EntryAt(block, lo);
    if (ArchiveCompareNames(key.data(), uint32_t(key.size()), e.name, e.nameLength) != 0) return false;
    *found = e;
    return true;
}

// Walks the directory part of path (everything before the last "/") from the root; the rest
// is left in *last.
bool WalkDirectories(const std::vector<uint8_t>& header, std::string_view path, Block* block,
                     std::string_view* last)
{
    if (!BlockAt(header, ARCHIVE_ROOT_BLOCK, block)) return false;
    size_t slash;
    while ((slash = path.find('/')) != std::string_view::npos) {
        std::string key(1, '/');
        key.append(path.substr(0, slash));
        Entry e;
        if (!SearchBlock(*block, key, &e)) return false;
        if (!BlockAt(header, e.offset, block)) return false;
        path = path.substr(slash + 1);
    }
    *last = path;
    return true;
}

// Drops one leading "/" of a name that passed IsValidPath.
std::string_view StripRoot(const std::string& name)
{
    std::string_view view(name);
    if (!view.empty() && view[0] == '/') view.remove_prefix(1);
    return view;
}

bool FindEntry(const std::vector<uint8_t>& header, std::string_view path, Entry* entry)
{
    Block block;
    std::string_view last;
    if (!WalkDirectories(header, path, &block, &last)) return false;
    return SearchBlock(block, last, entry);
}

uint32_t ReadFully(Stream* stream, uint8_t* buffer, uint32_t count)
{
    uint32_t done = 0;
    while (done < count) {
        uint32_t k = stream->Read(buffer + done, count - done);
        if (k == 0) break;
        done += k;
    }
    return done;
}

// Pulls a compressed member's bytes from the shared source, deciphering them if needed.
class ArchiveRawSource final : public ByteSource {
public:
    ArchiveRawSource(Stream* source, ArchiveCipher* cipher) : source(source), cipher(cipher) {}
    uint32_t Read(void* buffer, uint32_t count) override
    {
        uint32_t k = source->Read(buffer, count);
        if (cipher) DecipherBytes(buffer, buffer, k, cipher);
        delivered += k;
        return k;
    }

    Stream* source;       // not owned
    uint64_t delivered = 0;
    ArchiveCipher* cipher; // the member's state, or none
};

class ArchiveMemberStream final : public Stream {
public:
    ArchiveMemberStream(const std::string& name, FileSystem* owner, Stream* source, const Entry& e, bool enciphered)
        : Stream(name, ReadOnly, owner), offset(e.offset), size(e.size), compression(e.compression),
          source(source), enciphered(enciphered)
    {
        if (enciphered) InitCipher(&cipher);
        if (compression == 0) return;
        raw = std::make_unique<ArchiveRawSource>(source, enciphered ? &cipher : nullptr);
        method = std::make_unique<LzssMethod>();
        decoder.reset(method->CreateDecoder(raw.get()));
    }
    ~ArchiveMemberStream() override
    {
        decoder.reset();
        method.reset();
        raw.reset();
    }

    uint32_t Read(void* buffer, uint32_t count) override
    {
        count = uint32_t(std::min<uint64_t>(count, size - position));
        if (count == 0) return 0;
        uint32_t result = 0;
        if (compression != 0) {
            if (source->Seek(offset + raw->delivered)) result = decoder->Read(buffer, count);
        } else {
            if (source->Seek(offset + position)) result = source->Read(buffer, count);
            if (enciphered) DecipherBytes(buffer, buffer, result, &cipher);
        }
        position += result;
        return result;
    }
    uint32_t Write(const void*, uint32_t) override { return 0; }
    uint64_t Tell() override { return position; }
    bool Seek(uint64_t to) override
    {
        bool free = compression == 0 && !enciphered;
        if ((!free && to != position) || to > size) return false;
        position = to;
        return true;
    }
    uint64_t GetSize() override { return size; }
    bool SetSize(uint64_t) override { return false; }

private:
    uint64_t offset, size, compression;
    Stream* source;  // shared by every member; positioned before each read
    uint64_t position = 0;
    bool enciphered;
    ArchiveCipher cipher;
    std::unique_ptr<ArchiveRawSource> raw;
    std::unique_ptr<LzssMethod> method;
    std::unique_ptr<ByteSource> decoder;
};

class ArchiveEnumerator final : public FileEnumerator {
public:
    std::string GetName() override
    {
        if (index >= block.count) return std::string();
        Entry e = EntryAt(block, index);
        std::string_view name(e.name, e.nameLength);
        if (e.IsDirectory()) name.remove_prefix(1);
        return prefix + std::string(name);
    }
    uint64_t GetSize() override { return index < block.count ? EntryAt(block, index).size : 0; }
    bool IsDirectory() override { return index < block.count && EntryAt(block, index).IsDirectory(); }

    // Moves to the first entry from index on that matches; false at the end of the block.
    bool Settle()
    {
        for (; index < block.count; index++) {
            Entry e = EntryAt(block, index);
            if (MatchPattern(std::string_view(e.name, e.nameLength), pattern)) return true;
        }
        return false;
    }

    Block block;
    uint32_t index = 0;
    std::string prefix;   // ParentPath of the listing's pattern
    std::string pattern;  // the pattern's last component
};

}  // namespace

void InitCipher(ArchiveCipher* state)
{
    std::memcpy(state->table, KEY_TABLE, sizeof KEY_TABLE);
    state->i = 0;
    state->j = 0;
}

void DecipherBytes(void* destination, const void* source, uint32_t count, ArchiveCipher* state)
{
    uint8_t* out = static_cast<uint8_t*>(destination);
    const uint8_t* in = static_cast<const uint8_t*>(source);
    uint8_t* t = state->table;
    uint8_t i = state->i, j = state->j;
    for (uint32_t k = 0; k < count; k++) {
        uint8_t c = in[k];
        uint8_t p = t[i] ^ t[j] ^ c;
        t[uint8_t(i + j)] = c;
        j = uint8_t(j + 1);
        i = c;
        out[k] = p;
    }
    state->i = i;
    state->j = j;
}

void EncipherBytes(void* destination, const void* source, uint32_t count, ArchiveCipher* state)
{
    uint8_t* out = static_cast<uint8_t*>(destination);
    const uint8_t* in = static_cast<const uint8_t*>(source);
    uint8_t* t = state->table;
    uint8_t i = state->i, j = state->j;
    for (uint32_t k = 0; k < count; k++) {
        uint8_t c = t[i] ^ t[j] ^ in[k];
        t[uint8_t(i + j)] = c;
        j = uint8_t(j + 1);
        i = c;
        out[k] = c;
    }
    state->i = i;
    state->j = j;
}

int ArchiveCompareNames(const char* a, uint32_t aLength, const char* b, uint32_t bLength)
{
    uint32_t n = std::min(aLength, bLength);
    for (uint32_t k = 0; k < n; k++) {
        uint8_t ca = FoldCase(uint8_t(a[k])), cb = FoldCase(uint8_t(b[k]));
        if (ca != cb) return ca < cb ? -1 : 1;
    }
    return aLength < bLength ? -1 : aLength > bLength ? 1 : 0;
}

ArchiveFileSystem::ArchiveFileSystem(Stream* source) : source(source)
{
    usable = ReadHeader();
    if (!usable) header.clear();
}

bool ArchiveFileSystem::ReadHeader()
{
    uint64_t start = source->Tell();
    header.resize(ARCHIVE_MIN_HEADER);
    if (ReadFully(source, header.data(), ARCHIVE_MIN_HEADER) != ARCHIVE_MIN_HEADER) return false;
    ArchiveCipher state;
    if (std::memcmp(header.data(), ARCHIVE_MAGIC, sizeof ARCHIVE_MAGIC) != 0) {
        InitCipher(&state);
        DecipherBytes(header.data(), header.data(), ARCHIVE_MIN_HEADER, &state);
        enciphered = true;
        if (std::memcmp(header.data(), ARCHIVE_MAGIC, sizeof ARCHIVE_MAGIC) != 0) return false;
    }
    uint32_t headerSize = Read32(header.data() + 12);
    if (headerSize <= ARCHIVE_MIN_HEADER) return true;
    // A header larger than what the stream holds cannot be read: refuse before allocating.
    uint64_t total = source->GetSize();
    if (total < start || headerSize > total - start) return false;
    uint32_t rest = headerSize - ARCHIVE_MIN_HEADER;
    header.resize(headerSize);
    if (ReadFully(source, header.data() + ARCHIVE_MIN_HEADER, rest) != rest) return false;
    if (enciphered) DecipherBytes(header.data() + ARCHIVE_MIN_HEADER, header.data() + ARCHIVE_MIN_HEADER, rest, &state);
    return true;
}

Stream* ArchiveFileSystem::Open(const std::string& name, OpenMode mode)
{
    if (!usable || mode != ReadOnly || !IsValidPath(name, false)) return nullptr;
    Entry e;
    if (!FindEntry(header, StripRoot(name), &e)) return nullptr;
    return new ArchiveMemberStream(name, this, source, e, enciphered);
}

void* ArchiveFileSystem::ReservedOperation(const std::string& name, uint32_t)
{
    IsValidPath(name, false);
    return nullptr;
}

int64_t ArchiveFileSystem::GetSize(const std::string& name)
{
    if (!usable || !IsValidPath(name, false)) return -1;
    Entry e;
    if (!FindEntry(header, StripRoot(name), &e)) return -1;
    return e.size;
}

int64_t ArchiveFileSystem::GetCompression(const std::string& name)
{
    if (!usable || !IsValidPath(name, false)) return -1;
    Entry e;
    if (!FindEntry(header, StripRoot(name), &e)) return -1;
    return e.compression;
}

bool ArchiveFileSystem::Exists(const std::string& name)
{
    if (!usable || !IsValidPath(name, false)) return false;
    Entry e;
    return FindEntry(header, StripRoot(name), &e);
}

bool ArchiveFileSystem::Remove(const std::string&) { return false; }

FileEnumerator* ArchiveFileSystem::FindFirst(const std::string& pattern)
{
    if (!usable || !IsValidPath(pattern, true)) return nullptr;
    std::string_view path = StripRoot(pattern);
    auto enumerator = std::make_unique<ArchiveEnumerator>();
    std::string_view last;
    if (!WalkDirectories(header, path, &enumerator->block, &last)) return nullptr;
    enumerator->prefix = ParentPath(pattern);
    enumerator->pattern = std::string(last);
    if (!enumerator->Settle()) return nullptr;
    return enumerator.release();
}

bool ArchiveFileSystem::FindNext(FileEnumerator* enumerator)
{
    auto* e = static_cast<ArchiveEnumerator*>(enumerator);
    if (e->index >= e->block.count) return false;
    e->index++;
    return e->Settle();
}

void ArchiveFileSystem::FindClose(FileEnumerator* enumerator) { delete enumerator; }

bool ArchiveFileSystem::ReadBlock(uint64_t offset, std::vector<ArchiveEntry>* entries, uint32_t* count) const
{
    entries->clear();
    *count = offset + 4 <= header.size() ? Read32(header.data() + offset) : 0;
    Block block;
    if (!BlockAt(header, offset, &block)) return false;
    for (uint32_t k = 0; k < block.count; k++) {
        Entry e = EntryAt(block, k);
        entries->push_back({std::string(e.name, e.nameLength), e.size, e.compression, e.offset,
                            uint32_t(e.at - header.data())});
    }
    return true;
}

bool ArchiveFileSystem::Lookup(const std::string& path, bool directory, ArchiveEntry* entry) const
{
    Block block;
    std::string_view last;
    if (!usable || !WalkDirectories(header, path, &block, &last)) return false;
    std::string key(directory ? 1 : 0, '/');
    key.append(last);
    Entry e;
    if (!SearchBlock(block, key, &e)) return false;
    *entry = {std::string(e.name, e.nameLength), e.size, e.compression, e.offset, uint32_t(e.at - header.data())};
    return true;
}
