// A profile file as the store keeps it for reuse: its text, and the index that answers
// lookups in it.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>

#include "IniIndex.h"

namespace skarvel {

class ProfileContent {
public:
    explicit ProfileContent(std::string text) : text_(std::move(text)), index_(text_) {}
    ProfileContent(const ProfileContent&) = delete;
    ProfileContent& operator=(const ProfileContent&) = delete;

    const IniIndex& Index() const { return index_; }
    std::string_view Text() const { return text_; }

private:
    std::string text_;
    IniIndex index_;  // looks into text_, which stays in place as long as this does
};

}  // namespace skarvel
