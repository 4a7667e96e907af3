// Reading and writing text values through the class.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "HostFiles.h"
#include "Skarvel.h"

namespace {

using skarvel::test::FileExists;
using skarvel::test::HostDirectory;
using skarvel::test::Lines;
using skarvel::test::ReadBytes;
using skarvel::test::RemoveFile;
using skarvel::test::ScopedHostFile;
using skarvel::test::WriteBytes;

class TextValueTests : public ::testing::Test {
protected:
    ScopedHostFile file_;
    CSkarvel settings_{file_.NameForConstructor()};
};

TEST_F(TextValueTests, WrittenTextReadsBackThroughAnotherObject)
{
    ASSERT_NE(settings_.WriteString("Window", "Title", "Main window"), 0);
    CSkarvel other(file_.NameForConstructor());
    char buffer[64];
    EXPECT_TRUE(other.GetString("Window", "Title", buffer, sizeof buffer));
    EXPECT_STREQ(buffer, "Main window");
    EXPECT_EQ(ReadBytes(file_.Path()), Lines({"[Window]", "Title=Main window"}));
}

TEST_F(TextValueTests, AbsentOrEmptyValuesAnswerFalseWithAnEmptyBuffer)
{
    WriteBytes(file_.Path(), "[s]\nempty=\nblank=   \nquoted=\"\"\nbare\n");
    for (const char* key : {"empty", "blank", "quoted", "bare", "missing"}) {
        SCOPED_TRACE(key);
        char buffer[8] = "junk";
        EXPECT_FALSE(settings_.GetString("s", key, buffer, sizeof buffer));
        EXPECT_STREQ(buffer, "");
    }
    char buffer[8] = "junk";
    EXPECT_FALSE(settings_.GetString("other", "empty", buffer, sizeof buffer));
    EXPECT_STREQ(buffer, "");
}

TEST_F(TextValueTests, LongValueIsCutToTheBufferAndStillFound)
{
    ASSERT_NE(settings_.WriteString("s", "k", "abcdefgh"), 0);
    char buffer[5] = {};
    EXPECT_TRUE(settings_.GetString("s", "k", buffer, sizeof buffer));
    EXPECT_STREQ(buffer, "abcd");
    char single[1] = {'x'};
    EXPECT_FALSE(settings_.GetString("s", "k", single, sizeof single));
    EXPECT_EQ(single[0], '\0');
}

TEST_F(TextValueTests, NullBufferOrZeroSizeAnswersFalseAndWritesNothing)
{
    ASSERT_NE(settings_.WriteString("s", "k", "value"), 0);
    char buffer[4] = {'x', 'y', 'z', '\0'};
    EXPECT_FALSE(settings_.GetString("s", "k", buffer, 0));
    EXPECT_STREQ(buffer, "xyz");
    EXPECT_FALSE(settings_.GetString("s", "k", nullptr, 16));
}

TEST_F(TextValueTests, WriteRecreatesAFileDeletedSinceConstruction)
{
    RemoveFile(file_.Path());
    EXPECT_NE(settings_.WriteString("s", "k", "v"), 0);
    EXPECT_TRUE(FileExists(file_.Path()));
    char buffer[4];
    EXPECT_TRUE(settings_.GetString("s", "k", buffer, sizeof buffer));
    EXPECT_STREQ(buffer, "v");
}

TEST_F(TextValueTests, NullValueDeletesTheKeyAndNullKeyTheSection)
{
    ASSERT_NE(settings_.WriteString("a", "k1", "1"), 0);
    ASSERT_NE(settings_.WriteString("a", "k2", "2"), 0);
    ASSERT_NE(settings_.WriteString("b", "k", "3"), 0);
    EXPECT_NE(settings_.WriteString("a", "k1", nullptr), 0);
    EXPECT_EQ(ReadBytes(file_.Path()), Lines({"[a]", "k2=2", "[b]", "k=3"}));
    EXPECT_NE(settings_.WriteString("a", nullptr, nullptr), 0);
    EXPECT_EQ(ReadBytes(file_.Path()), Lines({"[b]", "k=3"}));
}

TEST_F(TextValueTests, NullSectionOrKeyListsNames)
{
    WriteBytes(file_.Path(), "[one]\na=1\nb=2\n[two]\n");
    char buffer[32];
    EXPECT_TRUE(settings_.GetString(nullptr, nullptr, buffer, sizeof buffer));
    EXPECT_EQ(std::string(buffer, 9), std::string("one\0two\0\0", 9));
    EXPECT_TRUE(settings_.GetString("one", nullptr, buffer, sizeof buffer));
    EXPECT_EQ(std::string(buffer, 5), std::string("a\0b\0\0", 5));
}

// Text the store would write raw and read back otherwise: refused, and the file keeps its bytes.
TEST_F(TextValueTests, TextThatWouldNotReadBackIsRefused)
{
    const std::string before = "; kept\n[s]\nk=old\n";
    WriteBytes(file_.Path(), before);
    struct Row {
        const char* section;
        const char* key;
        const char* value;
    };
    const Row rows[] = {
        {"s", "k", "line\nbreak"},       {"s", "k", "carriage\rreturn"},
        {"s", "k", "x\r\n[evil]\r\nk=1"}, {"s", "k", "v\r\nx=1"},
        {"s\n", "k", "v"},                {"[s]\n[t", "k", "v"},
        {"s", "k\r", "v"},                {"s", "a=b", "v"},
        {"s", "[k]", "v"},                {"s", "  [k", "v"},
        {"s", ";k", "v"},                 {"s", "\t;k", "v"},
        {"s", " ;k", "v"},                {"s\r\n", nullptr, nullptr},
        {"s", "k\n", nullptr},            {"s", "\rk", nullptr},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.section << '|' << (row.key ? row.key : "(null)")
                                        << '|' << (row.value ? row.value : "(null)"));
        EXPECT_EQ(settings_.WriteString(row.section, row.key, row.value), 0);
        EXPECT_EQ(ReadBytes(file_.Path()), before);
    }
    EXPECT_FALSE(FileExists(HostDirectory() + "/." + file_.Name() + ".skarvel-tmp"));
    // Blanks, quotes, ']' and ';' or '[' later in a key are fine.
    EXPECT_NE(settings_.WriteString("s]x", "k;[", " \"v=1\" "), 0);
    char buffer[16];
    EXPECT_TRUE(settings_.GetString("s]x", "k;[", buffer, sizeof buffer));
    EXPECT_STREQ(buffer, "v=1");
}

}  // namespace
