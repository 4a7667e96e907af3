// Runs seeded random sequences of profile calls on one file and prints every
// answer. Built against the POSIX store and against the Windows functions, the
// program must print the same transcript: usage StoreTranscript SEQUENCES CALLS SEED.
//
// A sequence starts from no file, or from a hand-made one in narrow or UTF-16
// form that holds what writes never make: repeated sections and keys, a bare name
// before a key of that name, a section whose one key has the empty name, an empty
// section name, comments, blank lines and every line end.
//
// The calls keep to what both stores promise alike. Left out: the empty section
// name in lookups (Wine reads "[]" as a section no lookup finds), empty key
// names in writes (Wine lists them among other keys, our store leaves them
// out), CR and LF in any text, keys with '=' or a leading '[' or ';' (the class
// refuses them), and text beyond ASCII (Wine's narrow strings are in the ANSI
// code page). The file's layout is not compared, only answers, and whether a
// write made again changes the file.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "Platform.h"

namespace {

// splitmix64: the same numbers from the same seed with every compiler and library.
class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed) {}

    std::uint64_t Next()
    {
        std::uint64_t z = (state_ += 0x9e3779b97f4a7c15ULL);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
        return z ^ (z >> 31);
    }

    // A number in [0, count).
    unsigned Below(unsigned count) { return static_cast<unsigned>(Next() % count); }

    template <std::size_t N> const char* Pick(const char* const (&items)[N])
    {
        return items[Below(N)];
    }

private:
    std::uint64_t state_;
};

const char* const kSections[] = {"Main", "Window", "two words", "x]y", "[e]", "S1", "paths", "42"};
const char* const kKeys[] = {"Key", "Width", "two words", "k;x", "#hash",
                             "a]b", "n",     "Name",      "7up"};
// Names that only reads use: the hand-made file's section whose one key has the empty name.
const char* const kReadOnlySections[] = {"Blank"};
const char* const kReadOnlyKeys[] = {""};
// The hand-made file, in narrow form.
constexpr std::string_view kHandMade = "; settings\r\n"
                                       "\r\n"
                                       "[Main]\r\n"
                                       "Key=1\n"
                                       "key=2\r"
                                       "Name\r\n"
                                       "Name=bare\r\n"
                                       "[Window]\n"
                                       "Width=3\n"
                                       "\n"
                                       "[main]\r\n"
                                       "Key=4\r\n"
                                       "Width=  5  \r\n"
                                       "[Blank]\r\n"
                                       "=v\r\n"
                                       "[]\r\n";
const char* const kValues[] = {
    "v",
    "",
    "  spaced  ",
    "\"quoted\"",
    "\" q \"",
    "'single'",
    "\"",
    "\"\"",
    "'\"",
    "a=b",
    "=x",
    "42",
    "-17",
    "+5",
    "0x1F",
    "0X1f",
    "0B11",
    "-0x10",
    "0b101",
    "0o17",
    "017",
    "  7 ",
    "  lead",
    "trail\t ",
    "' x '",
    "\t\"  q  \"\t",
    "3.9",
    "4294967297",
    "-4294967297",
    "abc",
    "x ; y",
    "\"mixed'",
    "tab\there",
    "12345678901234567890123456789012345",
    "a long value that small buffers cut somewhere in the middle",
};
const char* const kDefaults[] = {nullptr, "", "def", "def  ", "  lead", "d e f "};
// Wine keeps the trailing spaces of the default that a key list falls back on,
// where Windows and our store drop them as for any other default.
const char* const kListDefaults[] = {nullptr, "", "def", "  lead"};
// Room for any value or list these sequences make.
constexpr DWORD kWholeCapacity = 4096;
const unsigned kSizes[] = {0, 1, 2, 3, 4, 5, 6, 8, 11, 16, 24, 64, 256};
const int kIntDefaults[] = {0, 1, -1, 7};

