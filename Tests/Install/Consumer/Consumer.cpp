// Uses the installed libraries through their installed headers alone: writes one value
// of each type to a fresh file beside this program, reads each back, and removes the
// file; then reads that file's path, as the class composed it, through the C++ layer.
#include <cstdio>
#include <cstring>
#include <system_error>

#include <Skarvel.h>
#include <skarvel_profile.hpp>

int main()
{
    char fileName[] = "Consumer.ini";
    CSkarvel settings(fileName);
    const char* path = settings.GetPath();
    const char* ending = std::strstr(path, "//Consumer.ini");
    if (ending == nullptr || std::strlen(ending) != std::strlen("//Consumer.ini")) {
        std::fprintf(stderr, "Consumer: unexpected settings path \"%s\"\n", path);
        return 1;
    }

    char text[16] = "";
    int number = 0;
    float real = 0.0f;
    const bool written = settings.WriteString("Consumer", "Text", "installed") != 0 &&
                         settings.WriteInt("Consumer", "Number", -42) != 0 &&
                         settings.WriteFloat("Consumer", "Real", 2.5f) != 0;
    const bool read = settings.GetString("Consumer", "Text", text, sizeof text) &&
                      settings.GetInt("Consumer", "Number", number) &&
                      settings.GetFloat("Consumer", "Real", real);
    std::error_code error;
    const auto profile = skarvel::profile::open(path, error);
    const int readByPath = profile.get("Consumer", "Number", 0);
    std::remove(path);
    if (!written || !read || std::strcmp(text, "installed") != 0 || number != -42 || real != 2.5f) {
        std::fprintf(stderr, "Consumer: values did not survive a round trip through %s\n", path);
        return 1;
    }
    if (readByPath != -42) {
        std::fprintf(stderr, "Consumer: the C++ layer read %d from %s\n", readByPath, path);
        return 1;
    }
    std::printf("Consumer: Skarvel works from %s\n", path);
    return 0;
}
