// Paths and files the store cannot or should not take as they come: each gets a
// clear answer, and nothing that was there is lost.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "HostFiles.h"
#include "Platform.h"

namespace {

using namespace std::string_literals;
using skarvel::test::ChildEnd;
using skarvel::test::FileExists;
using skarvel::test::ReadBytes;
using skarvel::test::RunInChild;
using skarvel::test::ScopedHostFile;
using skarvel::test::SharedValue;
using skarvel::test::WriteBytes;

// An unprivileged account for the rows that root's rights would void.
constexpr uid_t kNobody = 65534;
constexpr gid_t kNoGroup = 65534;

// A fresh directory, open to every user, removed with its content at the end.
class Sandbox {
public:
    Sandbox()
    {
        char pattern[] = "/tmp/skarvel-bad-input-XXXXXX";
        directory_ = mkdtemp(pattern);
        chmod(directory_.c_str(), 0777);
    }
    Sandbox(const Sandbox&) = delete;
    Sandbox& operator=(const Sandbox&) = delete;
    ~Sandbox() { Remove(directory_); }

    std::string operator/(const std::string& name) const { return directory_ + "/" + name; }

    // Every name under the directory with its bytes ("<dir>" for directories,
    // "-> target" for links, "<lock>" for the writers' lock file, whose bytes are the
    // store's own): what a failed write must leave as it was.
    std::map<std::string, std::string> Contents() const
    {
        std::map<std::string, std::string> contents;
        Collect(directory_, contents);
        return contents;
    }

private:
    static bool IsLockFile(const std::string& name)
    {
        const std::string suffix = ".skarvel-lock";
        return name.size() > suffix.size() &&
               name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0;
    }

    static void Collect(const std::string& directory, std::map<std::string, std::string>& into)
    {
        DIR* handle = opendir(directory.c_str());
        if (handle == nullptr) {
            return;
        }
        while (const dirent* entry = readdir(handle)) {
            const std::string name = entry->d_name;
            if (name == "." || name == "..") {
                continue;
            }
            const std::string path = directory + "/" + name;
            struct stat status;
            lstat(path.c_str(), &status);
            if (S_ISDIR(status.st_mode)) {
                into[path] = "<dir>";
                Collect(path, into);
            } else if (S_ISLNK(status.st_mode)) {
                char target[4096] = {};
                into[path] = "-> " + std::string(target, readlink(path.c_str(), target, 4095));
            } else if (IsLockFile(name)) {
                into[path] = "<lock>";
            } else {
                into[path] = ReadBytes(path);
            }
        }
        closedir(handle);
    }

    static void Remove(const std::string& path)
    {
        struct stat status;
        if (lstat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode)) {
            chmod(path.c_str(), 0777);
            DIR* handle = opendir(path.c_str());
            while (const dirent* entry = handle == nullptr ? nullptr : readdir(handle)) {
                const std::string name = entry->d_name;
                if (name != "." && name != "..") {
                    Remove(path + "/" + name);
                }
            }
            if (handle != nullptr) {
                closedir(handle);
            }
            rmdir(path.c_str());
        } else {
            unlink(path.c_str());
        }
    }

    std::string directory_;
};

// What one write and one read of a row answered.
struct Outcome {
    BOOL written;
    DWORD error;
    char read[64];
};

// Writes k=new into `section` and reads s/k (default "default") at `path`, as an
// unprivileged user when `unprivileged` and the test runs as root.
Outcome WriteAndRead(const std::string& path, const char* section, bool unprivileged)
{
    auto run = [&] {
        Outcome outcome = {};
        outcome.written = WritePrivateProfileStringA(section, "k", "new", path.c_str());
        outcome.error = GetLastError();
        GetPrivateProfileStringA("s", "k", "default", outcome.read, sizeof outcome.read,
                                 path.c_str());
        return outcome;
    };
    if (!unprivileged || geteuid() != 0) {
        return run();
    }
    const SharedValue<Outcome> outcome;
    EXPECT_EQ(RunInChild([&] {
                  if (setgid(kNoGroup) != 0 || setuid(kNobody) != 0) {
                      return 1;
                  }
                  *outcome = run();
                  return 0;
              }),
              ChildEnd::Succeeded);
    return *outcome;
}

