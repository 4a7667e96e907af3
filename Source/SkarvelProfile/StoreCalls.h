// The profile functions as the interface calls them: in the store's own text (UTF-16
// on Windows, whose narrow functions know only the ANSI code page; UTF-8 elsewhere),
// with answers of any length.
#pragma once

#include <string>

#include "Platform.h"

namespace skarvel::profile {

#if defined(_WIN32)
using StoreChar = wchar_t;
#else
using StoreChar = char;
#endif
using StoreString = std::basic_string<StoreChar>;

// A UTF-8 argument in the store's text; null stays null. Only Windows converts, and
// finds text that is no UTF-8 invalid.
class StoreArgument {
public:
    explicit StoreArgument(const char* text);

    bool Valid() const { return valid_; }
    const StoreChar* Get() const { return text_; }

private:
    const StoreChar* text_ = nullptr;
    bool valid_ = true;
#if defined(_WIN32)
    StoreString converted_;
#endif
};

// The store's text as UTF-8, terminators inside it included.
std::string FromStore(const StoreString& text);

// The whole answer of GetPrivateProfileString for these arguments: a value, the
// default, or names each followed by a terminator. The buffer grows until the answer
// leaves it two characters to spare, since a value or list that fills it may be cut.
StoreString ReadWhole(const StoreChar* section, const StoreChar* key, const StoreChar* defaultText,
                      const StoreChar* path);

// WritePrivateProfileString in the store's text.
BOOL Write(const StoreChar* section, const StoreChar* key, const StoreChar* value,
           const StoreChar* path);

}  // namespace skarvel::profile
