#include "RealText.h"

#include <cassert>
#include <clocale>
#include <cstdint>
#include <cstring>

namespace skarvel {
namespace {

// The IEEE 754 binary64 layout: value = mantissa * 2^(exponent field - kExponentBias).
constexpr int kFractionBits = 52;
constexpr int kExponentFieldMax = 0x7FF;
constexpr int kExponentBias = 1075; // 1023, plus the 52 fraction bits read as an integer
constexpr int kMinBinaryExponent = 1 - kExponentBias; // weight of a subnormal's lowest bit
constexpr std::uint64_t kHiddenBit = std::uint64_t{1} << kFractionBits;
constexpr std::uint64_t kFractionMask = kHiddenBit - 1;
constexpr int kSignShift = 63;
constexpr std::uint64_t kSignBit = std::uint64_t{1} << kSignShift;
constexpr std::uint64_t kInfinityBits = std::uint64_t{kExponentFieldMax} << kFractionBits;
constexpr std::uint64_t kQuietNanBits = kInfinityBits | (kHiddenBit >> 1);

constexpr int kFixedDecimals = 6;
constexpr std::uint32_t kFixedScale = 1000000; // 10^kFixedDecimals

constexpr std::uint32_t kDecimalBase = 10;

// Decimal digits are handled nine at a time, the most that fit a 32-bit word.
constexpr int kChunkDigits = 9;
constexpr std::uint32_t kChunkScale = 1000000000;
constexpr std::uint32_t kPowersOfTen[kChunkDigits + 1] = {
    1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000, 1000000000};

// The largest double is below 10^309 and the rounded value times 10^6 below 10^315.
constexpr int kMaxIntegerDigits = 309;
constexpr int kMaxScaledDigits = kMaxIntegerDigits + kFixedDecimals;
static_assert(kMaxScaledDigits % kChunkDigits == 0, "whole chunks fill the digit buffer");

// A double has at most 767 significant decimal digits and a midpoint between two
// adjacent doubles at most 768 ((2^53 - 1) * 2^-1075), so digits past this many only
// matter through whether they are all zero: one nonzero digit stands for them.
constexpr int kMaxSignificantDigits = 768;

// Text of a magnitude at least 10^kOverflowDecimalExponent rounds to infinity
// (DBL_MAX is about 1.8e308); below 10^kUnderflowDecimalExponent it rounds to zero,
// being under half the smallest subnormal (about 2.5e-324).
constexpr int kOverflowDecimalExponent = 309;
constexpr int kUnderflowDecimalExponent = -324;

// An exponent written with more digits than this saturates here; text long enough
// for its digits to offset that much (about 10^15 bytes) cannot exist in memory.
constexpr std::int64_t kExponentSaturation = 1000000000000000;

// The quotient that decides a parsed value holds its 53 bits and one rounding bit.
constexpr int kQuotientBits = kFractionBits + 2;

// An unsigned integer of fixed capacity, kept in 32-bit words, least significant first.
class BigUnsigned {
public:
    // 4096 bits; the assertions after the class show that every operand fits.
    static constexpr int kWordBits = 32;
    static constexpr int kCapacityWords = 128;

    explicit BigUnsigned(std::uint64_t value) : words_{}, size_(0)
    {
        words_[0] = static_cast<std::uint32_t>(value);
        words_[1] = static_cast<std::uint32_t>(value >> kWordBits);
        size_ = words_[1] != 0 ? 2 : (words_[0] != 0 ? 1 : 0);
    }

    bool IsZero() const { return size_ == 0; }

    // The number of bits up to and including the highest set bit; 0 for zero.
    int BitLength() const
    {
        if (size_ == 0) {
            return 0;
        }
        int bits = (size_ - 1) * kWordBits;
        for (std::uint32_t top = words_[size_ - 1]; top != 0; top >>= 1) {
            ++bits;
        }
        return bits;
    }

    bool TestBit(int bit) const
    {
        const int word = bit / kWordBits;
        return word < size_ && ((words_[word] >> (bit % kWordBits)) & 1) != 0;
    }

