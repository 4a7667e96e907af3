// Construction of a settings object: the profile path and the creation probe.
#include "Skarvel.h"

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <type_traits>

#include "Platform.h"
#include "StoreErrors.h"

namespace {

const char kSeparator[] = "//";

// Appends `text` to the terminated string in `dest` (capacity `capacity`) only
// when all of it fits with the terminator; false, with `dest` unchanged, when not.
bool AppendWhole(char* dest, size_t capacity, const char* text)
{
    const size_t used = strnlen(dest, capacity);
    const size_t room = capacity - used;  // characters left, terminator included
    const size_t length = strnlen(text, room);
    if (length >= room) {
        return false;
    }
    memcpy(dest + used, text, length + 1);
    return true;
}

}  // namespace

CSkarvel::CSkarvel(char* fileName)
{
    // The host reads the fields through the inline accessors, so their order and
    // sizes are part of the library's binary interface.
    static_assert(std::is_standard_layout<CSkarvel>::value, "fields keep a plain layout");
    static_assert(offsetof(CSkarvel, m_bNewFile) == 0, "the flag comes first");
    static_assert(sizeof(m_hFile) == sizeof(HANDLE), "the handle field holds an OS handle");
    static_assert(offsetof(CSkarvel, m_hFile) < offsetof(CSkarvel, m_szPath),
                  "the handle precedes the path");

    m_bNewFile = false;
    m_hFile = INVALID_HANDLE_VALUE;
    memset(m_szPath, 0, sizeof m_szPath);

    char directory[kPathCapacity] = {};
    const DWORD length = GetModuleFileNameA(GetModuleHandleA(nullptr), directory, kPathCapacity);
    const DWORD moduleError = GetLastError();
    // A full buffer means the executable's path was cut: any directory taken
    // from it could name another place.
    if (length == 0 || length >= kPathCapacity || fileName == nullptr) {
        errno = fileName == nullptr ? EINVAL
                : length == 0       ? skarvel::ErrnoFromWin32(moduleError)
                                    : ENAMETOOLONG;
        return;
    }
    PathRemoveFileSpecA(directory);

    // Either the whole path fits or the object gets none: a cut name could
    // address another, existing file.
    if (!AppendWhole(m_szPath, kPathCapacity, directory) ||
        !AppendWhole(m_szPath, kPathCapacity, kSeparator) ||
        !AppendWhole(m_szPath, kPathCapacity, fileName)) {
        memset(m_szPath, 0, sizeof m_szPath);
        errno = ENAMETOOLONG;
        return;
    }

    HANDLE probe = CreateFileA(m_szPath, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    m_hFile = probe;
    const DWORD probeError = GetLastError();
    if (probeError == 0) {
        m_bNewFile = true;
    }
    CloseHandle(probe);
    if (probe == INVALID_HANDLE_VALUE) {
        errno = skarvel::ErrnoFromWin32(probeError);
    }
}

CSkarvel::~CSkarvel() = default;

CSkarvel& CSkarvel::operator=(const CSkarvel& other)
{
    m_bNewFile = other.m_bNewFile;
    m_hFile = other.m_hFile;
    memcpy(m_szPath, other.m_szPath, sizeof m_szPath);
    return *this;
}
