// One progress refresh below the level cap, against the floor that reading the
// current level's threshold from disk on every refresh allows: a bare open,
// 4-byte read and close of the same file.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <iostream>
#include <string>

#include "bench_folder.h"
#include "bench_report.h"
#include "core.h"
#include "null_display.h"
#include "rank_presentation.h"

namespace {

void BM_Flash(benchmark::State& state) {
    tessaly::Core core(tessaly::bench::BenchProgramFolder());
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
    const std::string path = (tessaly::bench::BenchProgramFolder() / "Data" / "Data.dat").string();
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
                                           "Flash / bare threshold read", 1.1);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::filesystem::remove_all(tessaly::bench::BenchProgramFolder());
    return 0;
}
