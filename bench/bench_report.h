#pragma once

#include <benchmark/benchmark.h>

#include <iostream>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace tessaly::bench {

// The usual console report, followed by the ratio of two benchmarks' times
// beside its target: "label: 1.04 (target at most 1.1: met)".
class RatioReporter : public benchmark::ConsoleReporter {
public:
    RatioReporter(std::string numerator, std::string denominator, std::string label,
                  double targetAtMost)
        : numerator_(std::move(numerator)),
          denominator_(std::move(denominator)),
          label_(std::move(label)),
          targetAtMost_(targetAtMost) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            nanoseconds_[run.benchmark_name()] = run.GetAdjustedRealTime();
        }
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        const double top = nanoseconds_[numerator_];
        const double bottom = nanoseconds_[denominator_];
        if (top > 0 && bottom > 0) {
            const double ratio = top / bottom;
            std::cout << label_ << ": " << ratio << " (target at most " << targetAtMost_ << ": "
                      << (ratio <= targetAtMost_ ? "met" : "missed") << ")\n";
        }
    }
    double Nanoseconds(const std::string& name) { return nanoseconds_[name]; }

private:
    std::string numerator_, denominator_, label_;
    double targetAtMost_;
    std::map<std::string, double> nanoseconds_;
};

}  // namespace tessaly::bench
