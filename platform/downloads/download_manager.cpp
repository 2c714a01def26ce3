#include "download_manager.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QGridLayout>
#include <QHeaderView>
#include <QIdentityProxyModel>
#include <QKeyEvent>
#include <QLabel>
#include <QStandardPaths>
#include <QTimer>
#include <QTreeView>
#include <QWebEngineDownloadRequest>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <utility>

#include "browser_pane.h"
#include "file_names.h"
#include "gateway_route.h"
#include "java_descriptor.h"
#include "shell_open.h"
#include "user_activation.h"

namespace tessaly {

namespace {

// How long a game archive's server may take to start answering.
constexpr int ArchiveAnswerMs = 60000;
// Asking for one address again from the same page within this time, after
// its download started, is the same request: a double click, a held key or a
// page clicking on its own brings one download. Each repeat starts the time
// again, so a key held for longer is still one.
constexpr qint64 RepeatDownloadMs = 5000;
// Game archives are a few hundred kilobytes; a descriptor that gives no size
// still never brings more than this.
constexpr qint64 MaxArchiveBytes = 32LL * 1024 * 1024;

QString DefaultDownloadFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
}

// The folder the save dialog opens in: the one asked for while it exists,
// the home folder otherwise (never the program's own working folder).
QString ExistingFolderOrHome(const QString& folder) {
    return !folder.isEmpty() && QFileInfo(folder).isDir() ? folder : QDir::homePath();
}

bool IsJavaDescriptor(const DownloadItem& item) {
    return item.FileName().endsWith(QLatin1String(".jad"), Qt::CaseInsensitive) ||
           item.MimeType() == QLatin1String("text/vnd.sun.j2me.app-descriptor");
}

// Chromium plays .mp3 and .3gp files in the page and shows a .jad sent as
// plain text; on a WAP download site a click on such a link means "save it".
// This script marks a clicked link to a phone file as a download link just
// before the browser follows it. It runs apart from the page's own scripts;
// links to another site keep their usual behaviour (the browser ignores the
// mark there). A held Enter is one press: its repeats follow no link and
// send no form again (text areas keep their new lines).
const char* const DownloadLinkScriptName = "tessaly-download-links";
const char* const DownloadLinkScript = R"(
document.addEventListener('click', function (event) {
    var link = event.target && event.target.closest && event.target.closest('a[href]');
    if (!link || link.hasAttribute('download') || !/^(https?|tessaly):$/.test(link.protocol)) {
        return;
    }
    if (/\.(jar|jad|sis|sisx|cab|apk|thm|nth|mid|amr|mp3|3gp|zip)$/i.test(link.pathname)) {
        link.setAttribute('download', '');
    }
}, true);
window.addEventListener('keydown', function (event) {
    var target = event.target;
    if (event.repeat && event.key === 'Enter' &&
        !(target && (target.isContentEditable || target.tagName === 'TEXTAREA'))) {
        event.preventDefault();
    }
}, true);
)";

void InstallDownloadLinkScript(QWebEngineProfile* profile) {
    const QString name = QLatin1String(DownloadLinkScriptName);
    if (!profile->scripts()->find(name).isEmpty()) {
        return;
    }
    QWebEngineScript script;
    script.setName(name);
    script.setSourceCode(QLatin1String(DownloadLinkScript));
    script.setInjectionPoint(QWebEngineScript::DocumentCreation);
    script.setWorldId(QWebEngineScript::ApplicationWorld);
    script.setRunsOnSubFrames(true);
    profile->scripts()->insert(script);
}

// The save dialog's file list speaks the program's language whatever the
// desktop's: sizes in 字节/KB/MB, dates as 2008/3/9 14:05.
class ChineseFileDetails : public QIdentityProxyModel {
public:
    using QIdentityProxyModel::QIdentityProxyModel;

