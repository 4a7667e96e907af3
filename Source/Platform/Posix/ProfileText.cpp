#include "ProfileText.h"

#include <utility>

namespace skarvel {

ProfileText::ProfileText(FileBytes bytes) : bytes_(std::move(bytes))
{
    DecodeProfileBytes(bytes_.View(), form_, decoded_);
    if (!IsNarrow(form_.encoding)) {
        bytes_ = FileBytes();
    }
}

// The text is found again from the form rather than kept as a view, which a move of a short
// decoded string would leave pointing at its old place.
std::string_view ProfileText::Text() const
{
    if (!IsNarrow(form_.encoding)) {
        return decoded_;
    }
    return bytes_.View().substr(ByteOrderMark(form_.encoding).size());
}

}  // namespace skarvel