// The uid the store runs as in a row.
uid_t RowUser(bool unprivileged)
{
    return unprivileged && geteuid() == 0 ? kNobody : geteuid();
}

const char kProfile[] = "[s]\nk=old\n";

struct RefusedPathRow {
    const char* name;
    bool unprivileged;
    const char* section;  // of the write, which sets k=new
    std::function<std::string(const Sandbox&, uid_t user)> arrange;  // answers the path
    DWORD error;
    const char* read;  // what s/k reads, before and after the refused write
};

TEST(BadInputTests, RefusedPathsChangeNothing)
{
    const auto settingsFile = [](const Sandbox& box, uid_t) {
        WriteBytes(box / "settings.ini", kProfile);
        return box / "settings.ini";
    };
    const std::vector<RefusedPathRow> rows = {
        {"path names a directory", false, "s",
         [](const Sandbox& box, uid_t) {
             mkdir((box / "settings.ini").c_str(), 0755);
             return box / "settings.ini";
         },
         ERROR_ACCESS_DENIED, "default"},
        {"unreadable file", true, "s",
         [](const Sandbox& box, uid_t) {
             WriteBytes(box / "settings.ini", kProfile);
             chmod((box / "settings.ini").c_str(), 0200);
             return box / "settings.ini";
         },
         ERROR_ACCESS_DENIED, "default"},
        {"read-only file, even for root", false, "s",
         [](const Sandbox& box, uid_t) {
             WriteBytes(box / "settings.ini", kProfile);
             chmod((box / "settings.ini").c_str(), 0444);
             return box / "settings.ini";
         },
         ERROR_ACCESS_DENIED, "old"},
        {"missing directory", false, "s",
         [](const Sandbox& box, uid_t) { return box / "missing/settings.ini"; },
         ERROR_PATH_NOT_FOUND, "default"},
        {"dangling link into a missing directory", false, "s",
         [](const Sandbox& box, uid_t) {
             symlink((box / "missing/target.ini").c_str(), (box / "settings.ini").c_str());
             return box / "settings.ini";
         },
         ERROR_PATH_NOT_FOUND, "default"},
        {"empty file name", false, "s", [](const Sandbox&, uid_t) { return std::string(); },
         ERROR_ACCESS_DENIED, "default"},
        {"empty file name, no section", false, nullptr,
         [](const Sandbox&, uid_t) { return std::string(); }, ERROR_ACCESS_DENIED, "default"},
        // As Windows, a key without a section is taken for a file that is not there.
        {"key without a section", false, nullptr, settingsFile, ERROR_FILE_NOT_FOUND, "old"},
    };
    for (const RefusedPathRow& row : rows) {
        SCOPED_TRACE(row.name);
        Sandbox box;
        const std::string path = row.arrange(box, RowUser(row.unprivileged));
        const auto before = box.Contents();

        const Outcome outcome = WriteAndRead(path, row.section, row.unprivileged);
        EXPECT_EQ(outcome.written, FALSE);
        EXPECT_EQ(outcome.error, row.error);
        EXPECT_STREQ(outcome.read, row.read);
        EXPECT_EQ(box.Contents(), before);
    }
}

std::string Utf16Le(const std::string& ascii)
{
    std::string bytes = "\xff\xfe";
    for (const char c : ascii) {
        bytes += c;
        bytes += '\0';
    }
    return bytes;
}

// One line of binary garbage without line ends, NULs included.
std::string Garbage()
{
    std::mt19937 random(5);
    std::string bytes = "garbage:";
    while (bytes.size() < 65536) {
        const char c = static_cast<char>(random());
        if (c != '\r' && c != '\n') {
            bytes += c;
        }
    }
    return bytes;
}

// About 100 MB of long key lines in one section, and then [s].
std::string HugeProfile(const char* value)
{
    const std::string filler(1000, 'y');
    std::string text = "[big]\n";
    for (int line = 0; text.size() < 100000000; ++line) {
        text += "key" + std::to_string(line) + "=" + filler + "\n";
    }
    return text + "[s]\nk=" + value + "\n";
}

