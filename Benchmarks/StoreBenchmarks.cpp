// The class's calls against the floors no store call can beat, on files of 10, 1,000 and
// 100,000 keys, in one run; the table at the end gives each call as a ratio to its floor.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "LiveBytes.h"
#include "ProfileCache.h"
#include "ProfileFile.h"
#include "RatioReporter.h"
#include "Skarvel.h"

namespace {

constexpr int kKeysPerSection = 100;
constexpr int kKeyCounts[] = {10, 1000, 100000};
constexpr unsigned long kValueCapacity = 128;

// A file of `keys` keys, kKeysPerSection to a section, each with a six-digit value.
std::string ProfileText(int keys)
{
    std::string text;
    char line[64];
    for (int key = 0; key < keys; ++key) {
        if (key % kKeysPerSection == 0) {
            snprintf(line, sizeof line, "[section%04d]\n", key / kKeysPerSection);
            text += line;
        }
        snprintf(line, sizeof line, "key%06d=%06d\n", key, key * 7 % 1000000);
        text += line;
    }
    return text;
}

// The section and key of the file's middle key, and a key its section lacks.
struct Probe {
    std::string section;
    std::string key;
    std::string absentKey = "absent";

    explicit Probe(int keys)
    {
        char text[32];
        snprintf(text, sizeof text, "section%04d", keys / 2 / kKeysPerSection);
        section = text;
        snprintf(text, sizeof text, "key%06d", keys / 2);
        key = text;
    }
};

// A settings object for the file of `role` and `keys`, which holds `text` when given.
class BenchFile {
public:
    BenchFile(const char* role, int keys)
        : name_("skarvel-bench-" + std::string(role) + "-" + std::to_string(keys) + ".ini"),
          settings_(&name_[0])
    {
    }

    CSkarvel& Settings() { return settings_; }
    const char* Path() const { return settings_.GetPath(); }

    void Fill(const std::string& text) const
    {
        const int fd = open(Path(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0 || write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size()) ||
            close(fd) != 0) {
            std::perror(Path());
        }
    }

private:
    std::string name_;
    CSkarvel settings_;
};

// Waits until the reads' files have settled, so that the store keeps their parse.
void WaitUntilSettled(const char* path)
{
    for (int tries = 0; tries < 1000; ++tries) {
        struct stat status;
        timespec now;
        clock_gettime(CLOCK_REALTIME, &now);
        if (stat(path, &status) == 0 && skarvel::IsSettled(status, now)) {
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

// The settled file the reads and the read floors share, one per size.
BenchFile& ReadFile(int keys)
{
    static std::map<int, std::unique_ptr<BenchFile>> files;
    std::unique_ptr<BenchFile>& file = files[keys];
    if (file == nullptr) {
        file = std::make_unique<BenchFile>("read", keys);
    }
    return *file;
}

void GetString(benchmark::State& state, bool hit)
{
    const int keys = static_cast<int>(state.range(0));
    const Probe probe(keys);
    const char* key = hit ? probe.key.c_str() : probe.absentKey.c_str();
    CSkarvel& settings = ReadFile(keys).Settings();
    char value[kValueCapacity];
    settings.GetString(probe.section.c_str(), key, value,
                       sizeof value);  // the first read parses and keeps the file
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            settings.GetString(probe.section.c_str(), key, value, sizeof value));
    }
}

void GetInt(benchmark::State& state, bool hit)
{
    const int keys = static_cast<int>(state.range(0));
    const Probe probe(keys);
    const char* key = hit ? probe.key.c_str() : probe.absentKey.c_str();
    CSkarvel& settings = ReadFile(keys).Settings();
    int value = 0;
    settings.GetInt(probe.section.c_str(), key, value);  // the first read parses and keeps the file
    for (auto _ : state) {
        benchmark::DoNotOptimize(settings.GetInt(probe.section.c_str(), key, value));
    }
}

void GetFloat(benchmark::State& state, bool hit)
{
    const int keys = static_cast<int>(state.range(0));
    const Probe probe(keys);
    const char* key = hit ? probe.key.c_str() : probe.absentKey.c_str();
    CSkarvel& settings = ReadFile(keys).Settings();
    float value = 0;
    settings.GetFloat(probe.section.c_str(), key,
                      value);  // the first read parses and keeps the file
    for (auto _ : state) {
        benchmark::DoNotOptimize(settings.GetFloat(probe.section.c_str(), key, value));
    }
}

// Each write changes the file: a new key each time, or one of two values in turn.
void WriteString(benchmark::State& state, bool newKey)
{
    const int keys = static_cast<int>(state.range(0));
    const Probe probe(keys);
    BenchFile file(newKey ? "write-new" : "write-existing", keys);
    file.Fill(ProfileText(keys));
    int round = 0;
    char key[32];
    for (auto _ : state) {
        ++round;
        snprintf(key, sizeof key, "new%09d", round);
        const char* value = round % 2 == 0 ? "111111" : "222222";
        if (!file.Settings().WriteString(probe.section.c_str(), newKey ? key : probe.key.c_str(),
                                         value)) {
            state.SkipWithError("the write failed");
            break;
        }
    }
}

void WriteInt(benchmark::State& state)
{
    const int keys = static_cast<int>(state.range(0));
    const Probe probe(keys);
    BenchFile file("write-int", keys);
    file.Fill(ProfileText(keys));
    int round = 0;
    for (auto _ : state) {
        ++round;
        if (!file.Settings().WriteInt(probe.section.c_str(), probe.key.c_str(),
                                      round % 2 == 0 ? 111111 : 222222)) {
            state.SkipWithError("the write failed");
            break;
        }
    }
}

void FloorStat(benchmark::State& state)
{
    const char* path = ReadFile(static_cast<int>(state.range(0))).Path();
    struct stat status;
    for (auto _ : state) {
        benchmark::DoNotOptimize(stat(path, &status));
    }
}

void FloorRead(benchmark::State& state)
{
    const char* path = ReadFile(static_cast<int>(state.range(0))).Path();
    std::vector<char> buffer(ProfileText(static_cast<int>(state.range(0))).size() + 1);
    for (auto _ : state) {
        const int fd = open(path, O_RDONLY | O_CLOEXEC);
        while (read(fd, buffer.data(), buffer.size()) > 0) {
        }
        close(fd);
    }
}

// Writing the file's bytes as the store must at the least: a temporary file, made durable,
// renamed over the file.
void FloorReplace(benchmark::State& state)
{
    const int keys = static_cast<int>(state.range(0));
    const std::string bytes = ProfileText(keys);
    BenchFile file("floor", keys);
    const std::string temporary = std::string(file.Path()) + ".tmp";
    for (auto _ : state) {
        const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0 || write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()) ||
            fsync(fd) != 0 || close(fd) != 0 || rename(temporary.c_str(), file.Path()) != 0) {
            state.SkipWithError("the replacement failed");
            break;
        }
    }
}