    // True when any bit below `bit` is set.
    bool AnyBitBelow(int bit) const
    {
        const int fullWords = bit / kWordBits < size_ ? bit / kWordBits : size_;
        for (int i = 0; i < fullWords; ++i) {
            if (words_[i] != 0) {
                return true;
            }
        }
        if (fullWords == size_) {
            return false;
        }
        const std::uint32_t lowBitsMask = (std::uint32_t{1} << (bit % kWordBits)) - 1;
        return (words_[fullWords] & lowBitsMask) != 0;
    }

    int Compare(const BigUnsigned& other) const
    {
        if (size_ != other.size_) {
            return size_ < other.size_ ? -1 : 1;
        }
        for (int i = size_ - 1; i >= 0; --i) {
            if (words_[i] != other.words_[i]) {
                return words_[i] < other.words_[i] ? -1 : 1;
            }
        }
        return 0;
    }

    // Requires smaller <= *this.
    void Subtract(const BigUnsigned& smaller)
    {
        std::uint32_t borrow = 0;
        for (int i = 0; i < size_; ++i) {
            const std::uint64_t subtrahend =
                std::uint64_t{i < smaller.size_ ? smaller.words_[i] : 0} + borrow;
            borrow = words_[i] < subtrahend ? 1 : 0;
            words_[i] = static_cast<std::uint32_t>(words_[i] - subtrahend);
        }
        Trim();
    }

    // *this = *this * factor + addend.
    void MultiplyAdd(std::uint32_t factor, std::uint32_t addend)
    {
        std::uint64_t carry = addend;
        for (int i = 0; i < size_; ++i) {
            const std::uint64_t product = std::uint64_t{words_[i]} * factor + carry;
            words_[i] = static_cast<std::uint32_t>(product);
            carry = product >> kWordBits;
        }
        if (carry != 0) {
            assert(size_ < kCapacityWords);
            words_[size_++] = static_cast<std::uint32_t>(carry);
        }
    }

    void MultiplyByPowerOfTen(int exponent)
    {
        for (; exponent >= kChunkDigits; exponent -= kChunkDigits) {
            MultiplyAdd(kChunkScale, 0);
        }
        MultiplyAdd(kPowersOfTen[exponent], 0);
    }

    // Divides in place and answers the remainder.
    std::uint32_t DivideSmall(std::uint32_t divisor)
    {
        std::uint64_t remainder = 0;
        for (int i = size_ - 1; i >= 0; --i) {
            const std::uint64_t dividend = (remainder << kWordBits) | words_[i];
            words_[i] = static_cast<std::uint32_t>(dividend / divisor);
            remainder = dividend % divisor;
        }
        Trim();
        return static_cast<std::uint32_t>(remainder);
    }

    void ShiftLeft(int bits)
    {
        if (size_ == 0) {
            return;
        }
        const int wordShift = bits / kWordBits;
        const int bitShift = bits % kWordBits;
        const int newSize = size_ + wordShift + 1;
        assert(newSize <= kCapacityWords);
        words_[newSize - 1] = 0;
        for (int i = size_ - 1; i >= 0; --i) {
            const std::uint64_t wide = std::uint64_t{words_[i]} << bitShift;
            words_[i + wordShift + 1] |= static_cast<std::uint32_t>(wide >> kWordBits);
            words_[i + wordShift] = static_cast<std::uint32_t>(wide);
        }
        for (int i = 0; i < wordShift; ++i) {
            words_[i] = 0;
        }
        size_ = newSize;
        Trim();
    }

    // Shifts right, dropping the bits shifted out.
    void ShiftRight(int bits)
    {
        const int wordShift = bits / kWordBits;
        const int bitShift = bits % kWordBits;
        if (wordShift >= size_) {
            size_ = 0;
            return;
        }
        const int newSize = size_ - wordShift;
        for (int i = 0; i < newSize; ++i) {
            const std::uint64_t high = i + 1 < newSize ? words_[i + wordShift + 1] : 0;
            const std::uint64_t wide = (high << kWordBits) | words_[i + wordShift];
            words_[i] = static_cast<std::uint32_t>(wide >> bitShift);
        }
        size_ = newSize;
        Trim();
    }

private:
    void Trim()
    {
        while (size_ > 0 && words_[size_ - 1] == 0) {
            --size_;
        }
    }

