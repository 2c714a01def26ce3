#include "program.h"

#include <QApplication>
#include <QShortcut>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineProfile>

#include "browser_pane.h"
#include "browser_profile.h"
#include "download_manager.h"
#include "fonts.h"
#include "frmSplash.h"
#include "frmWap.h"
#include "qt_paths.h"
#include "termination_signals.h"
#include "web_engine_setup.h"

namespace tessaly {

Program::Program(QApplication& app)
    : app_(app),
      programFolder_(QCoreApplication::applicationDirPath()),
      core_(ToPath(programFolder_)),
      shell_(programFolder_),
      profile_(nullptr),
      downloads_(nullptr) {
    InstallChineseTranslations(app_);
    InstallProgramFonts();
    // The splash closes before the main window opens, and the welcome window
    // can be the only one on screen: the program ends when the main window does.
    QApplication::setQuitOnLastWindowClosed(false);
    profile_ = CreateBrowserProfile(programFolder_, this);
    downloads_ = new DownloadManager(profile_, shell_, AskSavePathWithDialog, this);

    auto* termination = new TerminationSignals(this);
    connect(termination, &TerminationSignals::requested, this, &Program::EndOnRequest);
    // The desktop session asks for unsaved work before it ends; the program
    // itself must not quit here.
    connect(&app_, &QGuiApplication::commitDataRequest, this, [this] { core_.SaveProgress(); });
}

Program::~Program() {
    // Pages and downloads go before the profile they use.
    main_.reset();
    delete downloads_;
    delete warmUpPage_;
    delete profile_;
}

int Program::Run() {
    splash_ = new frmSplash(core_, [this] { ShowMainWindow(); });
    splash_->Show();
    // Once the splash is on screen, start the browser engine in the background
    // so the home page comes quickly when the main window opens.
    QTimer::singleShot(0, this, &Program::WarmUpBrowserEngine);
    return QApplication::exec();
}

void Program::WarmUpBrowserEngine() {
    warmUpPage_ = new QWebEnginePage(profile_, this);
    warmUpPage_->load(QUrl(QStringLiteral("about:blank")));
}

void Program::ShowMainWindow() {
    auto* browser = new BrowserPane(profile_);
    main_ = std::make_unique<frmWap>(core_, shell_, browser, [] { QCoreApplication::exit(0); });
    connect(main_.get(), &frmWap::closed, &app_, &QCoreApplication::quit, Qt::QueuedConnection);
    // The downloads window opens by itself on the first download; Ctrl+J brings it back.
    downloads_->setWindowOwner(main_.get());
    auto* showDownloads = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_J), main_.get());
    connect(showDownloads, &QShortcut::activated, downloads_, &DownloadManager::showWindow);
    main_->Show();
    delete warmUpPage_;
}

void Program::BringForward() {
    QWidget* window = QApplication::activeModalWidget();
    if (window == nullptr) {
        window = main_ ? static_cast<QWidget*>(main_.get()) : splash_.data();
    }
    if (window == nullptr) {
        return;
    }
    if (main_ && main_->isMinimized()) {
        main_->showNormal();
    }
    window->raise();
    window->activateWindow();
}

void Program::EndOnRequest() {
    if (main_) {
        main_->RequestClose();
    } else {
        // Still on the splash: the run is already counted and saved.
        QCoreApplication::quit();
    }
}

}  // namespace tessaly
