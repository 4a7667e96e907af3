// Other users of one machine: what they plant beside a settings file, and the files they
// share with its owner, never make a write fail, hang, leak or change hands, and a write
// reaches only the file the kernel would let the writer reach. The rows run as ordinary
// users that the test makes for itself, so it needs root; it skips without.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <cstdio>
#include <functional>
#include <future>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "ChildProcess.h"
#include "HostFiles.h"
#include "Platform.h"

namespace {

using skarvel::test::ChildEnd;
using skarvel::test::ReadBytes;
using skarvel::test::RunInChild;
using skarvel::test::SharedValue;
using skarvel::test::WriteBytes;

// Long enough for any write on a busy machine; a write that waits on a planted file waits for
// ever and is cut off here.
constexpr std::chrono::seconds kWriteLimit{20};

struct Account {
    const char* name;
    uid_t uid;
    gid_t gid;
};

// The users the rows run as: the settings file's owner, a member of the owner's team, and
// another user of the machine who is in no group of theirs.
class TestAccounts {
public:
    TestAccounts()
    {
        if (geteuid() != 0) {
            problem_ = "needs root, to make its own users; CI runs as root";
            return;
        }
        if (getgrnam(kTeam) == nullptr) {
            madeTeam_ = Run(std::string("groupadd ") + kTeam);
        }
        for (Account* account : {&owner, &member, &other}) {
            if (getpwnam(account->name) == nullptr) {
                const bool inTeam = account != &other;
                if (Run(std::string("useradd --no-create-home --shell /usr/sbin/nologin ") +
                        (inTeam ? std::string("--groups ") + kTeam + " " : "") + account->name)) {
                    made_.push_back(account->name);
                }
            }
            const passwd* entry = getpwnam(account->name);
            if (entry == nullptr) {
                problem_ = std::string("could not make the user ") + account->name;
                return;
            }
            account->uid = entry->pw_uid;
            account->gid = entry->pw_gid;
        }
        const group* team = getgrnam(kTeam);
        if (team == nullptr) {
            problem_ = "could not make the group skarvel-team";
            return;
        }
        teamGid = team->gr_gid;
    }
    TestAccounts(const TestAccounts&) = delete;
    TestAccounts& operator=(const TestAccounts&) = delete;
    ~TestAccounts()
    {
        for (const std::string& name : made_) {
            Run("userdel " + name);
        }
        if (madeTeam_) {
            Run(std::string("groupdel ") + kTeam);
        }
    }

    // Empty when the accounts are there; otherwise why not.
    const std::string& Problem() const { return problem_; }

    Account owner = {"skarvel-owner", 0, 0};
    Account member = {"skarvel-member", 0, 0};
    Account other = {"skarvel-other", 0, 0};
    gid_t teamGid = 0;

private:
    static constexpr const char* kTeam = "skarvel-team";

    static bool Run(const std::string& command)
    {
        return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
    }

    std::string problem_;
    std::vector<std::string> made_;
    bool madeTeam_ = false;
};

// Takes on the user's identity, with its groups, in a child of the test.
bool BecomeUser(const Account& account)
{
    gid_t groups[64];
    int count = 64;
    if (getgrouplist(account.name, account.gid, groups, &count) < 0) {
        return false;
    }
    return setgroups(static_cast<size_t>(count), groups) == 0 && setgid(account.gid) == 0 &&
           setuid(account.uid) == 0;
}

// One of the kernel's link guards, set for a row and put back after it.
class KernelSetting {
public:
    KernelSetting(const char* name, char value) : path_(std::string("/proc/sys/fs/") + name)
    {
        const std::string old = ReadBytes(path_);
        if (old.empty()) {
            return;
        }
        old_ = old[0];
        set_ = Write(value) && ReadBytes(path_)[0] == value;
    }
    KernelSetting(const KernelSetting&) = delete;
    KernelSetting& operator=(const KernelSetting&) = delete;
    ~KernelSetting()
    {
        if (old_ != 0) {
            Write(old_);
        }
    }
    bool Set() const { return set_; }

private:
    bool Write(char value) const
    {
        const int fd = open(path_.c_str(), O_WRONLY | O_CLOEXEC);
        const bool written = fd >= 0 && write(fd, &value, 1) == 1;
        if (fd >= 0) {
            close(fd);
        }
        return written;
    }

    std::string path_;
    char old_ = 0;
    bool set_ = false;
};

const char kOld[] = "[s]\nk=old\n";
const char kVictimBytes[] = "[s]\nk=private\n";

// The places of one row: a sticky directory open to all (as /tmp is) and a directory of
// root's that only root may write, the settings file in one of them, and the owner's private
// directory with another of the owner's files, the victim.
struct Scene {
    std::string shared;
    std::string rootOnly;
    std::string settings;
    std::string victim;

