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

// True for the forms whose text is their bytes after the mark, as they are.
inline bool IsNarrow(FileEncoding encoding)
{
    return encoding == FileEncoding::Narrow || encoding == FileEncoding::Utf8Bom;
}

// What it takes to write a file back in the form it came in.
struct FileForm {
    FileEncoding encoding = FileEncoding::Narrow;
    std::string tail;  // the odd last byte of a UTF-16 file, kept as it was
};

// Recognises the form of a file's bytes by their byte order mark and answers their text. A
// narrow form's text is the bytes after the mark, as a view of `bytes`, without a copy. UTF-16
// becomes UTF-8 in `decoded`, which the answer views, with a form of its own for each unpaired
// surrogate, so that encoding the text again gives back the same bytes.
std::string_view DecodeProfileBytes(std::string_view bytes, FileForm& form, std::string& decoded);

// The bytes a file of the form starts with, ahead of its text.
std::string_view ByteOrderMark(FileEncoding encoding);

// The file's bytes for `text` in the form `form` describes. Any text, valid UTF-8 or not, is
// encoded so that decoding the bytes gives it back.
std::string EncodeProfileText(const FileForm& form, std::string_view text);

}  // namespace skarvel
