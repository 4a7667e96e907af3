// The profile functions against files on disk: what they answer and what they write.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "HostFiles.h"
#include "Platform.h"
#include "SettledFile.h"

namespace {

using skarvel::test::FileExists;
using skarvel::test::HostDirectory;
using skarvel::test::ReadBytes;
using skarvel::test::RemoveFile;
using skarvel::test::ScopedHostFile;
using skarvel::test::WaitUntilSettled;
using skarvel::test::WriteBytes;

std::string Bytes(const char* text, size_t length)
{
    return std::string(text, length);
}

std::string Repeated(const std::string& text, int times)
{
    std::string repeated;
    for (int i = 0; i < times; ++i) {
        repeated += text;
    }
    return repeated;
}

// Answer and buffer of one GetPrivateProfileStringA call; the buffer starts as
// all 'x' so that stray writes show.
struct StringAnswer {
    DWORD answer;
    std::string buffer;
};

StringAnswer GetString(const std::string& path, const char* section, const char* key,
                       const char* def, DWORD size)
{
    std::string buffer(size + 4, 'x');
    const DWORD answer = GetPrivateProfileStringA(section, key, def, &buffer[0], size,
                                                  path.c_str());
    return {answer, buffer};
}

struct ReadRow {
    const char* name;
    std::string file;
    const char* section;
    const char* key;
    const char* def;
    DWORD size;
    DWORD answer;
    std::string expected;  // the buffer's first bytes, terminators included
};

// One row per reading rule; each row's file is written fresh.
const std::vector<ReadRow>& ReadRows()
{
    static const std::vector<ReadRow> rows = {
        {"crlf", "[s]\r\nk=v\r\n", "s", "k", nullptr, 16, 1, Bytes("v\0", 2)},
        {"cr only", "[s]\rk=v", "s", "k", nullptr, 16, 1, Bytes("v\0", 2)},
        {"mixed runs", "[s]\n\r\n\rk=v\n\n", "s", "k", nullptr, 16, 1, Bytes("v\0", 2)},
        {"blanks trimmed", " \t[s] \x0b\n \x1a k \t= \x0c v \t\n", "s", "k", nullptr, 16, 1,
         Bytes("v\0", 2)},
        {"inner blanks kept", "[s]\nk=a  b\n", "s", "k", nullptr, 16, 4, Bytes("a  b\0", 5)},
        {"last bracket", "[a]b]\nk=1\n", "a]b", "k", nullptr, 16, 1, Bytes("1\0", 2)},
        {"nested brackets", "[[e]]\nk=1\n", "[e]", "k", nullptr, 16, 1, Bytes("1\0", 2)},
        {"empty section name", "[]\nk=1\n", "", "k", nullptr, 16, 1, Bytes("1\0", 2)},
        {"text after header", "[ s ] note\nk=1\n", "s", "k", nullptr, 16, 1, Bytes("1\0", 2)},
        {"bracket without close", "[s\nk=1\n", "s", "k", "d", 16, 1, Bytes("d\0", 2)},
        {"comment line", "[s]\n;k=1\n", "s", ";k", "d", 16, 1, Bytes("d\0", 2)},
        {"semicolon later is data", "[s]\nk=v ; note\n", "s", "k", nullptr, 16, 8,
         Bytes("v ; note\0", 9)},
        {"hash is no comment", "[s]\n#k=1\n", "s", "#k", nullptr, 16, 1, Bytes("1\0", 2)},
        {"first equals splits", "[s]\nk==v\n", "s", "k", nullptr, 16, 2, Bytes("=v\0", 3)},
        {"more equals", "[s]\na=b=c\n", "s", "a", nullptr, 16, 3, Bytes("b=c\0", 4)},
        {"empty key name", "[s]\n=v\n", "s", "", nullptr, 16, 1, Bytes("v\0", 2)},
        {"bare line absent", "[s]\nk\n", "s", "k", "d", 16, 1, Bytes("d\0", 2)},
        {"bare line occupies name", "[s]\nk\nk=v\n", "s", "k", "d", 16, 1, Bytes("d\0", 2)},
        {"case ignored", "[Sec]\nKey=v\n", "sEC", "kEY", nullptr, 16, 1, Bytes("v\0", 2)},
        {"caller blanks trimmed", "[s]\nk=v\n", " s\t", "\tk ", nullptr, 16, 1,
         Bytes("v\0", 2)},
        {"inner blanks matter", "[s]\na b=v\n", "s", "ab", "d", 16, 1, Bytes("d\0", 2)},
        {"first key wins", "[s]\nk=1\nk=2\n", "s", "k", nullptr, 16, 1, Bytes("1\0", 2)},
        {"first section wins", "[s]\nk=1\n[s]\nk=2\nj=3\n", "s", "j", "d", 16, 1,
         Bytes("d\0", 2)},
        {"text before header", "k=0\n[s]\nk=1\n", "s", "k", nullptr, 16, 1, Bytes("1\0", 2)},
        {"double quotes", "[s]\nk=\"  x  \"\n", "s", "k", nullptr, 16, 5, Bytes("  x  \0", 6)},
        {"single quotes", "[s]\nk='x'\n", "s", "k", nullptr, 16, 1, Bytes("x\0", 2)},
        {"unbalanced quote", "[s]\nk=\"x\n", "s", "k", nullptr, 16, 2, Bytes("\"x\0", 3)},
        {"mixed quotes", "[s]\nk=\"x'\n", "s", "k", nullptr, 16, 3, Bytes("\"x'\0", 4)},
        {"inner quotes", "[s]\nk=x\"y\"\n", "s", "k", nullptr, 16, 4, Bytes("x\"y\"\0", 5)},
        {"lone quote", "[s]\nk=\"\n", "s", "k", nullptr, 16, 1, Bytes("\"\0", 2)},
        {"nul ends value", Bytes("[s]\nk=ab\0cd\n", 12), "s", "k", nullptr, 16, 2,
         Bytes("ab\0", 3)},
        {"empty value found", "[s]\nk=\n", "s", "k", "d", 16, 0, Bytes("\0", 1)},
        {"blank value found", "[s]\nk=   \n", "s", "k", "d", 16, 0, Bytes("\0", 1)},
        {"quoted empty found", "[s]\nk=\"\"\n", "s", "k", "d", 16, 0, Bytes("\0", 1)},
        {"value cut", "[s]\nk=abcdef\n", "s", "k", nullptr, 4, 3, Bytes("abc\0", 4)},
        {"size one", "[s]\nk=abcdef\n", "s", "k", nullptr, 1, 0, Bytes("\0x", 2)},
        {"default spaces", "[s]\n", "s", "k", "def  ", 16, 3, Bytes("def\0", 4)},
        {"default tab kept", "[s]\n", "s", "k", "def\t", 16, 4, Bytes("def\t\0", 5)},
        {"default cut", "[s]\n", "s", "k", "default", 4, 3, Bytes("def\0", 4)},
        {"null default", "[s]\n", "s", "k", nullptr, 16, 0, Bytes("\0x", 2)},
        {"sections", "a=1\n[one]\n[two]\n;[c]\n[one]\n", nullptr, "ignored", "d", 32, 12,
         Bytes("one\0two\0one\0\0", 13)},
        {"no sections", "k=v\n", nullptr, nullptr, "d", 32, 0, Bytes("\0x", 2)},
        {"sections without empty names", "[]\nk=1\n[s]\n", nullptr, nullptr, "d", 32, 2,
         Bytes("s\0\0", 3)},
        {"sections filling the buffer exactly", "[section1]\n[section2]\n[section3]\n", nullptr,
         nullptr, "d", 28, 26, Bytes("section1\0section2\0section3\0\0x", 29)},
        {"keys", "[s]\na=1\n;c=2\nbare\nb=\n[t]\nc=3\n", "s", nullptr, "d", 32, 4,
         Bytes("a\0b\0\0", 5)},
        {"keys without empty names", "[s]\n=v\na=1\n", "s", nullptr, "d", 32, 2,
         Bytes("a\0\0", 3)},
        {"keys of absent section", "[s]\na=1\n", "t", nullptr, "dflt ", 32, 4,
         Bytes("dflt\0", 5)},
        {"keys of keyless section", "[s]\nbare\n;c\n", "s", nullptr, "d", 32, 1,
         Bytes("d\0", 2)},
        {"list cut in a name", "[s]\nalpha=1\nbeta=2\n", "s", nullptr, nullptr, 9, 7,
         Bytes("alpha\0b\0\0", 9)},
        {"list missing only its end", "[s]\nab=1\ncd=2\n", "s", nullptr, nullptr, 6, 4,
         Bytes("ab\0c\0\0", 6)},
        {"list size two", "[s]\nab=1\n", "s", nullptr, nullptr, 2, 0, Bytes("\0\0x", 3)},
        {"list size one", "[s]\nab=1\n", "s", nullptr, nullptr, 1, 0, Bytes("\0x", 2)},
        {"utf8 bom", "\xEF\xBB\xBF[s]\nk=v\n", "s", "k", nullptr, 16, 1, Bytes("v\0", 2)},
        {"utf16le", Bytes("\xFF\xFE[\0s\0]\0\n\0k\0=\0\xE9\0\n\0", 18), "s", "k", nullptr, 16, 2,
         Bytes("\xC3\xA9\0", 3)},
        {"utf16le lone DC80 + byte", Bytes("\xFF\xFE[\0s\0]\0\n\0k\0=\0\xFF\xDC", 16), "s", "k",
         nullptr, 16, 1, Bytes("\xFF\0", 2)},
        {"utf16le odd size", Bytes("\xFF\xFE[\0s\0]\0\n\0k\0=\0v\0!", 17), "s", "k", nullptr, 16,
         1, Bytes("v\0", 2)},
        {"binary garbage", Bytes("\x80\xFF\0[\0]\xFE\n[s]\nk=v", 15), "s", "k", nullptr, 16, 1,
         Bytes("v\0", 2)},
    };
    return rows;
}

// Every rule holds for a file just written, read afresh, and once it has settled, for the
// read that keeps its parse and the read answered from it.
TEST(ProfileStoreTests, ReadingRules)
{
    const std::vector<ReadRow>& rows = ReadRows();
    std::vector<std::unique_ptr<ScopedHostFile>> files;
    for (const ReadRow& row : rows) {
        files.push_back(std::make_unique<ScopedHostFile>());
        WriteBytes(files.back()->Path(), row.file);
    }
    for (const bool settled : {false, true, true}) {
        for (size_t i = 0; i < rows.size(); ++i) {
            const ReadRow& row = rows[i];
            const std::string& path = files[i]->Path();
            SCOPED_TRACE(std::string(row.name) + (settled ? ", settled" : ", fresh"));
            if (settled) {
                WaitUntilSettled(path);
            }
            const StringAnswer got = GetString(path, row.section, row.key, row.def, row.size);
            EXPECT_EQ(got.answer, row.answer);
            EXPECT_EQ(got.buffer.substr(0, row.expected.size()), row.expected);
        }
    }
}

// The default, and the error Windows leaves: a missing file is told from a missing directory.
TEST(ProfileStoreTests, MissingOrUnreadableFilesGiveTheDefault)
{
    ScopedHostFile file;
    const struct {
        std::string path;
        DWORD error;
    } rows[] = {
        {file.Path(), ERROR_FILE_NOT_FOUND},
        {file.Path() + ".missing/settings.ini", ERROR_PATH_NOT_FOUND},
        {HostDirectory(), ERROR_ACCESS_DENIED},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.path);
        EXPECT_EQ(GetString(row.path, "s", "k", "def", 16).buffer.substr(0, 4),
                  Bytes("def\0", 4));
        EXPECT_EQ(GetLastError(), row.error);
        EXPECT_EQ(GetString(row.path, nullptr, nullptr, "def", 16).buffer.substr(0, 2),
                  Bytes("\0x", 2));
        EXPECT_EQ(GetPrivateProfileIntA("s", "k", 7, row.path.c_str()), 7u);
    }
    // Size 0 leaves the buffer alone.
    EXPECT_EQ(GetString(file.Path(), "s", "k", "def", 0).buffer, "xxxx");
}

