#include "IniIndex.h"

#include <limits>

namespace skarvel {
namespace {

constexpr std::uint32_t kEmptySection = std::numeric_limits<std::uint32_t>::max();

std::uint32_t HighHalf(std::uint64_t hash)
{
    return static_cast<std::uint32_t>(hash >> 32);
}

}  // namespace

// The key and bare lines of one section by name, the first line of each name only: each as its
// offset from the start of the section's header line, in slots of 16 bits for a section under
// 64 KiB and of 32 bits otherwise; 0, the header's own offset, marks an empty slot. At most
// two thirds of the slots are used, so that a probe stays short. A section of 4 GiB or more
// gets no slots and is scanned.
class IniIndex::KeyTable {
public:
    static std::unique_ptr<const KeyTable> Build(const IniIndex& index, std::size_t nth);

    bool Usable() const { return count_ != 0; }

    // The line named `key` in the section whose header line starts at `base`.
    bool Find(std::string_view text, std::size_t base, std::string_view key, IniLine& entry) const
    {
        for (std::size_t slot = SlotOf(HighHalf(IniNameHash(key))); At(slot) != 0;
             slot = Next(slot)) {
            if (!MayBeNamed(text, base + At(slot), key)) {
                continue;
            }
            const IniLine line = ReadIniLine(text, base + At(slot));
            if (SameIniName(Slice(text, line.name), key)) {
                entry = line;
                return true;
            }
        }
        return false;
    }

    std::size_t Bytes() const
    {
        return sizeof(KeyTable) + count_ * (wide_ ? sizeof(std::uint32_t) : sizeof(std::uint16_t));
    }

private:
    // Maps a hash onto the slots without division.
    std::size_t SlotOf(std::uint32_t hash) const
    {
        return static_cast<std::size_t>((static_cast<std::uint64_t>(hash) * count_) >> 32);
    }
    std::size_t Next(std::size_t slot) const { return slot + 1 == count_ ? 0 : slot + 1; }
    std::size_t At(std::size_t slot) const { return wide_ ? wideSlots_[slot] : narrowSlots_[slot]; }

