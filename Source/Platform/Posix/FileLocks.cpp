#include "FileLocks.h"

#include <fcntl.h>
#include <sys/file.h>

#include <cerrno>
#include <utility>

namespace skarvel {
namespace {

bool Flock(int fd, int operation)
{
    while (flock(fd, operation) != 0) {
        if (errno != EINTR) {
            return false;
        }
    }
    return true;
}

// One fcntl() byte-range request on the open file description; EINTR retried.
bool Range(int fd, int command, short type, off_t offset)
{
    struct flock request = {};
    request.l_type = type;
    request.l_whence = SEEK_SET;
    request.l_start = offset;
    request.l_len = 1;
    while (fcntl(fd, command, &request) != 0) {
        if (errno != EINTR) {
            return false;
        }
    }
    return true;
}

short TypeOf(ByteLock::Mode mode)
{
    return mode == ByteLock::Mode::Shared ? F_RDLCK : F_WRLCK;
}

}  // namespace

bool LockWholeFile(int fd)
{
    return Flock(fd, LOCK_EX);
}

bool TryLockWholeFile(int fd)
{
    return Flock(fd, LOCK_EX | LOCK_NB);
}

void UnlockWholeFile(int fd)
{
    Flock(fd, LOCK_UN);
}

ByteLock::ByteLock(int fd, off_t offset, Mode mode)
{
    if (Range(fd, F_OFD_SETLKW, TypeOf(mode), offset)) {
        fd_ = fd;
        offset_ = offset;
    }
}

ByteLock::ByteLock(ByteLock&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), offset_(other.offset_)
{
}

ByteLock& ByteLock::operator=(ByteLock&& other) noexcept
{
    Release();
    fd_ = std::exchange(other.fd_, -1);
    offset_ = other.offset_;
    return *this;
}

ByteLock ByteLock::TryTake(int fd, off_t offset, Mode mode)
{
    ByteLock lock;
    if (Range(fd, F_OFD_SETLK, TypeOf(mode), offset)) {
        lock.fd_ = fd;
        lock.offset_ = offset;
    }
    return lock;
}

void ByteLock::Release()
{
    if (fd_ >= 0) {
        Range(fd_, F_OFD_SETLK, F_UNLCK, offset_);
        fd_ = -1;
    }
}

}  // namespace skarvel
