// Writes archives that ArchiveFileSystem reads. The same items and options always give the
// same bytes. Used by the archive tool and the production's data generator.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct ArchiveItem {
    std::string path;           // "/"-separated, no leading "/"; parents are implied
    bool isDirectory = false;   // an (possibly empty) directory; data is ignored
    std::vector<uint8_t> data;
};

struct ArchiveOptions {
    bool compress = false;  // store a member LZSS-compressed when that makes it smaller
    bool encipher = false;  // encipher the header and every member
};

// Builds an archive from items in any order. False, with a one-line reason in *error, when a
// name is refused (ArchiveNameProblem: the path rules, a control character, more than 63 bytes
// stored), two items collide (names that differ only in case, a file where a directory is
// needed), or the archive would pass 4 GiB.
bool ArchiveBuild(const std::vector<ArchiveItem>& items, const ArchiveOptions& options,
                  std::vector<uint8_t>* archive, std::string* error);
// Reads every file and directory under directory on disk into items, paths relative to it.
// False, with a reason in *error, when the directory or a file cannot be read, an entry is
// neither file nor directory, or a name is refused by the path rules.
bool ArchiveCollectTree(const std::string& directory, std::vector<ArchiveItem>* items, std::string* error);
// Packs the tree under directory into the file archivePath, an output written whole or not at
// all (OutputFileSave): on failure the file there is as it was.
bool ArchiveWriteTree(const std::string& directory, const std::string& archivePath,
                      const ArchiveOptions& options, std::string* error);
