#include "FileReplacement.h"

#include <fcntl.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>

#include "CompanionFiles.h"
#include "Descriptor.h"
#include "FileLocks.h"
#include "WriterQueue.h"

namespace skarvel {
namespace {

constexpr mode_t kPermissionBits = 07777;
// Names tried before giving up: another file at a random name is all but impossible.
constexpr int kTemporaryAttempts = 16;

// Writes the pieces in order with as few calls as the system allows; a call that writes only
// part of them leaves the rest, from inside a piece if need be, to the next.
bool WritePieces(int fd, const BytePieces& pieces)
{
    std::vector<iovec> vectors;
    vectors.reserve(pieces.size());
    for (const std::string_view piece : pieces) {
        if (!piece.empty()) {
            vectors.push_back({const_cast<char*>(piece.data()), piece.size()});
        }
    }
    size_t next = 0;
    while (next < vectors.size()) {
        const size_t count = std::min<size_t>(vectors.size() - next, IOV_MAX);
        const ssize_t put = writev(fd, &vectors[next], static_cast<int>(count));
        if (put < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        size_t done = static_cast<size_t>(put);
        while (next < vectors.size() && done >= vectors[next].iov_len) {
            done -= vectors[next].iov_len;
            ++next;
        }
        if (done > 0) {
            vectors[next].iov_base = static_cast<char*>(vectors[next].iov_base) + done;
            vectors[next].iov_len -= done;
        }
    }
    return true;
}

off_t TotalSize(const BytePieces& pieces)
{
    off_t size = 0;
    for (const std::string_view piece : pieces) {
        size += static_cast<off_t>(piece.size());
    }
    return size;
}

bool SameOwnerAndMode(const struct stat& a, const struct stat& b)
{
    return a.st_uid == b.st_uid && a.st_gid == b.st_gid &&
           (a.st_mode & kPermissionBits) == (b.st_mode & kPermissionBits);
}

// Removes a temporary that will not be renamed, keeping errno as the failure left it.
Replacement Abandon(const std::string& temporary, WriterTurn& turn, Replacement outcome)
{
    const int error = errno;
    unlink(temporary.c_str());
    turn.ForgetTemporary();
    errno = error;
    return outcome;
}

// Fills the temporary and gives it the original's bits, owner and group. NotPossible when
// the owner or group could not be given; false, with errno, on a write error.
Replacement Fill(int fd, const struct stat& original, const BytePieces& bytes)
{
    if (!WritePieces(fd, bytes) || fchmod(fd, original.st_mode & kPermissionBits) != 0) {
        return Replacement::Failed;
    }
    // EPERM: a group this user is not in, which the check below leaves to a rewrite in place.
    if (fchown(fd, original.st_uid, original.st_gid) != 0 && errno != EPERM) {
        return Replacement::Failed;
    }
    struct stat made;
    if (fstat(fd, &made) != 0) {
        return Replacement::Failed;
    }
    if (!SameOwnerAndMode(made, original)) {
        return Replacement::NotPossible;
    }
    return fsync(fd) == 0 ? Replacement::Done : Replacement::Failed;
}

}  // namespace

Replacement ReplaceFile(const std::string& finalPath, const struct stat& original,
                        const BytePieces& bytes, WriterTurn& turn)
{
    const uid_t user = geteuid();
    if (user != 0 && original.st_uid != user) {
        return Replacement::NotPossible;
    }
    for (int attempt = 0; attempt < kTemporaryAttempts; ++attempt) {
        const std::string tag = RandomTemporaryTag();
        if (tag.empty()) {
            return Replacement::NotPossible;
        }
        const std::string temporary = TemporaryPathFor(finalPath, tag);
        turn.NoteTemporary(tag);
        Descriptor fd(open(temporary.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                           S_IRUSR | S_IWUSR));
        if (!fd.IsOpen()) {
            if (errno == EEXIST) {
                continue;
            }
            turn.ForgetTemporary();
            return errno == EACCES || errno == EPERM ? Replacement::NotPossible
                                                     : Replacement::Failed;
        }
        const Replacement filled = Fill(fd.Get(), original, bytes);
        if (filled != Replacement::Done) {
            return Abandon(temporary, turn, filled);
        }
        if (rename(temporary.c_str(), finalPath.c_str()) != 0) {
            // A sticky directory refuses to replace another user's entry, and a mount point
            // cannot be replaced at all.
            const bool inPlaceOnly = errno == EPERM || errno == EACCES || errno == EBUSY;
            return Abandon(temporary, turn,
                           inPlaceOnly ? Replacement::NotPossible : Replacement::Failed);
        }
        turn.ForgetTemporary();
        return Replacement::Done;
    }
    errno = EEXIST;
    return Replacement::Failed;
}

void SyncDirectory(const std::string& directory)
{
    Descriptor fd(open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.IsOpen()) {
        fsync(fd.Get());
    }
}

bool RewriteInPlace(int fd, const struct stat& original, const BytePieces& bytes)
{
    const ByteLock readersWait(fd, kRewriteMark, ByteLock::Mode::Exclusive);
    if (!readersWait.Held()) {
        return false;
    }
    const off_t size = TotalSize(bytes);
    if (size > original.st_size &&
        fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, size) != 0 && errno != EOPNOTSUPP &&
        errno != ENOSYS) {
        return false;
    }
    return lseek(fd, 0, SEEK_SET) == 0 && WritePieces(fd, bytes) && ftruncate(fd, size) == 0 &&
           fsync(fd) == 0;
}

void RemoveLeftoverTemporaries(const std::string& finalPath, WriterTurn& turn)
{
    const std::string tag = turn.NotedTemporary();
    if (!tag.empty()) {
        RemoveOwnLeftover(TemporaryPathFor(finalPath, tag));
        turn.ForgetTemporary();
    }
    RemoveOwnLeftover(LegacyTemporaryPathFor(finalPath));
}

}  // namespace skarvel
