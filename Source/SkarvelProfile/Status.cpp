#include "Status.h"

#include <cerrno>

#include "StoreErrors.h"

namespace skarvel::profile {
namespace {

thread_local DWORD lastError = ERROR_SUCCESS;

}  // namespace

skarvel_status Fail(skarvel_status status, DWORD code)
{
    lastError = code;
    errno = ErrnoFromWin32(code);
    return status;
}

skarvel_status InvalidArgument()
{
    return Fail(SKARVEL_INVALID_ARGUMENT, ERROR_INVALID_PARAMETER);
}

skarvel_status NotUtf8()
{
    return Fail(SKARVEL_INVALID_ARGUMENT, kErrorNoUnicodeTranslation);
}

skarvel_status FailFromStore(DWORD code, bool reading)
{
    switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return Fail(reading ? SKARVEL_NOT_FOUND : SKARVEL_SYSTEM_ERROR, code);
    case ERROR_ACCESS_DENIED:
        return Fail(SKARVEL_ACCESS_DENIED, code);
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return Fail(SKARVEL_NO_SPACE, code);
    case ERROR_INVALID_PARAMETER:
    case ERROR_INVALID_NAME:
    case ERROR_FILENAME_EXCED_RANGE:
        return Fail(SKARVEL_INVALID_ARGUMENT, code);
    default:
        return Fail(SKARVEL_SYSTEM_ERROR, code);
    }
}

void KeepPlatformError()
{
    lastError = GetLastError();
}

}  // namespace skarvel::profile

extern "C" const char* skarvel_strerror(skarvel_status status)
{
    switch (status) {
    case SKARVEL_OK:
        return "success";
    case SKARVEL_NOT_FOUND:
        return "not found";
    case SKARVEL_WRONG_TYPE:
        return "the value is not of the asked type";
    case SKARVEL_TRUNCATED:
        return "the text was cut to fit the buffer";
    case SKARVEL_ACCESS_DENIED:
        return "access denied";
    case SKARVEL_NO_SPACE:
        return "no space left on the device";
    case SKARVEL_INVALID_ARGUMENT:
        return "invalid argument";
    case SKARVEL_SYSTEM_ERROR:
        return "the system refused the operation";
    }
    return "unknown status";
}

extern "C" unsigned long skarvel_GetLastError(void)
{
    return skarvel::profile::lastError;
}
