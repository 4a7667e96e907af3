// What a line of a profile text is, decided here and nowhere else: blanks, line ends, section
// headers, keys, bare names and comments, the name and value a line holds, and how names match.
#pragma once

#include <cstddef>
#include <cstdint>
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
std::string_view TrimIni(std::string_view text);

// True when two names match: without regard to ASCII case only, so that names in other
// encodings compare byte for byte.
bool SameIniName(std::string_view a, std::string_view b);

// A hash of a name as it matches: names that SameIniName finds equal hash alike.
std::uint64_t IniNameHash(std::string_view name);

// A stretch of a text, as offsets.
struct TextRange {
    std::size_t begin;
    std::size_t end;
};

inline std::string_view Slice(std::string_view text, TextRange range)
{
    return text.substr(range.begin, range.end - range.begin);
}

enum class LineKind : unsigned char {
    Ignored,  // a blank line or a comment: no lookup sees it
    Header,   // "[name]": its first byte after blanks is '[', and a ']' follows
    Key,      // "name=value"
    Bare,     // a name without '=': it reads as absent, but takes its name's place
};

// One line of a text. A name ends at a NUL and loses its blanks at both ends; so does a value,
// which keeps its quotes here.
struct IniLine {
    std::size_t start;  // first byte of the line, leading blanks included
    std::size_t end;    // first byte of its line end, or the end of the text
    LineKind kind;
    TextRange name;   // of a header, a key or a bare line
    TextRange value;  // of a key; of a bare line, the empty stretch where '=' would go
};

// Reads the line that starts at `start`.
IniLine ReadIniLine(std::string_view text, std::size_t start);

// False when the line that starts at `start` cannot be named `name`: a quick test ahead of
// ReadIniLine, which tells. A line's name starts at its first byte after blanks.
bool MayBeNamed(std::string_view text, std::size_t start, std::string_view name);

// The first line end at or after `pos`, or the end of the text.
std::size_t FindLineEnd(std::string_view text, std::size_t pos);

// The start of the line after the line end at `end`: past every CR and LF there, so that
// blank lines are passed over.
std::size_t NextLineStart(std::string_view text, std::size_t end);

// Length of the single line end at `pos`: 2 for CR LF, 1 for a lone CR or LF, 0 otherwise.
std::size_t LineEndLength(std::string_view text, std::size_t pos);

// The line end that lines added to the text take: the first the text has, or LF.
std::string_view LineEndStyle(std::string_view text);

// The start of the first header line that starts at or after `pos`, which is the start or
// the end of a line; npos when there is none.
std::size_t FindHeader(std::string_view text, std::size_t pos);

// A value wrapped in a matching pair of quotes loses them; that is the only way to keep
// blanks at a value's ends.
std::string_view Unquote(std::string_view value);

}  // namespace skarvel