    QVariant data(const QModelIndex& index, int role) const override {
        auto* files = qobject_cast<QFileSystemModel*>(sourceModel());
        if (role != Qt::DisplayRole || !files) {
            return QIdentityProxyModel::data(index, role);
        }
        const QModelIndex source = mapToSource(index);
        switch (index.column()) {
            case SizeColumn:
                if (files->isDir(source)) {
                    return QString();
                }
                return ChineseFileSize(files->size(source));
            case DateColumn:
                return files->lastModified(source).toString(QStringLiteral("yyyy/M/d HH:mm"));
            default:
                return QIdentityProxyModel::data(index, role);
        }
    }

private:
    // The columns of the desktop file list: name, size, kind, date.
    static constexpr int SizeColumn = 1;
    static constexpr int DateColumn = 3;
};

// Keeps Enter from answering the save dialog unless it was pressed for the
// dialog: its repeats, and a press in the dialog's first moments, do nothing.
// The user answers with a fresh key or a click.
class HeldKeyGuard : public QObject {
public:
    explicit HeldKeyGuard(QWidget* dialog) : QObject(dialog), dialog_(dialog) {
        qApp->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == dialog_ && event->type() == QEvent::Show) {
            shown_.start();
        }
        if (event->type() != QEvent::KeyPress) {
            return false;
        }
        auto* widget = qobject_cast<QWidget*>(watched);
        const auto* key = static_cast<QKeyEvent*>(event);
        if (!widget || widget->window() != dialog_ ||
            (key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter)) {
            return false;
        }
        return key->isAutoRepeat() || !shown_.isValid() || !shown_.hasExpired(SaveDialogArmMs);
    }

private:
    QWidget* dialog_;
    QElapsedTimer shown_;
};

constexpr int SaveDialogWidth = 760;
constexpr int SaveDialogHeight = 460;

bool OnDisk(const QString& path) {
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();  // a dangling link is still in the way
}

}  // namespace

QFileDialog* CreateSaveDialog(QWidget* parent, const QString& proposedPath,
                              const QString& details) {
    auto* dialog = new QFileDialog(parent, QStringLiteral("保存文件"), proposedPath);
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setViewMode(QFileDialog::Detail);
    dialog->selectFile(QFileInfo(proposedPath).fileName());
    dialog->setProxyModel(new ChineseFileDetails(dialog));
    dialog->resize(SaveDialogWidth, SaveDialogHeight);
    // The name takes the room left once size, kind and date are shown whole.
    if (auto* list = dialog->findChild<QTreeView*>(QStringLiteral("treeView"))) {
        QHeaderView* header = list->header();
        header->setStretchLastSection(false);
        header->setSectionResizeMode(QHeaderView::ResizeToContents);
        header->setSectionResizeMode(0, QHeaderView::Stretch);
    }
    // Modal to its owner only: the downloads window stays usable, so a
    // download can be cancelled while the dialog is open.
    dialog->setWindowModality(parent ? Qt::WindowModal : Qt::ApplicationModal);
    new HeldKeyGuard(dialog);
    // A site's words: shown as text, never read as markup.
    if (auto* grid = qobject_cast<QGridLayout*>(dialog->layout()); grid && !details.isEmpty()) {
        auto* shown = new QLabel(details, dialog);
        shown->setObjectName(QStringLiteral("downloadDetails"));
        shown->setTextFormat(Qt::PlainText);
        shown->setWordWrap(true);
        shown->setTextInteractionFlags(Qt::TextSelectableByMouse);
        grid->addWidget(shown, grid->rowCount(), 0, 1, grid->columnCount());
    }
    return dialog;
}

QString AskSavePathWithDialog(QWidget* parent, const QString& proposedPath,
                              const QString& details) {
    // The dialog goes with its parent if that closes while it is open.
    const QPointer<QFileDialog> dialog(CreateSaveDialog(parent, proposedPath, details));
    const bool accepted = dialog->exec() == QDialog::Accepted;
    if (!dialog) {
        return QString();
    }
    const QString chosen = accepted ? dialog->selectedFiles().value(0) : QString();
    delete dialog;
    return chosen;
}

DownloadManager::DownloadManager(QWebEngineProfile* profile, ShellOpener& shell,
                                 SavePathAsker askSavePath, QObject* parent)
    : QObject(parent),
      profile_(profile),
      shell_(shell),
      askSavePath_(std::move(askSavePath)),
      folder_(DefaultDownloadFolder()) {
    connect(profile_, &QWebEngineProfile::downloadRequested, this,
            &DownloadManager::OnDownloadRequested);
    InstallDownloadLinkScript(profile_);
}

