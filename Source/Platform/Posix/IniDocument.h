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
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "IniView.h"

namespace skarvel {

// An edited text as the pieces that, joined in order, make it: stretches of the document's
// text and the bytes the edit adds, which view the edit's arguments or string literals. The
// pieces stay valid while the document and those arguments live, so a large text can be
// written out without first being copied whole.
using TextPieces = std::vector<std::string_view>;

// The pieces joined into one string.
std::string JoinPieces(const TextPieces& pieces);

// One change the profile functions make, with names as the caller gave them (they are trimmed
// before they are matched). The edit views strings it does not own.
struct IniEdit {
    enum class Kind { SetValue, DeleteKey, DeleteSection };

    Kind kind;
    std::string_view section;
    std::string_view key;
    std::string_view value;
};

// How a document records where its lines start: in the fewest words its text allows, or in
// the two words a text over 4 GiB needs, which any text may take (so that tests can reach it).
enum class IniWidth { Fitted, Wide };

class IniDocument {
public:
    explicit IniDocument(std::string text, IniWidth width = IniWidth::Fitted);

    // Parses only the first section named `section`, so that a write to a large file need not
    // record every line. Such a document answers SetValue for that section as the whole
    // document would, and is fit for nothing else.
    IniDocument(std::string text, std::string_view section);

    const std::string& Text() const { return text_; }

    // The document's text and records, for lookups. Valid until the document changes or goes.
    IniView View() const { return IniView(text_, table_.data(), layout_); }

    // Documents of fewer records than this get no index by default: scanning so few lines is
    // about as quick as a hashed lookup, and the index would take more memory than their text.
    static constexpr std::size_t kIndexedRecords = 32;

    // Copies the text and its records into one block of exactly their size, for a document
    // kept long, and adds the hash index that makes lookups independent of the document's
    // size unless it has fewer than `fewestRecords` records. The view answers every lookup
    // the document would, while `block` lives.
    IniView Pack(std::unique_ptr<std::uint32_t[]>& block,
                 std::size_t fewestRecords = kIndexedRecords) const;

    bool FindValue(std::string_view section, std::string_view key, std::string_view& value) const
    {
        return View().FindValue(section, key, value);
    }
    void ListSections(std::string& list) const { View().ListSections(list); }
    bool ListKeys(std::string_view section, std::string& list) const
    {
        return View().ListKeys(section, list);
    }

    // Each edit writes the pieces of the document's new text into `edited` and answers
    // true, or answers false and leaves `edited` alone when the text would not change.
    // New lines take the line end the text already uses (LF when it has none).
    // DeleteKey removes one line, as Windows does: the first line of the key's name
    // (with or without '=') found in the sections of that name, in file order, so that
    // a later line of the name comes to light. DeleteSection removes only the first
    // section of that name. The forms that take a string write the pieces joined.
    bool SetValue(std::string_view section, std::string_view key, std::string_view value,
                  TextPieces& edited) const;
    bool DeleteKey(std::string_view section, std::string_view key, TextPieces& edited) const;
    bool DeleteSection(std::string_view section, TextPieces& edited) const;
    bool SetValue(std::string_view section, std::string_view key, std::string_view value,
                  std::string& edited) const;
    bool DeleteKey(std::string_view section, std::string_view key, std::string& edited) const;
    bool DeleteSection(std::string_view section, std::string& edited) const;

private:
    void Parse(std::size_t pos, bool oneSection);
    std::size_t NextLine(std::size_t end);
    void Splice(std::size_t begin, std::size_t end, std::initializer_list<std::string_view> pieces,
                TextPieces& edited) const;
    bool RemoveLines(const std::vector<std::size_t>& doomed, TextPieces& edited) const;

    std::string text_;
    std::vector<std::uint32_t> table_;  // laid out as `layout_` says
    IniLayout layout_;
    std::string_view eol_;  // always a string literal, never a view into text_
};

// Writes the pieces of `document`'s text after `edit` into `edited`, as the document's edit
// of that kind does.
bool ApplyEdit(const IniDocument& document, const IniEdit& edit, TextPieces& edited);

}  // namespace skarvel
