// The virtual file system: file systems that name, open, measure, remove and list files,
// streams that read and write open files, enumerators that walk a listing; and the path and
// pattern rules shared by the disk and archive file systems.
//
// No operation throws; failure is reported by the result. None of these objects takes a lock:
// one file system, stream or enumerator must not be used from two threads at once.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

enum OpenMode : int32_t {
    ReadOnly = 1,   // open an existing file for reading
    WriteOnly = 2,  // open or create a file for writing, keeping its contents
    ReadWrite = 3,  // open or create a file for reading and writing, keeping its contents
};

class Stream;
class FileEnumerator;

// Virtual operations stay in this order.
class FileSystem {
public:
    FileSystem() = default;
    FileSystem(const FileSystem&) = delete;
    FileSystem& operator=(const FileSystem&) = delete;

    // Opens a file; none when it cannot be found or opened. The caller owns the stream.
    virtual Stream* Open(const std::string& name, OpenMode mode) = 0;
    // Implemented by no file system: always none.
    virtual void* ReservedOperation(const std::string& name, uint32_t value) = 0;
    // Size in bytes; when not found 0 on disk, -1 for resources and archives.
    virtual int64_t GetSize(const std::string& name) = 0;
    // True when the name denotes a file, not a directory.
    virtual bool Exists(const std::string& name) = 0;
    // Deletes a file (disk only; the others return false).
    virtual bool Remove(const std::string& name) = 0;
    // Starts a listing standing on the first match; none when nothing matches.
    virtual FileEnumerator* FindFirst(const std::string& pattern) = 0;
    // Moves to the next match; false when there is none.
    virtual bool FindNext(FileEnumerator* enumerator) = 0;
    // Ends a listing and destroys the enumerator.
    virtual void FindClose(FileEnumerator* enumerator) = 0;
    virtual ~FileSystem() = default;
};

// Virtual operations stay in this order.
class Stream {
public:
    Stream(const std::string& name, OpenMode mode, FileSystem* fileSystem)
        : name(name), mode(mode), fileSystem(fileSystem) {}
    Stream(const Stream&) = delete;
    Stream& operator=(const Stream&) = delete;

    // Reads up to count bytes from the position and advances; 0 at the end or on failure.
    virtual uint32_t Read(void* buffer, uint32_t count) = 0;
    // Writes count bytes at the position; 0 when the stream cannot be written.
    virtual uint32_t Write(const void* buffer, uint32_t count) = 0;
    // Current position in bytes.
    virtual uint64_t Tell() = 0;
    // Sets the position from the start; false (unchanged) when refused or beyond the end.
    virtual bool Seek(uint64_t position) = 0;
    // Size in bytes.
    virtual uint64_t GetSize() = 0;
    // Cuts the file at size (disk only, never beyond the end); false otherwise.
    virtual bool SetSize(uint64_t size) = 0;
    // Destroys the stream.
    virtual void Close() { delete this; }
    virtual ~Stream() = default;

    std::string name;        // as passed to Open
    OpenMode mode;
    FileSystem* fileSystem;  // the file system that opened it; not owned
};

// Virtual operations stay in this order.
class FileEnumerator {
public:
    FileEnumerator() = default;
    FileEnumerator(const FileEnumerator&) = delete;
    FileEnumerator& operator=(const FileEnumerator&) = delete;

    // The current entry's name, prefixed with the directory part of the listing's pattern.
    virtual std::string GetName() = 0;
    // The current entry's size in bytes.
    virtual uint64_t GetSize() = 0;
    // True when the current entry is a directory.
    virtual bool IsDirectory() = 0;
    virtual ~FileEnumerator() = default;
};

// True when name is acceptable: "/"-separated, no "\\", "//", "..", "./", no trailing "/";
// wildcards "*" and "?" only in the last component, and only when allowed.
bool IsValidPath(std::string_view name, bool wildcardsAllowed);
// True when name holds a control character: a byte below 0x20, 0x7F, or U+0080 to U+009F as
// UTF-8 (C2 80 to C2 9F).
bool HasControlCharacters(std::string_view name);
// name with the bytes of every control character written as \xNN, fit for a message or a line.
std::string PrintableName(std::string_view name);
// Everything up to and including the last "/"; empty when there is none.
std::string ParentPath(std::string_view name);
// Listing match: "" matches nothing, "*.*" and "." match all, a pattern ending in "." matches
// only names without a dot; otherwise WildcardMatch. Case-sensitive.
bool MatchPattern(std::string_view name, std::string_view pattern);
// "?" matches one character, "*" a run of characters; a "*" reached at the end of the name
// fails, so "abc*" does not match "abc". Case-sensitive.
bool WildcardMatch(std::string_view name, std::string_view pattern);
