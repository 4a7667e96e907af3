// The class's calls against the floors no store call can beat, on files of 10, 1,000 and
// 100,000 keys, in one run; the table at the end gives each call as a ratio to its floor.
// Each read and write is timed by turns with what it is compared with, in the same loop:
// reads in this thread's processor time, which other work on a busy machine does not add
// to, and writes in real time, since their floor waits for the disk.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "LiveBytes.h"
#include "ProfileCache.h"
#include "RatioReporter.h"
#include "Skarvel.h"

namespace {

constexpr int kKeysPerSection = 100;
constexpr int kKeyCounts[] = {10, 1000, 100000};
constexpr unsigned long kValueCapacity = 128;
// The files a host reads in turn, of 1,000 keys each.
constexpr int kManyFiles = 1000;
constexpr int kManyFilesKeys = 1000;
// The large file whose first read's peak of memory is measured: 100 MB.
constexpr int kLargeFileKeys = 5'600'000;
// Calls timed together in one turn, so that reading the clock costs little beside them.
constexpr int kQuickCallsPerTurn = 100;

// A file of `keys` keys, kKeysPerSection to a section, each with a six-digit value; section
// and key numbers have at least the given digits.
std::string ProfileText(int keys, int sectionDigits = 4, int keyDigits = 6)
{
    std::string text;
    char line[64];
    for (int key = 0; key < keys; ++key) {
        if (key % kKeysPerSection == 0) {
            snprintf(line, sizeof line, "[section%0*d]\n", sectionDigits, key / kKeysPerSection);
            text += line;
        }
        snprintf(line, sizeof line, "key%0*d=%06d\n", keyDigits, key, key * 7 % 1000000);
        text += line;
    }
    return text;
}

std::string SectionName(int section)
{
    char text[32];
    snprintf(text, sizeof text, "section%04d", section);
    return text;
}

// The section and key of the file's middle key, and a key its section lacks.
struct Probe {
    std::string section;
    std::string key;
    std::string absentKey = "absent";

    explicit Probe(int keys) : section(SectionName(keys / 2 / kKeysPerSection))
    {
        char text[32];
        snprintf(text, sizeof text, "key%06d", keys / 2);
        key = text;
    }
};

// A settings object for the file of `role` and `keys`, which holds `text` when given.
class BenchFile {
public:
    BenchFile(const std::string& role, int keys)
        : name_("skarvel-bench-" + role + "-" + std::to_string(keys) + ".ini"), settings_(&name_[0])
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

