// The commands, each a call or two of the C interface through its C++ layer.
#pragma once

#include "Arguments.h"

namespace skarvel::tool {

// Runs the request, printing what it finds on standard output and what failed on
// standard error; the exit status (ExitCode.h).
int Run(const Request& request);

}  // namespace skarvel::tool
