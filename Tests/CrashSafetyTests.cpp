// Writers killed at random moments: the file is always whole, and their
// temporary files never pile up.
#include <dirent.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "HostFiles.h"
#include "IniEdit.h"
#include "Platform.h"

namespace {

using skarvel::test::ChildEnd;
using skarvel::test::FileExists;
using skarvel::test::HostDirectory;
using skarvel::test::ReadBytes;
using skarvel::test::ScopedHostFile;
using skarvel::test::StartChild;
using skarvel::test::WaitForChild;
using skarvel::test::WriteBytes;

constexpr int kSections = 64;
constexpr int kKeysPerSection = 800;  // with the sections, a file of about 1 MiB
constexpr int kKills = 500;
constexpr int kTimingRuns = 5;

std::string SectionName(int step)
{
    return "section" + std::to_string(step * 7 % kSections);
}

std::string KeyName(int step)
{
    return "key" + std::to_string(step * 13 % kKeysPerSection);
}

std::string ValueOf(int step)
{
    return "value-of-step-" + std::to_string(step);
}

// The text after the write of `step`, as the store edits it; false when the write would not
// change it.
bool AfterWrite(const std::string& text, int step, std::string& after)
{
    const std::string section = SectionName(step);
    const std::string key = KeyName(step);
    const std::string value = ValueOf(step);
    skarvel::TextPieces pieces;
    if (!skarvel::ApplyEdit(skarvel::IniIndex(text),
                            {skarvel::IniEdit::Kind::SetValue, section, key, value}, pieces)) {
        return false;
    }
    after = skarvel::JoinPieces(pieces);
    return true;
}

std::string LargeProfile()
{
    std::string text;
    for (int section = 0; section < kSections; ++section) {
        text += "[section" + std::to_string(section) + "]\n";
        for (int key = 0; key < kKeysPerSection; ++key) {
            text += "key" + std::to_string(key) + " = initial value\n";
        }
    }
    return text;
}

// Names in the file's directory that are temporary files of the file: its companions but
// the writers' lock file, which stays.
std::vector<std::string> TemporariesOf(const std::string& name)
{
    std::vector<std::string> found;
    DIR* directory = opendir(HostDirectory().c_str());
    if (directory == nullptr) {
        return found;
    }
    const std::string prefix = "." + name;
    while (const dirent* entry = readdir(directory)) {
        const std::string entryName = entry->d_name;
        if (entryName.compare(0, prefix.size(), prefix) == 0 && entryName != prefix &&
            entryName != prefix + ".skarvel-lock") {
            found.push_back(entryName);
        }
    }
    closedir(directory);
    return found;
}

// Starts a process that makes one write and exits 0 when it succeeded.
pid_t StartWriter(const std::string& path, int step)
{
    return StartChild([&] {
        const BOOL ok = WritePrivateProfileStringA(SectionName(step).c_str(), KeyName(step).c_str(),
                                                   ValueOf(step).c_str(), path.c_str());
        return ok ? 0 : 1;
    });
}

void SleepFor(std::chrono::nanoseconds delay)
{
    const timespec pause = {static_cast<time_t>(delay.count() / 1000000000),
                            static_cast<long>(delay.count() % 1000000000)};
    nanosleep(&pause, nullptr);
}

TEST(CrashSafetyTests, KilledWritersLeaveTheFileBeforeOrAfterTheirWrite)
{
    ScopedHostFile file;
    std::string current = LargeProfile();
    WriteBytes(file.Path(), current);

    // Time whole writes first, so that the kills fall anywhere inside one.
    std::vector<std::chrono::nanoseconds> durations;
    int step = 0;
    for (; step < kTimingRuns; ++step) {
        const auto start = std::chrono::steady_clock::now();
        const pid_t pid = StartWriter(file.Path(), step);
        ASSERT_GT(pid, 0);
        ASSERT_EQ(WaitForChild(pid), ChildEnd::Succeeded);
        durations.push_back(std::chrono::steady_clock::now() - start);
    }
    std::sort(durations.begin(), durations.end());
    const std::chrono::nanoseconds writeTime = durations[durations.size() / 2];
    current = ReadBytes(file.Path());

    std::mt19937_64 random(20261209);
    std::uniform_int_distribution<long long> delay(0, writeTime.count());
    int kills = 0;
    int killedBefore = 0;
    int killedAfter = 0;
    int completed = 0;
    for (; kills < kKills; ++step) {
        std::string after;
        ASSERT_TRUE(AfterWrite(current, step, after));
        const pid_t pid = StartWriter(file.Path(), step);
        ASSERT_GT(pid, 0);
        SleepFor(std::chrono::nanoseconds(delay(random)));
        kill(pid, SIGKILL);
        const ChildEnd end = WaitForChild(pid);

        const std::string found = ReadBytes(file.Path());
        const bool isBefore = found == current;
        ASSERT_TRUE(isBefore || found == after) << "torn file after step " << step;
        const std::vector<std::string> temporaries = TemporariesOf(file.Name());
        if (end == ChildEnd::Killed) {
            ++kills;
            ++(isBefore ? killedBefore : killedAfter);
            ASSERT_LE(temporaries.size(), 1u) << "after step " << step;
        } else {
            ASSERT_EQ(end, ChildEnd::Succeeded);
            ASSERT_FALSE(isBefore);
            ASSERT_TRUE(temporaries.empty()) << temporaries.front() << " after step " << step;
            ++completed;
        }
        if (!isBefore) {
            current = after;
        }
    }

    // The next write that succeeds takes over whatever temporary the kills left.
    ASSERT_EQ(WaitForChild(StartWriter(file.Path(), step)), ChildEnd::Succeeded);
    EXPECT_TRUE(TemporariesOf(file.Name()).empty());

    std::printf("file of %zu bytes, a write takes %.1f ms; %d kills (%d before the rename, "
                "%d after it) and %d writes finished in between\n",
                current.size(), std::chrono::duration<double, std::milli>(writeTime).count(), kills,
                killedBefore, killedAfter, completed);
}

// The fixed-name temporary that a killed writer of an earlier version left is gone after the
// next successful write, whether that write changes the file or not. (Those of this version
// the kill test above leaves.)
TEST(CrashSafetyTests, NextWriteRemovesAStaleTemporary)
{
    struct Row {
        const char* name;
        const char* key;
        const char* value;
    };
    const Row rows[] = {
        {"changing write", "k", "2"},
        {"write of the value the key has", "k", "1"},
        {"deletion of a missing key", "missing", nullptr},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ScopedHostFile file;
        WriteBytes(file.Path(), "[s]\nk=1\n");
        const std::string temporary = HostDirectory() + "/." + file.Name() + ".skarvel-tmp";
        WriteBytes(temporary, "[half-written");

        EXPECT_NE(WritePrivateProfileStringA("s", row.key, row.value, file.Path().c_str()), FALSE);
        EXPECT_FALSE(FileExists(temporary));
    }
}

}  // namespace
