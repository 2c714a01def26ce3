#pragma once

#include <QObject>
#include <QPointer>
#include <memory>

#include "core.h"
#include "rendered_decks.h"
#include "shell_open.h"
#include "wap_gateway.h"

class QApplication;
class QWebEngineProfile;

namespace tessaly {

class BrowserPane;
class DownloadManager;
class frmSplash;
class frmWap;
class Keeping;

// The program's start-up wiring: the progress model, the desktop opener and
// the browser profile of the program folder, the splash window that counts
// the run, and the main window that follows it.
class Program : public QObject {
    Q_OBJECT

public:
    explicit Program(QApplication& app);
    ~Program() override;

    // Shows the splash window and runs until the program ends.
    int Run();

    // Brings the program's window to the front: the open dialog if there is
    // one, else the main window, or the splash window while it shows.
    void BringForward();

private:
    void ShowMainWindow();
    void PreloadHomePage();
    void EndOnRequest();
    void ReturnFreedMemory();
    // A local WAP file's address as the gateway serves it; other addresses as they are.
    QString ThroughGatewayIfWap(const QString& url);

    QApplication& app_;
    QString programFolder_;
    Core core_;
    DesktopShell shell_;
    // The documents rendered from WML decks, filled by the gateway (on its
    // thread) and asked by the browser pane.
    wap::RenderedDecks decks_;
    wap::WapGateway gateway_;
    QWebEngineProfile* profile_;
    DownloadManager* downloads_;
    // The browser pane from the splash until the main window takes it.
    BrowserPane* pane_ = nullptr;
    QPointer<frmSplash> splash_;
    std::unique_ptr<frmWap> main_;
    // Favourites and history, owned by the main window.
    QPointer<Keeping> keeping_;
};

}  // namespace tessaly
