#include "FuzzFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace skarvel::fuzz {

const std::string& ScratchPath()
{
    static const std::string path = [] {
        struct stat status;
        const std::string directory =
            stat("/dev/shm", &status) == 0 && S_ISDIR(status.st_mode) ? "/dev/shm" : "/tmp";
        return directory + "/skarvel-fuzz-" + std::to_string(getpid()) + ".ini";
    }();
    return path;
}

void WriteScratch(const std::string& bytes)
{
    FILE* file = std::fopen(ScratchPath().c_str(), "wb");
    Require(file != nullptr);
    Require(std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size());
    Require(std::fclose(file) == 0);
}

void RemoveScratch()
{
    unlink(ScratchPath().c_str());
}

void Require(bool condition)
{
    if (!condition) {
        std::abort();
    }
}

}  // namespace skarvel::fuzz
