// Parsed profile files kept for reuse while they provably stay unchanged.
#pragma once

#include <sys/stat.h>

#include <cstddef>
#include <ctime>
#include <list>
#include <memory>
#include <mutex>
#include <unordered_map>

namespace skarvel {

class ProfileContent;

// The heap that kept parses may hold together; the least recently used go first. The parse
// kept last stays, whatever its size.
constexpr std::size_t kKeptBytes = std::size_t{64} << 20;

// True when a file with this status, read after `readStart`, can be trusted to change
// its status with any later write: only then may its parse be reused unread.
bool IsSettled(const struct stat& status, const timespec& readStart);

// A process-wide, thread-safe set of parsed files. A kept parse is found by the file it came
// from, as its status names it, whatever path led there, and for a read that must compare,
// also by the path that led there.
class ProfileCache {
public:
    static ProfileCache& Instance();

    // The content kept for the file with this status, when the file had settled when it was
    // read and still has the status it had then.
    std::shared_ptr<const ProfileContent> Find(const struct stat& status);

    // The content last read from the file with this status, or else through `path`, whatever
    // either's status is now: only its text, compared with the file's, can tell whether it is
    // still the file's.
    std::shared_ptr<const ProfileContent> Last(const char* path, const struct stat& status);

    // Keeps `content`, read through `path` from the file with `status`, in place of what was
    // kept for that path or that file. `settled` tells whether the status can be trusted to
    // show the file's next change (see IsSettled).
    void Keep(const char* path, const struct stat& status, bool settled,
              std::shared_ptr<const ProfileContent> content);

    void Clear();

private:
    ProfileCache();

    // What of a file's status tells whether it changed, without the rest of `struct stat`.
    struct Status {
        explicit Status(const struct stat& status);
        bool Matches(const struct stat& status) const;

        dev_t device;
        ino_t inode;
        off_t size;
        timespec modified;
        timespec changed;
    };

    struct FileId {
        dev_t device;
        ino_t inode;
        bool operator==(const FileId& other) const
        {
            return device == other.device && inode == other.inode;
        }
    };

    struct FileIdHash {
        std::size_t operator()(const FileId& id) const;
    };

    struct Entry {
        std::size_t pathHash;
        Status status;
        bool settled;
        std::shared_ptr<const ProfileContent> content;
        std::size_t charged;  // what the entry was counted to hold, when last counted
    };
    using Entries = std::list<Entry>;  // the most recently used first

    void Count(Entry& entry);
    // Moves the entry into `dropped`, to be freed after the lock is released.
    void Remove(Entries::iterator entry, Entries& dropped);

    std::mutex mutex_;
    Entries entries_;
    std::unordered_map<FileId, Entries::iterator, FileIdHash> byFile_;
    std::unordered_map<std::size_t, Entries::iterator> byPath_;
    std::size_t bytes_ = 0;
};

}  // namespace skarvel
