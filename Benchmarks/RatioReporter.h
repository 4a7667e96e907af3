// Console output followed by a table of each call's time as a ratio to its floor, the memory
// kept parses hold, and the floors' own times.
#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

namespace skarvel::bench {

class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override;
    void Finalize() override;

private:
    // Nanoseconds per iteration and counters, by name and argument ("GetString_hit", "1000").
    struct Result {
        double nanoseconds = 0;
        double processorNanoseconds = 0;
        bool median = false;
        std::map<std::string, double> counters;
    };

    const Result* Find(const std::string& name, const std::string& keys) const;
    void PrintCounterRow(const char* label, const char* name, const char* counter);

    std::map<std::string, Result> results_;
};

}  // namespace skarvel::bench
