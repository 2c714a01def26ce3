#include "keeping.h"

#include <QDateTime>
#include <QLineEdit>
#include <QShortcut>
#include <QToolTip>
#include <QTreeWidget>
#include <QUrl>
#include <QWebEngineView>

#include "browser_pane.h"
#include "button_column.h"
#include "favourites_window.h"
#include "frmOpen.h"
#include "history_window.h"
#include "qt_paths.h"

namespace tessaly {

namespace {

// A run of cards is saved once, this long after the last.
constexpr int HistorySaveDelayMs = 2000;

std::int64_t Now() {
    return QDateTime::currentSecsSinceEpoch();
}

// Addresses that are no page of the user's.
bool Worth(const QString& url) {
    return !url.isEmpty() && url != QLatin1String("about:blank");
}

// The view's title, unless it is only the address the engine shows for a
// page without one.
QString TitleOf(const QWebEngineView* view) {
    const QString title = view->title();
    return title == view->url().toDisplayString() || title == view->url().toString() ? QString()
                                                                                     : title;
}

}  // namespace

Keeping::Keeping(QWidget* mainWindow, BrowserPane* pane, const QString& programFolder,
                 QObject* parent)
    : QObject(parent),
      main_(mainWindow),
      pane_(pane),
      favourites_(ToPath(programFolder)),
      history_(ToPath(programFolder)) {
    favourites_.Load();
    history_.Load(Now());

    const struct {
        QKeySequence keys;
        void (Keeping::*slot)();
    } shortcuts[] = {
        {QKeySequence(Qt::CTRL | Qt::Key_D), &Keeping::AddFavourite},
        {QKeySequence(Qt::CTRL | Qt::Key_B), &Keeping::ShowFavourites},
        {QKeySequence(Qt::CTRL | Qt::Key_H), &Keeping::ShowHistory},
    };
    for (const auto& shortcut : shortcuts) {
        auto* key = new QShortcut(shortcut.keys, main_);
        connect(key, &QShortcut::activated, this, shortcut.slot);
    }

    connect(pane_, &Browser::NavigateComplete2, this, &Keeping::PageShown);
    connect(pane_->View(), &QWebEngineView::titleChanged, this, &Keeping::TitleArrived);
    historySave_.setSingleShot(true);
    historySave_.setInterval(HistorySaveDelayMs);
    connect(&historySave_, &QTimer::timeout, this, [this] { history_.Save(); });
}

frmOpen::KnownAddresses Keeping::KnownAddresses() const {
    return [this] {
        std::pair<QList<AddressCandidate>, QList<AddressCandidate>> known;
        for (const Favourite& entry : favourites_.Entries()) {
            known.first.append({QString::fromStdString(entry.address),
                                QString::fromStdString(entry.title),
                                AddressCandidate::Source::Favourite});
        }
        const auto& visits = history_.Visits();
        for (auto visit = visits.rbegin(); visit != visits.rend(); ++visit) {
            known.second.append({QString::fromStdString(visit->address),
                                 QString::fromStdString(visit->title),
                                 AddressCandidate::Source::History});
        }
        return known;
    };
}

Keeping::~Keeping() {
    Save();
}

void Keeping::Save() {
    historySave_.stop();
    favourites_.Save();
    history_.Save();
}

void Keeping::ShowFavourites() {
    if (!favouritesWindow_) {
        favouritesWindow_ = new FavouritesWindow(favourites_, main_);
        connect(favouritesWindow_, &FavouritesWindow::OpenAddress, this, &Keeping::Navigate);
        connect(favouritesWindow_, &FavouritesWindow::Changed, this,
                [this] { favourites_.Save(); });
    }
    favouritesWindow_->Refresh();
    // Enter opens the first entry at once.
    if (!favouritesWindow_->Selected() && !favourites_.Items().empty()) {
        favouritesWindow_->Select({0});
    }
    BringBack(favouritesWindow_);
    favouritesWindow_->Tree()->setFocus();
}

void Keeping::ShowHistory() {
    if (!historyWindow_) {
        historyWindow_ = new HistoryWindow(history_, main_);
        connect(historyWindow_, &HistoryWindow::OpenAddress, this, &Keeping::Navigate);
        connect(historyWindow_, &HistoryWindow::Changed, this, [this] { history_.Save(); });
    }
    historyWindow_->Refresh();
    BringBack(historyWindow_);
    historyWindow_->SearchBox()->setFocus();
}

void Keeping::AddFavourite() {
    const QWebEngineView* view = pane_->View();
    const QString address = view->url().toDisplayString();
    QString note;
    if (!Worth(address)) {
        note = QStringLiteral("没有可收藏的网页");
    } else if (favourites_.Add(TitleOf(view).toStdString(), address.toStdString())) {
        favourites_.Save();
        const QString title = TitleOf(view);
        note = QStringLiteral("已收藏：%1").arg(title.isEmpty() ? address : title);
        if (favouritesWindow_) {
            favouritesWindow_->Refresh();
        }
    } else {
        note = QStringLiteral("收藏夹已满，未能收藏");
    }
    // A short note over the pane; it goes by itself.
    QToolTip::showText(pane_->mapToGlobal(QPoint(8, 8)), note, pane_, QRect(), 2500);
}

void Keeping::PageShown(const QString& url) {
    if (!Worth(url)) {
        return;
    }
    // A card of the deck shown keeps the deck's title; a new page's title
    // comes later.
    const QWebEngineView* view = pane_->View();
    const bool sameDocument =
        view->url().adjusted(QUrl::RemoveFragment) == QUrl(url).adjusted(QUrl::RemoveFragment);
    history_.Add(url.toStdString(), sameDocument ? TitleOf(view).toStdString() : std::string(),
                 Now());
    HistoryChanged();
}

void Keeping::TitleArrived(const QString& title) {
    const QWebEngineView* view = pane_->View();
    if (title.isEmpty() || TitleOf(view).isEmpty() || history_.Visits().empty()) {
        return;
    }
    const std::string newest = history_.Visits().back().address;
    if (QUrl(QString::fromStdString(newest)).adjusted(QUrl::RemoveFragment) ==
            view->url().adjusted(QUrl::RemoveFragment) &&
        history_.SetTitle(newest, title.toStdString())) {
        HistoryChanged();
    }
}

void Keeping::HistoryChanged() {
    historySave_.start();
    if (historyWindow_ && historyWindow_->isVisible()) {
        historyWindow_->Refresh();
    }
}

void Keeping::Navigate(const QString& address) {
    pane_->Navigate(address);
}

}  // namespace tessaly
