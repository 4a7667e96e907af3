// The reason a failed call of the class leaves in errno.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <functional>
#include <string>

#include "HostFiles.h"
#include "Skarvel.h"

namespace {

using skarvel::test::ScopedHostFile;
using skarvel::test::WriteBytes;

struct Row {
    const char* name;
    std::function<bool(CSkarvel& settings)> call;  // true when the call succeeded
    int error;
};

TEST(FailureReasonTests, FailedCallsLeaveErrno)
{
    char text[8];
    int number = 0;
    float real = 0;
    const Row rows[] = {
        {"missing key", [&](CSkarvel& s) { return s.GetString("s", "missing", text, 8); }, ENOENT},
        {"empty value", [&](CSkarvel& s) { return s.GetString("s", "empty", text, 8); }, ENOENT},
        {"missing integer", [&](CSkarvel& s) { return s.GetInt("s", "missing", number); }, ENOENT},
        {"missing real", [&](CSkarvel& s) { return s.GetFloat("t", "k", real); }, ENOENT},
        {"zero size", [&](CSkarvel& s) { return s.GetString("s", "k", text, 0); }, EINVAL},
        {"refused text", [&](CSkarvel& s) { return s.WriteString("s", "k", "a\nb") != 0; }, EINVAL},
        {"refused key", [&](CSkarvel& s) { return s.WriteInt("s", "a=b", 1) != 0; }, EINVAL},
    };
    ScopedHostFile file;
    WriteBytes(file.Path(), "[s]\nk=v\nempty=\n");
    CSkarvel settings(file.NameForConstructor());
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        errno = 0;
        EXPECT_FALSE(row.call(settings));
        EXPECT_EQ(errno, row.error);
    }
}

TEST(FailureReasonTests, RefusalsOfTheFileSystemLeaveTheirReason)
{
    // A missing directory: the probe cannot create the file, nor a write.
    ScopedHostFile file;
    std::string inMissingDirectory = file.Name() + "-missing/settings.ini";
    errno = 0;
    CSkarvel missing(&inMissingDirectory[0]);
    EXPECT_EQ(errno, ENOENT);
    errno = 0;
    EXPECT_EQ(missing.WriteString("s", "k", "v"), 0);
    EXPECT_EQ(errno, ENOENT);

    // A directory where the file should be.
    std::filesystem::create_directory(file.Path());
    errno = 0;
    CSkarvel directory(file.NameForConstructor());
    EXPECT_EQ(errno, EACCES);
    errno = 0;
    EXPECT_EQ(directory.WriteInt("s", "k", 1), 0);
    EXPECT_EQ(errno, EACCES);
    char text[8];
    errno = 0;
    EXPECT_FALSE(directory.GetString("s", "k", text, sizeof text));
    EXPECT_EQ(errno, EACCES);
    std::filesystem::remove(file.Path());

    // No path at all.
    std::string longName(300, 'x');
    errno = 0;
    CSkarvel tooLong(&longName[0]);
    EXPECT_EQ(errno, ENAMETOOLONG);
    errno = 0;
    CSkarvel unnamed(nullptr);
    EXPECT_EQ(errno, EINVAL);
    int number = 0;
    errno = 0;
    EXPECT_FALSE(unnamed.GetInt("s", "k", number));
    EXPECT_EQ(errno, EINVAL);
}

}  // namespace