TEST(ProfileStoreTests, IntegerReading)
{
    const struct {
        const char* value;
        UINT expected;
    } rows[] = {
        {"42", 42},          {"-1", 4294967295u},  {"+5", 5},
        {"  7", 7},          {"\"-7\"", 4294967289u}, {"' 9'", 9},
        {"0x1F", 31},        {"0X1f", 0},          {"-0x10", 4294967280u},
        {"0b101", 5},        {"0o17", 15},         {"017", 17},
        {"42abc", 42},       {"3.9", 3},           {"1 2", 1},
        {"abc", 0},          {"-", 0},             {"+", 0},
        {"FF", 0},           {"0x", 0},            {"0b2", 0},
        {"- 5", 0},          {"\" \"", 0},         {"4294967297", 1},
        {"-4294967297", 4294967295u},              {"99999999999", 1215752191u},
        // Only the first 29 characters are read.
        {"000000000000000000000000000012", 1},
    };
    ScopedHostFile file;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.value);
        WriteBytes(file.Path(), std::string("[s]\nk=") + row.value + "\n");
        EXPECT_EQ(GetPrivateProfileIntA("s", "k", 1, file.Path().c_str()), row.expected);
        EXPECT_EQ(GetPrivateProfileIntA("s", "k", 2, file.Path().c_str()), row.expected);
    }
    // The default for what has no value, as an unsigned number.
    WriteBytes(file.Path(), "[s]\nempty=\nblank=  \nbare\n[12]\n");
    for (const char* key : {"empty", "blank", "bare", "missing"}) {
        SCOPED_TRACE(key);
        EXPECT_EQ(GetPrivateProfileIntA("s", key, -1, file.Path().c_str()), 4294967295u);
    }
    // Null names read the first listed name.
    EXPECT_EQ(GetPrivateProfileIntA(nullptr, "k", 5, file.Path().c_str()), 0u);
    WriteBytes(file.Path(), "[12]\n34=x\n");
    EXPECT_EQ(GetPrivateProfileIntA(nullptr, nullptr, 5, file.Path().c_str()), 12u);
    EXPECT_EQ(GetPrivateProfileIntA("12", nullptr, 5, file.Path().c_str()), 34u);
    EXPECT_EQ(GetPrivateProfileIntA("none", nullptr, 5, file.Path().c_str()), 5u);
}