enum class Call {
    Write,
    WriteTwice,
    DeleteKey,
    DeleteSection,
    WriteWithoutSection,
    WriteToEmptyName,
    Read,
    ListSections,
    ListKeys,
    ReadInt,
    ReadListAsInt,
};

// How often each call is drawn, in hundredths.
const struct CallWeight {
    Call call;
    unsigned weight;
} kCallWeights[] = {
    {Call::Write, 32},        {Call::WriteTwice, 6},          {Call::DeleteKey, 8},
    {Call::DeleteSection, 4}, {Call::WriteWithoutSection, 1}, {Call::WriteToEmptyName, 1},
    {Call::Read, 21},         {Call::ListSections, 6},        {Call::ListKeys, 7},
    {Call::ReadInt, 12},      {Call::ReadListAsInt, 2},
};

// True when `text` is what a value of the pool in matching quotes reads as.
bool WrittenInQuotes(const std::string& text)
{
    for (const char* value : kValues) {
        std::string_view read = value;
        while (!read.empty() && (read.front() == ' ' || read.front() == '\t')) {
            read.remove_prefix(1);
        }
        while (!read.empty() && (read.back() == ' ' || read.back() == '\t')) {
            read.remove_suffix(1);
        }
        if (read.size() >= 2 && (read.front() == '"' || read.front() == '\'') &&
            read.back() == read.front() && read.substr(1, read.size() - 2) == text) {
            return true;
        }
    }
    return false;
}

// A name with its letters in random case and, when `blanks`, sometimes blanks at its ends.
std::string Vary(Random& random, const char* base, bool blanks)
{
    std::string name = base;
    for (char& c : name) {
        if (random.Below(2) == 0) {
            if (c >= 'a' && c <= 'z') {
                c = static_cast<char>(c - 'a' + 'A');
            } else if (c >= 'A' && c <= 'Z') {
                c = static_cast<char>(c - 'A' + 'a');
            }
        }
    }
    if (!blanks) {
        return name;
    }
    const char* const ends[] = {"", "", "", " ", "\t", "  "};
    return random.Pick(ends) + name + random.Pick(ends);
}

// Text with every byte outside printable ASCII, and the backslash, escaped.
std::string Escaped(const char* text, std::size_t length)
{
    std::string out;
    for (std::size_t i = 0; i < length; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '\\') {
            out += "\\\\";
        } else if (c >= 0x20 && c < 0x7f) {
            out += static_cast<char>(c);
        } else {
            char code[8];
            std::snprintf(code, sizeof code, "\\x%02x", c);
            out += code;
        }
    }
    return out;
}

std::string Quoted(const char* text)
{
    return text == nullptr ? std::string("null") : "\"" + Escaped(text, std::strlen(text)) + "\"";
}

class Transcript {
public:
    Transcript(Random& random, const std::string& path) : random_(random), path_(path) {}