    std::uint32_t words_[kCapacityWords];
    int size_;
};

// 10^n fits in n * 10 / 3 + 1 bits, log2(10) being just under 10 / 3.
constexpr int BitsForPowerOfTen(int exponent)
{
    return exponent * 10 / 3 + 1;
}

// The parsing operands are largest with every digit kept (one more standing for the
// rest) at the lowest exponent that can give a nonzero value: a divisor of
// 10^(digits - kUnderflowDecimalExponent) shifted by kQuotientBits, and a dividend
// scaled to a subnormal's lowest bit.
constexpr int kCapacityBits = BigUnsigned::kCapacityWords * BigUnsigned::kWordBits;
constexpr int kMaxKeptDigits = kMaxSignificantDigits + 1;
static_assert(BitsForPowerOfTen(kMaxKeptDigits - kUnderflowDecimalExponent) + kQuotientBits <
                  kCapacityBits,
              "the divisor fits");
static_assert(BitsForPowerOfTen(kMaxKeptDigits) + 1 - kMinBinaryExponent < kCapacityBits,
              "the dividend fits");

// Collects output like snprintf: bytes past the capacity are counted, not written.
class BoundedWriter {
public:
    BoundedWriter(char* buffer, std::size_t capacity) : buffer_(buffer), capacity_(capacity) {}

    void Put(char c)
    {
        if (length_ + 1 < capacity_) {
            buffer_[length_] = c;
        }
        ++length_;
    }

    void Put(const char* text)
    {
        for (; *text != '\0'; ++text) {
            Put(*text);
        }
    }