struct WriteRow {
    const char* name;
    std::string before;
    const char* section;
    const char* key;
    const char* value;
    BOOL answer;
    std::string after;
};

const std::vector<WriteRow>& WriteRows()
{
    static const std::vector<WriteRow> rows = {
        {"replace keeps spelling and spacing", "[Sec]\r\nKEY = old  \r\n", "sec", "key", "new",
         TRUE, "[Sec]\r\nKEY = new  \r\n"},
        {"new key after last key", "[a]\nx=1\n; note\n\n[b]\ny=2\n", "a", "z", "3", TRUE,
         "[a]\nx=1\nz=3\n; note\n\n[b]\ny=2\n"},
        {"new key in empty section", "[a]\n[b]\n", "a", "k", "v", TRUE, "[a]\nk=v\n[b]\n"},
        {"new key at end without line end", "[a]\nx=1", "a", "k", "v", TRUE, "[a]\nx=1\nk=v"},
        {"new section at end", "; top\n[a]\nx=1", "b", " k ", "v", TRUE,
         "; top\n[a]\nx=1\n[b]\nk=v\n"},
        {"crlf file keeps crlf", "[a]\r\nx=1\r\n", "b", "k", "v", TRUE,
         "[a]\r\nx=1\r\n[b]\r\nk=v\r\n"},
        {"cr file keeps cr", "[a]\rx=1\r", "a", "k", "v", TRUE, "[a]\rx=1\rk=v\r"},
        {"empty value", "[a]\nx=1\n", "a", "x", "", TRUE, "[a]\nx=\n"},
        {"value written raw", "", "a", "k", "  \"q\"  ", TRUE, "[a]\nk=  \"q\"  \n"},
        {"bare line filled in", "[a]\nk\nk=old\n", "a", "k", "v", TRUE, "[a]\nk=v\nk=old\n"},
        {"first section written", "[a]\nx=1\n[A]\nx=2\n", "a", "x", "3", TRUE,
         "[a]\nx=3\n[A]\nx=2\n"},
        {"nul tail kept", Bytes("[a]\nk=ab\0cd\n", 12), "a", "k", "v", TRUE,
         Bytes("[a]\nk=v\0cd\n", 11)},
        {"text before header kept", "junk line\n=\n[a]\n", "a", "k", "v", TRUE,
         "junk line\n=\n[a]\nk=v\n"},
        {"delete key's first line only", "[a]\nk=1\nj=2\n[b]\nk=3\n[A]\nK=4\n", "a", "k", nullptr,
         TRUE, "[a]\nj=2\n[b]\nk=3\n[A]\nK=4\n"},
        {"delete key in a later section of the name", "[a]\nj=2\n[b]\n[A]\nK=4\nk=5\n", "a", "k",
         nullptr, TRUE, "[a]\nj=2\n[b]\n[A]\nk=5\n"},
        {"delete last key keeps header", "[a]\nk=1\n", "a", "k", nullptr, TRUE, "[a]\n"},
        {"delete section keeps comments", "[a]\nk=1\n; c\n\nbare\n[b]\nj=2\n", "a", nullptr,
         nullptr, TRUE, "; c\n\n[b]\nj=2\n"},
        {"delete first section only", "[a]\nk=1\n[a]\nk=2\n", "a", nullptr, nullptr, TRUE,
         "[a]\nk=2\n"},
        {"delete section in more pieces than one write call takes",
         "[a]\n" + Repeated("k=1\n; c\n", 3000) + "[b]\n", "a", nullptr, nullptr, TRUE,
         Repeated("; c\n", 3000) + "[b]\n"},
        {"delete absent key", "[a]\nk=1\n", "a", "j", nullptr, TRUE, "[a]\nk=1\n"},
        {"delete absent section", "[a]\nk=1\n", "b", nullptr, nullptr, TRUE, "[a]\nk=1\n"},
        {"null section", "[a]\nk=1\n", nullptr, "k", "v", FALSE, "[a]\nk=1\n"},
        {"flush", "[a]\nk=1\n", nullptr, nullptr, nullptr, FALSE, "[a]\nk=1\n"},
        {"null names with value", "[a]\nk=1\n", nullptr, nullptr, "v", FALSE, "[a]\nk=1\n"},
        {"utf8 bom kept", "\xEF\xBB\xBF[a]\nk=1\n", "a", "k", "2", TRUE,
         "\xEF\xBB\xBF[a]\nk=2\n"},
        {"utf16 stays utf16", Bytes("\xFF\xFE[\0a\0]\0\r\0\n\0", 12), "a", "k", "\xC3\xA9", TRUE,
         Bytes("\xFF\xFE[\0a\0]\0\r\0\n\0k\0=\0\xE9\0\r\0\n\0", 22)},
        {"utf16 keeps a byte that is no UTF-8", Bytes("\xFF\xFE[\0a\0]\0\n\0", 10), "a", "k",
         "\xFF", TRUE, Bytes("\xFF\xFE[\0a\0]\0\n\0k\0=\0\xFF\xDC\n\0", 18)},
    };
    return rows;
}

