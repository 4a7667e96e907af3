// A file's byte form: decoded to narrow text and encoded back byte for byte.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "TextEncoding.h"

namespace {

using skarvel::EncodeProfileText;
using skarvel::FileEncoding;
using skarvel::FileForm;

std::string Bytes(const char* text, size_t length)
{
    return std::string(text, length);
}

// A file's bytes decoded: their form and their text.
struct Decoded {
    FileForm form;
    std::string text;
};

Decoded Decode(const std::string& bytes)
{
    Decoded decoded;
    std::string utf16;
    decoded.text = std::string(skarvel::DecodeProfileBytes(bytes, decoded.form, utf16));
    return decoded;
}

TEST(TextEncodingTests, FormsAreRecognisedAndDecoded)
{
    const struct {
        const char* name;
        std::string bytes;
        FileEncoding encoding;
        std::string text;
    } rows[] = {
        {"plain", "[s]\n", FileEncoding::Narrow, "[s]\n"},
        {"empty", "", FileEncoding::Narrow, ""},
        {"utf8 bom", "\xEF\xBB\xBFk=v", FileEncoding::Utf8Bom, "k=v"},
        {"utf16le", Bytes("\xFF\xFEk\0=\0\xE9\0", 8), FileEncoding::Utf16Le, "k=\xC3\xA9"},
        {"utf16be", Bytes("\xFE\xFF\0k\0=\x20\xAC", 8), FileEncoding::Utf16Be,
         "k=\xE2\x82\xAC"},
        {"surrogate pair", Bytes("\xFF\xFE\x3D\xD8\x00\xDE", 6), FileEncoding::Utf16Le,
         "\xF0\x9F\x98\x80"},
        {"bom only", "\xFF\xFE", FileEncoding::Utf16Le, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const Decoded decoded = Decode(row.bytes);
        EXPECT_EQ(decoded.form.encoding, row.encoding);
        EXPECT_EQ(decoded.text, row.text);
        EXPECT_EQ(EncodeProfileText(decoded.form, decoded.text), row.bytes);
    }
}

// Whatever a UTF-16 file holds comes back as it was: lone surrogates, NULs and
// an odd last byte included.
TEST(TextEncodingTests, MalformedUtf16SurvivesARoundTrip)
{
    const std::string rows[] = {
        Bytes("\xFF\xFE\x00\xD8k\0", 6),               // lone high surrogate
        Bytes("\xFF\xFE\x00\xDC\x00\xDC", 6),          // lone low surrogates
        Bytes("\xFF\xFEk\0\0\0v\0", 8),                // a NUL unit
        Bytes("\xFF\xFEk\0=\0v\0!", 9),                // odd byte count
        Bytes("\xFE\xFF\xD8\x00\xD8\x00\x01", 7),      // big-endian, two highs, odd tail
        Bytes("\xFF\xFE\xE2\xDC\x82\xDC\xAC\xDC", 8),  // lone lows whose bytes spell a character
        Bytes("\xFF\xFE\xED\xDC\xA0\xDC\x80\xDC", 8),  // lone lows whose bytes spell a form
    };
    for (const std::string& bytes : rows) {
        const Decoded decoded = Decode(bytes);
        EXPECT_EQ(EncodeProfileText(decoded.form, decoded.text), bytes);
    }
}

// Narrow text that is no UTF-8 is kept in the file's units: a byte that starts nothing as
// DC80 + byte, a surrogate's three-byte form as the surrogate, unless it reads back otherwise.
TEST(TextEncodingTests, AnyNarrowTextMapsToUnitsAndBack)
{
    const struct {
        const char* name;
        std::string text;
        std::string bytes;  // UTF-16LE, after the mark
    } rows[] = {
        {"characters", "\xC3\xA9\xF0\x9F\x98\x80", Bytes("\xE9\0\x3D\xD8\x00\xDE", 6)},
        {"bytes that start nothing", "a\xFF!\xC3", Bytes("a\0\xFF\xDC!\0\xC3\xDC", 8)},
        {"a cut character", "\xE2\x82", Bytes("\xE2\xDC\x82\xDC", 4)},
        {"a high surrogate's form", "\xED\xA0\x80", Bytes("\x00\xD8", 2)},
        {"a low surrogate's form", "\xED\xB0\x80", Bytes("\x00\xDC", 2)},
        {"a high surrogate's form before a lone byte", "\xED\xA0\x80\x80",
         Bytes("\xED\xDC\xA0\xDC\x80\xDC\x80\xDC", 8)},
        {"a pair's two forms", "\xED\xA0\x80\xED\xB0\x80",
         Bytes("\xED\xDC\xA0\xDC\x80\xDC\x00\xDC", 8)},
        {"the form of DC80, where the byte would do", "\xED\xB2\x80",
         Bytes("\xED\xDC\xB2\xDC\x80\xDC", 6)},
        {"the form of DCE2, where the byte would start a character", "\xED\xB3\xA2\x82\xAC",
         Bytes("\xE2\xDC\x82\xDC\xAC\xDC", 6)},
    };
    const FileForm form = Decode("\xFF\xFE").form;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(EncodeProfileText(form, row.text), "\xFF\xFE" + row.bytes);
        EXPECT_EQ(Decode("\xFF\xFE" + row.bytes).text, row.text);
    }
}

// Every string of up to four pieces, and random longer ones, over bytes and units that
// reach each rule: narrow text survives encoding and decoding, and UTF-16 decoding and
// encoding, both ways round.
TEST(TextEncodingTests, BothFormsMapOneToOne)
{
    const char kBytes[] = {'a',    '\x80', '\x82', '\x9F', '\xA0', '\xA2', '\xAC', '\xAD',
                           '\xB2', '\xB3', '\xBF', '\xC3', '\xE2', '\xED', '\xF0', '\xFF'};
    const uint16_t kUnits[] = {0x0061, 0x00E9, 0x20AC, 0xD800, 0xDBFF, 0xD83D, 0xDE00, 0xDC00,
                               0xDC80, 0xDC82, 0xDCA0, 0xDCAC, 0xDCB2, 0xDCE2, 0xDCED, 0xDFFF};
    constexpr size_t kCount = sizeof kBytes;
    static_assert(kCount == sizeof kUnits / sizeof kUnits[0], "one count for both alphabets");
    const FileForm form = Decode("\xFF\xFE").form;
    const auto check = [&](const std::vector<size_t>& picks) {
        std::string text;
        std::string bytes = "\xFF\xFE";
        for (const size_t pick : picks) {
            text += kBytes[pick];
            bytes += static_cast<char>(kUnits[pick] & 0xFF);
            bytes += static_cast<char>(kUnits[pick] >> 8);
        }
        EXPECT_EQ(Decode(EncodeProfileText(form, text)).text, text)
            << ::testing::PrintToString(text);
        EXPECT_EQ(EncodeProfileText(form, Decode(bytes).text), bytes)
            << ::testing::PrintToString(bytes);
    };
    std::vector<size_t> picks;
    for (size_t length = 1; length <= 4; ++length) {
        picks.assign(length, 0);
        for (;;) {
            check(picks);
            size_t at = 0;
            while (at < length && ++picks[at] == kCount) {
                picks[at++] = 0;
            }
            if (at == length) {
                break;
            }
        }
    }
    std::mt19937 random(20240612);
    for (int round = 0; round < 20000; ++round) {
        picks.resize(5 + random() % 12);
        for (size_t& pick : picks) {
            pick = random() % kCount;
        }
        check(picks);
    }
}

}  // namespace
