#include "WriterQueue.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "CompanionFiles.h"

namespace skarvel {
namespace {

// The lock file's bytes: the next ticket (8 bytes, little-endian), then the tag of the
// temporary its holder is writing. Its lock bytes lie far beyond them: the one that guards
// the drawing of tickets, then one for each ticket, reused after 2^40 tickets.
constexpr off_t kTicketOffset = 0;
constexpr off_t kTemporaryTagOffset = 8;
constexpr off_t kDrawingLock = off_t{1} << 61;
constexpr off_t kFirstTicketLock = kDrawingLock + 1;
constexpr std::uint64_t kTicketLocks = std::uint64_t{1} << 40;
// Tickets whose byte is somehow held (a counter that another program changed) are skipped;
// after this many the writer goes without a turn.
constexpr int kTicketsTried = 64;
constexpr int kOpenAttempts = 8;

constexpr mode_t kReadWrite[] = {S_IRUSR | S_IWUSR, S_IRGRP | S_IWGRP, S_IROTH | S_IWOTH};
constexpr mode_t kWrite[] = {S_IWUSR, S_IWGRP, S_IWOTH};

off_t TicketLock(std::uint64_t ticket)
{
    return kFirstTicketLock + static_cast<off_t>(ticket % kTicketLocks);
}

// Exactly the users who may write the settings file may use its lock file, so that a user
// who may only read it cannot hold up its writers.
mode_t LockModeFor(const struct stat& settings)
{
    mode_t mode = 0;
    for (int who = 0; who < 3; ++who) {
        if ((settings.st_mode & kWrite[who]) != 0) {
            mode |= kReadWrite[who];
        }
    }
    return mode;
}

// A lock file is trusted when it is a plain file with one name that belongs to this user, to
// root, to the settings file's owner, or to someone the settings file lets write it. Anything
// else at that name was planted and is left alone: a writer could be held up by it for ever.
bool IsTrusted(const struct stat& lock, const struct stat* settings)
{
    if (!S_ISREG(lock.st_mode) || lock.st_nlink != 1) {
        return false;
    }
    if (lock.st_uid == geteuid() || lock.st_uid == 0) {
        return true;
    }
    if (settings == nullptr) {
        return false;
    }
    return lock.st_uid == settings->st_uid || (settings->st_mode & S_IWOTH) != 0 ||
           ((settings->st_mode & S_IWGRP) != 0 && lock.st_gid == settings->st_gid);
}

bool ReadAll(int fd, void* bytes, std::size_t size, off_t offset)
{
    std::size_t done = 0;
    while (done < size) {
        const ssize_t got = pread(fd, static_cast<char*>(bytes) + done, size - done,
                                  offset + static_cast<off_t>(done));
        if (got <= 0) {
            if (got < 0 && errno == EINTR) {
                continue;
            }
            return false;
        }
        done += static_cast<std::size_t>(got);
    }
    return true;
}

bool WriteAll(int fd, const void* bytes, std::size_t size, off_t offset)
{
    std::size_t done = 0;
    while (done < size) {
        const ssize_t put = pwrite(fd, static_cast<const char*>(bytes) + done, size - done,
                                   offset + static_cast<off_t>(done));
        if (put < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        done += static_cast<std::size_t>(put);
    }
    return true;
}

std::uint64_t ReadTicket(int fd)
{
    unsigned char bytes[8];
    if (!ReadAll(fd, bytes, sizeof bytes, kTicketOffset)) {
        return 0;  // a new lock file
    }
    std::uint64_t ticket = 0;
    for (int i = 7; i >= 0; --i) {
        ticket = ticket << 8 | bytes[i];
    }
    return ticket;
}

bool WriteTicket(int fd, std::uint64_t ticket)
{
    unsigned char bytes[8];
    for (unsigned char& byte : bytes) {
        byte = static_cast<unsigned char>(ticket);
        ticket >>= 8;
    }
    return WriteAll(fd, bytes, sizeof bytes, kTicketOffset);
}

}  // namespace

WriterTurn::WriterTurn(const std::string& finalPath, const struct stat* settings)
{
    if (Open(finalPath, settings)) {
        Wait();
    }
}

// Opens the lock file, making it when missing. A new lock file gets the settings file's
// group, where this user may give it, so that every writer the settings file admits can open
// it. Never follows a link and never waits on what it opens (a planted FIFO).
bool WriterTurn::Open(const std::string& finalPath, const struct stat* settings)
{
    const std::string path = LockPathFor(finalPath);
    const int flags = O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
    for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
        file_.Reset(open(path.c_str(), flags));
        if (file_.IsOpen() || errno != ENOENT) {
            break;
        }
        const mode_t mode = settings == nullptr ? 0666 : LockModeFor(*settings);
        file_.Reset(open(path.c_str(), flags | O_CREAT | O_EXCL, mode));
        if (file_.IsOpen()) {
            if (settings != nullptr) {
                // The umask narrowed the mode, and the group is this user's: both are set as
                // the settings file wants them. This writer needs neither; a writer that a
                // failure here shuts out goes without the queue.
                const bool shared =
                    fchmod(file_.Get(), mode) == 0 &&
                    fchown(file_.Get(), static_cast<uid_t>(-1), settings->st_gid) == 0;
                static_cast<void>(shared);
            }
            break;
        }
        if (errno != EEXIST) {
            break;
        }
        // Another writer made it meanwhile: open that one.
    }
    struct stat status;
    if (!file_.IsOpen() || fstat(file_.Get(), &status) != 0 || !IsTrusted(status, settings)) {
        file_.Reset();
        return false;
    }
    return true;
}

// Draws a ticket and waits until the writer with the ticket before it is done.
void WriterTurn::Wait()
{
    std::uint64_t ticket = 0;
    {
        const ByteLock drawing(file_.Get(), kDrawingLock, ByteLock::Mode::Exclusive);
        if (!drawing.Held()) {
            return;
        }
        ticket = ReadTicket(file_.Get());
        for (int tried = 1;; ++tried, ++ticket) {
            ticket_ = ByteLock::TryTake(file_.Get(), TicketLock(ticket), ByteLock::Mode::Exclusive);
            if (ticket_.Held() || tried == kTicketsTried) {
                break;
            }
        }
        if (ticket_.Held() && !WriteTicket(file_.Get(), ticket + 1)) {
            ticket_.Release();
        }
    }
    // The writer before holds its byte from before this ticket was drawn until it is done.
    if (ticket_.Held() && ticket > 0) {
        const ByteLock before(file_.Get(), TicketLock(ticket - 1), ByteLock::Mode::Shared);
    }
}

void WriterTurn::NoteTemporary(const std::string& tag)
{
    if (Held()) {
        WriteAll(file_.Get(), tag.data(), tag.size(), kTemporaryTagOffset);
    }
}

void WriterTurn::ForgetTemporary()
{
    if (Held()) {
        const char none[kTemporaryTagLength] = {};
        WriteAll(file_.Get(), none, sizeof none, kTemporaryTagOffset);
    }
}

std::string WriterTurn::NotedTemporary() const
{
    std::string tag(kTemporaryTagLength, '\0');
    if (!Held() || !ReadAll(file_.Get(), &tag[0], tag.size(), kTemporaryTagOffset) ||
        !IsTemporaryTag(tag)) {
        return std::string();
    }
    return tag;
}

}  // namespace skarvel