    std::string Beside(const char* suffix) const
    {
        return settings.substr(0, settings.rfind('/')) + "/.settings.ini" + suffix;
    }
};

void Own(const std::string& path, const Account& account, gid_t group)
{
    ASSERT_EQ(lchown(path.c_str(), account.uid, group), 0) << path;
}

// What the writer saw: its write's answer and error, then what it read.
struct Seen {
    BOOL written;
    DWORD error;
    char read[32];
};

struct HostileRow {
    const char* name;
    // Sets the files up as root: the settings file, and what another user planted.
    std::function<void(Scene&, const TestAccounts&)> arrange;
    bool byMember;        // written by the team's member, not the owner
    char protectedLinks;  // fs.protected_symlinks for the row, or 0 to leave it as it is
    BOOL written;
    DWORD error;          // when the write is refused
    const char* read;     // what the writer reads back
    bool victimWritten;   // the write went, through a link, to the owner's other file
};

// What another user planted at the companions' names before the write, described so that a
// change shows: each must stay as it was planted.
std::string Planted(const Scene& scene, const std::string& before = std::string())
{
    std::string found;
    for (const char* suffix : {".skarvel-tmp", ".skarvel-lock"}) {
        const std::string path = scene.Beside(suffix);
        struct stat status;
        if (lstat(path.c_str(), &status) != 0 ||
            (!before.empty() && before.find(path + " ") == std::string::npos)) {
            continue;  // made by the write itself
        }
        found += path + " " + std::to_string(status.st_mode) + " " + std::to_string(status.st_uid);
        if (S_ISREG(status.st_mode)) {
            found += " " + ReadBytes(path);
        }
        found += "\n";
    }
    return found;
}

// Holds a flock on whatever stands at the companions' names, as another user could.
class HeldPlants {
public:
    explicit HeldPlants(const Scene& scene)
    {
        for (const char* suffix : {".skarvel-tmp", ".skarvel-lock"}) {
            const int fd = open(scene.Beside(suffix).c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK);
            if (fd >= 0) {
                flock(fd, LOCK_EX | LOCK_NB);
                fds_.push_back(fd);
            }
        }
    }
    HeldPlants(const HeldPlants&) = delete;
    HeldPlants& operator=(const HeldPlants&) = delete;
    ~HeldPlants()
    {
        for (const int fd : fds_) {
            close(fd);
        }
    }

private:
    std::vector<int> fds_;
};

TEST(SharedMachineTests, OtherUsersNeitherBlockNorRedirectNorReadWrites)
{
    const TestAccounts users;
    if (!users.Problem().empty()) {
        GTEST_SKIP() << users.Problem();
    }
    // The owner's settings file, with the team as its group.
    const auto settingsFile = [](const Scene& scene, const Account& owner, gid_t group,
                                 mode_t mode) {
        WriteBytes(scene.settings, kOld);
        ASSERT_EQ(chmod(scene.settings.c_str(), mode), 0);
        Own(scene.settings, owner, group);
    };
    const auto plant = [](const std::string& path, const Account& other) {
        WriteBytes(path, "");
        ASSERT_EQ(chmod(path.c_str(), 0666), 0);
        Own(path, other, other.gid);
    };
    const auto plantFifo = [](const std::string& path, const Account& other) {
        ASSERT_EQ(mkfifo(path.c_str(), 0666), 0);
        Own(path, other, other.gid);
    };
    const auto plantLink = [](const std::string& path, const std::string& target,
                              const Account& by) {
        ASSERT_EQ(symlink(target.c_str(), path.c_str()), 0);
        Own(path, by, by.gid);
    };
    const std::vector<HostileRow> rows = {
        {"FIFO at the fixed temporary name",
         [&](Scene& scene, const TestAccounts& who) {
             settingsFile(scene, who.owner, who.teamGid, 0644);
             plantFifo(scene.Beside(".skarvel-tmp"), who.other);
         },
         false, 0, TRUE, 0, "new", false},
        {"another user's file, open to all and held locked, at the fixed temporary name",
         [&](Scene& scene, const TestAccounts& who) {
             settingsFile(scene, who.owner, who.teamGid, 0644);
             plant(scene.Beside(".skarvel-tmp"), who.other);
         },
         false, 0, TRUE, 0, "new", false},
        {"hard link to the owner's other file at the fixed temporary name",
         [&](Scene& scene, const TestAccounts& who) {
             settingsFile(scene, who.owner, who.teamGid, 0644);
             ASSERT_EQ(link(scene.victim.c_str(), scene.Beside(".skarvel-tmp").c_str()), 0);
         },
         false, 0, TRUE, 0, "new", false},
        {"FIFO at the lock file's name",
         [&](Scene& scene, const TestAccounts& who) {
             settingsFile(scene, who.owner, who.teamGid, 0644);
             plantFifo(scene.Beside(".skarvel-lock"), who.other);
         },
         false, 0, TRUE, 0, "new", false},
        {"another user's file, open to all and held locked, at the lock file's name",
         [&](Scene& scene, const TestAccounts& who) {
             settingsFile(scene, who.owner, who.teamGid, 0644);
             plant(scene.Beside(".skarvel-lock"), who.other);
         },
         false, 0, TRUE, 0, "new", false},
        {"another user's link to the owner's other file at the lock file's name",
         [&](Scene& scene, const TestAccounts& who) {
             settingsFile(scene, who.owner, who.teamGid, 0644);
             plantLink(scene.Beside(".skarvel-lock"), scene.victim, who.other);
         },
         false, 0, TRUE, 0, "new", false},
        {"hard link to the owner's other file at the lock file's name",
         [&](Scene& scene, const TestAccounts& who) {
             settingsFile(scene, who.owner, who.teamGid, 0644);
             ASSERT_EQ(link(scene.victim.c_str(), scene.Beside(".skarvel-lock").c_str()), 0);
         },
         false, 0, TRUE, 0, "new", false},
        {"another user's link at the settings name, links guarded",
         [&](Scene& scene, const TestAccounts& who) {
             plantLink(scene.settings, scene.victim, who.other);
         },
         false, '1', FALSE, ERROR_ACCESS_DENIED, "", false},
        {"another user's link at the settings name, links not guarded",
         [&](Scene& scene, const TestAccounts& who) {
             plantLink(scene.settings, scene.victim, who.other);
         },
         false, '0', TRUE, 0, "new", true},
        {"the owner's own link at the settings name, links guarded",
         [&](Scene& scene, const TestAccounts& who) {
             plantLink(scene.settings, scene.victim, who.owner);
         },
         false, '1', TRUE, 0, "new", true},
        {"the team's file, written by a member",
         [&](Scene& scene, const TestAccounts& who) {
             settingsFile(scene, who.owner, who.teamGid, 0660);
         },
         true, 0, TRUE, 0, "new", false},
        {"another user's file open to all, written by the owner",
         [&](Scene& scene, const TestAccounts& who) {
             settingsFile(scene, who.other, who.other.gid, 0666);
         },
         false, 0, TRUE, 0, "new", false},
        {"a file the member may only read",
         [&](Scene& scene, const TestAccounts& who) {
             settingsFile(scene, who.owner, who.teamGid, 0640);
         },
         true, 0, FALSE, ERROR_ACCESS_DENIED, "old", false},
        {"a file open to all in a directory only root may write",
         [&](Scene& scene, const TestAccounts& who) {
             scene.settings = scene.rootOnly + "/settings.ini";
             settingsFile(scene, who.other, who.other.gid, 0666);
         },
         false, 0, TRUE, 0, "new", false},
        {"a read-only file in a directory only root may write",
         [&](Scene& scene, const TestAccounts& who) {
             scene.settings = scene.rootOnly + "/settings.ini";
             settingsFile(scene, who.owner, who.teamGid, 0444);
         },
         false, 0, FALSE, ERROR_ACCESS_DENIED, "old", false},
    };
    int skipped = 0;
    for (const HostileRow& row : rows) {
        SCOPED_TRACE(row.name);
        std::optional<KernelSetting> links;
        if (row.protectedLinks != 0) {
            links.emplace("protected_symlinks", row.protectedLinks);
            if (!links->Set()) {
                std::printf("%s: skipped, fs.protected_symlinks cannot be set here\n", row.name);
                ++skipped;
                continue;
            }
        }
        char pattern[] = "/tmp/skarvel-shared-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        Scene scene;
        scene.shared = pattern;
        scene.rootOnly = scene.shared + "/root-only";
        scene.settings = scene.shared + "/settings.ini";
        const std::string home = scene.shared + "/home";
        scene.victim = home + "/victim.ini";
        ASSERT_EQ(chmod(scene.shared.c_str(), 01777), 0);
        ASSERT_EQ(mkdir(scene.rootOnly.c_str(), 0755), 0);
        ASSERT_EQ(mkdir(home.c_str(), 0700), 0);
        WriteBytes(scene.victim, kVictimBytes);
        Own(home, users.owner, users.owner.gid);
        Own(scene.victim, users.owner, users.owner.gid);
        row.arrange(scene, users);
        struct stat before = {};
        lstat(scene.settings.c_str(), &before);
        const std::string planted = Planted(scene);

        const Account& writer = row.byMember ? users.member : users.owner;
        SharedValue<Seen> seen;
        ChildEnd end;
        {
            const HeldPlants held(scene);
            end = RunInChild(
                [&] {
                    if (!BecomeUser(writer)) {
                        return 1;
                    }
                    seen->written =
                        WritePrivateProfileStringA("s", "k", "new", scene.settings.c_str());
                    seen->error = GetLastError();
                    GetPrivateProfileStringA("s", "k", "", seen->read, sizeof seen->read,
                                             scene.settings.c_str());
                    return 0;
                },
                kWriteLimit);
        }

        EXPECT_EQ(end, ChildEnd::Succeeded) << "the write hung or its process failed";
        EXPECT_EQ(seen->written, row.written);
        if (!row.written) {
            EXPECT_EQ(seen->error, row.error);
        }
        EXPECT_STREQ(seen->read, row.read);
        EXPECT_EQ(ReadBytes(scene.victim), row.victimWritten ? "[s]\nk=new\n" : kVictimBytes);
        if (!planted.empty()) {
            EXPECT_EQ(Planted(scene, planted), planted) << "a planted file was changed";
        }
        struct stat after = {};
        lstat(scene.settings.c_str(), &after);
        EXPECT_EQ(after.st_uid, before.st_uid);
        EXPECT_EQ(after.st_gid, before.st_gid);
        EXPECT_EQ(after.st_mode, before.st_mode);
        ASSERT_EQ(std::system(("rm -rf " + scene.shared).c_str()), 0);
    }
    std::printf("%zu rows, %d skipped\n", rows.size(), skipped);
}

}  // namespace

