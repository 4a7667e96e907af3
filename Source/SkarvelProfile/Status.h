// The interface's answers: statuses, and the error code each failure leaves.
#pragma once

#include "Platform.h"
#include "skarvel_profile.h"

namespace skarvel::profile {

// Leaves `code` for skarvel_GetLastError() and, as an errno value, in errno; answers
// `status`.
skarvel_status Fail(skarvel_status status, DWORD code);

// Fail() for a null pointer, or a name, text or path the interface refuses.
skarvel_status InvalidArgument();

// Fail() for text that is no UTF-8, which Windows cannot convert.
skarvel_status NotUtf8();

// Fail() for a store call's failure code. A missing file or directory means nothing
// was found for a read, where it is a refusal of the system for a write.
skarvel_status FailFromStore(DWORD code, bool reading);

// Takes the platform's last error as what skarvel_GetLastError() answers.
void KeepPlatformError();

// Runs `call`, answering SYSTEM_ERROR for memory the C++ library could not have: no
// exception crosses the C interface.
template <typename Call> skarvel_status Guarded(Call call) noexcept
{
    try {
        return call();
    } catch (...) {
        return Fail(SKARVEL_SYSTEM_ERROR, ERROR_NOT_ENOUGH_MEMORY);
    }
}

}  // namespace skarvel::profile
