// The profile file's text as a document of sections and keys.
//
// The document parses and edits narrow text in memory and knows nothing of
// files or encodings: the store turns bytes into text and back. Edits never
// change the document itself; they describe the whole new text, in which every
// byte outside the lines an edit concerns is the same as before.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace skarvel {

// An edited text as the pieces that, joined in order, make it: stretches of the document's
// text and the bytes the edit adds, which view the edit's arguments or string literals. The
// pieces stay valid while the document and those arguments live, so a large text can be
// written out without first being copied whole.
using TextPieces = std::vector<std::string_view>;

// The pieces joined into one string.
std::string JoinPieces(const TextPieces& pieces);

class IniDocument {
public:
    explicit IniDocument(std::string text);

    // Parses only the first section named `section`, so that a write to a large file need not
    // record every line. Such a document answers SetValue for that section as the whole
    // document would, and is fit for nothing else.
    IniDocument(std::string text, std::string_view section);

    const std::string& Text() const { return text_; }

    // Documents of fewer records than this get no index by default: scanning so few lines is
    // about as quick as a hashed lookup, and the index would take more memory than their text.
    static constexpr std::size_t kIndexedRecords = 32;

    // Builds the hash index that makes lookups independent of the document's size, and
    // gives back what parsing reserved beyond need. A document is complete without it,
    // only slower: it is for documents kept for many lookups, and one of fewer than
    // `fewestRecords` records goes without. Build it before the document is shared between
    // threads, since it is the one change a document makes.
    void BuildIndex(std::size_t fewestRecords = kIndexedRecords);

    // Finds the value of `key` in the first section named `section` (names are
    // trimmed and matched without regard to ASCII case). The value comes back
    // trimmed, cut at a NUL byte and without its enclosing quotes. False when the
    // key, or its section, is absent or the key's line has no '='. The value
    // views the document's text and lives as long as the document.
    bool FindValue(std::string_view section, std::string_view key, std::string_view& value) const;

    // Appends every section name in file order, each followed by a NUL.
    void ListSections(std::string& list) const;

    // Appends the key names of the first section named `section`, each followed
    // by a NUL. False when there is no such section or it has no key lines.
    bool ListKeys(std::string_view section, std::string& list) const;

    // Each edit writes the pieces of the document's new text into `edited` and answers
    // true, or answers false and leaves `edited` alone when the text would not change.
    // New lines take the line end the text already uses (LF when it has none).
    // DeleteKey removes the key from every section of that name, DeleteSection
    // only the first section of that name. The forms that take a string write the
    // pieces joined.
    bool SetValue(std::string_view section, std::string_view key, std::string_view value,
                  TextPieces& edited) const;
    bool DeleteKey(std::string_view section, std::string_view key, TextPieces& edited) const;
    bool DeleteSection(std::string_view section, TextPieces& edited) const;
    bool SetValue(std::string_view section, std::string_view key, std::string_view value,
                  std::string& edited) const;
    bool DeleteKey(std::string_view section, std::string_view key, std::string& edited) const;
    bool DeleteSection(std::string_view section, std::string& edited) const;

private:
    // A stretch of text_ as offsets, so it stays valid when the document is copied or moved.
    struct Range {
        std::size_t begin;
        std::size_t end;
    };

    enum class LineKind : unsigned char { Header, Key, Bare };

    // A header, key or bare line as read from the text; comment and blank lines need no
    // record. Only where a line starts is kept: the rest is read again from the text when
    // needed, which keeps a large document near the size of its text.
    struct Line {
        std::size_t start;  // first byte of the line, leading blanks included
        std::size_t end;    // first byte of its line end, or the end of the text
        Range name;
        Range value;  // key: the value as read, quotes included; bare: empty, where '=' goes
        LineKind kind;
    };

    void Parse(std::size_t pos, bool oneSection);
    std::size_t NextLine(std::size_t end);
    std::size_t LineEnd(std::size_t pos) const;
    std::size_t LineStart(std::size_t pos) const;
    std::size_t FirstNonBlank(std::size_t begin, std::size_t end) const;
    bool IsHeader(std::size_t first, std::size_t end) const;
    bool ReadLine(std::size_t start, Line& line) const;
    Line RecordAt(std::size_t record) const;
    std::size_t RecordCount() const { return starts_.size() + wideStarts_.size(); }
    Range Field(std::size_t begin, std::size_t end) const;
    std::string_view Slice(Range range) const;
    std::size_t LineEndLength(std::size_t pos) const;
    std::size_t FindSection(std::string_view name) const;
    std::size_t SectionEnd(std::size_t header) const;
    std::size_t FindEntry(std::size_t header, std::string_view key) const;
    template <typename Matches>
    std::size_t Probe(std::uint64_t hash, Matches matches) const;
    bool IsHeaderRecord(std::size_t record) const;
    bool HasName(std::size_t record, std::string_view name) const;
    std::size_t FindIndexedSection(std::string_view name) const;
    std::size_t FindIndexedEntry(std::size_t header, std::string_view key) const;
    void Splice(std::size_t begin, std::size_t end, std::initializer_list<std::string_view> pieces,
                TextPieces& edited) const;
    bool RemoveLines(const std::vector<std::size_t>& doomed, TextPieces& edited) const;

    std::string text_;
    // Where each record's line starts. Texts up to 4 GiB, all but unheard-of for a
    // profile, take 4 bytes a record; larger ones take the wide form.
    std::vector<std::uint32_t> starts_;
    std::vector<std::size_t> wideStarts_;
    std::vector<std::size_t> headers_;  // the records that are section headers, in file order
    // Open addressing over record numbers: the first header of each name, and each name's
    // first entry in such a section. Empty until BuildIndex.
    std::vector<std::uint32_t> index_;
    std::string_view eol_;  // always a string literal, never a view into text_
};

}  // namespace skarvel
