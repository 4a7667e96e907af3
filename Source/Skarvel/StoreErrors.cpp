#include "StoreErrors.h"

#include <cerrno>

namespace skarvel {
namespace {

// Platform.h offers no SetLastError on Linux. Asking for a module that is not loaded
// is the cheapest call whose Win32 contract leaves a known code, ERROR_MOD_NOT_FOUND,
// and no profile function leaves that one.
const char kNoSuchModule[] = "skarvel-no-such-module";
constexpr DWORD kMark = ERROR_MOD_NOT_FOUND;

}  // namespace

void MarkLastError()
{
    GetModuleHandleA(kNoSuchModule);
}

DWORD StoreFailureSinceMark()
{
    const DWORD code = GetLastError();
    return code == kMark ? ERROR_SUCCESS : code;
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
