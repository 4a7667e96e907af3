// skarvel, the command-line tool, run as scripts run it: one table of commands with
// their output, complaints, exit statuses and files, then, on Linux, copies of the
// tool writing one file beside a host of the library.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "HostFiles.h"
#include "skarvel_profile.hpp"

#if defined(_WIN32)
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "ChildProcess.h"
#endif

namespace {

namespace fs = std::filesystem;
using skarvel::test::ReadBytes;
using skarvel::test::WriteBytes;

// A directory of its own beside the test executable, removed with its files at the end.
class ScopedDirectory {
public:
    ScopedDirectory()
        : path_(skarvel::test::HostDirectory() + "/" + skarvel::test::UniqueFileName(".d"))
    {
        fs::create_directory(path_);
    }
    ScopedDirectory(const ScopedDirectory&) = delete;
    ScopedDirectory& operator=(const ScopedDirectory&) = delete;
    ~ScopedDirectory()
    {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }

    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

struct ToolRun {
    int status = -1;
    std::string out;
    std::string err;
};

#if defined(_WIN32)

std::wstring Wide(const std::string& text)
{
    const int length =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &wide[0], length);
    return wide;
}

// The argument in double quotes, as CommandLineToArgvW takes it apart again: a quote,
// and the backslashes before a quote, escaped with backslashes.
std::wstring CommandLineWord(const std::wstring& argument)
{
    std::wstring word = L"\"";
    size_t backslashes = 0;
    for (const wchar_t c : argument) {
        if (c == L'"') {
            word.append(backslashes + 1, L'\\');
        }
        backslashes = c == L'\\' ? backslashes + 1 : 0;
        word += c;
    }
    word.append(backslashes, L'\\');
    return word + L'"';
}

// A file the tool inherits as its standard output or error.
HANDLE InheritedFile(const std::string& path)
{
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    return CreateFileW(Wide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

std::string WithoutCarriageReturns(std::string text)
{
    text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
    return text;
}

// Runs the tool in `directory` with `arguments`, its output and complaints going to
// files in `outputs`, and waits for it. Its line ends are read as LF.
ToolRun RunTool(const std::string& directory, const std::vector<std::string>& arguments,
                const std::string& outputs)
{
    const std::string outPath = outputs + "/out";
    const std::string errPath = outputs + "/err";
    std::wstring command = CommandLineWord(Wide(skarvel::test::HostDirectory() + "\\skarvel.exe"));
    for (const std::string& argument : arguments) {
        command += L' ' + CommandLineWord(Wide(argument));
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = InheritedFile(outPath);
    startup.hStdError = InheritedFile(errPath);
    PROCESS_INFORMATION process{};
    ToolRun run;
    if (CreateProcessW(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr,
                       Wide(directory).c_str(), &startup, &process)) {
        WaitForSingleObject(process.hProcess, INFINITE);
        DWORD status = 0;
        GetExitCodeProcess(process.hProcess, &status);
        run.status = static_cast<int>(status);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    CloseHandle(startup.hStdOutput);
    CloseHandle(startup.hStdError);
    run.out = WithoutCarriageReturns(ReadBytes(outPath));
    run.err = WithoutCarriageReturns(ReadBytes(errPath));
    return run;
}

#else

// Runs the tool in `directory` with `arguments`, its output and complaints going to
// files in `outputs`, and waits for it.
ToolRun RunTool(const std::string& directory, const std::vector<std::string>& arguments,
                const std::string& outputs)
{
    const std::string outPath = outputs + "/out";
    const std::string errPath = outputs + "/err";
    const pid_t pid = fork();
    if (pid == 0) {
        std::vector<char*> argv{const_cast<char*>(SKARVEL_TOOL)};
        for (const std::string& argument : arguments) {
            argv.push_back(const_cast<char*>(argument.c_str()));
        }
        argv.push_back(nullptr);
        const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (out < 0 || err < 0 || dup2(out, STDOUT_FILENO) < 0 || dup2(err, STDERR_FILENO) < 0 ||
            chdir(directory.c_str()) != 0) {
            _exit(127);
        }
        execv(argv[0], argv.data());
        _exit(127);
    }
    ToolRun run;
    int status = 0;
    if (pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status)) {
        run.status = WEXITSTATUS(status);
    }
    run.out = ReadBytes(outPath);
    run.err = ReadBytes(errPath);
    return run;
}

#endif

// The file most rows start from: a comment, blanks around '=', a quoted value, a
// section without keys, and a section name that stands twice.
const char kSettings[] = "; kept as it is\n"
                         "[Window]\n"
                         "Width = 800\n"
                         "Title=\"  padded  \"\n"
                         "Empty=\n"
                         "Flag=Yes\n"
                         "Ratio=2.50\n"
                         "Count=+007\n"
                         "Raw=\xff\xfe\n"
                         "\n"
                         "[Sound]\n"
                         "[Files]\n"
                         "Recent=notes.txt\n"
                         "[files]\n"
                         "Recent=second.txt\n";

// Wine lays out anew every file it writes, where the Linux store changes only the line a
// write concerns; so a write's bytes are compared on Linux alone.
#if defined(_WIN32)
constexpr bool kWritesKeepBytes = false;
#else
constexpr bool kWritesKeepBytes = true;
#endif

// One command, run in a directory holding `before` as settings.ini (none when null).
// Afterwards settings.ini holds `before` with `from` replaced by `to`, or is as it was
// when both are null.
struct ToolCase {
    const char* name;
    std::vector<std::string> arguments;
    int status;
    std::string out;
    const char* err;  // a part of standard error; "" when nothing may be said
    const char* before = kSettings;
    const char* from = nullptr;
    const char* to = nullptr;
    bool readOnly = false;
};

// The answers scripts rely on, by exit status: 0 done, 1 not there, 2 usage, 3 not of
// the asked type, 4 refused.
const ToolCase kToolCases[] = {
    // get
    {"get matches names whatever their case and end blanks",
     {"get", "settings.ini", " window ", "WIDTH"},
     0,
     "800\n",
     ""},
    {"get prints a quoted value as programs read it",
     {"get", "settings.ini", "Window", "Title"},
     0,
     "  padded  \n",
     ""},
    {"get prints an empty value as an empty line",
     {"get", "settings.ini", "Window", "Empty"},
     0,
     "\n",
     ""},
    {"get of a missing key",
     {"get", "settings.ini", "Window", "Height"},
     1,
     "",
     "skarvel: settings.ini: no key 'Height' in section 'Window'\n"},
    {"get of a missing section",
     {"get", "settings.ini", "Audio", "Volume"},
     1,
     "",
     "skarvel: settings.ini: no section 'Audio'\n"},
    {"get of a missing file creates none",
     {"get", "settings.ini", "Window", "Width"},
     1,
     "",
     "skarvel: settings.ini: no such file\n",
     nullptr},
    {"get in a missing directory",
     {"get", "missing/settings.ini", "Window", "Width"},
     1,
     "",
     "skarvel: missing/settings.ini: no such file\n"},
    {"get after -- takes a FILE that starts with '-'",
     {"get", "--", "-w.ini", "Window", "Width"},
     1,
     "",
     "skarvel: -w.ini: no such file\n"},
    {"get --default of a missing key",
     {"get", "--default", "640", "settings.ini", "Window", "H"},
     0,
     "640\n",
     ""},
    {"get --default of a missing file",
     {"get", "--default", "", "settings.ini", "Window", "W"},
     0,
     "\n",
     "",
     nullptr},
    {"get --default of a present key",
     {"get", "--default", "640", "settings.ini", "Window", "Width"},
     0,
     "800\n",
     ""},
    {"get --default= takes a value that starts with '-'",
     {"get", "--default=-1", "settings.ini", "Window", "Height"},
     0,
     "-1\n",
     ""},
    {"get --int prints the number in decimal",
     {"get", "--int", "settings.ini", "Window", "Count"},
     0,
     "7\n",
     ""},
    {"get --int of text",
     {"get", "--int", "settings.ini", "Window", "Title"},
     3,
     "",
     "skarvel: settings.ini: 'Title' in section 'Window' is '  padded  ', not a 64-bit integer\n"},
    {"get --int of an empty value",
     {"get", "--int", "settings.ini", "Window", "Empty"},
     3,
     "",
     "is '', not a 64-bit integer"},
    {"get --default leaves a value of the wrong type wrong",
     {"get", "--int", "--default", "0", "settings.ini", "Window", "Ratio"},
     3,
     "",
     "is '2.50', not a 64-bit integer"},
    {"get --bool", {"get", "--bool", "settings.ini", "Window", "Flag"}, 0, "true\n", ""},
    {"get --real prints the shortest text",
     {"get", "--real", "settings.ini", "Window", "Ratio"},
     0,
     "2.5\n",
     ""},
    {"get --real of text",
     {"get", "--real", "settings.ini", "Window", "Flag"},
     3,
     "",
     "not a real number"},

    // set
    {"set keeps the line's spelling and blanks",
     {"set", "settings.ini", "WINDOW", "width", "1024"},
     0,
     "",
     "",
     kSettings,
     "Width = 800\n",
     "Width = 1024\n"},
    {"set adds a key after its section's last",
     {"set", "settings.ini", "Window", "Height", "600"},
     0,
     "",
     "",
     kSettings,
     "Raw=\xff\xfe\n",
     "Raw=\xff\xfe\nHeight=600\n"},
    {"set adds a section with names that hold blanks",
     {"set", "settings.ini", "My Section", "my key", "v"},
     0,
     "",
     "",
     kSettings,
     "Recent=second.txt\n",
     "Recent=second.txt\n[My Section]\nmy key=v\n"},
    {"set quotes a value with blanks at its ends",
     {"set", "settings.ini", "Files", "Recent", " x "},
     0,
     "",
     "",
     kSettings,
     "Recent=notes.txt",
     "Recent=\" x \""},
    {"set takes a value that starts with '-'",
     {"set", "settings.ini", "Window", "Width", "-5"},
     0,
     "",
     "",
     kSettings,
     "Width = 800",
     "Width = -5"},
    {"set writes an empty value",
     {"set", "settings.ini", "Window", "Flag", ""},
     0,
     "",
     "",
     kSettings,
     "Flag=Yes",
     "Flag="},
    {"set creates a missing file",
     {"set", "settings.ini", "Window", "Width", "800"},
     0,
     "",
     "",
     nullptr,
     "",
     "[Window]\nWidth=800\n"},
    {"set of a value with a line break",
     {"set", "settings.ini", "Window", "Width", "1\n2"},
     2,
     "",
     "no name or value may hold a line break"},
    {"set of a key that holds '='",
     {"set", "settings.ini", "Window", "a=b", "1"},
     2,
     "",
     "a key name must not hold '='"},
    {"set of a blank section name",
     {"set", "settings.ini", "  ", "Width", "1"},
     2,
     "",
     "must hold a character other than a blank"},
    {"set in a missing directory creates nothing",
     {"set", "missing/settings.ini", "Window", "Width", "1"},
     4,
     "",
     "skarvel: missing/settings.ini: no such directory\n"},
    {"set of a path that names a directory",
     {"set", ".", "Window", "Width", "1"},
     4,
     "",
     "skarvel: .: permission denied\n"},

    // delete
    {"delete removes the key's line",
     {"delete", "settings.ini", "window", "FLAG"},
     0,
     "",
     "",
     kSettings,
     "Flag=Yes\n",
     ""},
    {"delete removes the first section of a name and its keys",
     {"delete", "settings.ini", "FILES"},
     0,
     "",
     "",
     kSettings,
     "[Files]\nRecent=notes.txt\n",
     ""},
    {"delete of a missing key",
     {"delete", "settings.ini", "Window", "Height"},
     1,
     "",
     "skarvel: settings.ini: no key 'Height' in section 'Window'\n"},
    {"delete of a missing section",
     {"delete", "settings.ini", "Audio"},
     1,
     "",
     "skarvel: settings.ini: no section 'Audio'\n"},
    {"delete in a missing file creates none",
     {"delete", "settings.ini", "Window", "Width"},
     1,
     "",
     "skarvel: settings.ini: no such file\n",
     nullptr},

    // sections, keys
    {"sections in file order, a name that stands twice twice",
     {"sections", "settings.ini"},
     0,
     "Window\nSound\nFiles\nfiles\n",
     ""},
    {"keys in file order",
     {"keys", "settings.ini", "WINDOW"},
     0,
     "Width\nTitle\nEmpty\nFlag\nRatio\nCount\nRaw\n",
     ""},
    {"keys of a section without keys", {"keys", "settings.ini", "Sound"}, 0, "", ""},
    {"keys of a missing section",
     {"keys", "settings.ini", "Audio"},
     1,
     "",
     "skarvel: settings.ini: no section 'Audio'\n"},
    {"keys of a missing file",
     {"keys", "settings.ini", "Window"},
     1,
     "",
     "skarvel: settings.ini: no such file\n",
     nullptr},
    {"sections of a missing file",
     {"sections", "settings.ini"},
     1,
     "",
     "skarvel: settings.ini: no such file\n",
     nullptr},

    // usage
    {"no command", {}, 2, "", "skarvel: no command given\nTry 'skarvel --help'.\n"},
    {"an unknown command", {"list", "settings.ini"}, 2, "", "skarvel: no command 'list'"},
    {"too few operands",
     {"get", "settings.ini", "Window"},
     2,
     "",
     "skarvel: get takes FILE SECTION KEY"},
    {"an option after the operands",
     {"get", "settings.ini", "Window", "Width", "--int"},
     2,
     "",
     "skarvel: get takes FILE SECTION KEY"},
    {"an unknown option",
     {"get", "--integer", "settings.ini", "Window", "Width"},
     2,
     "",
     "skarvel: get has no option '--integer'"},
    {"an option of get given to set",
     {"set", "--int", "settings.ini", "Window", "Width", "1"},
     2,
     "",
     "skarvel: set has no option '--int'"},
    {"--default without its value", {"get", "--default"}, 2, "", "--default needs a value"},
    {"two types",
     {"get", "--int", "--real", "settings.ini", "Window", "Width"},
     2,
     "",
     "one of --int, --bool and --real"},
    {"an empty FILE", {"sections", ""}, 2, "", "skarvel: FILE is empty"},

#if !defined(_WIN32)
    // On Linux bytes pass as they are, where Windows keeps a narrow file in the ANSI code
    // page; a read-only file is refused even to root, whom Wine lets write it; and a name
    // too long for the file system is refused, where Wine finds no such file.
    {"a file name too long for the system is no usage error",
     {"get", std::string(300, 'a') + ".ini", "Window", "Width"},
     4,
     "",
     ".ini: file name too long\n"},
    {"get prints bytes that are no UTF-8 as they are",
     {"get", "settings.ini", "Window", "Raw"},
     0,
     "\xff\xfe\n",
     ""},
    {"set writes bytes that are no UTF-8 as they are",
     {"set", "settings.ini", "Window", "Flag", "\xc3("},
     0,
     "",
     "",
     kSettings,
     "Flag=Yes",
     "Flag=\xc3("},
    {"set of a read-only file",
     {"set", "settings.ini", "Window", "Width", "1"},
     4,
     "",
     "skarvel: settings.ini: permission denied\n",
     kSettings,
     nullptr,
     nullptr,
     true},
#endif
};

TEST(ToolCommands, AnswerAsTheTableSays)
{
    for (const ToolCase& row : kToolCases) {
        SCOPED_TRACE(row.name);
        ScopedDirectory work;
        ScopedDirectory outputs;
        const std::string file = work.Path() + "/settings.ini";
        if (row.before != nullptr) {
            WriteBytes(file, row.before);
        }
        if (row.readOnly) {
            fs::permissions(file,
                            fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
        }

        const ToolRun run = RunTool(work.Path(), row.arguments, outputs.Path());

        EXPECT_EQ(run.status, row.status);
        EXPECT_EQ(run.out, row.out);
        if (row.err[0] == '\0') {
            EXPECT_EQ(run.err, "");
        } else {
            EXPECT_NE(run.err.find(row.err), std::string::npos) << run.err;
        }
        if (row.before == nullptr && row.to == nullptr) {
            EXPECT_FALSE(skarvel::test::FileExists(file));
        } else if (kWritesKeepBytes || row.to == nullptr) {
            std::string after = row.before != nullptr ? row.before : "";
            if (row.to != nullptr) {
                after.replace(after.find(row.from), std::string(row.from).size(), row.to);
            }
            EXPECT_EQ(ReadBytes(file), after);
        }
        EXPECT_FALSE(fs::exists(work.Path() + "/missing"));
    }
}

TEST(ToolCommands, HelpAndVersion)
{
    ScopedDirectory outputs;
    const ToolRun help = RunTool(outputs.Path(), {"--help"}, outputs.Path());
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("Exit status:"), std::string::npos) << help.out;
    EXPECT_EQ(help.err, "");
    for (const std::vector<std::string>& arguments :
         std::vector<std::vector<std::string>>{{"-h"}, {"get", "--help"}, {"set", "-h"}}) {
        const ToolRun same = RunTool(outputs.Path(), arguments, outputs.Path());
        EXPECT_EQ(same.status, 0) << arguments[0];
        EXPECT_EQ(same.out, help.out) << arguments[0];
    }

    const ToolRun version = RunTool(outputs.Path(), {"--version"}, outputs.Path());
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "skarvel " SKARVEL_VERSION "\n");
}

#if !defined(_WIN32)

TEST(ToolCommands, AFullOutputFailsTheCommand)
{
    ScopedDirectory work;
    WriteBytes(work.Path() + "/settings.ini", kSettings);
    const pid_t pid = fork();
    if (pid == 0) {
        const int full = open("/dev/full", O_WRONLY);
        if (full < 0 || dup2(full, STDOUT_FILENO) < 0 || chdir(work.Path().c_str()) != 0) {
            _exit(127);
        }
        execl(SKARVEL_TOOL, SKARVEL_TOOL, "keys", "settings.ini", "Window", nullptr);
        _exit(127);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 4);
}

// Copies of the tool, each setting keys of its own one command at a time, and a host
// writing keys of its own through the library, all on one file at once: every key is
// there afterwards. A tool that replaced the file without the store's lock would undo
// some of the host's writes, or the host some of its.
TEST(ToolConcurrency, ToolsAndAHostWritingOneFileLoseNothing)
{
    constexpr int kTools = 4;
    constexpr int kToolWrites = 25;
    constexpr int kHostWrites = 200;
    ScopedDirectory work;
    const std::string file = work.Path() + "/settings.ini";
    WriteBytes(file, kSettings);

    std::vector<pid_t> writers;
    writers.push_back(skarvel::test::StartChild([&] {
        std::error_code error;
        const auto host = skarvel::profile::open(file, error);
        for (int i = 0; i < kHostWrites && !error; ++i) {
            error = host.set("Host", "key" + std::to_string(i), i);
        }
        return error ? 1 : 0;
    }));
    for (int tool = 0; tool < kTools; ++tool) {
        writers.push_back(skarvel::test::StartChild([&, tool] {
            ScopedDirectory outputs;
            for (int i = 0; i < kToolWrites; ++i) {
                const ToolRun run = RunTool(work.Path(),
                                            {"set", "settings.ini", "Tool" + std::to_string(tool),
                                             "key" + std::to_string(i), std::to_string(i)},
                                            outputs.Path());
                if (run.status != 0) {
                    return 1;
                }
            }
            return 0;
        }));
    }
    for (const pid_t writer : writers) {
        EXPECT_EQ(skarvel::test::WaitForChild(writer), skarvel::test::ChildEnd::Succeeded);
    }

    std::error_code error;
    const auto settings = skarvel::profile::open(file, error);
    int lost = 0;
    auto check = [&](const std::string& section, int count) {
        for (int i = 0; i < count; ++i) {
            const auto value =
                settings.get<std::int64_t>(section, "key" + std::to_string(i), error);
            lost += value == i ? 0 : 1;
        }
    };
    check("Host", kHostWrites);
    for (int tool = 0; tool < kTools; ++tool) {
        check("Tool" + std::to_string(tool), kToolWrites);
    }
    EXPECT_EQ(lost, 0) << "of " << kHostWrites + kTools * kToolWrites << " writes";
    EXPECT_EQ(settings.get("Window", "Width", ""), "800");
}

#endif

}  // namespace
