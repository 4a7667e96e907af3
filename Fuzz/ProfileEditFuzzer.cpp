// A sequence of writes and deletions against a model of the file: after each
// step every read answers what the model holds, and the lines the step did not
// concern keep their bytes.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "FuzzFile.h"
#include "Platform.h"
#include "TextEncoding.h"

namespace {

using namespace std::string_literals;
using skarvel::fuzz::Require;

// Names that collide by case and by blanks at their ends, and names of odd
// shapes the store must keep apart.
const char* const kSections[] = {"s", "S", " s\t", "t", "x]y", "", "a b", "\xc3\xa9"};
const char* const kKeys[] = {"k", "K", "\tk ", "j", "", "#j", "a b", "x]", "\xc3\xa9"};
// Text before the first section, in each line-end style and encoding.
const std::string kPreambles[] = {"", "; notes\n\n", "; notes\r\n  odd line \r\n",
                                  "\xef\xbb\xbf; marked\n", "\xff\xfe;\0\n\0"s};
constexpr size_t kMaxValueLength = 12;

std::string Trim(const std::string& name)
{
    const char* const blanks = "\t\n\v\f\r\x1a ";
    const size_t begin = name.find_first_not_of(blanks);
    if (begin == std::string::npos) {
        return std::string();
    }
    return name.substr(begin, name.find_last_not_of(blanks) - begin + 1);
}

bool SameName(const std::string& a, const std::string& b)
{
    const std::string x = Trim(a);
    const std::string y = Trim(b);
    if (x.size() != y.size()) {
        return false;
    }
    for (size_t i = 0; i < x.size(); ++i) {
        const auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c; };
        if (fold(x[i]) != fold(y[i])) {
            return false;
        }
    }
    return true;
}

struct Entry {
    std::string name;
    std::string value;
};

struct Section {
    std::string name;
    std::vector<Entry> entries;
};

// What the file should hold, in file order.
class Model {
public:
    void Set(const std::string& section, const std::string& key, const std::string& value)
    {
        Section* found = Find(section);
        if (found == nullptr) {
            sections_.push_back({Trim(section), {}});
            found = &sections_.back();
        }
        for (Entry& entry : found->entries) {
            if (SameName(entry.name, key)) {
                entry.value = value;
                return;
            }
        }
        found->entries.push_back({Trim(key), value});
    }

    void DeleteKey(const std::string& section, const std::string& key)
    {
        if (Section* found = Find(section)) {
            for (size_t i = 0; i < found->entries.size(); ++i) {
                if (SameName(found->entries[i].name, key)) {
                    found->entries.erase(found->entries.begin() + static_cast<long>(i));
                    return;
                }
            }
        }
    }

    void DeleteSection(const std::string& section)
    {
        for (size_t i = 0; i < sections_.size(); ++i) {
            if (SameName(sections_[i].name, section)) {
                sections_.erase(sections_.begin() + static_cast<long>(i));
                return;
            }
        }
    }

    const std::vector<Section>& Sections() const { return sections_; }

private:
    Section* Find(const std::string& section)
    {
        for (Section& candidate : sections_) {
            if (SameName(candidate.name, section)) {
                return &candidate;
            }
        }
        return nullptr;
    }

    std::vector<Section> sections_;
};

// Reads the input a byte at a time; zeros once it is used up.
class Input {
public:
    Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    bool Empty() const { return used_ >= size_; }
    uint8_t Next() { return used_ < size_ ? data_[used_++] : 0; }

private:
    const uint8_t* data_;
    size_t size_;
    size_t used_ = 0;
};

// A value that reads back as written: printable, no blanks at its ends and not
// enclosed in a pair of quotes.
std::string MakeValue(Input& input)
{
    std::string value;
    const size_t length = input.Next() % (kMaxValueLength + 1);
    for (size_t i = 0; i < length; ++i) {
        value += static_cast<char>(' ' + input.Next() % 95);
    }
    value = Trim(value);
    if (value.size() >= 2 && value.front() == value.back() &&
        (value.front() == '"' || value.front() == '\'')) {
        value += '.';
    }
    return value;
}

std::string FileText()
{
    std::string bytes;
    FILE* file = std::fopen(skarvel::fuzz::ScratchPath().c_str(), "rb");
    Require(file != nullptr);
    char chunk[4096];
    for (size_t got; (got = std::fread(chunk, 1, sizeof chunk, file)) > 0;) {
        bytes.append(chunk, got);
    }
    std::fclose(file);
    return skarvel::DecodeProfileBytes(bytes).text;
}

// The text's lines, each with its line end.
std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find_first_of("\r\n", start);
        end = end == std::string::npos ? text.size() : text.find_first_not_of("\r\n", end);
        end = end == std::string::npos ? text.size() : end;
        lines.push_back(text.substr(start, end - start));
        start = end;
    }
    return lines;
}

