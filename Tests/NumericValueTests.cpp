// Integers and reals through the class: their text in the file and how it reads.
#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <atomic>
#include <cmath>
#include <string>
#include <thread>

#include "HostFiles.h"
#include "Skarvel.h"

namespace {

using skarvel::test::ReadBytes;
using skarvel::test::ScopedHostFile;
using skarvel::test::WriteBytes;

class NumericValueTests : public ::testing::Test {
protected:
    // The stored text of `key` in section "n".
    std::string Stored(const char* key)
    {
        char buffer[128] = {};
        settings_.GetString("n", key, buffer, sizeof buffer);
        return buffer;
    }

    ScopedHostFile file_;
    CSkarvel settings_{file_.NameForConstructor()};
};

TEST_F(NumericValueTests, IntegersAreWrittenAsDecimalTextAndReadBack)
{
    const struct {
        int value;
        const char* text;
    } rows[] = {
        {0, "0"}, {1, "1"}, {2, "2"}, {-1, "-1"}, {42, "42"},
        {INT_MAX, "2147483647"}, {INT_MIN, "-2147483648"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        ASSERT_NE(settings_.WriteInt("n", "k", row.value), 0);
        EXPECT_EQ(Stored("k"), row.text);
        int read = ~row.value;  // any other number
        EXPECT_TRUE(settings_.GetInt("n", "k", read));
        EXPECT_EQ(read, row.value);
    }
}

// The stored text, as any writer may have left it, and what GetInt makes of it.
TEST_F(NumericValueTests, IntegerTextAsTheStoreReadsIt)
{
    WriteBytes(file_.Path(),
               "[n]\none=1\ntwo=2\nempty=\nblank=  \nword=abc\nbare\nhex=0x1F\nneg=-0x10\n"
               "trail=42abc\nreal=3.9\nwrap=4294967297\nquoted=\"-7\"\nplus=+5\nbig=4294967295\n"
               "upper=0X1F\n");
    const struct {
        const char* key;
        bool found;
        int value;
    } rows[] = {
        {"one", true, 1},      {"two", true, 2},        {"empty", false, 0},
        {"blank", false, 0},   {"word", true, 0},       {"bare", false, 0},
        {"missing", false, 0}, {"hex", true, 31},       {"neg", true, -16},
        {"trail", true, 42},   {"real", true, 3},       {"wrap", true, 1},
        {"quoted", true, -7},  {"plus", true, 5},       {"big", true, -1},
        {"upper", true, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.key);
        int value = 12345;
        EXPECT_EQ(settings_.GetInt("n", row.key, value), row.found);
        EXPECT_EQ(value, row.found ? row.value : 12345);
    }
}

TEST_F(NumericValueTests, RealsAreWrittenInFixedNotationWithSixDecimals)
{
    const struct {
        float value;
        const char* text;
    } rows[] = {
        {0.0f, "0.000000"},
        {-0.0f, "-0.000000"},
        {1.5f, "1.500000"},
        {0.1f, "0.100000"},
        {1.23456789f, "1.234568"},
        {-1e-7f, "-0.000000"},
        {4e-7f, "0.000000"},
        {0.0078125f, "0.007812"},
        {16777216.0f, "16777216.000000"},
        {-2.5f, "-2.500000"},
        {FLT_MAX, "340282346638528859811704183484516925440.000000"},
        {-FLT_MAX, "-340282346638528859811704183484516925440.000000"},
        {INFINITY, "inf"},
        {-INFINITY, "-inf"},
        {NAN, "nan"},
        {-NAN, "nan"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        ASSERT_NE(settings_.WriteFloat("n", "k", row.value), 0);
        EXPECT_EQ(Stored("k"), row.text);
    }
}

// Every real reads back as the same kind of value, non-finite ones included.
TEST_F(NumericValueTests, RealsRoundTrip)
{
    for (float value : {0.1f, -3.25f, 1e10f, FLT_MAX, INFINITY, -INFINITY}) {
        SCOPED_TRACE(value);
        ASSERT_NE(settings_.WriteFloat("n", "k", value), 0);
        float read = 0.5f;
        EXPECT_TRUE(settings_.GetFloat("n", "k", read));
        EXPECT_EQ(read, value);
    }
    ASSERT_NE(settings_.WriteFloat("n", "k", NAN), 0);
    float read = 0.5f;
    EXPECT_TRUE(settings_.GetFloat("n", "k", read));
    EXPECT_TRUE(std::isnan(read));
}

TEST_F(NumericValueTests, RealTextAsGetFloatReadsIt)
{
    WriteBytes(file_.Path(),
               "[n]\nint=42\nunit=2.5kg\nword=abc\nempty=\nhuge=1e39\nnhuge=-1e39\ntiny=1e-50\n"
               "exp=1.5E3\nhex=0x10\nINF=-Infinity\nnan=NaN\nlead=  .5\nbare\n");
    const struct {
        const char* key;
        bool found;
        float value;
    } rows[] = {
        {"int", true, 42.0f},      {"unit", true, 2.5f},     {"word", true, 0.0f},
        {"empty", false, 0.0f},    {"huge", true, INFINITY}, {"nhuge", true, -INFINITY},
        {"tiny", true, 0.0f},      {"exp", true, 1500.0f},   {"hex", true, 0.0f},
        {"inf", true, -INFINITY},  {"lead", true, 0.5f},     {"bare", false, 0.0f},
        {"missing", false, 0.0f},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.key);
        float value = 99.0f;
        EXPECT_EQ(settings_.GetFloat("n", row.key, value), row.found);
        EXPECT_EQ(value, row.found ? row.value : 99.0f);
    }
    float value = 0.0f;
    EXPECT_TRUE(settings_.GetFloat("n", "nan", value));
    EXPECT_TRUE(std::isnan(value));
}

TEST_F(NumericValueTests, TextWrittenAsStringReadsAsNumbers)
{
    ASSERT_NE(settings_.WriteString("n", "k", "42"), 0);
    int number = 0;
    float real = 0.0f;
    EXPECT_TRUE(settings_.GetInt("n", "k", number));
    EXPECT_TRUE(settings_.GetFloat("n", "k", real));
    EXPECT_EQ(number, 42);
    EXPECT_EQ(real, 42.0f);
}

// A key that another writer keeps rewriting is present at every moment, so every read finds
// it, with one of the values written: never the verdict "absent", whenever the writes land.
TEST_F(NumericValueTests, KeyRewrittenMeanwhileIsAlwaysFound)
{
    constexpr int kWrites = 40;
    const struct {
        int a;
        int b;
    } pairs[] = {{5, 6}, {1, 7}};
    // Made before the reads begin: its creation probe holds the file exclusively for a
    // moment, and Windows answers a read in that moment with the default.
    CSkarvel other(file_.NameForConstructor());
    for (const auto& pair : pairs) {
        SCOPED_TRACE(pair.a);
        ASSERT_NE(settings_.WriteInt("n", "k", pair.a), 0);
        std::atomic<bool> done{false};
        int failedWrites = 0;
        std::thread writer([&] {
            for (int i = 0; i < kWrites; ++i) {
                if (other.WriteInt("n", "k", i % 2 == 0 ? pair.b : pair.a) == 0) {
                    ++failedWrites;
                }
            }
            done = true;
        });
        int absent = 0;
        int wrong = 0;
        while (!done) {
            int value = 0;
            if (!settings_.GetInt("n", "k", value)) {
                ++absent;
            } else if (value != pair.a && value != pair.b) {
                ++wrong;
            }
        }
        writer.join();
        EXPECT_EQ(failedWrites, 0);
        EXPECT_EQ(absent, 0);
        EXPECT_EQ(wrong, 0);
    }
}

// Null names mean for numbers what they mean for text: a read takes the first name
// the store lists as its text, a null section refuses a write, a null key deletes.
TEST_F(NumericValueTests, NullNamesActAsTheyDoForText)
{
    const std::string original = "[12]\n7=x\n[n]\n2.5=y\n";
    WriteBytes(file_.Path(), original);
    int number = -1;
    float real = -1.0f;
    EXPECT_TRUE(settings_.GetInt(nullptr, "k", number));
    EXPECT_EQ(number, 12);
    EXPECT_TRUE(settings_.GetInt("12", nullptr, number));
    EXPECT_EQ(number, 7);
    EXPECT_TRUE(settings_.GetFloat("n", nullptr, real));
    EXPECT_EQ(real, 2.5f);
    number = -1;
    EXPECT_FALSE(settings_.GetInt("missing", nullptr, number));
    EXPECT_EQ(number, -1);

    EXPECT_EQ(settings_.WriteInt(nullptr, "k", 1), 0);
    EXPECT_EQ(settings_.WriteFloat(nullptr, "k", 1.0f), 0);
    EXPECT_EQ(ReadBytes(file_.Path()), original);
    EXPECT_NE(settings_.WriteInt("12", nullptr, 5), 0);
    // The section is gone and the other stays (the store may lay the file out anew).
    EXPECT_FALSE(settings_.GetInt("12", "7", number));
    char value[8];
    EXPECT_TRUE(settings_.GetString("n", "2.5", value, sizeof value));
    EXPECT_STREQ(value, "y");
}

}  // namespace
