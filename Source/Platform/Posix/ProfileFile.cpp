#include "ProfileFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <ctime>
#include <utility>
#include <vector>

#include "FinalPath.h"
#include "LastError.h"
#include "ProfileCache.h"

namespace skarvel {
namespace {

// A writer that keeps finding the file replaced under it gives up after this
// many tries rather than spinning for ever.
constexpr int kLockAttempts = 1000;

constexpr mode_t kAnyWriteBit = S_IWUSR | S_IWGRP | S_IWOTH;
constexpr mode_t kPermissionBits = 07777;
constexpr mode_t kNewFileMode = 0666;  // narrowed by the umask, as any new file
constexpr size_t kMaxNameLength = 255;
const char kTemporarySuffix[] = ".skarvel-tmp";

// Closes a descriptor when it goes out of scope.
class Descriptor {
public:
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor()
    {
        if (fd_ >= 0) {
            close(fd_);
        }
    }

    int Get() const { return fd_; }
    int Release()
    {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }

private:
    int fd_;
};

// Records errno as the thread's last error and answers `result`.
template <typename T>
T FailWithErrno(T result)
{
    SetLastErrorFromErrno();
    return result;
}

bool SameFile(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Reads from `fd` to its end, whatever the size; false with errno set on error. The bytes go
// straight into `bytes`, sized by the status the caller took of the open file and grown
// should the file have grown since, so that a large file takes a few calls and no copy.
bool ReadToEnd(int fd, const struct stat& status, std::string& bytes)
{
    constexpr std::size_t kLeastGrowth = 4096;
    std::size_t size = 0;
    // One byte more than the status says shows the end at once.
    bytes.resize(static_cast<std::size_t>(std::max<off_t>(status.st_size, 0)) + 1);
    for (;;) {
        if (size == bytes.size()) {
            bytes.resize(std::max(bytes.size() * 2, kLeastGrowth));
        }
        const ssize_t got = read(fd, &bytes[size], bytes.size() - size);
        if (got == 0) {
            bytes.resize(size);
            return true;
        }
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        size += static_cast<std::size_t>(got);
    }
}

// Writes the pieces in order with as few calls as the system allows; a call that writes only
// part of them leaves the rest, from inside a piece if need be, to the next.
bool WriteAll(int fd, const TextPieces& pieces)
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

// The file's new bytes for the edited text, in the file's form: a narrow text is written
// from its own pieces after its mark, a UTF-16 one is encoded whole into `encoded`.
TextPieces FileBytes(const DecodedText& form, TextPieces text, std::string& encoded)
{
    if (form.encoding == FileEncoding::Utf16Le || form.encoding == FileEncoding::Utf16Be) {
        encoded = EncodeProfileText(form, JoinPieces(text));
        return {encoded};
    }
    text.insert(text.begin(), ByteOrderMark(form.encoding));
    return text;
}

bool LockExclusive(int fd)
{
    while (flock(fd, LOCK_EX) != 0) {
        if (errno != EINTR) {
            return false;
        }
    }
    return true;
}

// True when `path` still names the file open at `fd`.
bool PathNamesFile(const std::string& path, int fd)
{
    struct stat named;
    struct stat open;
    return stat(path.c_str(), &named) == 0 && fstat(fd, &open) == 0 && SameFile(named, open);
}

std::string DirectoryOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

// One temporary name per file: a writer killed half-way leaves it behind, and
// the next writer of the same file takes it over instead of adding another.
// Names too long to take the suffix use a hash of the name instead.
std::string TemporaryPathFor(const std::string& path)
{
    const size_t slash = path.rfind('/');
    const std::string directory = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    const std::string name = path.substr(directory.size());
    if (1 + name.size() + sizeof kTemporarySuffix - 1 <= kMaxNameLength) {
        return directory + "." + name + kTemporarySuffix;
    }
    uint64_t hash = 14695981039346656037ULL;  // FNV-1a
    for (const char c : name) {
        hash = (hash ^ static_cast<uint8_t>(c)) * 1099511628211ULL;
    }
    return directory + "." + std::to_string(hash) + kTemporarySuffix;
}

// Opens and locks the temporary file for `path`. Writers of one file serialise
// on the file's own lock, so the temporary is normally free; its lock covers
// the case of a file replaced by an outside program while a writer held the old
// one's lock. After locking, the name must still be this file: the writer before
// may have renamed it into place. -1 with errno set on failure.
int LockTemporary(const std::string& temporaryPath)
{
    for (int attempt = 0; attempt < kLockAttempts; ++attempt) {
        Descriptor fd(open(temporaryPath.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW,
                           S_IRUSR | S_IWUSR));
        if (fd.Get() < 0 || !LockExclusive(fd.Get())) {
            return -1;
        }
        struct stat named;
        struct stat open;
        if (lstat(temporaryPath.c_str(), &named) == 0 && fstat(fd.Get(), &open) == 0 &&
            SameFile(named, open)) {
            return fd.Release();
        }
    }
    errno = EAGAIN;
    return -1;
}

// A writer killed before its rename leaves the temporary behind. A write that
// changes the file renames it away; one that changes nothing removes it here,
// under its lock, so that no writer still filling it loses it.
void RemoveStaleTemporary(const std::string& temporaryPath)
{
    struct stat status;
    if (lstat(temporaryPath.c_str(), &status) != 0) {
        return;
    }
    Descriptor temporary(LockTemporary(temporaryPath));
    if (temporary.Get() >= 0) {
        unlink(temporaryPath.c_str());
    }
}

// Makes the rename that replaced a file in `directory` durable.
void SyncDirectory(const std::string& directory)
{
    Descriptor fd(open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.Get() >= 0) {
        fsync(fd.Get());
    }
}

// Opens the file at `path` for writing, creating it when missing, and refuses
// what Windows would refuse: directories, other non-regular files and read-only
// files. -1 with the last error set on failure.
int OpenForWriting(const std::string& path, struct stat& status)
{
    Descriptor fd(open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NONBLOCK, kNewFileMode));
    if (fd.Get() < 0) {
        // With creation allowed, a missing entry can only be a missing directory.
        SetLastErrorCode(errno == ENOENT ? ERROR_PATH_NOT_FOUND : Win32ErrorFromErrno(errno));
        return -1;
    }
    if (fstat(fd.Get(), &status) != 0) {
        return FailWithErrno(-1);
    }
    if (!S_ISREG(status.st_mode) || (status.st_mode & kAnyWriteBit) == 0) {
        SetLastErrorCode(ERROR_ACCESS_DENIED);
        return -1;
    }
    return fd.Release();
}

// Writes `bytes` into the locked temporary, with the replaced file's permission
// bits and owner, and makes it durable before it is renamed into place.
bool FillTemporary(int fd, const TextPieces& bytes, const struct stat& original)
{
    if (ftruncate(fd, 0) != 0 || !WriteAll(fd, bytes)) {
        return false;
    }
    if (fchmod(fd, original.st_mode & kPermissionBits) != 0) {
        return false;
    }
    // Only a privileged writer can give the file back to another owner; anyone
    // else is its owner already, or may not change the group.
    if (fchown(fd, original.st_uid, original.st_gid) != 0 && errno != EPERM) {
        return false;
    }
    return fsync(fd) == 0;
}

}  // namespace

// A kept parse answers when the file's status is what it was when it was read; otherwise the
// file is read afresh, with the time the read began noted before anything of it is looked at.
// Only a parse that will be kept is indexed: a file read afresh is searched once.
std::shared_ptr<const ProfileContent> LoadProfile(const char* path)
{
    ProfileCache& cache = ProfileCache::Instance();
    struct stat status;
    if (stat(path, &status) == 0) {
        if (auto kept = cache.Find(status)) {
            return kept;
        }
    }
    timespec readStart;
    clock_gettime(CLOCK_REALTIME, &readStart);
    Descriptor fd(open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.Get() < 0) {
        return FailWithErrno(nullptr);
    }
    if (fstat(fd.Get(), &status) != 0) {
        return FailWithErrno(nullptr);
    }
    if (!S_ISREG(status.st_mode)) {
        SetLastErrorCode(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    std::string bytes;
    if (!ReadToEnd(fd.Get(), status, bytes)) {
        return FailWithErrno(nullptr);
    }
    const IniDocument parsed(DecodeProfileBytes(std::move(bytes)).text);
    const bool settled = IsSettled(status, readStart);
    // A parse read once needs no index.
    auto content = std::make_shared<ProfileContent>();
    content->document =
        parsed.Pack(content->storage, settled ? IniDocument::kIndexedRecords : SIZE_MAX);
    if (settled) {
        cache.Keep(path, status, content);
    } else {
        cache.Forget(path);
    }
    return content;
}

void ForgetLoadedProfiles()
{
    ProfileCache::Instance().Clear();
}

// The lock is flock(), not fcntl(): fcntl locks belong to the process, so a
// second descriptor of the same file closed by another thread (or another object
// on the same file) would drop them, and they do not exclude threads of one
// process from each other. A writer replaces the file by rename, so the lock
// it waited on may belong to a file that is no longer at the path: after locking,
// it checks that the path still names the locked file and starts again if not.
BOOL EditProfile(const char* path, const ProfileParse& parse, const ProfileEdit& edit)
{
    std::string finalPath;
    if (!ResolveFinalPath(path, finalPath)) {
        return FailWithErrno(FALSE);
    }
    const std::string temporaryPath = TemporaryPathFor(finalPath);
    for (int attempt = 0; attempt < kLockAttempts; ++attempt) {
        struct stat status;
        Descriptor file(OpenForWriting(finalPath, status));
        if (file.Get() < 0) {
            return FALSE;
        }
        if (!LockExclusive(file.Get())) {
            return FailWithErrno(FALSE);
        }
        if (!PathNamesFile(finalPath, file.Get())) {
            continue;
        }
        std::string bytes;
        if (!ReadToEnd(file.Get(), status, bytes)) {
            return FailWithErrno(FALSE);
        }
        DecodedText decoded = DecodeProfileBytes(std::move(bytes));
        const IniDocument document = parse(std::move(decoded.text));
        TextPieces edited;
        if (!edit(document, edited)) {
            RemoveStaleTemporary(temporaryPath);
            return TRUE;
        }
        Descriptor temporary(LockTemporary(temporaryPath));
        if (temporary.Get() < 0) {
            return FailWithErrno(FALSE);
        }
        if (!PathNamesFile(finalPath, file.Get())) {
            continue;  // replaced from outside while we waited for the temporary
        }
        std::string encoded;
        if (!FillTemporary(temporary.Get(), FileBytes(decoded, std::move(edited), encoded),
                           status) ||
            rename(temporaryPath.c_str(), finalPath.c_str()) != 0) {
            SetLastErrorFromErrno();
            unlink(temporaryPath.c_str());
            return FALSE;
        }
        SyncDirectory(DirectoryOf(finalPath));
        return TRUE;
    }
    SetLastErrorCode(ERROR_SHARING_VIOLATION);
    return FALSE;
}

}  // namespace skarvel
