// Values, deletions and listings, each made of one or two store calls.
//
// A read answers the same text for a missing key and for a file it could not read,
// so every read passes a default that no value can be, a line break, and looks at the
// thread's last error when it comes back.
#include <cstring>
#include <string>

#include "ProfileHandle.h"
#include "Status.h"
#include "StoreCalls.h"
#include "StoreErrors.h"
#include "ValueText.h"
#include "WriteGuard.h"

using namespace skarvel::profile;

namespace {

const StoreChar kAbsent[] = {'\n', '\0'};
const StoreChar kNoDefault[] = {'\0'};

// A call's section and key names (the key may be null), checked and in the store's text.
class Names {
public:
    Names(const char* section, const char* key)
        : section_(section), storeSection_(section), storeKey_(key),
          usable_(section != nullptr && skarvel::HasNonBlank(section) &&
                  (key == nullptr || skarvel::HasNonBlank(key)) &&
                  skarvel::ReadsBackAsWritten(section, key, nullptr))
    {
    }

    // OK, or the failure the names are.
    skarvel_status Check() const
    {
        if (!usable_) {
            return InvalidArgument();
        }
        if (!storeSection_.Valid() || !storeKey_.Valid()) {
            return NotUtf8();
        }
        return SKARVEL_OK;
    }

    const char* Section() const { return section_; }
    const StoreChar* StoreSection() const { return storeSection_.Get(); }
    const StoreChar* StoreKey() const { return storeKey_.Get(); }

private:
    const char* section_;
    StoreArgument storeSection_;
    StoreArgument storeKey_;
    bool usable_;
};

// The answer for a read that found nothing after MarkLastError().
skarvel_status FailFoundNothing()
{
    const DWORD code = skarvel::StoreFailureSinceMark();
    return FailFromStore(code == ERROR_SUCCESS ? ERROR_FILE_NOT_FOUND : code, true);
}

// Reads the key's text into `value`: OK, NOT_FOUND, or the store's failure.
skarvel_status Find(const skarvel_profile* profile, const Names& names, std::string& value)
{
    skarvel::MarkLastError();
    const StoreString answer =
        ReadWhole(names.StoreSection(), names.StoreKey(), kAbsent, profile->storePath.c_str());
    if (answer == kAbsent) {
        return FailFoundNothing();
    }
    value = FromStore(answer);
    return SKARVEL_OK;
}

// Calls `each` with each name, as UTF-8, of a list of names that are terminated each,
// until it answers true; true when one did.
template <typename Each> bool AnyName(const StoreString& list, Each each)
{
    for (size_t start = 0; start < list.size();) {
        size_t end = list.find(StoreChar(), start);
        if (end == StoreString::npos) {
            end = list.size();
        }
        if (end > start && each(FromStore(list.substr(start, end - start)))) {
            return true;
        }
        start = end + 1;
    }
    return false;
}

// The file's section names, terminated each: OK, NOT_FOUND for a missing file, or the
// store's failure.
skarvel_status ReadSections(const skarvel_profile* profile, StoreString& sections)
{
    skarvel::MarkLastError();
    sections = ReadWhole(nullptr, nullptr, kNoDefault, profile->storePath.c_str());
    const DWORD code = skarvel::StoreFailureSinceMark();
    if (sections.empty() && code != ERROR_SUCCESS) {
        return FailFromStore(code, true);
    }
    return SKARVEL_OK;
}

// The section's key names, terminated each: OK (with none for a section without keys),
// NOT_FOUND, or the store's failure. The store answers a section without keys as it
// answers a missing one, with the default, so then the section list decides.
skarvel_status ReadKeys(const skarvel_profile* profile, const Names& names, StoreString& keys)
{
    skarvel::MarkLastError();
    keys = ReadWhole(names.StoreSection(), nullptr, kAbsent, profile->storePath.c_str());
    if (keys != kAbsent) {
        return SKARVEL_OK;
    }
    keys.clear();
    StoreString sections;
    const skarvel_status status = ReadSections(profile, sections);
    if (status != SKARVEL_OK) {
        return status;
    }
    const bool listed = AnyName(sections, [&](const std::string& name) {
        return skarvel::NamesMatch(names.Section(), name.c_str());
    });
    if (listed) {
        return SKARVEL_OK;
    }
    return Fail(SKARVEL_NOT_FOUND, ERROR_FILE_NOT_FOUND);
}

// WritePrivateProfileString with the names, and the value or null: OK or the failure.
skarvel_status Store(const skarvel_profile* profile, const Names& names, const char* value)
{
    const StoreArgument storeValue(value);
    if (!storeValue.Valid()) {
        return NotUtf8();
    }
    if (!Write(names.StoreSection(), names.StoreKey(), storeValue.Get(),
               profile->storePath.c_str())) {
        return FailFromStore(GetLastError(), false);
    }
    return SKARVEL_OK;
}

// Writes `value` as the key's text, quoted where the store would otherwise read it back
// changed.
skarvel_status StoreText(const skarvel_profile* profile, const char* section, const char* key,
                         const char* value)
{
    if (profile == nullptr || key == nullptr || value == nullptr ||
        !skarvel::ReadsBackAsWritten(nullptr, nullptr, value)) {
        return InvalidArgument();
    }
    const Names names(section, key);
    const skarvel_status checked = names.Check();
    if (checked != SKARVEL_OK) {
        return checked;
    }
    if (!skarvel::NeedsQuotes(value)) {
        return Store(profile, names, value);
    }
    return Store(profile, names, ('"' + std::string(value) + '"').c_str());
}

// Reads the key's text and converts it with `parse`: OK, WRONG_TYPE when the text
// does not parse, or what the read answered.
template <typename Value, typename Parse>
skarvel_status FindTyped(const skarvel_profile* profile, const char* section, const char* key,
                         Value* value, Parse parse)
{
    if (profile == nullptr || key == nullptr || value == nullptr) {
        return InvalidArgument();
    }
    const Names names(section, key);
    std::string text;
    skarvel_status status = names.Check();
    if (status == SKARVEL_OK) {
        status = Find(profile, names, text);
    }
    if (status != SKARVEL_OK) {
        return status;
    }
    if (!parse(text, *value)) {
        return Fail(SKARVEL_WRONG_TYPE, skarvel::kErrorInvalidData);
    }
    return SKARVEL_OK;
}

}  // namespace

