#include "IntegerText.h"

namespace skarvel {
namespace {

// The value of `c` as a digit, or a value no base reaches.
uint32_t DigitValue(char c)
{
    if (c >= '0' && c <= '9') {
        return static_cast<uint32_t>(c - '0');
    }
    if (c >= 'a' && c <= 'z') {
        return static_cast<uint32_t>(c - 'a' + 10);
    }
    if (c >= 'A' && c <= 'Z') {
        return static_cast<uint32_t>(c - 'A' + 10);
    }
    return UINT32_MAX;
}

}  // namespace

uint32_t ParseProfileInteger(const char* text)
{
    while (*text != '\0' && static_cast<unsigned char>(*text) <= ' ') {
        ++text;
    }
    const bool negative = *text == '-';
    if (*text == '-' || *text == '+') {
        ++text;
    }
    uint32_t base = 10;
    if (text[0] == '0') {
        switch (text[1]) {
        case 'x':
            base = 16;
            break;
        case 'b':
            base = 2;
            break;
        case 'o':
            base = 8;
            break;
        default:
            break;
        }
        if (base != 10) {
            text += 2;
        }
    }
    uint32_t value = 0;  // unsigned, so that overflow wraps
    for (; DigitValue(*text) < base; ++text) {
        value = value * base + DigitValue(*text);
    }
    return negative ? 0U - value : value;
}

}  // namespace skarvel