namespace {

// A writer that may not replace the file rewrites it in place, the file shrinking and growing
// by turns; readers beside it must never see it half rewritten: every read finds every key
// and the last line whole.
TEST(SharedMachineTests, ReadersNeverSeeAFileHalfRewrittenInPlace)
{
    const TestAccounts users;
    if (!users.Problem().empty()) {
        GTEST_SKIP() << users.Problem();
    }
    constexpr int kKeys = 2000;
    constexpr int kWrites = 200;
    char pattern[] = "/tmp/skarvel-in-place-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string directory = pattern;
    ASSERT_EQ(chmod(directory.c_str(), 0755), 0);
    const std::string path = directory + "/settings.ini";
    std::string text = "[s]\nfirst=x\n";
    for (int key = 0; key < kKeys; ++key) {
        text += "key" + std::to_string(key) + "=value of key " + std::to_string(key) + "\n";
    }
    WriteBytes(path, text + "last=end\n");
    ASSERT_EQ(chmod(path.c_str(), 0660), 0);
    Own(path, users.owner, users.teamGid);

    // The member may write the team's file but cannot give a new file the owner: in place.
    SharedValue<std::atomic<bool>> done;
    const pid_t writer = skarvel::test::StartChild([&] {
        const std::string longValue(20000, 'y');
        int failed = BecomeUser(users.member) ? 0 : 1;
        for (int write = 0; write < kWrites && failed == 0; ++write) {
            const char* value = write % 2 == 0 ? longValue.c_str() : "short";
            failed = WritePrivateProfileStringA("s", "first", value, path.c_str()) ? 0 : 2;
        }
        *done = true;
        return failed;
    });
    int reads = 0;
    int torn = 0;
    std::vector<char> keys(1 << 20);
    while (!*done) {
        const DWORD listed =
            GetPrivateProfileStringA("s", nullptr, "", keys.data(), static_cast<DWORD>(keys.size()),
                                     path.c_str());
        int count = 0;
        for (DWORD at = 0; at < listed; at += static_cast<DWORD>(std::strlen(&keys[at])) + 1) {
            ++count;
        }
        char last[8] = {};
        GetPrivateProfileStringA("s", "last", "", last, sizeof last, path.c_str());
        torn += count == kKeys + 2 && std::string(last) == "end" ? 0 : 1;
        ++reads;
    }
    EXPECT_EQ(skarvel::test::WaitForChild(writer), ChildEnd::Succeeded);
    EXPECT_EQ(torn, 0) << "of " << reads << " reads";
    std::printf("%d reads beside %d rewrites in place: %d saw a file half rewritten\n", reads,
                kWrites, torn);
    struct stat status;
    ASSERT_EQ(stat(path.c_str(), &status), 0);
    EXPECT_EQ(status.st_uid, users.owner.uid);
    EXPECT_EQ(status.st_gid, users.teamGid);
    ASSERT_EQ(std::system(("rm -rf " + directory).c_str()), 0);
}

}  // namespace

