// The archive checker: walks the header's directory blocks and reads members through the
// archive file system. Calling thread; no state between calls.
#include "files/archive_check.h"

#include <map>
#include <memory>

#include "files/file_system.h"

namespace {

struct Walk {
    ArchiveFileSystem* archive;
    bool readMembers;
    uint64_t archiveSize;
    std::map<uint64_t, std::string> blocks; // directory blocks met: offset, shown path
    ArchiveCheckResult* result;
};

std::string Shown(const std::string& path, bool directory)
{
    if (path.empty())
        return "/";
    return PrintableName(path) + (directory ? "/" : "");
}

void Report(Walk* walk, const std::string& shown, const std::string& what)
{
    walk->result->problems.push_back(shown + ": " + what);
}

// Bytes a member yields when read whole through the archive file system.
uint64_t ReadWhole(ArchiveFileSystem* archive, const std::string& path)
{
    Stream* in = archive->Open(path, ReadOnly);
    if (!in)
        return 0;
    std::vector<uint8_t> buffer(1 << 16);
    uint64_t total = 0;
    uint32_t k;
    while ((k = in->Read(buffer.data(), uint32_t(buffer.size()))) != 0)
        total += k;
    in->Close();
    return total;
}

// What is wrong with the data of the file entry e at path; empty when nothing is found.
std::string DataProblem(ArchiveFileSystem* archive, const std::string& path, const ArchiveEntry& e,
                        uint64_t archiveSize, bool read)
{
    std::string sizes = " (the archive holds " + std::to_string(archiveSize) + " bytes)";
    if (e.compression == 0 && uint64_t(e.offset) + e.size > archiveSize)
        return "its " + std::to_string(e.size) + " bytes from byte " + std::to_string(e.offset) +
               " run past the end of the archive" + sizes;
    if (e.compression != 0 && e.size > 0 && e.offset >= archiveSize)
        return "its compressed data begins at byte " + std::to_string(e.offset) +
               ", past the end of the archive" + sizes;
    if (!read)
        return std::string();
    uint64_t got = ReadWhole(archive, path);
    if (got == e.size)
        return std::string();
    if (e.compression == 0)
        return "only " + std::to_string(got) + " of its " + std::to_string(e.size) + " bytes could be read";
    return "its compressed data decodes to " + std::to_string(got) + " bytes, not its size " +
           std::to_string(e.size);
}

void WalkBlock(Walk* walk, uint64_t offset, const std::string& prefix, int depth)
{
    std::string shownDirectory = Shown(prefix.empty() ? prefix : prefix.substr(0, prefix.size() - 1), true);
    std::vector<ArchiveEntry> entries;
    uint32_t count;
    uint32_t headerSize = walk->archive->GetHeaderSize();
    if (!walk->archive->ReadBlock(offset, &entries, &count)) {
        std::string header = " of the " + std::to_string(headerSize) + "-byte header";
        if (offset + 4 > headerSize)
            Report(walk, shownDirectory,
                   "its directory block at byte " + std::to_string(offset) + " lies outside" + header);
        else
            Report(walk, shownDirectory,
                   "its directory block at byte " + std::to_string(offset) + " claims " +
                       std::to_string(count) + " entries, which run past the end" + header);
        return;
    }
    for (const ArchiveEntry& e : entries) {
        bool directory = !e.name.empty() && e.name[0] == '/';
        std::string component = directory ? e.name.substr(1) : e.name;
        std::string path = prefix + component;
        std::string shown = Shown(path, directory);
        if (const char* problem = ArchiveNameProblem(component, directory)) {
            Report(walk, shown, std::string("name refused: ") + problem);
            continue;
        }
        ArchiveEntry found;
        if (!walk->archive->Lookup(path, directory, &found) || found.at != e.at) {
            Report(walk, shown,
                   "a lookup of its name does not find it (entries out of order, or the name twice)");
            continue;
        }
        if (!directory) {
            walk->result->members++;
            std::string problem = DataProblem(walk->archive, path, e, walk->archiveSize, walk->readMembers);
            if (!problem.empty())
                Report(walk, shown, problem);
            continue;
        }
        auto met = walk->blocks.find(e.offset);
        if (met != walk->blocks.end()) {
            Report(walk, shown,
                   "its directory block at byte " + std::to_string(e.offset) + " is also that of '" +
                       met->second + "'");
            continue;
        }
        if (depth + 1 > ARCHIVE_MAX_DEPTH) {
            Report(walk, shown,
                   "directories nested deeper than " + std::to_string(ARCHIVE_MAX_DEPTH) + " levels");
            continue;
        }
        walk->blocks.emplace(e.offset, shown);
        WalkBlock(walk, e.offset, path + "/", depth + 1);
    }
}

} // namespace

const char* ArchiveNameProblem(std::string_view component, bool directory)
{
    if (component.empty())
        return "empty";
    if (component == ".")
        return "\".\"";
    if (HasControlCharacters(component))
        return "a control character";
    if (component.find('/') != std::string_view::npos || !IsValidPath(component, false))
        return "outside the path rules";
    if (component.size() + (directory ? 1 : 0) > ARCHIVE_NAME_MAX)
        return "longer than 63 bytes";
    return nullptr;
}

void ArchiveCheck(ArchiveFileSystem* archive, bool readMembers, ArchiveCheckResult* result)
{
    *result = ArchiveCheckResult();
    Walk walk{archive, readMembers, archive->GetSourceSize(), {}, result};
    walk.blocks.emplace(ARCHIVE_ROOT_BLOCK, "/");
    WalkBlock(&walk, ARCHIVE_ROOT_BLOCK, std::string(), 0);
}

bool ArchiveCheckMember(ArchiveFileSystem* archive, const std::string& name, std::string* problem)
{
    std::string path = !name.empty() && name[0] == '/' ? name.substr(1) : name;
    std::string shown = Shown(path, false);
    ArchiveEntry e;
    if (!IsValidPath(name, false) || !archive->Lookup(path, false, &e)) {
        *problem = shown + ": no such member";
        return false;
    }
    std::string what = DataProblem(archive, path, e, archive->GetSourceSize(), e.compression != 0);
    if (what.empty())
        return true;
    *problem = shown + ": " + what;
    return false;
}
