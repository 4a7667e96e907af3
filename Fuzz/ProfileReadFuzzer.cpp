// Arbitrary bytes as a profile file: decoding gives the bytes back, and lookups
// and listings with buffers of every size stay inside them and agree. The same
// bytes as narrow text come back from a UTF-16 file.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzFile.h"
#include "Platform.h"
#include "TextEncoding.h"

namespace {

using skarvel::fuzz::Require;

// Buffer sizes that cut most answers.
constexpr DWORD kSmallSizes[] = {1, 2, 3, 8};
// Enough names per listing to reach every kind of line without slowing each run.
constexpr size_t kNamesVisited = 16;

// A buffer size that cuts no answer: no text, as UTF-8, is twice its file's size.
DWORD largeSize = 0;

// The answer and the bytes of one GetPrivateProfileStringA call into a buffer
// of exactly `size` bytes, so that the sanitizer sees any write beyond it. The
// default is empty, as the listing of a section without keys then reads.
std::string Get(const char* section, const char* key, DWORD size, DWORD& answer)
{
    std::vector<char> buffer(size, 'x');
    answer = GetPrivateProfileStringA(section, key, "", buffer.data(), size,
                                      skarvel::fuzz::ScratchPath().c_str());
    return std::string(buffer.data(), buffer.size());
}

std::vector<std::string> Names(const std::string& list)
{
    std::vector<std::string> names;
    for (size_t start = 0; start < list.size() && list[start] != '\0';) {
        const size_t end = list.find('\0', start);
        names.push_back(list.substr(start, end - start));
        start = end + 1;
    }
    return names;
}

// Lists with the large buffer, then checks that every small buffer with a byte to
// spare holds the list, and every other the list's start and two terminators;
// answers the names.
std::vector<std::string> CheckListing(const char* section)
{
    DWORD length = 0;
    const std::string full = Get(section, nullptr, largeSize, length);
    Require(length + 1 < largeSize && full[length] == '\0');
    for (const DWORD size : kSmallSizes) {
        DWORD answer = 0;
        const std::string cut = Get(section, nullptr, size, answer);
        if (length + 2 <= size) {
            Require(answer == length && cut.compare(0, length + 1, full, 0, length + 1) == 0);
        } else if (size >= 2) {
            Require(answer == size - 2 && cut.compare(0, size - 2, full, 0, size - 2) == 0 &&
                    cut[size - 2] == '\0' && cut[size - 1] == '\0');
        }
    }
    return Names(full.substr(0, length + 1));
}

// Looks `key` up with every buffer size: each answer is the value's start.
void CheckLookup(const std::string& section, const std::string& key)
{
    DWORD length = 0;
    const std::string full = Get(section.c_str(), key.c_str(), largeSize, length);
    Require(length < largeSize - 1 && strlen(full.c_str()) == length);
    for (const DWORD size : kSmallSizes) {
        DWORD answer = 0;
        const std::string cut = Get(section.c_str(), key.c_str(), size, answer);
        Require(answer == (length < size ? length : size - 1));
        Require(cut.compare(0, answer, full, 0, answer) == 0 && cut[answer] == '\0');
    }
    GetPrivateProfileIntA(section.c_str(), key.c_str(), 7, skarvel::fuzz::ScratchPath().c_str());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    skarvel::FileForm form;
    std::string decoded;
    const std::string_view text = skarvel::DecodeProfileBytes(bytes, form, decoded);
    Require(skarvel::EncodeProfileText(form, text) == bytes);
    const skarvel::FileForm utf16 = {skarvel::FileEncoding::Utf16Le, ""};
    const std::string encoded = skarvel::EncodeProfileText(utf16, bytes);
    Require(skarvel::DecodeProfileBytes(encoded, form, decoded) == bytes);

    skarvel::fuzz::WriteScratch(bytes);
    largeSize = static_cast<DWORD>(2 * size + 16);
    const std::vector<std::string> sections = CheckListing(nullptr);
    for (size_t s = 0; s < sections.size() && s < kNamesVisited; ++s) {
        const std::vector<std::string> keys = CheckListing(sections[s].c_str());
        for (size_t k = 0; k < keys.size() && k < kNamesVisited; ++k) {
            CheckLookup(sections[s], keys[k]);
        }
        CheckLookup(sections[s], "missing key");
    }
    CheckLookup("missing section", "k");
    return 0;
}
