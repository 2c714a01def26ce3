// Start-up as the user sees it: from process start to the splash window on
// screen, and from the main window on screen to the home page's first
// DownloadComplete. Starts the program's own wiring in this process, from a
// program folder beside this executable that already holds a record (a later
// start, so no welcome window waits for a click).

#include <unistd.h>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "browser.h"
#include "core.h"
#include "frmSplash.h"
#include "frmWap.h"
#include "program.h"
#include "web_engine_setup.h"

namespace {

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

class StartupWatch : public QObject {
public:
    bool eventFilter(QObject* object, QEvent* event) override {
        if (event->type() != QEvent::Show) {
            return false;
        }
        if (qobject_cast<tessaly::frmSplash*>(object) && splashShown < 0) {
            splashShown = MillisecondsSinceProcessStart();
        } else if (auto* main = qobject_cast<tessaly::frmWap*>(object);
                   main && !mainShown.isValid()) {
            mainShown.start();
            connect(&main->wap(), &tessaly::Browser::DownloadComplete, this, [this] {
                if (homePageMs < 0) {
                    homePageMs = static_cast<double>(mainShown.nsecsElapsed()) / 1e6;
                    QTimer::singleShot(0, qApp, &QCoreApplication::quit);
                }
            });
        }
        return false;
    }
    double splashShown = -1;
    double homePageMs = -1;
    QElapsedTimer mainShown;
};

}  // namespace

int main(int argc, char* argv[]) {
    const double atMain = MillisecondsSinceProcessStart();
    tessaly::PrepareWebEngine();
    QApplication app(argc, argv);

    // A later start over a complete program folder: a first start builds the
    // level table, and the record then asks for no welcome window.
    const std::filesystem::path folder = QCoreApplication::applicationDirPath().toStdString();
    std::filesystem::create_directories(folder / "Data");
    tessaly::Core earlier(folder);
    earlier.StartRun();
    earlier.StartRun();

    StartupWatch watch;
    app.installEventFilter(&watch);
    QTimer::singleShot(30000, &app, &QCoreApplication::quit);  // never hang
    int result = 0;
    {
        tessaly::Program program(app);
        result = program.Run();
    }
    std::printf("process start to main(): %.0f ms\n", atMain);
    std::printf("process start to splash shown: %.0f ms (target at most 300)\n", watch.splashShown);
    std::printf("main window shown to home page complete: %.0f ms (target at most 300)\n",
                watch.homePageMs);
    return result;
}
