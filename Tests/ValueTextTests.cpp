// The text that the value writes leave in a file, the same on every platform.
#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "HostFiles.h"
#include "Skarvel.h"

namespace {

using skarvel::test::HostDirectory;
using skarvel::test::ReadBytes;
using skarvel::test::ScopedHostFile;

// The file's lines without their line ends, blank lines left out: the stores
// may end lines and space sections differently, but not differ in any line.
std::vector<std::string> TextLines(const std::string& bytes)
{
    std::vector<std::string> lines;
    std::istringstream in(bytes);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (!line.empty()) {
            lines.push_back(line);
        }
    }
    return lines;
}

TEST(ValueTextTests, WrittenValuesMatchTheExpectedFile)
{
    ScopedHostFile file;
    CSkarvel settings(file.NameForConstructor());

    const struct {
        const char* key;
        int value;
    } integers[] = {
        {"Zero", 0},    {"One", 1},           {"Minus", -1},
        {"Answer", 42}, {"Largest", INT_MAX}, {"Smallest", INT_MIN},
    };
    for (const auto& row : integers) {
        ASSERT_NE(settings.WriteInt("Integers", row.key, row.value), 0) << row.key;
    }

    const struct {
        const char* key;
        float value;
    } reals[] = {
        {"Zero", 0.0f},
        {"NegativeZero", -0.0f},
        {"Tenth", 0.1f},
        {"Rounded", 1.23456789f},
        {"BelowSixDecimals", -4e-7f},
        {"Halfway", 0.0078125f},
        {"Thirds", 1.0f / 3.0f},
        {"Mega", 16777217.0f},
        {"Largest", FLT_MAX},
        {"Smallest", FLT_TRUE_MIN},
        {"Infinity", INFINITY},
        {"MinusInfinity", -INFINITY},
        {"NotANumber", NAN},
    };
    for (const auto& row : reals) {
        ASSERT_NE(settings.WriteFloat("Reals", row.key, row.value), 0) << row.key;
    }

    const struct {
        const char* key;
        const char* value;
    } texts[] = {
        {"Plain", "Main window"},
        {"Quoted", "\"  kept  \""},
        {"Equals", "a=b=c"},
        {"Note", "v ; note"},
        {"Empty", ""},
        {"Symbols", "[x] #y 'z' \\w"},
    };
    for (const auto& row : texts) {
        ASSERT_NE(settings.WriteString("Text", row.key, row.value), 0) << row.key;
    }
    // A second write of a key replaces its value in place.
    ASSERT_NE(settings.WriteInt("integers", "ANSWER", -42), 0);

    const std::string expected = ReadBytes(HostDirectory() + "/ValueText.expected.ini");
    ASSERT_FALSE(expected.empty()) << "the expected file is copied beside the test";
    EXPECT_EQ(TextLines(ReadBytes(file.Path())), TextLines(expected));
}

}  // namespace
