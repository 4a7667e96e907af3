// CreateFileA for opening a file exclusively, creating it when missing.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <string>

#include "FinalPath.h"
#include "LastError.h"
#include "Platform.h"

namespace {

// Attempts at opening a file that other processes create and delete meanwhile.
constexpr int kOpenAttempts = 8;

// Handles are descriptors moved up by one, so that no handle is null.
HANDLE HandleFromDescriptor(int fd)
{
    return reinterpret_cast<HANDLE>(static_cast<intptr_t>(fd) + 1);
}

int DescriptorFromHandle(HANDLE handle)
{
    return static_cast<int>(reinterpret_cast<intptr_t>(handle) - 1);
}

HANDLE Fail(DWORD code, int fd = -1)
{
    if (fd >= 0) {
        close(fd);
    }
    skarvel::SetLastErrorCode(code);
    return INVALID_HANDLE_VALUE;
}

// Opens `path` for reading and writing, creating it when missing; `created` tells
// which. Returns the descriptor, or -1 with the Win32 error already recorded.
int OpenOrCreate(const std::string& path, bool& created)
{
    for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
        int fd = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NONBLOCK, 0666);
        if (fd >= 0) {
            created = true;
            return fd;
        }
        if (errno == EEXIST) {
            fd = open(path.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK);
            if (fd >= 0) {
                created = false;
                return fd;
            }
            if (errno == ENOENT) {
                continue;  // deleted since: try creating it again
            }
        }
        // With creation allowed, a missing entry can only be a missing directory.
        skarvel::SetLastErrorCode(errno == ENOENT ? ERROR_PATH_NOT_FOUND
                                                  : skarvel::Win32ErrorFromErrno(errno));
        return -1;
    }
    skarvel::SetLastErrorCode(ERROR_SHARING_VIOLATION);
    return -1;
}

}  // namespace

// Only what opening a settings file needs: read and write access, no sharing,
// open or create. While the handle is open the file holds an exclusive lock, the
// same lock the profile store's writers take, so a second exclusive opener fails
// with ERROR_SHARING_VIOLATION and a writer waits until the handle is closed.
extern "C" HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                                     LPSECURITY_ATTRIBUTES, DWORD dwCreationDisposition,
                                     DWORD, HANDLE hTemplateFile)
{
    if (dwDesiredAccess != (GENERIC_READ | GENERIC_WRITE) || dwShareMode != 0 ||
        dwCreationDisposition != OPEN_ALWAYS || hTemplateFile != nullptr) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    if (lpFileName == nullptr || lpFileName[0] == '\0') {
        return Fail(ERROR_PATH_NOT_FOUND);
    }
    std::string path;
    if (!skarvel::ResolveFinalPath(lpFileName, path)) {
        return Fail(skarvel::Win32ErrorFromErrno(errno));
    }
    bool created = false;
    const int fd = OpenOrCreate(path, created);
    if (fd < 0) {
        return INVALID_HANDLE_VALUE;
    }
    struct stat status;
    if (fstat(fd, &status) != 0) {
        return Fail(skarvel::Win32ErrorFromErrno(errno), fd);
    }
    // Windows refuses write access to a read-only file even to administrators;
    // a file without any write permission bit is this system's read-only file.
    if (!S_ISREG(status.st_mode) || (status.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
        return Fail(ERROR_ACCESS_DENIED, fd);
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        return Fail(errno == EWOULDBLOCK ? ERROR_SHARING_VIOLATION
                                         : skarvel::Win32ErrorFromErrno(errno),
                    fd);
    }
    skarvel::SetLastErrorCode(created ? ERROR_SUCCESS : ERROR_ALREADY_EXISTS);
    return HandleFromDescriptor(fd);
}

extern "C" BOOL WINAPI CloseHandle(HANDLE hObject)
{
    if (hObject == INVALID_HANDLE_VALUE || hObject == nullptr) {
        skarvel::SetLastErrorCode(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (close(DescriptorFromHandle(hObject)) != 0) {
        skarvel::SetLastErrorFromErrno();
        return FALSE;
    }
    return TRUE;
}
