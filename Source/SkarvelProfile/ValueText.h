// Typed values as the text the interface reads and writes: the same on every platform
// and in every locale. Reads take the whole text or nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace skarvel::profile {

// Room for the text of any int64_t or double, terminator included.
constexpr std::size_t kNumberTextCapacity = 32;

// An optional sign and decimal digits, and nothing else, within the int64_t range.
bool ParseInt64(std::string_view text, std::int64_t& value);

// An optional sign, then a decimal number with an optional point and exponent, or inf,
// infinity or nan in any case; not beyond the range of a double either way.
bool ParseDouble(std::string_view text, double& value);

// true, yes, on, 1 and false, no, off, 0, in any case.
bool ParseBool(std::string_view text, bool& value);

// Decimal text: "-42".
void FormatInt64(std::int64_t value, char (&text)[kNumberTextCapacity]);

// The shortest text that ParseDouble reads as the same double; "nan" for every NaN.
void FormatDouble(double value, char (&text)[kNumberTextCapacity]);

}  // namespace skarvel::profile
