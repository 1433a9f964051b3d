// Files and directories on the local disk by handle, for writers that must not be led
// elsewhere: a name is one path component inside an opened directory, and a symbolic link that
// stands there is never followed. Each call returns 0 or the system's error number (for
// strerror). Any thread; a handle belongs to whoever opened it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

enum FileKind : int { FileMissing, FileRegular, FileDirectory, FileLink, FileOther };

constexpr int FILE_NO_HANDLE = -1;

// Opens the directory at path; links along the path are followed (the caller chose it).
int FileOpenDirectory(const char* path, int* handle);
// Opens the subdirectory name of directory, making it first when create is set and it is
// missing; ELOOP or ENOTDIR, nothing opened or made, when name is a link or not a directory.
int FileOpenSubdirectory(int directory, const char* name, bool create, int* handle);
// What name in directory is, the link itself rather than its target; FileMissing when absent.
int FileKindAt(int directory, const char* name, FileKind* kind);
// Creates the new file name in directory for writing; EEXIST when anything has that name.
int FileCreateAt(int directory, const char* name, int* handle);
// Writes all size bytes at the file's position.
int FileWrite(int handle, const void* data, size_t size);
// Writes all size bytes at offset; the file's position stays where it was.
int FileWriteAt(int handle, uint64_t offset, const void* data, size_t size);
// Closes a handle; a write the system could not complete may show only here.
int FileClose(int handle);
// Renames from to to inside directory, replacing what to names (a link itself, not its target).
int FileRenameAt(int directory, const char* from, const char* to);
// Removes the file or link name from directory.
int FileRemoveAt(int directory, const char* name);
// True when stream is a terminal.
bool FileIsTerminal(std::FILE* stream);