DownloadManager::~DownloadManager() {
    delete window_;
    // Downloads still running stop here and leave nothing partial behind.
    qDeleteAll(items_);
    items_.clear();
    qDeleteAll(archiveFetches_.keys());
}

void DownloadManager::SetWindowOwner(QWidget* owner) {
    owner_ = owner;
    if (window_) {
        window_->SetOwner(owner);
    }
}

void DownloadManager::SetDownloadFolder(const QString& folder) {
    folder_ = folder;
}

DownloadList* DownloadManager::EnsureWindow() {
    if (!window_ && makeWindow_) {
        window_ = makeWindow_(shell_, owner_);
        for (DownloadItem* item : std::as_const(items_)) {
            window_->AddItem(item);
        }
    }
    return window_;
}

void DownloadManager::ShowWindow() {
    if (items_.isEmpty()) {
        return;
    }
    DownloadList* window = EnsureWindow();
    if (!window) {
        return;
    }
    if (!window->isVisible() && owner_) {
        // Over the middle of the main window, where the user is looking.
        window->move(owner_->geometry().center() - window->rect().center());
    }
    // A window the user minimised comes back as it was.
    window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    window->show();
    window->raise();
    window->activateWindow();
}

bool DownloadManager::IsTaken(const QString& path, const DownloadItem* asker) const {
    // The engine writes a partial file under a further name of its own.
    if (OnDisk(path) || (path.endsWith(QLatin1String(".part")) && OnDisk(path + ".download"))) {
        return true;
    }
    return IsActiveTarget(path, asker);
}

bool DownloadManager::IsActiveTarget(const QString& path, const DownloadItem* asker) const {
    for (const DownloadItem* item : items_) {
        if (item != asker && item->IsActive() &&
            (item->FilePath() == path || item->PartialPath() == path)) {
            return true;
        }
    }
    return false;
}

QString DownloadManager::FreePath(const QString& folder, const QString& fileName) const {
    return FreeFilePath(QDir(folder).absolutePath(), fileName,
                        [this](const QString& path) { return IsTaken(path, nullptr); });
}

void DownloadManager::OnDownloadRequested(QWebEngineDownloadRequest* request) {
    if (request->state() != QWebEngineDownloadRequest::DownloadRequested ||
        request->isSavePageDownload()) {
        return;  // decided elsewhere already
    }
    QWebEnginePage* page = request->page();
    if (page && archiveFetches_.contains(page)) {
        StartArchive(page, request);
        return;
    }
    // The engine starts a transfer it lost over again (a connection that
    // dropped, a server that ignores where it broke off) and asks for its
    // place once more: it is one of ours, and it failed.
    for (DownloadItem* item : std::as_const(items_)) {
        if (item->IsActive() && item->RequestId() == request->id()) {
            request->cancel();
            item->Fail(QStringLiteral("与服务器的连接中断了，下载没有完成。"));
            return;
        }
    }
    // A binary deck the browser pane shows as the page its navigation
    // stopped for is no download: the pane takes it before anyone asks.
    BrowserPane* pane = BrowserPane::ForPage(page);
    if (pane && pane->TakeDownload(request)) {
        return;
    }
    // One question at a time, and only for a download the user asked for: a
    // page that starts downloads on its own (from a timer, say) cannot bury
    // the window under save dialogs. A repeat asks nothing either, and uses
    // up no action of the user's.
    UserActivation* activation = UserActivation::ForPage(page);
    const bool usersDownload =
        !asking_ && !IsRepeat(page, request->url()) && (!activation || activation->Consume(false));
    if (pane) {
        pane->DownloadDecided(request, usersDownload);
    }
    if (!usersDownload) {
        request->cancel();
        return;
    }
    AskAndStart(request);
}

