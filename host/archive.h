// The archive every load goes through, and the program's directory it may be found in.
// Main thread at start-up and shutdown; loads on whichever thread sets up the production.
#pragma once

#include <cstddef>

class FileSystem;

// Mounts the archive: embedded resource, else name in the current directory, else name beside
// the program. False only when nothing is embedded and name is null; a named archive found
// nowhere is fatal.
bool OpenArchive(const char* name);
// Destroys the archive file system, closes its stream, destroys the base file system.
void CloseFileSystems();
// The mounted archive file system every load goes through; null before OpenArchive.
FileSystem* HostFileSystem();
// Reads a file of the archive whole into a std::malloc block that the caller frees with
// std::free; a missing file is fatal. size receives the bytes read.
void* LoadWholeFile(const char* name, size_t* size = nullptr);

// Capacity of a program-path buffer.
constexpr size_t kProgramPathMax = 260;
// The program's directory without a trailing '/' (the root keeps its '/'); false and an empty
// buffer when the path cannot be had or does not fit.
bool ProgramDirectory(char* buffer, size_t capacity = kProgramPathMax);
// The same rule over a given program path of length characters.
bool ProgramDirectoryFromPath(const char* path, size_t length, char* buffer, size_t capacity);
