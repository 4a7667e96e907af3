#include "IniGrammar.h"

#include <cstring>

namespace skarvel {
namespace {

constexpr std::uint64_t kFnvOffset = 14695981039346656037ULL;
constexpr std::uint64_t kFnvPrime = 1099511628211ULL;

// Folds only ASCII letters.
char ToAsciiLower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// The part of [begin, end) that is read as a name or value: up to a NUL, then trimmed.
TextRange Field(std::string_view text, std::size_t begin, std::size_t end)
{
    std::string_view field = text.substr(begin, end - begin);
    field = TrimIni(field.substr(0, field.find('\0')));
    const std::size_t fieldBegin = static_cast<std::size_t>(field.data() - text.data());
    return {fieldBegin, fieldBegin + field.size()};
}

}  // namespace

std::string_view TrimIni(std::string_view text)
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

bool SameIniName(std::string_view a, std::string_view b)
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

// FNV-1a of the folded name, whose low bits, which pick a slot, are then mixed with the high
// ones (the finish of MurmurHash3).
std::uint64_t IniNameHash(std::string_view name)
{
    std::uint64_t hash = kFnvOffset;
    for (const char c : name) {
        hash = (hash ^ static_cast<unsigned char>(ToAsciiLower(c))) * kFnvPrime;
    }
    hash = (hash ^ (hash >> 33)) * 0xff51afd7ed558ccdULL;
    return hash ^ (hash >> 33);
}

IniLine ReadIniLine(std::string_view text, std::size_t start)
{
    IniLine line;
    line.start = start;
    line.end = FindLineEnd(text, start);
    std::size_t first = start;
    while (first < line.end && IsIniBlank(text[first])) {
        ++first;
    }
    if (first == line.end || text[first] == ';') {
        line.kind = LineKind::Ignored;
        line.name = line.value = {line.end, line.end};
        return line;
    }
    std::size_t last = line.end;
    while (IsIniBlank(text[last - 1])) {
        --last;  // stops at the byte at `first` at the latest
    }
    const std::string_view content = text.substr(first, last - first);
    const std::size_t bracket = content.rfind(']');
    if (content[0] == '[' && bracket != 0 && bracket != std::string_view::npos) {
        line.kind = LineKind::Header;
        line.name = Field(text, first + 1, first + bracket);
        line.value = {line.end, line.end};
        return line;
    }
    const std::size_t equals = content.find('=');
    if (equals == std::string_view::npos) {
        line.kind = LineKind::Bare;
        line.name = Field(text, first, last);
        line.value = {last, last};
        return line;
    }
    // The value reaches to the raw line end, so an empty value sits after the blanks that
    // follow '=' and a value written there keeps the line's spacing.
    line.kind = LineKind::Key;
    line.name = Field(text, first, first + equals);
    line.value = Field(text, first + equals + 1, line.end);
    return line;
}

bool MayBeNamed(std::string_view text, std::size_t start, std::string_view name)
{
    while (start < text.size() && IsIniBlank(text[start]) && !IsLineEnd(text[start])) {
        ++start;
    }
    return SameIniName(text.substr(start, name.size()), name);
}

// A line ends at the first CR or LF. Looking for each with memchr, the CR only up to the LF,
// keeps to the pace of memchr on long lines, and costs little on short ones.
std::size_t FindLineEnd(std::string_view text, std::size_t pos)
{
    if (pos >= text.size()) {
        return text.size();
    }
    const char* const begin = text.data() + pos;
    const std::size_t rest = text.size() - pos;
    const void* const lf = std::memchr(begin, '\n', rest);
    const std::size_t toLf = lf == nullptr ? rest : static_cast<const char*>(lf) - begin;
    const void* const cr = std::memchr(begin, '\r', toLf);
    return pos + (cr == nullptr ? toLf : static_cast<const char*>(cr) - begin);
}

std::size_t NextLineStart(std::string_view text, std::size_t end)
{
    while (end < text.size() && IsLineEnd(text[end])) {
        ++end;
    }
    return end;
}

std::size_t LineEndLength(std::string_view text, std::size_t pos)
{
    if (pos >= text.size() || !IsLineEnd(text[pos])) {
        return 0;
    }
    const bool crlf = text[pos] == '\r' && pos + 1 < text.size() && text[pos + 1] == '\n';
    return crlf ? 2 : 1;
}

std::string_view LineEndStyle(std::string_view text)
{
    const std::size_t end = FindLineEnd(text, 0);
    if (end == text.size()) {
        return "\n";
    }
    if (LineEndLength(text, end) == 2) {
        return "\r\n";
    }
    return text[end] == '\r' ? "\r" : "\n";
}

// Only a line whose first byte after blanks is '[' can be a header, so the search runs from
// one '[' to the next. Each step back over blanks covers bytes no other step covers.
std::size_t FindHeader(std::string_view text, std::size_t pos)
{
    const char* const data = text.data();
    const std::size_t size = text.size();
    while (pos < size) {
        const void* const found = std::memchr(data + pos, '[', size - pos);
        if (found == nullptr) {
            break;
        }
        const std::size_t bracket = static_cast<std::size_t>(static_cast<const char*>(found) - data);
        std::size_t start = bracket;
        while (start > 0 && !IsLineEnd(data[start - 1]) && IsIniBlank(data[start - 1])) {
            --start;
        }
        if (start > 0 && !IsLineEnd(data[start - 1])) {
            pos = bracket + 1;
            continue;
        }
        const std::size_t end = FindLineEnd(text, bracket + 1);
        if (std::memchr(data + bracket + 1, ']', end - bracket - 1) != nullptr) {
            return start;
        }
        pos = end;  // no later '[' of this line starts one
    }
    return std::string_view::npos;
}

std::string_view Unquote(std::string_view value)
{
    if (value.size() >= 2 && value.front() == value.back() &&
        (value.front() == '"' || value.front() == '\'')) {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

}  // namespace skarvel
