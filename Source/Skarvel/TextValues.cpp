// Text values: one store call each, with the checks that keep a write readable.
#include "Skarvel.h"

#include <cstring>

#include "Platform.h"
#include "WriteGuard.h"

bool CSkarvel::GetString(const char* section, const char* key, char* buffer, unsigned long size)
{
    if (buffer == nullptr || size == 0) {
        return false;
    }
    if (m_szPath[0] == '\0') {
        buffer[0] = '\0';
        return false;
    }
    GetPrivateProfileStringA(section, key, nullptr, buffer, size, m_szPath);
    return buffer[0] != '\0';
}

int CSkarvel::WriteString(const char* section, const char* key, const char* value)
{
    if (m_szPath[0] == '\0' || !skarvel::ReadsBackAsWritten(section, key, value)) {
        return 0;
    }
    return WritePrivateProfileStringA(section, key, value, m_szPath);
}
