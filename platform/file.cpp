// Descriptor-relative file operations over POSIX. No state of its own; any thread.
#include "platform/file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

int FileOpenDirectory(const char* path, int* handle)
{
    int fd = open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    *handle = fd;
    return 0;
}

int FileOpenSubdirectory(int directory, const char* name, bool create, int* handle)
{
    if (create && mkdirat(directory, name, 0777) != 0 && errno != EEXIST)
        return errno;
    int fd = openat(directory, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return errno;
    *handle = fd;
    return 0;
}

int FileKindAt(int directory, const char* name, FileKind* kind)
{
    struct stat status;
    if (fstatat(directory, name, &status, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno != ENOENT)
            return errno;
        *kind = FileMissing;
        return 0;
    }
    *kind = S_ISREG(status.st_mode)   ? FileRegular
            : S_ISDIR(status.st_mode) ? FileDirectory
            : S_ISLNK(status.st_mode) ? FileLink
                                      : FileOther;
    return 0;
}

int FileCreateAt(int directory, const char* name, int* handle)
{
    int fd = openat(directory, name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0)
        return errno;
    *handle = fd;
    return 0;
}

// Writes all size bytes, at offset or, when offset is negative, at the file's position; short
// writes and interruptions are carried on.
static int WriteAll(int handle, const void* data, size_t size, int64_t offset)
{
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t k = offset < 0 ? write(handle, p, size) : pwrite(handle, p, size, off_t(offset));
        if (k < 0 && errno == EINTR)
            continue;
        if (k < 0)
            return errno;
        if (k == 0)
            return EIO;
        p += k;
        size -= size_t(k);
        if (offset >= 0)
            offset += k;
    }
    return 0;
}

int FileWrite(int handle, const void* data, size_t size) { return WriteAll(handle, data, size, -1); }

int FileWriteAt(int handle, uint64_t offset, const void* data, size_t size)
{
    if (offset > uint64_t(INT64_MAX))
        return EINVAL;
    return WriteAll(handle, data, size, int64_t(offset));
}

int FileClose(int handle)
{
    // The descriptor is gone even when close reports a failure; never retry it.
    return close(handle) == 0 || errno == EINTR ? 0 : errno;
}

int FileRenameAt(int directory, const char* from, const char* to)
{
    return renameat(directory, from, directory, to) == 0 ? 0 : errno;
}

int FileRemoveAt(int directory, const char* name) { return unlinkat(directory, name, 0) == 0 ? 0 : errno; }

bool FileIsTerminal(std::FILE* stream) { return isatty(fileno(stream)) == 1; }
