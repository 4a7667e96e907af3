// The byte forms a profile file may take, and its text in narrow (UTF-8) form.
#pragma once

#include <string>
#include <string_view>

namespace skarvel {

enum class FileEncoding {
    Narrow,   // bytes as they are
    Utf8Bom,  // a UTF-8 byte order mark, then bytes as they are
    Utf16Le,  // FF FE, then UTF-16 little-endian
    Utf16Be,  // FE FF, then UTF-16 big-endian
};

// A file's text in narrow form, and what it takes to write the file back in the
// form it came in.
struct DecodedText {
    FileEncoding encoding = FileEncoding::Narrow;
    std::string text;
    std::string tail;  // the odd last byte of a UTF-16 file, kept as it was
};

// Recognises the file's form by its byte order mark and gives its text. UTF-16
// becomes UTF-8, with a form of its own for each unpaired surrogate, so that
// encoding the text again gives back the same bytes. Narrow bytes become the
// text without a copy.
DecodedText DecodeProfileBytes(std::string bytes);

// The bytes a file of the form starts with, ahead of its text.
std::string_view ByteOrderMark(FileEncoding encoding);

// The file's bytes for `text` in the form `form` describes. Any text, valid UTF-8
// or not, is encoded so that decoding the bytes gives it back.
std::string EncodeProfileText(const DecodedText& form, std::string text);

}  // namespace skarvel
