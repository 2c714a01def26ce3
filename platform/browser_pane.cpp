#include "browser_pane.h"

#include <QAction>
#include <QVBoxLayout>
#include <QWebEngineHistory>
#include <QWebEngineLoadingInfo>
#include <QWebEngineNewWindowRequest>
#include <QWebEnginePage>
#include <QWebEngineSettings>
#include <QWebEngineView>

#include "failure.h"
#include "gateway_route.h"

namespace tessaly {

BrowserPane::BrowserPane(QWebEngineProfile* profile, QWidget* parent)
    : Browser(parent), view_(new QWebEngineView(this)) {
    auto* page = new QWebEnginePage(profile, view_);
    page->settings()->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, true);
    view_->setPage(page);
    AnswerGatewayAuthentication(page);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view_);
    setFocusProxy(view_);

    ConnectEngine();
}

void BrowserPane::ConnectEngine() {
    QWebEnginePage* page = view_->page();

    connect(page, &QWebEnginePage::loadingChanged, this, [this](const QWebEngineLoadingInfo& info) {
        switch (info.status()) {
            case QWebEngineLoadingInfo::LoadStartedStatus:
                events_.LoadStarted(info.url());
                break;
            case QWebEngineLoadingInfo::LoadSucceededStatus:
                ReportHistory();
                events_.LoadEnded(BrowserEvents::LoadEnd::Succeeded, info.url());
                break;
            case QWebEngineLoadingInfo::LoadFailedStatus:
                ReportHistory();
                events_.LoadEnded(BrowserEvents::LoadEnd::Failed, info.url());
                break;
            case QWebEngineLoadingInfo::LoadStoppedStatus:
                events_.LoadEnded(BrowserEvents::LoadEnd::Stopped, info.url());
                break;
        }
    });
    connect(page, &QWebEnginePage::urlChanged, this, [this](const QUrl& url) {
        ReportHistory();
        events_.UrlCommitted(url);
    });
    connect(page, &QWebEnginePage::loadProgress, &events_, &BrowserEvents::LoadProgress);
    connect(page, &QWebEnginePage::linkHovered, &events_, &BrowserEvents::LinkHovered);
    connect(page->action(QWebEnginePage::Back), &QAction::changed, this,
            &BrowserPane::ReportHistory);
    connect(page->action(QWebEnginePage::Forward), &QAction::changed, this,
            &BrowserPane::ReportHistory);

    // Links that ask for a new window (target=_blank, window.open) open here.
    connect(page, &QWebEnginePage::newWindowRequested, this,
            [page](QWebEngineNewWindowRequest& request) { page->load(request.requestedUrl()); });

    connect(&events_, &BrowserEvents::StatusTextChange, this, &Browser::StatusTextChange);
    connect(&events_, &BrowserEvents::ProgressChange, this, &Browser::ProgressChange);
    connect(&events_, &BrowserEvents::CommandStateChange, this, &Browser::CommandStateChange);
    connect(&events_, &BrowserEvents::DownloadComplete, this, &Browser::DownloadComplete);
    connect(&events_, &BrowserEvents::NavigateComplete2, this, &Browser::NavigateComplete2);
}

void BrowserPane::ReportHistory() {
    const QWebEngineHistory* history = view_->history();
    events_.HistoryChanged(history->canGoBack(), history->canGoForward());
}

void BrowserPane::Navigate(const QString& url) {
    view_->load(QUrl::fromUserInput(url));
}

void BrowserPane::GoBack() {
    if (!view_->history()->canGoBack()) {
        throw Failure("no page to go back to");
    }
    view_->back();
}

void BrowserPane::GoForward() {
    if (!view_->history()->canGoForward()) {
        throw Failure("no page to go forward to");
    }
    view_->forward();
}

void BrowserPane::Stop() {
    view_->stop();
}

void BrowserPane::Refresh() {
    view_->reload();
}

}  // namespace tessaly
