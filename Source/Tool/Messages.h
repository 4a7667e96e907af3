// What the tool says: the help, and complaints on standard error that start with
// "skarvel: " and name the file they concern.
#pragma once

#include <string>
#include <string_view>

namespace skarvel::tool {

// The help that --help prints: the commands, their options and the exit statuses.
std::string_view HelpText();

// "skarvel: <problem>", and where to find the usage.
void ComplainOfUsage(std::string_view problem);

// "skarvel: <file>: <reason>".
void Complain(std::string_view file, std::string_view reason);

// Why the file or the system refused a call, from the Win32 code the call left.
std::string RefusalReason(unsigned long code);

// Why the store refused a name or value.
std::string_view RefusedTextReason(unsigned long code);

}  // namespace skarvel::tool
