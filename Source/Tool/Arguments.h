// The command line: which command, on which file, section and key, with which options.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace skarvel::tool {

enum class Command { Help, Version, Get, Set, Delete, Sections, Keys };

// The type `get` checks the value against, and prints it as.
enum class ValueType { Text, Integer, Boolean, Real };

struct Request {
    Command command = Command::Help;
    ValueType type = ValueType::Text;
    std::optional<std::string> fallback;  // get --default
    std::string file;
    std::string section;
    std::optional<std::string> key;  // absent for sections, keys, and delete of a section
    std::string value;               // set
};

// A request, or the reason the command line is not one.
struct Parsed {
    std::optional<Request> request;
    std::string error;
};

// Reads the arguments after the program's name. Options go before the operands: the
// first operand, or "--", ends them, so that a value such as "-5" needs no "--".
Parsed ParseArguments(const std::vector<std::string_view>& arguments);

}  // namespace skarvel::tool
