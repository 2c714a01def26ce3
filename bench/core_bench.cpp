// One progress refresh below the level cap, against the floor that reading the
// current level's threshold from disk on every refresh allows: a bare open,
// 4-byte read and close of the same file.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <iostream>
#include <random>
#include <string>

#include "bench_report.h"
#include "core.h"
#include "null_display.h"
#include "rank_presentation.h"

namespace {

std::filesystem::path BenchFolder() {
    static const std::filesystem::path folder = [] {
        std::random_device random;
        auto path =
            std::filesystem::temp_directory_path() / ("tessaly-bench-" + std::to_string(random()));
        std::filesystem::create_directories(path / "Data");
        tessaly::Core core(path);
        core.StartRun();
        return path;
    }();
    return folder;
}

void BM_Flash(benchmark::State& state) {
    tessaly::Core core(BenchFolder());
    core.StartRun();
    core.Level = 30;
    tessaly::bench::NullDisplay display;
    for (auto _ : state) {
        core.Experience = 1000;  // stays below T(30): no level-up
        tessaly::Flash(core, display);
    }
}
BENCHMARK(BM_Flash);

void BM_BareThresholdRead(benchmark::State& state) {
    const std::string path = (BenchFolder() / "Data" / "Data.dat").string();
    unsigned char bytes[4];
    for (auto _ : state) {
        std::FILE* file = std::fopen(path.c_str(), "rb");
        std::fseek(file, 29 * 128, SEEK_SET);
        benchmark::DoNotOptimize(std::fread(bytes, 1, 4, file));
        std::fclose(file);
    }
}
BENCHMARK(BM_BareThresholdRead);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    tessaly::bench::RatioReporter reporter("BM_Flash", "BM_BareThresholdRead",
                                           "Flash / bare threshold read (target at most 1.3)");
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::filesystem::remove_all(BenchFolder());
    return 0;
}
