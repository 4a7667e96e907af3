// Lookups in a parsed profile text: its sections and keys, found through the records
// its parse left behind.
//
// A view owns nothing. It looks into a text and a table of records that live elsewhere
// (in the document that parsed them, or in one block kept for reuse) and answers every
// lookup from them; both must outlive it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace skarvel {

// Where a parse put its records in a table of 32-bit words: where each record's line starts,
// then the record numbers of the section headers in file order, then the slots of the hash
// index, if any. Texts over 4 GiB, all but unheard-of for a profile, take two words for each
// start and header and get no index.
struct IniLayout {
    std::size_t records = 0;
    std::size_t headers = 0;
    std::size_t slots = 0;
    bool wide = false;

    std::size_t Words() const { return (records + headers) * (wide ? 2 : 1) + slots; }
};

class IniView {
public:
    static constexpr std::size_t kNotFound = static_cast<std::size_t>(-1);

    // A stretch of the text as offsets.
    struct Range {
        std::size_t begin;
        std::size_t end;
    };

    enum class LineKind : unsigned char { Header, Key, Bare };

    // A header, key or bare line as read from the text; comment and blank lines have no
    // record. A record keeps only where its line starts: the rest is read again from the
    // text when needed, which keeps a large document near the size of its text.
    struct Line {
        std::size_t start;  // first byte of the line, leading blanks included
        std::size_t end;    // first byte of its line end, or the end of the text
        Range name;
        Range value;  // key: the value as read, quotes included; bare: empty, where '=' goes
        LineKind kind;
    };

    IniView() = default;
    IniView(std::string_view text, const std::uint32_t* table, IniLayout layout)
        : text_(text), table_(table), layout_(layout)
    {
    }

    // Finds the value of `key` in the first section named `section` (names are
    // trimmed and matched without regard to ASCII case). The value comes back
    // trimmed, cut at a NUL byte and without its enclosing quotes. False when the
    // key, or its section, is absent or the key's line has no '='. The value
    // views the text.
    bool FindValue(std::string_view section, std::string_view key, std::string_view& value) const;

    // Appends every section name in file order, each followed by a NUL. Empty names are
    // left out: a list of NUL-terminated names cannot carry them.
    void ListSections(std::string& list) const;

    // Appends the key names of the first section named `section`, each followed
    // by a NUL, empty names left out. False when there is no such section or it
    // has no key lines with a name.
    bool ListKeys(std::string_view section, std::string& list) const;

    // What parses and edits build on. Names given to these are already trimmed.
    std::string_view Text() const { return text_; }
    const IniLayout& Layout() const { return layout_; }
    std::size_t RecordCount() const { return layout_.records; }
    std::size_t HeaderCount() const { return layout_.headers; }
    std::size_t Header(std::size_t nth) const { return Entry(layout_.records + nth); }
    Line RecordAt(std::size_t record) const;
    bool ReadLine(std::size_t start, Line& line) const;
    std::string_view Slice(Range range) const;
    std::size_t LineEnd(std::size_t pos) const;
    std::size_t LineStart(std::size_t pos) const;
    std::size_t FirstNonBlank(std::size_t begin, std::size_t end) const;
    bool IsHeader(std::size_t first, std::size_t end) const;
    std::size_t LineEndLength(std::size_t pos) const;
    std::size_t FindSection(std::string_view name) const;
    std::size_t SectionEnd(std::size_t header) const;
    std::size_t FindEntry(std::size_t header, std::string_view key) const;

    // The slots of a hash index over this view's records, which makes lookups independent
    // of the text's size: the first header of each name, and each name's first entry in
    // such a section. Empty for a wide layout, which goes without.
    std::vector<std::uint32_t> MakeIndex() const;

private:
    std::size_t Entry(std::size_t nth) const;
    std::size_t HeadersUpTo(std::size_t record) const;
    bool IsHeaderRecord(std::size_t record) const;
    bool HasName(std::size_t record, std::string_view name) const;
    Range Field(std::size_t begin, std::size_t end) const;
    std::size_t FindIndexedSection(std::string_view name) const;
    std::size_t FindIndexedEntry(std::size_t header, std::string_view key) const;

    std::string_view text_;
    const std::uint32_t* table_ = nullptr;
    IniLayout layout_;
};

}  // namespace skarvel
