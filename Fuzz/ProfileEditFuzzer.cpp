// Writes and deletions on a file made of the pieces the parser cares about, in every form a
// file may take. Each write changes only the line it concerns (and adds a header where it adds
// a section), its value reads back as Windows reads it, and the same write again changes no
// byte. Each deletion removes just the lines it names. Every lookup and listing agrees with a
// plain reading of the file's lines.
#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzFile.h"
#include "Platform.h"
#include "TextEncoding.h"

namespace {

using namespace std::string_view_literals;
using skarvel::FileEncoding;
using skarvel::fuzz::Require;

// The file is built of these, so that headers, keys, bare lines, comments, blank lines and
// every line end meet in any order; the names collide with those the calls use.
const std::string_view kFilePieces[] = {
    "[s]",  "[ S ]", "[t]",  "[]",   "[x]y]",    "[s", "k=", " K =", "j=",   "=",  "k",    "\tk",
    "a b=", "#j=",   ";",    "; k",  "v",        " ",  "\t", "\x0b", "\x1a", "\"", "'",    "=",
    "[",    "]",     "\0"sv, "\xff", "\xc3\xa9", "\n", "\n", "\r\n", "\r\n", "\r", "\n\r", "\n\n",
};
// Values are built of these: blanks at either end, quotes, '=', ';', '[' and bytes that are
// no UTF-8, all of which must read back as Windows reads them.
const std::string_view kValuePieces[] = {
    " ", "  ", "\t",  "\x0b", "\x1a",     "\"",           "'", "=", ";", "[", "]",
    "v", "w",  "x y", "\xff", "\xc3\xa9", "\xed\xa0\x80",
};
// Names that collide by case and by blanks at their ends, names of odd shapes, and one of
// each that no file holds.
const char* const kSections[] = {"s", "S", " s\t", "t", "x]y", "", "a b", "\xc3\xa9", "u"};
const char* const kKeys[] = {"k", "K", "\tk ", "j", "", "#j", "a b", "x]", "\xc3\xa9", "n"};
constexpr std::size_t kMaxFilePieces = 48;
constexpr std::size_t kMaxValuePieces = 6;
const FileEncoding kForms[] = {FileEncoding::Narrow, FileEncoding::Utf8Bom, FileEncoding::Utf16Le,
                               FileEncoding::Utf16Be};

// The writes checked in this process, reported when it ends.
struct WriteCount {
    unsigned long long writes = 0;
    ~WriteCount() { std::fprintf(stderr, "ProfileEditFuzzer: %llu writes checked\n", writes); }
} writeCount;

// Reads the input a byte at a time; zeros once it is used up.
class Input {
public:
    Input(const uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    bool Empty() const { return used_ >= size_; }
    uint8_t Next() { return used_ < size_ ? data_[used_++] : 0; }

private:
    const uint8_t* data_;
    std::size_t size_;
    std::size_t used_ = 0;
};

std::string Trim(std::string_view text)
{
    const char* const blanks = "\t\n\v\f\r\x1a ";
    const std::size_t begin = text.find_first_not_of(blanks);
    if (begin == std::string_view::npos) {
        return std::string();
    }
    return std::string(text.substr(begin, text.find_last_not_of(blanks) - begin + 1));
}

// A name or value as a lookup reads it: up to a NUL, without blanks at its ends.
std::string Field(std::string_view text)
{
    return Trim(text.substr(0, text.find('\0')));
}

bool SameName(std::string_view a, std::string_view b)
{
    const std::string x = Trim(a);
    const std::string y = Trim(b);
    if (x.size() != y.size()) {
        return false;
    }
    for (std::size_t i = 0; i < x.size(); ++i) {
        const auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c; };
        if (fold(x[i]) != fold(y[i])) {
            return false;
        }
    }
    return true;
}

// A value as Windows reads it: blanks at its ends trimmed, then one matching pair of quotes
// removed.
std::string AsRead(std::string_view value)
{
    std::string read = Trim(value);
    if (read.size() >= 2 && read.front() == read.back() &&
        (read.front() == '"' || read.front() == '\'')) {
        read = read.substr(1, read.size() - 2);
    }
    return read;
}

enum class Kind { Other, Header, Key, Bare };

// One line of the text, read plainly: its bytes, its line end, and what it is.
struct Line {
    std::string content;
    std::string end;
    Kind kind = Kind::Other;
    std::string name;
    std::string value;  // of a key, as read: quotes and all
};

Line ReadLine(std::string content, std::string end)
{
    Line line;
    line.content = std::move(content);
    line.end = std::move(end);
    const std::string trimmed = Trim(line.content);
    if (trimmed.empty() || trimmed[0] == ';') {
        return line;
    }
    if (trimmed[0] == '[' && trimmed.find(']', 1) != std::string::npos) {
        line.kind = Kind::Header;
        line.name = Field(std::string_view(trimmed).substr(1, trimmed.rfind(']') - 1));
        return line;
    }
    const std::size_t equals = trimmed.find('=');
    line.kind = equals == std::string::npos ? Kind::Bare : Kind::Key;
    line.name = Field(std::string_view(trimmed).substr(0, equals));
    if (line.kind == Kind::Key) {
        line.value = Field(std::string_view(trimmed).substr(equals + 1));
    }
    return line;
}

// The text's lines, each with its one line end: CR LF, CR or LF.
std::vector<Line> Lines(const std::string& text)
{
    std::vector<Line> lines;
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find_first_of("\r\n", start);
        end = end == std::string::npos ? text.size() : end;
        const std::size_t length = text.compare(end, 2, "\r\n") == 0 ? 2 : (end < text.size());
        lines.push_back(ReadLine(text.substr(start, end - start), text.substr(end, length)));
        start = end + length;
    }
    return lines;
}

