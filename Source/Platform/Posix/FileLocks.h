// The advisory locks of the store, in one place.
//
// Every lock belongs to an open file description, never to the process: threads of one
// process then exclude each other as processes do, and closing another descriptor of the
// same file (another object, another thread) drops nothing. That rules out classic fcntl()
// locks, which belong to the process; flock() and open-file-description (OFD) byte-range
// locks remain. Every lock is also released explicitly, not by closing: a child forked
// meanwhile shares the description, and a lock dropped only by the last close would stay
// held for as long as that child lives.
#pragma once

#include <sys/types.h>

namespace skarvel {

// The whole-file flock() that writers of a settings file hold on the file itself while they
// read, edit and replace it, as every earlier version of the store did, and that the
// creation probe holds while it has the file open. Waits, retrying after signals.
bool LockWholeFile(int fd);

// As LockWholeFile, but answers false with errno EWOULDBLOCK at once when another holds it.
bool TryLockWholeFile(int fd);

void UnlockWholeFile(int fd);

// A whole-file lock held until the guard goes.
class WholeFileLock {
public:
    explicit WholeFileLock(int fd) : fd_(LockWholeFile(fd) ? fd : -1) {}
    WholeFileLock(const WholeFileLock&) = delete;
    WholeFileLock& operator=(const WholeFileLock&) = delete;
    ~WholeFileLock()
    {
        if (fd_ >= 0) {
            UnlockWholeFile(fd_);
        }
    }
    bool Held() const { return fd_ >= 0; }

private:
    int fd_;
};

// An OFD lock on the one byte at `offset`, shared (reading) or exclusive (writing). Such
// bytes lie beyond any file's data, so they mark states and never stand for content.
class ByteLock {
public:
    enum class Mode { Shared, Exclusive };

    ByteLock() = default;
    // Waits for the lock; Held() tells whether it was taken.
    ByteLock(int fd, off_t offset, Mode mode);
    ByteLock(const ByteLock&) = delete;
    ByteLock& operator=(const ByteLock&) = delete;
    ByteLock(ByteLock&& other) noexcept;
    ByteLock& operator=(ByteLock&& other) noexcept;
    ~ByteLock() { Release(); }

    // Takes the lock only when no one holds it in a conflicting mode.
    static ByteLock TryTake(int fd, off_t offset, Mode mode);

    bool Held() const { return fd_ >= 0; }
    void Release();

private:
    int fd_ = -1;
    off_t offset_ = 0;
};

// The byte a writer that rewrites a settings file in place holds exclusively while the
// file's bytes change, and that a reader holds shared while it reads them, so that no
// reader sees a file half rewritten. A file replaced by rename needs no such guard.
constexpr off_t kRewriteMark = off_t{1} << 62;

}  // namespace skarvel
