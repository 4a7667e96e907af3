// The profile functions: reads and writes of named values in a profile file.
#include <cstring>
#include <exception>
#include <string>
#include <string_view>

#include "IntegerText.h"
#include "LastError.h"
#include "Platform.h"
#include "ProfileFile.h"

namespace {

// An integer is read from at most this many characters of its value, as on
// Windows: longer text is cut before it is read.
constexpr DWORD kIntegerTextCapacity = 30;

// Copies `text` cut to size - 1 characters and terminated; the characters copied.
DWORD CopyCut(std::string_view text, LPSTR buffer, DWORD size)
{
    const size_t length = text.size() < size ? text.size() : size - 1;
    memcpy(buffer, text.data(), length);
    buffer[length] = '\0';
    return static_cast<DWORD>(length);
}

// The default, which loses its trailing spaces; null reads as empty.
DWORD CopyDefault(LPCSTR defaultText, LPSTR buffer, DWORD size)
{
    std::string_view text = defaultText == nullptr ? "" : defaultText;
    while (!text.empty() && text.back() == ' ') {
        text.remove_suffix(1);
    }
    return CopyCut(text, buffer, size);
}

// Copies a list of terminated names and one more terminator. As on Windows, a
// list is whole only with a byte to spare: one that fills the buffer exactly, or
// does not fit, is cut and ends in two terminators, and the answer is size - 2.
DWORD CopyList(const std::string& list, LPSTR buffer, DWORD size)
{
    if (list.size() + 2 <= size) {
        memcpy(buffer, list.data(), list.size());
        buffer[list.size()] = '\0';
        return static_cast<DWORD>(list.size());
    }
    if (size < 2) {
        buffer[0] = '\0';
        return 0;
    }
    memcpy(buffer, list.data(), size - 2);
    buffer[size - 2] = '\0';
    buffer[size - 1] = '\0';
    return size - 2;
}

// GetPrivateProfileStringA for a buffer of at least one character.
DWORD ReadProfileString(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpDefault,
                        LPSTR lpReturnedString, DWORD nSize, LPCSTR lpFileName)
{
    const auto content = lpFileName == nullptr ? nullptr : skarvel::LoadProfile(lpFileName);
    std::string list;
    if (lpAppName == nullptr) {
        if (content != nullptr) {
            content->Index().ListSections(list);
        }
        return CopyList(list, lpReturnedString, nSize);
    }
    if (lpKeyName == nullptr) {
        if (content != nullptr && content->Index().ListKeys(lpAppName, list)) {
            return CopyList(list, lpReturnedString, nSize);
        }
        return CopyDefault(lpDefault, lpReturnedString, nSize);
    }
    std::string_view value;
    if (content != nullptr && content->Index().FindValue(lpAppName, lpKeyName, value)) {
        return CopyCut(value, lpReturnedString, nSize);
    }
    return CopyDefault(lpDefault, lpReturnedString, nSize);
}

// The error a write leaves when it has nothing to write to, as Windows leaves it, or
// ERROR_SUCCESS: an empty file name is refused before the names are looked at, and a
// key without a section is taken for a file that is not there.
DWORD WriteRefusal(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpFileName)
{
    if (lpFileName != nullptr && *lpFileName == '\0') {
        return ERROR_ACCESS_DENIED;
    }
    if (lpAppName == nullptr) {
        return lpKeyName != nullptr ? ERROR_FILE_NOT_FOUND : ERROR_INVALID_PARAMETER;
    }
    return lpFileName == nullptr ? ERROR_INVALID_PARAMETER : ERROR_SUCCESS;
}

// WritePrivateProfileStringA for a section and a file: a null key deletes the section, a null
// value the key.
BOOL WriteProfileString(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpString, LPCSTR lpFileName)
{
    using skarvel::IniEdit;
    IniEdit edit = {IniEdit::Kind::DeleteSection, lpAppName, {}, {}};
    if (lpKeyName != nullptr) {
        edit.kind = lpString == nullptr ? IniEdit::Kind::DeleteKey : IniEdit::Kind::SetValue;
        edit.key = lpKeyName;
        edit.value = lpString == nullptr ? std::string_view() : lpString;
    }
    return skarvel::EditProfile(lpFileName, edit);
}

}  // namespace

// The profile functions answer through their return values and the last error only: no
// exception leaves them. The only ones the store can meet come of memory it cannot have,
// such as room for a file of any size its status claims, and a file too large to hold is
// taken as one that cannot be read or written.
extern "C" DWORD WINAPI GetPrivateProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName,
                                                 LPCSTR lpDefault, LPSTR lpReturnedString,
                                                 DWORD nSize, LPCSTR lpFileName)
{
    if (lpReturnedString == nullptr || nSize == 0) {
        return 0;
    }
    try {
        return ReadProfileString(lpAppName, lpKeyName, lpDefault, lpReturnedString, nSize,
                                 lpFileName);
    } catch (const std::exception&) {
        skarvel::SetLastErrorCode(ERROR_NOT_ENOUGH_MEMORY);
        return lpAppName == nullptr ? CopyList(std::string(), lpReturnedString, nSize)
                                    : CopyDefault(lpDefault, lpReturnedString, nSize);
    }
}

extern "C" UINT WINAPI GetPrivateProfileIntA(LPCSTR lpAppName, LPCSTR lpKeyName, INT nDefault,
                                             LPCSTR lpFileName)
{
    char text[kIntegerTextCapacity];
    if (GetPrivateProfileStringA(lpAppName, lpKeyName, "", text, sizeof text, lpFileName) == 0) {
        return static_cast<UINT>(nDefault);
    }
    return skarvel::ParseProfileInteger(text);
}

extern "C" BOOL WINAPI WritePrivateProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName,
                                                  LPCSTR lpString, LPCSTR lpFileName)
{
    // With no names at all this is the request to flush the cache. Kept parses are
    // never stale, so dropping them only frees their memory.
    if (lpAppName == nullptr && lpKeyName == nullptr && lpString == nullptr) {
        skarvel::ForgetLoadedProfiles();
        skarvel::SetLastErrorCode(ERROR_SUCCESS);
        return FALSE;
    }
    const DWORD refusal = WriteRefusal(lpAppName, lpKeyName, lpFileName);
    if (refusal != ERROR_SUCCESS) {
        skarvel::SetLastErrorCode(refusal);
        return FALSE;
    }
    try {
        return WriteProfileString(lpAppName, lpKeyName, lpString, lpFileName);
    } catch (const std::exception&) {
        skarvel::SetLastErrorCode(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
}
