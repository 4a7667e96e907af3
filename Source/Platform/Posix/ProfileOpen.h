// Opening a settings file as Windows opens it: the one place that decides which files the
// store may read and write.
#pragma once

#include <sys/stat.h>

#include <string>

namespace skarvel {

// Opens the file that `path` names for reading, links followed, and gives its status. Refuses
// what Windows will not read as a profile: a directory or any other file that is not a regular
// file. Answers the descriptor, or -1 with the thread's last error set.
int OpenProfileForReading(const char* path, struct stat& status);

// Opens the file that `path` names, links followed as ResolveFinalPath follows them, for
// reading and writing, and creates it empty when it is missing (never its directory). Refuses
// what Windows refuses a writer: a directory or any other file that is not a regular file,
// and a read-only file (one without any write permission bit), even to root.
// Answers the descriptor, with the path of the file itself in `finalPath`, its status, and
// whether this call created it; or -1 with the thread's last error set.
int OpenProfileForWriting(const char* path, std::string& finalPath, struct stat& status,
                          bool& created);

}  // namespace skarvel
