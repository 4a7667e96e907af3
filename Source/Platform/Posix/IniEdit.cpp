#include "IniEdit.h"

#include <initializer_list>
#include <utility>

namespace skarvel {
namespace {

// The stretch of an entry's line that writing `value` replaces: the value as read, and also
// the blanks before it (after '=') when `value` starts with blanks of its own, and the blanks
// after it (up to a NUL or the line end) when `value` ends with some. So a value's blanks
// replace the old ones instead of adding to them, and the same write twice leaves the bytes
// of the first; a value without blanks at an end keeps the line's spacing there. Of a bare
// line, only the blanks at its end can go.
TextRange ReplacedSpan(std::string_view text, const IniLine& line, std::string_view value)
{
    TextRange span = line.value;
    if (line.kind == LineKind::Key && !value.empty() && IsIniBlank(value.front())) {
        while (IsIniBlank(text[span.begin - 1])) {
            --span.begin;  // stops at the '='
        }
    }
    if (!value.empty() && IsIniBlank(value.back())) {
        while (span.end < line.end && IsIniBlank(text[span.end])) {
            ++span.end;
        }
    }
    return span;
}

// Writes into `edited` the pieces of the text with [begin, end) replaced by `pieces`.
void Splice(std::string_view text, std::size_t begin, std::size_t end,
            std::initializer_list<std::string_view> pieces, TextPieces& edited)
{
    TextPieces result;
    result.reserve(pieces.size() + 2);
    result.push_back(text.substr(0, begin));
    result.insert(result.end(), pieces.begin(), pieces.end());
    result.push_back(text.substr(end));
    edited = std::move(result);
}

// Writes into `edited` the pieces of the text without the given lines (in file order), each
// with its own line end; a last line without one leaves the line end before it in place.
// Where a CR kept before a line would meet an LF kept after it, the two would join into one
// line end and take a blank line with them: the line's own LF then stays, to end the line
// before it together with that CR.
void RemoveLines(std::string_view text, const std::vector<IniLine>& doomed, TextPieces& edited)
{
    TextPieces result;
    result.reserve(doomed.size() + 1);
    std::size_t kept = 0;
    char lastKept = '\0';
    for (const IniLine& line : doomed) {
        if (line.start > kept) {
            result.push_back(text.substr(kept, line.start - kept));
            lastKept = text[line.start - 1];
        }
        kept = line.end + LineEndLength(text, line.end);
        if (lastKept == '\r' && kept < text.size() && text[kept] == '\n') {
            --kept;
        }
    }
    result.push_back(text.substr(kept));
    edited = std::move(result);
}

bool SetValue(const IniIndex& index, std::string_view section, std::string_view key,
              std::string_view value, TextPieces& edited)
{
    const std::string_view text = index.Text();
    const std::string_view eol = LineEndStyle(text);
    const std::string_view sectionName = TrimIni(section);
    const std::string_view keyName = TrimIni(key);
    const std::size_t nth = index.FindSection(sectionName);
    if (nth == IniIndex::kNone) {
        const bool needsLineEnd = !text.empty() && !IsLineEnd(text.back());
        Splice(text, text.size(), text.size(),
               {needsLineEnd ? eol : std::string_view(), "[", sectionName, "]", eol, keyName, "=",
                value, eol},
               edited);
        return true;
    }
    IniLine entry;
    if (index.FindEntry(nth, keyName, entry)) {
        const TextRange span = ReplacedSpan(text, entry, value);
        if (entry.kind == LineKind::Bare) {
            Splice(text, span.begin, span.end, {"=", value}, edited);
            return true;
        }
        if (Slice(text, span) == value) {
            return false;
        }
        Splice(text, span.begin, span.end, {value}, edited);
        return true;
    }
    // A new key follows the section's last entry, ahead of any blank or comment lines after it.
    std::size_t anchorEnd = index.Header(nth).end;
    index.VisitEntries(nth, [&](const IniLine& line) {
        anchorEnd = line.end;
        return true;
    });
    if (anchorEnd == text.size()) {
        Splice(text, anchorEnd, anchorEnd, {eol, keyName, "=", value}, edited);
    } else {
        const std::size_t at = anchorEnd + LineEndLength(text, anchorEnd);
        // A CR just before an LF would join it into one line end, and the line that LF ends
        // would be lost; CR LF ends the new line instead.
        const bool joins = eol == "\r" && at < text.size() && text[at] == '\n';
        Splice(text, at, at, {keyName, "=", value, joins ? "\r\n" : eol}, edited);
    }
    return true;
}

bool DeleteKey(const IniIndex& index, std::string_view section, std::string_view key,
               TextPieces& edited)
{
    const std::string_view sectionName = TrimIni(section);
    const std::string_view keyName = TrimIni(key);
    for (std::size_t nth = 0; nth < index.SectionCount(); ++nth) {
        IniLine entry;
        if (SameIniName(Slice(index.Text(), index.Header(nth).name), sectionName) &&
            index.FindEntry(nth, keyName, entry)) {
            RemoveLines(index.Text(), {entry}, edited);
            return true;
        }
    }
    return false;
}

bool DeleteSection(const IniIndex& index, std::string_view section, TextPieces& edited)
{
    const std::size_t nth = index.FindSection(TrimIni(section));
    if (nth == IniIndex::kNone) {
        return false;
    }
    std::vector<IniLine> doomed = {index.Header(nth)};
    index.VisitEntries(nth, [&](const IniLine& line) {
        doomed.push_back(line);
        return true;
    });
    RemoveLines(index.Text(), doomed, edited);
    return true;
}

}  // namespace

std::string JoinPieces(const TextPieces& pieces)
{
    std::size_t size = 0;
    for (const std::string_view piece : pieces) {
        size += piece.size();
    }
    std::string joined;
    joined.reserve(size);
    for (const std::string_view piece : pieces) {
        joined += piece;
    }
    return joined;
}

bool ApplyEdit(const IniIndex& index, const IniEdit& edit, TextPieces& edited)
{
    switch (edit.kind) {
    case IniEdit::Kind::SetValue:
        return SetValue(index, edit.section, edit.key, edit.value, edited);
    case IniEdit::Kind::DeleteKey:
        return DeleteKey(index, edit.section, edit.key, edited);
    case IniEdit::Kind::DeleteSection:
        return DeleteSection(index, edit.section, edited);
    }
    return false;
}

}  // namespace skarvel
