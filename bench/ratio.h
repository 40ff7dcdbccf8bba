// A console reporter that also keeps each benchmark's time per item, so a
// benchmark program can print ratios between cases measured in the same run
// (and whether each meets its target).
#ifndef KV_BENCH_RATIO_H
#define KV_BENCH_RATIO_H

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace kvbench {

struct Ratio {
    std::string numerator;   // benchmark name, as reported
    std::string denominator;
    double target;           // numerator/denominator must not exceed it
    const char *meaning;
};

class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run> &runs) override
    {
        for (const Run &run : runs) {
            if (run.error_occurred || run.run_type != Run::RT_Iteration)
                continue;
            double items = 1;
            auto it = run.counters.find("items");
            if (it != run.counters.end() && it->second.value > 0)
                items = it->second.value;
            ns_per_item[run.benchmark_name()] = run.GetAdjustedRealTime() / items;
        }
        ConsoleReporter::ReportRuns(runs);
    }

    // Prints each ratio; returns the number that missed their target.
    int print(const std::vector<Ratio> &ratios) const
    {
        int missed = 0;
        std::printf("\n%-60s %10s %8s\n", "ratio (time per item)", "measured", "target");
        for (const Ratio &r : ratios) {
            auto a = ns_per_item.find(r.numerator), b = ns_per_item.find(r.denominator);
            if (a == ns_per_item.end() || b == ns_per_item.end() || b->second <= 0)
                continue;
            double value = a->second / b->second;
            bool ok = value <= r.target;
            missed += ok ? 0 : 1;
            std::printf("%-60s %10.3f %8.3f %s\n", r.meaning, value, r.target, ok ? "ok" : "MISSED");
        }
        return missed;
    }

private:
    std::map<std::string, double> ns_per_item;
};

// main() for a benchmark program with ratios to report.
inline int run_with_ratios(int argc, char **argv, const std::vector<Ratio> &ratios)
{
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.print(ratios);
    benchmark::Shutdown();
    return 0;
}

} // namespace kvbench

#endif
