// The C++ layer: typed reads with defaults, error codes, listings as vectors. The
// header comes first, to compile on its own; the class's header beside it shares no
// macro with it.
#include "skarvel_profile.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "HostFiles.h"
#include "Skarvel.h"

namespace {

using namespace std::string_literals;
using skarvel::test::ScopedHostFile;
using skarvel::test::WriteBytes;

class ProfileCppTests : public ::testing::Test {
protected:
    ProfileCppTests()
    {
        WriteBytes(file_.Path(), "[Window]\nWidth=1024\nScale=1.5\nShown=on\nName=\"  main  \"\n"
                                 "Huge=4294967296\nNegative=-1\nFar=1e300\n[Empty]\n");
        std::error_code error;
        settings_ = skarvel::profile::open(file_.Path(), error);
        EXPECT_FALSE(error) << error.message();
    }

    ScopedHostFile file_;
    skarvel::profile settings_;
};

TEST_F(ProfileCppTests, TypedReadsGiveTheValueOrTheFallback)
{
    EXPECT_EQ(settings_.get<int>("Window", "Width", 0), 1024);
    EXPECT_EQ(settings_.get<std::int64_t>("Window", "Huge", 0), 4294967296);
    EXPECT_EQ(settings_.get<double>("Window", "Scale", 0.0), 1.5);
    EXPECT_EQ(settings_.get<float>("Window", "Scale", 0.0f), 1.5f);
    EXPECT_TRUE(settings_.get<bool>("Window", "Shown", false));
    EXPECT_EQ(settings_.get("Window", "Name", "fallback"), "  main  ");
    EXPECT_EQ(settings_.get("Window", "Missing", "fallback"), "fallback");
    EXPECT_EQ(settings_.get("Window", "Width", 7u), 1024u);
    // Present but not of the type, or beyond its range: the fallback too.
    EXPECT_EQ(settings_.get<int>("Window", "Scale", -3), -3);
    EXPECT_EQ(settings_.get<int>("Window", "Huge", -3), -3);
    EXPECT_EQ(settings_.get<unsigned>("Window", "Negative", 3u), 3u);
    EXPECT_EQ(settings_.get<float>("Window", "Far", 2.0f), 2.0f);
}

TEST_F(ProfileCppTests, FailuresAreErrorCodesThatMatchTheStandardConditions)
{
    std::error_code error;
    EXPECT_FALSE(settings_.get<int>("Window", "Missing", error));
    EXPECT_EQ(error, skarvel::errc::not_found);
    EXPECT_EQ(error, std::errc::no_such_file_or_directory);
    EXPECT_EQ(error.message(), skarvel_strerror(SKARVEL_NOT_FOUND));
    EXPECT_STREQ(error.category().name(), "skarvel");

    EXPECT_FALSE(settings_.get<int>("Window", "Huge", error));
    EXPECT_EQ(error, skarvel::errc::wrong_type);
    EXPECT_EQ(settings_.get<int>("Window", "Width", error), 1024);
    EXPECT_FALSE(error);

    // A NUL would cut the name short in the C call.
    EXPECT_EQ(settings_.set("Win\0dow"s, "k", 1), std::errc::invalid_argument);
    EXPECT_EQ(settings_.set("Window", "k", "a\0b"s), skarvel::errc::invalid_argument);

    std::filesystem::create_directory(file_.Path() + ".d");
    const auto directory = skarvel::profile::open(file_.Path() + ".d", error);
    ASSERT_TRUE(directory);
    EXPECT_EQ(directory.set("s", "k", true), std::errc::permission_denied);
    std::filesystem::remove(file_.Path() + ".d");
}

TEST_F(ProfileCppTests, WritesReadBackAndListingsAreVectors)
{
    const std::string longText(1000, 'x');
    EXPECT_FALSE(settings_.set("Window", "Width", 1280));
    EXPECT_FALSE(settings_.set("Window", "Ratio", 0.1));
    EXPECT_FALSE(settings_.set("Window", "Full", false));
    EXPECT_FALSE(settings_.set("Window", "Title", longText));
    EXPECT_FALSE(settings_.set("Other", "Path", std::string_view(" spaced ")));
    EXPECT_EQ(settings_.get("Window", "Width", 0), 1280);
    EXPECT_EQ(settings_.get("Window", "Ratio", 0.0), 0.1);
    EXPECT_TRUE(settings_.get("Window", "Full", true) == false);
    EXPECT_EQ(settings_.get("Window", "Title", ""), longText);
    EXPECT_EQ(settings_.get("Other", "Path", ""), " spaced ");

    std::error_code error;
    EXPECT_EQ(settings_.sections(error), (std::vector<std::string>{"Window", "Empty", "Other"}));
    EXPECT_EQ(settings_.keys("Other", error), std::vector<std::string>{"Path"});
    EXPECT_TRUE(settings_.keys("Empty", error).empty());
    EXPECT_FALSE(error);
    settings_.keys("Nowhere", error);
    EXPECT_EQ(error, skarvel::errc::not_found);

    EXPECT_FALSE(settings_.remove("Other", "Path"));
    EXPECT_EQ(settings_.remove("Other", "Path"), skarvel::errc::not_found);
    EXPECT_FALSE(settings_.remove_section("Other"));
    EXPECT_EQ(settings_.sections(error), (std::vector<std::string>{"Window", "Empty"}));
}

TEST_F(ProfileCppTests, AClosedProfileRefusesEveryCall)
{
    skarvel::profile moved = std::move(settings_);
    EXPECT_TRUE(moved);
    EXPECT_FALSE(settings_);
    EXPECT_TRUE(settings_.path().empty());
    EXPECT_EQ(std::filesystem::u8path(moved.path()), std::filesystem::path(file_.Path()));
    std::error_code error;
    EXPECT_FALSE(settings_.get<int>("Window", "Width", error));
    EXPECT_EQ(error, skarvel::errc::invalid_argument);
    EXPECT_EQ(settings_.set("Window", "Width", 1), skarvel::errc::invalid_argument);
    EXPECT_EQ(skarvel::profile::open("", error).path(), "");
    EXPECT_EQ(error, skarvel::errc::invalid_argument);
}

}  // namespace
