// CreateFileA for opening a file exclusively, creating it when missing.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <string>

#include "Descriptor.h"
#include "FileLocks.h"
#include "LastError.h"
#include "Platform.h"
#include "ProfileOpen.h"

namespace {

// Handles are descriptors moved up by one, so that no handle is null.
HANDLE HandleFromDescriptor(int fd)
{
    return reinterpret_cast<HANDLE>(static_cast<intptr_t>(fd) + 1);
}

int DescriptorFromHandle(HANDLE handle)
{
    return static_cast<int>(reinterpret_cast<intptr_t>(handle) - 1);
}

HANDLE Fail(DWORD code)
{
    skarvel::SetLastErrorCode(code);
    return INVALID_HANDLE_VALUE;
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
    std::string finalPath;
    struct stat status;
    bool created = false;
    skarvel::Descriptor fd(skarvel::OpenProfileForWriting(lpFileName, finalPath, status, created));
    if (!fd.IsOpen()) {
        return INVALID_HANDLE_VALUE;
    }
    if (!skarvel::TryLockWholeFile(fd.Get())) {
        return Fail(errno == EWOULDBLOCK ? ERROR_SHARING_VIOLATION
                                         : skarvel::Win32ErrorFromErrno(errno));
    }
    skarvel::SetLastErrorCode(created ? ERROR_SUCCESS : ERROR_ALREADY_EXISTS);
    return HandleFromDescriptor(fd.Release());
}

extern "C" BOOL WINAPI CloseHandle(HANDLE hObject)
{
    if (hObject == INVALID_HANDLE_VALUE || hObject == nullptr) {
        skarvel::SetLastErrorCode(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    // Unlocked before it is closed: a child forked meanwhile keeps the descriptor open.
    skarvel::UnlockWholeFile(DescriptorFromHandle(hObject));
    if (close(DescriptorFromHandle(hObject)) != 0) {
        skarvel::SetLastErrorFromErrno();
        return FALSE;
    }
    return TRUE;
}
