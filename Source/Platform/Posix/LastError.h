// The thread's last-error value, kept in Win32 codes.
#pragma once

#include "Platform.h"

namespace skarvel {

void SetLastErrorCode(DWORD code);

// The Win32 code that stands for a POSIX errno value; every errno is mapped here.
DWORD Win32ErrorFromErrno(int error);

// Records the Win32 code for the current errno.
void SetLastErrorFromErrno();

}  // namespace skarvel
