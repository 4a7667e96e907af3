// Changes to a profile text, each described as a value and applied to the text's index.
//
// An edit never changes the text: it describes the whole new text, in which every byte outside
// the lines the edit concerns is the same as before.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "IniIndex.h"

namespace skarvel {

// An edited text as the pieces that, joined in order, make it: stretches of the old text and
// the bytes the edit adds, which view the edit's strings or string literals. The pieces stay
// valid while the text and those strings live, so that a large text can be written out
// without first being copied whole.
using TextPieces = std::vector<std::string_view>;

// The pieces joined into one string.
std::string JoinPieces(const TextPieces& pieces);

// One change the profile functions make, with names as the caller gave them (they are trimmed
// before they are matched). The edit views strings it does not own.
struct IniEdit {
    enum class Kind {
        // `key` gets `value` in the first section named `section`; a missing key follows the
        // section's last key or bare line, a missing section goes at the end of the text.
        SetValue,
        // One line goes, as Windows removes it: the first line of the key's name (with or
        // without '=') found in the sections of that name, in file order, so that a later line
        // of the name comes to light.
        DeleteKey,
        // The first section of the name goes: its header, key and bare lines, not its comments
        // and blank lines.
        DeleteSection,
    };

    Kind kind;
    std::string_view section;
    std::string_view key;
    std::string_view value;
};

// Writes the pieces of the edited text into `edited` and answers true, or answers false and
// leaves `edited` alone when the text would not change. Lines the edit adds take the line end
// the text already uses (LF when it has none).
bool ApplyEdit(const IniIndex& index, const IniEdit& edit, TextPieces& edited);

}  // namespace skarvel
