#include <QCoreApplication>

#include "core.h"

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    tessaly::Core core(QCoreApplication::applicationDirPath().toStdString());
    core.StartRun();
    return 0;
}
