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

}  // namespace

bool ReadsBackAsWritten(const char* section, const char* key, const char* value)
{
    return !HasLineBreak(section) && !HasLineBreak(key) && !HasLineBreak(value) &&
           IsUsableKey(key);
}

}  // namespace skarvel