bool DownloadManager::IsRepeat(const QWebEnginePage* page, const QUrl& url) {
    const QUrl address = url.adjusted(QUrl::RemoveFragment);
    bool repeat = false;
    for (auto recent = recent_.begin(); recent != recent_.end();) {
        if (!recent->page || recent->since.hasExpired(RepeatDownloadMs)) {
            recent = recent_.erase(recent);
            continue;
        }
        if (recent->page.data() == page && recent->url == address) {
            recent->since.start();
            repeat = true;
        }
        ++recent;
    }
    return repeat;
}

void DownloadManager::NoteStarted(QWebEnginePage* page, const QUrl& url) {
    if (!page) {
        return;
    }
    RecentDownload recent{page, url.adjusted(QUrl::RemoveFragment), {}};
    recent.since.start();
    recent_.append(std::move(recent));
}

void DownloadManager::AskAndStart(QWebEngineDownloadRequest* request) {
    const QString proposed =
        FreePath(ExistingFolderOrHome(folder_), SafeFileName(request->suggestedFileName()));
    if (proposed.isEmpty()) {
        request->cancel();
        return;
    }

    // The dialog runs its own event loop: the request or this manager may be
    // gone when it returns.
    QPointer<QWebEngineDownloadRequest> guard(request);
    QPointer<DownloadManager> self(this);
    asking_ = true;
    const QString details = describe_ ? describe_(request->url()) : QString();
    const QString chosen = askSavePath_(owner_, proposed, details);
    if (!self) {
        return;
    }
    asking_ = false;
    if (!guard) {
        return;
    }
    if (chosen.isEmpty()) {
        request->cancel();
        return;
    }

    const QFileInfo chosenInfo(chosen);
    QString folder = chosenInfo.absolutePath();
    QString fileName = SafeFileName(chosenInfo.fileName());
    // Only the very file the dialog showed was confirmed there; a name that had
    // to be made safe is a different file and must not replace anything.
    const bool nameKept = fileName == chosenInfo.fileName();
    if (chosenInfo.isDir()) {
        folder = chosenInfo.absoluteFilePath();
        fileName = QFileInfo(proposed).fileName();
    }
    QString finalPath = QDir(folder).filePath(fileName);

    // A file the user picked in the dialog was confirmed there and may be
    // replaced once the new one is complete. The proposed name was free when
    // the dialog opened: if it is taken now, it was taken meanwhile, and the
    // download takes the next free number instead.
    const QFileInfo existing(finalPath);
    const bool pickedExisting = nameKept && existing.isFile() &&
                                finalPath != QFileInfo(proposed).absoluteFilePath() &&
                                !IsTaken(PartialPath(finalPath), nullptr);
    const bool replace = pickedExisting && !IsActiveTarget(finalPath, nullptr);
    if (!replace && (IsTaken(finalPath, nullptr) || IsTaken(PartialPath(finalPath), nullptr))) {
        finalPath = FreePath(folder, fileName);
        if (finalPath.isEmpty()) {
            request->cancel();
            return;
        }
    }

    folder_ = folder;
    // Timed from here: repeats that arrived while the dialog was open were
    // refused already, and those that follow its answer are repeats too.
    NoteStarted(request->page(), request->url());
    DownloadItem* item = AddItem(request->url(), finalPath);
    if (replace) {
        item->AllowReplacing(existing.size(), existing.lastModified());
    }
    Begin(item, request);
    ShowWindow();
}

void DownloadManager::StartArchive(QWebEnginePage* page, QWebEngineDownloadRequest* request) {
    const QPointer<DownloadItem> item = archiveFetches_.take(page);
    // The download carries on without the page.
    page->deleteLater();
    if (!item || !item->IsActive()) {
        request->cancel();
        return;
    }
    Begin(item, request);
}

DownloadItem* DownloadManager::AddItem(const QUrl& url, const QString& finalPath,
                                       DownloadItem::Role role) {
    auto* item = new DownloadItem(
        url, finalPath,
        [this](const QString& path, const DownloadItem* asker) { return IsTaken(path, asker); },
        role, this);
    item->SetStallTimeout(stallTimeoutMs_);
    items_.append(item);
    connect(item, &DownloadItem::Done, this, [this, item] { OnItemDone(item); });
    connect(item, &DownloadItem::RetryRequested, this, [this, item] { Retry(item); });
    if (window_) {
        window_->AddItem(item);
    }
    emit DownloadAdded(item);
    return item;
}

