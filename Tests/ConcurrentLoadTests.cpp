// Many writers and readers on one file at once, on a machine kept busy: no write fails or
// is lost, no writer waits far beyond its share, and no reader sees a file without the
// writes that finished before it read.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "ChildProcess.h"
#include "HostFiles.h"
#include "Platform.h"
#include "Skarvel.h"

namespace {

using skarvel::test::BusyLoops;
using skarvel::test::ChildEnd;
using skarvel::test::ScopedHostFile;
using skarvel::test::SharedValue;
using skarvel::test::StartChild;
using skarvel::test::WaitForChild;
using skarvel::test::WriteBytes;

constexpr int kProcesses = 16;
constexpr int kThreads = 4;
constexpr int kWritesPerThread = 150;
constexpr int kWriters = kProcesses * kThreads;
constexpr int kReaders = 2;
constexpr int kBusyLoops = 2;
constexpr DWORD kListCapacity = 1 << 20;
constexpr std::chrono::milliseconds kReaderPause{1};

std::string SectionOf(int process)
{
    return "process" + std::to_string(process);
}

std::string KeyOf(int thread, int write)
{
    return "thread" + std::to_string(thread) + "key" + std::to_string(write);
}

std::string ValueOf(int process, int thread, int write)
{
    return std::to_string(process) + "." + std::to_string(thread) + "." + std::to_string(write);
}

// What writers and readers share across processes: how many writes each writer
// thread has finished, how many failed, and how long the slowest took.
struct Progress {
    std::atomic<int> finished[kProcesses][kThreads];
    std::atomic<int> failures;
    std::atomic<std::int64_t> slowestNs;
    std::atomic<std::int64_t> lastFinishNs;
};

std::int64_t NowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void RaiseTo(std::atomic<std::int64_t>& value, std::int64_t candidate)
{
    std::int64_t seen = value.load();
    while (candidate > seen && !value.compare_exchange_weak(seen, candidate)) {
    }
}

// The key names of `section`, as one listing reads them.
std::vector<std::string> ListKeys(const std::string& path, const std::string& section)
{
    std::vector<char> list(kListCapacity);
    GetPrivateProfileStringA(section.c_str(), nullptr, "", list.data(), kListCapacity,
                             path.c_str());
    std::vector<std::string> names;
    for (const char* name = list.data(); *name != '\0'; name += names.back().size() + 1) {
        names.emplace_back(name);
    }
    return names;
}

bool Contains(const std::vector<std::string>& names, const std::string& name)
{
    for (const std::string& candidate : names) {
        if (candidate == name) {
            return true;
        }
    }
    return false;
}

void WriteProcessKeys(const std::string& path, int process, Progress& progress)
{
    std::vector<std::thread> threads;
    for (int thread = 0; thread < kThreads; ++thread) {
        threads.emplace_back([&, thread] {
            for (int write = 0; write < kWritesPerThread; ++write) {
                const std::int64_t start = NowNs();
                const BOOL ok = WritePrivateProfileStringA(
                    SectionOf(process).c_str(), KeyOf(thread, write).c_str(),
                    ValueOf(process, thread, write).c_str(), path.c_str());
                const std::int64_t finish = NowNs();
                RaiseTo(progress.slowestNs, finish - start);
                RaiseTo(progress.lastFinishNs, finish);
                if (!ok) {
                    ++progress.failures;
                }
                progress.finished[process][thread].store(write + 1);
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
}

// Reads until `stop`; answers the reads made and counts each write that had
// finished before a read began and that the read did not find.
long ReadWhileWriting(const std::string& path, Progress& progress, const std::atomic<bool>& stop,
                      std::atomic<long>& misses, unsigned seed)
{
    std::mt19937 random(seed);
    long reads = 0;
    while (!stop) {
        const int process = static_cast<int>(random() % kProcesses);
        int finished[kThreads];
        for (int thread = 0; thread < kThreads; ++thread) {
            finished[thread] = progress.finished[process][thread].load();
        }
        // One listing is one read of the whole file: it holds every write so far.
        const std::vector<std::string> names = ListKeys(path, SectionOf(process));
        for (int thread = 0; thread < kThreads; ++thread) {
            for (int write = 0; write < finished[thread]; ++write) {
                misses += Contains(names, KeyOf(thread, write)) ? 0 : 1;
            }
        }
        const int thread = static_cast<int>(random() % kThreads);
        if (finished[thread] > 0) {
            const int write = static_cast<int>(random() % finished[thread]);
            char value[32];
            GetPrivateProfileStringA(SectionOf(process).c_str(), KeyOf(thread, write).c_str(), "",
                                     value, sizeof value, path.c_str());
            misses += ValueOf(process, thread, write) == value ? 0 : 1;
        }
        reads += 2;
        // Paced, so that the readers leave the writers most of the processors.
        std::this_thread::sleep_for(kReaderPause);
    }
    return reads;
}

// A writer's fair share of the queue is the time in which every other writer writes once:
// the writers times the mean interval between completed writes. The slowest write is
// printed as a multiple of it.
TEST(ConcurrentLoadTests, ProcessesAndThreadsWriteWhileOthersRead)
{
    ScopedHostFile file;
    WriteBytes(file.Path(), "; written by many at once\n");
    SharedValue<Progress> progress;
    const BusyLoops busy(kBusyLoops);
    const std::int64_t start = NowNs();

    // Forked before the readers start, so that no child copies a running thread.
    std::vector<pid_t> writers;
    for (int process = 0; process < kProcesses; ++process) {
        writers.push_back(StartChild([&, process] {
            WriteProcessKeys(file.Path(), process, *progress);
            return 0;
        }));
    }
    std::atomic<bool> stop{false};
    std::atomic<long> misses{0};
    std::atomic<long> reads{0};
    std::vector<std::thread> readers;
    for (int reader = 0; reader < kReaders; ++reader) {
        readers.emplace_back([&, reader] {
            reads += ReadWhileWriting(file.Path(), *progress, stop, misses, 1000u + reader);
        });
    }
    for (const pid_t pid : writers) {
        EXPECT_EQ(WaitForChild(pid, std::chrono::minutes(10)), ChildEnd::Succeeded);
    }
    stop = true;
    for (std::thread& reader : readers) {
        reader.join();
    }

    EXPECT_EQ(progress->failures.load(), 0);
    EXPECT_EQ(misses.load(), 0);
    int lost = 0;
    for (int process = 0; process < kProcesses; ++process) {
        const std::vector<std::string> names = ListKeys(file.Path(), SectionOf(process));
        for (int thread = 0; thread < kThreads; ++thread) {
            for (int write = 0; write < kWritesPerThread; ++write) {
                lost += Contains(names, KeyOf(thread, write)) ? 0 : 1;
            }
        }
    }
    EXPECT_EQ(lost, 0);
    constexpr int kWrites = kWriters * kWritesPerThread;
    const double seconds = (progress->lastFinishNs.load() - start) / 1e9;
    const double interval = seconds / kWrites;
    const double slowest = progress->slowestNs.load() / 1e9;
    std::printf("%d writes by %d writers in %.1f s beside %d busy loops: %d failed, %d lost; "
                "slowest write %.0f ms, %.1f times its fair share (%d writers x %.2f ms between "
                "completed writes); %ld reads beside them, %ld missing a finished write\n",
                kWrites, kWriters, seconds, kBusyLoops, progress->failures.load(), lost,
                slowest * 1e3, slowest / (kWriters * interval), kWriters, interval * 1e3,
                reads.load(), misses.load());
}

// Writes through two objects on one file, each thread reading back through the
// other object; and creation probes, which hold the file's lock for a moment,
// racing with the writers.
TEST(ConcurrentLoadTests, ObjectsAndProbesShareOneFile)
{
    constexpr int kWrites = 200;
    constexpr int kProbes = 500;
    ScopedHostFile file;
    CSkarvel first(file.NameForConstructor());
    CSkarvel second(file.NameForConstructor());
    ASSERT_TRUE(first.IsNewFile());
    ASSERT_FALSE(second.IsNewFile());

    std::atomic<int> failures{0};
    std::atomic<int> newFiles{0};
    auto writeThrough = [&](CSkarvel& writer, CSkarvel& reader, const char* section) {
        for (int write = 0; write < kWrites; ++write) {
            const std::string key = "key" + std::to_string(write);
            int value = -1;
            if (!writer.WriteInt(section, key.c_str(), write) ||
                !reader.GetInt(section, key.c_str(), value) || value != write) {
                ++failures;
            }
        }
    };
    std::thread one([&] { writeThrough(first, second, "first"); });
    std::thread two([&] { writeThrough(second, first, "second"); });
    std::thread probes([&] {
        for (int probe = 0; probe < kProbes; ++probe) {
            CSkarvel object(file.NameForConstructor());
            newFiles += object.IsNewFile() ? 1 : 0;
        }
    });
    one.join();
    two.join();
    probes.join();

    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(newFiles.load(), 0);
    for (const char* section : {"first", "second"}) {
        for (int write = 0; write < kWrites; ++write) {
            int value = -1;
            EXPECT_TRUE(first.GetInt(section, ("key" + std::to_string(write)).c_str(), value));
            EXPECT_EQ(value, write);
        }
    }
}

// Writers of earlier versions took no turn: they locked the settings file itself and replaced
// it while they held that lock. A writer of this version takes that lock too, so it waits for
// them, and then edits what they left.
TEST(ConcurrentLoadTests, WritersOfEarlierVersionsAreWaitedFor)
{
    ScopedHostFile file;
    WriteBytes(file.Path(), "[s]\nk=1\n");
    const int earlier = open(file.Path().c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(earlier, 0);
    ASSERT_EQ(flock(earlier, LOCK_EX), 0);

    std::atomic<bool> written{false};
    std::thread writer([&] {
        EXPECT_TRUE(WritePrivateProfileStringA("s", "new", "2", file.Path().c_str()));
        written = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_FALSE(written) << "the write did not wait for the earlier writer's lock";
    const std::string replacement = file.Path() + ".earlier";
    WriteBytes(replacement, "[s]\nk=1\nearlier=3\n");
    ASSERT_EQ(rename(replacement.c_str(), file.Path().c_str()), 0);
    ASSERT_EQ(flock(earlier, LOCK_UN), 0);
    close(earlier);
    writer.join();

    EXPECT_EQ(skarvel::test::ReadBytes(file.Path()), "[s]\nk=1\nearlier=3\nnew=2\n");
}

}  // namespace
