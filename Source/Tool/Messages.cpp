#include "Messages.h"

#include <cstdio>

namespace skarvel::tool {
namespace {

// The Win32 codes of skarvel_GetLastError() that a message tells apart.
constexpr unsigned long kFileNotFound = 2;
constexpr unsigned long kPathNotFound = 3;
constexpr unsigned long kAccessDenied = 5;
constexpr unsigned long kNotEnoughMemory = 8;
constexpr unsigned long kOutOfMemory = 14;
constexpr unsigned long kHandleDiskFull = 39;
constexpr unsigned long kDiskFull = 112;
constexpr unsigned long kInvalidName = 123;
constexpr unsigned long kFileNameTooLong = 206;
constexpr unsigned long kNoUnicodeTranslation = 1113;

constexpr std::string_view kHelp =
    R"(Usage: skarvel COMMAND [OPTIONS] FILE [SECTION [KEY [VALUE]]]

Reads and edits an INI settings file as the programs that use it through the
Skarvel libraries do, taking the same lock, so that an edit made while such a
program runs neither undoes its writes nor is undone by them.

Commands:
  get [--default D] [--int|--bool|--real] FILE SECTION KEY
                    print the key's value and a newline
  set FILE SECTION KEY VALUE
                    write the value; the file, section and key are made as needed
  delete FILE SECTION [KEY]
                    remove the key, or without KEY the whole section
  sections FILE     print the file's section names, one a line, in file order
  keys FILE SECTION print the section's key names, one a line, in file order

Options, before the operands:
  --default D       get: print D, as given, when the key, section or file is not there
  --int             get: the value must be a decimal integer; print it in decimal
  --bool            get: the value must be true, yes, on, 1, false, no, off or 0
                    (in any case); print true or false
  --real            get: the value must be a real number; print its shortest text
  --                end the options, for a FILE that starts with '-'
  -h, --help        print this help
  --version         print the version

FILE is a path, relative to the working directory. Names match without regard
to ASCII case and to the blanks at their ends. set writes a value with blanks
at its ends, or a quote at both, in double quotes, and get prints the value
without them, as a program reads it. Every write changes only the line it
concerns. A line break in any name or value is refused.

Exit status:
  0  done
  1  the key, section or file is not there (with --default, get prints D and
     answers 0; delete answers 1 when there was nothing to delete)
  2  a usage error, or a name or value that a settings file cannot hold
  3  the value is not of the type asked for
  4  the file or the system refused: no permission, a missing directory, a
     full disk; or standard output could not be written
)";

}  // namespace

std::string_view HelpText()
{
    return kHelp;
}

void ComplainOfUsage(std::string_view problem)
{
    std::fprintf(stderr, "skarvel: %.*s\nTry 'skarvel --help'.\n", static_cast<int>(problem.size()),
                 problem.data());
}

void Complain(std::string_view file, std::string_view reason)
{
    std::fprintf(stderr, "skarvel: %.*s: %.*s\n", static_cast<int>(file.size()), file.data(),
                 static_cast<int>(reason.size()), reason.data());
}

std::string RefusalReason(unsigned long code)
{
    switch (code) {
    case kAccessDenied:
        return "permission denied";
    case kFileNotFound:
    case kPathNotFound:
        return "no such directory";
    case kDiskFull:
    case kHandleDiskFull:
        return "no space left on the device";
    case kNotEnoughMemory:
    case kOutOfMemory:
        return "out of memory";
    case kInvalidName:
        return "not a valid file name";
    case kFileNameTooLong:
        return "file name too long";
    default:
        return "the system refused (error " + std::to_string(code) + ")";
    }
}

std::string_view RefusedTextReason(unsigned long code)
{
    if (code == kNoUnicodeTranslation) {
        return "a name or value is not UTF-8";
    }
    return "a section or key name must hold a character other than a blank, a key name must "
           "not hold '=' nor start with '[' or ';', and no name or value may hold a line break";
}

}  // namespace skarvel::tool
