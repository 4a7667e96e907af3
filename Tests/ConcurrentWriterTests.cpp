// Writers in several processes and threads at once: no update is lost.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "ChildProcess.h"
#include "HostFiles.h"
#include "Platform.h"

namespace {

using skarvel::test::ChildEnd;
using skarvel::test::ScopedHostFile;

constexpr int kWriters = 6;
constexpr int kKeysPerWriter = 40;

std::string KeyName(int writer, int key)
{
    return "w" + std::to_string(writer) + "k" + std::to_string(key);
}

// Writes the writer's keys; true when every write succeeded.
bool WriteKeys(const std::string& path, int writer)
{
    bool ok = true;
    for (int key = 0; key < kKeysPerWriter; ++key) {
        const std::string name = KeyName(writer, key);
        const std::string section = "s" + std::to_string(key % 3);
        ok = WritePrivateProfileStringA(section.c_str(), name.c_str(), name.c_str(),
                                        path.c_str()) != FALSE && ok;
    }
    return ok;
}

void ExpectEveryKey(const std::string& path)
{
    for (int writer = 0; writer < kWriters; ++writer) {
        for (int key = 0; key < kKeysPerWriter; ++key) {
            const std::string name = KeyName(writer, key);
            const std::string section = "s" + std::to_string(key % 3);
            char buffer[32];
            GetPrivateProfileStringA(section.c_str(), name.c_str(), "", buffer, sizeof buffer,
                                     path.c_str());
            EXPECT_EQ(std::string(buffer), name);
        }
    }
}

TEST(ConcurrentWriterTests, ProcessesWritingDistinctKeysLoseNone)
{
    ScopedHostFile file;
    std::vector<pid_t> children;
    for (int writer = 0; writer < kWriters; ++writer) {
        const pid_t pid =
            skarvel::test::StartChild([&] { return WriteKeys(file.Path(), writer) ? 0 : 1; });
        ASSERT_GE(pid, 0);
        children.push_back(pid);
    }
    for (const pid_t pid : children) {
        EXPECT_EQ(skarvel::test::WaitForChild(pid), ChildEnd::Succeeded);
    }
    ExpectEveryKey(file.Path());
}

TEST(ConcurrentWriterTests, ThreadsWritingDistinctKeysLoseNone)
{
    ScopedHostFile file;
    std::vector<std::thread> threads;
    bool ok[kWriters] = {};
    for (int writer = 0; writer < kWriters; ++writer) {
        threads.emplace_back([&, writer] { ok[writer] = WriteKeys(file.Path(), writer); });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (bool writerOk : ok) {
        EXPECT_TRUE(writerOk);
    }
    ExpectEveryKey(file.Path());
}

}  // namespace