TEST(ProfileStoreTests, WritingRules)
{
    ScopedHostFile file;
    for (const WriteRow& row : WriteRows()) {
        SCOPED_TRACE(row.name);
        WriteBytes(file.Path(), row.before);
        EXPECT_EQ(WritePrivateProfileStringA(row.section, row.key, row.value, file.Path().c_str()),
                  row.answer);
        EXPECT_EQ(ReadBytes(file.Path()), row.after);
    }
}

TEST(ProfileStoreTests, MissingFileIsCreatedOnlyByWritesThatNeedIt)
{
    ScopedHostFile file;
    const char* path = file.Path().c_str();
    EXPECT_EQ(WritePrivateProfileStringA(nullptr, "k", "v", path), FALSE);
    EXPECT_FALSE(FileExists(file.Path()));
    EXPECT_EQ(WritePrivateProfileStringA("s", "k", nullptr, path), TRUE);
    EXPECT_EQ(ReadBytes(file.Path()), "");  // a deletion leaves an empty file, as Windows
    RemoveFile(file.Path());
    EXPECT_EQ(WritePrivateProfileStringA("s", "k", "v", path), TRUE);
    EXPECT_EQ(ReadBytes(file.Path()), "[s]\nk=v\n");
}

// A write that would make the line it already is leaves the file alone, whatever blanks or
// quotes the value has: the same write twice leaves the bytes of the first.
TEST(ProfileStoreTests, SameValueLeavesTheFileUntouched)
{
    const struct {
        const char* file;
        const char* value;
    } rows[] = {
        {"[s]\nk = v\n", "v"},
        {"[s]\nk=  lead\n", "  lead"},
        {"[s]\nk = trail \t\n", "trail \t"},
        {"[s]\nk=\t\"  q  \"  \n", "\t\"  q  \"  "},
        {"[s]\nk =\n", ""},
        {"[s]\nk =  \n", "  "},
    };
    ScopedHostFile file;
    for (const auto& row : rows) {
        SCOPED_TRACE(::testing::PrintToString(row.file));
        WriteBytes(file.Path(), row.file);
        struct stat before;
        ASSERT_EQ(stat(file.Path().c_str(), &before), 0);
        EXPECT_EQ(WritePrivateProfileStringA("S", "K", row.value, file.Path().c_str()), TRUE);
        struct stat after;
        ASSERT_EQ(stat(file.Path().c_str(), &after), 0);
        EXPECT_EQ(after.st_ino, before.st_ino);
        EXPECT_EQ(ReadBytes(file.Path()), row.file);
    }
    // The write of a value with blanks, repeated, leaves the bytes of the first.
    RemoveFile(file.Path());
    for (int round = 0; round < 3; ++round) {
        EXPECT_EQ(WritePrivateProfileStringA("S", "K", "  lead", file.Path().c_str()), TRUE);
        EXPECT_EQ(ReadBytes(file.Path()), "[S]\nK=  lead\n");
    }
}

TEST(ProfileStoreTests, PermissionBitsAreKept)
{
    ScopedHostFile file;
    WriteBytes(file.Path(), "[s]\nk=1\n");
    ASSERT_EQ(chmod(file.Path().c_str(), 0604), 0);
    EXPECT_EQ(WritePrivateProfileStringA("s", "k", "2", file.Path().c_str()), TRUE);
    struct stat status;
    ASSERT_EQ(stat(file.Path().c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0604u);
}

TEST(ProfileStoreTests, ReadsSeeEveryChangeAtOnce)
{
    ScopedHostFile file;
    char buffer[8];
    for (const char* value : {"1", "2", "3"}) {
        // Same size, same second: each rewrite must still be seen.
        WriteBytes(file.Path(), std::string("[s]\nk=") + value + "\n");
        GetPrivateProfileStringA("s", "k", nullptr, buffer, sizeof buffer, file.Path().c_str());
        EXPECT_STREQ(buffer, value);
    }
    RemoveFile(file.Path());
    GetPrivateProfileStringA("s", "k", "gone", buffer, sizeof buffer, file.Path().c_str());
    EXPECT_STREQ(buffer, "gone");
}

}  // namespace
