// zenkor-pak: creates, lists, extracts and prints members of the demo system's archives.
// Reading always goes through ArchiveFileSystem over the archive file on disk.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "files/archive_file_system.h"
#include "files/archive_writer.h"
#include "files/disk_file_system.h"

namespace {

constexpr int MAX_DEPTH = 64;   // a damaged archive may have directories that contain themselves

const char USAGE[] =
    "usage: zenkor-pak create [--compress] [--encipher] ARCHIVE DIR\n"
    "       zenkor-pak list ARCHIVE [PATTERN]\n"
    "       zenkor-pak extract ARCHIVE DIR\n"
    "       zenkor-pak cat ARCHIVE MEMBER\n"
    "\n"
    "create   packs every file under DIR into ARCHIVE (directories become directory entries);\n"
    "         --compress stores a member LZSS-compressed when that makes it smaller,\n"
    "         --encipher enciphers the header and every member. The same tree always gives\n"
    "         the same bytes.\n"
    "list     prints one member a line: SIZE STORED|LZSS PATH (directories omitted). Without\n"
    "         PATTERN every member; with it, the matches of that listing pattern in one\n"
    "         directory, e.g. 'images/*.jpg' (the file name part is case-sensitive).\n"
    "extract  writes every member under DIR.\n"
    "cat      writes the bytes of MEMBER to standard output.\n"
    "Exit status: 0 success, 1 failure, 2 usage error.\n";

int Usage()
{
    std::fputs(USAGE, stderr);
    return 2;
}

int Fail(const std::string& message)
{
    std::fprintf(stderr, "zenkor-pak: %s\n", message.c_str());
    return 1;
}

// The archive file opened through the disk file system and mounted.
struct OpenedArchive {
    std::unique_ptr<DiskFileSystem> disk;
    Stream* stream = nullptr;
    std::unique_ptr<ArchiveFileSystem> archive;
    ~OpenedArchive()
    {
        archive.reset();
        if (stream) stream->Close();
    }
};

bool OpenArchiveFile(const std::string& path, OpenedArchive* opened, std::string* error)
{
    std::filesystem::path p(path);
    std::string directory = p.parent_path().string();
    if (directory.empty()) directory = std::filesystem::current_path().string();
    opened->disk = std::make_unique<DiskFileSystem>(directory);
    opened->stream = opened->disk->Open(p.filename().string(), ReadOnly);
    if (!opened->stream) {
        *error = "cannot open archive '" + path + "'";
        return false;
    }
    opened->archive = std::make_unique<ArchiveFileSystem>(opened->stream);
    if (!opened->archive->IsUsable()) {
        *error = "'" + path + "' is not a usable archive";
        return false;
    }
    return true;
}

struct Member {
    std::string path;
    bool isDirectory;
    uint64_t size;
};

// Every entry of the listing pattern; with recurse, also everything under its directories.
bool Collect(ArchiveFileSystem* archive, const std::string& pattern, bool recurse, int depth,
             std::vector<Member>* members, std::string* error)
{
    if (depth > MAX_DEPTH) {
        *error = "directories nested deeper than 64 levels: the archive is damaged";
        return false;
    }
    FileEnumerator* e = archive->FindFirst(pattern);
    if (!e) return true;
    std::vector<Member> here;
    do here.push_back({e->GetName(), e->IsDirectory(), e->GetSize()});
    while (archive->FindNext(e));
    archive->FindClose(e);
    for (const Member& m : here) {
        std::string last = m.path.substr(ParentPath(m.path).size());
        if (last.empty() || m.path.size() - last.size() != ParentPath(pattern).size() || !IsValidPath(m.path, false)) {
            *error = "member name refused by the path rules: '" + m.path + "'";
            return false;
        }
        members->push_back(m);
        if (recurse && m.isDirectory && !Collect(archive, m.path + "/*", true, depth + 1, members, error))
            return false;
    }
    return true;
}

int Create(const std::vector<std::string>& args)
{
    ArchiveOptions options;
    std::vector<std::string> positional;
    for (const std::string& a : args) {
        if (a == "--compress") options.compress = true;
        else if (a == "--encipher") options.encipher = true;
        else if (a.size() > 1 && a[0] == '-') return Usage();
        else positional.push_back(a);
    }
    if (positional.size() != 2) return Usage();
    std::string error;
    if (!ArchiveWriteTree(positional[1], positional[0], options, &error)) return Fail(error);
    return 0;
}

int List(const std::vector<std::string>& args)
{
    if (args.empty() || args.size() > 2) return Usage();
    OpenedArchive opened;
    std::string error;
    if (!OpenArchiveFile(args[0], &opened, &error)) return Fail(error);
    std::vector<Member> members;
    bool all = args.size() == 1;
    if (!all && !IsValidPath(args[1], true)) return Fail("pattern refused by the path rules: '" + args[1] + "'");
    if (!Collect(opened.archive.get(), all ? "*" : args[1], all, 0, &members, &error)) return Fail(error);
    for (const Member& m : members) {
        if (m.isDirectory) continue;
        bool lzss = opened.archive->GetCompression(m.path) > 0;
        std::printf("%llu %s %s\n", static_cast<unsigned long long>(m.size), lzss ? "LZSS" : "STORED", m.path.c_str());
    }
    return std::fflush(stdout) == 0 ? 0 : Fail("cannot write to standard output");
}

// Copies one member into out; false when fewer bytes than its size arrive.
bool CopyMember(ArchiveFileSystem* archive, const std::string& name, Stream* out, std::FILE* file, std::string* error)
{
    Stream* in = archive->Open(name, ReadOnly);
    if (!in) {
        *error = "no member '" + name + "' in the archive";
        return false;
    }
    uint64_t size = in->GetSize(), copied = 0;
    std::vector<uint8_t> buffer(1 << 16);
    uint32_t k;
    bool written = true;
    while (written && (k = in->Read(buffer.data(), uint32_t(buffer.size()))) != 0) {
        written = out ? out->Write(buffer.data(), k) == k : std::fwrite(buffer.data(), 1, k, file) == k;
        copied += k;
    }
    in->Close();
    if (!written) *error = "cannot write member '" + name + "'";
    else if (copied != size) *error = "member '" + name + "' is damaged: " + std::to_string(copied) + " of " +
                                      std::to_string(size) + " bytes could be read";
    return written && copied == size;
}

int Extract(const std::vector<std::string>& args)
{
    if (args.size() != 2) return Usage();
    OpenedArchive opened;
    std::string error;
    if (!OpenArchiveFile(args[0], &opened, &error)) return Fail(error);
    std::vector<Member> members;
    if (!Collect(opened.archive.get(), "*", true, 0, &members, &error)) return Fail(error);
    std::error_code ec;
    std::filesystem::create_directories(args[1], ec);
    if (!std::filesystem::is_directory(args[1], ec)) return Fail("cannot create directory '" + args[1] + "'");
    DiskFileSystem target(args[1]);
    for (const Member& m : members) {
        if (m.isDirectory) {
            std::filesystem::create_directories(target.FullPath(m.path), ec);
            if (ec) return Fail("cannot create directory '" + target.FullPath(m.path) + "'");
            continue;
        }
        Stream* out = target.Open(m.path, WriteOnly);
        if (!out) return Fail("cannot create '" + target.FullPath(m.path) + "'");
        bool ok = CopyMember(opened.archive.get(), m.path, out, nullptr, &error);
        // Opening for writing keeps an existing file's bytes: cut what lies behind the member.
        ok = ok && out->SetSize(out->Tell());
        out->Close();
        if (!ok) return Fail(error.empty() ? "cannot write '" + target.FullPath(m.path) + "'" : error);
    }
    return 0;
}

int Cat(const std::vector<std::string>& args)
{
    if (args.size() != 2) return Usage();
    OpenedArchive opened;
    std::string error;
    if (!OpenArchiveFile(args[0], &opened, &error)) return Fail(error);
    if (!opened.archive->Exists(args[1])) return Fail("no member '" + args[1] + "' in the archive");
    if (!CopyMember(opened.archive.get(), args[1], nullptr, stdout, &error)) return Fail(error);
    return std::fflush(stdout) == 0 ? 0 : Fail("cannot write to standard output");
}

}  // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    for (const std::string& a : args) {
        if (a == "--help" || a == "-h") {
            std::fputs(USAGE, stdout);
            return 0;
        }
    }
    if (args.empty()) return Usage();
    std::string command = args[0];
    args.erase(args.begin());
    if (command == "create") return Create(args);
    if (command == "list") return List(args);
    if (command == "extract") return Extract(args);
    if (command == "cat") return Cat(args);
    return Usage();
}
