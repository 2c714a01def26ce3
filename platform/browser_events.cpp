#include "browser_events.h"

namespace tessaly {

namespace {

QString DisplayUrl(const QUrl& url) {
    return url.toDisplayString();
}

}  // namespace

void BrowserEvents::LoadStarted(const QUrl& url) {
    loading_ = true;
    committed_ = false;
    pendingPercent_ = -1;
    loadingUrl_ = url;
}

void BrowserEvents::UrlCommitted(const QUrl& url) {
    // The engine also reports URL changes outside a load (a fragment jump or
    // history.pushState). A card change in a rendered deck is the program's
    // own page change; any other counts as a page shown only when the user
    // caused it, so a script changing the address in a loop earns nothing.
    if (!loading_) {
        if (isCardDocument_ && isCardDocument_(url.adjusted(QUrl::RemoveFragment))) {
            // A deck that moves on by itself (ontimer, onenterforward) earns
            // what one card earns in each load, however often it moves.
            const bool userCaused = userCaused_ && userCaused_();
            if (userCaused || !automaticCardShown_) {
                automaticCardShown_ = automaticCardShown_ || !userCaused;
                ShowCard(url);
            } else {
                ReportHistory();
            }
            return;
        }
        if (userCaused_ && userCaused_()) {
            emit NavigateComplete2(DisplayUrl(url));
            ReportHistory();
        }
        return;
    }
    loadingUrl_ = url;
    // One load shows one page: a later change of address while it loads (a
    // redirect, or the page's script changing its own address) is the same
    // page.
    if (!committed_) {
        Commit(url);
    }
}

void BrowserEvents::Commit(const QUrl& url) {
    committed_ = true;
    automaticCardShown_ = false;
    emit NavigateComplete2(DisplayUrl(url));
    ReportHistory();
    emit StatusTextChange(QStringLiteral("正在打开网页 %1 ...").arg(DisplayUrl(url)));
    if (pendingPercent_ >= 0) {
        emit ProgressChange(pendingPercent_ * 100, ProgressMax);
        pendingPercent_ = -1;
    }
}

void BrowserEvents::ShowCard(const QUrl& url) {
    // A card is drawn at once from the deck already loaded: it raises what a
    // whole page load raises, with nothing in between.
    emit NavigateComplete2(DisplayUrl(url));
    ReportHistory();
    emit ProgressChange(-1, ProgressMax);
    emit DownloadComplete();
    emit StatusTextChange(QStringLiteral("完成"));
}

void BrowserEvents::LoadProgress(int percent) {
    if (!loading_) {
        return;
    }
    if (!committed_) {
        pendingPercent_ = percent;
        return;
    }
    emit ProgressChange(percent * 100, ProgressMax);
    emit StatusTextChange(
        QStringLiteral("正在下载网页 %1 (%2%) ...").arg(DisplayUrl(loadingUrl_)).arg(percent));
}

void BrowserEvents::LoadEnded(LoadEnd how, const QUrl& url) {
    if (!loading_) {
        return;
    }
    // A reload or a load of the same address commits without a URL change;
    // an error page commits too. A stopped load (the user's Stop, or a link
    // that turned out to be a download) never showed a document of its own.
    if (!committed_ && how != LoadEnd::Stopped) {
        Commit(url);
    }
    loading_ = false;
    committed_ = false;
    emit ProgressChange(-1, ProgressMax);
    emit DownloadComplete();
    switch (how) {
        case LoadEnd::Succeeded:
            emit StatusTextChange(QStringLiteral("完成"));
            break;
        case LoadEnd::Failed:
            emit StatusTextChange(QStringLiteral("无法打开网页 %1").arg(DisplayUrl(url)));
            break;
        case LoadEnd::Stopped:
            emit StatusTextChange(QStringLiteral("已停止"));
            break;
    }
}

void BrowserEvents::LoadAbandoned() {
    loading_ = false;
    committed_ = false;
    pendingPercent_ = -1;
}

void BrowserEvents::DownloadStarted() {
    emit ProgressChange(-1, ProgressMax);
    emit DownloadComplete();
    emit StatusTextChange(QStringLiteral("完成"));
}

void BrowserEvents::LinkHovered(const QString& url) {
    // The engine also reports "no link" when nothing was hovered before.
    if (url == hoveredLink_) {
        return;
    }
    hoveredLink_ = url;
    emit StatusTextChange(url);
}

void BrowserEvents::HistoryChanged(bool canGoBack, bool canGoForward) {
    const bool forwardChanged = !historyReported_ || canGoForward != canGoForward_;
    const bool backChanged = !historyReported_ || canGoBack != canGoBack_;
    canGoBack_ = canGoBack;
    canGoForward_ = canGoForward;
    historyReported_ = true;
    if (forwardChanged) {
        emit CommandStateChange(ForwardCommand, canGoForward_);
    }
    if (backChanged) {
        emit CommandStateChange(BackCommand, canGoBack_);
    }
}

void BrowserEvents::ReportHistory() {
    emit CommandStateChange(ForwardCommand, canGoForward_);
    emit CommandStateChange(BackCommand, canGoBack_);
}

}  // namespace tessaly
