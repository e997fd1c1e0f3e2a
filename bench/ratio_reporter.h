// Console output of Google Benchmark followed by a table of ratios: each
// measured benchmark's time over a reference measured in the same run.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace drusk::bench {

struct Ratio {
    std::string measured;
    std::string reference;
    const char* target;  // what the ratio should stay under, for the reader
};

class RatioReporter : public benchmark::ConsoleReporter {
  public:
    explicit RatioReporter(std::vector<Ratio> ratios) : ratios_(std::move(ratios)) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            // With repetitions the median stands for the benchmark.
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name != "median") continue;
            std::string name = run.run_name.function_name;
            if (run.run_type == Run::RT_Aggregate || !medians_.count(name)) {
                times_[name] = run.GetAdjustedCPUTime();
                if (run.run_type == Run::RT_Aggregate) medians_[name] = true;
            }
        }
    }

    void Finalize() override {
        ConsoleReporter::Finalize();
        std::printf("\n%-28s %-28s %8s  %s\n", "measured", "reference", "ratio", "target");
        for (const Ratio& r : ratios_) {
            auto m = times_.find(r.measured);
            auto ref = times_.find(r.reference);
            if (m == times_.end() || ref == times_.end() || ref->second <= 0) continue;
            std::printf("%-28s %-28s %8.2f  %s\n", r.measured.c_str(), r.reference.c_str(),
                        m->second / ref->second, r.target);
        }
        std::fflush(stdout);
    }

  private:
    std::vector<Ratio> ratios_;
    std::map<std::string, double> times_;
    std::map<std::string, bool> medians_;
};

// The main of a benchmark program: runs the benchmarks, then the ratios.
inline int runWithRatios(int argc, char** argv, std::vector<Ratio> ratios) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RatioReporter reporter(std::move(ratios));
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}

}  // namespace drusk::bench
