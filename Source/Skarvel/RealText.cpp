#include "RealText.h"

#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <limits>
#include <system_error>

namespace skarvel {
namespace {

constexpr int kFixedDecimals = 6;
constexpr int kDecimalBase = 10;

// Midpoints between adjacent doubles have at most 768 significant decimal digits,
// so digits past these many matter only through whether one is nonzero.
constexpr std::size_t kKeptDigits = 768;

// An exponent written with more digits than this saturates here; text long enough
// for its digits to offset that much (about 10^15 bytes) cannot exist in memory.
constexpr std::int64_t kExponentSaturation = 1000000000000000;

// Room for 'e', a sign and the 19 digits of a 64-bit exponent.
constexpr std::size_t kExponentRoom = 2 + std::numeric_limits<std::int64_t>::digits10 + 1;

// The current locale's decimal point; '.' should a locale ever leave it empty.
const char* DecimalPoint()
{
    const std::lconv* conventions = std::localeconv();
    if (conventions == nullptr || conventions->decimal_point == nullptr ||
        conventions->decimal_point[0] == '\0') {
        return ".";
    }
    return conventions->decimal_point;
}

bool IsBlank(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// True when text starts with `word` (lower case ASCII) in any case.
bool StartsWithIgnoringCase(const char* text, const char* word)
{
    constexpr char kCaseOffset = 'a' - 'A';
    for (; *word != '\0'; ++text, ++word) {
        if (*text != *word && *text != *word - kCaseOffset) {
            return false;
        }
    }
    return true;
}

// Reads the magnitude of [digits][point [digits]][e [sign] digits], with a digit
// before or after the point; false when there is none. from_chars knows only '.'
// and the text may be of any length, so the significant digits go into a bounded
// buffer, as "<digits>e<exponent>", the digits past kKeptDigits standing as one
// '1' when any of them is nonzero.
bool ReadDecimal(const char* p, double& magnitude)
{
    char text[kKeptDigits + 1 + kExponentRoom];
    std::size_t kept = 0;
    bool sawDigit = false;
    bool droppedNonzero = false;
    std::int64_t exponent = 0;  // the value is text's digits * 10^exponent
    const auto take = [&](char digit, bool afterPoint) {
        sawDigit = true;
        if (kept == 0 && digit == '0') {
            exponent -= afterPoint ? 1 : 0;  // a leading zero
        } else if (kept < kKeptDigits) {
            text[kept++] = digit;
            exponent -= afterPoint ? 1 : 0;
        } else {
            droppedNonzero |= digit != '0';
            exponent += afterPoint ? 0 : 1;
        }
    };
    for (; IsDigit(*p); ++p) {
        take(*p, false);
    }
    const char* point = DecimalPoint();
    const std::size_t pointLength = std::strlen(point);
    if (std::strncmp(p, point, pointLength) == 0) {
        for (p += pointLength; IsDigit(*p); ++p) {
            take(*p, true);
        }
    }
    if (kept == 0) {
        magnitude = 0.0;  // only zeros
        return sawDigit;
    }
    if (droppedNonzero) {
        text[kept++] = '1';
        --exponent;
    }
    // An exponent without digits reads as 0, as if it were not there.
    if (*p == 'e' || *p == 'E') {
        const bool negativeExponent = p[1] == '-';
        std::int64_t written = 0;
        for (p += (p[1] == '+' || p[1] == '-') ? 2 : 1; IsDigit(*p); ++p) {
            if (written < kExponentSaturation) {
                written = written * kDecimalBase + (*p - '0');
            }
        }
        exponent += negativeExponent ? -written : written;
    }
    text[kept] = 'e';
    const char* end = std::to_chars(text + kept + 1, std::end(text), exponent).ptr;

    if (std::from_chars(text, end, magnitude).ec == std::errc::result_out_of_range) {
        // The magnitude was left alone: text from 1 up overflowed, text below 1 underflowed.
        const bool overflow = static_cast<std::int64_t>(kept) - 1 + exponent >= 0;
        magnitude = overflow ? std::numeric_limits<double>::infinity() : 0.0;
    }
    return true;
}

}  // namespace

int FormatRealFixed6(double value, char* buffer, std::size_t capacity)
{
    // glibc writes "-nan" for a negative NaN; the sign carries no meaning.
    if (std::isnan(value)) {
        value = std::fabs(value);
    }
    char text[kDoubleFixed6MaxLength + 1];  // the longest text and its point
    const char* end =
        std::to_chars(text, std::end(text), value, std::chars_format::fixed, kFixedDecimals).ptr;

    // Copies as snprintf does: bytes past the capacity are counted, not written.
    const char* point = DecimalPoint();
    std::size_t length = 0;
    const auto put = [&](char c) {
        if (length + 1 < capacity) {
            buffer[length] = c;
        }
        ++length;
    };
    for (const char* c = text; c != end; ++c) {
        if (*c != '.') {
            put(*c);
            continue;
        }
        for (const char* q = point; *q != '\0'; ++q) {
            put(*q);
        }
    }
    if (capacity > 0) {
        buffer[length < capacity ? length : capacity - 1] = '\0';
    }
    return static_cast<int>(length);
}

double ParseRealText(const char* text)
{
    if (text == nullptr) {
        return 0.0;
    }
    const char* p = text;
    while (IsBlank(*p)) {
        ++p;
    }
    const bool negative = *p == '-';
    if (*p == '+' || *p == '-') {
        ++p;
    }
    double magnitude;
    // "infinity" only reads further than "inf", which this function does not report.
    if (StartsWithIgnoringCase(p, "inf")) {
        magnitude = std::numeric_limits<double>::infinity();
    } else if (StartsWithIgnoringCase(p, "nan")) {
        magnitude = std::numeric_limits<double>::quiet_NaN();
    } else if (!ReadDecimal(p, magnitude)) {
        return 0.0;  // no number, so no sign either
    }
    return negative ? -magnitude : magnitude;
}

}  // namespace skarvel
