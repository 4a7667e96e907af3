#include "ProfileCache.h"

#include <pthread.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string_view>
#include <utility>

#include "ProfileContent.h"

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
// What an entry costs besides its content: its list node, its two map nodes and their
// buckets, as an estimate.
constexpr std::size_t kEntryOverhead = 16 * sizeof(void*);

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

// Same file, same size, same times: every write since would have changed one of them.
bool ProfileCache::Status::Matches(const struct stat& status) const
{
    return device == status.st_dev && inode == status.st_ino && size == status.st_size &&
           SameTime(modified, status.st_mtim) && SameTime(changed, status.st_ctim);
}

std::size_t ProfileCache::FileIdHash::operator()(const FileId& id) const
{
    return std::hash<std::uint64_t>()(static_cast<std::uint64_t>(id.inode) * 31 +
                                      static_cast<std::uint64_t>(id.device));
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

// A content's key tables grow as its sections are looked up, so an entry is counted again
// whenever it is found.
void ProfileCache::Count(Entry& entry)
{
    const std::size_t held = entry.content->HeldBytes() + kEntryOverhead;
    bytes_ = bytes_ - entry.charged + held;
    entry.charged = held;
}

void ProfileCache::Remove(Entries::iterator entry, Entries& dropped)
{
    byFile_.erase({entry->status.device, entry->status.inode});
    byPath_.erase(entry->pathHash);
    bytes_ -= entry->charged;
    dropped.splice(dropped.end(), entries_, entry);
}

std::shared_ptr<const ProfileContent> ProfileCache::Find(const struct stat& status)
{
    const std::lock_guard<std::mutex> lock(mutex_);
    const auto found = byFile_.find({status.st_dev, status.st_ino});
    if (found == byFile_.end()) {
        return nullptr;
    }
    Entry& entry = *found->second;
    if (!entry.settled || !entry.status.Matches(status)) {
        return nullptr;
    }
    entries_.splice(entries_.begin(), entries_, found->second);
    Count(entry);
    return entry.content;
}

std::shared_ptr<const ProfileContent> ProfileCache::Last(const char* path,
                                                         const struct stat& status)
{
    const std::lock_guard<std::mutex> lock(mutex_);
    const auto byFile = byFile_.find({status.st_dev, status.st_ino});
    if (byFile != byFile_.end()) {
        return byFile->second->content;
    }
    const auto byPath = byPath_.find(PathHash(path));
    return byPath == byPath_.end() ? nullptr : byPath->second->content;
}

// The new entry is made before the lock is taken; under it, only the maps' nodes are
// allocated, and a failure there leaves the cache as if the content had not been kept.
void ProfileCache::Keep(const char* path, const struct stat& status, bool settled,
                        std::shared_ptr<const ProfileContent> content)
{
    const std::size_t pathHash = PathHash(path);
    const FileId file = {status.st_dev, status.st_ino};
    Entries added;
    added.push_back({pathHash, Status(status), settled, std::move(content), 0});
    // Freed once the lock is released: the parse this one replaces, one kept for the same
    // file through another path, and the least recently used.
    Entries dropped;
    const std::lock_guard<std::mutex> lock(mutex_);
    const auto byPath = byPath_.find(pathHash);
    if (byPath != byPath_.end()) {
        Remove(byPath->second, dropped);
    }
    const auto byFile = byFile_.find(file);
    if (byFile != byFile_.end()) {
        Remove(byFile->second, dropped);
    }
    entries_.splice(entries_.begin(), added);
    try {
        byFile_[file] = entries_.begin();
        byPath_[pathHash] = entries_.begin();
    } catch (...) {
        byFile_.erase(file);
        byPath_.erase(pathHash);
        dropped.splice(dropped.end(), entries_, entries_.begin());
        throw;
    }
    Count(entries_.front());
    while (bytes_ > kKeptBytes && entries_.size() > 1) {
        Remove(std::prev(entries_.end()), dropped);
    }
}

void ProfileCache::Clear()
{
    Entries dropped;  // freed once the lock is released
    const std::lock_guard<std::mutex> lock(mutex_);
    while (!entries_.empty()) {
        Remove(entries_.begin(), dropped);
    }
}

}  // namespace skarvel
