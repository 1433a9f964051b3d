// Damage an archive reveals about itself: directory blocks outside the header, names outside the
// rules, members that their lookup cannot reach, data that runs past the archive's end or does
// not decode to its size. Runs on the calling thread; keeps no state between calls.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "files/archive_file_system.h"

constexpr int ARCHIVE_MAX_DEPTH = 64; // directory levels the tools follow

struct ArchiveCheckResult {
    std::vector<std::string> problems; // one line each: "PATH: what is wrong", names printable
    uint32_t members = 0;              // files met (directories not counted)
};

// What keeps component (one name, a directory's without its "/") out of an archive: empty, ".",
// a control character, the path rules, more than 63 bytes stored; none when it is acceptable.
const char* ArchiveNameProblem(std::string_view component, bool directory);
// Walks every directory block from the root and checks every entry: the block inside the header,
// the name, the lookup of its path finding this very entry, a directory's block not met before
// (a loop or a shared block is not descended), a stored member's data inside the archive, a
// compressed member's data beginning inside it. With readMembers, also reads every member whole
// through the archive file system, so a compressed one that decodes short is found.
void ArchiveCheck(ArchiveFileSystem* archive, bool readMembers, ArchiveCheckResult* result);
// Checks the file member name before its bytes are used: stored data inside the archive,
// compressed data decoding to the full size (decoded once, the bytes discarded). False, with
// "PATH: what is wrong" in *problem, when either fails or there is no such file.
bool ArchiveCheckMember(ArchiveFileSystem* archive, const std::string& name, std::string* problem);
