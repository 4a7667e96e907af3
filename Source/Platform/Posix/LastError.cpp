#include "LastError.h"

#include <cerrno>

namespace skarvel {
namespace {

thread_local DWORD lastError = ERROR_SUCCESS;

}  // namespace

void SetLastErrorCode(DWORD code)
{
    lastError = code;
}

DWORD Win32ErrorFromErrno(int error)
{
    switch (error) {
    case 0:
        return ERROR_SUCCESS;
    case ENOENT:
        return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
    case ELOOP:
        return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS:
    case ETXTBSY:
        return ERROR_ACCESS_DENIED;
    case EEXIST:
        return ERROR_ALREADY_EXISTS;
    case EWOULDBLOCK:
        return ERROR_SHARING_VIOLATION;
    case EMFILE:
    case ENFILE:
        return ERROR_TOO_MANY_OPEN_FILES;
    case ENOMEM:
        return ERROR_NOT_ENOUGH_MEMORY;
    case ENOSPC:
    case EDQUOT:
        return ERROR_DISK_FULL;
    case ENAMETOOLONG:
        return ERROR_FILENAME_EXCED_RANGE;
    case EINVAL:
        return ERROR_INVALID_PARAMETER;
    case EBADF:
        return ERROR_INVALID_HANDLE;
    default:
        return ERROR_WRITE_FAULT;
    }
}

void SetLastErrorFromErrno()
{
    lastError = Win32ErrorFromErrno(errno);
}

}  // namespace skarvel

extern "C" DWORD WINAPI GetLastError(void)
{
    return skarvel::lastError;
}

extern "C" void WINAPI SetLastError(DWORD dwErrCode)
{
    skarvel::lastError = dwErrCode;
}
