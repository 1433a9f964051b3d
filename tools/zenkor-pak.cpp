// zenkor-pak: creates, lists, extracts, prints and checks members of the demo system's archives.
// Reading always goes through ArchiveFileSystem over the archive file on disk.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "files/archive_check.h"
#include "files/archive_file_system.h"
#include "files/archive_writer.h"
#include "files/disk_file_system.h"
#include "files/output_file.h"
#include "platform/file.h"
#include "tools/support/tool.h"

namespace {

constexpr size_t PROBLEMS_SHOWN = 10;  // damage lines list and extract print before stopping

const char USAGE[] =
    "usage: zenkor-pak create [--compress] [--encipher] ARCHIVE DIR\n"
    "       zenkor-pak list ARCHIVE [PATTERN]\n"
    "       zenkor-pak extract ARCHIVE DIR\n"
    "       zenkor-pak cat ARCHIVE MEMBER\n"
    "       zenkor-pak check ARCHIVE\n"
    "\n"
    "create   packs every file under DIR into ARCHIVE (directories become directory entries);\n"
    "         symbolic links inside DIR are followed: a member holds what its link points to.\n"
    "         A name is at most 63 bytes as stored (a directory's leading \"/\" counts), with no\n"
    "         control character, \"\\\", \"..\", \"*\" or \"?\".\n"
    "         --compress stores a member LZSS-compressed when that makes it smaller,\n"
    "         --encipher enciphers the header and every member. The same tree always gives\n"
    "         the same bytes.\n"
    "list     prints one member a line: SIZE STORED|LZSS PATH (directories omitted). Without\n"
    "         PATTERN every member; with it, the matches of that listing pattern in one\n"
    "         directory, e.g. 'images/*.jpg' (the file name part is case-sensitive).\n"
    "extract  writes every member under DIR, never through a symbolic link already inside it:\n"
    "         a link where a file goes is replaced by the file, one where a directory goes is\n"
    "         refused.\n"
    "cat      writes the bytes of MEMBER to standard output.\n"
    "check    reads the whole directory and every member and prints \"ok N members\" (files),\n"
    "         or one line per problem found: PATH: PROBLEM.\n"
    "list, extract and cat refuse an archive whose directory or member is found damaged.\n"
    "Every file written appears whole or not at all: it is written as NAME.part beside its\n"
    "place and renamed when complete; a directory or device at that place is refused.\n"
    "Exit status: 0 success, 1 failure (check: damage found), 2 usage error.\n";

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

int Damaged(const std::string& path, const std::vector<std::string>& problems)
{
    for (size_t k = 0; k < problems.size() && k < PROBLEMS_SHOWN; k++)
        ToolFail("damaged archive '" + path + "': " + problems[k]);
    if (problems.size() > PROBLEMS_SHOWN)
        ToolFail(std::to_string(problems.size() - PROBLEMS_SHOWN) + " more problems ('zenkor-pak check' lists all)");
    return 1;
}

// Opens the archive and checks its directory; false after the message when either fails.
bool OpenChecked(const std::string& path, OpenedArchive* opened, int* result)
{
    std::string error;
    if (!OpenArchiveFile(path, opened, &error)) {
        *result = ToolFail(error);
        return false;
    }
    ArchiveCheckResult check;
    ArchiveCheck(opened->archive.get(), false, &check);
    if (check.problems.empty()) return true;
    *result = Damaged(path, check.problems);
    return false;
}

struct Member {
    std::string path;
    bool isDirectory;
    uint64_t size;
};

// Every entry of the listing pattern; with recurse, also everything under its directories. The
// directory has passed ArchiveCheck: names are sound and no block is met twice.
void Collect(ArchiveFileSystem* archive, const std::string& pattern, bool recurse, std::vector<Member>* members)
{
    FileEnumerator* e = archive->FindFirst(pattern);
    if (!e) return;
    std::vector<Member> here;
    do here.push_back({e->GetName(), e->IsDirectory(), e->GetSize()});
    while (archive->FindNext(e));
    archive->FindClose(e);
    for (const Member& m : here) {
        members->push_back(m);
        if (recurse && m.isDirectory) Collect(archive, m.path + "/*", true, members);
    }
}

// Splits the command's words into options and the rest; false, after the usage message, on an
// option not in known.
bool SplitArguments(const std::vector<std::string>& args, const std::vector<std::string>& known,
                    std::vector<std::string>* options, std::vector<std::string>* positional, int* result)
{
    for (const std::string& a : args) {
        if (a.size() < 2 || a[0] != '-') {
            positional->push_back(a);
            continue;
        }
        bool found = false;
        for (const std::string& k : known) found = found || a == k;
        if (!found) {
            *result = ToolUsage("unknown option '" + a + "'", USAGE);
            return false;
        }
        options->push_back(a);
    }
    return true;
}

int Create(const std::vector<std::string>& args)
{
    ArchiveOptions options;
    std::vector<std::string> flags, positional;
    int result;
    if (!SplitArguments(args, {"--compress", "--encipher"}, &flags, &positional, &result)) return result;
    for (const std::string& f : flags) {
        if (f == "--compress") options.compress = true;
        if (f == "--encipher") options.encipher = true;
    }
    if (positional.size() != 2) return ToolUsage("create takes ARCHIVE and DIR", USAGE);
    std::string error;
    if (!ArchiveWriteTree(positional[1], positional[0], options, &error)) return ToolFail(error);
    return 0;
}

int List(const std::vector<std::string>& args)
{
    std::vector<std::string> flags, positional;
    int result;
    if (!SplitArguments(args, {}, &flags, &positional, &result)) return result;
    if (positional.empty() || positional.size() > 2) return ToolUsage("list takes ARCHIVE and maybe PATTERN", USAGE);
    bool all = positional.size() == 1;
    if (!all && !IsValidPath(positional[1], true))
        return ToolFail("pattern refused by the path rules: '" + positional[1] + "'");
    OpenedArchive opened;
    if (!OpenChecked(positional[0], &opened, &result)) return result;
    std::vector<Member> members;
    Collect(opened.archive.get(), all ? "*" : positional[1], all, &members);
    for (const Member& m : members) {
        if (!ToolStdoutOk()) break;
        if (m.isDirectory) continue;
        bool lzss = opened.archive->GetCompression(m.path) > 0;
        ToolPrintf("%llu %s %s\n", static_cast<unsigned long long>(m.size), lzss ? "LZSS" : "STORED", m.path.c_str());
    }
    return 0;
}

// Reads member name whole, handing each piece to put (false when it cannot take it). False, with
// *error, when put fails or fewer bytes than the member's size arrive.
template <typename Put>
bool CopyMember(ArchiveFileSystem* archive, const std::string& name, Put put, std::string* error)
{
    Stream* in = archive->Open(name, ReadOnly);
    if (!in) {
        *error = "no member '" + PrintableName(name) + "' in the archive";
        return false;
    }
    uint64_t size = in->GetSize(), copied = 0;
    std::vector<uint8_t> buffer(1 << 16);
    uint32_t k;
    bool written = true;
    while (written && (k = in->Read(buffer.data(), uint32_t(buffer.size()))) != 0) {
        written = put(buffer.data(), k);
        copied += k;
    }
    in->Close();
    if (written && copied != size)
        *error = "member '" + PrintableName(name) + "' is damaged: " + std::to_string(copied) + " of " +
                 std::to_string(size) + " bytes could be read";
    return written && copied == size;
}

// Opens the directory that holds path inside root (all of path when whole), making what is
// missing and never passing through a link; false with *error naming the place that stops it.
bool OpenInside(int root, const std::string& rootShown, const std::string& path, bool whole, int* handle,
                std::string* error)
{
    int current = root;
    std::string shown = rootShown;
    size_t start = 0;
    for (;;) {
        size_t slash = path.find('/', start);
        if (slash == std::string::npos && !whole) break;
        std::string component = path.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
        shown += "/" + component;
        int next;
        int code = FileOpenSubdirectory(current, component.c_str(), true, &next);
        FileKind kind = FileMissing;
        if (code) FileKindAt(current, component.c_str(), &kind);
        if (current != root) FileClose(current);
        if (code) {
            *error = kind == FileLink        ? "'" + shown + "' is a symbolic link: nothing is extracted through it"
                     : code == ENOTDIR       ? "'" + shown + "' exists and is not a directory"
                                             : "cannot create directory '" + shown + "': " + std::strerror(code);
            return false;
        }
        current = next;
        if (slash == std::string::npos) break;
        start = slash + 1;
    }
    *handle = current;
    return true;
}

bool ExtractFile(ArchiveFileSystem* archive, int root, const std::string& rootShown, const std::string& path,
                 std::string* error)
{
    int directory;
    if (!OpenInside(root, rootShown, path, false, &directory, error)) return false;
    size_t slash = path.rfind('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    bool ok;
    {
        OutputFile out;
        ok = OutputFileBeginAt(&out, directory, name, rootShown + "/" + path) &&
             CopyMember(archive, path, [&](const void* data, uint32_t k) { return OutputFileWrite(&out, data, k); },
                        error) &&
             OutputFileCommit(&out);
        if (!ok && error->empty()) *error = out.error;
    }
    if (directory != root) FileClose(directory);
    return ok;
}

int Extract(const std::vector<std::string>& args)
{
    std::vector<std::string> flags, positional;
    int result;
    if (!SplitArguments(args, {}, &flags, &positional, &result)) return result;
    if (positional.size() != 2) return ToolUsage("extract takes ARCHIVE and DIR", USAGE);
    const std::string& target = positional[1];
    OpenedArchive opened;
    if (!OpenChecked(positional[0], &opened, &result)) return result;
    std::vector<Member> members;
    Collect(opened.archive.get(), "*", true, &members);
    std::error_code ec;
    std::filesystem::create_directories(target, ec);
    int root;
    if (ec) return ToolFail("cannot create directory '" + target + "': " + ec.message());
    if (int code = FileOpenDirectory(target.c_str(), &root))
        return ToolFail("cannot open directory '" + target + "': " + std::strerror(code));
    std::string shown = target.size() > 1 && target.back() == '/' ? target.substr(0, target.size() - 1) : target;
    std::string error;
    bool ok = true;
    for (const Member& m : members) {
        int directory;
        if (m.isDirectory) ok = OpenInside(root, shown, m.path, true, &directory, &error);
        else ok = ExtractFile(opened.archive.get(), root, shown, m.path, &error);
        if (m.isDirectory && ok && directory != root) FileClose(directory);
        if (!ok) break;
    }
    FileClose(root);
    return ok ? 0 : ToolFail(error);
}

int Cat(const std::vector<std::string>& args)
{
    std::vector<std::string> flags, positional;
    int result;
    if (!SplitArguments(args, {}, &flags, &positional, &result)) return result;
    if (positional.size() != 2) return ToolUsage("cat takes ARCHIVE and MEMBER", USAGE);
    OpenedArchive opened;
    std::string error;
    if (!OpenArchiveFile(positional[0], &opened, &error)) return ToolFail(error);
    const std::string& member = positional[1];
    if (!opened.archive->Exists(member))
        return ToolFail("no member '" + PrintableName(member) + "' in the archive");
    // Known damage stops cat before the first byte: what was written cannot be taken back.
    if (!ArchiveCheckMember(opened.archive.get(), member, &error)) return Damaged(positional[0], {error});
    auto put = [](const void* data, uint32_t k) { return ToolWrite(data, k); };
    if (CopyMember(opened.archive.get(), member, put, &error)) return 0;
    return ToolStdoutOk() ? ToolFail(error) : 1;  // ToolFinish tells why stdout failed
}

int Check(const std::vector<std::string>& args)
{
    std::vector<std::string> flags, positional;
    int result;
    if (!SplitArguments(args, {}, &flags, &positional, &result)) return result;
    if (positional.size() != 1) return ToolUsage("check takes ARCHIVE", USAGE);
    OpenedArchive opened;
    std::string error;
    if (!OpenArchiveFile(positional[0], &opened, &error)) return ToolFail(error);
    ArchiveCheckResult check;
    ArchiveCheck(opened.archive.get(), true, &check);
    for (const std::string& problem : check.problems) ToolPrintf("%s\n", problem.c_str());
    if (check.problems.empty()) {
        ToolPrintf("ok %u members\n", check.members);
        return 0;
    }
    return ToolFail("damaged archive '" + positional[0] + "': " + std::to_string(check.problems.size()) +
                    (check.problems.size() == 1 ? " problem" : " problems"));
}

int Run(std::vector<std::string> args)
{
    for (const std::string& a : args) {
        if (a == "--help" || a == "-h") {
            std::fputs(USAGE, stdout);
            return 0;
        }
    }
    if (args.empty()) return ToolUsage("", USAGE);
    std::string command = args[0];
    args.erase(args.begin());
    if (command == "create") return Create(args);
    if (command == "list") return List(args);
    if (command == "extract") return Extract(args);
    if (command == "cat") return Cat(args);
    if (command == "check") return Check(args);
    return ToolUsage((command[0] == '-' ? "unknown option '" : "unknown command '") + command + "'", USAGE);
}

}  // namespace

int main(int argc, char** argv)
{
    ToolInit("zenkor-pak");
    return ToolFinish(Run(std::vector<std::string>(argv + 1, argv + argc)));
}
