// Opening settings files: a path made absolute once, so that later calls do not
// depend on the working directory, nor, on Windows, fall into the Windows directory.
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "ProfileHandle.h"
#include "Status.h"

namespace fs = std::filesystem;
using namespace skarvel::profile;

namespace {

// The status for a failure of the file system met while making a path or directory.
skarvel_status FailFromFileSystem(const std::error_code& error)
{
    if (error == std::errc::permission_denied || error == std::errc::read_only_file_system) {
        return Fail(SKARVEL_ACCESS_DENIED, ERROR_ACCESS_DENIED);
    }
    if (error == std::errc::no_space_on_device) {
        return Fail(SKARVEL_NO_SPACE, ERROR_DISK_FULL);
    }
    if (error == std::errc::filename_too_long) {
        return Fail(SKARVEL_INVALID_ARGUMENT, ERROR_FILENAME_EXCED_RANGE);
    }
    if (error == std::errc::no_such_file_or_directory || error == std::errc::not_a_directory) {
        return Fail(SKARVEL_SYSTEM_ERROR, ERROR_PATH_NOT_FOUND);
    }
    return Fail(SKARVEL_SYSTEM_ERROR, ERROR_WRITE_FAULT);
}

// Readies an opening: a null *profile until it succeeds, and the path that the UTF-8
// text names. OK, or INVALID_ARGUMENT for a null profile, a null or empty text, and
// text that is no UTF-8.
skarvel_status StartOpening(const char* text, skarvel_profile** profile, fs::path& path)
{
    if (profile == nullptr) {
        return InvalidArgument();
    }
    *profile = nullptr;
    if (text == nullptr || text[0] == '\0') {
        return InvalidArgument();
    }
    const StoreArgument converted(text);
    if (!converted.Valid()) {
        return NotUtf8();
    }
    path = converted.Get();
    return SKARVEL_OK;
}

// The user's configuration directory: false when the environment names none.
bool UserConfigDirectory(fs::path& directory)
{
#if defined(_WIN32)
    const wchar_t* appData = _wgetenv(L"APPDATA");
    if (appData != nullptr && fs::path(appData).is_absolute()) {
        directory = appData;
        return true;
    }
#else
    // Only an absolute $XDG_CONFIG_HOME counts, as the XDG base directory rules say.
    const char* configHome = std::getenv("XDG_CONFIG_HOME");
    if (configHome != nullptr && configHome[0] == '/') {
        directory = configHome;
        return true;
    }
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/') {
        directory = fs::path(home) / ".config";
        return true;
    }
#endif
    return false;
}

skarvel_status OpenAbsolute(const fs::path& path, skarvel_profile** profile)
{
    std::error_code error;
    fs::path absolute = fs::absolute(path, error);
    if (error) {
        return FailFromFileSystem(error);
    }
    absolute.make_preferred();  // one kind of separator on Windows, as its paths have
    auto* opened = new skarvel_profile;
    opened->storePath = absolute.native();
    opened->path = FromStore(opened->storePath);
    *profile = opened;
    return SKARVEL_OK;
}

}  // namespace

extern "C" skarvel_status skarvel_open(const char* path, skarvel_profile** profile)
{
    return Guarded([&] {
        fs::path named;
        const skarvel_status status = StartOpening(path, profile, named);
        return status == SKARVEL_OK ? OpenAbsolute(named, profile) : status;
    });
}

extern "C" skarvel_status skarvel_open_user(const char* name, skarvel_profile** profile)
{
    return Guarded([&] {
        fs::path relative;
        const skarvel_status status = StartOpening(name, profile, relative);
        if (status != SKARVEL_OK) {
            return status;
        }
        if (relative.has_root_path() || !relative.has_filename()) {
            return InvalidArgument();
        }
        fs::path directory;
        if (!UserConfigDirectory(directory)) {
            return Fail(SKARVEL_NOT_FOUND, ERROR_PATH_NOT_FOUND);
        }
        const fs::path path = directory / relative;
        std::error_code error;
        fs::create_directories(path.parent_path(), error);
        if (error) {
            return FailFromFileSystem(error);
        }
        return OpenAbsolute(path, profile);
    });
}

extern "C" void skarvel_close(skarvel_profile* profile)
{
    delete profile;
}

extern "C" const char* skarvel_path(const skarvel_profile* profile)
{
    return profile == nullptr ? "" : profile->path.c_str();
}
