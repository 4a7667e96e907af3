#include "IniDocument.h"

#include "IniText.h"

#include <utility>

namespace skarvel {

namespace {

constexpr std::size_t kNotFound = static_cast<std::size_t>(-1);

// A value wrapped in a matching pair of quotes loses them; that is the only way to keep
// blanks at a value's ends.
std::string_view Unquote(std::string_view value)
{
    if (value.size() >= 2 && value.front() == value.back() &&
        (value.front() == '"' || value.front() == '\'')) {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

}  // namespace

IniDocument::IniDocument(std::string text) : text_(std::move(text))
{
    const std::size_t size = text_.size();
    std::size_t pos = 0;
    while (pos < size) {
        std::size_t end = pos;
        while (end < size && !IsLineEnd(text_[end])) {
            ++end;
        }
        ParseLine(pos, end);
        if (end < size && eol_.empty()) {
            eol_ = LineEndLength(end) == 2 ? "\r\n" : (text_[end] == '\r' ? "\r" : "\n");
        }
        pos = end;
        while (pos < size && IsLineEnd(text_[pos])) {
            ++pos;
        }
    }
    if (eol_.empty()) {
        eol_ = "\n";
    }
}

// Records the line [start, end) unless it is blank or a comment.
void IniDocument::ParseLine(std::size_t start, std::size_t end)
{
    const std::string_view line = TrimIni(std::string_view(text_).substr(start, end - start));
    if (line.empty() || line.front() == ';') {
        return;
    }
    const std::size_t begin = static_cast<std::size_t>(line.data() - text_.data());
    const std::size_t contentEnd = begin + line.size();
    if (line.front() == '[') {
        const std::size_t close = line.rfind(']');
        if (close != std::string_view::npos) {
            lines_.push_back({start, end, Field(begin + 1, begin + close), {}, LineKind::Header});
            return;
        }
    }
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) {
        const Range fillIn{contentEnd, contentEnd};
        lines_.push_back({start, end, Field(begin, contentEnd), fillIn, LineKind::Bare});
        return;
    }
    // The value reaches to the raw line end, so an empty value sits after the blanks that
    // follow '=' and a value written there keeps the line's spacing.
    lines_.push_back(
        {start, end, Field(begin, begin + equals), Field(begin + equals + 1, end), LineKind::Key});
}

// The part of [begin, end) that is read as a name or value: up to a NUL, then trimmed.
IniDocument::Range IniDocument::Field(std::size_t begin, std::size_t end) const
{
    std::string_view field = std::string_view(text_).substr(begin, end - begin);
    field = TrimIni(field.substr(0, field.find('\0')));
    const std::size_t fieldBegin = static_cast<std::size_t>(field.data() - text_.data());
    return {fieldBegin, fieldBegin + field.size()};
}

std::string_view IniDocument::Slice(Range range) const
{
    return std::string_view(text_).substr(range.begin, range.end - range.begin);
}

// Length of the single line end at `pos`: 2 for CR LF, 1 for a lone CR or LF, 0 otherwise.
std::size_t IniDocument::LineEndLength(std::size_t pos) const
{
    if (pos >= text_.size() || !IsLineEnd(text_[pos])) {
        return 0;
    }
    const bool crlf = text_[pos] == '\r' && pos + 1 < text_.size() && text_[pos + 1] == '\n';
    return crlf ? 2 : 1;
}

// Index of the first header named `name` (already trimmed), or kNotFound.
std::size_t IniDocument::FindSection(std::string_view name) const
{
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        const Line& line = lines_[i];
        if (line.kind == LineKind::Header && EqualsIgnoringAsciiCase(Slice(line.name), name)) {
            return i;
        }
    }
    return kNotFound;
}

// Index one past the last entry of the section whose header is at `header`.
std::size_t IniDocument::SectionEnd(std::size_t header) const
{
    std::size_t i = header + 1;
    while (i < lines_.size() && lines_[i].kind != LineKind::Header) {
        ++i;
    }
    return i;
}

// Index of the first key or bare line named `key` in the section at `header`, or kNotFound.
std::size_t IniDocument::FindEntry(std::size_t header, std::string_view key) const
{
    const std::size_t end = SectionEnd(header);
    for (std::size_t i = header + 1; i < end; ++i) {
        if (EqualsIgnoringAsciiCase(Slice(lines_[i].name), key)) {
            return i;
        }
    }
    return kNotFound;
}

bool IniDocument::FindValue(std::string_view section, std::string_view key,
                            std::string_view& value) const
{
    const std::size_t header = FindSection(TrimIni(section));
    if (header == kNotFound) {
        return false;
    }
    const std::size_t entry = FindEntry(header, TrimIni(key));
    if (entry == kNotFound || lines_[entry].kind != LineKind::Key) {
        return false;
    }
    value = Unquote(Slice(lines_[entry].value));
    return true;
}

void IniDocument::ListSections(std::string& list) const
{
    for (const Line& line : lines_) {
        if (line.kind == LineKind::Header) {
            list += Slice(line.name);
            list += '\0';
        }
    }
}

bool IniDocument::ListKeys(std::string_view section, std::string& list) const
{
    const std::size_t header = FindSection(TrimIni(section));
    if (header == kNotFound) {
        return false;
    }
    bool listed = false;
    const std::size_t end = SectionEnd(header);
    for (std::size_t i = header + 1; i < end; ++i) {
        if (lines_[i].kind == LineKind::Key) {
            list += Slice(lines_[i].name);
            list += '\0';
            listed = true;
        }
    }
    return listed;
}

// Writes into `edited` the text with [begin, end) replaced by the pieces, in one allocation.
void IniDocument::Splice(std::size_t begin, std::size_t end,
                         std::initializer_list<std::string_view> pieces, std::string& edited) const
{
    std::size_t inserted = 0;
    for (std::string_view piece : pieces) {
        inserted += piece.size();
    }
    std::string result;
    result.reserve(text_.size() - (end - begin) + inserted);
    result.append(text_, 0, begin);
    for (std::string_view piece : pieces) {
        result += piece;
    }
    result.append(text_, end, std::string::npos);
    edited = std::move(result);
}

bool IniDocument::SetValue(std::string_view section, std::string_view key, std::string_view value,
                           std::string& edited) const
{
    const std::string_view sectionName = TrimIni(section);
    const std::string_view keyName = TrimIni(key);
    const std::size_t header = FindSection(sectionName);
    if (header == kNotFound) {
        const bool needsLineEnd = !text_.empty() && !IsLineEnd(text_.back());
        Splice(text_.size(), text_.size(),
               {needsLineEnd ? eol_ : std::string_view(), "[", sectionName, "]", eol_, keyName, "=",
                value, eol_},
               edited);
        return true;
    }
    const std::size_t entry = FindEntry(header, keyName);
    if (entry != kNotFound) {
        const Line& line = lines_[entry];
        if (line.kind == LineKind::Bare) {
            Splice(line.value.begin, line.value.begin, {"=", value}, edited);
            return true;
        }
        if (Slice(line.value) == value) {
            return false;
        }
        Splice(line.value.begin, line.value.end, {value}, edited);
        return true;
    }
    // A new key follows the section's last entry, ahead of any blank or comment lines after it.
    const std::size_t anchorEnd = lines_[SectionEnd(header) - 1].end;
    if (anchorEnd == text_.size()) {
        Splice(anchorEnd, anchorEnd, {eol_, keyName, "=", value}, edited);
    } else {
        const std::size_t at = anchorEnd + LineEndLength(anchorEnd);
        Splice(at, at, {keyName, "=", value, eol_}, edited);
    }
    return true;
}

// Writes into `edited` the text without the given lines (in file order), each with its
// own line end; a last line without one leaves the line end before it in place.
bool IniDocument::RemoveLines(const std::vector<std::size_t>& doomed, std::string& edited) const
{
    if (doomed.empty()) {
        return false;
    }
    std::string result;
    result.reserve(text_.size());
    std::size_t kept = 0;
    for (std::size_t index : doomed) {
        const Line& line = lines_[index];
        result.append(text_, kept, line.start - kept);
        kept = line.end + LineEndLength(line.end);
    }
    result.append(text_, kept, std::string::npos);
    edited = std::move(result);
    return true;
}

bool IniDocument::DeleteKey(std::string_view section, std::string_view key,
                            std::string& edited) const
{
    const std::string_view sectionName = TrimIni(section);
    const std::string_view keyName = TrimIni(key);
    std::vector<std::size_t> doomed;
    bool inSection = false;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        const Line& line = lines_[i];
        if (line.kind == LineKind::Header) {
            inSection = EqualsIgnoringAsciiCase(Slice(line.name), sectionName);
        } else if (inSection && EqualsIgnoringAsciiCase(Slice(line.name), keyName)) {
            doomed.push_back(i);
        }
    }
    return RemoveLines(doomed, edited);
}

bool IniDocument::DeleteSection(std::string_view section, std::string& edited) const
{
    const std::size_t header = FindSection(TrimIni(section));
    if (header == kNotFound) {
        return false;
    }
    const std::size_t end = SectionEnd(header);
    std::vector<std::size_t> doomed;
    doomed.reserve(end - header);
    for (std::size_t i = header; i < end; ++i) {
        doomed.push_back(i);
    }
    return RemoveLines(doomed, edited);
}

}  // namespace skarvel
