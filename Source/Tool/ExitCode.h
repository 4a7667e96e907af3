// The tool's exit statuses, which scripts test: documented in --help, skarvel.1 and the
// README, and kept as they are in every later version.
#pragma once

namespace skarvel::tool {

enum ExitCode : int {
    kDone = 0,
    kNotThere = 1,   // no such key, section or file; with --default, get answers kDone
    kUsage = 2,      // the command line, or a name or value the store refuses
    kWrongType = 3,  // the value is not of the type get asked for
    kRefused = 4,    // the file or the system refused: permissions, a missing directory, space
};

}  // namespace skarvel::tool
