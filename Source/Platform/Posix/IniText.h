// Byte-level text helpers shared by the profile code: what counts as a blank,
// trimming, and the ASCII-only case folding that section and key names use.
#pragma once

#include <cstddef>
#include <string_view>

namespace skarvel {

// True for the bytes a profile line may carry as padding: 09-0D, 1A and space.
inline bool IsIniBlank(char c)
{
    return (c >= '\t' && c <= '\r') || c == '\x1a' || c == ' ';
}

// True for the two bytes that end a line.
inline bool IsLineEnd(char c)
{
    return c == '\r' || c == '\n';
}

// Drops blanks at both ends; text of blanks only becomes the empty view at its end.
inline std::string_view TrimIni(std::string_view text)
{
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && IsIniBlank(text[begin])) {
        ++begin;
    }
    while (end > begin && IsIniBlank(text[end - 1])) {
        --end;
    }
    return text.substr(begin, end - begin);
}

// Folds only ASCII letters, so names in other encodings compare byte for byte.
inline char ToAsciiLower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

inline bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (ToAsciiLower(a[i]) != ToAsciiLower(b[i])) {
            return false;
        }
    }
    return true;
}

}  // namespace skarvel
