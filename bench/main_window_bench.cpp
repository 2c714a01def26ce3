// How many status-text events per second the main window sustains: each one
// an award, a progress refresh with its read of the threshold file, and the
// widget updates. Compared with one bare refresh of the progress model.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <filesystem>
#include <iostream>

#include "bench_folder.h"
#include "bench_report.h"
#include "core.h"
#include "fonts.h"
#include "frmWap.h"
#include "null_display.h"
#include "rank_presentation.h"
#include "stand_ins.h"

namespace {

void BM_StatusTextChangeEvent(benchmark::State& state) {
    tessaly::Core core(tessaly::bench::BenchProgramFolder());
    core.StartRun();
    tessaly::testing::RecordingShell shell;
    auto* browser = new tessaly::testing::FakeBrowser;
    tessaly::frmWap window(core, shell, browser, [] {});
    window.Show();
    QCoreApplication::processEvents();
    const QString text = QStringLiteral("正在打开网页 http://127.0.0.1/ ...");
    for (auto _ : state) {
        core.Experience = 1000;  // stays below T(30): every event refreshes without a level-up
        emit browser->StatusTextChange(text);
    }
    state.counters["events_per_second"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_StatusTextChangeEvent);

void BM_BareFlash(benchmark::State& state) {
    tessaly::Core core(tessaly::bench::BenchProgramFolder());
    core.StartRun();
    tessaly::bench::NullDisplay display;
    for (auto _ : state) {
        core.Experience = 1000;
        tessaly::Flash(core, display);
    }
}
BENCHMARK(BM_BareFlash);

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    tessaly::InstallProgramFonts();
    benchmark::Initialize(&argc, argv);
    tessaly::bench::RatioReporter reporter("BM_StatusTextChangeEvent", "BM_BareFlash",
                                           "one status-text event / one bare refresh", 3);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const double ns = reporter.Nanoseconds("BM_StatusTextChangeEvent");
    if (ns > 0) {
        std::cout << "status-text events per second: " << 1e9 / ns << " (target at least 20000)\n";
    }
    std::filesystem::remove_all(tessaly::bench::BenchProgramFolder());
    return 0;
}
