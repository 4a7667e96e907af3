// Following symbolic links to the file a path finally names.
#pragma once

#include <string>

namespace skarvel {

// Follows symbolic links in the last component of `path`, so that a file reached
// through a link is created and replaced at its target while the link stays. A link
// is followed only where the kernel would follow it for this process: with
// fs.protected_symlinks set, not another user's link in a sticky world-writable
// directory (EACCES), so that reads, which the kernel resolves, and writes reach the
// same file. The final file need not exist. False, with errno set, on a read error, a
// refused link or a chain of links too long to follow.
bool ResolveFinalPath(const char* path, std::string& finalPath);

// The directory part of a path ("." for a bare name, "/" for the root's entries).
std::string DirectoryOf(const std::string& path);

// The last component of a path.
std::string BaseNameOf(const std::string& path);

}  // namespace skarvel
