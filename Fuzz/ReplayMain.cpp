// Runs a fuzz target over saved inputs without libFuzzer, so that the committed
// corpus, and every crash found and added to it, is replayed by the test suite;
// with --random COUNT, also over COUNT random inputs from a fixed seed, so that
// the suite runs the target's checks on a bounded sample of its own.
// Usage: TARGET [--random COUNT] [FILE or DIRECTORY...]
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

// The files named by `path`: itself, or those in it when it is a directory.
std::vector<std::string> InputFiles(const std::string& path)
{
    struct stat status;
    if (stat(path.c_str(), &status) != 0 || !S_ISDIR(status.st_mode)) {
        return {path};
    }
    std::vector<std::string> files;
    if (DIR* directory = opendir(path.c_str())) {
        while (const dirent* entry = readdir(directory)) {
            if (entry->d_name[0] != '.') {
                files.push_back(path + "/" + entry->d_name);
            }
        }
        closedir(directory);
    }
    std::sort(files.begin(), files.end());
    return files;
}

// Random inputs run up to the longest that Fuzz/run.sh lets libFuzzer make.
constexpr size_t kMaxRandomLength = 256;

}  // namespace

int main(int argc, char** argv)
{
    size_t replayed = 0;
    int arg = 1;
    if (argc > 2 && std::string(argv[1]) == "--random") {
        const unsigned long count = std::stoul(argv[2]);
        std::mt19937 random(20240613);
        std::string bytes;
        for (unsigned long input = 0; input < count; ++input) {
            bytes.resize(random() % (kMaxRandomLength + 1));
            for (char& byte : bytes) {
                byte = static_cast<char>(random());
            }
            LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
            ++replayed;
        }
        arg = 3;
    }
    for (; arg < argc; ++arg) {
        for (const std::string& file : InputFiles(argv[arg])) {
            std::ifstream in(file, std::ios::binary);
            if (!in) {
                std::fprintf(stderr, "cannot read %s\n", file.c_str());
                return 1;
            }
            const std::string bytes((std::istreambuf_iterator<char>(in)),
                                    std::istreambuf_iterator<char>());
            LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
            ++replayed;
        }
    }
    std::printf("%zu inputs replayed\n", replayed);
    return replayed > 0 ? 0 : 1;
}
