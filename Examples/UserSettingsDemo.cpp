// A host program that keeps its settings in a per-user file, through the C++ layer
// of the C interface: SkarvelDemo/settings.ini under $XDG_CONFIG_HOME (or ~/.config)
// on Linux and %APPDATA% on Windows.
//
// The first run finds no settings and writes the defaults; every run reads the
// settings back, counts itself and prints what it found. Edit the file between runs
// to see the program pick up the change.
#include <cstdint>
#include <cstdio>
#include <string>
#include <system_error>
#include <vector>

#include "skarvel_profile.hpp"

namespace {

// Writes the defaults; the first failure, or none.
std::error_code WriteDefaults(const skarvel::profile& settings)
{
    for (const std::error_code& written :
         {settings.set("User", "Name", "guest"), settings.set("Window", "Scale", 1.25),
          settings.set("Window", "Maximized", false),
          settings.set("Files", "Recent", "Documents/notes.txt")}) {
        if (written) {
            return written;
        }
    }
    return {};
}

std::string Joined(const std::vector<std::string>& names)
{
    std::string joined;
    for (const std::string& name : names) {
        joined += (joined.empty() ? "" : ", ") + name;
    }
    return joined;
}

}  // namespace

int main()
{
    std::error_code error;
    const auto settings = skarvel::profile::open_user("SkarvelDemo/settings.ini", error);
    if (error) {
        std::fprintf(stderr, "UserSettingsDemo: no per-user settings file: %s\n",
                     error.message().c_str());
        return 1;
    }

    std::int64_t runs = 0;
    if (const auto stored = settings.get<std::int64_t>("Demo", "Runs", error)) {
        runs = *stored;
    } else if (error == skarvel::errc::not_found) {
        error = WriteDefaults(settings);
        if (!error) {
            std::printf("New settings file, defaults written\n");
        }
    }
    if (!error) {
        runs += 1;
        error = settings.set("Demo", "Runs", runs);
    }
    if (error) {
        std::fprintf(stderr, "UserSettingsDemo: %s: %s\n", std::string(settings.path()).c_str(),
                     error.message().c_str());
        return 1;
    }

    std::printf("Settings file: %s\n", std::string(settings.path()).c_str());
    std::printf("Run:           %lld\n", static_cast<long long>(runs));
    std::printf("User name:     %s\n", settings.get("User", "Name", "nobody").c_str());
    std::printf("Window:        scale %g, %s\n", settings.get("Window", "Scale", 1.0),
                settings.get("Window", "Maximized", false) ? "maximized" : "not maximized");
    std::printf("Recent file:   %s\n", settings.get("Files", "Recent", "").c_str());
    std::printf("Sections:      %s\n", Joined(settings.sections(error)).c_str());
    return 0;
}
