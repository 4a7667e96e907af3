// The INI model: lookups through an index, and edits of the text it indexes.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "IniEdit.h"
#include "IniIndex.h"

namespace skarvel {
namespace {

using namespace std::string_view_literals;

// The ways a lookup finds a section's keys: by reading its lines, as writes do, and through
// the table a kept index builds on the section's first lookup.
enum class Form { Scanned, Indexed };
constexpr Form kForms[] = {Form::Scanned, Form::Indexed};
constexpr const char* kFormNames[] = {"scanned", "indexed"};

IniIndex::KeyLookup KeysOf(Form form)
{
    return form == Form::Scanned ? IniIndex::KeyLookup::Scan : IniIndex::KeyLookup::Indexed;
}

// An index of its own copy of a text.
struct Lookup {
    Lookup(std::string_view text, Form form) : text(text), view(this->text, KeysOf(form)) {}

    std::string text;
    IniIndex view;
};

// Applies `edit` and joins the edited text into `edited`, which it leaves alone when the text
// does not change.
bool Edited(const IniIndex& index, const IniEdit& edit, std::string& edited)
{
    TextPieces pieces;
    if (!ApplyEdit(index, edit, pieces)) {
        return false;
    }
    edited = JoinPieces(pieces);
    return true;
}

// As Edited, through an index that scans, as writes use it, and through one that indexes
// keys, which must edit alike.
bool EditedAlike(std::string_view text, const IniEdit& edit, std::string& edited)
{
    std::string indexed = edited;
    const bool changed = Edited(IniIndex(text, IniIndex::KeyLookup::Scan), edit, edited);
    EXPECT_EQ(Edited(IniIndex(text), edit, indexed), changed);
    EXPECT_EQ(indexed, edited);
    return changed;
}

struct ReadRow {
    const char* name;
    std::string_view text;
    std::string_view section;
    std::string_view key;
    bool found;
    std::string_view value;
};

TEST(IniModel, FindsValues)
{
    const ReadRow rows[] = {
        {"plain", "[s]\nk=v\n", "s", "k", true, "v"},
        {"names ignore ASCII case", "[Sec]\nKey=v\n", "sEC", "kEY", true, "v"},
        {"names passed are trimmed", "[s]\nk=v\n", " \ts ", "\x0bk\x1a", true, "v"},
        {"blanks inside names matter", "[a b]\nk=v\n", "ab", "k", false, ""},
        {"only ASCII letters fold", "[\xc3\xa9]\nk=v\n", "\xc3\x89", "k", false, ""},
        {"line and value are trimmed", "[s]\n \t k \x0c= \x1a v v \x0b\r\n", "s", "k", true, "v v"},
        {"value keeps a second equals", "[s]\nk==v\n", "s", "k", true, "=v"},
        {"key ends at the first equals", "[s]\na=b=c\n", "s", "a", true, "b=c"},
        {"empty key name", "[s]\n=v\n", "s", "", true, "v"},
        {"semicolon inside a value is data", "[s]\nk=v ; note\n", "s", "k", true, "v ; note"},
        {"comment is no key", "[s]\n;k=v\n", "s", ";k", false, ""},
        {"indented comment is no key", "[s]\n  ;k=v\n", "s", "k", false, ""},
        {"hash starts no comment", "[s]\n#k=v\n", "s", "#k", true, "v"},
        {"first key of a name wins", "[s]\nk=1\nK=2\n", "s", "k", true, "1"},
        {"first section of a name wins", "[s]\na=1\n[S]\na=2\n", "s", "a", true, "1"},
        {"later section of a name is not searched", "[s]\n[S]\nb=3\n", "s", "b", false, ""},
        {"key of the next section", "[s]\n[t]\nk=v\n", "s", "k", false, ""},
        {"bare line reads absent", "[s]\nk\n", "s", "k", false, ""},
        {"bare line hides a later key", "[s]\nk\nk=v\n", "s", "k", false, ""},
        {"empty value is found", "[s]\nk=\n", "s", "k", true, ""},
        {"blank value is found", "[s]\nk=  \t\n", "s", "k", true, ""},
        {"empty quotes are found", "[s]\nk=\"\"\n", "s", "k", true, ""},
        {"name ends at the last bracket", "[a]b]\nk=v\n", "a]b", "k", true, "v"},
        {"nested brackets", "[[e]]\nk=v\n", "[e]", "k", true, "v"},
        {"empty section name", "[]\nk=v\n", "", "k", true, "v"},
        {"header trimmed, tail ignored", "  [ s ] tail\nk=v\n", "s", "k", true, "v"},
        {"open bracket alone makes a key", "[s]\n[t=v\n", "s", "[t", true, "v"},
        {"text before the first header", "k=v\n[s]\n", "", "k", false, ""},
        {"missing section", "[s]\nk=v\n", "t", "k", false, ""},
        {"missing key", "[s]\nk=v\n", "s", "x", false, ""},
        {"empty text", "", "s", "k", false, ""},
        {"double quotes keep inner blanks", "[s]\nk= \"  x  \" \n", "s", "k", true, "  x  "},
        {"single quotes", "[s]\nk='x'\n", "s", "k", true, "x"},
        {"lone quote stays", "[s]\nk=\"\n", "s", "k", true, "\""},
        {"unclosed quote stays", "[s]\nk=\"x\n", "s", "k", true, "\"x"},
        {"mixed quotes stay", "[s]\nk=\"x'\n", "s", "k", true, "\"x'"},
        {"inner quotes stay", "[s]\nk=x\"y\"\n", "s", "k", true, "x\"y\""},
        {"NUL ends a value", "[s]\nk=ab\0cd\n"sv, "s", "k", true, "ab"},
        {"value trimmed after the NUL cut", "[s]\nk= ab \0cd\n"sv, "s", "k", true, "ab"},
        {"quotes after the NUL cut", "[s]\nk=\"x\0\"\n"sv, "s", "k", true, "\"x"},
        {"NUL ends a key name", "[s]\nk\0x=v\n"sv, "s", "k", true, "v"},
        {"NUL ends a section name", "[s\0t]\nk=v\n"sv, "s", "k", true, "v"},
        {"CR line ends", "[s]\rk=v\r", "s", "k", true, "v"},
        {"mixed line ends", "a=0\r\n[s]\n\r\nj=1\r\rk=v", "s", "k", true, "v"},
    };
    for (const ReadRow& row : rows) {
        for (const Form form : kForms) {
            SCOPED_TRACE(std::string(row.name) + ", " + kFormNames[static_cast<int>(form)]);
            const Lookup lookup(row.text, form);
            std::string_view value = "untouched";
            EXPECT_EQ(lookup.view.FindValue(row.section, row.key, value), row.found);
            EXPECT_EQ(value, row.found ? row.value : "untouched"sv);
        }
    }
}

struct SectionListRow {
    const char* name;
    std::string_view text;
    std::string_view expected;
};

TEST(IniModel, ListsEverySectionInFileOrder)
{
    const SectionListRow rows[] = {
        {"no sections", "k=v\n", ""},
        {"repeated sections", "x=1\n[a]\nk=v\n[b]\n[A]\n", "a\0b\0A\0"sv},
        {"name forms, empty names left out", "[]\n[a]b]\n [ c ]x\n[ ]\n[d\0e]\n"sv,
         "a]b\0c\0d\0"sv},
        {"comments and unclosed brackets", ";[x]\n[y\n[z]\n", "z\0"sv},
    };
    for (const SectionListRow& row : rows) {
        for (const Form form : kForms) {
            SCOPED_TRACE(std::string(row.name) + ", " + kFormNames[static_cast<int>(form)]);
            std::string list = "before|";
            Lookup(row.text, form).view.ListSections(list);
            EXPECT_EQ(list, "before|" + std::string(row.expected));
        }
    }
}

struct KeyListRow {
    const char* name;
    std::string_view text;
    std::string_view section;
    bool listed;
    std::string_view expected;
};

TEST(IniModel, ListsKeysOfTheFirstSection)
{
    const KeyListRow rows[] = {
        {"file order, repeats kept", "[s]\nb=1\na=2\nB=3\n", "s", true, "b\0a\0B\0"sv},
        {"bare and comment lines left out", "[s]\nbare\n;c=1\nk=v\n", "s", true, "k\0"sv},
        {"empty key name left out", "[s]\n=v\nk=1\n \t=w\n", "s", true, "k\0"sv},
        {"only an empty key name", "[s]\n=v\n", "s", false, ""},
        {"first section only", "[s]\na=1\n[t]\nb=2\n[S]\nc=3\n", " S ", true, "a\0"sv},
        {"NUL ends a key name", "[s]\nk\0x=1\n"sv, "s", true, "k\0"sv},
        {"no key lines", "[s]\nbare\n;c=1\n[t]\nk=v\n", "s", false, ""},
        {"missing section", "[s]\nk=v\n", "t", false, ""},
    };
    for (const KeyListRow& row : rows) {
        for (const Form form : kForms) {
            SCOPED_TRACE(std::string(row.name) + ", " + kFormNames[static_cast<int>(form)]);
            const Lookup lookup(row.text, form);
            std::string list = "before|";
            EXPECT_EQ(lookup.view.ListKeys(row.section, list), row.listed);
            EXPECT_EQ(list, "before|" + std::string(row.expected));
        }
    }
}

struct EditRow {
    const char* name;
    std::string_view text;
    std::string_view section;
    std::string_view key;
    std::string_view value;
    bool changed;
    std::string_view expected;
};

void CheckEdits(IniEdit::Kind kind, const std::vector<EditRow>& rows)
{
    for (const EditRow& row : rows) {
        SCOPED_TRACE(row.name);
        std::string edited = "untouched";
        EXPECT_EQ(EditedAlike(row.text, {kind, row.section, row.key, row.value}, edited),
                  row.changed);
        EXPECT_EQ(edited, row.changed ? std::string(row.expected) : "untouched");
    }
}

TEST(IniModel, SetValueEditsOnlyTheValue)
{
    const std::vector<EditRow> rows = {
        {"spelling and spacing stay", "x\n[S]\r\n  Key \t=  old  \r\n", "s", "KEY", "new", true,
         "x\n[S]\r\n  Key \t=  new  \r\n"},
        {"quotes are replaced too", "[s]\nk=\"old\"\n", "s", "k", "new", true, "[s]\nk=new\n"},
        {"bytes after a NUL stay", "[s]\nk=old \0tail\n"sv, "s", "k", "new", true,
         "[s]\nk=new \0tail\n"sv},
        {"same value is no change", "[s]\nk =  v  \n", "s", "k", "v", false, ""},
        {"value's blanks replace the old ones", "[s]\nk = \told\t \n", "s", "k", " new\v", true,
         "[s]\nk = new\v\n"},
        {"blanks at one end only", "[s]\nk = old \n", "s", "k", "  lead", true,
         "[s]\nk =  lead \n"},
        {"same value with blanks is no change", "[s]\nK=  lead\n", "s", "k", "  lead", false, ""},
        {"same quoted value is no change", "[s]\nk = \"  q  \" \n", "s", "k", "\"  q  \"", false,
         ""},
        {"blanks up to a NUL replaced", "[s]\nk=old  \0tail\n"sv, "s", "k", "new\t", true,
         "[s]\nk=new\t\0tail\n"sv},
        {"same value once quoted is a change", "[s]\nk=\"v\"\n", "s", "k", "v", true, "[s]\nk=v\n"},
        {"empty value filled after the blanks", "[s]\nk = \nz=1\n", "s", "k", "x", true,
         "[s]\nk = x\nz=1\n"},
        {"value emptied", "[s]\nk=old\n", "s", "k", "", true, "[s]\nk=\n"},
        {"bare line filled in", "[s]\nk  \nz=1\n", "s", "k", "v", true, "[s]\nk=v  \nz=1\n"},
        {"bare line's blanks give way", "[s]\nk  \n", "s", "k", "v ", true, "[s]\nk=v \n"},
        {"bare line filled after a NUL", "[s]\nk\0x\n"sv, "s", "k", "v", true, "[s]\nk\0x=v\n"sv},
        {"first of repeated keys", "[s]\nk=1\nk=2\n", "s", "k", "3", true, "[s]\nk=3\nk=2\n"},
        {"key before the first header stays", "k=0\n[s]\nk=1\n", "s", "k", "2", true,
         "k=0\n[s]\nk=2\n"},
    };
    CheckEdits(IniEdit::Kind::SetValue, rows);
}

TEST(IniModel, SetValueInsertsNewKeyAfterTheSectionsLastEntry)
{
    const std::vector<EditRow> rows = {
        {"ahead of blank and comment lines", "[a]\nx=1\n\n; note\n\n[b]\ny=2\n", "a", "k", "v",
         true, "[a]\nx=1\nk=v\n\n; note\n\n[b]\ny=2\n"},
        {"after a bare last entry", "[a]\nx=1\nbare\n[b]\n", "a", "k", "v", true,
         "[a]\nx=1\nbare\nk=v\n[b]\n"},
        {"into the first of repeated sections", "[a]\nx=1\n[b]\n[A]\nk=1\n", "a", "k", "2", true,
         "[a]\nx=1\nk=2\n[b]\n[A]\nk=1\n"},
        {"after a header without entries", "[a]\n;k=1\n[b]\n", "a", "k", "v", true,
         "[a]\nk=v\n;k=1\n[b]\n"},
        {"after a last line without line end", "[a]\r\nx=1", "a", "k", "v", true,
         "[a]\r\nx=1\r\nk=v"},
        {"after a lone header", "[a]", "a", "k", "v", true, "[a]\nk=v"},
        {"after the first line end of a run", "[a]\r\nx=1\r\n\r\n", "a", "k", "v", true,
         "[a]\r\nx=1\r\nk=v\r\n\r\n"},
        {"CR line ends", "[a]\rx=1\r", "a", "k", "v", true, "[a]\rx=1\rk=v\r"},
        {"the first line end sets the style", "[a]\r\nx=1\n", "a", "k", "v", true,
         "[a]\r\nx=1\nk=v\r\n"},
        {"a CR before an LF ends the new line in CR LF", "[a]\rx=1\n\n[b]\r", "a", "k", "v", true,
         "[a]\rx=1\nk=v\r\n\n[b]\r"},
    };
    CheckEdits(IniEdit::Kind::SetValue, rows);
}

TEST(IniModel, SetValueAppendsNewSection)
{
    const std::vector<EditRow> rows = {
        {"empty text", "", "s", "k", "v", true, "[s]\nk=v\n"},
        {"text without final line end", "x=1", "s", "k", "v", true, "x=1\n[s]\nk=v\n"},
        {"text's line ends", "[a]\r\n", "s", "k", "v", true, "[a]\r\n[s]\r\nk=v\r\n"},
        {"names trimmed, value as given", "[a]\n", " s\t", " k ", " v ", true, "[a]\n[s]\nk= v \n"},
        {"header inside a comment", ";[s]\n", "s", "k", "v", true, ";[s]\n[s]\nk=v\n"},
    };
    CheckEdits(IniEdit::Kind::SetValue, rows);
}

TEST(IniModel, DeleteKeyRemovesTheFirstLineOfTheName)
{
    const std::vector<EditRow> rows = {
        {"line and its line end", "[s]\r\na=1\r\n  k = 2  \r\nb=3\r\n", "s", "k", "", true,
         "[s]\r\na=1\r\nb=3\r\n"},
        {"last line without line end", "[s]\na=1\nk=2", "s", "k", "", true, "[s]\na=1\n"},
        {"blank lines after it stay", "[s]\nk=1\n\n\n[t]\n", "s", "k", "", true, "[s]\n\n\n[t]\n"},
        {"only the first line of the name", "[s]\nk=1\nk\n[t]\nk=9\n[S]\nK=3\n", "s", "k", "", true,
         "[s]\nk\n[t]\nk=9\n[S]\nK=3\n"},
        {"a bare line first", "[s]\nk\nk=2\n", "s", "k", "", true, "[s]\nk=2\n"},
        {"in a later section of the name", "[s]\na=1\n[t]\nk=9\n[S]\nK=3\nk=4\n", "s", "k", "",
         true, "[s]\na=1\n[t]\nk=9\n[S]\nk=4\n"},
        {"last key keeps the header", "[s]\nk=1\n", "s", "k", "", true, "[s]\n"},
        {"comment stays", "[s]\n;k=1\nk=2\n", "s", "k", "", true, "[s]\n;k=1\n"},
        {"whole line despite a NUL", "[s]\nk\0x=1\nb=2\n"sv, "s", "k", "", true, "[s]\nb=2\n"},
        {"CR line ends", "[s]\rk=1\ra=2", "s", "k", "", true, "[s]\ra=2"},
        {"a CR before it keeps the blank line after it", "[s]\rk=1\n\na=2", "s", "k", "", true,
         "[s]\r\n\na=2"},
        {"key before the first header", "k=1\n[s]\n", "s", "k", "", false, ""},
        {"absent key", "[s]\na=1\n", "s", "k", "", false, ""},
        {"absent section", "[t]\nk=1\n", "s", "k", "", false, ""},
    };
    CheckEdits(IniEdit::Kind::DeleteKey, rows);
}

TEST(IniModel, DeleteSectionRemovesTheFirstSectionsHeaderAndEntries)
{
    const std::vector<EditRow> rows = {
        {"comments and blank lines stay", "x=0\n[a]\n; c\nk=1\n\nbare\n[b]\nk=2\n", "a", "", "",
         true, "x=0\n; c\n\n[b]\nk=2\n"},
        {"first of repeated sections", "[a]\nk=1\n[A]\nk=2\n", "a", "", "", true, "[A]\nk=2\n"},
        {"last header without line end", "x=1\n[a]", "a", "", "", true, "x=1\n"},
        {"empty section name", "[]\nk=1\n[b]\n", "", "", "", true, "[b]\n"},
        {"CR LF line ends", "[a]\r\nk=1\r\n[b]\r\n", " A ", "", "", true, "[b]\r\n"},
        {"absent section", "[b]\n", "a", "", "", false, ""},
        {"header inside a comment", ";[a]\n", "a", "", "", false, ""},
    };
    CheckEdits(IniEdit::Kind::DeleteSection, rows);
}

// How many entries of a NUL-separated listing are exactly `name`.
std::size_t CountListed(const std::string& list, std::string_view name)
{
    std::size_t count = 0;
    std::size_t begin = 0;
    for (std::size_t end; (end = list.find('\0', begin)) != std::string::npos; begin = end + 1) {
        count += std::string_view(list).substr(begin, end - begin) == name ? 1 : 0;
    }
    return count;
}

std::size_t CountSectionsNamedA(const std::string& text)
{
    std::string list;
    IniIndex(text).ListSections(list);
    return CountListed(list, "a");
}

std::size_t CountKeysNamedK(const std::string& text)
{
    std::string list;
    IniIndex(text).ListKeys("a", list);
    return CountListed(list, "k");
}

// Random texts built from the pieces the parser cares about, weighted so that about half of
// them hold section "a" and many hold key "k": every edit must read back as written and never
// touch memory it does not own (run under the sanitizers).
TEST(IniModel, EditsOfArbitraryTextReadBack)
{
    const std::string_view pieces[] = {
        "\n[a]", "\n[ a ]", "\nk=", "\n k", "[",  "]",    "=",    ";", "\"", "'",
        " ",     "\t",      "\x1a", "\r",   "\n", "\r\n", "\0"sv, "a", "k",  "\xff",
    };
    // Values with blanks and quotes at their ends, and what each reads as.
    const struct {
        std::string_view written;
        std::string_view read;
    } values[] = {{"v1", "v1"}, {"  v1", "v1"}, {"v1\t ", "v1"}, {" 'v 1' ", "v 1"}, {"", ""}};
    std::mt19937 random(20240611);
    for (int round = 0; round < 5000; ++round) {
        std::string text;
        for (auto count = random() % 24; count > 0; --count) {
            text += pieces[random() % std::size(pieces)];
        }
        const auto& [written, read] = values[round % std::size(values)];
        SCOPED_TRACE(::testing::PrintToString(text) + " set to " +
                     ::testing::PrintToString(written));
        const IniEdit setValue = {IniEdit::Kind::SetValue, "a", "k", written};

        // An edit leaves its output alone when the text does not change.
        std::string set = text;
        EditedAlike(text, setValue, set);
        std::string_view value;
        for (const Form form : kForms) {
            const Lookup lookup(set, form);  // the value views it
            ASSERT_TRUE(lookup.view.FindValue("a", "k", value));
            EXPECT_EQ(value, read);
        }
        EXPECT_GE(CountKeysNamedK(set), 1u);
        std::string unchanged;
        EXPECT_FALSE(EditedAlike(set, setValue, unchanged));

        std::string deleted;
        ASSERT_TRUE(EditedAlike(set, {IniEdit::Kind::DeleteKey, "a", "k", {}}, deleted));
        // The line just set goes, and only it.
        EXPECT_EQ(CountKeysNamedK(deleted), CountKeysNamedK(set) - 1);

        const std::size_t sections = CountSectionsNamedA(text);
        std::string withoutSection;
        ASSERT_EQ(EditedAlike(text, {IniEdit::Kind::DeleteSection, "a", {}, {}}, withoutSection),
                  sections > 0);
        if (sections > 0) {
            EXPECT_EQ(CountSectionsNamedA(withoutSection), sections - 1);
        }
    }
}

TEST(IniModel, FindsAndEditsInLargeDocuments)
{
    constexpr int kKeys = 100000;
    std::string text = "[big]\n";
    for (int i = 0; i < kKeys; ++i) {
        text += "key" + std::to_string(i) + "=" + std::to_string(i) + "\n";
    }
    text += "[tail]\nx=1\n[Big]\nkey7=repeat\n";
    for (const Form form : kForms) {
        SCOPED_TRACE(kFormNames[static_cast<int>(form)]);
        const Lookup lookup(text, form);
        const IniIndex& view = lookup.view;
        std::string_view value;
        ASSERT_TRUE(view.FindValue("BIG", "key99999", value));
        EXPECT_EQ(value, "99999");
        ASSERT_TRUE(view.FindValue("big", "KEY7", value));
        EXPECT_EQ(value, "7");
        EXPECT_FALSE(view.FindValue("big", "x", value));
        EXPECT_FALSE(view.FindValue("tail", "key7", value));

        std::string edited;
        ASSERT_TRUE(Edited(view, {IniEdit::Kind::SetValue, "big", "new", "v"}, edited));
        EXPECT_EQ(edited.size(), text.size() + 6);
        EXPECT_NE(edited.find("key99999=99999\nnew=v\n[tail]\n"), std::string::npos);

        ASSERT_TRUE(Edited(view, {IniEdit::Kind::DeleteKey, "big", "key0", {}}, edited));
        EXPECT_EQ(edited.compare(0, 13, "[big]\nkey1=1\n"), 0);
    }
}

}  // namespace
}  // namespace skarvel
