#include "ProfileCache.h"

#include <pthread.h>

#include <algorithm>
#include <functional>
#include <string_view>
#include <utility>

namespace skarvel {
namespace {

// The kernel stamps file times from its coarse clock, which trails the real-time clock by
// up to one tick: 10 ms at the slowest usual rate (HZ=100). Twice that leaves room.
constexpr std::int64_t kStampLagNs = 20'000'000;
// File systems that keep whole seconds (ext4 with small inodes) or two (FAT) round the
// stamps down further. Their stamps fall on whole milliseconds, which stamps from the
// kernel's clock all but never do, so such stamps are given that much more time.
constexpr std::int64_t kCoarseStampNs = 2'000'000'000;
constexpr std::int64_t kMillisecondNs = 1'000'000;
constexpr std::int64_t kSecondNs = 1'000'000'000;

std::int64_t Nanoseconds(const timespec& time)
{
    return static_cast<std::int64_t>(time.tv_sec) * kSecondNs + time.tv_nsec;
}

bool SameTime(const timespec& a, const timespec& b)
{
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

std::size_t PathHash(const char* path)
{
    return std::hash<std::string_view>()(path);
}

}  // namespace

// A write stamps the file with the coarse clock's time, rounded down to the file system's
// grain. A file whose times lay further back than that lag and grain when the read began
// cannot be written again with the same times, so any later write changes its status, even
// when the writer reuses the inode number and the size. A file changed within the current
// tick could change again without its times moving: it is read afresh until it settles.
// Times stamped by another machine's clock (a network file system) are trusted only as far
// as the two clocks agree. The change time counts because no program can set it back.
bool IsSettled(const struct stat& status, const timespec& readStart)
{
    const std::int64_t modified = Nanoseconds(status.st_mtim);
    const std::int64_t changed = Nanoseconds(status.st_ctim);
    const bool coarse = modified % kMillisecondNs == 0 && changed % kMillisecondNs == 0;
    const std::int64_t margin = kStampLagNs + (coarse ? kCoarseStampNs : 0);
    return std::max(modified, changed) <= Nanoseconds(readStart) - margin;
}

ProfileCache::Status::Status(const struct stat& status)
    : device(status.st_dev), inode(status.st_ino), size(status.st_size), modified(status.st_mtim),
      changed(status.st_ctim)
{
}

bool ProfileCache::Status::SameFile(const struct stat& status) const
{
    return device == status.st_dev && inode == status.st_ino;
}

// Same file, same size, same times: every write since would have changed one of them.
bool ProfileCache::Status::Matches(const struct stat& status) const
{
    return SameFile(status) && size == status.st_size && SameTime(modified, status.st_mtim) &&
           SameTime(changed, status.st_ctim);
}

// A child forked while another thread held the cache's lock would wait for it for ever:
// the lock is taken around fork() and given back on both sides.
ProfileCache::ProfileCache()
{
    pthread_atfork([] { Instance().mutex_.lock(); }, [] { Instance().mutex_.unlock(); },
                   [] { Instance().mutex_.unlock(); });
}

ProfileCache& ProfileCache::Instance()
{
    static ProfileCache cache;
    return cache;
}

void ProfileCache::Remove(std::size_t at, std::shared_ptr<const ProfileContent>& dropped)
{
    dropped = std::move(entries_[at].content);
    --used_;
    if (at != used_) {
        entries_[at] = std::move(entries_[used_]);
    }
}

std::shared_ptr<const ProfileContent> ProfileCache::Find(const struct stat& status)
{
    const std::lock_guard<std::mutex> lock(mutex_);
    for (std::size_t at = 0; at < used_; ++at) {
        Entry& entry = entries_[at];
        if (entry.status.Matches(status)) {
            entry.lastUse = ++uses_;
            return entry.content;
        }
    }
    return nullptr;
}

void ProfileCache::Keep(const char* path, const struct stat& status,
                        std::shared_ptr<const ProfileContent> content)
{
    const std::size_t pathHash = PathHash(path);
    // Freed once the lock is released: the parse this one replaces, one kept for the same
    // file through another path, and the least recently used.
    std::shared_ptr<const ProfileContent> dropped[3];
    const std::lock_guard<std::mutex> lock(mutex_);
    for (std::size_t at = used_; at-- > 0;) {
        if (entries_[at].pathHash == pathHash) {
            Remove(at, dropped[0]);
        } else if (entries_[at].status.SameFile(status)) {
            Remove(at, dropped[1]);
        }
    }
    if (used_ == kCachedProfiles) {
        const auto oldest = std::min_element(
            entries_.begin(), entries_.end(),
            [](const Entry& a, const Entry& b) { return a.lastUse < b.lastUse; });
        Remove(static_cast<std::size_t>(oldest - entries_.begin()), dropped[2]);
    }
    entries_[used_++] = {pathHash, Status(status), std::move(content), ++uses_};
}

void ProfileCache::Forget(const char* path)
{
    const std::size_t pathHash = PathHash(path);
    std::shared_ptr<const ProfileContent> dropped;  // freed once the lock is released
    const std::lock_guard<std::mutex> lock(mutex_);
    for (std::size_t at = used_; at-- > 0;) {
        if (entries_[at].pathHash == pathHash) {
            Remove(at, dropped);
            return;
        }
    }
}

void ProfileCache::Clear()
{
    std::array<std::shared_ptr<const ProfileContent>, kCachedProfiles> dropped;  // freed unlocked
    const std::lock_guard<std::mutex> lock(mutex_);
    while (used_ > 0) {
        Remove(used_ - 1, dropped[used_ - 1]);
    }
}

}  // namespace skarvel
