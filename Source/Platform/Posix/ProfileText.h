// A profile file's bytes as read, and the text they hold.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "TextEncoding.h"

namespace skarvel {

// A file's bytes, read into one block that has room for them (and, to see the file's end in
// one read, a byte more).
struct FileBytes {
    std::unique_ptr<char[]> block;
    std::size_t size = 0;
    std::size_t capacity = 0;

    std::string_view View() const { return {block.get(), size}; }
};

// A profile file's text, and the form its bytes take. A narrow file's text is its bytes after
// the mark, in the block they were read into; a UTF-16 file's is decoded from them, and the
// bytes are let go.
class ProfileText {
public:
    explicit ProfileText(FileBytes bytes);

    std::string_view Text() const;
    const FileForm& Form() const { return form_; }
    std::size_t HeldBytes() const { return bytes_.capacity + decoded_.capacity(); }

private:
    FileBytes bytes_;
    FileForm form_;
    std::string decoded_;
};

}  // namespace skarvel
