// Kept parses: used only while the file provably has not changed, or while its text is the
// same, and bounded in bytes.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "ChildProcess.h"
#include "HostFiles.h"
#include "Platform.h"
#include "ProfileCache.h"
#include "ProfileFile.h"
#include "SettledFile.h"

namespace skarvel {
namespace {

using test::RemoveFile;
using test::ScopedHostFile;
using test::WaitUntilSettled;
using test::WriteBytes;

constexpr std::int64_t kMs = 1'000'000;
constexpr std::int64_t kSecond = 1'000 * kMs;

timespec TimeAt(std::int64_t ns)
{
    return {static_cast<time_t>(ns / kSecond), static_cast<long>(ns % kSecond)};
}

TEST(ProfileCacheTests, FilesSettleOnceTheirTimesArePastTheClocksGrain)
{
    const struct {
        const char* name;
        std::int64_t modifiedAgo;
        std::int64_t changedAgo;
        bool wholeSeconds;  // stamps as a file system that keeps whole seconds gives them
        bool settled;
    } rows[] = {
        {"long ago", 5 * kSecond, 5 * kSecond, false, true},
        {"within the clock's tick", 5 * kMs, 5 * kMs, false, false},
        {"past the clock's lag", 25 * kMs, 25 * kMs, false, true},
        {"modification time put back", 9 * kSecond, 5 * kMs, false, false},
        {"times in the future", -kSecond, -kSecond, false, false},
        {"whole seconds, one second ago", kSecond, kSecond, true, false},
        {"whole seconds, long ago", 5 * kSecond, 5 * kSecond, true, true},
    };
    const std::int64_t readStart = 1'700'000'000 * kSecond + 123'456'789;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const std::int64_t grain = row.wholeSeconds ? kSecond : 1;
        struct stat status = {};
        status.st_mtim = TimeAt((readStart - row.modifiedAgo) / grain * grain);
        status.st_ctim = TimeAt((readStart - row.changedAgo) / grain * grain);
        EXPECT_EQ(IsSettled(status, TimeAt(readStart)), row.settled);
    }
}

// Any number of small files is kept; large ones fill the bound of bytes, and the least
// recently used goes first.
TEST(ProfileCacheTests, KeepsFilesUpToABoundOfBytesLeastRecentlyUsedFirst)
{
    constexpr std::size_t kSmallFiles = 200;
    constexpr std::size_t kLargeFiles = 4;  // each a quarter of the bound: with the rest, more
    std::vector<std::unique_ptr<ScopedHostFile>> small;
    std::vector<std::unique_ptr<ScopedHostFile>> large;
    for (std::size_t i = 0; i < kSmallFiles + kLargeFiles; ++i) {
        auto& files = i < kSmallFiles ? small : large;
        files.push_back(std::make_unique<ScopedHostFile>());
        const std::string filler = i < kSmallFiles ? "" : std::string(kKeptBytes / 4, ';');
        WriteBytes(files.back()->Path(), filler + "\n[s]\nk=" + std::to_string(i) + "\n");
    }
    for (const auto* files : {&small, &large}) {
        for (const auto& file : *files) {
            WaitUntilSettled(file->Path());
        }
    }
    ForgetLoadedProfiles();
    std::vector<std::shared_ptr<const ProfileContent>> kept;
    for (const auto& file : small) {
        kept.push_back(LoadProfile(file->Path().c_str()));
    }
    for (std::size_t i = 0; i < kSmallFiles; ++i) {
        EXPECT_EQ(LoadProfile(small[i]->Path().c_str()), kept[i]);
    }

    const auto first = LoadProfile(large[0]->Path().c_str());
    const auto second = LoadProfile(large[1]->Path().c_str());
    EXPECT_EQ(LoadProfile(large[0]->Path().c_str()), first);
    for (std::size_t i = 2; i < kLargeFiles; ++i) {
        LoadProfile(large[i]->Path().c_str());
    }
    EXPECT_EQ(LoadProfile(large[0]->Path().c_str()), first);
    EXPECT_NE(LoadProfile(large[1]->Path().c_str()), second);
    EXPECT_NE(LoadProfile(small[0]->Path().c_str()), kept[0]);

    // The cache flush of the profile functions drops every kept parse.
    EXPECT_FALSE(WritePrivateProfileStringA(nullptr, nullptr, nullptr, nullptr));
    EXPECT_NE(LoadProfile(large[0]->Path().c_str()), first);
}

std::string ReadValue(const std::string& path)
{
    char buffer[16];
    GetPrivateProfileStringA("s", "k", "gone", buffer, sizeof buffer, path.c_str());
    return buffer;
}

// Sets the file's times ahead of the clock, which keeps it in the window after a change, when
// its status cannot be trusted to show the next one.
void SetTimesAhead(const std::string& path)
{
    timespec ahead;
    clock_gettime(CLOCK_REALTIME, &ahead);
    ahead.tv_sec += 3600;
    const timespec times[2] = {ahead, ahead};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

// Changes another program makes to a file; `spare` is a settled file it may use.
void EditInPlace(const std::string& path, const std::string&)
{
    const int fd = open(path.c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(pwrite(fd, "2", 1, 6), 1);
    close(fd);
}

void EditInPlaceAndPutTimesBack(const std::string& path, const std::string& spare)
{
    struct stat before;
    ASSERT_EQ(stat(path.c_str(), &before), 0);
    EditInPlace(path, spare);
    const timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

void ReplaceByRename(const std::string& path, const std::string& spare)
{
    ASSERT_EQ(rename(spare.c_str(), path.c_str()), 0);
}

void Delete(const std::string& path, const std::string&)
{
    RemoveFile(path);
}

void DeleteAndWriteAgain(const std::string& path, const std::string&)
{
    RemoveFile(path);
    WriteBytes(path, "[s]\nk=2\n");
}

// A kept parse is read again unread while the file's status is what it was; a file too new to
// trust its status is read, and its last parse reused only while the text is the same.
TEST(ProfileCacheTests, ReadsSeeOutsideChangesToKeptFiles)
{
    const struct {
        const char* name;
        void (*change)(const std::string& path, const std::string& spare);
        const char* expected;
        bool inWindow;  // changed while too new to trust its status
    } rows[] = {
        {"edited in place", EditInPlace, "2", false},
        {"edited in place, times put back", EditInPlaceAndPutTimesBack, "2", false},
        {"replaced by rename", ReplaceByRename, "2", false},
        {"deleted", Delete, "gone", false},
        {"deleted and written again", DeleteAndWriteAgain, "2", false},
        {"in the window, edited in place, times put back", EditInPlaceAndPutTimesBack, "2", true},
        {"in the window, replaced by rename", ReplaceByRename, "2", true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ScopedHostFile file;
        ScopedHostFile spare;
        WriteBytes(file.Path(), "[s]\nk=1\n");
        WriteBytes(spare.Path(), "[s]\nk=2\n");
        if (row.inWindow) {
            SetTimesAhead(file.Path());
        } else {
            WaitUntilSettled(file.Path());
        }
        WaitUntilSettled(spare.Path());
        ASSERT_EQ(ReadValue(file.Path()), "1");
        const auto kept = LoadProfile(file.Path().c_str());
        ASSERT_EQ(LoadProfile(file.Path().c_str()), kept);
        row.change(file.Path(), spare.Path());
        EXPECT_EQ(ReadValue(file.Path()), row.expected);
        if (row.inWindow) {
            EXPECT_NE(LoadProfile(file.Path().c_str()), kept);
        }
    }
}

// A kept parse belongs to the file, not to the path that led to it: another path to the same
// file finds it, and a write through that path shows through the first one. The new version's
// parse takes the old one's place instead of waiting to age out.
TEST(ProfileCacheTests, KeptParseIsFoundByTheFileAndGivesWayToItsNextVersion)
{
    ScopedHostFile file;
    const std::string link = file.Path() + ".link";
    WriteBytes(file.Path(), "[s]\nk=1\n");
    ASSERT_EQ(symlink(file.Path().c_str(), link.c_str()), 0);
    WaitUntilSettled(file.Path());
    auto kept = LoadProfile(file.Path().c_str());
    EXPECT_EQ(LoadProfile(link.c_str()), kept);
    const std::weak_ptr<const ProfileContent> old = kept;
    kept.reset();

    ASSERT_NE(WritePrivateProfileStringA("s", "k", "2", link.c_str()), FALSE);
    EXPECT_EQ(ReadValue(file.Path()), "2");
    WaitUntilSettled(file.Path());
    EXPECT_EQ(ReadValue(file.Path()), "2");
    EXPECT_EQ(LoadProfile(link.c_str()), LoadProfile(file.Path().c_str()));
    EXPECT_TRUE(old.expired());
    RemoveFile(link);
}

// Threads that look up in one kept parse at once, each section's first lookup among them,
// find every value: a section's keys are indexed once, by whichever thread comes first, and
// the others use that index or their own.
TEST(ProfileCacheTests, ThreadsLookUpInOneKeptParseAtOnce)
{
    constexpr int kSections = 40;
    constexpr int kKeys = 25;
    constexpr int kThreads = 4;
    ScopedHostFile file;
    std::string text;
    for (int section = 0; section < kSections; ++section) {
        text += "[s" + std::to_string(section) + "]\n";
        for (int key = 0; key < kKeys; ++key) {
            text += "k" + std::to_string(key) + "=" + std::to_string(section * kKeys + key) + "\n";
        }
    }
    WriteBytes(file.Path(), text);
    WaitUntilSettled(file.Path());
    const auto content = LoadProfile(file.Path().c_str());
    ASSERT_NE(content, nullptr);
    std::atomic<bool> go{false};
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int thread = 0; thread < kThreads; ++thread) {
        threads.emplace_back([&, thread] {
            while (!go) {
            }
            for (int i = 0; i < kSections; ++i) {
                const int section = (i + thread * kSections / kThreads) % kSections;
                for (int key = 0; key < kKeys; ++key) {
                    std::string_view value;
                    const bool found = content->Index().FindValue(
                        "s" + std::to_string(section), "k" + std::to_string(key), value);
                    wrong += found && value == std::to_string(section * kKeys + key) ? 0 : 1;
                }
            }
        });
    }
    go = true;
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(LoadProfile(file.Path().c_str()), content);
}

constexpr int kRewrites = 10000;
constexpr int kStoreWriteEvery = 50;  // the store's own writes sync to disk, so they are few
constexpr int kSettleEvery = 1000;

std::string ValueText(int round)
{
    char text[8];
    snprintf(text, sizeof text, "%05d", round);
    return text;
}

// Rewrites the value with another of the same size: in place, by renaming a new file over
// it (which may well reuse the old inode number), or through the store.
bool Rewrite(const std::string& path, const std::string& spare, int round)
{
    const std::string value = ValueText(round);
    if (round % kStoreWriteEvery == 0) {
        return WritePrivateProfileStringA("s", "k", value.c_str(), path.c_str()) != FALSE;
    }
    if (round % 2 == 0) {
        const int fd = open(path.c_str(), O_WRONLY);
        const bool written = fd >= 0 && pwrite(fd, value.data(), value.size(), 6) == 5;
        return close(fd) == 0 && written;
    }
    const std::string text = "[s]\nk=" + value + "\n";
    const int fd = open(spare.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const bool written = fd >= 0 && write(fd, text.data(), text.size()) == ssize_t(text.size());
    return close(fd) == 0 && written && rename(spare.c_str(), path.c_str()) == 0;
}

// Another process rewrites the value as fast as the reader lets it, handing off through a
// pipe; the reader must see every completed write. Now and then the file settles first, so
// that a kept parse has to give way too.
TEST(ProfileCacheTests, ReaderSeesEveryRewriteByAnotherProcess)
{
    ScopedHostFile file;
    ScopedHostFile spare;
    WriteBytes(file.Path(), "[s]\nk=" + ValueText(0) + "\n");
    int go[2];
    int done[2];
    ASSERT_EQ(pipe(go), 0);
    ASSERT_EQ(pipe(done), 0);
    const pid_t pid = test::StartChild([&] {
        char token = 0;
        for (int round = 1; round <= kRewrites; ++round) {
            if (read(go[0], &token, 1) != 1 || !Rewrite(file.Path(), spare.Path(), round) ||
                write(done[1], &token, 1) != 1) {
                return 1;
            }
        }
        return 0;
    });
    ASSERT_GE(pid, 0);
    int missed = 0;
    for (int round = 1; round <= kRewrites; ++round) {
        if (round % kSettleEvery == 1) {
            WaitUntilSettled(file.Path());
            ASSERT_EQ(ReadValue(file.Path()), ValueText(round - 1));
        }
        char token = 0;
        ASSERT_EQ(write(go[1], &token, 1), 1);
        ASSERT_EQ(read(done[0], &token, 1), 1) << "the writer failed in round " << round;
        const std::string value = ReadValue(file.Path());
        if (value != ValueText(round)) {
            ADD_FAILURE() << "round " << round << " read " << value;
            ++missed;
        }
    }
    EXPECT_EQ(missed, 0);
    EXPECT_EQ(test::WaitForChild(pid), test::ChildEnd::Succeeded);
    for (const int fd : {go[0], go[1], done[0], done[1]}) {
        close(fd);
    }
}

}  // namespace
}  // namespace skarvel
