#include "TextEncoding.h"

#include <cstdint>
#include <utility>
#include <vector>

namespace skarvel {
namespace {

const char kUtf8Bom[] = "\xEF\xBB\xBF";
const char kUtf16LeBom[] = "\xFF\xFE";
const char kUtf16BeBom[] = "\xFE\xFF";

// Narrow text and UTF-16 map one to one, so that decoding a file and encoding it again gives
// its bytes back, and encoding any narrow text and decoding it again (a value written and read
// back) gives that text back:
// - a character is UTF-8 in the narrow text and UTF-16 in the file;
// - a lone surrogate of the file is its three-byte form in the narrow text, as UTF-8 would
//   write its number, except that a lone DC80..DCFF is the single byte 80..FF where that byte
//   cannot be read as the start of anything else;
// - any other narrow byte is DC80 + byte in the file, among them the bytes of a three-byte
//   form that decoding would not have written: one of DC80..DCFF where the single byte would
//   do, and one of a high surrogate before what encodes to a low one, which the file would
//   read as a pair.
// What a byte starts depends only on the bytes after it, so the roles of the narrow text's
// positions are worked out from its end.
constexpr uint8_t kLoneByte = 1;     // the byte there stands for DC80 + byte
constexpr uint8_t kEncodesLow = 2;   // what starts there encodes to a low surrogate first
constexpr uint8_t kFormAfterEd = 4;  // an ED just before would start a three-byte form

bool StartsWith(std::string_view bytes, std::string_view prefix)
{
    return bytes.substr(0, prefix.size()) == prefix;
}

bool IsHighSurrogate(uint32_t unit)
{
    return unit >= 0xD800 && unit <= 0xDBFF;
}

bool IsLowSurrogate(uint32_t unit)
{
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

// The low surrogates a single narrow byte 80..FF can stand for.
bool IsByteSurrogate(uint32_t unit)
{
    return unit >= 0xDC80 && unit <= 0xDCFF;
}

uint8_t ByteAt(std::string_view text, size_t at)
{
    return static_cast<uint8_t>(text[at]);
}

bool IsContinuation(std::string_view text, size_t at)
{
    return at < text.size() && (ByteAt(text, at) & 0xC0) == 0x80;
}

// Length of the well-formed UTF-8 character that `lead` starts when the text from `at`
// follows it, or 0. Three-byte forms of surrogates are no characters.
size_t CharacterLength(uint8_t lead, std::string_view text, size_t at)
{
    size_t length = 0;
    uint8_t low = 0x80;
    uint8_t high = 0xBF;  // the second byte's range
    if (lead < 0x80) {
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : low;
        high = lead == 0xED ? 0x9F : high;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : low;
        high = lead == 0xF4 ? 0x8F : high;
    } else {
        return 0;
    }
    if (at >= text.size() || ByteAt(text, at) < low || ByteAt(text, at) > high) {
        return 0;
    }
    for (size_t i = 1; i + 1 < length; ++i) {
        if (!IsContinuation(text, at + i)) {
            return 0;
        }
    }
    return length;
}

// The surrogate whose three-byte form is ED and the two bytes at `at`, or 0.
uint32_t SurrogateAfterEd(std::string_view text, size_t at)
{
    if (at + 1 >= text.size() || ByteAt(text, at) < 0xA0 || ByteAt(text, at) > 0xBF ||
        !IsContinuation(text, at + 1)) {
        return 0;
    }
    return 0xD000 | (ByteAt(text, at) & 0x3F) << 6 | (ByteAt(text, at + 1) & 0x3F);
}

// The roles of narrow text's positions, filled from its end: each position's from the text
// and the roles of the positions after it.
class NarrowRoles {
public:
    explicit NarrowRoles(std::string_view text) : text_(text), roles_(text.size() + 1, 0) {}

    uint8_t At(size_t at) const { return roles_[at]; }

    // Works out the roles of position `at`, those of every later position being known.
    void Settle(size_t at)
    {
        uint8_t roles = 0;
        const uint32_t unit = SurrogateAfterEd(text_, at);
        if (unit != 0 && FormCounts(unit, at + 2)) {
            roles |= kFormAfterEd;
        }
        const uint8_t lead = ByteAt(text_, at);
        if (CharacterLength(lead, text_, at + 1) == 0) {
            if (lead == 0xED && (roles_[at + 1] & kFormAfterEd) != 0) {
                roles |= IsLowSurrogate(SurrogateAfterEd(text_, at + 1)) ? kEncodesLow : 0;
            } else {
                roles |= kLoneByte | kEncodesLow;
            }
        }
        roles_[at] = roles;
    }

    // True when the byte `lead`, just before position `at`, would start a character or a
    // three-byte form rather than stand alone.
    bool StartsSomething(uint8_t lead, size_t at) const
    {
        return CharacterLength(lead, text_, at) != 0 ||
               (lead == 0xED && (roles_[at] & kFormAfterEd) != 0);
    }

private:
    // True when the three-byte form of `unit`, followed by the text from `at`, is read as
    // that surrogate.
    bool FormCounts(uint32_t unit, size_t at) const
    {
        if (IsHighSurrogate(unit)) {
            return (roles_[at] & kEncodesLow) == 0;
        }
        return !IsByteSurrogate(unit) || StartsSomething(static_cast<uint8_t>(unit & 0xFF), at);
    }

    std::string_view text_;
    std::vector<uint8_t> roles_;
};

// Appends `code` (any value up to 0x10FFFF, surrogates included) in UTF-8 form.
void AppendUtf8(std::string& text, uint32_t code)
{
    if (code < 0x80) {
        text += static_cast<char>(code);
    } else if (code < 0x800) {
        text += static_cast<char>(0xC0 | (code >> 6));
        text += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        text += static_cast<char>(0xE0 | (code >> 12));
        text += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        text += static_cast<char>(0xF0 | (code >> 18));
        text += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        text += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (code & 0x3F));
    }
}

void AppendUtf16(std::string& bytes, uint32_t unit, bool bigEndian)
{
    const char high = static_cast<char>(unit >> 8);
    const char low = static_cast<char>(unit & 0xFF);
    bytes += bigEndian ? high : low;
    bytes += bigEndian ? low : high;
}

// Decodes from the last unit to the first, since how a lone DC80..DCFF is written depends on
// the text after it; the text grows from the end of a buffer large enough for any units.
std::string DecodeUtf16(std::string_view bytes, size_t begin, size_t end, bool bigEndian)
{
    const auto unitAt = [&](size_t i) {
        const uint32_t first = static_cast<uint8_t>(bytes[i]);
        const uint32_t second = static_cast<uint8_t>(bytes[i + 1]);
        return bigEndian ? (first << 8) | second : (second << 8) | first;
    };
    std::string text(3 * ((end - begin) / 2), '\0');
    NarrowRoles roles(text);
    size_t start = text.size();  // where the text decoded so far starts
    std::string piece;
    for (size_t i = end; i >= begin + 2;) {
        i -= 2;
        uint32_t code = unitAt(i);
        if (IsLowSurrogate(code) && i >= begin + 2 && IsHighSurrogate(unitAt(i - 2))) {
            i -= 2;
            code = 0x10000 + ((unitAt(i) - 0xD800) << 10) + (code - 0xDC00);
        }
        piece.clear();
        const uint8_t byte = static_cast<uint8_t>(code & 0xFF);
        if (IsByteSurrogate(code) && !roles.StartsSomething(byte, start)) {
            piece += static_cast<char>(byte);
        } else {
            AppendUtf8(piece, code);
        }
        start -= piece.size();
        text.replace(start, piece.size(), piece);
        for (size_t at = start + piece.size(); at-- > start;) {
            roles.Settle(at);
        }
    }
    return text.substr(start);
}

std::string EncodeUtf16(std::string_view text, bool bigEndian)
{
    NarrowRoles roles(text);
    for (size_t at = text.size(); at-- > 0;) {
        roles.Settle(at);
    }
    std::string bytes;
    bytes.reserve(text.size() * 2);
    for (size_t at = 0; at < text.size();) {
        const uint8_t lead = ByteAt(text, at);
        const size_t length = CharacterLength(lead, text, at + 1);
        if (length == 0) {
            const bool lone = (roles.At(at) & kLoneByte) != 0;
            AppendUtf16(bytes, lone ? 0xDC00 + lead : SurrogateAfterEd(text, at + 1), bigEndian);
            at += lone ? 1 : 3;
            continue;
        }
        uint32_t code = length == 1 ? lead : lead & (0xFF >> (length + 1));
        for (size_t i = 1; i < length; ++i) {
            code = (code << 6) | (ByteAt(text, at + i) & 0x3F);
        }
        at += length;
        if (code >= 0x10000) {
            AppendUtf16(bytes, 0xD800 + ((code - 0x10000) >> 10), bigEndian);
            AppendUtf16(bytes, 0xDC00 + ((code - 0x10000) & 0x3FF), bigEndian);
        } else {
            AppendUtf16(bytes, code, bigEndian);
        }
    }
    return bytes;
}

}  // namespace

std::string_view DecodeProfileBytes(std::string_view bytes, FileForm& form, std::string& decoded)
{
    const bool littleEndian = StartsWith(bytes, kUtf16LeBom);
    if (littleEndian || StartsWith(bytes, kUtf16BeBom)) {
        form.encoding = littleEndian ? FileEncoding::Utf16Le : FileEncoding::Utf16Be;
        const size_t end = bytes.size() - (bytes.size() % 2);
        decoded = DecodeUtf16(bytes, 2, end, !littleEndian);
        form.tail = std::string(bytes.substr(end));
        return decoded;
    }
    form.tail.clear();
    if (StartsWith(bytes, kUtf8Bom)) {
        form.encoding = FileEncoding::Utf8Bom;
        return bytes.substr(3);
    }
    form.encoding = FileEncoding::Narrow;
    return bytes;
}

std::string_view ByteOrderMark(FileEncoding encoding)
{
    switch (encoding) {
    case FileEncoding::Utf8Bom:
        return kUtf8Bom;
    case FileEncoding::Utf16Le:
        return kUtf16LeBom;
    case FileEncoding::Utf16Be:
        return kUtf16BeBom;
    case FileEncoding::Narrow:
        break;
    }
    return {};
}

std::string EncodeProfileText(const FileForm& form, std::string_view text)
{
    std::string bytes(ByteOrderMark(form.encoding));
    switch (form.encoding) {
    case FileEncoding::Utf16Le:
    case FileEncoding::Utf16Be:
        bytes += EncodeUtf16(text, form.encoding == FileEncoding::Utf16Be);
        bytes += form.tail;
        return bytes;
    case FileEncoding::Utf8Bom:
    case FileEncoding::Narrow:
        break;
    }
    return bytes += text;
}

}  // namespace skarvel
