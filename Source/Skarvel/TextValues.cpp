// Text values: one store call each, with the checks that keep a write readable.
#include "Skarvel.h"

#include <cerrno>

#include "Platform.h"
#include "StoreErrors.h"
#include "WriteGuard.h"

bool CSkarvel::GetString(const char* section, const char* key, char* buffer, unsigned long size)
{
    if (buffer == nullptr || size == 0) {
        errno = EINVAL;
        return false;
    }
    if (m_szPath[0] == '\0') {
        buffer[0] = '\0';
        errno = EINVAL;
        return false;
    }
    skarvel::MarkLastError();
    GetPrivateProfileStringA(section, key, nullptr, buffer, size, m_szPath);
    if (buffer[0] == '\0') {
        errno = skarvel::ErrnoForEmptyRead();
        return false;
    }
    return true;
}

int CSkarvel::WriteString(const char* section, const char* key, const char* value)
{
    if (m_szPath[0] == '\0' || !skarvel::ReadsBackAsWritten(section, key, value)) {
        errno = EINVAL;
        return 0;
    }
    const BOOL written = WritePrivateProfileStringA(section, key, value, m_szPath);
    if (!written) {
        // The request to flush the cache fails without an error of its own.
        const DWORD error = GetLastError();
        errno = error == ERROR_SUCCESS ? EINVAL : skarvel::ErrnoFromWin32(error);
    }
    return written;
}
