// The public header compiles on its own, first in its file, and brings no
// operating-system header into the host.
#include "Skarvel.h"

#if defined(_WINDOWS_) || defined(_WINDOWS_H) || defined(_UNISTD_H) || defined(_FCNTL_H) || \
    defined(_SYS_STAT_H)
#error "the public header must not include operating-system headers"
#endif
