#include "Arguments.h"

#include <cstddef>

namespace skarvel::tool {
namespace {

// A command's name, and the operands it takes after its options.
struct CommandForm {
    std::string_view name;
    Command command;
    std::size_t fewest;
    std::size_t most;
    std::string_view operands;
};

constexpr CommandForm kCommands[] = {
    {"get", Command::Get, 3, 3, "FILE SECTION KEY"},
    {"set", Command::Set, 4, 4, "FILE SECTION KEY VALUE"},
    {"delete", Command::Delete, 2, 3, "FILE SECTION [KEY]"},
    {"sections", Command::Sections, 1, 1, "FILE"},
    {"keys", Command::Keys, 2, 2, "FILE SECTION"},
};

Parsed Refuse(std::string error)
{
    return Parsed{std::nullopt, std::move(error)};
}

Parsed Accept(Request request)
{
    return Parsed{std::move(request), std::string()};
}

bool IsOption(std::string_view argument)
{
    return argument.size() > 1 && argument[0] == '-';
}

// Takes get's options at arguments[at...], up to the first operand; false, with
// `error` set, for one it does not know.
bool TakeGetOption(const std::vector<std::string_view>& arguments, std::size_t& at,
                   Request& request, std::string& error)
{
    const std::string_view option = arguments[at];
    constexpr std::string_view kDefaultWithValue = "--default=";
    ValueType type = ValueType::Text;
    if (option == "--int") {
        type = ValueType::Integer;
    } else if (option == "--bool") {
        type = ValueType::Boolean;
    } else if (option == "--real") {
        type = ValueType::Real;
    } else if (option == "--default") {
        if (at + 1 == arguments.size()) {
            error = "--default needs a value";
            return false;
        }
        request.fallback = std::string(arguments[++at]);
        return true;
    } else if (option.substr(0, kDefaultWithValue.size()) == kDefaultWithValue) {
        request.fallback = std::string(option.substr(kDefaultWithValue.size()));
        return true;
    } else {
        error = "get has no option '" + std::string(option) + "'";
        return false;
    }
    if (request.type != ValueType::Text && request.type != type) {
        error = "get takes one of --int, --bool and --real";
        return false;
    }
    request.type = type;
    return true;
}

}  // namespace

Parsed ParseArguments(const std::vector<std::string_view>& arguments)
{
    if (arguments.empty()) {
        return Refuse("no command given");
    }
    const std::string_view first = arguments[0];
    Request request;
    if (first == "--help" || first == "-h") {
        return Accept(request);
    }
    if (first == "--version") {
        request.command = Command::Version;
        return Accept(request);
    }
    const CommandForm* form = nullptr;
    for (const CommandForm& known : kCommands) {
        if (known.name == first) {
            form = &known;
        }
    }
    if (form == nullptr) {
        return Refuse(IsOption(first) ? "no option '" + std::string(first) + "'"
                                      : "no command '" + std::string(first) + "'");
    }
    request.command = form->command;

    std::size_t at = 1;
    for (; at < arguments.size() && IsOption(arguments[at]); ++at) {
        const std::string_view option = arguments[at];
        if (option == "--") {
            ++at;
            break;
        }
        if (option == "--help" || option == "-h") {
            return Accept(Request());
        }
        if (form->command != Command::Get) {
            return Refuse(std::string(form->name) + " has no option '" + std::string(option) + "'");
        }
        std::string error;
        if (!TakeGetOption(arguments, at, request, error)) {
            return Refuse(error);
        }
    }

    const std::size_t count = arguments.size() - at;
    if (count < form->fewest || count > form->most) {
        return Refuse(std::string(form->name) + " takes " + std::string(form->operands) +
                      ", after its options");
    }
    request.file = arguments[at];
    if (request.file.empty()) {
        return Refuse("FILE is empty");
    }
    if (count > 1) {
        request.section = arguments[at + 1];
    }
    if (count > 2) {
        request.key = std::string(arguments[at + 2]);
    }
    if (count > 3) {
        request.value = arguments[at + 3];
    }
    return Accept(request);
}

}  // namespace skarvel::tool