bool IsEntry(const Line& line)
{
    return line.kind == Kind::Key || line.kind == Kind::Bare;
}

// Index of the first header named `section`, or the line count.
std::size_t FindSection(const std::vector<Line>& lines, std::string_view section)
{
    std::size_t at = 0;
    while (at < lines.size() &&
           !(lines[at].kind == Kind::Header && SameName(lines[at].name, section))) {
        ++at;
    }
    return at;
}

// Index of the first entry named `key` in the section whose header is at `header`, or the
// line count.
std::size_t FindEntry(const std::vector<Line>& lines, std::size_t header, std::string_view key)
{
    for (std::size_t at = header + 1; at < lines.size() && lines[at].kind != Kind::Header; ++at) {
        if (IsEntry(lines[at]) && SameName(lines[at].name, key)) {
            return at;
        }
    }
    return lines.size();
}

// The value a lookup finds, or "<absent>".
std::string Lookup(const std::vector<Line>& lines, std::string_view section, std::string_view key)
{
    const std::size_t header = FindSection(lines, section);
    if (header == lines.size()) {
        return "<absent>";
    }
    const std::size_t entry = FindEntry(lines, header, key);
    return entry < lines.size() && lines[entry].kind == Kind::Key ? AsRead(lines[entry].value)
                                                                  : "<absent>";
}

// The NUL-terminated names a listing gives: sections, or with `section` its first section's keys.
std::string Listing(const std::vector<Line>& lines, const char* section)
{
    std::string list;
    std::size_t at = section == nullptr ? 0 : FindSection(lines, section) + 1;
    for (; at < lines.size(); ++at) {
        const Line& line = lines[at];
        if (section != nullptr && line.kind == Kind::Header) {
            break;
        }
        if (line.kind == (section == nullptr ? Kind::Header : Kind::Key) && !line.name.empty()) {
            list += line.name + '\0';
        }
    }
    return list;
}

struct FileState {
    std::string bytes;
    skarvel::FileForm form;
    std::string text;
    std::vector<Line> lines;
    ino_t inode = 0;
};

FileState ReadFile()
{
    FileState state;
    FILE* file = std::fopen(skarvel::fuzz::ScratchPath().c_str(), "rb");
    Require(file != nullptr);
    char chunk[4096];
    for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, file)) > 0;) {
        state.bytes.append(chunk, got);
    }
    std::fclose(file);
    struct stat status;
    Require(stat(skarvel::fuzz::ScratchPath().c_str(), &status) == 0);
    state.inode = status.st_ino;
    std::string decoded;
    state.text = std::string(skarvel::DecodeProfileBytes(state.bytes, state.form, decoded));
    state.lines = Lines(state.text);
    return state;
}

