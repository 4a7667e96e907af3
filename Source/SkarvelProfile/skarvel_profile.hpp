// skarvel_profile.hpp: the C interface of skarvel_profile.h in the idiom of C++17.
//
// Header only: it calls the C functions and needs nothing else of the library.
// Names and values go in as std::string_view, come out as std::string,
// std::optional and std::vector; failures come out as std::error_code of the
// skarvel::errc values, which compare equal to the nearest std::errc
// (errc::access_denied == std::errc::permission_denied). Nothing here throws,
// except std::bad_alloc where the C++ library's containers do.
//
//     std::error_code error;
//     skarvel::profile settings = skarvel::profile::open_user("MyApp/settings.ini", error);
//     const auto width = settings.get<int>("Window", "Width", 800);
//     settings.set("Window", "Width", 1024);
//
// Text with a NUL inside cannot reach the store: it answers errc::invalid_argument.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <type_traits>
#include <utility>
#include <vector>

#include "skarvel_profile.h"

namespace skarvel {

// The failures of skarvel_status, as std::error_code values.
enum class errc {
    not_found = SKARVEL_NOT_FOUND,
    wrong_type = SKARVEL_WRONG_TYPE,
    truncated = SKARVEL_TRUNCATED,
    access_denied = SKARVEL_ACCESS_DENIED,
    no_space = SKARVEL_NO_SPACE,
    invalid_argument = SKARVEL_INVALID_ARGUMENT,
    system_error = SKARVEL_SYSTEM_ERROR,
};

namespace detail {

class profile_category_type final : public std::error_category {
public:
    const char* name() const noexcept override { return "skarvel"; }

    std::string message(int value) const override
    {
        return skarvel_strerror(static_cast<skarvel_status>(value));
    }

    std::error_condition default_error_condition(int value) const noexcept override
    {
        switch (static_cast<errc>(value)) {
        case errc::not_found:
            return std::errc::no_such_file_or_directory;
        case errc::truncated:
            return std::errc::value_too_large;
        case errc::access_denied:
            return std::errc::permission_denied;
        case errc::no_space:
            return std::errc::no_space_on_device;
        case errc::invalid_argument:
            return std::errc::invalid_argument;
        default:
            return std::error_condition(value, *this);
        }
    }
};

}  // namespace detail

inline const std::error_category& profile_category() noexcept
{
    static const detail::profile_category_type category;
    return category;
}

inline std::error_code make_error_code(errc value) noexcept
{
    return std::error_code(static_cast<int>(value), profile_category());
}

// The error code for a status: empty for SKARVEL_OK.
inline std::error_code make_error_code(skarvel_status status) noexcept
{
    return status == SKARVEL_OK ? std::error_code()
                                : std::error_code(static_cast<int>(status), profile_category());
}

}  // namespace skarvel

namespace std {
template <> struct is_error_code_enum<skarvel::errc> : true_type {
};
}  // namespace std