    // Terminates what fits and answers the full length.
    int Finish()
    {
        if (capacity_ > 0) {
            buffer_[length_ < capacity_ ? length_ : capacity_ - 1] = '\0';
        }
        return static_cast<int>(length_);
    }

private:
    char* buffer_;
    std::size_t capacity_;
    std::size_t length_ = 0;
};

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

std::uint64_t BitsOf(double value)
{
    std::uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

double FromBits(std::uint64_t bits)
{
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// Writes round(|value| * 10^6) in decimal with the point before the last six
// digits, for a finite value.
void PutFixedMagnitude(std::uint64_t bits, BoundedWriter& out)
{
    const int exponentField = static_cast<int>((bits >> kFractionBits) & kExponentFieldMax);
    const std::uint64_t fraction = bits & kFractionMask;
    const std::uint64_t mantissa = exponentField != 0 ? fraction | kHiddenBit : fraction;
    const int exponent = (exponentField != 0 ? exponentField : 1) - kExponentBias;

    BigUnsigned scaled(mantissa);
    scaled.MultiplyAdd(kFixedScale, 0);
    if (exponent >= 0) {
        scaled.ShiftLeft(exponent);
    } else {
        // Round the exact quotient by 2^-exponent to nearest, ties to even.
        const int dropped = -exponent;
        const bool halfBit = scaled.TestBit(dropped - 1);
        const bool belowHalf = scaled.AnyBitBelow(dropped - 1);
        scaled.ShiftRight(dropped);
        if (halfBit && (belowHalf || scaled.TestBit(0))) {
            scaled.MultiplyAdd(1, 1);
        }
    }

    // Digits are produced from the least significant end, a chunk at a time.
    char digits[kMaxScaledDigits];
    int first = kMaxScaledDigits;
    while (!scaled.IsZero()) {
        std::uint32_t chunk = scaled.DivideSmall(kChunkScale);
        for (int i = 0; i < kChunkDigits; ++i) {
            digits[--first] = static_cast<char>('0' + chunk % kDecimalBase);
            chunk /= kDecimalBase;
        }
    }
    // Keep at least one integer digit; the chunks leave leading zeros to drop.
    const int minDigits = kFixedDecimals + 1;
    while (kMaxScaledDigits - first < minDigits) {
        digits[--first] = '0';
    }
    while (kMaxScaledDigits - first > minDigits && digits[first] == '0') {
        ++first;
    }

    const int pointAt = kMaxScaledDigits - kFixedDecimals;
    for (int i = first; i < pointAt; ++i) {
        out.Put(digits[i]);
    }
    out.Put(DecimalPoint());
    for (int i = pointAt; i < kMaxScaledDigits; ++i) {
        out.Put(digits[i]);
    }
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

// The significant digits of a decimal number: value = digits * 10^exponent.
struct DecimalDigits {
    char digits[kMaxSignificantDigits + 1]; // one more for the digit standing for the rest
    int count = 0;
    std::int64_t exponent = 0;
    bool droppedNonzero = false;

    void AddInteger(char digit)
    {
        if (count == 0 && digit == '0') {
            return;
        }
        if (count < kMaxSignificantDigits) {
            digits[count++] = digit;
        } else {
            droppedNonzero |= digit != '0';
            ++exponent;
        }
    }

    void AddFraction(char digit)
    {
        if (count == 0 && digit == '0') {
            --exponent;
        } else if (count < kMaxSignificantDigits) {
            digits[count++] = digit;
            --exponent;
        } else {
            droppedNonzero |= digit != '0';
        }
    }

    // Replaces dropped nonzero digits by one nonzero digit and trailing zeros by
    // the exponent, leaving `digits` empty for zero.
    void Finish()
    {
        if (droppedNonzero) {
            digits[count++] = '1';
            --exponent;
        }
        while (count > 0 && digits[count - 1] == '0') {
            --count;
            ++exponent;
        }
    }
};

// Reads the digits of an exponent, saturating at kExponentSaturation.
std::int64_t ReadExponentDigits(const char* text)
{
    std::int64_t value = 0;
    for (; IsDigit(*text); ++text) {
        if (value < kExponentSaturation) {
            value = value * kDecimalBase + (*text - '0');
        }
    }
    return value;
}

// Rounds digits * 10^exponent to the nearest double, ties to even, for nonempty
// digits whose magnitude lies in [10^kUnderflowDecimalExponent, 10^kOverflowDecimalExponent).
std::uint64_t RoundToDoubleBits(const DecimalDigits& decimal, int exponent)
{
    // value = numerator / denominator, both integers.
    BigUnsigned numerator(0);
    for (int i = 0; i < decimal.count; i += kChunkDigits) {
        const int length = decimal.count - i < kChunkDigits ? decimal.count - i : kChunkDigits;
        std::uint32_t chunk = 0;
        for (int j = 0; j < length; ++j) {
            chunk = chunk * kDecimalBase + static_cast<std::uint32_t>(decimal.digits[i + j] - '0');
        }
        numerator.MultiplyAdd(kPowersOfTen[length], chunk);
    }
    BigUnsigned denominator(1);
    if (exponent >= 0) {
        numerator.MultiplyByPowerOfTen(exponent);
    } else {
        denominator.MultiplyByPowerOfTen(-exponent);
    }

    // The bit lengths place the value's binary exponent within one; a comparison settles it.
    const int estimate = numerator.BitLength() - denominator.BitLength();
    int binaryExponent; // 2^binaryExponent <= value < 2^(binaryExponent + 1)
    if (estimate >= 0) {
        BigUnsigned scaled = denominator;
        scaled.ShiftLeft(estimate);
        binaryExponent = numerator.Compare(scaled) >= 0 ? estimate : estimate - 1;
    } else {
        BigUnsigned scaled = numerator;
        scaled.ShiftLeft(-estimate);
        binaryExponent = scaled.Compare(denominator) >= 0 ? estimate : estimate - 1;
    }

    // The weight of the result's lowest bit: 53 significant bits, fewer when subnormal.
    int lowestBit = binaryExponent - kFractionBits;
    if (lowestBit < kMinBinaryExponent) {
        lowestBit = kMinBinaryExponent;
    }

    // quotient = floor(value / 2^(lowestBit - 1)) < 2^kQuotientBits, by long division;
    // its lowest bit is the rounding bit and a nonzero remainder breaks ties.
    const int roundingBit = lowestBit - 1;
    if (roundingBit >= 0) {
        denominator.ShiftLeft(roundingBit);
    } else {
        numerator.ShiftLeft(-roundingBit);
    }
    BigUnsigned divisor = denominator;
    divisor.ShiftLeft(kQuotientBits - 1);
    std::uint64_t quotient = 0;
    for (int bit = kQuotientBits - 1; bit >= 0; --bit) {
        quotient <<= 1;
        if (numerator.Compare(divisor) >= 0) {
            numerator.Subtract(divisor);
            quotient |= 1;
        }
        divisor.ShiftRight(1);
    }

    std::uint64_t mantissa = quotient >> 1;
    const bool roundingBitSet = (quotient & 1) != 0;
    if (roundingBitSet && (!numerator.IsZero() || (mantissa & 1) != 0)) {
        ++mantissa;
    }
    if (mantissa > kFractionMask + kHiddenBit) { // rounding carried into a new bit
        mantissa >>= 1;
        ++lowestBit;
    }
    if (mantissa < kHiddenBit) {
        return mantissa; // subnormal or zero: the exponent field is 0
    }
    const std::int64_t exponentField = std::int64_t{lowestBit} + kExponentBias;
    if (exponentField >= kExponentFieldMax) {
        return kInfinityBits;
    }
    const std::uint64_t field = static_cast<std::uint64_t>(exponentField);
    return (field << kFractionBits) | (mantissa & kFractionMask);
}

} // namespace

int FormatRealFixed6(double value, char* buffer, std::size_t capacity)
{
    BoundedWriter out(buffer, capacity);
    const std::uint64_t bits = BitsOf(value);
    const bool isNan = (bits & ~kSignBit) > kInfinityBits;
    if (isNan) {
        out.Put("nan"); // glibc writes "-nan" for a negative NaN; the sign carries no meaning
        return out.Finish();
    }
    if ((bits & kSignBit) != 0) {
        out.Put('-');
    }
    if ((bits & ~kSignBit) == kInfinityBits) {
        out.Put("inf");
    } else {
        PutFixedMagnitude(bits, out);
    }
    return out.Finish();
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
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = *p == '-';
        ++p;
    }
    const std::uint64_t sign = negative ? kSignBit : 0;
    // "infinity" only reads further than "inf", which this function does not report.
    if (StartsWithIgnoringCase(p, "inf")) {
        return FromBits(sign | kInfinityBits);
    }
    if (StartsWithIgnoringCase(p, "nan")) {
        return FromBits(sign | kQuietNanBits);
    }

    DecimalDigits decimal;
    bool sawDigit = false;
    for (; IsDigit(*p); ++p) {
        decimal.AddInteger(*p);
        sawDigit = true;
    }
    const char* point = DecimalPoint();
    const std::size_t pointLength = std::strlen(point);
    if (std::strncmp(p, point, pointLength) == 0) {
        p += pointLength;
        for (; IsDigit(*p); ++p) {
            decimal.AddFraction(*p);
            sawDigit = true;
        }
    }
    if (!sawDigit) {
        return 0.0;
    }
    if (*p == 'e' || *p == 'E') {
        const char* q = p + 1;
        const bool negativeExponent = *q == '-';
        if (*q == '+' || *q == '-') {
            ++q;
        }
        if (IsDigit(*q)) {
            const std::int64_t written = ReadExponentDigits(q);
            decimal.exponent += negativeExponent ? -written : written;
        }
    }
    decimal.Finish();

    std::uint64_t magnitude;
    const std::int64_t leadingDigitExponent = decimal.count - 1 + decimal.exponent;
    if (decimal.count == 0 || leadingDigitExponent < kUnderflowDecimalExponent) {
        magnitude = 0;
    } else if (leadingDigitExponent >= kOverflowDecimalExponent) {
        magnitude = kInfinityBits;
    } else {
        magnitude = RoundToDoubleBits(decimal, static_cast<int>(decimal.exponent));
    }
    return FromBits(sign | magnitude);
}

} // namespace skarvel
