// Following symbolic links to the file a path finally names.
#pragma once

#include <string>

namespace skarvel {

// Follows symbolic links in the last component of `path`, so that a file reached
// through a link is created and replaced at its target while the link stays.
// The final file need not exist. False, with errno set, on a read error or a
// chain of links too long to follow.
bool ResolveFinalPath(const char* path, std::string& finalPath);

}  // namespace skarvel
