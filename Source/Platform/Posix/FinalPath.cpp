#include "FinalPath.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace skarvel {
namespace {

// The most links followed before giving up, as the kernel does.
constexpr int kMaxLinkHops = 40;

// Reads the link at `path`; false with errno set when it cannot.
bool ReadLink(const std::string& path, std::string& target)
{
    std::string buffer(256, '\0');
    for (;;) {
        const ssize_t length = readlink(path.c_str(), &buffer[0], buffer.size());
        if (length < 0) {
            return false;
        }
        if (static_cast<size_t>(length) < buffer.size()) {
            buffer.resize(static_cast<size_t>(length));
            target = buffer;
            return true;
        }
        buffer.resize(buffer.size() * 2);
    }
}

}  // namespace

bool ResolveFinalPath(const char* path, std::string& finalPath)
{
    finalPath = path;
    for (int hop = 0; hop <= kMaxLinkHops; ++hop) {
        struct stat status;
        if (lstat(finalPath.c_str(), &status) != 0) {
            // A missing file is named by the path as it stands.
            return errno == ENOENT;
        }
        if (!S_ISLNK(status.st_mode)) {
            return true;
        }
        std::string target;
        if (!ReadLink(finalPath, target)) {
            return false;
        }
        if (!target.empty() && target[0] == '/') {
            finalPath = target;
        } else {
            const size_t slash = finalPath.rfind('/');
            finalPath = (slash == std::string::npos ? std::string() : finalPath.substr(0, slash + 1)) +
                        target;
        }
    }
    errno = ELOOP;
    return false;
}

}  // namespace skarvel
