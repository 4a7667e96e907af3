// The executable's path and cutting a path to its directory.
#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <cstring>
#include <string>

#include "Platform.h"

namespace {

std::string ExecutablePath()
{
    char path[PATH_MAX + 1] = {};
    const ssize_t length = readlink("/proc/self/exe", path, PATH_MAX);
    return std::string(path, length > 0 ? static_cast<size_t>(length) : 0);
}

TEST(ModuleFileTests, FullPathOfTheExecutable)
{
    const std::string expected = ExecutablePath();
    char buffer[4096];
    const DWORD length = GetModuleFileNameA(GetModuleHandleA(nullptr), buffer, sizeof buffer);
    EXPECT_EQ(length, expected.size());
    EXPECT_EQ(std::string(buffer), expected);
    EXPECT_EQ(GetModuleFileNameA(nullptr, buffer, sizeof buffer), expected.size());
    EXPECT_EQ(GetModuleHandleA("other.dll"), nullptr);
}

// A buffer too small gets the path cut and terminated, answer the capacity.
TEST(ModuleFileTests, SmallBufferIsFilledCutAndTerminated)
{
    const std::string expected = ExecutablePath();
    char buffer[8];
    memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(GetModuleFileNameA(GetModuleHandleA(nullptr), buffer, 5), 5u);
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(std::string(buffer), expected.substr(0, 4));
    EXPECT_EQ(buffer[5], 'x');

    std::string exact(expected.size() + 1, 'x');
    EXPECT_EQ(GetModuleFileNameA(nullptr, &exact[0], static_cast<DWORD>(exact.size())),
              expected.size());
    EXPECT_EQ(exact.c_str(), expected);
}

TEST(ModuleFileTests, RemoveFileSpec)
{
    const struct {
        const char* path;
        const char* directory;
        BOOL removed;
    } rows[] = {
        {"/opt/app/host", "/opt/app", TRUE}, {"/host", "/", TRUE}, {"/", "/", FALSE},
        {"host", "", TRUE},                  {"", "", FALSE},      {"/a/b/", "/a/b", TRUE},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.path);
        std::string path = row.path;
        path.push_back('\0');
        EXPECT_EQ(PathRemoveFileSpecA(&path[0]), row.removed);
        EXPECT_STREQ(path.c_str(), row.directory);
    }
    EXPECT_EQ(PathRemoveFileSpecA(nullptr), FALSE);
}

}  // namespace