struct FileRow {
    const char* name;
    std::string before;
    DWORD readSize;
    std::string read;   // s/k before the write, as read with readSize
    std::string after;  // the bytes after writing s/k=new
};

TEST(BadInputTests, OddFilesReadAndWriteTheLinesTheyConcern)
{
    const std::string longValue(10000000, 'x');
    const std::vector<FileRow> rows = {
        {"empty file", "", 64, "default", "[s]\nk=new\n"},
        {"binary garbage", Garbage(), 64, "default", Garbage() + "\n[s]\nk=new\n"},
        // A NUL ends a value for reading; what follows it on the line is kept.
        {"NUL bytes", "\0\n[s]\nk=a\0b\n\0\0\nj=1\n"s, 64, "a", "\0\n[s]\nk=new\0b\n\0\0\nj=1\n"s},
        {"10 MB line", "[s]\nlong=" + longValue + "\nk=old\n", 64, "old",
         "[s]\nlong=" + longValue + "\nk=new\n"},
        {"10 MB value cut to the buffer", "[s]\nk=" + longValue + "\nj=1\n", 16,
         std::string(15, 'x'), "[s]\nk=new\nj=1\n"},
        {"100 MB file", HugeProfile("old"), 64, "old", HugeProfile("new")},
        {"UTF-16 with an odd byte count", Utf16Le("[s]\r\nk=old\r\n") + "A", 64, "old",
         Utf16Le("[s]\r\nk=new\r\n") + "A"},
        {"lone CRs", "[s]\rj=1\rk=old", 64, "old", "[s]\rj=1\rk=new"},
        {"lone CRs, new key", "[s]\rj=1", 64, "default", "[s]\rj=1\rk=new"},
    };
    for (const FileRow& row : rows) {
        SCOPED_TRACE(row.name);
        ScopedHostFile file;
        WriteBytes(file.Path(), row.before);
        std::vector<char> read(row.readSize);
        GetPrivateProfileStringA("s", "k", "default", read.data(), row.readSize,
                                 file.Path().c_str());
        EXPECT_EQ(std::string(read.data()), row.read);

        EXPECT_NE(WritePrivateProfileStringA("s", "k", "new", file.Path().c_str()), FALSE);
        const std::string after = ReadBytes(file.Path());
        EXPECT_TRUE(after == row.after)
            << "file of " << after.size() << " bytes, expected " << row.after.size();
        char value[8] = {};
        GetPrivateProfileStringA("s", "k", "", value, sizeof value, file.Path().c_str());
        EXPECT_STREQ(value, "new");
    }
}

// A write through a symbolic link changes the file the link names, creating it when it is
// missing, and the link stays a link.
TEST(BadInputTests, LinksAreWrittenAtTheirTargetAndStay)
{
    using Contents = std::map<std::string, std::string>;
    const struct {
        const char* name;
        std::function<std::string(const Sandbox&)> arrange;  // answers the link's path
        const char* read;                                    // s/k before the write
        std::function<Contents(const Sandbox&)> after;       // everything after s/k=new
    } rows[] = {
        {"link to a file beside it",
         [](const Sandbox& box) {
             WriteBytes(box / "target.ini", kProfile);
             symlink("target.ini", (box / "settings.ini").c_str());
             return box / "settings.ini";
         },
         "old",
         [](const Sandbox& box) {
             return Contents{
                 {box / ".target.ini.skarvel-lock", "<lock>"},
                 {box / "settings.ini", "-> target.ini"},
                 {box / "target.ini", "[s]\nk=new\n"},
             };
         }},
        {"link to a file in another directory",
         [](const Sandbox& box) {
             mkdir((box / "elsewhere").c_str(), 0755);
             mkdir((box / "here").c_str(), 0755);
             WriteBytes(box / "elsewhere/target.ini", kProfile);
             symlink("../elsewhere/target.ini", (box / "here/settings.ini").c_str());
             return box / "here/settings.ini";
         },
         "old",
         [](const Sandbox& box) {
             return Contents{
                 {box / "elsewhere", "<dir>"},
                 {box / "elsewhere/.target.ini.skarvel-lock", "<lock>"},
                 {box / "elsewhere/target.ini", "[s]\nk=new\n"},
                 {box / "here", "<dir>"},
                 {box / "here/settings.ini", "-> ../elsewhere/target.ini"},
             };
         }},
        {"dangling link into an existing directory",
         [](const Sandbox& box) {
             symlink("target.ini", (box / "settings.ini").c_str());
             return box / "settings.ini";
         },
         "default",
         [](const Sandbox& box) {
             return Contents{
                 {box / ".target.ini.skarvel-lock", "<lock>"},
                 {box / "settings.ini", "-> target.ini"},
                 {box / "target.ini", "[s]\nk=new\n"},
             };
         }},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Sandbox box;
        const std::string link = row.arrange(box);
        char read[16];
        GetPrivateProfileStringA("s", "k", "default", read, sizeof read, link.c_str());
        EXPECT_STREQ(read, row.read);

        ASSERT_NE(WritePrivateProfileStringA("s", "k", "new", link.c_str()), FALSE);
        EXPECT_EQ(box.Contents(), row.after(box));
    }
}

