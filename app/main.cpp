#include <QApplication>
#include <csignal>

#include "program.h"
#include "single_instance.h"
#include "web_engine_setup.h"

int main(int argc, char* argv[]) {
    // A file size limit makes a write that passes it fail, instead of ending
    // the program with the progress unsaved.
    std::signal(SIGXFSZ, SIG_IGN);
    tessaly::PrepareWebEngine();
    QApplication app(argc, argv);
    // A second copy from the same folder brings the first one forward and
    // ends before anything is read, counted or saved.
    tessaly::SingleInstance instance(QCoreApplication::applicationDirPath());
    if (instance.AnotherCopyRuns()) {
        return 0;
    }
    tessaly::Program program(app);
    QObject::connect(&instance, &tessaly::SingleInstance::BringForwardRequested, &program,
                     &tessaly::Program::BringForward);
    return program.Run();
}