std::string Get(const char* section, const char* key)
{
    char buffer[512];
    const DWORD length = GetPrivateProfileStringA(section, key, "<absent>", buffer, sizeof buffer,
                                                  skarvel::fuzz::ScratchPath().c_str());
    return std::string(buffer, length);
}

// The line ends of the lines kept: each as it was, but the line just before where lines were
// taken out or put in may end otherwise. A last line without one gains one when a line
// follows it now; a CR before a line taken out becomes CR LF, with the LF that line ended in,
// when an LF follows: joined alone, they would swallow the blank line after.
bool EndKept(const Line& before, const Line& after, bool changedNext, bool wasLast)
{
    return after.end == before.end ||
           (changedNext &&
            ((wasLast && before.end.empty()) || (before.end == "\r" && after.end == "\r\n")));
}

// After a write of `key` in `section`: only the key's line changed, or a key line (and, for a
// new section, its header) came in where a new one goes.
void CheckWriteChange(const FileState& before, const FileState& after, const std::string& section,
                      const std::string& key)
{
    const std::vector<Line>& b = before.lines;
    const std::vector<Line>& a = after.lines;
    std::size_t head = 0;
    while (head < b.size() && head < a.size() && b[head].content == a[head].content) {
        ++head;
    }
    std::size_t tail = 0;
    while (tail < b.size() - head && tail < a.size() - head &&
           b[b.size() - 1 - tail].content == a[a.size() - 1 - tail].content) {
        ++tail;
    }
    const std::size_t removed = b.size() - head - tail;
    const std::size_t added = a.size() - head - tail;
    const std::size_t header = FindSection(b, section);
    const std::size_t entry = header < b.size() ? FindEntry(b, header, key) : b.size();
    if (after.bytes == before.bytes) {
        // The key's line is what the write would make it: the file is not even replaced.
        Require(entry < b.size() && after.inode == before.inode);
    } else if (entry < b.size()) {
        // The key's line, in place, with its line end.
        Require(removed == 1 && added == 1 && head == entry);
        Require(a[head].kind == Kind::Key && SameName(a[head].name, key));
        Require(a[head].end == b[head].end);
    } else if (header < b.size()) {
        // A new key line, after the section's last entry.
        std::size_t last = header;
        for (std::size_t at = header + 1; at < b.size() && b[at].kind != Kind::Header; ++at) {
            last = IsEntry(b[at]) ? at : last;
        }
        Require(removed == 0 && added == 1 && head == last + 1);
        Require(a[head].kind == Kind::Key && SameName(a[head].name, key));
    } else {
        // A new section at the end.
        Require(removed == 0 && added == 2 && tail == 0);
        Require(a[head].kind == Kind::Header && a[head].name == Trim(section));
        Require(a[head + 1].kind == Kind::Key && SameName(a[head + 1].name, key));
    }
    for (std::size_t at = 0; at < b.size(); ++at) {
        if (at < head || at >= b.size() - tail) {
            const std::size_t kept = at < head ? at : at - removed + added;
            Require(EndKept(b[at], a[kept], at + 1 == head, at + 1 == b.size()));
        }
    }
}

// After a deletion: the lines at `doomed` (in order) are gone, and nothing else changed.
void CheckRemoved(const FileState& before, const FileState& after,
                  const std::vector<std::size_t>& doomed)
{
    const std::vector<Line>& b = before.lines;
    const std::vector<Line>& a = after.lines;
    Require(a.size() == b.size() - doomed.size());
    std::size_t next = 0;  // of `doomed`
    std::size_t kept = 0;  // of `a`
    for (std::size_t at = 0; at < b.size(); ++at) {
        if (next < doomed.size() && doomed[next] == at) {
            ++next;
            continue;
        }
        const bool removedNext = next < doomed.size() && doomed[next] == at + 1;
        Require(a[kept].content == b[at].content);
        Require(EndKept(b[at], a[kept], removedNext, false));
        ++kept;
    }
}

