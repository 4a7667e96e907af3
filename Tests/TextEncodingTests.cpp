// A file's byte form: decoded to narrow text and encoded back byte for byte.
#include <gtest/gtest.h>

#include <string>

#include "TextEncoding.h"

namespace {

using skarvel::DecodeProfileBytes;
using skarvel::EncodeProfileText;
using skarvel::FileEncoding;

std::string Bytes(const char* text, size_t length)
{
    return std::string(text, length);
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
        const auto decoded = DecodeProfileBytes(row.bytes);
        EXPECT_EQ(decoded.encoding, row.encoding);
        EXPECT_EQ(decoded.text, row.text);
        EXPECT_EQ(EncodeProfileText(decoded, decoded.text), row.bytes);
    }
}

// Whatever a UTF-16 file holds comes back as it was: lone surrogates, NULs and
// an odd last byte included.
TEST(TextEncodingTests, MalformedUtf16SurvivesARoundTrip)
{
    const std::string rows[] = {
        Bytes("\xFF\xFE\x00\xD8k\0", 6),          // lone high surrogate
        Bytes("\xFF\xFE\x00\xDC\x00\xDC", 6),     // lone low surrogates
        Bytes("\xFF\xFEk\0\0\0v\0", 8),           // a NUL unit
        Bytes("\xFF\xFEk\0=\0v\0!", 9),           // odd byte count
        Bytes("\xFE\xFF\xD8\x00\xD8\x00\x01", 7),  // big-endian, two highs, odd tail
    };
    for (const std::string& bytes : rows) {
        const auto decoded = DecodeProfileBytes(bytes);
        EXPECT_EQ(EncodeProfileText(decoded, decoded.text), bytes);
    }
}

TEST(TextEncodingTests, InvalidNarrowTextBecomesReplacementCharacters)
{
    const auto form = DecodeProfileBytes("\xFF\xFE");
    EXPECT_EQ(EncodeProfileText(form, "a\xFF" "b\xC3"), Bytes("\xFF\xFE" "a\0\xFD\xFF" "b\0\xFD\xFF", 10));
}

}  // namespace