namespace {

// A host forks while another of its threads is inside a write or a read: each child can use
// the store at once, and a child that lives on without using it holds up none of the
// parent's writes. A child that found a lock of its parent's still held would wait for
// ever, and is cut off.
TEST(SharedMachineTests, ChildrenForkedDuringWritesUseTheStoreAtOnce)
{
    constexpr int kChildren = 40;
    constexpr int kParentWrites = 20;
    skarvel::test::ScopedHostFile file;
    std::atomic<bool> stop{false};
    std::thread busy([&] {
        for (int write = 0; !stop; ++write) {
            WritePrivateProfileStringA("parent", "k", std::to_string(write).c_str(),
                                       file.Path().c_str());
            char value[16];
            GetPrivateProfileStringA("parent", "k", "", value, sizeof value, file.Path().c_str());
        }
    });
    int stuck = 0;
    for (int child = 0; child < kChildren; ++child) {
        std::this_thread::sleep_for(std::chrono::microseconds(500 * (child % 7)));
        const std::string key = "k" + std::to_string(child);
        const ChildEnd end = RunInChild(
            [&] {
                char value[16];
                return WritePrivateProfileStringA("child", key.c_str(), "v",
                                                  file.Path().c_str()) &&
                               GetPrivateProfileStringA("child", key.c_str(), "", value,
                                                        sizeof value, file.Path().c_str()) == 1
                           ? 0
                           : 1;
            },
            kWriteLimit);
        stuck += end == ChildEnd::TimedOut ? 1 : 0;
        EXPECT_NE(end, ChildEnd::Failed) << "child " << child;
    }
    EXPECT_EQ(stuck, 0) << "children that waited for ever";
    std::printf("%d children forked during writes: %d waited for ever\n", kChildren, stuck);

    // A child that never uses the store and outlives the parent's next writes.
    const pid_t idle = skarvel::test::StartChild([] {
        pause();
        return 0;
    });
    auto writes = std::async(std::launch::async, [&] {
        int written = 0;
        for (int write = 0; write < kParentWrites; ++write) {
            written += WritePrivateProfileStringA("after", "k", std::to_string(write).c_str(),
                                                  file.Path().c_str())
                           ? 1
                           : 0;
        }
        return written;
    });
    EXPECT_EQ(writes.wait_for(kWriteLimit), std::future_status::ready)
        << "the parent's writes waited for the idle child";
    kill(idle, SIGKILL);  // which would free the writes, were they held up
    EXPECT_EQ(writes.get(), kParentWrites);
    skarvel::test::WaitForChild(idle);
    stop = true;
    busy.join();
}

}  // namespace

