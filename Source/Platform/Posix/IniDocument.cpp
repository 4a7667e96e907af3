#include "IniDocument.h"

#include "IniText.h"

#include <cstring>
#include <limits>
#include <utility>

namespace skarvel {

namespace {

constexpr std::size_t kNotFound = IniView::kNotFound;

// Runs `edit` into pieces and joins them into `edited` when the text changes.
template <typename Edit>
bool Joined(Edit edit, std::string& edited)
{
    TextPieces pieces;
    if (!edit(pieces)) {
        return false;
    }
    edited = JoinPieces(pieces);
    return true;
}

// The stretch of an entry's line that writing `value` replaces: the value as read, and also
// the blanks before it (after '=') when `value` starts with blanks of its own, and the blanks
// after it (up to a NUL or the line end) when `value` ends with some. So a value's blanks
// replace the old ones instead of adding to them, and the same write twice leaves the bytes
// of the first; a value without blanks at an end keeps the line's spacing there. Of a bare
// line, only the blanks at its end can go.
IniView::Range ReplacedSpan(std::string_view text, const IniView::Line& line,
                            std::string_view value)
{
    IniView::Range span = line.value;
    if (line.kind == IniView::LineKind::Key && !value.empty() && IsIniBlank(value.front())) {
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

IniDocument::IniDocument(std::string text, IniWidth width) : text_(std::move(text))
{
    // Room for every record at once, a start for each line and a number for each header at
    // most: growing a large table step by step costs more than the count.
    std::size_t entries = 1;
    for (const char c : text_) {
        entries += IsLineEnd(c) || c == '[';
    }
    layout_.wide =
        width == IniWidth::Wide || text_.size() > std::numeric_limits<std::uint32_t>::max();
    table_.reserve(layout_.wide ? 2 * entries : entries);
    Parse(0, false);
}

// Before the section only the '[' bytes are looked at, and nothing is recorded: the lines a
// '[' begins are the only ones that can be headers.
IniDocument::IniDocument(std::string text, std::string_view section) : text_(std::move(text))
{
    layout_.wide = text_.size() > std::numeric_limits<std::uint32_t>::max();
    const IniView view(text_, nullptr, {});
    const std::string_view name = TrimIni(section);
    NextLine(view.LineEnd(0));  // notes the text's line end, wherever the section is
    const std::size_t size = text_.size();
    std::size_t pos = size;
    for (std::size_t at = 0; at < size; ++at) {
        const void* const bracket = std::memchr(text_.data() + at, '[', size - at);
        if (bracket == nullptr) {
            break;
        }
        at = static_cast<std::size_t>(static_cast<const char*>(bracket) - text_.data());
        const std::size_t start = view.LineStart(at);
        IniView::Line line;
        if (start != IniView::kNotFound && view.IsHeader(at, view.LineEnd(at)) &&
            view.ReadLine(start, line) && EqualsIgnoringAsciiCase(view.Slice(line.name), name)) {
            pos = start;
            break;
        }
    }
    Parse(pos, true);
}

// Records the header, key and bare lines from `pos` on; with `oneSection`, stops at the
// second header. The headers' record numbers follow the starts in the table.
void IniDocument::Parse(std::size_t pos, bool oneSection)
{
    const IniView view(text_, nullptr, {});
    const std::size_t size = text_.size();
    std::vector<std::uint32_t> headers;
    const auto add = [this](std::vector<std::uint32_t>& words, std::size_t value) {
        words.push_back(static_cast<std::uint32_t>(value));
        if (layout_.wide) {
            words.push_back(static_cast<std::uint32_t>(static_cast<std::uint64_t>(value) >> 32));
        }
    };
    while (pos < size) {
        const std::size_t end = view.LineEnd(pos);
        const std::size_t first = view.FirstNonBlank(pos, end);
        if (first < end && text_[first] != ';') {
            if (view.IsHeader(first, end)) {
                if (oneSection && layout_.headers != 0) {
                    break;
                }
                add(headers, layout_.records);
                ++layout_.headers;
            }
            add(table_, pos);
            ++layout_.records;
        }
        pos = NextLine(end);
    }
    table_.insert(table_.end(), headers.begin(), headers.end());
    if (eol_.empty()) {
        eol_ = "\n";
    }
}

// The start of the line after the line end at `end` (blank lines skipped), noting the
// text's line end when it is the first.
std::size_t IniDocument::NextLine(std::size_t end)
{
    const std::size_t size = text_.size();
    if (end < size && eol_.empty()) {
        const std::size_t length = IniView(text_, nullptr, {}).LineEndLength(end);
        eol_ = length == 2 ? "\r\n" : (text_[end] == '\r' ? "\r" : "\n");
    }
    while (end < size && IsLineEnd(text_[end])) {
        ++end;
    }
    return end;
}

IniView IniDocument::Pack(std::unique_ptr<std::uint32_t[]>& block,
                          std::size_t fewestRecords) const
{
    const std::vector<std::uint32_t> index =
        layout_.records < fewestRecords ? std::vector<std::uint32_t>() : View().MakeIndex();
    IniLayout layout = layout_;
    layout.slots = index.size();
    const std::size_t parsedWords = layout_.Words();
    const std::size_t words = layout.Words();
    const std::size_t size = text_.size();
    block.reset(new std::uint32_t[words + (size + 3) / 4]);
    char* const text = reinterpret_cast<char*>(block.get() + words);
    if (parsedWords != 0) {
        std::memcpy(block.get(), table_.data(), parsedWords * sizeof(std::uint32_t));
    }
    if (!index.empty()) {
        std::memcpy(block.get() + parsedWords, index.data(),
                    index.size() * sizeof(std::uint32_t));
    }
    if (size != 0) {
        std::memcpy(text, text_.data(), size);
    }
    return IniView(std::string_view(text, size), block.get(), layout);
}

// Writes into `edited` the pieces of the text with [begin, end) replaced by `pieces`.
void IniDocument::Splice(std::size_t begin, std::size_t end,
                         std::initializer_list<std::string_view> pieces, TextPieces& edited) const
{
    TextPieces result;
    result.reserve(pieces.size() + 2);
    result.push_back(std::string_view(text_).substr(0, begin));
    result.insert(result.end(), pieces.begin(), pieces.end());
    result.push_back(std::string_view(text_).substr(end));
    edited = std::move(result);
}

bool IniDocument::SetValue(std::string_view section, std::string_view key, std::string_view value,
                           TextPieces& edited) const
{
    const IniView view = View();
    const std::string_view sectionName = TrimIni(section);
    const std::string_view keyName = TrimIni(key);
    const std::size_t header = view.FindSection(sectionName);
    if (header == kNotFound) {
        const bool needsLineEnd = !text_.empty() && !IsLineEnd(text_.back());
        Splice(text_.size(), text_.size(),
               {needsLineEnd ? eol_ : std::string_view(), "[", sectionName, "]", eol_, keyName, "=",
                value, eol_},
               edited);
        return true;
    }
    const std::size_t entry = view.FindEntry(header, keyName);
    if (entry != kNotFound) {
        const IniView::Line line = view.RecordAt(entry);
        const IniView::Range span = ReplacedSpan(text_, line, value);
        if (line.kind == IniView::LineKind::Bare) {
            Splice(span.begin, span.end, {"=", value}, edited);
            return true;
        }
        if (view.Slice(span) == value) {
            return false;
        }
        Splice(span.begin, span.end, {value}, edited);
        return true;
    }
    // A new key follows the section's last entry, ahead of any blank or comment lines after it.
    const std::size_t anchorEnd = view.RecordAt(view.SectionEnd(header) - 1).end;
    if (anchorEnd == text_.size()) {
        Splice(anchorEnd, anchorEnd, {eol_, keyName, "=", value}, edited);
    } else {
        const std::size_t at = anchorEnd + view.LineEndLength(anchorEnd);
        // A CR just before an LF would join it into one line end, and the line that LF ends
        // would be lost; CR LF ends the new line instead.
        const bool joins = eol_ == "\r" && at < text_.size() && text_[at] == '\n';
        Splice(at, at, {keyName, "=", value, joins ? "\r\n" : eol_}, edited);
    }
    return true;
}

// Writes into `edited` the pieces of the text without the given lines (in file order), each
// with its own line end; a last line without one leaves the line end before it in place.
// Where a CR kept before a line would meet an LF kept after it, the two would join into one
// line end and take a blank line with them: the line's own LF then stays, to end the line
// before it together with that CR.
bool IniDocument::RemoveLines(const std::vector<std::size_t>& doomed, TextPieces& edited) const
{
    if (doomed.empty()) {
        return false;
    }
    const IniView view = View();
    TextPieces result;
    result.reserve(doomed.size() + 1);
    std::size_t kept = 0;
    char lastKept = '\0';
    for (std::size_t index : doomed) {
        const IniView::Line line = view.RecordAt(index);
        if (line.start > kept) {
            result.push_back(std::string_view(text_).substr(kept, line.start - kept));
            lastKept = text_[line.start - 1];
        }
        kept = line.end + view.LineEndLength(line.end);
        if (lastKept == '\r' && kept < text_.size() && text_[kept] == '\n') {
            --kept;
        }
    }
    result.push_back(std::string_view(text_).substr(kept));
    edited = std::move(result);
    return true;
}

bool IniDocument::DeleteKey(std::string_view section, std::string_view key,
                            TextPieces& edited) const
{
    const IniView view = View();
    const std::string_view sectionName = TrimIni(section);
    const std::string_view keyName = TrimIni(key);
    for (std::size_t nth = 0; nth < view.HeaderCount(); ++nth) {
        const std::size_t header = view.Header(nth);
        if (EqualsIgnoringAsciiCase(view.Slice(view.RecordAt(header).name), sectionName)) {
            const std::size_t entry = view.FindEntry(header, keyName);
            if (entry != kNotFound) {
                return RemoveLines({entry}, edited);
            }
        }
    }
    return false;
}

bool IniDocument::DeleteSection(std::string_view section, TextPieces& edited) const
{
    const IniView view = View();
    const std::size_t header = view.FindSection(TrimIni(section));
    if (header == kNotFound) {
        return false;
    }
    const std::size_t end = view.SectionEnd(header);
    std::vector<std::size_t> doomed;
    doomed.reserve(end - header);
    for (std::size_t i = header; i < end; ++i) {
        doomed.push_back(i);
    }
    return RemoveLines(doomed, edited);
}

bool IniDocument::SetValue(std::string_view section, std::string_view key, std::string_view value,
                           std::string& edited) const
{
    return Joined([&](TextPieces& pieces) { return SetValue(section, key, value, pieces); },
                  edited);
}

bool IniDocument::DeleteKey(std::string_view section, std::string_view key,
                            std::string& edited) const
{
    return Joined([&](TextPieces& pieces) { return DeleteKey(section, key, pieces); }, edited);
}

bool IniDocument::DeleteSection(std::string_view section, std::string& edited) const
{
    return Joined([&](TextPieces& pieces) { return DeleteSection(section, pieces); }, edited);
}

bool ApplyEdit(const IniDocument& document, const IniEdit& edit, TextPieces& edited)
{
    switch (edit.kind) {
    case IniEdit::Kind::SetValue:
        return document.SetValue(edit.section, edit.key, edit.value, edited);
    case IniEdit::Kind::DeleteKey:
        return document.DeleteKey(edit.section, edit.key, edited);
    case IniEdit::Kind::DeleteSection:
        return document.DeleteSection(edit.section, edited);
    }
    return false;
}

}  // namespace skarvel
