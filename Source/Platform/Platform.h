// The operating-system services the library uses, under their Win32 names.
//
// On Windows these are the system's own functions. Elsewhere the declarations
// below are implemented under Source/Platform/Posix with the same contracts, so
// the library's code is the same on every platform.
#pragma once

#if defined(_WIN32)

#include <windows.h>
#include <shlwapi.h>

#else

#include <cstdint>

typedef int BOOL;
typedef int INT;
typedef unsigned int UINT;
typedef unsigned long DWORD;
typedef char* LPSTR;
typedef const char* LPCSTR;
typedef void* HANDLE;
typedef HANDLE HMODULE;
typedef struct _SECURITY_ATTRIBUTES* LPSECURITY_ATTRIBUTES;

#define WINAPI

#define TRUE 1
#define FALSE 0
#define MAX_PATH 260

#define INVALID_HANDLE_VALUE ((HANDLE)(intptr_t)-1)

#define GENERIC_READ 0x80000000UL
#define GENERIC_WRITE 0x40000000UL
#define OPEN_ALWAYS 4UL
#define FILE_ATTRIBUTE_NORMAL 0x00000080UL

#define ERROR_SUCCESS 0UL
#define ERROR_FILE_NOT_FOUND 2UL
#define ERROR_PATH_NOT_FOUND 3UL
#define ERROR_TOO_MANY_OPEN_FILES 4UL
#define ERROR_ACCESS_DENIED 5UL
#define ERROR_INVALID_HANDLE 6UL
#define ERROR_NOT_ENOUGH_MEMORY 8UL
#define ERROR_WRITE_FAULT 29UL
#define ERROR_READ_FAULT 30UL
#define ERROR_SHARING_VIOLATION 32UL
#define ERROR_HANDLE_DISK_FULL 39UL
#define ERROR_INVALID_PARAMETER 87UL
#define ERROR_DISK_FULL 112UL
#define ERROR_INSUFFICIENT_BUFFER 122UL
#define ERROR_INVALID_NAME 123UL
#define ERROR_MOD_NOT_FOUND 126UL
#define ERROR_ALREADY_EXISTS 183UL
#define ERROR_FILENAME_EXCED_RANGE 206UL

extern "C" {

HMODULE WINAPI GetModuleHandleA(LPCSTR lpModuleName);
DWORD WINAPI GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize);
BOOL WINAPI PathRemoveFileSpecA(LPSTR pszPath);

HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                          LPSECURITY_ATTRIBUTES lpSecurityAttributes,
                          DWORD dwCreationDisposition, DWORD dwFlagsAndAttributes,
                          HANDLE hTemplateFile);
DWORD WINAPI GetLastError(void);
void WINAPI SetLastError(DWORD dwErrCode);
BOOL WINAPI CloseHandle(HANDLE hObject);

DWORD WINAPI GetPrivateProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpDefault,
                                      LPSTR lpReturnedString, DWORD nSize,
                                      LPCSTR lpFileName);
UINT WINAPI GetPrivateProfileIntA(LPCSTR lpAppName, LPCSTR lpKeyName, INT nDefault,
                                  LPCSTR lpFileName);
BOOL WINAPI WritePrivateProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpString,
                                       LPCSTR lpFileName);

}  // extern "C"

#endif
