// Opening a file exclusively, creating it when missing, and the thread's last error.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <thread>

#include "HostFiles.h"
#include "Platform.h"

namespace {

using skarvel::test::FileExists;
using skarvel::test::ScopedHostFile;
using skarvel::test::WriteBytes;

HANDLE Probe(const std::string& path)
{
    return CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

TEST(FileProbeTests, CreatesOrOpensAndTellsWhich)
{
    ScopedHostFile file;
    HANDLE created = Probe(file.Path());
    ASSERT_NE(created, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
    EXPECT_TRUE(CloseHandle(created));
    EXPECT_TRUE(FileExists(file.Path()));

    HANDLE opened = Probe(file.Path());
    ASSERT_NE(opened, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    CloseHandle(opened);
}

TEST(FileProbeTests, SecondExclusiveOpenerIsRefusedUntilTheFirstCloses)
{
    ScopedHostFile file;
    HANDLE first = Probe(file.Path());
    ASSERT_NE(first, INVALID_HANDLE_VALUE);
    EXPECT_EQ(Probe(file.Path()), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);

    // From another thread, and through another name of the same file.
    std::thread([&] {
        EXPECT_EQ(Probe(skarvel::test::HostDirectory() + "/./" + file.Name()),
                  INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
    }).join();

    CloseHandle(first);
    HANDLE again = Probe(file.Path());
    EXPECT_NE(again, INVALID_HANDLE_VALUE);
    CloseHandle(again);
}

TEST(FileProbeTests, FailuresAnswerTheInvalidHandleWithAWin32Code)
{
    ScopedHostFile readOnly;
    WriteBytes(readOnly.Path(), "[s]\n");
    chmod(readOnly.Path().c_str(), 0444);
    const std::string directory = skarvel::test::HostDirectory();
    const struct {
        std::string path;
        DWORD error;
    } rows[] = {
        {directory + "/no-such-directory/x.ini", ERROR_PATH_NOT_FOUND},
        {directory, ERROR_ACCESS_DENIED},
        {readOnly.Path(), ERROR_ACCESS_DENIED},  // refused even when run as root
        {"", ERROR_PATH_NOT_FOUND},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.path);
        EXPECT_EQ(Probe(row.path), INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), row.error);
    }
    EXPECT_FALSE(FileExists(directory + "/no-such-directory/x.ini"));
    EXPECT_EQ(CreateFileA(readOnly.Path().c_str(), GENERIC_READ, 0, nullptr, OPEN_ALWAYS,
                          FILE_ATTRIBUTE_NORMAL, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST(FileProbeTests, LastErrorBelongsToTheThread)
{
    ScopedHostFile file;
    CloseHandle(Probe(file.Path()));
    HANDLE opened = Probe(file.Path());
    ASSERT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    std::thread([&] {
        EXPECT_EQ(Probe(file.Path()), INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
    }).join();
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    CloseHandle(opened);
}

TEST(FileProbeTests, ClosingTheInvalidHandleDoesNothing)
{
    EXPECT_FALSE(CloseHandle(INVALID_HANDLE_VALUE));
}

}  // namespace
