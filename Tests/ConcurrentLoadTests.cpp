// Many writers and readers on one file at once: no write fails or is lost, and
// no reader sees a file without the writes that finished before it read.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <new>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "HostFiles.h"
#include "Platform.h"
#include "Skarvel.h"

namespace {

using skarvel::test::ScopedHostFile;
using skarvel::test::WriteBytes;

constexpr int kProcesses = 8;
constexpr int kThreads = 4;
constexpr int kWritesPerThread = 250;
constexpr int kReaders = 2;
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
// thread has finished, and how many failed.
struct Progress {
    std::atomic<int> finished[kProcesses][kThreads];
    std::atomic<int> failures;
};

// Progress in memory that forked writers share with the test.
class SharedProgress {
public:
    SharedProgress()
        : memory_(mmap(nullptr, sizeof(Progress), PROT_READ | PROT_WRITE,
                       MAP_SHARED | MAP_ANONYMOUS, -1, 0))
    {
        progress_ = new (memory_) Progress();
    }
    SharedProgress(const SharedProgress&) = delete;
    SharedProgress& operator=(const SharedProgress&) = delete;
    ~SharedProgress() { munmap(memory_, sizeof(Progress)); }

    Progress& operator*() const { return *progress_; }
    Progress* operator->() const { return progress_; }

private:
    void* memory_;
    Progress* progress_;
};

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
                const BOOL ok = WritePrivateProfileStringA(
                    SectionOf(process).c_str(), KeyOf(thread, write).c_str(),
                    ValueOf(process, thread, write).c_str(), path.c_str());
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

TEST(ConcurrentLoadTests, ProcessesAndThreadsWriteWhileOthersRead)
{
    ScopedHostFile file;
    WriteBytes(file.Path(), "; written by many at once\n");
    SharedProgress progress;
    const auto start = std::chrono::steady_clock::now();

    // Forked before the readers start, so that no child copies a running thread.
    std::vector<pid_t> writers;
    for (int process = 0; process < kProcesses; ++process) {
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            WriteProcessKeys(file.Path(), process, *progress);
            _exit(0);
        }
        writers.push_back(pid);
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
        int status = 0;
        EXPECT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    stop = true;
    for (std::thread& reader : readers) {
        reader.join();
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    EXPECT_EQ(progress->failures.load(), 0);
    EXPECT_EQ(misses.load(), 0);
    for (int process = 0; process < kProcesses; ++process) {
        const std::vector<std::string> names = ListKeys(file.Path(), SectionOf(process));
        EXPECT_EQ(names.size(), static_cast<size_t>(kThreads * kWritesPerThread));
        for (int thread = 0; thread < kThreads; ++thread) {
            for (int write = 0; write < kWritesPerThread; ++write) {
                EXPECT_TRUE(Contains(names, KeyOf(thread, write)))
                    << SectionOf(process) << " " << KeyOf(thread, write);
            }
        }
    }
    std::printf("%d writes in %.1f s (%.0f per second) with %ld reads beside them\n",
                kProcesses * kThreads * kWritesPerThread, seconds,
                kProcesses * kThreads * kWritesPerThread / seconds, reads.load());
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

}  // namespace
