// skarvel: reads and edits INI settings files from scripts and the shell, through the
// C interface, so that it takes the same lock as every program that uses the store.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "Arguments.h"
#include "Commands.h"
#include "ExitCode.h"
#include "Messages.h"

#if defined(_WIN32)
#include <windows.h>

#include <shellapi.h>
#endif

namespace {

// The arguments after the program's name, in UTF-8 as the C interface takes text.
std::vector<std::string> Arguments(int argc, char** argv)
{
#if defined(_WIN32)
    // main's arguments are in the ANSI code page, which loses what it cannot show.
    (void)argc;
    (void)argv;
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> arguments;
    for (int i = 1; wide != nullptr && i < count; ++i) {
        const int length =
            WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
        std::string argument(static_cast<size_t>(length), '\0');
        WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, &argument[0], length, nullptr, nullptr);
        argument.pop_back();  // the terminator
        arguments.push_back(argument);
    }
    LocalFree(wide);
    return arguments;
#else
    return std::vector<std::string>(argv + 1, argv + argc);
#endif
}

// The status once standard output has its bytes: a script must not take a value that
// never arrived, on a full disk or a closed pipe, for one that did.
int Flushed(int status)
{
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::string reason = std::strerror(errno);
        if (!reason.empty() && reason[0] >= 'A' && reason[0] <= 'Z') {
            reason[0] = static_cast<char>(reason[0] - 'A' + 'a');  // as the other reasons read
        }
        skarvel::tool::Complain("standard output", reason);
        return skarvel::tool::kRefused;
    }
    return status;
}

}  // namespace

int main(int argc, char** argv)
{
    using namespace skarvel::tool;
    try {
        const std::vector<std::string> arguments = Arguments(argc, argv);
        const Parsed parsed =
            ParseArguments(std::vector<std::string_view>(arguments.begin(), arguments.end()));
        if (!parsed.request) {
            ComplainOfUsage(parsed.error);
            return kUsage;
        }
        return Flushed(Run(*parsed.request));
    } catch (const std::bad_alloc&) {
        std::fputs("skarvel: out of memory\n", stderr);
        return kRefused;
    }
}
