// The three profile functions under skarvel_ names, with their Win32 contracts and
// UTF-8 text on every platform. On Linux the store's functions take UTF-8 already; on
// Windows the wide functions answer, and the narrow contract is kept on their answer.
#include <cstring>
#include <initializer_list>
#include <string>

#include "Status.h"
#include "StoreCalls.h"

using namespace skarvel::profile;

#if defined(_WIN32)

namespace {

// A value or the default, cut to size - 1 bytes and terminated; the bytes placed.
DWORD CopyCut(const std::string& text, char* buffer, DWORD size)
{
    const size_t length = text.size() < size ? text.size() : size - 1;
    std::memcpy(buffer, text.data(), length);
    buffer[length] = '\0';
    return static_cast<DWORD>(length);
}

// Terminated names and one more terminator. A list is whole only with a byte to spare;
// one that fills the buffer exactly, or does not fit, is cut and ends in two
// terminators, and the answer is size - 2.
DWORD CopyList(const std::string& list, char* buffer, DWORD size)
{
    if (list.size() + 2 <= size) {
        std::memcpy(buffer, list.data(), list.size());
        buffer[list.size()] = '\0';
        return static_cast<DWORD>(list.size());
    }
    if (size < 2) {
        buffer[0] = '\0';
        return 0;
    }
    std::memcpy(buffer, list.data(), size - 2);
    buffer[size - 2] = '\0';
    buffer[size - 1] = '\0';
    return size - 2;
}

bool AllValid(std::initializer_list<const StoreArgument*> arguments)
{
    for (const StoreArgument* argument : arguments) {
        if (!argument->Valid()) {
            NotUtf8();
            return false;
        }
    }
    return true;
}

}  // namespace

extern "C" unsigned long skarvel_GetPrivateProfileStringA(const char* appName, const char* keyName,
                                                          const char* defaultText,
                                                          char* returnedString, unsigned long size,
                                                          const char* fileName)
{
    if (returnedString == nullptr || size == 0) {
        return 0;
    }
    try {
        const StoreArgument section(appName), key(keyName), fallback(defaultText), file(fileName);
        if (!AllValid({&section, &key, &fallback, &file})) {
            returnedString[0] = '\0';
            return 0;
        }
        const StoreString answer = ReadWhole(section.Get(), key.Get(), fallback.Get(), file.Get());
        KeepPlatformError();
        // A list's names are terminated each; the default a key list falls back on is not.
        const bool list =
            appName == nullptr || (keyName == nullptr && !answer.empty() && answer.back() == 0);
        const std::string text = FromStore(answer);
        return list ? CopyList(text, returnedString, size) : CopyCut(text, returnedString, size);
    } catch (...) {
        Fail(SKARVEL_SYSTEM_ERROR, ERROR_NOT_ENOUGH_MEMORY);
        returnedString[0] = '\0';
        return 0;
    }
}

extern "C" unsigned int skarvel_GetPrivateProfileIntA(const char* appName, const char* keyName,
                                                      int defaultValue, const char* fileName)
{
    try {
        const StoreArgument section(appName), key(keyName), file(fileName);
        if (!AllValid({&section, &key, &file})) {
            return static_cast<unsigned int>(defaultValue);
        }
        const UINT value =
            GetPrivateProfileIntW(section.Get(), key.Get(), defaultValue, file.Get());
        KeepPlatformError();
        return value;
    } catch (...) {
        Fail(SKARVEL_SYSTEM_ERROR, ERROR_NOT_ENOUGH_MEMORY);
        return static_cast<unsigned int>(defaultValue);
    }
}

extern "C" int skarvel_WritePrivateProfileStringA(const char* appName, const char* keyName,
                                                  const char* string, const char* fileName)
{
    try {
        const StoreArgument section(appName), key(keyName), value(string), file(fileName);
        if (!AllValid({&section, &key, &value, &file})) {
            return FALSE;
        }
        const BOOL written = Write(section.Get(), key.Get(), value.Get(), file.Get());
        KeepPlatformError();
        return written;
    } catch (...) {
        Fail(SKARVEL_SYSTEM_ERROR, ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
}

#else

extern "C" unsigned long skarvel_GetPrivateProfileStringA(const char* appName, const char* keyName,
                                                          const char* defaultText,
                                                          char* returnedString, unsigned long size,
                                                          const char* fileName)
{
    const DWORD length =
        GetPrivateProfileStringA(appName, keyName, defaultText, returnedString, size, fileName);
    KeepPlatformError();
    return length;
}

extern "C" unsigned int skarvel_GetPrivateProfileIntA(const char* appName, const char* keyName,
                                                      int defaultValue, const char* fileName)
{
    const UINT value = GetPrivateProfileIntA(appName, keyName, defaultValue, fileName);
    KeepPlatformError();
    return value;
}

extern "C" int skarvel_WritePrivateProfileStringA(const char* appName, const char* keyName,
                                                  const char* string, const char* fileName)
{
    const BOOL written = WritePrivateProfileStringA(appName, keyName, string, fileName);
    KeepPlatformError();
    return written;
}

#endif
