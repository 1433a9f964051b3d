// Output written whole or not at all: the bytes go to a new temporary file beside the target,
// which takes the target's place only when everything is written and closed; on any failure the
// temporary is removed and the target is left as it was. Nothing is written through a symbolic
// link: one standing at the target is replaced like a file. Used by every tool that writes files.
// An output belongs to the thread that began it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct OutputFile {
    OutputFile() = default;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    ~OutputFile(); // discards what was not committed

    int directory = -1; // holds target and temporary
    bool ownsDirectory = false;
    int file = -1;         // the temporary, while open
    uint64_t written = 0;  // bytes appended so far
    std::string name;      // the target's name in directory
    std::string temporary; // the temporary's name in directory; empty when there is none
    std::string shown;     // the target as messages name it
    std::string error;     // the first failure: what, which file, the system's reason
};

// Starts an output to path. False, with the reason in out->error, when path names something
// that is neither a regular file nor a link (a directory, a device), or the temporary cannot be
// made.
bool OutputFileBegin(OutputFile* out, const std::string& path);
// As OutputFileBegin, for the single component name in directory (kept open by the caller until
// the output ends); shown is the path messages use.
bool OutputFileBeginAt(OutputFile* out, int directory, const std::string& name, const std::string& shown);
// Appends size bytes; false once anything has failed.
bool OutputFileWrite(OutputFile* out, const void* data, size_t size);
// Overwrites size bytes at offset inside what was appended (a header known only at the end).
bool OutputFileWriteAt(OutputFile* out, uint64_t offset, const void* data, size_t size);
// Closes the temporary and renames it onto the target. False, the temporary removed, when this
// or anything before it failed.
bool OutputFileCommit(OutputFile* out);
// Removes the temporary; the target stays as it was.
void OutputFileDiscard(OutputFile* out);
// Writes size bytes to path as one output; the reason in *error on failure.
bool OutputFileSave(const std::string& path, const void* data, size_t size, std::string* error);
