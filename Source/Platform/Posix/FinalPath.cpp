#include "FinalPath.h"

#include <fcntl.h>
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

// Whether the kernel guards links in sticky world-writable directories. When the setting
// cannot be read, it is taken as on, the default of every current distribution.
bool LinksAreProtected()
{
    const int fd = open("/proc/sys/fs/protected_symlinks", O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return true;
    }
    char value = '1';
    const bool got = read(fd, &value, 1) == 1;
    close(fd);
    return !got || value != '0';
}

// The kernel's rule for following the link at `path`, whose status is `link`: refused only
// for another user's link in a sticky world-writable directory that user does not own.
bool MayFollow(const std::string& path, const struct stat& link)
{
    const uid_t follower = geteuid();
    if (link.st_uid == follower) {
        return true;
    }
    struct stat directory;
    if (stat(DirectoryOf(path).c_str(), &directory) != 0) {
        return true;  // the kernel's own walk will answer for it
    }
    const mode_t shared = S_ISVTX | S_IWOTH;
    if ((directory.st_mode & shared) != shared || directory.st_uid == link.st_uid) {
        return true;
    }
    return !LinksAreProtected();
}

}  // namespace

std::string DirectoryOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string BaseNameOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

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
        if (!MayFollow(finalPath, status)) {
            errno = EACCES;
            return false;
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
