#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>
#include <utility>

#include "download_item.h"
#include "download_list.h"

class QFileDialog;
class QWebEngineDownloadRequest;
class QWebEnginePage;
class QWebEngineProfile;
class QWidget;

namespace tessaly {

class ShellOpener;

// Asks the user where to save a download: the full path chosen, or an empty
// string when the user cancels. proposedPath is a free name in the folder
// the dialog should start in; details, plain text, what is known of the
// file before it is saved (a game's name, vendor, version, size), or empty.
using SavePathAsker =
    std::function<QString(QWidget* parent, const QString& proposedPath, const QString& details)>;
// What is known of a download before it is saved, as plain text; empty when nothing.
using DownloadDescriber = std::function<QString(const QUrl& url)>;

// The program's own save dialog ("保存文件"), Qt's dialog rather than the
// desktop's so that it speaks Chinese on every system, sizes and dates
// included, wide enough to show its columns whole. It asks before replacing
// an existing file, and blocks only its parent window. Enter answers it only
// when pressed for it: not a held key's repeats, and not in its first
// SaveDialogArmMs, when a key was meant for the page it covered.
constexpr qint64 SaveDialogArmMs = 500;
// details, when given, are shown under the file list as text.
QFileDialog* CreateSaveDialog(QWidget* parent, const QString& proposedPath,
                              const QString& details = {});
QString AskSavePathWithDialog(QWidget* parent, const QString& proposedPath,
                              const QString& details = {});

// Takes every download a page of the profile starts: asks where to save it,
// writes it there (through a ".part" name until complete), fetches the game
// archive a Java descriptor (.jad) names, and lists everything in the
// downloads window. Nothing downloaded is opened unless the user asks. The
// browser pane is offered each download first and keeps the binary WML decks
// it shows as pages.
class DownloadManager : public QObject {
    Q_OBJECT

public:
    // The profile and the opener must outlive the manager.
    DownloadManager(QWebEngineProfile* profile, ShellOpener& shell,
                    SavePathAsker askSavePath = AskSavePathWithDialog, QObject* parent = nullptr);
    ~DownloadManager() override;

    // The window that owns the save dialog and the downloads window.
    void SetWindowOwner(QWidget* owner);
    // How to make the downloads window. Without one, downloads are listed in
    // no window.
    void SetWindowFactory(DownloadListFactory makeWindow) { makeWindow_ = std::move(makeWindow); }

    // Where the save dialog starts: the desktop's download folder at first,
    // then the folder of the last download saved.
    void SetDownloadFolder(const QString& folder);
    // What the save dialog shows of a download before it is saved.
    void SetDescriber(DownloadDescriber describe) { describe_ = std::move(describe); }
    // How long a download may receive nothing before it fails.
    void SetStallTimeout(int ms) { stallTimeoutMs_ = ms; }

    // Shows the downloads window, if there is anything to show, restored
    // when the user had minimised it.
    void ShowWindow();
    // Downloads a failed download's file again, into the same folder, as a
    // new row; nothing for a download that did not fail.
    void Retry(DownloadItem* failed);
    QList<DownloadItem*> Items() const { return items_; }
    // Null until the first download.
    DownloadList* DownloadsWindow() const { return window_; }

signals:
    // A download was started (the first one also opens the window).
    void DownloadAdded(tessaly::DownloadItem* item);

private:
    void OnDownloadRequested(QWebEngineDownloadRequest* request);
    void AskAndStart(QWebEngineDownloadRequest* request);
    // Downloads item's address with a page of the profile, without a dialog.
    void Fetch(DownloadItem* item);
    // Whether page started a download of url a moment ago (see RepeatDownloadMs).
    bool IsRepeat(const QWebEnginePage* page, const QUrl& url);
    void NoteStarted(QWebEnginePage* page, const QUrl& url);
    void StartArchive(QWebEnginePage* page, QWebEngineDownloadRequest* request);
    DownloadItem* AddItem(const QUrl& url, const QString& finalPath,
                          DownloadItem::Role role = DownloadItem::Role::Saved);
    void Begin(DownloadItem* item, QWebEngineDownloadRequest* request);
    void OnItemDone(DownloadItem* item);
    void FetchJavaArchive(DownloadItem& descriptor);
    bool IsTaken(const QString& path, const DownloadItem* asker) const;
    // Whether a download under way (other than `asker`) writes to `path`.
    bool IsActiveTarget(const QString& path, const DownloadItem* asker) const;
    QString FreePath(const QString& folder, const QString& fileName) const;
    DownloadList* EnsureWindow();

    QWebEngineProfile* profile_;
    ShellOpener& shell_;
    SavePathAsker askSavePath_;
    DownloadDescriber describe_;
    QPointer<QWidget> owner_;
    QString folder_;
    QList<DownloadItem*> items_;
    DownloadListFactory makeWindow_;
    QPointer<DownloadList> window_;
    // The save dialog is open.
    bool asking_ = false;
    int stallTimeoutMs_ = DownloadItem::DefaultStallTimeoutMs;
    // Downloads started a moment ago, to tell repeats by.
    struct RecentDownload {
        QPointer<QWebEnginePage> page;
        QUrl url;
        QElapsedTimer since;
    };
    QList<RecentDownload> recent_;
    // Hidden pages fetching a game archive, each with the row waiting for it.
    QHash<QWebEnginePage*, QPointer<DownloadItem>> archiveFetches_;
};

}  // namespace tessaly