// A first read: the file read, parsed and kept. Reports the heap the kept parse holds.
void Load(benchmark::State& state)
{
    const char* path = ReadFile(static_cast<int>(state.range(0))).Path();
    std::size_t held = 0;
    for (auto _ : state) {
        skarvel::ForgetLoadedProfiles();
        const std::size_t before = skarvel::bench::LiveBytes();
        benchmark::DoNotOptimize(skarvel::LoadProfile(path));
        held = skarvel::bench::LiveBytes() - before;
    }
    struct stat status;
    if (held == 0 || stat(path, &status) != 0) {
        state.SkipWithError("the parse was not kept");
        return;
    }
    state.counters["held_bytes"] = static_cast<double>(held);
    state.counters["bytes_per_file_byte"] =
        static_cast<double>(held) / static_cast<double>(status.st_size);
}

template <typename Function, typename... Extra>
void Register(const char* name, Function function, Extra... extra)
{
    auto* benchmark = benchmark::RegisterBenchmark(name, function, extra...);
    for (const int keys : kKeyCounts) {
        benchmark->Arg(keys);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    for (const int keys : kKeyCounts) {
        ReadFile(keys).Fill(ProfileText(keys));
    }
    for (const int keys : kKeyCounts) {
        WaitUntilSettled(ReadFile(keys).Path());
    }
    Register("Floor_stat", FloorStat);
    Register("Floor_read", FloorRead);
    Register("Floor_replace", FloorReplace);
    Register("GetString_hit", GetString, true);
    Register("GetString_miss", GetString, false);
    Register("GetInt_hit", GetInt, true);
    Register("GetInt_miss", GetInt, false);
    Register("GetFloat_hit", GetFloat, true);
    Register("GetFloat_miss", GetFloat, false);
    Register("WriteString_new", WriteString, true);
    Register("WriteString_existing", WriteString, false);
    Register("WriteInt", WriteInt);
    Register("Load", Load);

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    skarvel::bench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
