#include "RatioReporter.h"

#include <cstdio>

namespace skarvel::bench {
namespace {

const char* const kKeyCounts[] = {"10", "1000", "100000"};

// Nanoseconds per iteration of `time`, given in the run's unit.
double Nanoseconds(const benchmark::BenchmarkReporter::Run& run, double time)
{
    switch (run.time_unit) {
    case benchmark::kSecond:
        return time * 1e9;
    case benchmark::kMillisecond:
        return time * 1e6;
    case benchmark::kMicrosecond:
        return time * 1e3;
    case benchmark::kNanosecond:
        break;
    }
    return time;
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
        result.nanoseconds = Nanoseconds(run, run.GetAdjustedRealTime());
        result.processorNanoseconds = Nanoseconds(run, run.GetAdjustedCPUTime());
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
    PrintCounterRow("First read / read", "FirstRead", "ratio");
    PrintCounterRow("Read in the window after a change / read", "WindowRead", "ratio");
    PrintCounterRow("1,000 files read in turn / one read again", "ManyFiles", "ratio");
    PrintCounterRow("Kept bytes per file byte", "KeptMemory", "bytes_per_file_byte");
    PrintCounterRow("Kept bytes per file byte, every section looked up", "KeptMemory",
                    "every_section_per_file_byte");
    const auto large = results_.find("LargeFirstReadPeak/");
    if (large != results_.end() && large->second.counters.count("peak_per_file_byte") != 0) {
        std::printf("\nPeak heap while first reading a file of %.0f bytes: %.2f bytes per file "
                    "byte\n",
                    large->second.counters.at("file_bytes"),
                    large->second.counters.at("peak_per_file_byte"));
    }

    // Reads are timed in processor time, the replacement, which waits for the disk, in real
    // time.
    std::printf("\n| Floor | 10 keys | 1,000 keys | 100,000 keys |\n|---|---|---|---|\n");
    const struct {
        const char* label;
        const char* name;
        bool processorTime;
    } floors[] = {
        {"stat", "Floor_stat", true},
        {"read: open, read, close", "Floor_read", true},
        {"replace: temporary file, fsync, rename", "Floor_replace", false},
    };
    for (const auto& floor : floors) {
        std::printf("| %s |", floor.label);
        for (const char* keys : kKeyCounts) {
            const Result* result = Find(floor.name, keys);
            if (result == nullptr) {
                std::printf(" - |");
            } else {
                PrintDuration(floor.processorTime ? result->processorNanoseconds
                                                  : result->nanoseconds);
            }
        }
        std::printf("\n");
    }
    std::fflush(stdout);
}

}  // namespace skarvel::bench
