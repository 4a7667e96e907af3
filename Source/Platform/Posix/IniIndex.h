// Lookups in a profile text: where its sections are, and where the keys of a section are once
// it has been looked up.
//
// One pass over the text finds the section headers, at the pace of memchr: only a line whose
// first byte after blanks is '[' can be one. The keys of a section are indexed the first time a
// lookup asks for them, so that a large file costs at first little more than reading it. The
// index looks into a text it does not own, which must outlive it.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "IniGrammar.h"

namespace skarvel {

class IniIndex {
public:
    static constexpr std::size_t kNone = static_cast<std::size_t>(-1);

    // How a key is found in its section: by reading the section's lines in turn, or through a
    // table of them built on the section's first lookup, for an index kept for many lookups.
    enum class KeyLookup { Scan, Indexed };

    explicit IniIndex(std::string_view text, KeyLookup keys = KeyLookup::Indexed);
    IniIndex(const IniIndex&) = delete;
    IniIndex& operator=(const IniIndex&) = delete;
    ~IniIndex();

    std::string_view Text() const { return text_; }

    // Finds the value of `key` in the first section named `section` (names are trimmed and
    // matched as SameIniName matches them). The value comes back trimmed, cut at a NUL byte
    // and without its enclosing quotes, as a view of the text. False when the key, or its
    // section, is absent or the key's line has no '='.
    bool FindValue(std::string_view section, std::string_view key, std::string_view& value) const;

    // Appends every section name in file order, each followed by a NUL. Empty names are left
    // out: a list of NUL-terminated names cannot carry them.
    void ListSections(std::string& list) const;

    // Appends the key names of the first section named `section`, each followed by a NUL,
    // empty names left out. False when there is no such section or it has no key lines with a
    // name.
    bool ListKeys(std::string_view section, std::string& list) const;

    // What edits build on. Sections are numbered in file order; names are already trimmed.
    std::size_t SectionCount() const { return headers_.size(); }
    // The header line of the nth section.
    IniLine Header(std::size_t nth) const { return ReadIniLine(text_, headers_[nth]); }
    // Where the nth section's lines end: at the next header, or the end of the text.
    std::size_t SectionEnd(std::size_t nth) const;
    // The number of the first section named `name`, or kNone.
    std::size_t FindSection(std::string_view name) const;
    // The first key or bare line named `key` in the nth section; false when there is none.
    bool FindEntry(std::size_t nth, std::string_view key, IniLine& entry) const;
    // Calls `visit` with each key and bare line of the nth section in file order, until it
    // answers false.
    template <typename Visit>
    void VisitEntries(std::size_t nth, Visit visit) const;

    // Heap bytes the index holds, keys indexed so far included.
    std::size_t HeldBytes() const;

private:
    class KeyTable;

    // A slot of the table of section names: a section number, and the high half of its name's
    // hash, whose low half picked the slot.
    struct SectionSlot {
        std::uint32_t section;
        std::uint32_t hash;
    };

    const KeyTable* KeysOf(std::size_t nth) const;
    bool HasName(std::size_t nth, std::string_view name) const;

    std::string_view text_;
    std::vector<std::size_t> headers_;  // where each header line starts
    // The first section of each name, when there are sections and fewer than 2^32 of them.
    std::vector<SectionSlot> sectionSlots_;
    // For KeyLookup::Indexed, each section's key table once built; readers in other threads
    // may build one at the same time, and the first to be stored stays.
    std::unique_ptr<std::atomic<const KeyTable*>[]> keyTables_;
    mutable std::atomic<std::size_t> keyTableBytes_{0};
};

template <typename Visit>
void IniIndex::VisitEntries(std::size_t nth, Visit visit) const
{
    const std::size_t end = SectionEnd(nth);
    for (std::size_t pos = NextLineStart(text_, FindLineEnd(text_, headers_[nth])); pos < end;) {
        const IniLine line = ReadIniLine(text_, pos);
        if ((line.kind == LineKind::Key || line.kind == LineKind::Bare) && !visit(line)) {
            return;
        }
        pos = NextLineStart(text_, line.end);
    }
}

}  // namespace skarvel
