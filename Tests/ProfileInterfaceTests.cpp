// The C interface, as a host reaches it through its header alone: one table of calls
// with their statuses, values and files, then the paths, buffers and names around it.
#include "skarvel_profile.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "HostFiles.h"

namespace {

namespace fs = std::filesystem;
using skarvel::test::HostDirectory;
using skarvel::test::ScopedHostFile;
using skarvel::test::WriteBytes;

// The first bytes of a UTF-16 file.
const char kUtf16Mark[] = "\xff\xfe";

// UTF-8 of a UTF-16LE text, for reading the files Windows keeps in UTF-16.
std::string Utf8FromUtf16(const std::string& bytes)
{
    std::string text;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        char32_t c = static_cast<unsigned char>(bytes[i]) | static_cast<unsigned char>(bytes[i + 1])
                                                                << 8;
        if (c >= 0xD800 && c < 0xDC00 && i + 3 < bytes.size()) {
            const char32_t low = static_cast<unsigned char>(bytes[i + 2]) |
                                 static_cast<unsigned char>(bytes[i + 3]) << 8;
            c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
            i += 2;
        }
        if (c < 0x80) {
            text += static_cast<char>(c);
        } else if (c < 0x800) {
            text += static_cast<char>(0xC0 | c >> 6);
            text += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            text += static_cast<char>(0xE0 | c >> 12);
            text += static_cast<char>(0x80 | (c >> 6 & 0x3F));
            text += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            text += static_cast<char>(0xF0 | c >> 18);
            text += static_cast<char>(0x80 | (c >> 12 & 0x3F));
            text += static_cast<char>(0x80 | (c >> 6 & 0x3F));
            text += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return text;
}

// The file's lines that are not blank, joined by '|', in UTF-8: what a write left,
// whichever encoding and line ends the platform's store chose.
std::string FileLines(const fs::path& path)
{
    if (!fs::is_regular_file(path)) {
        return "<no file>";
    }
    std::ifstream in(path, std::ios::binary);
    std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (bytes.compare(0, 2, kUtf16Mark) == 0) {
        bytes = Utf8FromUtf16(bytes.substr(2));
    }
    std::string lines;
    size_t start = 0;
    while (start < bytes.size()) {
        size_t end = bytes.find_first_of("\r\n", start);
        if (end == std::string::npos) {
            end = bytes.size();
        }
        if (end > start) {
            lines += (lines.empty() ? "" : "|") + bytes.substr(start, end - start);
        }
        start = end + 1;
    }
    return lines;
}

// Collects listed names, joined by ','.
int JoinName(void* context, const char* name, size_t length)
{
    auto& joined = *static_cast<std::string*>(context);
    EXPECT_EQ(std::strlen(name), length);
    joined += (joined.empty() ? "" : ",") + std::string(name, length);
    return 0;
}

std::string Shortest(double value)
{
    char text[32];
    *std::to_chars(text, text + sizeof text - 1, value).ptr = '\0';
    return text;
}

// An open profile, closed at the end.
class OpenProfile {
public:
    explicit OpenProfile(const std::string& path)
    {
        EXPECT_EQ(skarvel_open(path.c_str(), &profile_), SKARVEL_OK) << path;
    }
    OpenProfile(const OpenProfile&) = delete;
    OpenProfile& operator=(const OpenProfile&) = delete;
    ~OpenProfile() { skarvel_close(profile_); }

    const skarvel_profile* Get() const { return profile_; }

private:
    skarvel_profile* profile_ = nullptr;
};

enum class Call {
    GetText,
    GetInt,
    GetReal,
    GetBool,
    SetText,
    SetInt,
    SetReal,
    SetBool,
    DeleteKey,
    DeleteSection,
    Sections,
    Keys,
};

// Stand-ins for the file's content: where the path names no file to write first.
const char kDirectory[] = "<the path names a directory>";
const char kMissingDirectory[] = "<the file's directory is missing>";

struct Row {
    const char* name;
    const char* before;  // the file's content; null for no file
    Call call;
    const char* section;
    const char* key;
    const char* argument;  // what a set writes: text, or a number or bool as text
    skarvel_status status;
    // A read's value or a listing's names joined by ',', as text ("" on failure, when a
    // typed read leaves its value alone); for a write or deletion, FileLines after it.
    const char* answer;
    unsigned long error;  // skarvel_GetLastError() after a failure
};

const char kSettings[] = "; window settings\n"
                         "[Window]\n"
                         "Width=1024\n"
                         "Scale=1.25\n"
                         "Title=\"  padded  \"\n"
                         "Maximized=Yes\n"
                         "Empty=\n"
                         "Bare\n"
                         "Plus=+5\n"
                         "Big=9223372036854775807\n"
                         "TooBig=9223372036854775808\n"
                         "Hex=0x1F\n"
                         "Tiny=1e-400\n"
                         "Endless=-Infinity\n"
                         "Word=off\n"
                         "Unit=2.5kg\n"
                         "[Empty section]\n"
                         "[Names]\n"
                         "b=1\n"
                         "a=2\n";

const char kSmall[] = "[s]\nk=v\n[t]\nx=1\n";

// Runs the row's call on `profile`; answers its status and sets `answer` as Row says.
skarvel_status RunRow(const Row& row, const skarvel_profile* profile, const std::string& path,
                      std::string& answer)
{
    skarvel_status status = SKARVEL_OK;
    switch (row.call) {
    case Call::GetText: {
        char text[256] = "untouched";
        status = skarvel_get_string(profile, row.section, row.key, text, sizeof text, nullptr);
        answer = text;
        return status;
    }
    case Call::GetInt: {
        int64_t value = 77;
        status = skarvel_get_int64(profile, row.section, row.key, &value);
        answer = status == SKARVEL_OK ? std::to_string(value) : value == 77 ? "" : "changed";
        return status;
    }
    case Call::GetReal: {
        double value = 77;
        status = skarvel_get_double(profile, row.section, row.key, &value);
        answer = status == SKARVEL_OK ? Shortest(value) : value == 77 ? "" : "changed";
        return status;
    }
    case Call::GetBool: {
        bool value = true;
        bool other = false;
        status = skarvel_get_bool(profile, row.section, row.key, &value);
        EXPECT_EQ(skarvel_get_bool(profile, row.section, row.key, &other), status);
        answer = status == SKARVEL_OK ? (value ? "true" : "false")
                 : value && !other    ? ""
                                      : "changed";
        return status;
    }
    case Call::Sections:
        status = skarvel_list_sections(profile, JoinName, &answer);
        return status;
    case Call::Keys:
        status = skarvel_list_keys(profile, row.section, JoinName, &answer);
        return status;
    case Call::SetText:
        status = skarvel_set_string(profile, row.section, row.key, row.argument);
        break;
    case Call::SetInt:
        status = skarvel_set_int64(profile, row.section, row.key,
                                   std::strtoll(row.argument, nullptr, 10));
        break;
    case Call::SetReal:
        status =
            skarvel_set_double(profile, row.section, row.key, std::strtod(row.argument, nullptr));
        break;
    case Call::SetBool:
        status =
            skarvel_set_bool(profile, row.section, row.key, std::strcmp(row.argument, "true") == 0);
        break;
    case Call::DeleteKey:
        status = skarvel_delete_key(profile, row.section, row.key);
        break;
    case Call::DeleteSection:
        status = skarvel_delete_section(profile, row.section);
        break;
    }
    answer = FileLines(path);
    return status;
}

TEST(ProfileInterfaceTests, CallsAnswerTheirStatusValueAndFile)
{
    const auto ok = SKARVEL_OK;
    const auto notFound = SKARVEL_NOT_FOUND;
    const auto wrongType = SKARVEL_WRONG_TYPE;
    const auto invalid = SKARVEL_INVALID_ARGUMENT;
    const auto denied = SKARVEL_ACCESS_DENIED;
    const unsigned long kNone = 0;
    const Row rows[] = {
        // Text, found as the store reads it.
        {"quoted text", kSettings, Call::GetText, "Window", "Title", nullptr, ok, "  padded  ",
         kNone},
        {"names in any case and blanks", kSettings, Call::GetText, " window ", "TITLE ", nullptr,
         ok, "  padded  ", kNone},
        {"an empty value is found", kSettings, Call::GetText, "Window", "Empty", nullptr, ok, "",
         kNone},
        {"a line without '=' is no key", kSettings, Call::GetText, "Window", "Bare", nullptr,
         notFound, "", 2},
        {"missing key", kSettings, Call::GetText, "Window", "Height", nullptr, notFound, "", 2},
        {"missing section", kSettings, Call::GetText, "Door", "Width", nullptr, notFound, "", 2},
        {"missing file", nullptr, Call::GetText, "Window", "Width", nullptr, notFound, "", 2},
        {"missing directory", kMissingDirectory, Call::GetText, "Window", "Width", nullptr,
         notFound, "", 3},
        {"the path names a directory", kDirectory, Call::GetText, "Window", "Width", nullptr,
         denied, "", 5},
        {"blank section name", kSettings, Call::GetText, " ", "Width", nullptr, invalid, "", 87},
        {"key with '='", kSettings, Call::GetText, "Window", "a=b", nullptr, invalid, "", 87},
        {"null key", kSettings, Call::GetText, "Window", nullptr, nullptr, invalid, "", 87},
        // Integers: the whole text, in range, in decimal.
        {"integer", kSettings, Call::GetInt, "Window", "Width", nullptr, ok, "1024", kNone},
        {"integer with plus", kSettings, Call::GetInt, "Window", "Plus", nullptr, ok, "5", kNone},
        {"largest integer", kSettings, Call::GetInt, "Window", "Big", nullptr, ok,
         "9223372036854775807", kNone},
        {"integer out of range", kSettings, Call::GetInt, "Window", "TooBig", nullptr, wrongType,
         "", 13},
        {"hexadecimal is no integer", kSettings, Call::GetInt, "Window", "Hex", nullptr, wrongType,
         "", 13},
        {"real is no integer", kSettings, Call::GetInt, "Window", "Scale", nullptr, wrongType, "",
         13},
        {"empty is no integer", kSettings, Call::GetInt, "Window", "Empty", nullptr, wrongType, "",
         13},
        {"missing integer", kSettings, Call::GetInt, "Window", "Height", nullptr, notFound, "", 2},
        // Reals.
        {"real", kSettings, Call::GetReal, "Window", "Scale", nullptr, ok, "1.25", kNone},
        {"integer as real", kSettings, Call::GetReal, "Window", "Width", nullptr, ok, "1024",
         kNone},
        {"infinity", kSettings, Call::GetReal, "Window", "Endless", nullptr, ok, "-inf", kNone},
        {"real too small to tell from zero", kSettings, Call::GetReal, "Window", "Tiny", nullptr,
         wrongType, "", 13},
        {"real with a unit", kSettings, Call::GetReal, "Window", "Unit", nullptr, wrongType, "",
         13},
        {"word is no real", kSettings, Call::GetReal, "Window", "Maximized", nullptr, wrongType, "",
         13},
        // Booleans.
        {"yes", kSettings, Call::GetBool, "Window", "Maximized", nullptr, ok, "true", kNone},
        {"off", kSettings, Call::GetBool, "Window", "Word", nullptr, ok, "false", kNone},
        {"number is no bool", kSettings, Call::GetBool, "Window", "Width", nullptr, wrongType, "",
         13},
        {"missing bool", kSettings, Call::GetBool, "Window", "Height", nullptr, notFound, "", 2},
        // Listings in file order.
        {"sections", kSettings, Call::Sections, nullptr, nullptr, nullptr, ok,
         "Window,Empty section,Names", kNone},
        {"keys, without the bare line", kSettings, Call::Keys, "window", nullptr, nullptr, ok,
         "Width,Scale,Title,Maximized,Empty,Plus,Big,TooBig,Hex,Tiny,Endless,Word,Unit", kNone},
        {"keys in file order", kSettings, Call::Keys, "Names", nullptr, nullptr, ok, "b,a", kNone},
        {"section without keys", kSettings, Call::Keys, "empty SECTION", nullptr, nullptr, ok, "",
         kNone},
        {"keys of a missing section", kSettings, Call::Keys, "Door", nullptr, nullptr, notFound, "",
         2},
        {"sections of an empty file", "", Call::Sections, nullptr, nullptr, nullptr, ok, "", kNone},
        {"sections of a missing file", nullptr, Call::Sections, nullptr, nullptr, nullptr, notFound,
         "", 2},
        {"sections of a directory", kDirectory, Call::Sections, nullptr, nullptr, nullptr, denied,
         "", 5},
        // Writes change the key's line alone.
        {"text replaces the value", kSmall, Call::SetText, "s", "k", "new value", ok,
         "[s]|k=new value|[t]|x=1", kNone},
        {"new key after the section's keys", kSmall, Call::SetText, "S", "n", "1", ok,
         "[s]|k=v|n=1|[t]|x=1", kNone},
        {"blanks at the ends are quoted", kSmall, Call::SetText, "s", "k", " padded ", ok,
         "[s]|k=\" padded \"|[t]|x=1", kNone},
        {"quotes at both ends are quoted", kSmall, Call::SetText, "s", "k", "'q'", ok,
         "[s]|k=\"'q'\"|[t]|x=1", kNone},
        {"a new file", nullptr, Call::SetText, "s", "k", "v", ok, "[s]|k=v", kNone},
        {"line break refused", kSmall, Call::SetText, "s", "k", "a\nb", invalid, "[s]|k=v|[t]|x=1",
         87},
        {"comment key refused", kSmall, Call::SetText, "s", ";k", "v", invalid, "[s]|k=v|[t]|x=1",
         87},
        {"null value refused", kSmall, Call::SetText, "s", "k", nullptr, invalid, "[s]|k=v|[t]|x=1",
         87},
        {"integer", kSmall, Call::SetInt, "s", "k", "-9223372036854775807", ok,
         "[s]|k=-9223372036854775807|[t]|x=1", kNone},
        {"shortest real", kSmall, Call::SetReal, "s", "k", "0.1", ok, "[s]|k=0.1|[t]|x=1", kNone},
        {"small real", kSmall, Call::SetReal, "s", "k", "1e-7", ok, "[s]|k=1e-07|[t]|x=1", kNone},
        {"bool", kSmall, Call::SetBool, "t", "x", "false", ok, "[s]|k=v|[t]|x=false", kNone},
        {"write to a directory", kDirectory, Call::SetText, "s", "k", "v", denied, "<no file>", 5},
        {"write to a missing directory", kMissingDirectory, Call::SetText, "s", "k", "v",
         SKARVEL_SYSTEM_ERROR, "<no file>", 3},
        // Deletions say whether there was anything to delete.
        {"delete a key", kSmall, Call::DeleteKey, "s", "K", nullptr, ok, "[s]|[t]|x=1", kNone},
        {"delete a missing key", kSmall, Call::DeleteKey, "s", "x", nullptr, notFound,
         "[s]|k=v|[t]|x=1", 2},
        {"delete in a missing file", nullptr, Call::DeleteKey, "s", "k", nullptr, notFound,
         "<no file>", 2},
        {"delete a section", kSmall, Call::DeleteSection, "s", nullptr, nullptr, ok, "[t]|x=1",
         kNone},
        {"delete a section without keys", "[s]\n[t]\nx=1\n", Call::DeleteSection, "S", nullptr,
         nullptr, ok, "[t]|x=1", kNone},
        {"delete a missing section", kSmall, Call::DeleteSection, "u", nullptr, nullptr, notFound,
         "[s]|k=v|[t]|x=1", 2},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ScopedHostFile file;
        std::string path = file.Path();
        if (row.before == kDirectory) {
            fs::create_directory(path);
        } else if (row.before == kMissingDirectory) {
            path = file.Path() + "-missing/settings.ini";
        } else if (row.before != nullptr) {
            WriteBytes(path, row.before);
        }
        OpenProfile profile(path);
        std::string answer;
        const skarvel_status status = RunRow(row, profile.Get(), path, answer);
        EXPECT_EQ(status, row.status) << skarvel_strerror(status);
        EXPECT_EQ(answer, row.answer);
        if (row.status != SKARVEL_OK) {
            EXPECT_EQ(skarvel_GetLastError(), row.error);
        }
        if (row.before == kDirectory) {
            fs::remove(path);
        }
    }
}

TEST(ProfileInterfaceTests, CutTextSaysHowLongTheWholeTextIs)
{
    ScopedHostFile file;
    WriteBytes(file.Path(), "[s]\nk=abcdef\n");
    OpenProfile profile(file.Path());
    struct Case {
        size_t size;
        skarvel_status status;
        const char* text;
    };
    for (const Case& c : {Case{0, SKARVEL_TRUNCATED, "untouched"}, Case{1, SKARVEL_TRUNCATED, ""},
                          Case{6, SKARVEL_TRUNCATED, "abcde"}, Case{7, SKARVEL_OK, "abcdef"}}) {
        SCOPED_TRACE(c.size);
        char buffer[16] = "untouched";
        size_t length = 99;
        EXPECT_EQ(skarvel_get_string(profile.Get(), "s", "k", buffer, c.size, &length), c.status);
        EXPECT_EQ(length, 6u);
        EXPECT_STREQ(buffer, c.text);
        if (c.status == SKARVEL_TRUNCATED) {
            EXPECT_EQ(skarvel_GetLastError(), 122u);
        }
    }
    size_t length = 99;
    EXPECT_EQ(skarvel_get_string(profile.Get(), "s", "k", nullptr, 0, &length), SKARVEL_TRUNCATED);
    EXPECT_EQ(length, 6u);
    EXPECT_EQ(skarvel_get_string(profile.Get(), "s", "k", nullptr, 8, &length),
              SKARVEL_INVALID_ARGUMENT);
}

TEST(ProfileInterfaceTests, RelativePathsAreTakenFromTheWorkingDirectoryWhenOpened)
{
    const fs::path directory = fs::path(HostDirectory()) / skarvel::test::UniqueFileName("");
    fs::create_directory(directory);
    const fs::path before = fs::current_path();
    fs::current_path(directory);
    skarvel_profile* profile = nullptr;
    const skarvel_status opened = skarvel_open("relative.ini", &profile);
    fs::current_path(before);
    ASSERT_EQ(opened, SKARVEL_OK);

    EXPECT_EQ(fs::path(skarvel_path(profile)), directory / "relative.ini");
    EXPECT_EQ(skarvel_set_string(profile, "s", "k", "v"), SKARVEL_OK);
    EXPECT_TRUE(fs::is_regular_file(directory / "relative.ini"));
    EXPECT_FALSE(fs::exists(before / "relative.ini"));
    skarvel_close(profile);
    fs::remove_all(directory);

    EXPECT_EQ(skarvel_open("", &profile), SKARVEL_INVALID_ARGUMENT);
    EXPECT_EQ(profile, nullptr);
    EXPECT_EQ(skarvel_open(nullptr, &profile), SKARVEL_INVALID_ARGUMENT);
    EXPECT_EQ(skarvel_open("x.ini", nullptr), SKARVEL_INVALID_ARGUMENT);
}

TEST(ProfileInterfaceTests, AnyNameAndTextInUtf8ReadBackAsWritten)
{
    // A path, section, key and value beyond any ANSI code page, in a new file.
    const std::string name = skarvel::test::UniqueFileName("-Gr\xc3\xbc\xc3\x9f"
                                                           "e-\xe6\x97\xa5\xe6\x9c\xac.ini");
    const fs::path path = fs::u8path(HostDirectory()) / fs::u8path(name);
    const char section[] = "\xce\x95\xce\xbb\xce\xbb\xce\xac\xce\xb4\xce\xb1";
    const char key[] = "Stra\xc3\x9f"
                       "e";
    const char value[] = "\xe6\x9d\xb1\xe4\xba\xac \xf0\x9f\x97\xbb";
    OpenProfile profile(HostDirectory() + "/" + name);
    ASSERT_EQ(skarvel_set_string(profile.Get(), section, key, value), SKARVEL_OK);

    char text[64];
    EXPECT_EQ(skarvel_get_string(profile.Get(), section, key, text, sizeof text, nullptr),
              SKARVEL_OK);
    EXPECT_STREQ(text, value);
    ASSERT_TRUE(fs::is_regular_file(path));
    EXPECT_EQ(FileLines(path), "[" + std::string(section) + "]|" + key + "=" + value);
    std::string names;
    EXPECT_EQ(skarvel_list_keys(profile.Get(), section, JoinName, &names), SKARVEL_OK);
    EXPECT_EQ(names, key);
    fs::remove(path);
}

// Sets the environment variable, or removes it for a null value, until the end of the scope.
class ScopedVariable {
public:
    ScopedVariable(const char* name, const char* value) : name_(name)
    {
        if (const char* old = std::getenv(name)) {
            old_ = old;
            hadOld_ = true;
        }
        Set(value);
    }
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;
    ~ScopedVariable() { Set(hadOld_ ? old_.c_str() : nullptr); }

private:
    void Set(const char* value)
    {
#if defined(_WIN32)
        _putenv((name_ + "=" + (value == nullptr ? "" : value)).c_str());
#else
        if (value == nullptr) {
            unsetenv(name_.c_str());
        } else {
            setenv(name_.c_str(), value, 1);
        }
#endif
    }

    std::string name_;
    std::string old_;
    bool hadOld_ = false;
};

#if defined(_WIN32)
const char kConfigHome[] = "APPDATA";
#else
const char kConfigHome[] = "XDG_CONFIG_HOME";
#endif

TEST(ProfileInterfaceTests, UserFilesLieInTheConfigurationDirectoryWhichIsMade)
{
    const fs::path home = fs::path(HostDirectory()) / skarvel::test::UniqueFileName("");
    const ScopedVariable configHome(kConfigHome, home.string().c_str());
    skarvel_profile* profile = nullptr;
    ASSERT_EQ(skarvel_open_user("Maker/App/settings.ini", &profile), SKARVEL_OK);
    EXPECT_EQ(fs::path(skarvel_path(profile)), home / "Maker" / "App" / "settings.ini");
    EXPECT_TRUE(fs::is_directory(home / "Maker" / "App"));
    EXPECT_EQ(skarvel_set_bool(profile, "s", "k", true), SKARVEL_OK);
    skarvel_close(profile);

    for (const char* name : {"", "/abs/settings.ini", "Maker/"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(skarvel_open_user(name, &profile), SKARVEL_INVALID_ARGUMENT);
        EXPECT_EQ(profile, nullptr);
    }
    fs::remove_all(home);
}

#if !defined(_WIN32)
TEST(ProfileInterfaceTests, UserFilesFallBackToHomeAndNeedOne)
{
    const fs::path home = fs::path(HostDirectory()) / skarvel::test::UniqueFileName("");
    // The XDG rules ignore a relative configuration directory.
    const ScopedVariable relativeConfigHome("XDG_CONFIG_HOME", "relative/config");
    skarvel_profile* profile = nullptr;
    {
        const ScopedVariable homeVariable("HOME", home.c_str());
        ASSERT_EQ(skarvel_open_user("App/settings.ini", &profile), SKARVEL_OK);
        EXPECT_EQ(fs::path(skarvel_path(profile)), home / ".config" / "App" / "settings.ini");
        EXPECT_TRUE(fs::is_directory(home / ".config" / "App"));
        skarvel_close(profile);
        fs::remove_all(home);
    }
    const ScopedVariable noHome("HOME", nullptr);
    EXPECT_EQ(skarvel_open_user("App/settings.ini", &profile), SKARVEL_NOT_FOUND);
    EXPECT_EQ(profile, nullptr);
}
#endif

TEST(ProfileInterfaceTests, ListingsVisitNamesOfAnyLengthUntilTheVisitorStops)
{
    ScopedHostFile file;
    const std::string longName(5000, 'n');
    std::string content = "[" + longName + "]\n";
    for (int i = 0; i < 300; ++i) {
        content += "key" + std::to_string(i) + "=" + std::to_string(i) + "\n";
    }
    WriteBytes(file.Path(), content + "[last]\n");
    OpenProfile profile(file.Path());

    std::vector<std::string> names;
    const auto collect = [](void* context, const char* name, size_t length) {
        static_cast<std::vector<std::string>*>(context)->emplace_back(name, length);
        return 0;
    };
    ASSERT_EQ(skarvel_list_sections(profile.Get(), collect, &names), SKARVEL_OK);
    EXPECT_EQ(names, (std::vector<std::string>{longName, "last"}));
    names.clear();
    ASSERT_EQ(skarvel_list_keys(profile.Get(), longName.c_str(), collect, &names), SKARVEL_OK);
    ASSERT_EQ(names.size(), 300u);
    EXPECT_EQ(names.back(), "key299");

    int visits = 0;
    const auto stopAtTwo = [](void* context, const char*, size_t) {
        return ++*static_cast<int*>(context) == 2 ? 1 : 0;
    };
    EXPECT_EQ(skarvel_list_keys(profile.Get(), longName.c_str(), stopAtTwo, &visits), SKARVEL_OK);
    EXPECT_EQ(visits, 2);
}

TEST(ProfileInterfaceTests, NumbersReadBackExactly)
{
    ScopedHostFile file;
    OpenProfile profile(file.Path());
    const double limit = std::numeric_limits<double>::max();
    for (double value : {0.1, 1.0 / 3, 5e-324, 2.2250738585072014e-308, limit, -limit, -0.0,
                         std::numeric_limits<double>::infinity(), -1e22, 123456789012345678.0}) {
        SCOPED_TRACE(value);
        ASSERT_EQ(skarvel_set_double(profile.Get(), "s", "k", value), SKARVEL_OK);
        double read = 0;
        ASSERT_EQ(skarvel_get_double(profile.Get(), "s", "k", &read), SKARVEL_OK);
        EXPECT_EQ(std::memcmp(&read, &value, sizeof value), 0) << read;
    }
    ASSERT_EQ(skarvel_set_double(profile.Get(), "s", "k", std::nan("")), SKARVEL_OK);
    double read = 0;
    ASSERT_EQ(skarvel_get_double(profile.Get(), "s", "k", &read), SKARVEL_OK);
    EXPECT_TRUE(std::isnan(read));
    for (int64_t value :
         {std::numeric_limits<int64_t>::min(), int64_t{0}, std::numeric_limits<int64_t>::max()}) {
        ASSERT_EQ(skarvel_set_int64(profile.Get(), "s", "k", value), SKARVEL_OK);
        int64_t number = 1;
        ASSERT_EQ(skarvel_get_int64(profile.Get(), "s", "k", &number), SKARVEL_OK);
        EXPECT_EQ(number, value);
    }
}

TEST(ProfileInterfaceTests, ProfileFunctionsKeepTheirWin32Contract)
{
    using namespace std::string_view_literals;
    ScopedHostFile file;
    WriteBytes(file.Path(), "[s]\nk=value\nq=\"quoted\"\n[t]\nx=12\n");
    const char* path = file.Path().c_str();
    struct Row {
        const char* name;
        const char* section;
        const char* key;
        const char* fallback;
        unsigned long size;
        unsigned long answer;
        std::string_view buffer;  // its first bytes, terminators included
    };
    const Row rows[] = {
        {"value", "s", "K", nullptr, 16, 5, "value\0"sv},
        {"cut value", "s", "k", nullptr, 4, 3, "val\0"sv},
        {"quotes removed", "s", "q", nullptr, 16, 6, "quoted\0"sv},
        {"default without its trailing spaces", "s", "none", "def  ", 16, 3, "def\0"sv},
        {"cut default", "s", "none", "default", 4, 3, "def\0"sv},
        {"sections", nullptr, nullptr, nullptr, 16, 4, "s\0t\0\0"sv},
        {"sections that fill the buffer", nullptr, nullptr, nullptr, 5, 3, "s\0t\0\0"sv},
        {"one byte", nullptr, nullptr, nullptr, 1, 0, "\0"sv},
        {"keys", "s", nullptr, "none", 16, 4, "k\0q\0\0"sv},
        {"keys of a missing section", "u", nullptr, "none", 16, 4, "none\0"sv},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        char buffer[16];
        std::memset(buffer, '#', sizeof buffer);
        EXPECT_EQ(skarvel_GetPrivateProfileStringA(row.section, row.key, row.fallback, buffer,
                                                   row.size, path),
                  row.answer);
        EXPECT_EQ(std::string_view(buffer, row.buffer.size()), row.buffer);
    }

    EXPECT_EQ(skarvel_GetPrivateProfileIntA("t", "x", -5, path), 12u);
    EXPECT_EQ(skarvel_GetPrivateProfileIntA("t", "y", -5, path), 4294967291u);
    EXPECT_NE(skarvel_WritePrivateProfileStringA("s", "k", nullptr, path), 0);
    EXPECT_NE(skarvel_WritePrivateProfileStringA("t", nullptr, nullptr, path), 0);
    char buffer[16];
    EXPECT_EQ(skarvel_GetPrivateProfileStringA(nullptr, nullptr, nullptr, buffer, 16, path), 2u);
    EXPECT_EQ(std::string_view(buffer, 3), "s\0\0"sv);
    EXPECT_EQ(skarvel_WritePrivateProfileStringA(nullptr, "k", "v", path), 0);
    EXPECT_EQ(skarvel_GetLastError(), 2u);
}

TEST(ProfileInterfaceTests, EveryStatusHasAMessage)
{
    for (int status = SKARVEL_OK; status <= SKARVEL_SYSTEM_ERROR; ++status) {
        EXPECT_STRNE(skarvel_strerror(static_cast<skarvel_status>(status)), "unknown status");
    }
    EXPECT_STREQ(skarvel_strerror(static_cast<skarvel_status>(99)), "unknown status");
}

#if !defined(_WIN32)
TEST(ProfileInterfaceTests, FailuresLeaveErrno)
{
    ScopedHostFile file;
    WriteBytes(file.Path(), "[s]\nk=abc\n");
    OpenProfile profile(file.Path());
    int64_t number = 0;
    char buffer[2];
    errno = 0;
    EXPECT_EQ(skarvel_get_int64(profile.Get(), "s", "x", &number), SKARVEL_NOT_FOUND);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(skarvel_get_int64(profile.Get(), "s", "k", &number), SKARVEL_WRONG_TYPE);
    EXPECT_EQ(errno, EINVAL);
    EXPECT_EQ(skarvel_get_string(profile.Get(), "s", "k", buffer, sizeof buffer, nullptr),
              SKARVEL_TRUNCATED);
    EXPECT_EQ(errno, ERANGE);
    OpenProfile inMissingDirectory(file.Path() + "-missing/settings.ini");
    EXPECT_EQ(skarvel_set_int64(inMissingDirectory.Get(), "s", "k", 1), SKARVEL_SYSTEM_ERROR);
    EXPECT_EQ(errno, ENOENT);
    fs::create_directory(file.Path() + "-directory");
    OpenProfile directory(file.Path() + "-directory");
    EXPECT_EQ(skarvel_set_int64(directory.Get(), "s", "k", 1), SKARVEL_ACCESS_DENIED);
    EXPECT_EQ(errno, EACCES);
    fs::remove(file.Path() + "-directory");
}
#endif

}  // namespace
