#include "ProfileFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <ctime>
#include <optional>
#include <utility>

#include "Descriptor.h"
#include "FileLocks.h"
#include "FileReplacement.h"
#include "FinalPath.h"
#include "LastError.h"
#include "ProfileCache.h"
#include "ProfileOpen.h"
#include "WriterQueue.h"

namespace skarvel {
namespace {

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

// True when `path` still names the file open at `fd`.
bool PathNamesFile(const std::string& path, int fd)
{
    struct stat named;
    struct stat open;
    return stat(path.c_str(), &named) == 0 && fstat(fd, &open) == 0 && SameFile(named, open);
}

}  // namespace

// A kept parse answers when the file's status is what it was when it was read; otherwise the
// file is read afresh, with the time the read began noted before anything of it is looked at.
// Only a parse that will be kept is indexed: a file read afresh is searched once. A writer
// that rewrites the file in place keeps readers out until it is done, so the read waits for
// it; a file replaced by rename needs no such wait.
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
    if (!fd.IsOpen()) {
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
    {
        const ByteLock rewrite(fd.Get(), kRewriteMark, ByteLock::Mode::Shared);
        if (!rewrite.Held() || fstat(fd.Get(), &status) != 0 ||
            !ReadToEnd(fd.Get(), status, bytes)) {
            return FailWithErrno(nullptr);
        }
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

namespace {

// The write under the writer's turn and the file's lock. A writer first waits for its turn,
// then takes the file's own lock. The turn keeps writers of this version in the order they
// came (see WriterQueue.h); the file's lock keeps out everything else that writes the file
// under it: earlier versions of the store, a writer without a turn, the creation probe. That
// lock is flock(), on the file's open description, for the reasons FileLocks.h gives. A
// writer replaces the file by rename, so the lock it waited on may belong to a file no longer
// at the path: after locking, it checks that the path still names the locked file and opens
// the new one if not, keeping its turn. `replacedIn` receives the directory of a file
// replaced by rename, whose entry is yet to be made durable.
BOOL EditLocked(const char* path, const ProfileParse& parse, const ProfileEdit& edit,
                std::string& replacedIn)
{
    std::optional<WriterTurn> turn;
    std::string turnPath;
    for (;;) {
        std::string finalPath;
        struct stat status;
        bool created = false;
        Descriptor file(OpenProfileForWriting(path, finalPath, status, created));
        if (!file.IsOpen()) {
            return FALSE;
        }
        if (!turn || turnPath != finalPath) {
            turn.reset();
            turn.emplace(finalPath, &status);
            turnPath = finalPath;
        }
        const WholeFileLock lock(file.Get());
        if (!lock.Held()) {
            return FailWithErrno(FALSE);
        }
        if (!PathNamesFile(finalPath, file.Get())) {
            continue;
        }
        std::string bytes;
        if (fstat(file.Get(), &status) != 0 || !ReadToEnd(file.Get(), status, bytes)) {
            return FailWithErrno(FALSE);
        }
        DecodedText decoded = DecodeProfileBytes(std::move(bytes));
        const IniDocument document = parse(std::move(decoded.text));
        RemoveLeftoverTemporaries(finalPath, *turn);
        TextPieces edited;
        if (!edit(document, edited)) {
            return TRUE;
        }
        std::string encoded;
        const TextPieces fileBytes = FileBytes(decoded, std::move(edited), encoded);
        switch (ReplaceFile(finalPath, status, fileBytes, *turn)) {
        case Replacement::Done:
            replacedIn = DirectoryOf(finalPath);
            return TRUE;
        case Replacement::Failed:
            return FailWithErrno(FALSE);
        case Replacement::NotPossible:
            break;
        }
        if (!RewriteInPlace(file.Get(), status, fileBytes)) {
            return FailWithErrno(FALSE);
        }
        return TRUE;
    }
}

}  // namespace

// The rename is made durable after the next writer was let in: flushing the directory is the
// slower of a replacement's two flushes, and the file is whole, old or new, either way. The
// call still answers only once its change is durable.
BOOL EditProfile(const char* path, const ProfileParse& parse, const ProfileEdit& edit)
{
    std::string replacedIn;
    const BOOL written = EditLocked(path, parse, edit, replacedIn);
    if (!replacedIn.empty()) {
        SyncDirectory(replacedIn);
    }
    return written;
}

}  // namespace skarvel