    std::size_t count_ = 0;
    bool wide_ = false;
    std::unique_ptr<std::uint16_t[]> narrowSlots_;
    std::unique_ptr<std::uint32_t[]> wideSlots_;
};

// While building, each slot's hash is kept beside it, so that a name is read back only when
// its hash matches.
std::unique_ptr<const IniIndex::KeyTable> IniIndex::KeyTable::Build(const IniIndex& index,
                                                                    std::size_t nth)
{
    auto table = std::make_unique<KeyTable>();
    const std::string_view text = index.text_;
    const std::size_t base = index.headers_[nth];
    const std::size_t span = index.SectionEnd(nth) - base;
    if (span > std::numeric_limits<std::uint32_t>::max()) {
        return table;
    }
    struct Entry {
        std::size_t offset;
        std::uint32_t hash;
        TextRange name;
    };
    std::vector<Entry> entries;
    index.VisitEntries(nth, [&](const IniLine& line) {
        const std::string_view name = Slice(text, line.name);
        entries.push_back({line.start - base, HighHalf(IniNameHash(name)), line.name});
        return true;
    });
    table->count_ = entries.size() + entries.size() / 2 + 1;
    table->wide_ = span > std::numeric_limits<std::uint16_t>::max();
    if (table->wide_) {
        table->wideSlots_.reset(new std::uint32_t[table->count_]());
    } else {
        table->narrowSlots_.reset(new std::uint16_t[table->count_]());
    }
    std::vector<std::uint32_t> hashes(table->count_);
    for (const Entry& entry : entries) {
        std::size_t slot = table->SlotOf(entry.hash);
        bool taken = false;  // by an earlier line of the name
        while (!taken && table->At(slot) != 0) {
            taken = hashes[slot] == entry.hash &&
                    SameIniName(Slice(text, ReadIniLine(text, base + table->At(slot)).name),
                                Slice(text, entry.name));
            slot = taken ? slot : table->Next(slot);
        }
        if (!taken) {
            if (table->wide_) {
                table->wideSlots_[slot] = static_cast<std::uint32_t>(entry.offset);
            } else {
                table->narrowSlots_[slot] = static_cast<std::uint16_t>(entry.offset);
            }
            hashes[slot] = entry.hash;
        }
    }
    return table;
}

IniIndex::IniIndex(std::string_view text, KeyLookup keys) : text_(text)
{
    std::vector<std::uint64_t> hashes;
    for (std::size_t at = FindHeader(text_, 0); at != std::string_view::npos;) {
        const IniLine header = ReadIniLine(text_, at);
        headers_.push_back(at);
        hashes.push_back(IniNameHash(Slice(text_, header.name)));
        at = FindHeader(text_, header.end);
    }
    headers_.shrink_to_fit();
    if (!headers_.empty() && headers_.size() < kEmptySection) {
        std::size_t count = 8;
        while (count < 2 * headers_.size()) {
            count *= 2;  // at most half full, so that a probe stays short
        }
        sectionSlots_.assign(count, {kEmptySection, 0});
        const std::size_t mask = count - 1;
        for (std::size_t nth = 0; nth < headers_.size(); ++nth) {
            std::size_t slot = hashes[nth] & mask;
            while (sectionSlots_[slot].section != kEmptySection &&
                   !(sectionSlots_[slot].hash == HighHalf(hashes[nth]) &&
                     HasName(sectionSlots_[slot].section, Slice(text_, Header(nth).name)))) {
                slot = (slot + 1) & mask;
            }
            if (sectionSlots_[slot].section == kEmptySection) {
                sectionSlots_[slot] = {static_cast<std::uint32_t>(nth), HighHalf(hashes[nth])};
            }
        }
    }
    if (keys == KeyLookup::Indexed && !headers_.empty()) {
        keyTables_.reset(new std::atomic<const KeyTable*>[headers_.size()]());
    }
}

IniIndex::~IniIndex()
{
    if (keyTables_ != nullptr) {
        for (std::size_t nth = 0; nth < headers_.size(); ++nth) {
            delete keyTables_[nth].load(std::memory_order_acquire);
        }
    }
}

std::size_t IniIndex::SectionEnd(std::size_t nth) const
{
    return nth + 1 < headers_.size() ? headers_[nth + 1] : text_.size();
}

bool IniIndex::HasName(std::size_t nth, std::string_view name) const
{
    return SameIniName(Slice(text_, Header(nth).name), name);
}

std::size_t IniIndex::FindSection(std::string_view name) const
{
    if (sectionSlots_.empty()) {
        for (std::size_t nth = 0; nth < headers_.size(); ++nth) {
            if (HasName(nth, name)) {
                return nth;
            }
        }
        return kNone;
    }
    const std::uint64_t hash = IniNameHash(name);
    const std::size_t mask = sectionSlots_.size() - 1;
    for (std::size_t slot = hash & mask; sectionSlots_[slot].section != kEmptySection;
         slot = (slot + 1) & mask) {
        const SectionSlot& held = sectionSlots_[slot];
        if (held.hash == HighHalf(hash) && HasName(held.section, name)) {
            return held.section;
        }
    }
    return kNone;
}

// The first lookup in a section builds its table; threads that look at once may each build
// one, and all but the first to store theirs drop them.
const IniIndex::KeyTable* IniIndex::KeysOf(std::size_t nth) const
{
    std::atomic<const KeyTable*>& stored = keyTables_[nth];
    const KeyTable* table = stored.load(std::memory_order_acquire);
    if (table != nullptr) {
        return table;
    }
    std::unique_ptr<const KeyTable> built = KeyTable::Build(*this, nth);
    if (!stored.compare_exchange_strong(table, built.get(), std::memory_order_acq_rel,
                                        std::memory_order_acquire)) {
        return table;
    }
    keyTableBytes_.fetch_add(built->Bytes(), std::memory_order_relaxed);
    return built.release();
}

bool IniIndex::FindEntry(std::size_t nth, std::string_view key, IniLine& entry) const
{
    if (keyTables_ != nullptr) {
        const KeyTable* const table = KeysOf(nth);
        if (table->Usable()) {
            return table->Find(text_, headers_[nth], key, entry);
        }
    }
    bool found = false;
    VisitEntries(nth, [&](const IniLine& line) {
        found = SameIniName(Slice(text_, line.name), key);
        if (found) {
            entry = line;
        }
        return !found;
    });
    return found;
}

bool IniIndex::FindValue(std::string_view section, std::string_view key,
                         std::string_view& value) const
{
    const std::size_t nth = FindSection(TrimIni(section));
    IniLine entry;
    if (nth == kNone || !FindEntry(nth, TrimIni(key), entry) || entry.kind != LineKind::Key) {
        return false;
    }
    value = Unquote(Slice(text_, entry.value));
    return true;
}

void IniIndex::ListSections(std::string& list) const
{
    for (std::size_t nth = 0; nth < headers_.size(); ++nth) {
        const std::string_view name = Slice(text_, Header(nth).name);
        if (!name.empty()) {
            list += name;
            list += '\0';
        }
    }
}

bool IniIndex::ListKeys(std::string_view section, std::string& list) const
{
    const std::size_t nth = FindSection(TrimIni(section));
    if (nth == kNone) {
        return false;
    }
    bool listed = false;
    VisitEntries(nth, [&](const IniLine& line) {
        if (line.kind == LineKind::Key && line.name.begin != line.name.end) {
            list += Slice(text_, line.name);
            list += '\0';
            listed = true;
        }
        return true;
    });
    return listed;
}

std::size_t IniIndex::HeldBytes() const
{
    const std::size_t keyTables = keyTables_ == nullptr ? 0 : headers_.size();
    return headers_.capacity() * sizeof(std::size_t) +
           sectionSlots_.capacity() * sizeof(SectionSlot) +
           keyTables * sizeof(std::atomic<const KeyTable*>) +
           keyTableBytes_.load(std::memory_order_relaxed);
}

}  // namespace skarvel
