#include "ValueText.h"

#include <charconv>
#include <cmath>
#include <initializer_list>
#include <iterator>
#include <system_error>

namespace skarvel::profile {
namespace {

// Drops the '+' that from_chars does not take; false when a second sign follows it.
bool DropPlus(std::string_view& text)
{
    if (text.empty() || text.front() != '+') {
        return true;
    }
    text.remove_prefix(1);
    return text.empty() || (text.front() != '+' && text.front() != '-');
}

bool EqualIgnoringAsciiCase(std::string_view text, std::string_view word)
{
    if (text.size() != word.size()) {
        return false;
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const char lower = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
        if (lower != word[i]) {
            return false;
        }
    }
    return true;
}

// Reads all of `text` with from_chars; false, with `value` untouched, otherwise.
template <typename Number> bool ParseWhole(std::string_view text, Number& value)
{
    if (!DropPlus(text)) {
        return false;
    }
    Number parsed{};
    const char* end = text.data() + text.size();
    const std::from_chars_result result = std::from_chars(text.data(), end, parsed);
    if (result.ec != std::errc() || result.ptr != end) {
        return false;
    }
    value = parsed;
    return true;
}

}  // namespace

bool ParseInt64(std::string_view text, std::int64_t& value)
{
    return ParseWhole(text, value);
}

bool ParseDouble(std::string_view text, double& value)
{
    return ParseWhole(text, value);
}

bool ParseBool(std::string_view text, bool& value)
{
    for (const char* word : {"true", "yes", "on", "1"}) {
        if (EqualIgnoringAsciiCase(text, word)) {
            value = true;
            return true;
        }
    }
    for (const char* word : {"false", "no", "off", "0"}) {
        if (EqualIgnoringAsciiCase(text, word)) {
            value = false;
            return true;
        }
    }
    return false;
}

void FormatInt64(std::int64_t value, char (&text)[kNumberTextCapacity])
{
    *std::to_chars(text, std::end(text) - 1, value).ptr = '\0';
}

void FormatDouble(double value, char (&text)[kNumberTextCapacity])
{
    // to_chars writes "-nan" for a NaN with its sign bit set; the sign means nothing.
    if (std::isnan(value)) {
        value = std::fabs(value);
    }
    *std::to_chars(text, std::end(text) - 1, value).ptr = '\0';
}

}  // namespace skarvel::profile
