// Whole-or-nothing output files over the platform's descriptor-relative file operations. Each
// output belongs to the thread that began it; no shared state.
#include "files/output_file.h"

#include <cerrno>
#include <cstring>

#include "platform/file.h"

namespace {

constexpr int TEMPORARY_TRIES = 100; // X.part, then X.part2 ... when such names are taken

bool Failed(OutputFile* out, const char* what, int code)
{
    if (out->error.empty())
        out->error = std::string(what) + " '" + out->shown + "': " + std::strerror(code);
    return false;
}

// Splits path into its directory ("." when none) and last component.
void SplitPath(const std::string& path, std::string* directory, std::string* name)
{
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        *directory = ".";
        *name = path;
        return;
    }
    *directory = slash == 0 ? "/" : path.substr(0, slash);
    *name = path.substr(slash + 1);
}

} // namespace

OutputFile::~OutputFile()
{
    OutputFileDiscard(this);
    if (ownsDirectory && directory >= 0)
        FileClose(directory);
}

bool OutputFileBegin(OutputFile* out, const std::string& path)
{
    std::string directory, name;
    SplitPath(path, &directory, &name);
    out->shown = path;
    int handle;
    if (int code = FileOpenDirectory(directory.c_str(), &handle))
        return Failed(out, "cannot write", code);
    out->directory = handle;
    out->ownsDirectory = true;
    return OutputFileBeginAt(out, handle, name, path);
}

bool OutputFileBeginAt(OutputFile* out, int directory, const std::string& name, const std::string& shown)
{
    out->directory = directory;
    out->name = name;
    out->shown = shown;
    if (name.empty() || name == "." || name == "..")
        return Failed(out, "cannot write", EISDIR);
    FileKind kind;
    if (int code = FileKindAt(directory, name.c_str(), &kind))
        return Failed(out, "cannot write", code);
    if (kind != FileMissing && kind != FileRegular && kind != FileLink) {
        out->error = "'" + shown + "' exists and is not a regular file";
        return false;
    }
    for (int k = 1; k <= TEMPORARY_TRIES; k++) {
        std::string temporary = name + ".part" + (k == 1 ? std::string() : std::to_string(k));
        int code = FileCreateAt(directory, temporary.c_str(), &out->file);
        if (code == EEXIST)
            continue;
        if (code)
            return Failed(out, "cannot write", code);
        out->temporary = temporary;
        return true;
    }
    return Failed(out, "cannot write", EEXIST);
}

bool OutputFileWrite(OutputFile* out, const void* data, size_t size)
{
    if (!out->error.empty() || out->file < 0)
        return false;
    if (int code = FileWrite(out->file, data, size))
        return Failed(out, "cannot write", code);
    out->written += size;
    return true;
}

bool OutputFileWriteAt(OutputFile* out, uint64_t offset, const void* data, size_t size)
{
    if (!out->error.empty() || out->file < 0)
        return false;
    if (offset > out->written || size > out->written - offset)
        return Failed(out, "cannot write", EINVAL);
    if (int code = FileWriteAt(out->file, offset, data, size))
        return Failed(out, "cannot write", code);
    return true;
}

bool OutputFileCommit(OutputFile* out)
{
    if (out->file < 0)
        return false;
    int code = FileClose(out->file);
    out->file = -1;
    if (code)
        Failed(out, "cannot write", code);
    if (out->error.empty()) {
        code = FileRenameAt(out->directory, out->temporary.c_str(), out->name.c_str());
        if (code)
            Failed(out, "cannot write", code);
    }
    if (!out->error.empty()) {
        OutputFileDiscard(out);
        return false;
    }
    out->temporary.clear();
    return true;
}

void OutputFileDiscard(OutputFile* out)
{
    if (out->file >= 0)
        FileClose(out->file);
    out->file = -1;
    if (!out->temporary.empty())
        FileRemoveAt(out->directory, out->temporary.c_str());
    out->temporary.clear();
}

bool OutputFileSave(const std::string& path, const void* data, size_t size, std::string* error)
{
    OutputFile out;
    bool ok = OutputFileBegin(&out, path) && OutputFileWrite(&out, data, size) && OutputFileCommit(&out);
    if (!ok)
        *error = out.error;
    return ok;
}
