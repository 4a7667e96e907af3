#include "IniView.h"

#include <cstring>
#include <limits>

#include "IniText.h"

namespace skarvel {

namespace {

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

// The slot of the first record for `hash` that `matches(slot, record)` accepts, or the empty
// slot where such a record would go. `count` is a power of two.
template <typename Matches>
std::size_t Probe(const std::uint32_t* slots, std::size_t count, std::uint64_t hash,
                  Matches matches)
{
    const std::size_t mask = count - 1;
    std::size_t slot = hash & mask;
    while (slots[slot] != kEmptySlot && !matches(slot, slots[slot])) {
        slot = (slot + 1) & mask;
    }
    return slot;
}

}  // namespace

// The nth start or header number of the table: one word each, or two in the wide layout.
std::size_t IniView::Entry(std::size_t nth) const
{
    if (!layout_.wide) {
        return table_[nth];
    }
    const std::uint64_t low = table_[2 * nth];
    const std::uint64_t high = table_[2 * nth + 1];
    return static_cast<std::size_t>(low | high << 32);
}

// How many headers lie at or before `record`.
std::size_t IniView::HeadersUpTo(std::size_t record) const
{
    std::size_t low = 0;
    std::size_t high = layout_.headers;
    while (low < high) {
        const std::size_t middle = low + (high - low) / 2;
        if (Header(middle) <= record) {
            low = middle + 1;
        } else {
            high = middle;
        }
    }
    return low;
}

// The first line end at or after `pos`, or the end of the text.
std::size_t IniView::LineEnd(std::size_t pos) const
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
std::size_t IniView::LineStart(std::size_t pos) const
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
std::size_t IniView::FirstNonBlank(std::size_t begin, std::size_t end) const
{
    while (begin < end && IsIniBlank(text_[begin])) {
        ++begin;
    }
    return begin;
}

// True when the line whose first byte that is no blank is at `first` is a section header.
bool IniView::IsHeader(std::size_t first, std::size_t end) const
{
    return text_[first] == '[' &&
           std::memchr(text_.data() + first + 1, ']', end - first - 1) != nullptr;
}

// Reads the line that starts at `start` into `line`; false, with only its end set, when it
// is blank or a comment.
bool IniView::ReadLine(std::size_t start, Line& line) const
{
    line.start = start;
    line.end = LineEnd(start);
    const std::size_t begin = FirstNonBlank(start, line.end);
    if (begin == line.end || text_[begin] == ';') {
        return false;
    }
    const std::string_view content = TrimIni(text_.substr(begin, line.end - begin));
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

IniView::Line IniView::RecordAt(std::size_t record) const
{
    Line line;
    ReadLine(Entry(record), line);
    return line;
}

// The part of [begin, end) that is read as a name or value: up to a NUL, then trimmed.
IniView::Range IniView::Field(std::size_t begin, std::size_t end) const
{
    std::string_view field = text_.substr(begin, end - begin);
    field = TrimIni(field.substr(0, field.find('\0')));
    const std::size_t fieldBegin = static_cast<std::size_t>(field.data() - text_.data());
    return {fieldBegin, fieldBegin + field.size()};
}

std::string_view IniView::Slice(Range range) const
{
    return text_.substr(range.begin, range.end - range.begin);
}

// Length of the single line end at `pos`: 2 for CR LF, 1 for a lone CR or LF, 0 otherwise.
std::size_t IniView::LineEndLength(std::size_t pos) const
{
    if (pos >= text_.size() || !IsLineEnd(text_[pos])) {
        return 0;
    }
    const bool crlf = text_[pos] == '\r' && pos + 1 < text_.size() && text_[pos + 1] == '\n';
    return crlf ? 2 : 1;
}

// Record of the first header named `name`, or kNotFound.
std::size_t IniView::FindSection(std::string_view name) const
{
    if (layout_.slots != 0) {
        return FindIndexedSection(name);
    }
    for (std::size_t nth = 0; nth < layout_.headers; ++nth) {
        if (HasName(Header(nth), name)) {
            return Header(nth);
        }
    }
    return kNotFound;
}

// Record one past the last entry of the section whose header is at `header`.
std::size_t IniView::SectionEnd(std::size_t header) const
{
    const std::size_t next = HeadersUpTo(header);
    return next == layout_.headers ? layout_.records : Header(next);
}

// Record of the first key or bare line named `key` in the section at `header`, or kNotFound.
std::size_t IniView::FindEntry(std::size_t header, std::string_view key) const
{
    if (layout_.slots != 0) {
        return FindIndexedEntry(header, key);
    }
    const std::size_t end = SectionEnd(header);
    for (std::size_t record = header + 1; record < end; ++record) {
        if (HasName(record, key)) {
            return record;
        }
    }
    return kNotFound;
}

bool IniView::IsHeaderRecord(std::size_t record) const
{
    const std::size_t upTo = HeadersUpTo(record);
    return upTo > 0 && Header(upTo - 1) == record;
}

bool IniView::HasName(std::size_t record, std::string_view name) const
{
    return EqualsIgnoringAsciiCase(Slice(RecordAt(record).name), name);
}

std::size_t IniView::FindIndexedSection(std::string_view name) const
{
    const std::uint32_t* const slots = table_ + layout_.records + layout_.headers;
    const std::size_t slot =
        Probe(slots, layout_.slots, SectionHash(name), [&](std::size_t, std::size_t record) {
            return IsHeaderRecord(record) && HasName(record, name);
        });
    return slots[slot] == kEmptySlot ? kNotFound : slots[slot];
}

// As FindEntry, for a header that is the first of its name: only those sections are indexed.
std::size_t IniView::FindIndexedEntry(std::size_t header, std::string_view key) const
{
    const std::uint32_t* const slots = table_ + layout_.records + layout_.headers;
    const std::size_t end = SectionEnd(header);
    const std::size_t slot = Probe(slots, layout_.slots, EntryHash(header, key),
                                   [&](std::size_t, std::size_t record) {
                                       return record > header && record < end &&
                                              HasName(record, key);
                                   });
    return slots[slot] == kEmptySlot ? kNotFound : slots[slot];
}

// Indexes only what a lookup can find. While building, each slot's hash is kept beside it,
// so that a name is read back only when its hash matches.
std::vector<std::uint32_t> IniView::MakeIndex() const
{
    if (layout_.wide || layout_.headers == 0) {
        return {};
    }
    std::size_t count = 8;
    while (count < 2 * layout_.records) {
        count *= 2;  // at most half full, so a probe stays short
    }
    std::vector<std::uint32_t> slots(count, kEmptySlot);
    std::vector<std::uint32_t> hashes(count);  // the high half: the low one picked the slot
    // Adds `record` under `hash` unless a record that `isSame` accepts holds the name already.
    const auto add = [&](std::uint64_t hash, std::size_t record, auto isSame) {
        const std::size_t slot =
            Probe(slots.data(), count, hash, [&](std::size_t at, std::size_t held) {
                return hashes[at] == static_cast<std::uint32_t>(hash >> 32) && isSame(held);
            });
        if (slots[slot] != kEmptySlot) {
            return false;
        }
        slots[slot] = static_cast<std::uint32_t>(record);
        hashes[slot] = static_cast<std::uint32_t>(hash >> 32);
        return true;
    };
    for (std::size_t nth = 0; nth < layout_.headers; ++nth) {
        const std::size_t header = Header(nth);
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
    return slots;
}

bool IniView::FindValue(std::string_view section, std::string_view key,
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

void IniView::ListSections(std::string& list) const
{
    for (std::size_t nth = 0; nth < layout_.headers; ++nth) {
        const std::string_view name = Slice(RecordAt(Header(nth)).name);
        if (!name.empty()) {
            list += name;
            list += '\0';
        }
    }
}

bool IniView::ListKeys(std::string_view section, std::string& list) const
{
    const std::size_t header = FindSection(TrimIni(section));
    if (header == kNotFound) {
        return false;
    }
    bool listed = false;
    const std::size_t end = SectionEnd(header);
    for (std::size_t record = header + 1; record < end; ++record) {
        const Line line = RecordAt(record);
        if (line.kind == LineKind::Key && line.name.begin != line.name.end) {
            list += Slice(line.name);
            list += '\0';
            listed = true;
        }
    }
    return listed;
}

}  // namespace skarvel
