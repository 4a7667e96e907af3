// Construction, the creation probe, the new-file flag, assignment and destruction.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "HostFiles.h"
#include "Skarvel.h"

namespace {

using skarvel::test::FileExists;
using skarvel::test::HostDirectory;
using skarvel::test::ReadBytes;
using skarvel::test::RemoveFile;
using skarvel::test::ScopedHostFile;
using skarvel::test::UniqueFileName;

// An object with no profile path: every call answers "nothing" and no file appears.
void ExpectInert(CSkarvel& settings)
{
    char buffer[8] = "x";
    int number = 7;
    float real = 7.0f;
    EXPECT_STREQ(settings.GetPath(), "");
    EXPECT_FALSE(settings.IsNewFile());
    EXPECT_FALSE(settings.GetString("s", "k", buffer, sizeof buffer));
    EXPECT_STREQ(buffer, "");
    EXPECT_FALSE(settings.GetInt("s", "k", number));
    EXPECT_FALSE(settings.GetFloat("s", "k", real));
    EXPECT_EQ(number, 7);
    EXPECT_EQ(real, 7.0f);
    EXPECT_EQ(settings.WriteString("s", "k", "v"), 0);
    EXPECT_EQ(settings.WriteInt("s", "k", 1), 0);
    EXPECT_EQ(settings.WriteFloat("s", "k", 1.0f), 0);
}

TEST(ObjectTests, MissingFileIsCreatedEmptyBesideTheExecutableAndFlagged)
{
    ScopedHostFile file;
    {
        CSkarvel first(file.NameForConstructor());
        EXPECT_TRUE(first.IsNewFile());
        EXPECT_EQ(std::string(first.GetPath()), HostDirectory() + "//" + file.Name());
        ASSERT_TRUE(FileExists(file.Path()));
        EXPECT_EQ(ReadBytes(file.Path()), "");

        CSkarvel second(file.NameForConstructor());
        EXPECT_FALSE(second.IsNewFile());
    }
    // Destroying the objects leaves the file.
    EXPECT_TRUE(FileExists(file.Path()));
}

TEST(ObjectTests, ExistingFileIsLeftAsItIs)
{
    ScopedHostFile file;
    skarvel::test::WriteBytes(file.Path(), "[s]\r\nk=v\r\n");
    CSkarvel settings(file.NameForConstructor());
    EXPECT_FALSE(settings.IsNewFile());
    EXPECT_EQ(ReadBytes(file.Path()), "[s]\r\nk=v\r\n");
}

TEST(ObjectTests, RelativeDirectoryIsTakenFromTheHostDirectory)
{
    std::string name = "no-such-directory-" + UniqueFileName() + "/settings.ini";
    CSkarvel missing(&name[0]);
    EXPECT_FALSE(missing.IsNewFile());
    EXPECT_EQ(std::string(missing.GetPath()), HostDirectory() + "//" + name);
    EXPECT_FALSE(FileExists(missing.GetPath()));
    // The object still works as the store allows: reads find nothing, writes fail.
    char buffer[8];
    EXPECT_FALSE(missing.GetString("s", "k", buffer, sizeof buffer));
    EXPECT_EQ(missing.WriteString("s", "k", "v"), 0);

    std::string dotted = "./" + UniqueFileName();
    CSkarvel present(&dotted[0]);
    EXPECT_TRUE(present.IsNewFile());
    EXPECT_TRUE(FileExists(HostDirectory() + "/" + dotted));
    RemoveFile(HostDirectory() + "/" + dotted);
}

TEST(ObjectTests, EmptyNameNamesTheHostDirectoryAndTheProbeFails)
{
    char empty[] = "";
    CSkarvel settings(empty);
    EXPECT_FALSE(settings.IsNewFile());
    EXPECT_EQ(std::string(settings.GetPath()), HostDirectory() + "//");
    char buffer[8];
    EXPECT_FALSE(settings.GetString("s", "k", buffer, sizeof buffer));
    EXPECT_EQ(settings.WriteString("s", "k", "v"), 0);
}

TEST(ObjectTests, NullNameLeavesAnInertObject)
{
    CSkarvel settings(nullptr);
    ExpectInert(settings);
}

// The path holds at most 255 characters: one more, and the object takes none
// rather than a cut path that could name another file.
TEST(ObjectTests, PathLongerThanItsFieldIsNeverCut)
{
    const size_t room = CSkarvel::kPathCapacity - 1 - HostDirectory().size() - 2;
    const std::string prefix = UniqueFileName("");
    ASSERT_LT(prefix.size() + 4, room);

    std::string fits = prefix + std::string(room - prefix.size() - 4, 'x') + ".ini";
    CSkarvel atLimit(&fits[0]);
    EXPECT_EQ(std::string(atLimit.GetPath()), HostDirectory() + "//" + fits);
    EXPECT_EQ(strlen(atLimit.GetPath()), CSkarvel::kPathCapacity - 1);
    RemoveFile(atLimit.GetPath());

    std::string tooLong = "y" + fits;
    CSkarvel overLimit(&tooLong[0]);
    ExpectInert(overLimit);
    EXPECT_FALSE(FileExists(HostDirectory() + "//" + tooLong.substr(0, room)));
}

TEST(ObjectTests, AssignmentCopiesPathAndFlag)
{
    ScopedHostFile created;
    ScopedHostFile other;
    skarvel::test::WriteBytes(other.Path(), "");
    CSkarvel source(created.NameForConstructor());
    CSkarvel target(other.NameForConstructor());
    ASSERT_TRUE(source.IsNewFile());
    ASSERT_FALSE(target.IsNewFile());

    CSkarvel& result = (target = source);
    EXPECT_EQ(&result, &target);
    EXPECT_TRUE(target.IsNewFile());
    EXPECT_STREQ(target.GetPath(), source.GetPath());
    ASSERT_NE(target.WriteString("s", "k", "assigned"), 0);
    char buffer[16];
    EXPECT_TRUE(source.GetString("s", "k", buffer, sizeof buffer));
    EXPECT_STREQ(buffer, "assigned");

    CSkarvel copy(source);
    EXPECT_STREQ(copy.GetPath(), source.GetPath());
    EXPECT_TRUE(copy.IsNewFile());
}

TEST(ObjectTests, FieldsKeepTheirLayout)
{
    // flag, handle, 256-character path: what hosts built against the header expect.
    EXPECT_EQ(sizeof(CSkarvel), 2 * sizeof(void*) + CSkarvel::kPathCapacity);
}

}  // namespace