std::string Read(const std::string& section, const std::string& key)
{
    char value[64];
    GetPrivateProfileStringA(section.c_str(), key.c_str(), "<absent>", value, sizeof value,
                             skarvel::fuzz::ScratchPath().c_str());
    return value;
}

// Every name and value the model holds reads back, and names it lacks read as absent.
void CheckReads(const Model& model)
{
    for (const Section& section : model.Sections()) {
        for (const Entry& entry : section.entries) {
            Require(Read(section.name, entry.name) == entry.value);
        }
    }
    for (const char* section : kSections) {
        for (const char* key : kKeys) {
            bool held = false;
            for (const Section& candidate : model.Sections()) {
                for (const Entry& entry : candidate.entries) {
                    held = held || (SameName(candidate.name, section) && SameName(entry.name, key));
                }
            }
            Require(held || Read(section, key) == "<absent>");
        }
    }
}

bool IsHeaderOf(const std::string& line, const std::string& section)
{
    const std::string trimmed = Trim(line);
    return trimmed.size() >= 2 && trimmed.front() == '[' && trimmed.back() == ']' &&
           SameName(trimmed.substr(1, trimmed.size() - 2), section);
}

bool IsKeyLineOf(const std::string& line, const std::string& key)
{
    const size_t equals = line.find('=');
    return equals != std::string::npos && SameName(line.substr(0, equals), key);
}

// The lines that differ between `before` and `after`, after their common start
// and common end are taken away.
void ChangedLines(const std::vector<std::string>& before, const std::vector<std::string>& after,
                  std::vector<std::string>& removed, std::vector<std::string>& added)
{
    size_t head = 0;
    while (head < before.size() && head < after.size() && before[head] == after[head]) {
        ++head;
    }
    size_t tail = 0;
    while (tail < before.size() - head && tail < after.size() - head &&
           before[before.size() - 1 - tail] == after[after.size() - 1 - tail]) {
        ++tail;
    }
    removed.assign(before.begin() + static_cast<long>(head),
                   before.end() - static_cast<long>(tail));
    added.assign(after.begin() + static_cast<long>(head), after.end() - static_cast<long>(tail));
}

// Only the key's own line (and a new section's header) may come or go.
void CheckKeyStep(const std::vector<std::string>& before, const std::vector<std::string>& after,
                  const std::string& section, const std::string& key)
{
    std::vector<std::string> removed;
    std::vector<std::string> added;
    ChangedLines(before, after, removed, added);
    Require(removed.size() <= 1 && added.size() <= 2);
    for (const std::string& line : removed) {
        Require(IsKeyLineOf(line, key));
    }
    for (const std::string& line : added) {
        Require(IsKeyLineOf(line, key) || IsHeaderOf(line, section));
    }
}

// Only the section's header and the key lines under it go.
void CheckSectionStep(const std::vector<std::string>& before, const std::vector<std::string>& after,
                      const std::string& section)
{
    std::vector<std::string> removed;
    std::vector<std::string> added;
    ChangedLines(before, after, removed, added);
    Require(added.empty());
    for (size_t i = 0; i < removed.size(); ++i) {
        Require(i == 0
                    ? IsHeaderOf(removed[i], section)
                    : removed[i].find('=') != std::string::npos && Trim(removed[i]).front() != '[');
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Input input(data, size);
    const size_t preamble = input.Next() % (sizeof kPreambles / sizeof kPreambles[0]);
    skarvel::fuzz::WriteScratch(kPreambles[preamble]);
    const char* const path = skarvel::fuzz::ScratchPath().c_str();

    Model model;
    while (!input.Empty()) {
        const uint8_t operation = input.Next();
        const std::string section =
            kSections[input.Next() % (sizeof kSections / sizeof kSections[0])];
        const std::string key = kKeys[input.Next() % (sizeof kKeys / sizeof kKeys[0])];
        const std::vector<std::string> before = Lines(FileText());
        switch (operation % 4) {
        case 0:
        case 1: {
            const std::string value = MakeValue(input);
            Require(WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), path));
            model.Set(section, key, value);
            CheckKeyStep(before, Lines(FileText()), section, key);
            break;
        }
        case 2:
            Require(WritePrivateProfileStringA(section.c_str(), key.c_str(), nullptr, path));
            model.DeleteKey(section, key);
            CheckKeyStep(before, Lines(FileText()), section, key);
            break;
        default:
            Require(WritePrivateProfileStringA(section.c_str(), nullptr, nullptr, path));
            model.DeleteSection(section);
            CheckSectionStep(before, Lines(FileText()), section);
            break;
        }
        CheckReads(model);
    }
    skarvel::fuzz::RemoveScratch();
    return 0;
}
