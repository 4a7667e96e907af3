// Real-number text: fixed six-decimal output and correctly rounded reading.
//
// The comparisons with glibc's snprintf and strtod run where glibc is the C
// library; elsewhere (MinGW builds under Wine) the same inputs are checked against
// digests of glibc's answers, so every platform is held to the same bytes.
#include "RealText.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <climits>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

using skarvel::FormatRealFixed6;
using skarvel::ParseRealText;

// Enough for any double's text with a multibyte decimal point.
constexpr std::size_t kTextCapacity = skarvel::kDoubleFixed6MaxLength + 16;

// Fixed, so that every platform draws the same values and the glibc digests hold.
constexpr std::uint64_t kRandomSeed = 20240611;
constexpr int kRandomFloatCount = 300000;

constexpr double kInfinity = std::numeric_limits<double>::infinity();
constexpr double kNan = std::numeric_limits<double>::quiet_NaN();

std::string Format(double value)
{
    char text[kTextCapacity];
    FormatRealFixed6(value, text, sizeof text);
    return text;
}

std::uint64_t BitsOf(double value)
{
    std::uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

double DoubleFromBits(std::uint64_t bits)
{
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

float FloatFromBits(std::uint32_t bits)
{
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// FNV-1a, to hold a long run of results to the ones glibc gives.
class Digest {
public:
    void Add(const std::string& text)
    {
        for (unsigned char c : text) {
            AddByte(c);
        }
        AddByte(0);
    }

    void Add(double value)
    {
        const std::uint64_t bits = BitsOf(value);
        for (int shift = 0; shift < 64; shift += 8) {
            AddByte(static_cast<unsigned char>(bits >> shift));
        }
    }

    std::uint64_t Value() const { return hash_; }

private:
    void AddByte(unsigned char byte)
    {
        constexpr std::uint64_t kPrime = 0x100000001b3;
        hash_ = (hash_ ^ byte) * kPrime;
    }

    std::uint64_t hash_ = 0xcbf29ce484222325;
};

#ifdef __GLIBC__
// glibc's own "%f" text, except that it writes "-nan" for a NaN with its sign set.
std::string GlibcFixed6(double value)
{
    char text[kTextCapacity];
    std::snprintf(text, sizeof text, "%f", value);
    return std::isnan(value) ? "nan" : text;
}
#endif

// Sets LC_NUMERIC for one scope and puts the previous one back.
class NumericLocale {
public:
    explicit NumericLocale(const char* name)
    {
        const char* current = std::setlocale(LC_NUMERIC, nullptr);
        previous_ = current != nullptr ? current : "C";
        active_ = std::setlocale(LC_NUMERIC, name) != nullptr;
    }

    ~NumericLocale() { std::setlocale(LC_NUMERIC, previous_.c_str()); }

    NumericLocale(const NumericLocale&) = delete;
    NumericLocale& operator=(const NumericLocale&) = delete;

    bool Active() const { return active_; }

private:
    std::string previous_;
    bool active_;
};

TEST(RealTextFormat, WritesExactText)
{
    struct Row {
        const char* name;
        double value;
        const char* expected;
    };
    const Row rows[] = {
        {"zero", 0.0, "0.000000"},
        {"negative zero", -0.0, "-0.000000"},
        {"one and a half", 1.5, "1.500000"},
        {"0.1f widened", 0.1f, "0.100000"},
        {"1.23456789f", 1.23456789f, "1.234568"},
        {"negative rounding to zero", -1e-7, "-0.000000"},
        {"tie down to even", 0.0078125, "0.007812"},
        {"tie up to even", 0.0234375, "0.023438"},
        {"negative tie", -0.0390625, "-0.039062"},
        {"tie with integer digits, down", 2.5078125, "2.507812"},
        {"tie with integer digits, up", 1.0234375, "1.023438"},
        {"just above a tie", std::nextafter(0.0078125, 1.0), "0.007813"},
        {"just below a tie", std::nextafter(0.0234375, 0.0), "0.023437"},
        {"5e-7 lies below the half", 5e-7, "0.000000"},
        {"2.5e-6 lies above the half", 2.5e-6, "0.000003"},
        {"carry into the integer digits", 9.9999996, "10.000000"},
        {"carry into a new digit", 999999.9999996, "1000000.000000"},
        {"double 0.3", 0.3, "0.300000"},
        {"1e23 as a double", 1e23, "99999999999999991611392.000000"},
        {"2^24 + 1 as a double", 16777217.0, "16777217.000000"},
        {"2^24 + 1 as a float", 16777217.0f, "16777216.000000"},
        {"1e10f", 1e10f, "10000000000.000000"},
        {"INT_MIN as a float", static_cast<float>(INT_MIN), "-2147483648.000000"},
        {"FLT_MAX", FLT_MAX, "340282346638528859811704183484516925440.000000"},
        {"-FLT_MAX", -FLT_MAX, "-340282346638528859811704183484516925440.000000"},
        {"FLT_MIN", FLT_MIN, "0.000000"},
        {"smallest float subnormal", std::numeric_limits<float>::denorm_min(), "0.000000"},
        {"smallest double subnormal", -std::numeric_limits<double>::denorm_min(), "-0.000000"},
        {"DBL_MAX", DBL_MAX,
         "17976931348623157081452742373170435679807056752584499659891747680315726078002853876"
         "05895586327668781715404589535143824642343213268894641827684675467035375169860499105"
         "76551282076245490090389328944075868508455133942304583236903222948165808559332123348"
         "274797826204144723168738177180919299881250404026184124858368.000000"},
        {"infinity", kInfinity, "inf"},
        {"negative infinity", -kInfinity, "-inf"},
        {"NaN", kNan, "nan"},
        {"NaN with the sign set", std::copysign(kNan, -1.0), "nan"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(Format(row.value), row.expected) << row.name;
    }
}

// Random float bit patterns, every class of float included.
std::vector<double> RandomFloats(int count)
{
    std::mt19937_64 random(kRandomSeed);
    std::vector<double> values;
    for (int i = 0; i < count; ++i) {
        values.push_back(FloatFromBits(static_cast<std::uint32_t>(random())));
    }
    return values;
}

// Random doubles: raw bit patterns, values whose sixth decimal carries rounding
// (magnitudes 2^-27 to 2^72), and exact ties (odd multiples of 2^-7).
std::vector<double> RandomDoubles(int countPerKind)
{
    constexpr int kFractionBits = 52;
    constexpr std::uint64_t kSignBit = std::uint64_t{1} << 63;
    constexpr std::uint64_t kFractionMask = (std::uint64_t{1} << kFractionBits) - 1;
    constexpr int kLowestField = 1023 - 27;
    constexpr int kFieldSpan = 100;
    constexpr double kTieStep = 0.0078125;                           // 2^-7
    constexpr std::uint64_t kExactIntegers = std::uint64_t{1} << 53; // all convert exactly
    std::mt19937_64 random(kRandomSeed);
    std::vector<double> values;
    for (int i = 0; i < countPerKind; ++i) {
        values.push_back(DoubleFromBits(random()));
        const std::uint64_t field = kLowestField + random() % kFieldSpan;
        const std::uint64_t signAndFraction = random() & (kSignBit | kFractionMask);
        values.push_back(DoubleFromBits(signAndFraction | field << kFractionBits));
        const std::uint64_t odd = (random() % kExactIntegers) | 1;
        values.push_back((random() % 2 != 0 ? -kTieStep : kTieStep) * static_cast<double>(odd));
    }
    return values;
}

// Checks the text of each value against glibc's, where glibc is at hand, and the
// digest of all the texts against the digest of glibc's texts, recorded here.
// Where glibc runs the two checks agree, so elsewhere the digest stands for glibc.
void ExpectGlibcText(const std::vector<double>& values, std::uint64_t glibcDigest)
{
    Digest digest;
    for (double value : values) {
        const std::string text = Format(value);
        digest.Add(text);
#ifdef __GLIBC__
        ASSERT_EQ(text, GlibcFixed6(value)) << std::hexfloat << value;
#endif
    }
    EXPECT_EQ(digest.Value(), glibcDigest);
}

TEST(RealTextFormat, MatchesGlibcForRandomFloats)
{
    constexpr std::uint64_t kGlibcDigest = 0x401b5d0439dc1767;
    ExpectGlibcText(RandomFloats(kRandomFloatCount), kGlibcDigest);
}

TEST(RealTextFormat, MatchesGlibcForRandomDoubles)
{
    constexpr std::uint64_t kGlibcDigest = 0x7316495a0f7fe6ef;
    constexpr int kCountPerKind = 30000;
    ExpectGlibcText(RandomDoubles(kCountPerKind), kGlibcDigest);
}

TEST(RealTextFormat, TruncatesLikeSnprintf)
{
    const double value = -12.5;
    const std::string full = "-12.500000";
    constexpr char kUntouched = '#';
    const std::size_t capacities[] = {0, 1, 2, 4, full.size(), full.size() + 1, kTextCapacity};
    for (std::size_t capacity : capacities) {
        char text[kTextCapacity + 1];
        std::memset(text, kUntouched, sizeof text);
        EXPECT_EQ(FormatRealFixed6(value, text, capacity), static_cast<int>(full.size()))
            << "capacity " << capacity;
        const std::size_t kept = capacity == 0 ? 0 : std::min(capacity - 1, full.size());
        if (capacity > 0) {
            EXPECT_EQ(std::string(text), full.substr(0, kept)) << "capacity " << capacity;
        }
        for (std::size_t i = std::min(capacity, kept + 1); i < sizeof text; ++i) {
            ASSERT_EQ(text[i], kUntouched) << "capacity " << capacity << ", byte " << i;
        }
    }
    EXPECT_EQ(FormatRealFixed6(value, nullptr, 0), static_cast<int>(full.size()));
}

TEST(RealTextLocale, UsesTheLocaleDecimalPoint)
{
    struct Row {
        const char* locale;
        const char* point;
    };
    const Row rows[] = {
        {"de_DE.UTF-8", ","},
        {"German_Germany.1252", ","}, // the name Windows runtimes know
        {"ps_AF.UTF-8", "\xd9\xab"},  // U+066B ARABIC DECIMAL SEPARATOR, two bytes
    };
    int checked = 0;
    for (const Row& row : rows) {
        NumericLocale locale(row.locale);
        if (!locale.Active() || std::strcmp(std::localeconv()->decimal_point, row.point) != 0) {
            continue;
        }
        ++checked;
        const std::string point = row.point;
        EXPECT_EQ(Format(-1234.5), "-1234" + point + "500000") << row.locale;
        EXPECT_EQ(Format(0.0078125), "0" + point + "007812") << row.locale;
        EXPECT_EQ(ParseRealText(("-1234" + point + "25").c_str()), -1234.25) << row.locale;
        EXPECT_EQ(ParseRealText(("7" + point + "e1").c_str()), 70.0) << row.locale;
        EXPECT_EQ(ParseRealText("2.5"), 2.0) << row.locale << ": '.' is not the point";
#ifdef __GLIBC__
        EXPECT_EQ(Format(FLT_MAX), GlibcFixed6(FLT_MAX)) << row.locale;
#endif
    }
    if (checked == 0) {
        GTEST_SKIP() << "no locale with a decimal point other than '.' is installed; on Debian "
                        "install the locales package, uncomment de_DE.UTF-8 in /etc/locale.gen "
                        "and run locale-gen";
    }
}

TEST(RealTextParse, ReadsTheLeadingNumber)
{
    struct Row {
        const char* name;
        std::string text;
        double expected;
    };
    const std::string zeros(1000, '0');
    const Row rows[] = {
        {"empty", "", 0.0},
        {"leading blanks", " \t\n\v\f\r42", 42.0},
        {"no-break space is not blank", std::string{'\xa0', '5'}, 0.0},
        {"plus", "+7", 7.0},
        {"minus", "-7", -7.0},
        {"negative zero", "-0", -0.0},
        {"blank after the sign", "- 5", 0.0},
        {"two signs", "+-5", 0.0},
        {"trailing text", "2.5kg", 2.5},
        {"no number", "abc", 0.0},
        {"fraction only", ".5", 0.5},
        {"point without fraction", "5.", 5.0},
        {"point alone", ".", 0.0},
        {"sign alone", "-", 0.0},
        {"no digits before the exponent", "+.e3", 0.0},
        {"exponent without digits", "1e", 1.0},
        {"exponent sign without digits", "1e+", 1.0},
        {"negative exponent", "25e-2", 0.25},
        {"upper case exponent", "1E3x", 1000.0},
        {"hexadecimal is not read", "0x10", 0.0},
        {"d is no exponent", "1d5", 1.0},
        {"inf", "inf", kInfinity},
        {"-Infinity", "-Infinity", -kInfinity},
        {"INFINITYx", "INFINITYx", kInfinity},
        {"infinit", "infinit", kInfinity},
        {"in", "in", 0.0},
        {"nan", "nan", kNan},
        {"-nan", "-nan", -kNan},
        {"NaN with a payload", "NaN(123)", kNan},
        {"na", "na", 0.0},
        {"0.1", "0.1", 0.1},
        {"1e23", "1e23", 1e23},
        {"2^53 + 1 ties to even", "9007199254740993", 9007199254740992.0},
        {"2^53 + 3 ties to even", "9007199254740995", 9007199254740996.0},
        {"largest subnormal", "2.2250738585072011e-308", 2.2250738585072011e-308},
        {"smallest normal", "2.2250738585072014e-308", DBL_MIN},
        {"below half the smallest subnormal", "2.4703282292062327e-324", 0.0},
        {"above half the smallest subnormal", "-2.4703282292062328e-324",
         -std::numeric_limits<double>::denorm_min()},
        {"DBL_MAX", "1.7976931348623157e308", DBL_MAX},
        {"rounds to DBL_MAX", "1.7976931348623158e308", DBL_MAX},
        {"rounds to infinity", "1.7976931348623159e308", kInfinity},
        {"1e39 overflows only a float", "1e39", 1e39},
        {"1e-50 underflows only a float", "1e-50", 1e-50},
        {"exponent overflow", "1e400", kInfinity},
        {"exponent underflow", "-1e-400", -0.0},
        {"exponent past 64 bits", "1e99999999999999999999999", kInfinity},
        {"zero with a huge exponent", "0e99999999999999999999999", 0.0},
        {"negative exponent past 64 bits", "1e-99999999999999999999999", 0.0},
        {"leading zeros", "000000000000000000000000000001.5", 1.5},
        {"leading fraction zeros", "0." + zeros + "1e1001", 1.0},
        {"trailing zeros", "1" + zeros + "e-1000", 1.0},
        {"many digits", "0." + std::string(400, '9'), 1.0},
        {"overflow by digit count", std::string(400, '9'), kInfinity},
        {"127 characters", "1." + std::string(124, '0') + "1", 1.0},
    };
    for (const Row& row : rows) {
        const double parsed = ParseRealText(row.text.c_str());
        if (std::isnan(row.expected)) {
            EXPECT_TRUE(std::isnan(parsed)) << row.name << ": " << parsed;
            EXPECT_EQ(std::signbit(parsed), std::signbit(row.expected)) << row.name;
        } else {
            EXPECT_EQ(BitsOf(parsed), BitsOf(row.expected))
                << row.name << ": " << std::hexfloat << parsed << " != " << row.expected;
        }
    }
    EXPECT_EQ(ParseRealText(nullptr), 0.0);
}

// Decimal digits of value * factor^power, by schoolbook multiplication in base 10^9.
std::string DigitsOfProduct(std::uint64_t value, std::uint32_t factor, int power)
{
    constexpr std::uint32_t kLimb = 1000000000;
    std::vector<std::uint32_t> limbs; // least significant first
    for (; value != 0; value /= kLimb) {
        limbs.push_back(static_cast<std::uint32_t>(value % kLimb));
    }
    for (int i = 0; i < power; ++i) {
        std::uint64_t carry = 0;
        for (std::uint32_t& limb : limbs) {
            const std::uint64_t product = std::uint64_t{limb} * factor + carry;
            limb = static_cast<std::uint32_t>(product % kLimb);
            carry = product / kLimb;
        }
        if (carry != 0) {
            limbs.push_back(static_cast<std::uint32_t>(carry));
        }
    }
    std::string digits = std::to_string(limbs.back());
    for (std::size_t i = limbs.size() - 1; i-- > 0;) {
        char limb[16];
        std::snprintf(limb, sizeof limb, "%09u", static_cast<unsigned>(limbs[i]));
        digits += limb;
    }
    return digits;
}

// Subtracts one from a positive decimal integer.
std::string Decremented(std::string digits)
{
    std::size_t i = digits.size();
    while (digits[--i] == '0') {
        digits[i] = '9';
    }
    --digits[i];
    return digits;
}

// The midpoints between adjacent doubles have up to 768 significant digits: a
// wrong last digit or a lost distant one decides the rounding.
TEST(RealTextParse, RoundsMidpointsCorrectly)
{
    constexpr int kMinExponent = -1074; // weight of a subnormal's lowest bit
    constexpr int kMaxExponent = 971;   // weight of DBL_MAX's lowest bit
    constexpr std::uint64_t kHiddenBit = std::uint64_t{1} << 52;
    struct Neighbours {
        std::uint64_t mantissa; // the lower double is mantissa * 2^exponent
        int exponent;
    };
    std::vector<Neighbours> cases = {
        {0, kMinExponent},                  // half the smallest subnormal: ties to zero
        {1, kMinExponent},                  // between the two smallest subnormals
        {kHiddenBit - 1, kMinExponent},     // largest subnormal and smallest normal
        {2 * kHiddenBit - 1, kMaxExponent}, // DBL_MAX and the overflow threshold
        {2 * kHiddenBit - 1, 0},            // 2^53 - 1 and 2^53
    };
    std::mt19937_64 random(kRandomSeed);
    constexpr int kRandomCases = 300;
    for (int i = 0; i < kRandomCases; ++i) {
        const std::uint64_t mantissa = kHiddenBit | (random() & (kHiddenBit - 1));
        const int exponent =
            kMinExponent + static_cast<int>(random() % (kMaxExponent - kMinExponent + 1));
        cases.push_back({mantissa, exponent});
    }

    const std::string distantZeros(1000, '0');
    for (const Neighbours& c : cases) {
        const double lower = std::ldexp(static_cast<double>(c.mantissa), c.exponent);
        const double upper = std::ldexp(static_cast<double>(c.mantissa + 1), c.exponent);
        const double even = c.mantissa % 2 == 0 ? lower : upper;
        // midpoint = (2 * mantissa + 1) * 2^(exponent - 1) = digits * 10^-scale
        const int halfExponent = c.exponent - 1;
        const int scale = halfExponent < 0 ? -halfExponent : 0;
        const std::string digits = halfExponent < 0
                                       ? DigitsOfProduct(2 * c.mantissa + 1, 5, scale)
                                       : DigitsOfProduct(2 * c.mantissa + 1, 2, halfExponent);
        const auto text = [](const std::string& significand, std::size_t decimals) {
            return significand + "e-" + std::to_string(decimals);
        };
        const std::size_t decimals = static_cast<std::size_t>(scale);
        const std::size_t zeros = distantZeros.size();
        const struct {
            const char* name;
            std::string text;
            double expected;
        } rows[] = {
            {"midpoint", text(digits, decimals), even},
            {"midpoint with zeros", text(digits + distantZeros, decimals + zeros), even},
            {"just below", text(Decremented(digits), decimals), lower},
            {"distantly above", text(digits + distantZeros + "1", decimals + zeros + 1), upper},
        };
        for (const auto& row : rows) {
            const double parsed = ParseRealText(row.text.c_str());
            EXPECT_EQ(BitsOf(parsed), BitsOf(row.expected))
                << row.name << " of " << c.mantissa << " * 2^" << c.exponent << ": "
                << std::hexfloat << parsed << " != " << row.expected;
        }
    }
}

// Decimal text of every shape the reader accepts: signs, short and long digit
// runs on either side of the point, and exponents reaching past both ends.
std::vector<std::string> RandomDecimalTexts(int count)
{
    constexpr int kShortRun = 20;
    constexpr int kLongRun = 800;
    constexpr int kExponentSpan = 800;
    std::mt19937_64 random(kRandomSeed);
    const char* const signs[] = {"", "-", "+"};
    std::vector<std::string> texts;
    for (int i = 0; i < count; ++i) {
        std::string text = signs[random() % 3];
        const int run = random() % 16 == 0 ? kLongRun : kShortRun;
        const auto addDigits = [&](int length) {
            for (int j = 0; j < length; ++j) {
                text += static_cast<char>('0' + random() % 10);
            }
        };
        addDigits(static_cast<int>(random() % run));
        if (random() % 2 != 0) {
            text += '.';
            addDigits(static_cast<int>(random() % run));
        }
        if (random() % 2 != 0) {
            text += random() % 2 != 0 ? 'e' : 'E';
            text += signs[random() % 3];
            text += std::to_string(random() % (kExponentSpan / 2));
        }
        texts.push_back(text);
    }
    return texts;
}

TEST(RealTextParse, MatchesGlibcForRandomText)
{
    constexpr std::uint64_t kGlibcDigest = 0x6bbe8c10d66561cc;
    constexpr int kTextCount = 100000;
    Digest digest;
    for (const std::string& text : RandomDecimalTexts(kTextCount)) {
        const double parsed = ParseRealText(text.c_str());
        digest.Add(parsed);
#ifdef __GLIBC__
        const double glibc = std::strtod(text.c_str(), nullptr);
        ASSERT_EQ(BitsOf(parsed), BitsOf(glibc)) << text;
#endif
    }
    EXPECT_EQ(digest.Value(), kGlibcDigest);
}

// Six decimals keep every float from 16 up, where half a float step exceeds the
// 5e-7 the text may be off; smaller floats come back within that.
TEST(RealTextParse, ReadsFormattedFloatsBack)
{
    constexpr double kExactFrom = 16.0;
    // Half the sixth decimal, and room for the text's own rounding to a double.
    constexpr double kTextError = 5.000001e-7;
    for (double value : RandomFloats(kRandomFloatCount)) {
        const std::string text = Format(value);
        const double parsed = ParseRealText(text.c_str());
        if (std::isnan(value)) {
            ASSERT_TRUE(std::isnan(parsed)) << text;
        } else if (std::fabs(value) >= kExactFrom) {
            ASSERT_EQ(static_cast<float>(parsed), static_cast<float>(value)) << text;
        } else {
            ASSERT_LE(std::fabs(parsed - value), kTextError) << text;
        }
    }
    EXPECT_EQ(static_cast<float>(ParseRealText("1e39")), std::numeric_limits<float>::infinity());
    EXPECT_EQ(static_cast<float>(ParseRealText("1e-50")), 0.0f);
}

} // namespace
