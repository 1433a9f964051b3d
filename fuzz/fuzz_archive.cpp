// Fuzzes the archive reader: the input is an archive image in memory; look names up, list every
// directory and read every member whole, several members at once in pieces; then check it all.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "files/archive_check.h"
#include "files/archive_file_system.h"
#include "files/memory_stream.h"

namespace {

constexpr int MAX_DEPTH = 8;        // damaged archives may hold directories that contain themselves
constexpr size_t MAX_MEMBERS = 64;

void ReadMembers(ArchiveFileSystem* fs, const std::vector<std::string>& names)
{
    std::vector<Stream*> open;
    for (const std::string& n : names)
        if (Stream* s = fs->Open(n, ReadOnly)) open.push_back(s);
    uint8_t buffer[1000];
    bool any = true;
    for (uint32_t piece = 1; any; piece = piece * 3 % 997 + 1) {
        any = false;
        for (Stream* s : open) {
            uint32_t k = s->Read(buffer, piece);
            if (k > piece) __builtin_trap();
            any = any || k > 0;
            s->Seek(s->Tell());
        }
    }
    for (Stream* s : open) s->Close();
}

void Walk(ArchiveFileSystem* fs, const std::string& pattern, int depth, std::vector<std::string>* files)
{
    FileEnumerator* e = fs->FindFirst(pattern);
    if (!e) return;
    std::vector<std::string> directories;
    do {
        std::string name = e->GetName();
        e->GetSize();
        if (e->IsDirectory()) directories.push_back(name);
        else if (files->size() < MAX_MEMBERS) files->push_back(name);
    } while (fs->FindNext(e));
    fs->FindClose(e);
    if (depth >= MAX_DEPTH) return;
    for (const std::string& d : directories)
        if (IsValidPath(d + "/*", true)) Walk(fs, d + "/*", depth + 1, files);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    MemoryStream stream(data, size);
    ArchiveFileSystem fs(&stream);
    for (const char* name : {"murova.xm", "images/logo.jpg", "a", "A/B/c.txt", "/x", "zzzz"}) {
        fs.GetSize(name);
        fs.Exists(name);
        fs.GetCompression(name);
    }
    std::vector<std::string> files;
    Walk(&fs, "*", 0, &files);
    Walk(&fs, "*.", 0, &files);
    ReadMembers(&fs, files);
    ArchiveCheckResult result;
    ArchiveCheck(&fs, true, &result);
    std::string problem;
    for (const std::string& f : files) ArchiveCheckMember(&fs, f, &problem);
    return 0;
}
