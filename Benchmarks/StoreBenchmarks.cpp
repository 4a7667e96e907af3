// The class's calls against the floors no store call can beat, on files of 10, 1,000 and
// 100,000 keys, in one run; the table at the end gives each call as a ratio to its floor.
// Each read and write is timed by turns with what it is compared with, in the same loop.
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

enum class ReadKind { String, Int, Float };

// One read through the class, as a host makes it; true when the key was found.
bool Read(CSkarvel& settings, ReadKind kind, const char* section, const char* key)
{
    char text[kValueCapacity];
    int number = 0;
    float real = 0;
    switch (kind) {
    case ReadKind::String:
        return settings.GetString(section, key, text, sizeof text);
    case ReadKind::Int:
        return settings.GetInt(section, key, number);
    case ReadKind::Float:
        return settings.GetFloat(section, key, real);
    }
    return false;
}

// Times `call` and `floor` by turns in one loop, so that whatever slows the machine for a
// while slows both alike; `untimed` then puts back what the call changed. The time reported
// is the call's alone; the counter "ratio" is its total over `floorCalls` times the floor's.
template <typename Call, typename Floor, typename Untimed = void (*)()>
void TimeByTurns(benchmark::State& state, Call call, Floor floor, double floorCalls,
                 Untimed untimed = [] {})
{
    using Clock = std::chrono::steady_clock;
    Clock::duration callTime{};
    Clock::duration floorTime{};
    for (auto _ : state) {
        const Clock::time_point start = Clock::now();
        call();
        const Clock::time_point between = Clock::now();
        floor();
        const Clock::time_point end = Clock::now();
        untimed();
        callTime += between - start;
        floorTime += end - between;
        state.SetIterationTime(std::chrono::duration<double>(between - start).count());
    }
    state.counters["ratio"] = std::chrono::duration<double>(callTime).count() /
                              (floorCalls * std::chrono::duration<double>(floorTime).count());
}

// A read of a kept file against one stat() of it per store call the read makes.
void ReadAgainstStat(benchmark::State& state, ReadKind kind, bool hit)
{
    const int keys = static_cast<int>(state.range(0));
    const Probe probe(keys);
    const char* section = probe.section.c_str();
    const char* key = hit ? probe.key.c_str() : probe.absentKey.c_str();
    BenchFile& file = ReadFile(keys);
    CSkarvel& settings = file.Settings();
    Read(settings, kind, section, key);  // the first read parses and keeps the file
    // GetInt reads a second time only when the first read cannot tell a missing key.
    const double storeCalls = kind == ReadKind::Int && !hit ? 2 : 1;
    struct stat status;
    TimeByTurns(
        state, [&] { benchmark::DoNotOptimize(Read(settings, kind, section, key)); },
        [&] { benchmark::DoNotOptimize(stat(file.Path(), &status)); }, storeCalls);
}

// GetInt against GetString of the same key.
void GetIntAgainstGetString(benchmark::State& state, bool hit)
{
    const int keys = static_cast<int>(state.range(0));
    const Probe probe(keys);
    const char* section = probe.section.c_str();
    const char* key = hit ? probe.key.c_str() : probe.absentKey.c_str();
    CSkarvel& settings = ReadFile(keys).Settings();
    Read(settings, ReadKind::String, section, key);  // the first read parses and keeps the file
    TimeByTurns(
        state, [&] { benchmark::DoNotOptimize(Read(settings, ReadKind::Int, section, key)); },
        [&] { benchmark::DoNotOptimize(Read(settings, ReadKind::String, section, key)); }, 1);
}

// Writes a file's bytes as the store must at the least: to a temporary file, made durable,
// then renamed over the file.
class Replacement {
public:
    explicit Replacement(int keys)
        : bytes_(ProfileText(keys)), file_("floor", keys),
          temporary_(std::string(file_.Path()) + ".tmp")
    {
    }

    bool Run() const
    {
        const int fd = open(temporary_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        const bool written =
            fd >= 0 && write(fd, bytes_.data(), bytes_.size()) == ssize_t(bytes_.size()) &&
            fsync(fd) == 0;
        return fd >= 0 && close(fd) == 0 && written &&
               rename(temporary_.c_str(), file_.Path()) == 0;
    }

private:
    std::string bytes_;
    BenchFile file_;
    std::string temporary_;
};

enum class WriteKind { NewKey, ExistingKey, Int };

// Each write changes the file, against the replacement of a file of the same size: a new key
// (taken out again untimed, so the file keeps its size), or one of two values in turn.
void WriteAgainstReplacement(benchmark::State& state, WriteKind kind)
{
    const int keys = static_cast<int>(state.range(0));
    const Probe probe(keys);
    const char* section = probe.section.c_str();
    BenchFile file(kind == WriteKind::NewKey ? "write-new"
                   : kind == WriteKind::Int  ? "write-int"
                                             : "write-existing",
                   keys);
    file.Fill(ProfileText(keys));
    const Replacement replacement(keys);
    CSkarvel& settings = file.Settings();
    bool failed = false;
    int round = 0;
    char newKey[32];
    const auto write = [&] {
        ++round;
        snprintf(newKey, sizeof newKey, "new%09d", round);
        const bool even = round % 2 == 0;
        switch (kind) {
        case WriteKind::NewKey:
            failed |= settings.WriteString(section, newKey, even ? "111111" : "222222") == 0;
            break;
        case WriteKind::ExistingKey:
            failed |= settings.WriteString(section, probe.key.c_str(),
                                           even ? "111111" : "222222") == 0;
            break;
        case WriteKind::Int:
            failed |= settings.WriteInt(section, probe.key.c_str(), even ? 111111 : 222222) == 0;
            break;
        }
    };
    const auto replace = [&] { failed |= !replacement.Run(); };
    const auto takeOut = [&] {
        if (kind == WriteKind::NewKey) {
            failed |= settings.WriteString(section, newKey, nullptr) == 0;
        }
    };
    TimeByTurns(state, write, replace, 1, takeOut);
    if (failed) {
        state.SkipWithError("a write failed");
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

void FloorReplace(benchmark::State& state)
{
    const Replacement replacement(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        if (!replacement.Run()) {
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
benchmark::internal::Benchmark* Register(const char* name, Function function, Extra... extra)
{
    auto* benchmark = benchmark::RegisterBenchmark(name, function, extra...);
    for (const int keys : kKeyCounts) {
        benchmark->Arg(keys);
    }
    return benchmark;
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
    Register("GetString_hit", ReadAgainstStat, ReadKind::String, true)->UseManualTime();
    Register("GetString_miss", ReadAgainstStat, ReadKind::String, false)->UseManualTime();
    Register("GetInt_hit", ReadAgainstStat, ReadKind::Int, true)->UseManualTime();
    Register("GetInt_miss", ReadAgainstStat, ReadKind::Int, false)->UseManualTime();
    Register("GetFloat_hit", ReadAgainstStat, ReadKind::Float, true)->UseManualTime();
    Register("GetFloat_miss", ReadAgainstStat, ReadKind::Float, false)->UseManualTime();
    Register("GetInt_hit_vs_GetString", GetIntAgainstGetString, true)->UseManualTime();
    Register("GetInt_miss_vs_GetString", GetIntAgainstGetString, false)->UseManualTime();
    Register("WriteString_new", WriteAgainstReplacement, WriteKind::NewKey)->UseManualTime();
    Register("WriteString_existing", WriteAgainstReplacement, WriteKind::ExistingKey)
        ->UseManualTime();
    Register("WriteInt", WriteAgainstReplacement, WriteKind::Int)->UseManualTime();
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
