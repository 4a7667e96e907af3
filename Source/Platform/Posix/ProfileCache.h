// Parsed profile files kept for reuse while they provably stay unchanged.
#pragma once

#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace skarvel {

struct ProfileContent;

// At most this many files are kept; the least recently used goes first.
constexpr std::size_t kCachedProfiles = 64;

// True when a file with this status, read after `readStart`, can be trusted to change
// its status with any later write: only then may its parse be kept.
bool IsSettled(const struct stat& status, const timespec& readStart);

// A process-wide, thread-safe set of parsed files, by path as the caller gave it.
class ProfileCache {
public:
    static ProfileCache& Instance();

    // The content kept for `path`, when the file still has the status it had when read.
    std::shared_ptr<const ProfileContent> Find(const char* path, const struct stat& status);

    // Keeps `content`, read from a settled file with `status`.
    void Keep(const char* path, const struct stat& status,
              std::shared_ptr<const ProfileContent> content);

    void Forget(const char* path);

    void Clear();

private:
    // What of a file's status tells whether it changed, without the rest of `struct stat`.
    struct Status {
        Status() = default;
        explicit Status(const struct stat& status);
        bool Matches(const struct stat& status) const;

        dev_t device;
        ino_t inode;
        off_t size;
        timespec modified;
        timespec changed;
    };

    struct Entry {
        std::size_t pathHash;
        std::string path;
        Status status;
        std::shared_ptr<const ProfileContent> content;
        std::uint64_t lastUse;
    };

    Entry* EntryFor(const char* path, std::size_t pathHash);

    std::mutex mutex_;
    std::vector<Entry> entries_;
    std::uint64_t uses_ = 0;
};

}  // namespace skarvel