void DownloadManager::Begin(DownloadItem* item, QWebEngineDownloadRequest* request) {
    const QString folder = item->Folder();
    if (!QDir().mkpath(folder) || !QFileInfo(folder).isWritable()) {
        request->cancel();
        item->Fail(QStringLiteral("无法写入文件夹 %1，请换一个文件夹。")
                       .arg(QDir::toNativeSeparators(folder)));
        return;
    }
    request->setDownloadDirectory(folder);
    request->setDownloadFileName(QFileInfo(item->PartialPath()).fileName());
    request->accept();
    item->Attach(request);
}

void DownloadManager::OnItemDone(DownloadItem* item) {
    // Only a descriptor the user saved brings its archive, whatever the
    // server calls what arrives: an archive never brings another.
    if (item->GetRole() == DownloadItem::Role::Saved &&
        item->GetState() == DownloadItem::State::Finished && IsJavaDescriptor(*item)) {
        FetchJavaArchive(*item);
    }
}

void DownloadManager::FetchJavaArchive(DownloadItem& descriptorItem) {
    QFile file(descriptorItem.FilePath());
    if (file.size() > MaxJavaDescriptorBytes || !file.open(QIODevice::ReadOnly)) {
        descriptorItem.FailFinished(QStringLiteral("这不是有效的游戏描述文件（.jad）。"));
        return;
    }
    const JavaDescriptor descriptor = ParseJavaDescriptor(file.readAll(), descriptorItem.Url());
    if (descriptor.jarUrl.isEmpty()) {
        descriptorItem.FailFinished(
            descriptor.jarAddress.isEmpty()
                ? QStringLiteral("描述文件没有给出游戏的下载地址。")
                : QStringLiteral("描述文件给出的游戏地址无法下载：%1").arg(descriptor.jarAddress));
        return;
    }
    const QString name = SafeFileName(descriptor.jarUrl.fileName(QUrl::FullyDecoded));
    const QString finalPath = FreePath(descriptorItem.Folder(), name);
    if (finalPath.isEmpty()) {
        descriptorItem.FailFinished(QStringLiteral("找不到可用的文件名来保存游戏。"));
        return;
    }

    // The archive may live on another site than its descriptor: download
    // sites often keep their files on a server of their own, and the user
    // asked for this game by saving its descriptor.
    DownloadItem* item = AddItem(descriptor.jarUrl, finalPath, DownloadItem::Role::Archive);
    item->LimitSize(MaxArchiveBytes);
    if (descriptor.jarSize) {
        item->ExpectSize(*descriptor.jarSize);
    }
    Fetch(item);
}

void DownloadManager::Retry(DownloadItem* failed) {
    if (failed->GetState() != DownloadItem::State::Failed) {
        return;
    }
    // Under the same name when it is still free (the failed attempt left nothing).
    const QString finalPath = FreePath(failed->Folder(), failed->FileName());
    if (finalPath.isEmpty()) {
        return;
    }
    DownloadItem* item = AddItem(failed->Url(), finalPath, failed->GetRole());
    if (const auto limit = failed->SizeLimit()) {
        item->LimitSize(*limit);
    }
    if (const auto expected = failed->ExpectedSize()) {
        item->ExpectSize(*expected);
    }
    Fetch(item);
    ShowWindow();
}

void DownloadManager::Fetch(DownloadItem* item) {
    // A page of the same profile fetches it, so the site's cookies go along;
    // its request is recognised by the page and accepted without a dialog.
    auto* page = new QWebEnginePage(profile_, this);
    AnswerGatewayAuthentication(page);
    archiveFetches_.insert(page, item);
    page->download(item->Url(), item->FileName());

    // Tied to the page: once the page is gone, so is the timer, and a later
    // fetch can never be mistaken for this one.
    QTimer::singleShot(ArchiveAnswerMs, page, [this, page, item = QPointer<DownloadItem>(item)] {
        if (archiveFetches_.remove(page)) {
            page->deleteLater();
            if (item) {
                item->Fail(QStringLiteral("服务器一直没有响应，文件没有下载。"));
            }
        }
    });
}

}  // namespace tessaly