extern "C" skarvel_status skarvel_get_string(const skarvel_profile* profile, const char* section,
                                             const char* key, char* buffer, size_t size,
                                             size_t* length)
{
    return Guarded([&] {
        if (length != nullptr) {
            *length = 0;
        }
        if (buffer == nullptr && size > 0) {
            return InvalidArgument();
        }
        if (size > 0) {
            buffer[0] = '\0';
        }
        std::string value;
        const skarvel_status status =
            FindTyped(profile, section, key, &value, [](const std::string& text, std::string& out) {
                out = text;
                return true;
            });
        if (status != SKARVEL_OK) {
            return status;
        }
        if (length != nullptr) {
            *length = value.size();
        }
        if (value.size() < size) {
            std::memcpy(buffer, value.c_str(), value.size() + 1);
            return SKARVEL_OK;
        }
        if (size > 0) {
            std::memcpy(buffer, value.data(), size - 1);
            buffer[size - 1] = '\0';
        }
        return Fail(SKARVEL_TRUNCATED, ERROR_INSUFFICIENT_BUFFER);
    });
}

extern "C" skarvel_status skarvel_set_string(const skarvel_profile* profile, const char* section,
                                             const char* key, const char* value)
{
    return Guarded([&] { return StoreText(profile, section, key, value); });
}

extern "C" skarvel_status skarvel_get_int64(const skarvel_profile* profile, const char* section,
                                            const char* key, int64_t* value)
{
    return Guarded([&] { return FindTyped(profile, section, key, value, ParseInt64); });
}

extern "C" skarvel_status skarvel_set_int64(const skarvel_profile* profile, const char* section,
                                            const char* key, int64_t value)
{
    return Guarded([&] {
        char text[kNumberTextCapacity];
        FormatInt64(value, text);
        return StoreText(profile, section, key, text);
    });
}

extern "C" skarvel_status skarvel_get_double(const skarvel_profile* profile, const char* section,
                                             const char* key, double* value)
{
    return Guarded([&] { return FindTyped(profile, section, key, value, ParseDouble); });
}

extern "C" skarvel_status skarvel_set_double(const skarvel_profile* profile, const char* section,
                                             const char* key, double value)
{
    return Guarded([&] {
        char text[kNumberTextCapacity];
        FormatDouble(value, text);
        return StoreText(profile, section, key, text);
    });
}

extern "C" skarvel_status skarvel_get_bool(const skarvel_profile* profile, const char* section,
                                           const char* key, bool* value)
{
    return Guarded([&] { return FindTyped(profile, section, key, value, ParseBool); });
}

extern "C" skarvel_status skarvel_set_bool(const skarvel_profile* profile, const char* section,
                                           const char* key, bool value)
{
    return Guarded([&] { return StoreText(profile, section, key, value ? "true" : "false"); });
}

extern "C" skarvel_status skarvel_delete_key(const skarvel_profile* profile, const char* section,
                                             const char* key)
{
    return Guarded([&] {
        if (profile == nullptr || key == nullptr) {
            return InvalidArgument();
        }
        const Names names(section, key);
        std::string value;
        skarvel_status status = names.Check();
        if (status == SKARVEL_OK) {
            status = Find(profile, names, value);
        }
        return status == SKARVEL_OK ? Store(profile, names, nullptr) : status;
    });
}

extern "C" skarvel_status skarvel_delete_section(const skarvel_profile* profile,
                                                 const char* section)
{
    return Guarded([&] {
        if (profile == nullptr) {
            return InvalidArgument();
        }
        const Names names(section, nullptr);
        StoreString keys;
        skarvel_status status = names.Check();
        if (status == SKARVEL_OK) {
            status = ReadKeys(profile, names, keys);
        }
        return status == SKARVEL_OK ? Store(profile, names, nullptr) : status;
    });
}

extern "C" skarvel_status skarvel_list_sections(const skarvel_profile* profile,
                                                skarvel_name_visitor visit, void* context)
{
    return Guarded([&] {
        if (profile == nullptr || visit == nullptr) {
            return InvalidArgument();
        }
        StoreString sections;
        const skarvel_status status = ReadSections(profile, sections);
        if (status == SKARVEL_OK) {
            AnyName(sections, [&](const std::string& name) {
                return visit(context, name.c_str(), name.size()) != 0;
            });
        }
        return status;
    });
}

extern "C" skarvel_status skarvel_list_keys(const skarvel_profile* profile, const char* section,
                                            skarvel_name_visitor visit, void* context)
{
    return Guarded([&] {
        if (profile == nullptr || visit == nullptr) {
            return InvalidArgument();
        }
        const Names names(section, nullptr);
        StoreString keys;
        skarvel_status status = names.Check();
        if (status == SKARVEL_OK) {
            status = ReadKeys(profile, names, keys);
        }
        if (status == SKARVEL_OK) {
            AnyName(keys, [&](const std::string& name) {
                return visit(context, name.c_str(), name.size()) != 0;
            });
        }
        return status;
    });
}
