#include "HostFiles.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>

#if defined(_WIN32)
#include <process.h>
#define getpid _getpid
#else
#include <unistd.h>
#endif

#include "Platform.h"

namespace skarvel::test {

std::string HostDirectory()
{
    char path[4096] = {};
    GetModuleFileNameA(GetModuleHandleA(nullptr), path, sizeof path);
    PathRemoveFileSpecA(path);
    return path;
}

std::string UniqueFileName(const std::string& suffix)
{
    static int counter = 0;  // tells apart several files of one test
    std::ostringstream name;
    name << "skarvel-test-" << getpid() << '-' << ++counter;
    if (const auto* test = ::testing::UnitTest::GetInstance()->current_test_info()) {
        name << '-' << test->test_suite_name() << '-' << test->name();
    }
    std::string text = name.str();
    for (char& c : text) {
        if (c == '/' || c == '\\' || c == ':') {
            c = '_';
        }
    }
    return text + suffix;
}

std::string Lines(std::initializer_list<const char*> lines)
{
#if defined(_WIN32)
    const char* const lineEnd = "\r\n";
#else
    const char* const lineEnd = "\n";
#endif
    std::string text;
    for (const char* line : lines) {
        text += line;
        text += lineEnd;
    }
    return text;
}

bool FileExists(const std::string& path)
{
    return std::ifstream(path, std::ios::binary).good();
}

std::string ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

void RemoveFile(const std::string& path)
{
    std::remove(path.c_str());
}

ScopedHostFile::ScopedHostFile(const std::string& suffix)
    : name_(UniqueFileName(suffix)), path_(HostDirectory() + "//" + name_)
{
    RemoveFile(path_);
}

ScopedHostFile::~ScopedHostFile()
{
    RemoveFile(path_);
    RemoveFile(HostDirectory() + "/." + name_ + ".skarvel-tmp");
    RemoveFile(HostDirectory() + "/." + name_ + ".skarvel-lock");
}

}  // namespace skarvel::test
