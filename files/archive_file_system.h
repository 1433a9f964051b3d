// The archive: a read-only tree of files with a sorted directory at its head, optionally
// enciphered with a byte-wise stream cipher, each member stored or LZSS-compressed.
//
// Layout (unsigned 32-bit little-endian integers, offsets from the archive's first byte):
//   0  "Zenkor3.0" and a NUL      12  header size (header and every directory block; >= 2048)
//   16 root directory block: entry count, then 80-byte entries: name[64] (NUL-terminated;
//      directories begin with "/"), size, compression (0 = stored), unused, offset (file data,
//      or the directory's block inside the header). Directories first, then files, each group
//      ascending by case-insensitive byte comparison.
// Enciphered: the header is one cipher stream, each member's data one of its own.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "files/file_system.h"

constexpr char ARCHIVE_MAGIC[10] = {'Z', 'e', 'n', 'k', 'o', 'r', '3', '.', '0', '\0'};
constexpr uint32_t ARCHIVE_MIN_HEADER = 2048;   // always read, so an archive is never shorter
constexpr uint32_t ARCHIVE_ENTRY_SIZE = 80;
constexpr uint32_t ARCHIVE_NAME_MAX = 63;       // bytes, directories' "/" included
constexpr uint32_t ARCHIVE_ROOT_BLOCK = 16;     // where the root directory block begins
constexpr uint32_t ARCHIVE_COMPRESSED_LZSS = 2; // what the writer puts in a compressed entry

// One directory entry as stored, for checking an archive.
struct ArchiveEntry {
    std::string name;  // up to the NUL, or all 64 bytes when there is none; a directory's "/" kept
    uint32_t size;
    uint32_t compression;
    uint32_t offset;
    uint32_t at;       // where the entry lies in the header
};

struct ArchiveCipher {
    uint8_t table[256];
    uint8_t i;
    uint8_t j;
};

// Starts a cipher stream from the program's key table.
void InitCipher(ArchiveCipher* state);
// Deciphers count bytes from source into destination (may be the same buffer).
void DecipherBytes(void* destination, const void* source, uint32_t count, ArchiveCipher* state);
// Enciphers count bytes so that DecipherBytes from the same starting state gives them back.
void EncipherBytes(void* destination, const void* source, uint32_t count, ArchiveCipher* state);
// Case-insensitive order of archive names (ASCII letters folded, then unsigned bytes; a prefix
// first): negative, zero or positive.
int ArchiveCompareNames(const char* a, uint32_t aLength, const char* b, uint32_t bLength);

// Reads an archive through a stream it does not own, which must stay open until this file
// system is destroyed; members must be closed before. Names are matched ignoring case,
// listings with MatchPattern (case-sensitive). Only ReadOnly opens succeed.
class ArchiveFileSystem final : public FileSystem {
public:
    // Reads the header from the source's current position; an unusable archive finds nothing.
    explicit ArchiveFileSystem(Stream* source);

    Stream* Open(const std::string& name, OpenMode mode) override;
    void* ReservedOperation(const std::string& name, uint32_t value) override;
    int64_t GetSize(const std::string& name) override;
    bool Exists(const std::string& name) override;
    bool Remove(const std::string& name) override;
    FileEnumerator* FindFirst(const std::string& pattern) override;
    bool FindNext(FileEnumerator* enumerator) override;
    void FindClose(FileEnumerator* enumerator) override;

    // The compression field of a file's entry (0 = stored); -1 when not found.
    int64_t GetCompression(const std::string& name);
    // True when the header was read and carries the magic (plain or deciphered).
    bool IsUsable() const { return usable; }
    // True when the header was enciphered.
    bool IsEnciphered() const { return enciphered; }
    // Bytes of header held (the header size, at least 2048); 0 when unusable.
    uint32_t GetHeaderSize() const { return uint32_t(header.size()); }
    // Bytes of the source stream, the archive's end for member data.
    uint64_t GetSourceSize() { return source->GetSize(); }
    // The entries of the directory block at offset in the header. False when the block or its
    // entries would run past the header's end; *count is then the count it claims (0 when even
    // that lies outside).
    bool ReadBlock(uint64_t offset, std::vector<ArchiveEntry>* entries, uint32_t* count) const;
    // The entry a lookup of path finds, as a directory when directory is set (a path without
    // its leading "/"); false when none.
    bool Lookup(const std::string& path, bool directory, ArchiveEntry* entry) const;

private:
    bool ReadHeader();

    Stream* source;               // not owned
    std::vector<uint8_t> header;  // the whole header, deciphered
    bool usable = false;
    bool enciphered = false;
};
