// Integers and reals, kept in the file as decimal text.
#include "Skarvel.h"

#include <cerrno>
#include <cstdio>

#include "Platform.h"
#include "RealText.h"
#include "StoreErrors.h"

namespace {

// Room for any number's text: "%d" needs 11 characters, "%f" of a float 47.
constexpr unsigned long kNumberTextCapacity = 128;

}  // namespace

bool CSkarvel::GetInt(const char* section, const char* key, int& value)
{
    if (m_szPath[0] == '\0') {
        errno = EINVAL;
        return false;
    }
    skarvel::MarkLastError();
    // The store answers the default for an absent key and the stored number
    // otherwise, so two different defaults tell the cases apart. An answer other
    // than its default proves the key present on its own: a second read is needed
    // only after a 1, and a writer between the two reads cannot make a present key
    // look absent unless it turns a stored 1 into a 2.
    const UINT first = GetPrivateProfileIntA(section, key, 1, m_szPath);
    if (first != 1) {
        value = static_cast<int>(first);
        return true;
    }
    const UINT second = GetPrivateProfileIntA(section, key, 2, m_szPath);
    if (second == 2) {
        errno = skarvel::ErrnoForEmptyRead();
        return false;
    }
    value = static_cast<int>(second);
    return true;
}

int CSkarvel::WriteInt(const char* section, const char* key, int value)
{
    char text[kNumberTextCapacity];
    snprintf(text, sizeof text, "%d", value);
    return WriteString(section, key, text);
}

bool CSkarvel::GetFloat(const char* section, const char* key, float& value)
{
    char text[kNumberTextCapacity];
    if (!GetString(section, key, text, sizeof text)) {
        return false;
    }
    value = static_cast<float>(skarvel::ParseRealText(text));
    return true;
}

int CSkarvel::WriteFloat(const char* section, const char* key, float value)
{
    char text[kNumberTextCapacity];
    skarvel::FormatRealFixed6(value, text, sizeof text);
    return WriteString(section, key, text);
}
