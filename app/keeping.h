#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include "favourites.h"
#include "frmOpen.h"
#include "history.h"

class QWidget;

namespace tessaly {

class BrowserPane;
class FavouritesWindow;
class HistoryWindow;

// Favourites and history for the main window: Ctrl+D adds the page shown to
// 收藏夹, Ctrl+B opens 收藏夹 and Ctrl+H 历史记录; every page and card shown
// goes into the history, its title once the page gives one. Both lists are
// read from the Data folder at the start and saved there when they change
// (the history a moment after, so a quick run of cards is one write) and at
// the end. The 打开 dialog completes from both.
class Keeping : public QObject {
    Q_OBJECT

public:
    // The shortcuts live on `mainWindow`, which owns the two windows; `pane`
    // is the browser pane shown in it. Both must outlive this object.
    Keeping(QWidget* mainWindow, BrowserPane* pane, const QString& programFolder,
            QObject* parent = nullptr);
    ~Keeping() override;

    const Favourites& FavouritesList() const { return favourites_; }
    const History& HistoryList() const { return history_; }
    // What the 打开 dialog completes from besides typed addresses; valid
    // while this object lives.
    frmOpen::KnownAddresses KnownAddresses() const;

public slots:
    // Opens the 收藏夹 window, or brings it back.
    void ShowFavourites();
    // Opens the 历史记录 window, or brings it back.
    void ShowHistory();
    // Adds the page shown (its title and address, a card's with its
    // fragment) to the favourites and says so in a short note.
    void AddFavourite();
    // Writes both lists now.
    void Save();

private:
    void PageShown(const QString& url);
    void TitleArrived(const QString& title);
    void HistoryChanged();
    void Navigate(const QString& address);

    QWidget* main_;
    BrowserPane* pane_;
    Favourites favourites_;
    History history_;
    QTimer historySave_;
    QPointer<FavouritesWindow> favouritesWindow_;
    QPointer<HistoryWindow> historyWindow_;
};

}  // namespace tessaly
