// The running executable's path, and cutting a path to its directory.
#include <unistd.h>

#include <cstring>
#include <string>

#include "LastError.h"
#include "Platform.h"

namespace {

// Stands for the executable; only its address matters.
const char executableModule = 0;

// The target of /proc/self/exe, whatever its length; empty when it cannot be read.
std::string ExecutablePath()
{
    std::string path(256, '\0');
    for (;;) {
        const ssize_t length = readlink("/proc/self/exe", &path[0], path.size());
        if (length < 0) {
            skarvel::SetLastErrorFromErrno();
            return std::string();
        }
        if (static_cast<size_t>(length) < path.size()) {
            path.resize(static_cast<size_t>(length));
            return path;
        }
        path.resize(path.size() * 2);
    }
}

}  // namespace

extern "C" HMODULE WINAPI GetModuleHandleA(LPCSTR lpModuleName)
{
    if (lpModuleName != nullptr) {
        skarvel::SetLastErrorCode(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    return const_cast<char*>(&executableModule);
}

// As on Windows: the path cut to nSize - 1 characters and terminated, the answer
// nSize and ERROR_INSUFFICIENT_BUFFER when it did not fit, else its length.
extern "C" DWORD WINAPI GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize)
{
    if (hModule != nullptr && hModule != GetModuleHandleA(nullptr)) {
        skarvel::SetLastErrorCode(ERROR_MOD_NOT_FOUND);
        return 0;
    }
    const std::string path = ExecutablePath();
    if (path.empty()) {
        return 0;
    }
    if (nSize == 0 || lpFilename == nullptr) {
        skarvel::SetLastErrorCode(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    if (path.size() >= nSize) {
        memcpy(lpFilename, path.data(), nSize - 1);
        lpFilename[nSize - 1] = '\0';
        skarvel::SetLastErrorCode(ERROR_INSUFFICIENT_BUFFER);
        return nSize;
    }
    memcpy(lpFilename, path.c_str(), path.size() + 1);
    return static_cast<DWORD>(path.size());
}

// Removes the last component and the separator before it; the root keeps its
// separator. TRUE when anything was removed.
extern "C" BOOL WINAPI PathRemoveFileSpecA(LPSTR pszPath)
{
    if (pszPath == nullptr || pszPath[0] == '\0') {
        return FALSE;
    }
    char* separator = strrchr(pszPath, '/');
    if (separator == nullptr) {
        pszPath[0] = '\0';
        return TRUE;
    }
    if (separator == pszPath) {
        if (pszPath[1] == '\0') {
            return FALSE;
        }
        pszPath[1] = '\0';
        return TRUE;
    }
    *separator = '\0';
    return TRUE;
}