namespace {

// A full disk refuses a write before any byte of the file changes, whether the write
// replaces the file or, for a user who may not replace it, rewrites it in place.
TEST(SharedMachineTests, FullDiskRefusesWritesBeforeAnyByteChanges)
{
    const TestAccounts users;
    if (!users.Problem().empty()) {
        GTEST_SKIP() << users.Problem();
    }
    char pattern[] = "/tmp/skarvel-full-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string disk = pattern;
    if (mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=64k,mode=0755") != 0) {
        rmdir(disk.c_str());
        GTEST_SKIP() << "cannot mount a small tmpfs here: " << std::strerror(errno);
    }
    const std::string path = disk + "/settings.ini";
    WriteBytes(path, kOld);
    ASSERT_EQ(chmod(path.c_str(), 0666), 0);
    WriteBytes(disk + "/filler", std::string(96 * 1024, 'f'));  // cut short where the disk is full
    const std::string large(8000, 'x');
    for (const bool inPlace : {false, true}) {
        SCOPED_TRACE(inPlace ? "in place" : "by replacement");
        SharedValue<Seen> seen;
        const ChildEnd end = RunInChild([&] {
            if (inPlace && !BecomeUser(users.member)) {
                return 1;
            }
            seen->written =
                WritePrivateProfileStringA("s", "k", large.c_str(), path.c_str());
            seen->error = GetLastError();
            return 0;
        });
        EXPECT_EQ(end, ChildEnd::Succeeded);
        EXPECT_EQ(seen->written, FALSE);
        EXPECT_EQ(seen->error, ERROR_DISK_FULL);
        EXPECT_EQ(ReadBytes(path), kOld);
    }
    umount(disk.c_str());
    rmdir(disk.c_str());
}

}  // namespace