void CheckWrite(const std::string& section, const std::string& key, const std::string& value)
{
    const char* const path = skarvel::fuzz::ScratchPath().c_str();
    const FileState before = ReadFile();
    Require(WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), path));
    const FileState after = ReadFile();
    Require(after.form.encoding == before.form.encoding &&
            after.form.tail == before.form.tail);
    CheckWriteChange(before, after, section, key);
    Require(Get(section.c_str(), key.c_str()) == AsRead(value));
    Require(Lookup(after.lines, section, key) == AsRead(value));
    // The same write again: not a byte changes, and the file is not even replaced.
    Require(WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), path));
    const FileState again = ReadFile();
    Require(again.bytes == after.bytes && again.inode == after.inode);
    ++writeCount.writes;
}

void CheckDeleteKey(const std::string& section, const std::string& key)
{
    const FileState before = ReadFile();
    Require(WritePrivateProfileStringA(section.c_str(), key.c_str(), nullptr,
                                       skarvel::fuzz::ScratchPath().c_str()));
    // The first line of the name in the sections of that name, in file order.
    std::vector<std::size_t> doomed;
    bool inSection = false;
    for (std::size_t at = 0; at < before.lines.size() && doomed.empty(); ++at) {
        const Line& line = before.lines[at];
        if (line.kind == Kind::Header) {
            inSection = SameName(line.name, section);
        } else if (inSection && IsEntry(line) && SameName(line.name, key)) {
            doomed.push_back(at);
        }
    }
    const FileState after = ReadFile();
    CheckRemoved(before, after, doomed);
    Require(Get(section.c_str(), key.c_str()) == Lookup(after.lines, section, key));
}

void CheckDeleteSection(const std::string& section)
{
    const FileState before = ReadFile();
    Require(WritePrivateProfileStringA(section.c_str(), nullptr, nullptr,
                                       skarvel::fuzz::ScratchPath().c_str()));
    // The first header of the name and the entries under it; comments and blank lines stay.
    std::vector<std::size_t> doomed;
    const std::size_t header = FindSection(before.lines, section);
    if (header < before.lines.size()) {
        doomed.push_back(header);
        for (std::size_t at = header + 1;
             at < before.lines.size() && before.lines[at].kind != Kind::Header; ++at) {
            if (IsEntry(before.lines[at])) {
                doomed.push_back(at);
            }
        }
    }
    CheckRemoved(before, ReadFile(), doomed);
}

// Every lookup and listing of the names the calls use answers as the file's lines read.
void CheckReads()
{
    const std::vector<Line> lines = ReadFile().lines;
    Require(Get(nullptr, nullptr) == Listing(lines, nullptr));
    for (const char* section : kSections) {
        const std::string keys = Listing(lines, section);
        Require(Get(section, nullptr) == (keys.empty() ? "<absent>" : keys));
        for (const char* key : kKeys) {
            Require(Get(section, key) == Lookup(lines, section, key));
        }
    }
}

std::string MakeFile(Input& input)
{
    const FileEncoding form = kForms[input.Next() % std::size(kForms)];
    std::string text;
    for (std::size_t count = input.Next() % (kMaxFilePieces + 1); count > 0; --count) {
        text += kFilePieces[input.Next() % std::size(kFilePieces)];
    }
    return skarvel::EncodeProfileText({form, ""}, text);
}

std::string MakeValue(Input& input)
{
    std::string value;
    for (std::size_t count = input.Next() % (kMaxValuePieces + 1); count > 0; --count) {
        value += kValuePieces[input.Next() % std::size(kValuePieces)];
    }
    return value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Input input(data, size);
    skarvel::fuzz::WriteScratch(MakeFile(input));
    while (!input.Empty()) {
        const uint8_t operation = input.Next();
        const std::string section = kSections[input.Next() % std::size(kSections)];
        const std::string key = kKeys[input.Next() % std::size(kKeys)];
        switch (operation % 6) {
        case 4:
            CheckDeleteKey(section, key);
            break;
        case 5:
            CheckDeleteSection(section);
            break;
        default:
            CheckWrite(section, key, MakeValue(input));
            break;
        }
    }
    CheckReads();
    skarvel::fuzz::RemoveScratch();
    return 0;
}