    void RunCall(unsigned call)
    {
        // Wine trusts a parse of the file that is a few seconds old; a flush makes
        // it read the file as it is, which is what Windows and our store always do.
        WritePrivateProfileStringA(nullptr, nullptr, nullptr, path_.c_str());
        std::printf("%u ", call);
        const Call kind = PickCall();
        // Wine trims the blanks at the ends of a caller's names when it looks up
        // or writes a value, but not when it deletes or lists a section's keys;
        // our store trims them for every match, as a caller would expect.
        const bool blanks = kind == Call::Write || kind == Call::Read || kind == Call::ReadInt;
        const bool read = kind == Call::Read || kind == Call::ListKeys || kind == Call::ReadInt ||
                          kind == Call::ReadListAsInt;
        const bool readOnlySection = read && random_.Below(8) == 0;
        const bool readOnlyKey = read && random_.Below(8) == 0;
        const std::string section = Vary(
            random_, readOnlySection ? random_.Pick(kReadOnlySections) : random_.Pick(kSections),
            blanks);
        const std::string key =
            Vary(random_, readOnlyKey ? random_.Pick(kReadOnlyKeys) : random_.Pick(kKeys), blanks);
        switch (kind) {
        case Call::Write:
            Write(section.c_str(), key.c_str(), random_.Pick(kValues));
            break;
        case Call::WriteTwice:
            WriteTwice(section.c_str(), key.c_str(), random_.Pick(kValues));
            break;
        case Call::DeleteKey:
            Write(section.c_str(), key.c_str(), nullptr);
            break;
        case Call::DeleteSection:
            Write(section.c_str(), nullptr, nullptr);
            break;
        case Call::WriteWithoutSection:
            Write(nullptr, key.c_str(), random_.Below(4) == 0 ? nullptr : random_.Pick(kValues));
            break;
        case Call::WriteToEmptyName:
            Write(section.c_str(), random_.Below(4) == 0 ? nullptr : key.c_str(),
                  random_.Below(4) == 0 ? nullptr : random_.Pick(kValues), "");
            break;
        case Call::Read:
            GetString(section.c_str(), key.c_str());
            break;
        case Call::ListSections:
            GetString(nullptr, key.c_str());
            break;
        case Call::ListKeys:
            GetString(section.c_str(), nullptr);
            break;
        case Call::ReadInt:
            GetInt(section.c_str(), key.c_str());
            break;
        case Call::ReadListAsInt:
            GetInt(random_.Below(2) == 0 ? nullptr : section.c_str(), nullptr);
            break;
        }
    }

private:
    // A write and its answer; a refused write shows the error it left.
    void Write(const char* section, const char* key, const char* value, const char* path = nullptr)
    {
        const BOOL answer =
            WritePrivateProfileStringA(section, key, value, path == nullptr ? path_.c_str() : path);
        std::printf("write %s %s %s%s -> %d", Quoted(section).c_str(), Quoted(key).c_str(),
                    Quoted(value).c_str(), path == nullptr ? "" : (" to " + Quoted(path)).c_str(),
                    answer != 0);
        if (answer == 0) {
            std::printf(" error %lu", static_cast<unsigned long>(GetLastError()));
        }
        std::printf("\n");
    }

    // A write made twice at once: the second must leave the file's bytes as the first
    // left them. Its names have no blanks at their ends: Wine writes a new name with
    // them, then, reading the file afresh, takes the same write for a change and lays
    // the whole file out anew. Nor is Wine made to read the file afresh in between.
    void WriteTwice(const char* section, const char* key, const char* value)
    {
        Write(section, key, value);
        const std::string first = FileBytes();
        Write(section, key, value);
        std::printf("file %s\n", FileBytes() == first ? "unchanged" : "changed");
    }

