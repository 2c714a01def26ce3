#include <QApplication>

#include "program.h"
#include "web_engine_setup.h"

int main(int argc, char* argv[]) {
    tessaly::PrepareWebEngine();
    QApplication app(argc, argv);
    tessaly::Program program(app);
    return program.Run();
}
