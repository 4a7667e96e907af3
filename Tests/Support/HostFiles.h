// Files beside the test executable, where the library keeps its settings files.
#pragma once

#include <initializer_list>
#include <string>

namespace skarvel::test {

// The directory of the running test executable, without a trailing separator.
std::string HostDirectory();

// A file name that no other call, test or concurrent run of the suite uses: the
// process id, a count, the current test's name and `suffix`.
std::string UniqueFileName(const std::string& suffix = ".ini");

// `lines`, each ended as the platform's store ends the lines it writes.
std::string Lines(std::initializer_list<const char*> lines);

bool FileExists(const std::string& path);
std::string ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::string& bytes);
void RemoveFile(const std::string& path);

// Removes a file beside the executable when the test ends, with the writers' lock file
// kept beside it and the fixed-name temporary that earlier writers left.
class ScopedHostFile {
public:
    explicit ScopedHostFile(const std::string& suffix = ".ini");
    ScopedHostFile(const ScopedHostFile&) = delete;
    ScopedHostFile& operator=(const ScopedHostFile&) = delete;
    ~ScopedHostFile();

    const std::string& Name() const { return name_; }
    // The path as the library composes it.
    const std::string& Path() const { return path_; }
    // The name as the constructor takes it.
    char* NameForConstructor() { return &name_[0]; }

private:
    std::string name_;
    std::string path_;
};

}  // namespace skarvel::test
