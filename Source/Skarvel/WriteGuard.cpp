#include "WriteGuard.h"

#include <cstring>

namespace skarvel {
namespace {

bool HasLineBreak(const char* text)
{
    return text != nullptr && strpbrk(text, "\r\n") != nullptr;
}

// The store trims these around names and values.
bool IsBlank(char c)
{
    return (c >= '\t' && c <= '\r') || c == ' ' || c == '\x1a';
}

bool IsUsableKey(const char* key)
{
    if (key == nullptr) {
        return true;
    }
    if (strchr(key, '=') != nullptr) {
        return false;
    }
    while (IsBlank(*key)) {
        ++key;
    }
    return *key != '[' && *key != ';';
}

char LowerAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool IsQuote(char c)
{
    return c == '"' || c == '\'';
}

}  // namespace

bool ReadsBackAsWritten(const char* section, const char* key, const char* value)
{
    return !HasLineBreak(section) && !HasLineBreak(key) && !HasLineBreak(value) &&
           IsUsableKey(key);
}

bool HasNonBlank(const char* name)
{
    for (; *name != '\0'; ++name) {
        if (!IsBlank(*name)) {
            return true;
        }
    }
    return false;
}

bool NeedsQuotes(const char* value)
{
    const size_t length = strlen(value);
    if (length == 0) {
        return false;
    }
    const char first = value[0];
    const char last = value[length - 1];
    return IsBlank(first) || IsBlank(last) || (length >= 2 && first == last && IsQuote(first));
}

bool NamesMatch(const char* name, const char* listed)
{
    while (IsBlank(*name)) {
        ++name;
    }
    for (; *listed != '\0'; ++name, ++listed) {
        if (LowerAscii(*name) != LowerAscii(*listed)) {
            return false;
        }
    }
    while (IsBlank(*name)) {
        ++name;
    }
    return *name == '\0';
}

}  // namespace skarvel
