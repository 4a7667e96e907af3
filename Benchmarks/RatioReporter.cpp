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

void RatioReporter::Finalize()
{
    ConsoleReporter::Finalize();
    std::printf("\n| Ratio | 10 keys | 1,000 keys | 100,000 keys |\n|---|---|---|---|\n");
    PrintRatioRow("GetString hit / stat", "GetString_hit", "Floor_stat", 1);
    PrintRatioRow("GetString miss / stat", "GetString_miss", "Floor_stat", 1);
    PrintRatioRow("GetInt hit / stat", "GetInt_hit", "Floor_stat", 1);
    PrintRatioRow("GetInt miss / 2 stat", "GetInt_miss", "Floor_stat", 2);
    PrintRatioRow("GetFloat hit / stat", "GetFloat_hit", "Floor_stat", 1);
    PrintRatioRow("GetFloat miss / stat", "GetFloat_miss", "Floor_stat", 1);
    PrintRatioRow("GetInt hit / GetString hit", "GetInt_hit", "GetString_hit", 1);
    PrintRatioRow("GetInt miss / GetString miss", "GetInt_miss", "GetString_miss", 1);
    PrintRatioRow("WriteString new key / replace", "WriteString_new", "Floor_replace", 1);
    PrintRatioRow("WriteString existing key / replace", "WriteString_existing",
                  "Floor_replace", 1);
    PrintRatioRow("WriteInt / replace", "WriteInt", "Floor_replace", 1);
    PrintRatioRow("First read (read, parse, keep) / read", "Load", "Floor_read", 1);

    std::printf("| Kept parse, bytes per file byte |");
    for (const char* keys : kKeyCounts) {
        const Result* load = Find("Load", keys);
        if (load == nullptr || load->counters.count("bytes_per_file_byte") == 0) {
            std::printf(" - |");
        } else {
            std::printf(" %.2f |", load->counters.at("bytes_per_file_byte"));
        }
    }
    std::printf("\n\n| Floor | 10 keys | 1,000 keys | 100,000 keys |\n|---|---|---|---|\n");
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
