#include "RatioReporter.h"

#include <cstdio>

namespace skarvel::bench {
namespace {

const char* const kKeyCounts[] = {"10", "1000", "100000"};

double Nanoseconds(const benchmark::BenchmarkReporter::Run& run)
{
    switch (run.time_unit) {
    case benchmark::kSecond:
        return run.GetAdjustedRealTime() * 1e9;
    case benchmark::kMillisecond:
        return run.GetAdjustedRealTime() * 1e6;
    case benchmark::kMicrosecond:
        return run.GetAdjustedRealTime() * 1e3;
    case benchmark::kNanosecond:
        break;
    }
    return run.GetAdjustedRealTime();
}

void PrintDuration(double nanoseconds)
{
    if (nanoseconds < 1e3) {
        std::printf(" %.0f ns |", nanoseconds);
    } else if (nanoseconds < 1e6) {
        std::printf(" %.1f us |", nanoseconds / 1e3);
    } else {
        std::printf(" %.2f ms |", nanoseconds / 1e6);
    }
}

}  // namespace

void RatioReporter::ReportRuns(const std::vector<Run>& runs)
{
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
        const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
        if (run.error_occurred || (run.run_type == Run::RT_Aggregate && !median)) {
            continue;
        }
        Result& result = results_[run.run_name.function_name + "/" + run.run_name.args];
        if (result.median && !median) {
            continue;
        }
        result.nanoseconds = Nanoseconds(run);
        result.median = median;
        for (const auto& [name, counter] : run.counters) {
            result.counters[name] = counter.value;
        }
    }
}

const RatioReporter::Result* RatioReporter::Find(const std::string& name,
                                                 const std::string& keys) const
{
    const auto found = results_.find(name + "/" + keys);
    return found == results_.end() ? nullptr : &found->second;
}

// One row of `name`'s time divided by `calls` times the time of `floor`, per file size.
void RatioReporter::PrintRatioRow(const char* label, const char* name, const char* floor,
                                  double calls)
{
    std::printf("| %s |", label);
    for (const char* keys : kKeyCounts) {
        const Result* result = Find(name, keys);
        const Result* base = Find(floor, keys);
        if (result == nullptr || base == nullptr) {
            std::printf(" - |");
        } else {
            std::printf(" %.2f |", result->nanoseconds / (calls * base->nanoseconds));
        }
    }
    std::printf("\n");
}

// One row of the counter `counter` of `name`, per file size.
void RatioReporter::PrintCounterRow(const char* label, const char* name, const char* counter)
{
    std::printf("| %s |", label);
    for (const char* keys : kKeyCounts) {
        const Result* result = Find(name, keys);
        if (result == nullptr || result->counters.count(counter) == 0) {
            std::printf(" - |");
        } else {
            std::printf(" %.2f |", result->counters.at(counter));
        }
    }
    std::printf("\n");
}

void RatioReporter::Finalize()
{
    ConsoleReporter::Finalize();
    std::printf("\n| Ratio | 10 keys | 1,000 keys | 100,000 keys |\n|---|---|---|---|\n");
    PrintCounterRow("GetString hit / stat", "GetString_hit", "ratio");
    PrintCounterRow("GetString miss / stat", "GetString_miss", "ratio");
    PrintCounterRow("GetInt hit / stat", "GetInt_hit", "ratio");
    PrintCounterRow("GetInt miss / 2 stat", "GetInt_miss", "ratio");
    PrintCounterRow("GetFloat hit / stat", "GetFloat_hit", "ratio");
    PrintCounterRow("GetFloat miss / stat", "GetFloat_miss", "ratio");
    PrintCounterRow("GetInt hit / GetString hit", "GetInt_hit_vs_GetString", "ratio");
    PrintCounterRow("GetInt miss / GetString miss", "GetInt_miss_vs_GetString", "ratio");
    PrintCounterRow("WriteString new key / replace", "WriteString_new", "ratio");
    PrintCounterRow("WriteString existing key / replace", "WriteString_existing", "ratio");
    PrintCounterRow("WriteInt / replace", "WriteInt", "ratio");
    PrintRatioRow("First read (read, parse, keep) / read", "Load", "Floor_read", 1);

    PrintCounterRow("Kept parse, bytes per file byte", "Load", "bytes_per_file_byte");
    std::printf("\n| Floor | 10 keys | 1,000 keys | 100,000 keys |\n|---|---|---|---|\n");
    const struct {
        const char* label;
        const char* name;
    } floors[] = {
        {"stat", "Floor_stat"},
        {"read: open, read, close", "Floor_read"},
        {"replace: temporary file, fsync, rename", "Floor_replace"},
    };
    for (const auto& floor : floors) {
        std::printf("| %s |", floor.label);
        for (const char* keys : kKeyCounts) {
            const Result* result = Find(floor.name, keys);
            if (result == nullptr) {
                std::printf(" - |");
            } else {
                PrintDuration(result->nanoseconds);
            }
        }
        std::printf("\n");
    }
    std::fflush(stdout);
}

}  // namespace skarvel::bench
