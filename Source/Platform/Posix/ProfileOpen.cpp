#include "ProfileOpen.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "Descriptor.h"
#include "FinalPath.h"
#include "LastError.h"
#include "Platform.h"

namespace skarvel {
namespace {

// Attempts at a file that other processes create, delete or turn into a link meanwhile.
constexpr int kOpenAttempts = 64;
constexpr mode_t kAnyWriteBit = S_IWUSR | S_IWGRP | S_IWOTH;
constexpr mode_t kNewFileMode = 0666;  // narrowed by the umask, as any new file

}  // namespace

// O_NONBLOCK keeps a FIFO at the name from holding the open up; it is refused once its status
// shows what it is. As on Windows, a file whose directory is missing is told from a missing
// file by its error, which open() does not do.
int OpenProfileForReading(const char* path, struct stat& status)
{
    Descriptor fd(open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd.IsOpen()) {
        struct stat directory;
        if (errno == ENOENT && stat(DirectoryOf(path).c_str(), &directory) != 0 &&
            (errno == ENOENT || errno == ENOTDIR)) {
            SetLastErrorCode(ERROR_PATH_NOT_FOUND);
        } else {
            SetLastErrorFromErrno();
        }
        return -1;
    }
    if (fstat(fd.Get(), &status) != 0) {
        SetLastErrorFromErrno();
        return -1;
    }
    if (!S_ISREG(status.st_mode)) {
        SetLastErrorCode(ERROR_ACCESS_DENIED);
        return -1;
    }
    return fd.Release();
}

// The file is opened at its own path, never through a link: the links were followed by
// ResolveFinalPath, under the kernel's rules. O_NONBLOCK keeps a FIFO at the name from
// holding the open up; it is refused once its status shows what it is.
int OpenProfileForWriting(const char* path, std::string& finalPath, struct stat& status,
                          bool& created)
{
    const int flags = O_RDWR | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW;
    for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
        if (!ResolveFinalPath(path, finalPath)) {
            SetLastErrorFromErrno();
            return -1;
        }
        created = false;
        Descriptor fd(open(finalPath.c_str(), flags));
        if (!fd.IsOpen() && errno == ENOENT) {
            fd.Reset(open(finalPath.c_str(), flags | O_CREAT | O_EXCL, kNewFileMode));
            created = fd.IsOpen();
            if (!fd.IsOpen() && errno == ENOENT) {
                // With creation allowed, a missing entry can only be a missing directory.
                SetLastErrorCode(ERROR_PATH_NOT_FOUND);
                return -1;
            }
        }
        if (!fd.IsOpen()) {
            if (errno == EEXIST || errno == ELOOP) {
                continue;  // made, or made a link, since the path was resolved
            }
            SetLastErrorFromErrno();
            return -1;
        }
        if (fstat(fd.Get(), &status) != 0) {
            SetLastErrorFromErrno();
            return -1;
        }
        if (!S_ISREG(status.st_mode) || (status.st_mode & kAnyWriteBit) == 0) {
            SetLastErrorCode(ERROR_ACCESS_DENIED);
            return -1;
        }
        return fd.Release();
    }
    SetLastErrorCode(ERROR_SHARING_VIOLATION);
    return -1;
}

}  // namespace skarvel
