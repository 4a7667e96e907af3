// A host program that keeps its settings in SettingsDemo.ini beside its executable.
//
// The first run finds the file new and writes the defaults; every run reads the
// settings back, counts itself and prints what it found. Run it twice to see the
// count go up, or edit the file between runs to see the program pick up the change.
#include <cstddef>
#include <cstdio>
#include <cstring>

#include "Skarvel.h"

namespace {

const std::size_t kTextCapacity = CSkarvel::kPathCapacity;

struct Settings {
    int left = 120;
    int top = 80;
    int width = 1024;
    int height = 768;
    float scale = 1.25f;
    char recentFile[kTextCapacity] = "Documents/notes.txt";
    char userName[kTextCapacity] = "guest";
    int runCount = 0;
};

// Writes the defaults as the file's first content; false when the store refused any of them.
bool WriteDefaults(CSkarvel& file, const Settings& defaults)
{
    return file.WriteInt("Window", "Left", defaults.left) != 0 &&
           file.WriteInt("Window", "Top", defaults.top) != 0 &&
           file.WriteInt("Window", "Width", defaults.width) != 0 &&
           file.WriteInt("Window", "Height", defaults.height) != 0 &&
           file.WriteFloat("Window", "Scale", defaults.scale) != 0 &&
           file.WriteString("Files", "Recent", defaults.recentFile) != 0 &&
           file.WriteString("User", "Name", defaults.userName) != 0;
}

// Replaces `value` with the key's text when the file holds a non-empty one. GetString
// empties the buffer it is given for a missing key, so it reads into a scratch copy.
void ReadText(CSkarvel& file, const char* section, const char* key, char (&value)[kTextCapacity])
{
    char text[kTextCapacity];
    if (file.GetString(section, key, text, sizeof text)) {
        std::memcpy(value, text, sizeof text);
    }
}

// Reads every setting the file holds; the ones it lacks keep the value they had.
void ReadSettings(CSkarvel& file, Settings& settings)
{
    file.GetInt("Window", "Left", settings.left);
    file.GetInt("Window", "Top", settings.top);
    file.GetInt("Window", "Width", settings.width);
    file.GetInt("Window", "Height", settings.height);
    file.GetFloat("Window", "Scale", settings.scale);
    ReadText(file, "Files", "Recent", settings.recentFile);
    ReadText(file, "User", "Name", settings.userName);
    file.GetInt("Demo", "RunCount", settings.runCount);
}

}  // namespace

int main()
{
    char fileName[] = "SettingsDemo.ini";
    CSkarvel file(fileName);
    if (file.GetPath()[0] == '\0') {
        std::fprintf(stderr, "SettingsDemo: the path of %s beside the executable is too long\n",
                     fileName);
        return 1;
    }

    Settings settings;
    if (file.IsNewFile()) {
        if (!WriteDefaults(file, settings)) {
            std::fprintf(stderr, "SettingsDemo: could not write the defaults to %s\n",
                         file.GetPath());
            return 1;
        }
        std::printf("New settings file, defaults written\n");
    }

    ReadSettings(file, settings);
    settings.runCount += 1;
    if (file.WriteInt("Demo", "RunCount", settings.runCount) == 0) {
        std::fprintf(stderr, "SettingsDemo: could not write to %s\n", file.GetPath());
        return 1;
    }

    std::printf("Settings file: %s\n", file.GetPath());
    std::printf("Run:           %d\n", settings.runCount);
    std::printf("Window:        %d x %d at (%d, %d), scale %g\n", settings.width, settings.height,
                settings.left, settings.top, static_cast<double>(settings.scale));
    std::printf("Recent file:   %s\n", settings.recentFile);
    std::printf("User name:     %s\n", settings.userName);
    return 0;
}
