// Start-up as the user sees it, beside a bare QWebEngineView in the same run.
//
// Run without arguments, it starts itself alternately as the program
// (--program) and as a bare view (--bare), each in a fresh process so both
// start the engine cold, and prints the medians against their targets:
// - process start to the splash window on screen;
// - the main window (or the bare view's window) on screen to the home page's
//   load complete;
// - the memory of the process tree (the program and every engine process it
//   started, PSS, so shared pages count once) with the home page shown.
// The program starts from a program folder beside this executable that
// already holds a record (a later start, so no welcome window waits).

#include <unistd.h>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "browser.h"
#include "constants.h"
#include "core.h"
#include "frmSplash.h"
#include "frmWap.h"
#include "median.h"
#include "program.h"
#include "start_page_scheme.h"
#include "web_engine_setup.h"

namespace {

using tessaly::bench::Median;

constexpr int Rounds = 5;
// Once the page is complete, the engine's processes finish painting and
// settle before their memory is read.
constexpr int SettleMs = 1500;

// Milliseconds since this process was started by the system.
double MillisecondsSinceProcessStart() {
    std::ifstream statFile("/proc/self/stat");
    std::string stat((std::istreambuf_iterator<char>(statFile)), std::istreambuf_iterator<char>());
    std::istringstream fields(stat.substr(stat.rfind(')') + 2));
    std::string field;
    for (int i = 3; i <= 22; ++i) {  // field 22: start time in clock ticks after boot
        fields >> field;
    }
    const double startSeconds = std::stod(field) / static_cast<double>(sysconf(_SC_CLK_TCK));
    timespec now{};
    clock_gettime(CLOCK_BOOTTIME, &now);
    return (static_cast<double>(now.tv_sec) + now.tv_nsec / 1e9 - startSeconds) * 1000.0;
}

// Proportional set size of a process and all its descendants, in kilobytes.
long TreePssKb(pid_t pid) {
    long total = 0;
    std::ifstream rollup("/proc/" + std::to_string(pid) + "/smaps_rollup");
    for (std::string line; std::getline(rollup, line);) {
        if (line.rfind("Pss:", 0) == 0) {
            total += std::stol(line.substr(4));
            break;
        }
    }
    const std::filesystem::path tasks = "/proc/" + std::to_string(pid) + "/task";
    std::error_code error;
    for (const auto& task : std::filesystem::directory_iterator(tasks, error)) {
        std::ifstream children(task.path() / "children");
        for (pid_t child = 0; children >> child;) {
            total += TreePssKb(child);
        }
    }
    return total;
}

// Reports the home page's figures once it is complete, then ends the run.
class HomePageWatch : public QObject {
public:
    void WindowShown() {
        if (!shown_.isValid()) {
            shown_.start();
        }
    }
    void PageComplete() {
        if (homePageMs_ >= 0 || !shown_.isValid()) {
            return;
        }
        homePageMs_ = static_cast<double>(shown_.nsecsElapsed()) / 1e6;
        QTimer::singleShot(SettleMs, this, [this] {
            std::printf("home %.1f\nmemory %ld\n", homePageMs_, TreePssKb(getpid()));
            std::fflush(stdout);
            QCoreApplication::quit();
        });
    }

private:
    QElapsedTimer shown_;
    double homePageMs_ = -1;
};

class ProgramWatch : public HomePageWatch {
public:
    bool eventFilter(QObject* object, QEvent* event) override {
        if (event->type() != QEvent::Show) {
            return false;
        }
        if (qobject_cast<tessaly::frmSplash*>(object) && !splashSeen_) {
            splashSeen_ = true;
            std::printf("splash %.1f\n", MillisecondsSinceProcessStart());
        } else if (auto* main = qobject_cast<tessaly::frmWap*>(object); main && !mainSeen_) {
            mainSeen_ = true;
            WindowShown();
            connect(&main->wap(), &tessaly::Browser::DownloadComplete, this,
                    &HomePageWatch::PageComplete);
        }
        return false;
    }

private:
    bool splashSeen_ = false;
    bool mainSeen_ = false;
};

int RunProgram(int argc, char* argv[]) {
    tessaly::PrepareWebEngine();
    QApplication app(argc, argv);
    const std::filesystem::path folder = QCoreApplication::applicationDirPath().toStdString();
    std::filesystem::create_directories(folder / "Data");
    tessaly::Core earlier(folder);
    earlier.StartRun();
    earlier.StartRun();

    ProgramWatch watch;
    app.installEventFilter(&watch);
    QTimer::singleShot(30000, &app, &QCoreApplication::quit);  // never hang
    tessaly::Program program(app);
    return program.Run();
}

// The same page in a plain view: the engine as it comes (its sandbox off as
// root, which it needs there), an in-memory profile with the start page's
// scheme, and a window the size of the main window's.
int RunBareView(int argc, char* argv[]) {
    if (geteuid() == 0) {
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    }
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    tessaly::RegisterStartPageScheme();
    QApplication app(argc, argv);
    QWebEngineProfile profile;
    profile.installUrlSchemeHandler(tessaly::StartPageScheme,
                                    new tessaly::StartPageSchemeHandler(&profile));
    HomePageWatch watch;
    QTimer::singleShot(30000, &app, &QCoreApplication::quit);
    {
        QWebEngineView view;
        view.setPage(new QWebEnginePage(&profile, &view));
        QObject::connect(view.page(), &QWebEnginePage::loadFinished, &watch,
                         &HomePageWatch::PageComplete);
        view.resize(800, 600);
        view.show();
        watch.WindowShown();
        view.load(QUrl(QString::fromUtf8(tessaly::HomePageUrl)));
        QApplication::exec();
    }
    return 0;
}

// Runs this executable with one argument and reads the "name value" lines it prints.
std::map<std::string, double> Measure(const QString& mode) {
    QProcess child;
    child.setStandardErrorFile(QProcess::nullDevice());  // the engine's start-up chatter
    child.start(QCoreApplication::applicationFilePath(), {mode});
    child.waitForFinished(60000);
    std::map<std::string, double> figures;
    std::istringstream lines(child.readAllStandardOutput().toStdString());
    std::string name;
    for (double value = 0; lines >> name >> value;) {
        figures[name] = value;
    }
    return figures;
}

void Report(const char* figure, double value, const char* unit, double target,
            const char* against) {
    std::printf("%s: %.1f %s (target at most %.1f %s: %s)\n", figure, value, unit, target, against,
                value >= 0 && value <= target ? "met" : "missed");
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc > 1 && std::string(argv[1]) == "--program") {
        return RunProgram(argc, argv);
    }
    if (argc > 1 && std::string(argv[1]) == "--bare") {
        return RunBareView(argc, argv);
    }
    QCoreApplication app(argc, argv);
    std::map<std::string, std::vector<double>> program, bare;
    for (int round = 0; round < Rounds; ++round) {
        for (const auto& [name, value] : Measure(QStringLiteral("--program"))) {
            program[name].push_back(value);
        }
        for (const auto& [name, value] : Measure(QStringLiteral("--bare"))) {
            bare[name].push_back(value);
        }
    }
    const double bareHome = Median(bare["home"]);
    const double bareMemory = Median(bare["memory"]) / 1024;
    std::printf("medians of %d runs each\n", Rounds);
    Report("process start to splash shown", Median(program["splash"]), "ms", 300, "ms");
    std::printf("bare view shown to home page complete: %.0f ms\n", bareHome);
    Report("main window shown to home page complete", Median(program["home"]), "ms", 100, "ms");
    std::printf("bare view's process tree with the home page: %.1f MB\n", bareMemory);
    Report("program's process tree with the home page", Median(program["memory"]) / 1024, "MB",
           bareMemory, "MB, the bare view's");
    return 0;
}
