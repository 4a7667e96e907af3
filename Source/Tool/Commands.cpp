#include "Commands.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <string>
#include <system_error>

#include "ExitCode.h"
#include "Messages.h"
#include "skarvel_profile.hpp"

namespace skarvel::tool {
namespace {

using skarvel::errc;

// The Win32 codes of skarvel_GetLastError() behind INVALID_ARGUMENT that mean the
// names or the value, not the file's path.
constexpr unsigned long kInvalidParameter = 87;
constexpr unsigned long kNoUnicodeTranslation = 1113;

void PrintLine(std::string_view text)
{
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fputc('\n', stdout);
}

std::string Quoted(std::string_view name)
{
    return "'" + std::string(name) + "'";
}

// What is missing, when a call answered NOT_FOUND: the file, the section or the key.
// Asked again through the store, which alone knows how names match.
std::string WhatIsMissing(const profile& settings, const Request& request)
{
    std::error_code error;
    settings.sections(error);
    if (error == errc::not_found || request.command == Command::Sections) {
        return "no such file";
    }
    const std::string section = "section " + Quoted(request.section);
    if (request.key) {
        settings.keys(request.section, error);
        if (error != errc::not_found) {
            return "no key " + Quoted(*request.key) + " in " + section;
        }
    }
    return "no " + section;
}

std::string_view TypeName(ValueType type)
{
    switch (type) {
    case ValueType::Integer:
        return "a 64-bit integer";
    case ValueType::Boolean:
        return "true or false";
    case ValueType::Real:
        return "a real number";
    case ValueType::Text:
        break;
    }
    return "text";
}

// Reports a failed call, whose Win32 code is `code`; the exit status.
int Fail(const profile& settings, const Request& request, std::error_code error, unsigned long code)
{
    if (error == errc::not_found) {
        Complain(request.file, WhatIsMissing(settings, request));
        return kNotThere;
    }
    if (error == errc::wrong_type) {
        const std::string text = settings.get(request.section, *request.key, "");
        Complain(request.file, Quoted(*request.key) + " in section " + Quoted(request.section) +
                                   " is " + Quoted(text) + ", not " +
                                   std::string(TypeName(request.type)));
        return kWrongType;
    }
    if (error == errc::invalid_argument &&
        (code == kInvalidParameter || code == kNoUnicodeTranslation)) {
        ComplainOfUsage(RefusedTextReason(code));
        return kUsage;
    }
    Complain(request.file, RefusalReason(code));
    return kRefused;
}

template <typename Number> std::string NumberText(Number value)
{
    char text[32];
    return std::string(text, std::to_chars(std::begin(text), std::end(text), value).ptr);
}

// The key's value as get prints it: the text, or the typed value in its usual form.
std::optional<std::string> ReadValue(const profile& settings, const Request& request,
                                     std::error_code& error)
{
    const std::string& section = request.section;
    const std::string& key = *request.key;
    switch (request.type) {
    case ValueType::Integer:
        if (const auto number = settings.get<std::int64_t>(section, key, error)) {
            return NumberText(*number);
        }
        break;
    case ValueType::Boolean:
        if (const auto flag = settings.get<bool>(section, key, error)) {
            return *flag ? "true" : "false";
        }
        break;
    case ValueType::Real:
        // The sign of a NaN means nothing; to_chars would print "-nan".
        if (const auto real = settings.get<double>(section, key, error)) {
            return NumberText(std::isnan(*real) ? std::fabs(*real) : *real);
        }
        break;
    case ValueType::Text:
        return settings.get<std::string>(section, key, error);
    }
    return std::nullopt;
}

int Get(const profile& settings, const Request& request)
{
    std::error_code error;
    const std::optional<std::string> value = ReadValue(settings, request, error);
    if (value) {
        PrintLine(*value);
        return kDone;
    }
    if (error == errc::not_found && request.fallback) {
        PrintLine(*request.fallback);
        return kDone;
    }
    return Fail(settings, request, error, skarvel_GetLastError());
}

int Set(const profile& settings, const Request& request)
{
    const std::error_code error = settings.set(request.section, *request.key, request.value);
    return error ? Fail(settings, request, error, skarvel_GetLastError()) : kDone;
}

int Delete(const profile& settings, const Request& request)
{
    const std::error_code error = request.key ? settings.remove(request.section, *request.key)
                                              : settings.remove_section(request.section);
    return error ? Fail(settings, request, error, skarvel_GetLastError()) : kDone;
}

int List(const profile& settings, const Request& request)
{
    std::error_code error;
    const std::vector<std::string> names = request.command == Command::Sections
                                               ? settings.sections(error)
                                               : settings.keys(request.section, error);
    if (error) {
        return Fail(settings, request, error, skarvel_GetLastError());
    }
    for (const std::string& name : names) {
        PrintLine(name);
    }
    return kDone;
}

}  // namespace

int Run(const Request& request)
{
    switch (request.command) {
    case Command::Help:
        std::fwrite(HelpText().data(), 1, HelpText().size(), stdout);
        return kDone;
    case Command::Version:
        PrintLine("skarvel " SKARVEL_VERSION);
        return kDone;
    default:
        break;
    }
    std::error_code error;
    const profile settings = profile::open(request.file, error);
    if (error) {
        return Fail(settings, request, error, skarvel_GetLastError());
    }
    switch (request.command) {
    case Command::Get:
        return Get(settings, request);
    case Command::Set:
        return Set(settings, request);
    case Command::Delete:
        return Delete(settings, request);
    default:
        return List(settings, request);
    }
}

}  // namespace skarvel::tool