    std::string FileBytes() const
    {
        std::string bytes;
        if (FILE* file = std::fopen(path_.c_str(), "rb")) {
            char chunk[4096];
            for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, file)) > 0;) {
                bytes.append(chunk, got);
            }
            std::fclose(file);
        }
        return bytes;
    }

    // Every byte of the buffer is shown, and a few beyond it, so that bytes
    // written after the terminator or past the size show too.
    void GetString(const char* section, const char* key)
    {
        const bool list = section == nullptr || key == nullptr;
        const char* def = list ? random_.Pick(kListDefaults) : random_.Pick(kDefaults);
        unsigned size = kSizes[random_.Below(sizeof kSizes / sizeof kSizes[0])];
        size = list ? ListSize(section, key, size) : ValueSize(section, key, size);
        std::string buffer(size + 4, '#');
        const DWORD answer =
            GetPrivateProfileStringA(section, key, def, &buffer[0], size, path_.c_str());
        // A list cut to fit ends in two terminators on Windows and in our store;
        // Wine leaves the buffer's last byte alone, so that byte is not shown.
        if (list && size >= 2 && answer == size - 2) {
            buffer[size - 1] = '?';
        }
        std::printf("get %s %s %s %u -> %lu [%s]\n", Quoted(section).c_str(), Quoted(key).c_str(),
                    Quoted(def).c_str(), size, static_cast<unsigned long>(answer),
                    Escaped(buffer.data(), buffer.size()).c_str());
    }

    // The size for a list, kept clear of a buffer of 2 for a key list, where Wine
    // delivers the default. A buffer that the list fills exactly, terminators
    // included, is drawn as often as the others: both stores cut the list there.
    unsigned ListSize(const char* section, const char* key, unsigned size)
    {
        if (key == nullptr && size == 2) {
            size = 3;
        }
        return random_.Below(4) == 0 ? static_cast<unsigned>(Whole(section, key).size()) + 1 : size;
    }

    // The size for a value, kept clear of a quoted value that fills the buffer
    // exactly: Wine then drops its last character.
    unsigned ValueSize(const char* section, const char* key, unsigned size)
    {
        const std::string value = Whole(section, key);
        return size == value.size() + 1 && WrittenInQuotes(value) ? size + 1 : size;
    }

    // The whole answer to a read, without a default.
    std::string Whole(const char* section, const char* key)
    {
        WritePrivateProfileStringA(nullptr, nullptr, nullptr, path_.c_str());
        std::string whole(kWholeCapacity, '\0');
        const DWORD length =
            GetPrivateProfileStringA(section, key, "", &whole[0], kWholeCapacity, path_.c_str());
        whole.resize(length);
        return whole;
    }

    void GetInt(const char* section, const char* key)
    {
        const int def = kIntDefaults[random_.Below(sizeof kIntDefaults / sizeof kIntDefaults[0])];
        const UINT answer = GetPrivateProfileIntA(section, key, def, path_.c_str());
        std::printf("int %s %s %d -> %u\n", Quoted(section).c_str(), Quoted(key).c_str(), def,
                    answer);
    }

    Call PickCall()
    {
        unsigned total = 0;
        for (const CallWeight& entry : kCallWeights) {
            total += entry.weight;
        }
        unsigned draw = random_.Below(total);
        std::size_t index = 0;
        while (draw >= kCallWeights[index].weight) {
            draw -= kCallWeights[index].weight;
            ++index;
        }
        return kCallWeights[index].call;
    }

    Random& random_;
    std::string path_;
};

// Writes the hand-made file at `path`, narrow or as UTF-16LE with its mark.
void WriteHandMade(const std::string& path, bool utf16)
{
    std::string bytes = utf16 ? "\xFF\xFE" : "";
    for (const char c : kHandMade) {
        bytes += c;
        if (utf16) {
            bytes += '\0';
        }
    }
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size() ||
        std::fclose(file) != 0) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        std::exit(1);
    }
}

// The path of a file beside this program.
std::string FileBesideProgram(const char* name)
{
    char path[MAX_PATH] = {};
    GetModuleFileNameA(GetModuleHandleA(nullptr), path, sizeof path);
    PathRemoveFileSpecA(path);
    return std::string(path) + "/" + name;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s SEQUENCES CALLS SEED\n", argv[0]);
        return 2;
    }
    const unsigned sequences = static_cast<unsigned>(std::strtoul(argv[1], nullptr, 10));
    const unsigned calls = static_cast<unsigned>(std::strtoul(argv[2], nullptr, 10));
    Random random(std::strtoull(argv[3], nullptr, 10));
    const std::string path = FileBesideProgram("StoreTranscript.ini");

    for (unsigned sequence = 0; sequence < sequences; ++sequence) {
        std::remove(path.c_str());
        const unsigned start = random.Below(3);
        std::printf("sequence %u from %s\n", sequence,
                    start == 0 ? "no file" : (start == 1 ? "a narrow file" : "a UTF-16 file"));
        if (start != 0) {
            WriteHandMade(path, start == 2);
        }
        Transcript transcript(random, path);
        for (unsigned call = 0; call < calls; ++call) {
            transcript.RunCall(call);
        }
    }
    std::remove(path.c_str());
    return 0;
}
