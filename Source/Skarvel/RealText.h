// Real numbers as decimal text, the same bytes on every platform.
//
// Both conversions go through the C++ library's std::to_chars and std::from_chars,
// which are exact on every platform, where printf and strtod of Windows' C
// runtimes are not, and use no heap. The only thing taken from the C runtime is
// the decimal point of the current locale (localeconv), which the library itself
// never changes; "C" uses '.'. As with printf, changing the locale while another
// thread converts is not supported.
#pragma once

#include <cstddef>

namespace skarvel {

// Longest text FormatRealFixed6 writes for a float, not counting the decimal
// point or the terminator: '-', 39 integer digits (FLT_MAX) and 6 decimals.
constexpr std::size_t kFloatFixed6MaxLength = 46;

// Longest text FormatRealFixed6 writes for any double, not counting the decimal
// point or the terminator: '-', 309 integer digits (DBL_MAX) and 6 decimals.
constexpr std::size_t kDoubleFixed6MaxLength = 316;

// Writes what glibc's snprintf(buffer, capacity, "%f", value) writes in the
// default rounding mode, for every double: the exact binary value rounded to six
// decimals, ties to even; '-' for every negative value, -0.0 included; "inf",
// "-inf", and "nan" for a NaN of either sign. Writes at most capacity bytes, the
// last of them the terminator (nothing when capacity is 0, so buffer may then be
// null), and answers the length of the whole text without the terminator.
int FormatRealFixed6(double value, char* buffer, std::size_t capacity);

// Reads decimal text as atof does, correctly rounded (ties to even) for input of
// any length. After blanks (space, \t \n \v \f \r) it reads the longest prefix of
// the form [sign] digits [point [digits]] or [sign] point digits, with an optional
// exponent e or E [sign] digits; or, in any case, [sign] "inf", "infinity" or "nan"
// (a quiet NaN carrying the sign). The point is the current locale's. The rest of
// the text is ignored; no such prefix, or a null text, reads as 0.0. Hexadecimal
// text ("0x10" reads as 0) and other exponent letters ("1d5" reads as 1) are not
// read, so every platform reads the same text alike.
double ParseRealText(const char* text);

}  // namespace skarvel
