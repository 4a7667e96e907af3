#include "StoreCalls.h"

#include <limits>
#include <new>

namespace skarvel::profile {
namespace {

constexpr DWORD kFirstCapacity = 256;

}  // namespace

#if defined(_WIN32)

namespace {

// UTF-16 of UTF-8 text; false for text that is no UTF-8.
bool Widen(const char* text, StoreString& wide)
{
    const int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, -1, nullptr, 0);
    if (length == 0) {
        return false;
    }
    wide.resize(static_cast<size_t>(length));
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, -1, &wide[0], length);
    wide.pop_back();  // the terminator, which c_str() supplies
    return true;
}

DWORD ReadInto(const StoreChar* section, const StoreChar* key, const StoreChar* defaultText,
               StoreChar* buffer, DWORD size, const StoreChar* path)
{
    return GetPrivateProfileStringW(section, key, defaultText, buffer, size, path);
}

// Windows writes a file it creates in the ANSI code page, which loses every character
// outside it, but keeps a UTF-16 file in UTF-16. So a value written to a missing file
// starts the file as UTF-16; failures are left for the write itself to report.
void StartAsUtf16(const StoreChar* path)
{
    const HANDLE file =
        CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return;
    }
    const unsigned char byteOrderMark[] = {0xFF, 0xFE};
    DWORD written = 0;
    WriteFile(file, byteOrderMark, sizeof byteOrderMark, &written, nullptr);
    CloseHandle(file);
}

}  // namespace

StoreArgument::StoreArgument(const char* text)
{
    if (text != nullptr) {
        valid_ = Widen(text, converted_);
        text_ = converted_.c_str();
    }
}

std::string FromStore(const StoreString& text)
{
    if (text.empty()) {
        return std::string();
    }
    const int wideLength = static_cast<int>(text.size());
    const int length =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), wideLength, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), wideLength, &utf8[0], length, nullptr, nullptr);
    return utf8;
}

BOOL Write(const StoreChar* section, const StoreChar* key, const StoreChar* value,
           const StoreChar* path)
{
    if (section != nullptr && key != nullptr && value != nullptr && path != nullptr) {
        StartAsUtf16(path);
    }
    return WritePrivateProfileStringW(section, key, value, path);
}

#else

namespace {

DWORD ReadInto(const StoreChar* section, const StoreChar* key, const StoreChar* defaultText,
               StoreChar* buffer, DWORD size, const StoreChar* path)
{
    return GetPrivateProfileStringA(section, key, defaultText, buffer, size, path);
}

}  // namespace

StoreArgument::StoreArgument(const char* text) : text_(text)
{
}

std::string FromStore(const StoreString& text)
{
    return text;
}

BOOL Write(const StoreChar* section, const StoreChar* key, const StoreChar* value,
           const StoreChar* path)
{
    return WritePrivateProfileStringA(section, key, value, path);
}

#endif

StoreString ReadWhole(const StoreChar* section, const StoreChar* key, const StoreChar* defaultText,
                      const StoreChar* path)
{
    StoreString answer(kFirstCapacity, StoreChar());
    for (;;) {
        const DWORD size = static_cast<DWORD>(answer.size());
        const DWORD length = ReadInto(section, key, defaultText, &answer[0], size, path);
        if (length + 2 < size) {
            answer.resize(length);
            return answer;
        }
        if (size > std::numeric_limits<DWORD>::max() / 2) {
            throw std::bad_alloc();
        }
        answer.resize(answer.size() * 2);
    }
}

}  // namespace skarvel::profile
