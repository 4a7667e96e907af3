#include "IniDocument.h"

#include "IniText.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <utility>

namespace skarvel {

namespace {

constexpr std::size_t kNotFound = static_cast<std::size_t>(-1);
constexpr std::uint32_t kEmptySlot = std::numeric_limits<std::uint32_t>::max();
constexpr std::uint64_t kFnvOffset = 14695981039346656037ULL;
constexpr std::uint64_t kFnvPrime = 1099511628211ULL;

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

// FNV-1a of the name as it matches, ASCII letters folded, continuing from `seed`.
std::uint64_t NameHash(std::uint64_t seed, std::string_view name)
{
    for (const char c : name) {
        seed = (seed ^ static_cast<unsigned char>(ToAsciiLower(c))) * kFnvPrime;
    }
    return seed;
}

// FNV-1a leaves the low bits, which pick a slot, poorly mixed: this spreads the high ones
// over them (the finish of MurmurHash3).
std::uint64_t Mixed(std::uint64_t hash)
{
    hash = (hash ^ (hash >> 33)) * 0xff51afd7ed558ccdULL;
    return hash ^ (hash >> 33);
}

std::uint64_t SectionHash(std::string_view name)
{
    return Mixed(NameHash(kFnvOffset, name));
}

// An entry's name hashed together with its section's record, so one table holds both.
std::uint64_t EntryHash(std::size_t header, std::string_view key)
{
    return Mixed(NameHash((kFnvOffset ^ (header + 1)) * kFnvPrime, key));
}

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

IniDocument::IniDocument(std::string text) : text_(std::move(text))
{
    // Room for a record per line at once: growing a large vector step by step costs more
    // than the count.
    const std::size_t lines =
        1 + static_cast<std::size_t>(std::count_if(text_.begin(), text_.end(), IsLineEnd));
    if (text_.size() > std::numeric_limits<std::uint32_t>::max()) {
        wideStarts_.reserve(lines);
    } else {
        starts_.reserve(lines);
    }
    Parse(0, false);
}

// Before the section only the '[' bytes are looked at, and nothing is recorded: the lines a
// '[' begins are the only ones that can be headers.
IniDocument::IniDocument(std::string text, std::string_view section) : text_(std::move(text))
{
    const std::string_view name = TrimIni(section);
    NextLine(LineEnd(0));  // notes the text's line end, wherever the section is
    const std::size_t size = text_.size();
    std::size_t pos = size;
    for (std::size_t at = 0; at < size; ++at) {
        const void* const bracket = std::memchr(text_.data() + at, '[', size - at);
        if (bracket == nullptr) {
            break;
        }
        at = static_cast<std::size_t>(static_cast<const char*>(bracket) - text_.data());
        const std::size_t start = LineStart(at);
        Line line;
        if (start != kNotFound && IsHeader(at, LineEnd(at)) && ReadLine(start, line) &&
            EqualsIgnoringAsciiCase(Slice(line.name), name)) {
            pos = start;
            break;
        }
    }
    Parse(pos, true);
}

// Records the header, key and bare lines from `pos` on; with `oneSection`, stops at the
// second header.
void IniDocument::Parse(std::size_t pos, bool oneSection)
{
    const std::size_t size = text_.size();
    const bool wide = size > std::numeric_limits<std::uint32_t>::max();
    while (pos < size) {
        const std::size_t end = LineEnd(pos);
        const std::size_t first = FirstNonBlank(pos, end);
        if (first < end && text_[first] != ';') {
            if (IsHeader(first, end)) {
                if (oneSection && !headers_.empty()) {
                    break;
                }
                headers_.push_back(RecordCount());
            }
            if (wide) {
                wideStarts_.push_back(pos);
            } else {
                starts_.push_back(static_cast<std::uint32_t>(pos));
            }
        }
        pos = NextLine(end);
    }
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
        eol_ = LineEndLength(end) == 2 ? "\r\n" : (text_[end] == '\r' ? "\r" : "\n");
    }
    while (end < size && IsLineEnd(text_[end])) {
        ++end;
    }
    return end;
}

// The first line end at or after `pos`, or the end of the text.
std::size_t IniDocument::LineEnd(std::size_t pos) const
{
    const char* const text = text_.data();
    const std::size_t size = text_.size();
    while (pos < size && !IsLineEnd(text[pos])) {
        ++pos;
    }
    return pos;
}

// Where the line holding `pos` starts, when only blanks come before `pos` on it; otherwise
// kNotFound.
std::size_t IniDocument::LineStart(std::size_t pos) const
{
    while (pos > 0 && !IsLineEnd(text_[pos - 1])) {
        if (!IsIniBlank(text_[pos - 1])) {
            return kNotFound;
        }
        --pos;
    }
    return pos;
}

// The first byte of [begin, end) that is no blank, or `end`.
std::size_t IniDocument::FirstNonBlank(std::size_t begin, std::size_t end) const
{
    while (begin < end && IsIniBlank(text_[begin])) {
        ++begin;
    }
    return begin;
}

// True when the line whose first byte that is no blank is at `first` is a section header.
bool IniDocument::IsHeader(std::size_t first, std::size_t end) const
{
    return text_[first] == '[' &&
           std::memchr(text_.data() + first + 1, ']', end - first - 1) != nullptr;
}

// Reads the line that starts at `start` into `line`; false, with only its end set, when it
// is blank or a comment.
bool IniDocument::ReadLine(std::size_t start, Line& line) const
{
    line.start = start;
    line.end = LineEnd(start);
    const std::size_t begin = FirstNonBlank(start, line.end);
    if (begin == line.end || text_[begin] == ';') {
        return false;
    }
    const std::string_view content =
        TrimIni(std::string_view(text_).substr(begin, line.end - begin));
    const std::size_t contentEnd = begin + content.size();
    if (IsHeader(begin, line.end)) {
        line.name = Field(begin + 1, begin + content.rfind(']'));
        line.value = {};
        line.kind = LineKind::Header;
        return true;
    }
    const std::size_t equals = content.find('=');
    if (equals == std::string_view::npos) {
        line.name = Field(begin, contentEnd);
        line.value = {contentEnd, contentEnd};
        line.kind = LineKind::Bare;
        return true;
    }
    // The value reaches to the raw line end, so an empty value sits after the blanks that
    // follow '=' and a value written there keeps the line's spacing.
    line.name = Field(begin, begin + equals);
    line.value = Field(begin + equals + 1, line.end);
    line.kind = LineKind::Key;
    return true;
}

IniDocument::Line IniDocument::RecordAt(std::size_t record) const
{
    Line line;
    ReadLine(wideStarts_.empty() ? starts_[record] : wideStarts_[record], line);
    return line;
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

// Record of the first header named `name` (already trimmed), or kNotFound.
std::size_t IniDocument::FindSection(std::string_view name) const
{
    if (!index_.empty()) {
        return FindIndexedSection(name);
    }
    for (const std::size_t header : headers_) {
        if (EqualsIgnoringAsciiCase(Slice(RecordAt(header).name), name)) {
            return header;
        }
    }
    return kNotFound;
}

// Record one past the last entry of the section whose header is at `header`.
std::size_t IniDocument::SectionEnd(std::size_t header) const
{
    const auto next = std::upper_bound(headers_.begin(), headers_.end(), header);
    return next == headers_.end() ? RecordCount() : *next;
}

// Record of the first key or bare line named `key` in the section at `header`, or kNotFound.
std::size_t IniDocument::FindEntry(std::size_t header, std::string_view key) const
{
    if (!index_.empty()) {
        return FindIndexedEntry(header, key);
    }
    const std::size_t end = SectionEnd(header);
    for (std::size_t i = header + 1; i < end; ++i) {
        if (EqualsIgnoringAsciiCase(Slice(RecordAt(i).name), key)) {
            return i;
        }
    }
    return kNotFound;
}

// The slot of the first record for `hash` that `matches(slot, record)` accepts, or the empty
// slot where such a record would go.
template <typename Matches>
std::size_t IniDocument::Probe(std::uint64_t hash, Matches matches) const
{
    const std::size_t mask = index_.size() - 1;
    std::size_t slot = hash & mask;
    while (index_[slot] != kEmptySlot && !matches(slot, index_[slot])) {
        slot = (slot + 1) & mask;
    }
    return slot;
}

bool IniDocument::IsHeaderRecord(std::size_t record) const
{
    return std::binary_search(headers_.begin(), headers_.end(), record);
}

bool IniDocument::HasName(std::size_t record, std::string_view name) const
{
    return EqualsIgnoringAsciiCase(Slice(RecordAt(record).name), name);
}

std::size_t IniDocument::FindIndexedSection(std::string_view name) const
{
    const std::size_t slot = Probe(SectionHash(name), [&](std::size_t, std::size_t record) {
        return IsHeaderRecord(record) && HasName(record, name);
    });
    return index_[slot] == kEmptySlot ? kNotFound : index_[slot];
}

// As FindEntry, for a header that is the first of its name: only those sections are indexed.
std::size_t IniDocument::FindIndexedEntry(std::size_t header, std::string_view key) const
{
    const std::size_t end = SectionEnd(header);
    const std::size_t slot = Probe(EntryHash(header, key), [&](std::size_t, std::size_t record) {
        return record > header && record < end && HasName(record, key);
    });
    return index_[slot] == kEmptySlot ? kNotFound : index_[slot];
}

// Indexes only what a lookup can find: the first header of each name and the first entry of
// each name in such a section. While building, each slot's hash is kept beside it, so that a
// name is read back only when its hash matches.
void IniDocument::BuildIndex(std::size_t fewestRecords)
{
    starts_.shrink_to_fit();
    headers_.shrink_to_fit();
    if (!index_.empty() || !wideStarts_.empty() || headers_.empty() ||
        RecordCount() < fewestRecords) {
        return;
    }
    std::size_t slots = 8;
    while (slots < 2 * RecordCount()) {
        slots *= 2;  // at most half full, so a probe stays short
    }
    index_.assign(slots, kEmptySlot);
    std::vector<std::uint64_t> hashes(slots);
    // Adds `record` under `hash` unless a record that `isSame` accepts holds the name already.
    const auto add = [&](std::uint64_t hash, std::size_t record, auto isSame) {
        const std::size_t slot = Probe(hash, [&](std::size_t at, std::size_t held) {
            return hashes[at] == hash && isSame(held);
        });
        if (index_[slot] != kEmptySlot) {
            return false;
        }
        index_[slot] = static_cast<std::uint32_t>(record);
        hashes[slot] = hash;
        return true;
    };
    for (const std::size_t header : headers_) {
        const std::string_view name = Slice(RecordAt(header).name);
        const bool first = add(SectionHash(name), header, [&](std::size_t held) {
            return IsHeaderRecord(held) && HasName(held, name);
        });
        if (!first) {
            continue;
        }
        const std::size_t end = SectionEnd(header);
        for (std::size_t record = header + 1; record < end; ++record) {
            const std::string_view key = Slice(RecordAt(record).name);
            add(EntryHash(header, key), record, [&](std::size_t held) {
                return held > header && held < end && HasName(held, key);
            });
        }
    }
}

bool IniDocument::FindValue(std::string_view section, std::string_view key,
                            std::string_view& value) const
{
    const std::size_t header = FindSection(TrimIni(section));
    if (header == kNotFound) {
        return false;
    }
    const std::size_t entry = FindEntry(header, TrimIni(key));
    if (entry == kNotFound) {
        return false;
    }
    const Line line = RecordAt(entry);
    if (line.kind != LineKind::Key) {
        return false;
    }
    value = Unquote(Slice(line.value));
    return true;
}

void IniDocument::ListSections(std::string& list) const
{
    for (const std::size_t header : headers_) {
        list += Slice(RecordAt(header).name);
        list += '\0';
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
        const Line line = RecordAt(i);
        if (line.kind == LineKind::Key) {
            list += Slice(line.name);
            list += '\0';
            listed = true;
        }
    }
    return listed;
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
        const Line line = RecordAt(entry);
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
    const std::size_t anchorEnd = RecordAt(SectionEnd(header) - 1).end;
    if (anchorEnd == text_.size()) {
        Splice(anchorEnd, anchorEnd, {eol_, keyName, "=", value}, edited);
    } else {
        const std::size_t at = anchorEnd + LineEndLength(anchorEnd);
        Splice(at, at, {keyName, "=", value, eol_}, edited);
    }
    return true;
}

// Writes into `edited` the pieces of the text without the given lines (in file order), each
// with its own line end; a last line without one leaves the line end before it in place.
bool IniDocument::RemoveLines(const std::vector<std::size_t>& doomed, TextPieces& edited) const
{
    if (doomed.empty()) {
        return false;
    }
    TextPieces result;
    result.reserve(doomed.size() + 1);
    std::size_t kept = 0;
    for (std::size_t index : doomed) {
        const Line line = RecordAt(index);
        if (line.start > kept) {
            result.push_back(std::string_view(text_).substr(kept, line.start - kept));
        }
        kept = line.end + LineEndLength(line.end);
    }
    result.push_back(std::string_view(text_).substr(kept));
    edited = std::move(result);
    return true;
}

bool IniDocument::DeleteKey(std::string_view section, std::string_view key,
                            TextPieces& edited) const
{
    const std::string_view sectionName = TrimIni(section);
    const std::string_view keyName = TrimIni(key);
    std::vector<std::size_t> doomed;
    bool inSection = false;
    for (std::size_t i = 0; i < RecordCount(); ++i) {
        const Line line = RecordAt(i);
        if (line.kind == LineKind::Header) {
            inSection = EqualsIgnoringAsciiCase(Slice(line.name), sectionName);
        } else if (inSection && EqualsIgnoringAsciiCase(Slice(line.name), keyName)) {
            doomed.push_back(i);
        }
    }
    return RemoveLines(doomed, edited);
}

bool IniDocument::DeleteSection(std::string_view section, TextPieces& edited) const
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

}  // namespace skarvel