namespace skarvel {

// One settings file, open until the object is destroyed; moved, never copied. A
// default-constructed or moved-from profile is closed: every call on it answers
// errc::invalid_argument. The calls are const, as the C calls are: a profile may be
// used by several threads at once.
class profile {
public:
    profile() noexcept = default;
    profile(const profile&) = delete;
    profile& operator=(const profile&) = delete;
    profile(profile&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
    profile& operator=(profile&& other) noexcept
    {
        std::swap(handle_, other.handle_);
        return *this;
    }
    ~profile() { skarvel_close(handle_); }

    // The file at `path`, absolute or relative to the working directory now (skarvel_open).
    static profile open(std::string_view path, std::error_code& error)
    {
        return open_with(skarvel_open, path, error);
    }

    // The per-user file `name`, such as "MyApp/settings.ini", under $XDG_CONFIG_HOME or
    // ~/.config on Linux and %APPDATA% on Windows; its directories are made (skarvel_open_user).
    static profile open_user(std::string_view name, std::error_code& error)
    {
        return open_with(skarvel_open_user, name, error);
    }

    explicit operator bool() const noexcept { return handle_ != nullptr; }

    // The file's absolute path, in UTF-8; empty when closed.
    std::string_view path() const noexcept { return skarvel_path(handle_); }

    // The C handle, for the calls of skarvel_profile.h; it stays this object's.
    skarvel_profile* native_handle() const noexcept { return handle_; }

    // The key's value as a T: std::string, bool, an integer type or a floating-point
    // type. Empty, with `error` set, when the key is not there (errc::not_found), its
    // text is not a T (errc::wrong_type, also for numbers beyond T's range) or the file
    // could not be read.
    template <typename T>
    std::optional<T> get(std::string_view section, std::string_view key,
                         std::error_code& error) const
    {
        static_assert(is_value<T>, "get<T> takes std::string, bool, integers and reals");
        std::optional<T> value;
        terminated names(section, key);
        if (!names.valid()) {
            error = errc::invalid_argument;
            return value;
        }
        if constexpr (std::is_same_v<T, std::string>) {
            value = read_text(names, error);
        } else if constexpr (std::is_same_v<T, bool>) {
            bool read = false;
            error = make_error_code(skarvel_get_bool(handle_, names.section(), names.key(), &read));
            value = read;
        } else if constexpr (std::is_integral_v<T>) {
            std::int64_t read = 0;
            error =
                make_error_code(skarvel_get_int64(handle_, names.section(), names.key(), &read));
            if (!error && !fits<T>(read)) {
                error = errc::wrong_type;
            }
            if (!error) {
                value = static_cast<T>(read);
            }
        } else {
            double read = 0;
            error =
                make_error_code(skarvel_get_double(handle_, names.section(), names.key(), &read));
            if (!error && !fits<T>(read)) {
                error = errc::wrong_type;
            }
            if (!error) {
                value = static_cast<T>(read);
            }
        }
        if (error) {
            value.reset();
        }
        return value;
    }

    // The key's value as a T, or `fallback` when get<T> fails for any reason.
    template <typename T> T get(std::string_view section, std::string_view key, T fallback) const
    {
        std::error_code error;
        return get<T>(section, key, error).value_or(std::move(fallback));
    }

    // The key's text, or `fallback`; so that a literal fallback gives a std::string.
    std::string get(std::string_view section, std::string_view key, const char* fallback) const
    {
        return get<std::string>(section, key, std::string(fallback));
    }

    // Writes `value`: text (anything a std::string_view is made from), bool ("true",
    // "false"), an integer or a floating-point number (the shortest text that reads back
    // the same double).
    template <typename T>
    std::error_code set(std::string_view section, std::string_view key, const T& value) const
    {
        terminated names(section, key);
        if (!names.valid()) {
            return errc::invalid_argument;
        }
        if constexpr (std::is_same_v<T, bool>) {
            return make_error_code(skarvel_set_bool(handle_, names.section(), names.key(), value));
        } else if constexpr (std::is_integral_v<T>) {
            static_assert(sizeof(T) < sizeof(std::int64_t) || std::is_signed_v<T>,
                          "a 64-bit unsigned value may not fit the file's int64_t");
            return make_error_code(skarvel_set_int64(handle_, names.section(), names.key(),
                                                     static_cast<std::int64_t>(value)));
        } else if constexpr (std::is_floating_point_v<T>) {
            return make_error_code(skarvel_set_double(handle_, names.section(), names.key(),
                                                      static_cast<double>(value)));
        } else {
            static_assert(std::is_convertible_v<const T&, std::string_view>,
                          "set takes text, bool, integers and reals");
            const std::string text{std::string_view(value)};
            if (text.find('\0') != std::string::npos) {
                return errc::invalid_argument;
            }
            return make_error_code(
                skarvel_set_string(handle_, names.section(), names.key(), text.c_str()));
        }
    }

    // Removes the key; errc::not_found when it is not there.
    std::error_code remove(std::string_view section, std::string_view key) const
    {
        terminated names(section, key);
        if (!names.valid()) {
            return errc::invalid_argument;
        }
        return make_error_code(skarvel_delete_key(handle_, names.section(), names.key()));
    }

    // Removes the section and its keys; errc::not_found when it is not there.
    std::error_code remove_section(std::string_view section) const
    {
        terminated names(section, {});
        if (!names.valid()) {
            return errc::invalid_argument;
        }
        return make_error_code(skarvel_delete_section(handle_, names.section()));
    }

    // The file's section names in file order; errc::not_found when there is no file.
    std::vector<std::string> sections(std::error_code& error) const
    {
        return collect_names(
            [this](skarvel_name_visitor visit, void* context) {
                return skarvel_list_sections(handle_, visit, context);
            },
            error);
    }

    // The section's key names in file order; errc::not_found when there is no such section.
    std::vector<std::string> keys(std::string_view section, std::error_code& error) const
    {
        terminated names(section, {});
        if (!names.valid()) {
            error = errc::invalid_argument;
            return {};
        }
        return collect_names(
            [&](skarvel_name_visitor visit, void* context) {
                return skarvel_list_keys(handle_, names.section(), visit, context);
            },
            error);
    }

private:
    template <typename T>
    static constexpr bool is_value = std::is_same_v<T, std::string> || std::is_arithmetic_v<T>;

    // Copies of a section and key name with their terminators, refused when they hold a
    // NUL, which would cut them short.
    class terminated {
    public:
        terminated(std::string_view section, std::string_view key) : section_(section), key_(key) {}
        bool valid() const
        {
            return section_.find('\0') == std::string::npos && key_.find('\0') == std::string::npos;
        }
        const char* section() const { return section_.c_str(); }
        const char* key() const { return key_.c_str(); }

    private:
        std::string section_;
        std::string key_;
    };

    explicit profile(skarvel_profile* handle) noexcept : handle_(handle) {}

    template <typename Open>
    static profile open_with(Open open, std::string_view path, std::error_code& error)
    {
        const std::string text(path);
        if (text.find('\0') != std::string::npos) {
            error = errc::invalid_argument;
            return profile();
        }
        skarvel_profile* handle = nullptr;
        error = make_error_code(open(text.c_str(), &handle));
        return profile(handle);
    }

    // True when `value` is within T's range; a NaN or an infinity fits any real type.
    template <typename T, typename From> static bool fits(From value)
    {
        constexpr bool wide = sizeof(T) >= sizeof(std::int64_t);
        if constexpr (std::is_floating_point_v<T>) {
            return !std::isfinite(value) || std::fabs(value) <= std::numeric_limits<T>::max();
        } else if constexpr (std::is_signed_v<T>) {
            if constexpr (wide) {
                return true;
            } else {
                return value >= std::numeric_limits<T>::min() &&
                       value <= std::numeric_limits<T>::max();
            }
        } else if constexpr (wide) {
            return value >= 0;
        } else {
            return value >= 0 && static_cast<std::uint64_t>(value) <= std::numeric_limits<T>::max();
        }
    }

    std::optional<std::string> read_text(const terminated& names, std::error_code& error) const
    {
        // Most values fit the first buffer; a longer one, which another writer may make
        // longer still, is read again at the length it had.
        std::string text(127, '\0');
        for (;;) {
            std::size_t length = 0;
            const skarvel_status status = skarvel_get_string(handle_, names.section(), names.key(),
                                                             &text[0], text.size() + 1, &length);
            if (status != SKARVEL_TRUNCATED) {
                error = make_error_code(status);
                if (error) {
                    return std::nullopt;
                }
                text.resize(length);
                return text;
            }
            text.resize(length);
        }
    }

    // Names collected by a listing. No exception may pass through the C library's
    // frames, so running out of memory stops the listing and is raised after it.
    struct collection {
        std::vector<std::string> names;
        bool outOfMemory = false;
    };

    static int collect(void* context, const char* name, std::size_t length) noexcept
    {
        auto* into = static_cast<collection*>(context);
        try {
            into->names.emplace_back(name, length);
            return 0;
        } catch (...) {
            into->outOfMemory = true;
            return 1;
        }
    }

    template <typename List>
    static std::vector<std::string> collect_names(List list, std::error_code& error)
    {
        collection collected;
        error = make_error_code(list(collect, &collected));
        if (collected.outOfMemory) {
            throw std::bad_alloc();
        }
        return std::move(collected.names);
    }

    skarvel_profile* handle_ = nullptr;
};

}  // namespace skarvel
