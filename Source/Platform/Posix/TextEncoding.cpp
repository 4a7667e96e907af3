#include "TextEncoding.h"

#include <cstdint>
#include <utility>

namespace skarvel {
namespace {

const char kUtf8Bom[] = "\xEF\xBB\xBF";
const char kUtf16LeBom[] = "\xFF\xFE";
const char kUtf16BeBom[] = "\xFE\xFF";
constexpr uint32_t kReplacementCharacter = 0xFFFD;

bool StartsWith(const std::string& bytes, const char* prefix, size_t length)
{
    return bytes.size() >= length && bytes.compare(0, length, prefix, length) == 0;
}

bool IsHighSurrogate(uint32_t unit)
{
    return unit >= 0xD800 && unit <= 0xDBFF;
}

bool IsLowSurrogate(uint32_t unit)
{
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

// Appends `code` (any value up to 0x10FFFF, lone surrogates included) in UTF-8 form.
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

// Reads one code point at `at`, advancing past it: the UTF-8 forms (three-byte
// surrogates included), and the replacement character for each byte that
// starts no well-formed sequence.
uint32_t NextCodePoint(const std::string& text, size_t& at)
{
    const auto byte = [&](size_t i) { return static_cast<uint8_t>(text[i]); };
    const uint8_t lead = byte(at);
    size_t length = 0;
    uint32_t code = 0;
    uint32_t minimum = 0;
    if (lead < 0x80) {
        ++at;
        return lead;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, code = lead & 0x1F, minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, code = lead & 0x0F, minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, code = lead & 0x07, minimum = 0x10000;
    }
    if (length == 0 || at + length > text.size()) {
        ++at;
        return kReplacementCharacter;
    }
    for (size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) {
            ++at;
            return kReplacementCharacter;
        }
        code = (code << 6) | (byte(at + i) & 0x3F);
    }
    if (code < minimum || code > 0x10FFFF) {
        ++at;
        return kReplacementCharacter;
    }
    at += length;
    return code;
}

std::string DecodeUtf16(const std::string& bytes, size_t begin, size_t end, bool bigEndian)
{
    const auto unitAt = [&](size_t i) {
        const uint32_t first = static_cast<uint8_t>(bytes[i]);
        const uint32_t second = static_cast<uint8_t>(bytes[i + 1]);
        return bigEndian ? (first << 8) | second : (second << 8) | first;
    };
    std::string text;
    text.reserve((end - begin) / 2);
    for (size_t i = begin; i + 1 < end; i += 2) {
        const uint32_t unit = unitAt(i);
        if (IsHighSurrogate(unit) && i + 3 < end && IsLowSurrogate(unitAt(i + 2))) {
            AppendUtf8(text, 0x10000 + ((unit - 0xD800) << 10) + (unitAt(i + 2) - 0xDC00));
            i += 2;
        } else {
            AppendUtf8(text, unit);
        }
    }
    return text;
}

std::string EncodeUtf16(const std::string& text, bool bigEndian)
{
    std::string bytes;
    bytes.reserve(text.size() * 2);
    for (size_t at = 0; at < text.size();) {
        const uint32_t code = NextCodePoint(text, at);
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

DecodedText DecodeProfileBytes(std::string bytes)
{
    DecodedText decoded;
    const bool littleEndian = StartsWith(bytes, kUtf16LeBom, 2);
    if (littleEndian || StartsWith(bytes, kUtf16BeBom, 2)) {
        decoded.encoding = littleEndian ? FileEncoding::Utf16Le : FileEncoding::Utf16Be;
        const size_t end = bytes.size() - (bytes.size() % 2);
        decoded.text = DecodeUtf16(bytes, 2, end, !littleEndian);
        decoded.tail = bytes.substr(end);
    } else if (StartsWith(bytes, kUtf8Bom, 3)) {
        decoded.encoding = FileEncoding::Utf8Bom;
        bytes.erase(0, 3);
        decoded.text = std::move(bytes);
    } else {
        decoded.text = std::move(bytes);
    }
    return decoded;
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

std::string EncodeProfileText(const DecodedText& form, std::string text)
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
    return bytes.empty() ? text : bytes + text;
}

}  // namespace skarvel
