#include "web_engine_setup.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include "start_page_scheme.h"

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace tessaly {

void PrepareWebEngine() {
#ifdef Q_OS_UNIX
    if (geteuid() == 0) {
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
        // The zygote processes exist to start sandboxed renderers; without
        // the sandbox they only hold memory (about 10 MB of the tree).
        QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
        if (!flags.contains("--no-zygote")) {
            qputenv("QTWEBENGINE_CHROMIUM_FLAGS", (flags + " --no-zygote").trimmed());
        }
    }
#endif
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    RegisterStartPageScheme();
    QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
}

void InstallChineseTranslations(QCoreApplication& app) {
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    for (const char* name : {"qtbase_zh_CN", "qtwebengine_zh_CN"}) {
        auto* translator = new QTranslator(&app);
        if (translator->load(QString::fromLatin1(name), folder)) {
            QCoreApplication::installTranslator(translator);
        } else {
            delete translator;
        }
    }
}

}  // namespace tessaly
