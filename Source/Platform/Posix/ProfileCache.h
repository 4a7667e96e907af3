// Parsed profile files kept for reuse while they provably stay unchanged.
#pragma once

#include <sys/stat.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <memory>
#include <mutex>

namespace skarvel {

struct ProfileContent;

// At most this many files are kept; the least recently used goes first.
constexpr std::size_t kCachedProfiles = 64;

// True when a file with this status, read after `readStart`, can be trusted to change
// its status with any later write: only then may its parse be kept.
bool IsSettled(const struct stat& status, const timespec& readStart);

// A process-wide, thread-safe set of parsed files. A kept parse is found by the file it
// came from, as its status names it, whatever path led there; the path only tells which
// older parse a newer one replaces.
class ProfileCache {
public:
    static ProfileCache& Instance();

    // The content kept for the file with this status, when it still has the status it had
    // when read.
    std::shared_ptr<const ProfileContent> Find(const struct stat& status);

    // Keeps `content`, read through `path` from a settled file with `status`, in place of
    // what was kept for that path or that file.
    void Keep(const char* path, const struct stat& status,
              std::shared_ptr<const ProfileContent> content);

    void Forget(const char* path);

    void Clear();

private:
    ProfileCache();

    // What of a file's status tells whether it changed, without the rest of `struct stat`.
    struct Status {
        Status() = default;
        explicit Status(const struct stat& status);
        bool SameFile(const struct stat& status) const;
        bool Matches(const struct stat& status) const;

        dev_t device;
        ino_t inode;
        off_t size;
        timespec modified;
        timespec changed;
    };

    struct Entry {
        std::size_t pathHash;
        Status status;
        std::shared_ptr<const ProfileContent> content;
        std::uint64_t lastUse;
    };

    // Takes the entry out, handing its content to `dropped` to be freed after the lock.
    void Remove(std::size_t at, std::shared_ptr<const ProfileContent>& dropped);

    std::mutex mutex_;
    // The entries in use come first; the table is part of the cache, so a kept file costs
    // only its content.
    std::array<Entry, kCachedProfiles> entries_;
    std::size_t used_ = 0;
    std::uint64_t uses_ = 0;
};

}  // namespace skarvel
