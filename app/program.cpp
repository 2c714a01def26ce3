#include "program.h"

#ifdef __GLIBC__
#include <malloc.h>
#endif

#include <QApplication>
#include <QFileInfo>
#include <QShortcut>
#include <QTimer>
#include <QWebEngineProfile>

#include "browser_pane.h"
#include "browser_profile.h"
#include "constants.h"
#include "download_manager.h"
#include "downloads_window.h"
#include "fonts.h"
#include "frmOpen.h"
#include "frmSplash.h"
#include "frmWap.h"
#include "gateway_route.h"
#include "java_descriptor.h"
#include "keeping.h"
#include "page_windows.h"
#include "proxy_target.h"
#include "qt_paths.h"
#include "termination_signals.h"
#include "wap_identity.h"
#include "web_engine_setup.h"

namespace tessaly {

Program::Program(QApplication& app)
    : app_(app),
      programFolder_(QCoreApplication::applicationDirPath()),
      core_(ToPath(programFolder_)),
      shell_(programFolder_),
      gateway_(decks_),
      profile_(nullptr),
      downloads_(nullptr) {
    InstallChineseTranslations(app_);
    InstallProgramFonts();
    // The splash closes before the main window opens, and the welcome window
    // can be the only one on screen: the program ends when the main window does.
    QApplication::setQuitOnLastWindowClosed(false);
    // The gateway listens before the browser engine starts, so the engine's
    // traffic goes through it from the first request. Without it (nothing
    // could listen on loopback) pages still load, unconverted.
    const bool gatewayRunning = gateway_.Start();
    if (gatewayRunning) {
        RouteBrowserThroughGateway(gateway_.Port());
    }
    // Card changes in the sample site's decks count as those from sites do.
    profile_ = CreateBrowserProfile(programFolder_, this, &decks_);
    if (gatewayRunning) {
        SetGatewayCredentials(profile_, QString::fromStdString(gateway_.User()),
                              QString::fromStdString(gateway_.Password()));
    }
    // Sites the gateway cannot read (https) still see a phone.
    profile_->setHttpUserAgent(QString::fromLatin1(wap::PhoneUserAgent));
    downloads_ = new DownloadManager(profile_, shell_, AskSavePathWithDialog, this);
    // A game's details, when its descriptor passed the gateway, before it is saved.
    downloads_->SetDescriber([this](const QUrl& url) {
        const auto game = gateway_.JadDetailsFor(url.toString(QUrl::FullyEncoded).toStdString());
        return game ? GameDetailsText(*game) : QString();
    });
    downloads_->SetWindowFactory([](ShellOpener& shell, QWidget* owner) -> DownloadList* {
        return new DownloadsWindow(shell, owner);
    });

    auto* termination = new TerminationSignals(this);
    connect(termination, &TerminationSignals::Requested, this, &Program::EndOnRequest);
    // The desktop session asks for unsaved work before it ends; the program
    // itself must not quit here.
    connect(&app_, &QGuiApplication::commitDataRequest, this, [this] { core_.SaveProgress(); });
}

Program::~Program() {
    // Pages and downloads go before the profile they use.
    main_.reset();
    delete downloads_;
    delete pane_;
    delete profile_;
    gateway_.Stop();
}

int Program::Run() {
    splash_ = new frmSplash(core_, [this] { ShowMainWindow(); });
    splash_->Show();
    // Once the splash is on screen, the browser engine starts and loads the
    // home page in the background, so the main window opens on it.
    QTimer::singleShot(0, this, &Program::PreloadHomePage);
    return QApplication::exec();
}

void Program::PreloadHomePage() {
    if (pane_ != nullptr || main_) {
        return;  // the main window came first and loads the page itself
    }
    pane_ = new BrowserPane(profile_);
    pane_->SetCardDocumentTest([this](const QUrl& document) {
        return decks_.Contains(document.toString(QUrl::FullyEncoded).toStdString());
    });
    // Decks that come past the gateway (https, local files) are shown converted too.
    pane_->SetRenderedDecks(&decks_);
    // Why an https site could not be reached is known to the gateway alone.
    pane_->SetTunnelFailureTest([this](const QUrl& url) {
        return static_cast<int>(gateway_.LastTunnelFailure(
            url.host().toStdString(),
            std::to_string(url.port(url.scheme() == "https" ? 443 : 80))));
    });
    // Nothing the load raises reaches the main window before it asks for
    // the home page itself.
    pane_->Preload(QString::fromUtf8(HomePageUrl));
}

void Program::ShowMainWindow() {
    if (pane_ == nullptr) {
        PreloadHomePage();
    }
    BrowserPane* browser = std::exchange(pane_, nullptr);
    main_ = std::make_unique<frmWap>(core_, shell_, browser, [] { QCoreApplication::exit(0); });
    connect(main_.get(), &frmWap::Closed, &app_, &QCoreApplication::quit, Qt::QueuedConnection);
    // The downloads window opens by itself on the first download; Ctrl+J brings it back.
    downloads_->SetWindowOwner(main_.get());
    auto* showDownloads = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_J), main_.get());
    connect(showDownloads, &QShortcut::activated, downloads_, &DownloadManager::ShowWindow);
    // Ctrl+L and F6 open the Open dialog; the pane goes there as the Home button does.
    for (const QKeySequence& keys :
         {QKeySequence(Qt::CTRL | Qt::Key_L), QKeySequence(Qt::Key_F6)}) {
        auto* openAddress = new QShortcut(keys, main_.get());
        connect(openAddress, &QShortcut::activated, this, [this, browser] {
            frmOpen::ShowModal(
                main_.get(), programFolder_,
                [this, browser](const QString& url) {
                    browser->Navigate(ThroughGatewayIfWap(url));
                },
                keeping_ ? keeping_->KnownAddresses() : frmOpen::KnownAddresses());
        });
    }
    // Favourites and history, on Ctrl+D, Ctrl+B and Ctrl+H.
    keeping_ = new Keeping(main_.get(), browser, programFolder_, main_.get());
    // The start page's links to 收藏夹 and 历史记录.
    connect(browser, &BrowserPane::ProgramPageAsked, keeping_, [this](const QString& name) {
        if (name == QLatin1String("favourites")) {
            keeping_->ShowFavourites();
        } else if (name == QLatin1String("history")) {
            keeping_->ShowHistory();
        }
    });
    // The splash, its pictures and the engine's start leave freed heap behind:
    // once the home page is shown, it goes back to the system.
    connect(browser, &Browser::DownloadComplete, this, &Program::ReturnFreedMemory,
            Qt::SingleShotConnection);
    // What the gateway recorded of the page the site sent, for 页面信息 and 查看源代码.
    ConnectPageWindows(
        browser, main_.get(), profile_, [this](const QUrl& address) -> std::optional<SentDocument> {
            const auto details = decks_.Details(address.toString(QUrl::FullyEncoded).toStdString());
            if (!details) {
                return std::nullopt;
            }
            return SentDocument{QString::fromStdString(details->contentType),
                                QString::fromStdString(details->charset),
                                static_cast<qint64>(details->bytes), details->cards,
                                QString::fromStdString(details->source)};
        });
    main_->Show();
}

void Program::ReturnFreedMemory() {
#ifdef __GLIBC__
    malloc_trim(0);
#endif
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

QString Program::ThroughGatewayIfWap(const QString& url) {
    // The engine would show a local deck as source or offer it as a file;
    // the gateway serves it converted, like a deck from a site.
    const QUrl address(url);
    static const QStringList WapSuffixes = {"wml", "wmlc", "wbmp", "xhtml"};
    if (!address.isLocalFile() || !gateway_.Port() ||
        !WapSuffixes.contains(QFileInfo(address.toLocalFile()).suffix().toLower())) {
        return url;
    }
    const std::string served = gateway_.LocalFileAddress(address.toLocalFile().toStdString());
    return served.empty() ? url : QString::fromStdString(served);
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