// Another program replaces the file between two calls: the second call reads
// and edits the new file, and the old one's content is not brought back.
TEST(BadInputTests, FileReplacedBetweenCallsIsTakenAsItNowIs)
{
    Sandbox box;
    const std::string path = box / "settings.ini";
    ASSERT_NE(WritePrivateProfileStringA("s", "k", "first", path.c_str()), FALSE);

    ASSERT_EQ(RunInChild([&] {
                  WriteBytes(box / "replacement", "; replaced\n[t]\nj=1\n");
                  return rename((box / "replacement").c_str(), path.c_str()) == 0 ? 0 : 1;
              }),
              ChildEnd::Succeeded);

    char read[16];
    GetPrivateProfileStringA("s", "k", "default", read, sizeof read, path.c_str());
    EXPECT_STREQ(read, "default");
    ASSERT_NE(WritePrivateProfileStringA("t", "k", "second", path.c_str()), FALSE);
    EXPECT_EQ(ReadBytes(path), "; replaced\n[t]\nj=1\nk=second\n");
}

// The sanitizers' allocators end the process on a request for more memory than there is,
// instead of failing it.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitizerAllocator = true;
#elif defined(__has_feature)
constexpr bool kSanitizerAllocator =
    __has_feature(address_sanitizer) || __has_feature(thread_sanitizer);
#else
constexpr bool kSanitizerAllocator = false;
#endif

// A sparse file whose status claims more bytes than memory can hold (tmpfs takes any size)
// is refused like an unreadable one: the read answers the default and the write fails, each
// with the memory error, and the file stays as it was.
TEST(BadInputTests, FileTooLargeToHoldIsRefused)
{
    const struct {
        const char* name;
        off_t size;
    } rows[] = {
        {"beyond any address space", off_t{1} << 61},
        {"beyond any string", off_t{1} << 62},
    };
    char pattern[] = "/dev/shm/skarvel-huge-XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
        GTEST_SKIP() << "no tmpfs at /dev/shm";
    }
    const std::string directory = pattern;
    const std::string path = directory + "/settings.ini";
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        if (kSanitizerAllocator && row.size < off_t{1} << 62) {
            continue;
        }
        const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(ftruncate(fd, row.size), 0);
        close(fd);

        char read[16];
        EXPECT_EQ(GetPrivateProfileStringA("s", "k", "default", read, sizeof read, path.c_str()),
                  7u);
        EXPECT_STREQ(read, "default");
        EXPECT_EQ(GetLastError(), ERROR_NOT_ENOUGH_MEMORY);
        EXPECT_EQ(WritePrivateProfileStringA("s", "k", "v", path.c_str()), FALSE);
        EXPECT_EQ(GetLastError(), ERROR_NOT_ENOUGH_MEMORY);
        struct stat status;
        ASSERT_EQ(stat(path.c_str(), &status), 0);
        EXPECT_EQ(status.st_size, row.size);
        EXPECT_FALSE(FileExists(directory + "/.settings.ini.skarvel-tmp"));
    }
    unlink(path.c_str());
    rmdir(directory.c_str());
}

}  // namespace