    std::size_t Size() const
    {
        struct stat status;
        return stat(Path(), &status) == 0 ? static_cast<std::size_t>(status.st_size) : 0;
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

// Drops every parse the store keeps, as a host would ask for it through the class: a write of
// no names is the store's flush.
void ForgetKeptParses(CSkarvel& settings)
{
    settings.WriteString(nullptr, nullptr, nullptr);
}

// The clock a comparison is timed on.
enum class Timing { Processor, Real };

std::int64_t Now(Timing timing)
{
    timespec now;
    clock_gettime(timing == Timing::Processor ? CLOCK_THREAD_CPUTIME_ID : CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

// Times `calls` runs of `call`, then as many of `floor`, by turns in one loop, so that whatever
// slows the machine for a while slows both alike; `untimed` then puts back what the call
// changed. The time reported is that of the `calls` runs of the call alone; the counter
// "ratio" is the call's total over `floorCalls` times the floor's.
template <typename Call, typename Floor, typename Untimed = void (*)()>
void TimeByTurns(
    benchmark::State& state, Timing timing, int calls, Call call, Floor floor, double floorCalls,
    Untimed untimed = [] {})
{
    std::int64_t callTime = 0;
    std::int64_t floorTime = 0;
    for (auto _ : state) {
        const std::int64_t start = Now(timing);
        for (int i = 0; i < calls; ++i) {
            call();
        }
        const std::int64_t between = Now(timing);
        for (int i = 0; i < calls; ++i) {
            floor();
        }
        const std::int64_t end = Now(timing);
        untimed();
        callTime += between - start;
        floorTime += end - between;
        state.SetIterationTime(static_cast<double>(between - start) / 1e9);
    }
    state.counters["ratio"] =
        static_cast<double>(callTime) / (floorCalls * static_cast<double>(floorTime));
}

// One open, read and close of the whole file into `buffer`, which has room for it.
void ReadWhole(const char* path, std::vector<char>& buffer)
{
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    while (read(fd, buffer.data(), buffer.size()) > 0) {
    }
    close(fd);
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
        state, Timing::Processor, kQuickCallsPerTurn,
        [&] { benchmark::DoNotOptimize(Read(settings, kind, section, key)); },
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
        state, Timing::Processor, kQuickCallsPerTurn,
        [&] { benchmark::DoNotOptimize(Read(settings, ReadKind::Int, section, key)); },
        [&] { benchmark::DoNotOptimize(Read(settings, ReadKind::String, section, key)); }, 1);
}

// The first read of a settled file (read, parse, index, keep, and the lookup), against one
// open, read and close of it. Kept parses are dropped, untimed, before each.
void FirstReadAgainstRead(benchmark::State& state)
{
    const int keys = static_cast<int>(state.range(0));
    const Probe probe(keys);
    BenchFile& file = ReadFile(keys);
    std::vector<char> buffer(file.Size() + 1);
    CSkarvel& settings = file.Settings();
    ForgetKeptParses(settings);
    TimeByTurns(
        state, Timing::Processor, 1,
        [&] { Read(settings, ReadKind::String, probe.section.c_str(), probe.key.c_str()); },
        [&] { ReadWhole(file.Path(), buffer); }, 1, [&] { ForgetKeptParses(settings); });
}

// Reads of a file in the window after a change, when its status cannot be trusted to show
// the next change, against one open, read and close of it. The file's times are set ahead of
// the clock, so that it stays in that window: every read must read the file again.
void WindowReadAgainstRead(benchmark::State& state)
{
    const int keys = static_cast<int>(state.range(0));
    const Probe probe(keys);
    BenchFile file("window", keys);
    file.Fill(ProfileText(keys));
    timespec ahead;
    clock_gettime(CLOCK_REALTIME, &ahead);
    ahead.tv_sec += 24 * 60 * 60;
    const timespec times[2] = {ahead, ahead};
    if (utimensat(AT_FDCWD, file.Path(), times, 0) != 0) {
        state.SkipWithError("the file's times cannot be set");
        return;
    }
    std::vector<char> buffer(file.Size() + 1);
    CSkarvel& settings = file.Settings();
    Read(settings, ReadKind::String, probe.section.c_str(), probe.key.c_str());
    TimeByTurns(
        state, Timing::Processor, 1,
        [&] { Read(settings, ReadKind::String, probe.section.c_str(), probe.key.c_str()); },
        [&] { ReadWhole(file.Path(), buffer); }, 1);
}

// The files a host reads in turn, settled and read once, so that reading them again can
// answer from what the store keeps.
std::vector<std::unique_ptr<BenchFile>>& ManyFiles()
{
    static std::vector<std::unique_ptr<BenchFile>> files;
    if (files.empty()) {
        const std::string text = ProfileText(kManyFilesKeys);
        for (int i = 0; i < kManyFiles; ++i) {
            files.push_back(
                std::make_unique<BenchFile>("many-" + std::to_string(i), kManyFilesKeys));
            files.back()->Fill(text);
        }
        for (const auto& file : files) {
            WaitUntilSettled(file->Path());
        }
    }
    return files;
}

// Each of many files read in turn, against one of them read again and again.
void ManyFilesAgainstOne(benchmark::State& state)
{
    const Probe probe(kManyFilesKeys);
    const char* section = probe.section.c_str();
    const char* key = probe.key.c_str();
    std::vector<std::unique_ptr<BenchFile>>& files = ManyFiles();
    for (const auto& file : files) {
        Read(file->Settings(), ReadKind::String, section, key);
    }
    std::size_t next = 0;
    CSkarvel& one = files[0]->Settings();
    TimeByTurns(
        state, Timing::Processor, kQuickCallsPerTurn,
        [&] {
            Read(files[next]->Settings(), ReadKind::String, section, key);
            next = (next + 1) % files.size();
        },
        [&] { Read(one, ReadKind::String, section, key); }, 1);
}

// The heap a kept parse holds, per byte of its file: after the first read, and after a
// lookup in each of the file's sections.
void KeptMemory(benchmark::State& state)
{
    const int keys = static_cast<int>(state.range(0));
    const Probe probe(keys);
    BenchFile& file = ReadFile(keys);
    const int sections = (keys + kKeysPerSection - 1) / kKeysPerSection;
    std::vector<std::string> names;
    for (int section = 0; section < sections; ++section) {
        names.push_back(SectionName(section));
    }
    std::size_t first = 0;
    std::size_t everySection = 0;
    CSkarvel& settings = file.Settings();
    for (auto _ : state) {
        ForgetKeptParses(settings);
        const std::size_t before = skarvel::bench::LiveBytes();
        Read(settings, ReadKind::String, probe.section.c_str(), probe.key.c_str());
        first = skarvel::bench::LiveBytes() - before;
        for (const std::string& name : names) {
            Read(settings, ReadKind::String, name.c_str(), probe.key.c_str());
        }
        everySection = skarvel::bench::LiveBytes() - before;
    }
    const double size = static_cast<double>(file.Size());
    state.counters["bytes_per_file_byte"] = static_cast<double>(first) / size;
    state.counters["every_section_per_file_byte"] = static_cast<double>(everySection) / size;
}

// The most heap in use while a 100 MB file is read for the first time, per byte of it.
void LargeFirstReadPeak(benchmark::State& state)
{
    static BenchFile file("large", kLargeFileKeys);
    static const bool filled = [] {
        file.Fill(ProfileText(kLargeFileKeys, 5, 7));
        WaitUntilSettled(file.Path());
        return true;
    }();
    benchmark::DoNotOptimize(filled);
    std::size_t peak = 0;
    for (auto _ : state) {
        ForgetKeptParses(file.Settings());
        const std::size_t before = skarvel::bench::LiveBytes();
        skarvel::bench::ResetPeakBytes();
        Read(file.Settings(), ReadKind::String, "section30000", "key3000000");
        peak = skarvel::bench::PeakBytes() - before;
    }
    ForgetKeptParses(file.Settings());
    state.counters["file_bytes"] = static_cast<double>(file.Size());
    state.counters["peak_per_file_byte"] =
        static_cast<double>(peak) / static_cast<double>(file.Size());
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
        const bool written = fd >= 0 &&
                             write(fd, bytes_.data(), bytes_.size()) == ssize_t(bytes_.size()) &&
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
            failed |=
                settings.WriteString(section, probe.key.c_str(), even ? "111111" : "222222") == 0;
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
    TimeByTurns(state, Timing::Real, 1, write, replace, 1, takeOut);
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
    BenchFile& file = ReadFile(static_cast<int>(state.range(0)));
    std::vector<char> buffer(file.Size() + 1);
    for (auto _ : state) {
        ReadWhole(file.Path(), buffer);
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
    Register("FirstRead", FirstReadAgainstRead)->UseManualTime();
    Register("WindowRead", WindowReadAgainstRead)->UseManualTime();
    benchmark::RegisterBenchmark("ManyFiles", ManyFilesAgainstOne)
        ->Arg(kManyFilesKeys)
        ->UseManualTime();
    Register("WriteString_new", WriteAgainstReplacement, WriteKind::NewKey)->UseManualTime();
    Register("WriteString_existing", WriteAgainstReplacement, WriteKind::ExistingKey)
        ->UseManualTime();
    Register("WriteInt", WriteAgainstReplacement, WriteKind::Int)->UseManualTime();
    Register("KeptMemory", KeptMemory)->Iterations(1);
    benchmark::RegisterBenchmark("LargeFirstReadPeak", LargeFirstReadPeak)->Iterations(1);

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    skarvel::bench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
