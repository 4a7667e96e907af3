#include "StoreErrors.h"

#include <cerrno>

namespace skarvel {

void MarkLastError()
{
    SetLastError(ERROR_SUCCESS);
}

DWORD StoreFailureSinceMark()
{
    return GetLastError();
}

int ErrnoFromWin32(DWORD code)
{
    switch (code) {
    case ERROR_SUCCESS:
        return 0;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return ENOENT;
    case ERROR_TOO_MANY_OPEN_FILES:
        return EMFILE;
    case ERROR_ACCESS_DENIED:
        return EACCES;
    case ERROR_INVALID_HANDLE:
        return EBADF;
    case ERROR_NOT_ENOUGH_MEMORY:
        return ENOMEM;
    case ERROR_SHARING_VIOLATION:
        return EBUSY;
    case ERROR_HANDLE_DISK_FULL:
    case ERROR_DISK_FULL:
        return ENOSPC;
    case ERROR_INVALID_PARAMETER:
    case ERROR_INVALID_NAME:
    case kErrorInvalidData:
    case kErrorNoUnicodeTranslation:
        return EINVAL;
    case ERROR_INSUFFICIENT_BUFFER:
        return ERANGE;
    case ERROR_FILENAME_EXCED_RANGE:
        return ENAMETOOLONG;
    case ERROR_ALREADY_EXISTS:
        return EEXIST;
    default:
        return EIO;
    }
}

int ErrnoForEmptyRead()
{
    const DWORD code = StoreFailureSinceMark();
    return code == ERROR_SUCCESS ? ENOENT : ErrnoFromWin32(code);
}

}  // namespace skarvel
