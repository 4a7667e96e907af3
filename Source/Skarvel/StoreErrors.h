// What a failed store call leaves: telling a read that failed from one that found
// nothing, and the errno value for the store's Win32 error codes.
#pragma once

#include "Platform.h"

namespace skarvel {

// Win32 codes the interfaces report that Platform.h does not name on every platform.
constexpr DWORD kErrorInvalidData = 13;
constexpr DWORD kErrorNoUnicodeTranslation = 1113;

// Clears the thread's last error, so that StoreFailureSinceMark() can tell whether a
// profile call made since has failed. A read answers the same for a missing key and
// for a file it could not read; only the last error tells them apart, and a read that
// succeeds leaves it as it was.
void MarkLastError();

// The code a failed profile call left since MarkLastError(), or ERROR_SUCCESS when
// none failed.
DWORD StoreFailureSinceMark();

// The errno value for a Win32 error code: ENOENT for a missing file or directory,
// EACCES, ENOSPC, EINVAL, ENAMETOOLONG, ...; 0 for ERROR_SUCCESS, and EIO for codes
// with no closer match.
int ErrnoFromWin32(DWORD code);

// The errno value for a read that delivered nothing after MarkLastError(): the
// store's failure, or ENOENT when the store found no value.
int ErrnoForEmptyRead();

}  // namespace skarvel
