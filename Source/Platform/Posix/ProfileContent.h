// A profile file as the store keeps it for reuse: its text, and the index that answers
// lookups in it.
#pragma once

#include <cstddef>
#include <string_view>
#include <utility>

#include "IniIndex.h"
#include "ProfileText.h"

namespace skarvel {

class ProfileContent {
public:
    explicit ProfileContent(ProfileText text) : text_(std::move(text)), index_(text_.Text()) {}
    ProfileContent(const ProfileContent&) = delete;
    ProfileContent& operator=(const ProfileContent&) = delete;

    const IniIndex& Index() const { return index_; }
    std::string_view Text() const { return text_.Text(); }

    // Heap bytes held, the key tables built so far included.
    std::size_t HeldBytes() const { return sizeof *this + text_.HeldBytes() + index_.HeldBytes(); }

private:
    ProfileText text_;
    IniIndex index_;  // looks into text_, which stays in place as long as this does
};

}  // namespace skarvel
