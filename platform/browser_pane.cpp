#include "browser_pane.h"

#include <QAction>
#include <QActionGroup>
#include <QClipboard>
#include <QGuiApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QKeyEvent>
#include <QMenu>
#include <QPointer>
#include <QShortcut>
#include <QVBoxLayout>
#include <QWebEngineDownloadRequest>
#include <QWebEngineHistory>
#include <QWebEngineLoadingInfo>
#include <QWebEngineNewWindowRequest>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineSettings>
#include <QWebEngineView>
#include <algorithm>
#include <utility>

#include "failure.h"
#include "find_bar.h"
#include "gateway_route.h"
#include "note_pages.h"
#include "page_dialogs.h"
#include "page_scripts.h"
#include "raw_deck_rescue.h"
#include "site_preferences.h"
#include "start_page_scheme.h"
#include "user_activation.h"

namespace tessaly {

namespace {

// How long the end of a navigation the engine stopped by itself waits for
// the download it may have turned into: over https a binary deck is shown as
// its page, and a file to save earns the navigation's end only when the user
// asked for it. The download is offered within a few tens of milliseconds; a
// navigation stopped for another reason (an empty answer, say) reports its
// end this much later.
constexpr int DownloadWaitMs = 2000;

// The engine's code for a tunnel through the gateway that could not be
// opened: only the gateway knows why.
constexpr int TunnelFailedCode = -111;

// What the engine's network error code says of a site that could not be
// reached; None for the errors that are not about reaching it.
wap::UnreachableKind UnreachableKindOf(int code) {
    switch (code) {
        case -105:  // name not resolved
        case -137:  // name resolution failed
            return wap::UnreachableKind::UnknownHost;
        case -102:  // connection refused
            return wap::UnreachableKind::Refused;
        case -7:    // timed out
        case -118:  // connection timed out
            return wap::UnreachableKind::TimedOut;
        case -100:  // connection closed
        case -101:  // connection reset
        case -103:  // connection aborted
        case -324:  // empty response
            return wap::UnreachableKind::Reset;
        case TunnelFailedCode:
        case -106:  // internet disconnected
        case -109:  // address unreachable
            return wap::UnreachableKind::Other;
        default:
            return wap::UnreachableKind::None;
    }
}

// How often, and how many times, the engine's error page is looked for.
constexpr int ErrorPageWaitMs = 50;
constexpr int MostErrorPageWaits = 60;

// Notifications a preloaded page may hold. One load of the home page raises
// a few dozen; past this, the oldest status text or progress goes first, so
// a page that keeps changing its status does not cost its load's end.
constexpr std::size_t MostHeldNotifications = 512;

// A new window may show a web page or the built-in site; never a script,
// a blank page for a script to fill, or a local file.
bool IsDocumentAddress(const QUrl& url) {
    const QString scheme = url.scheme().toLower();
    return scheme == QLatin1String("http") || scheme == QLatin1String("https") ||
           scheme == QLatin1String(StartPageScheme);
}

bool IsHttps(const QUrl& url) {
    return url.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) == 0;
}

}  // namespace

BrowserPane::BrowserPane(QWebEngineProfile* profile, QWidget* parent)
    : Browser(parent),
      profile_(profile),
      view_(new QWebEngineView(this)),
      activation_(new UserActivation(view_)),
      rescue_(new RawDeckRescue(this)),
      preferences_(new SitePreferences(this)),
      findBar_(new FindBar(view_, this)) {
    view_->setPage(NewPage());
    profile_->setUrlRequestInterceptor(preferences_);
    view_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(view_, &QWidget::customContextMenuRequested, this, &BrowserPane::ShowContextMenu);
    events_.SetUserGestureTest([this] { return activation_->Consume(true); });
    stopWait_.setSingleShot(true);
    stopWait_.setInterval(DownloadWaitMs);
    connect(&stopWait_, &QTimer::timeout, this, &BrowserPane::ReleaseStop);
    connect(rescue_, &RawDeckRescue::BinaryDeckFailed, this,
            [this](const QUrl& url) { events_.LoadEnded(BrowserEvents::LoadEnd::Failed, url); });

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view_);
    setFocusProxy(view_);

    ConnectEngine();
    ConnectEvents();
    AddShortcuts();
}

namespace {

// A page that hands the links of the built-in site to the program's own
// windows (tessaly://start/program/NAME) to the pane instead of loading them.
class PanePage : public QWebEnginePage {
public:
    PanePage(QWebEngineProfile* profile, QObject* parent, std::function<void(QString)> command)
        : QWebEnginePage(profile, parent), command_(std::move(command)) {}

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override {
        static const QString Prefix = QStringLiteral("/program/");
        const bool fromStartPage = this->url().scheme() == QLatin1String(StartPageScheme);
        if (url.scheme() == QLatin1String(StartPageScheme) && url.path().startsWith(Prefix)) {
            // Only a click on the built-in site's own pages opens a window.
            if (fromStartPage && isMainFrame && type == NavigationTypeLinkClicked) {
                command_(url.path().mid(Prefix.size()));
            }
            return false;
        }
        return QWebEnginePage::acceptNavigationRequest(url, type, isMainFrame);
    }

    // A page's dialogs (WMLScript's Dialogs library among them) are the
    // program's own, in Chinese; the page waits for the answer.
    void javaScriptAlert(const QUrl& origin, const QString& text) override {
        ShowPageAlert(QWebEngineView::forPage(this), origin, text);
    }
    bool javaScriptConfirm(const QUrl& origin, const QString& text) override {
        return AskPageConfirm(QWebEngineView::forPage(this), origin, text);
    }
    bool javaScriptPrompt(const QUrl& origin, const QString& text, const QString& defaultText,
                          QString* result) override {
        const auto answer = AskPagePrompt(QWebEngineView::forPage(this), origin, text, defaultText);
        if (answer && result) {
            *result = *answer;
        }
        return answer.has_value();
    }

private:
    std::function<void(QString)> command_;
};

}  // namespace

QWebEnginePage* BrowserPane::NewPage() {
    QPointer<BrowserPane> pane(this);
    auto* page = new PanePage(profile_, view_, [pane](const QString& name) {
        if (pane) {
            emit pane->ProgramPageAsked(name);
        }
    });
    page->settings()->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, true);
    // Every page, the one a new window adopts included, answers the gateway.
    AnswerGatewayAuthentication(page);
    // The engine keeps Backspace to itself: the page's own script world
    // hears it and goes back when no field has the focus.
    QWebEngineScript backspace;
    backspace.setName(QStringLiteral("tessaly-backspace"));
    backspace.setSourceCode(BackspaceScript());
    backspace.setInjectionPoint(QWebEngineScript::DocumentCreation);
    backspace.setWorldId(QWebEngineScript::ApplicationWorld);
    backspace.setRunsOnSubFrames(false);
    page->scripts().insert(backspace);
    return page;
}

void BrowserPane::ConnectEngine() {
    QWebEnginePage* page = view_->page();

    connect(page, &QWebEnginePage::loadingChanged, this,
            [this, page](const QWebEngineLoadingInfo& info) {
                switch (info.status()) {
                    case QWebEngineLoadingInfo::LoadStartedStatus:
                        // What the last navigation became is settled
                        // before the next one begins.
                        ReleaseStop();
                        EndArrivingDeck(rescue_->LoadStarted(info.url()));
                        stopAsked_ = false;
                        ApplySitePreferences(info.url());
                        events_.LoadStarted(info.url());
                        break;
                    case QWebEngineLoadingInfo::LoadSucceededStatus:
                        ReportHistory();
                        events_.LoadEnded(BrowserEvents::LoadEnd::Succeeded, info.url());
                        rescue_->LoadSucceeded(page, info.url());
                        break;
                    case QWebEngineLoadingInfo::LoadFailedStatus:
                        if (info.errorDomain() == QWebEngineLoadingInfo::ConnectionErrorDomain) {
                            ShowUnreachable(info.url(), info.errorCode());
                        }
                        ReportHistory();
                        events_.LoadEnded(BrowserEvents::LoadEnd::Failed, info.url());
                        break;
                    case QWebEngineLoadingInfo::LoadStoppedStatus:
                        // A navigation that turns into a download stops,
                        // having shown nothing, just before the download is
                        // offered; its end waits for what the download is.
                        // Over https it may be a binary deck, shown as this
                        // navigation's page.
                        if (!stopAsked_ && (!events_.LoadCommitted() || IsHttps(info.url()))) {
                            HoldStop(info.url());
                            break;
                        }
                        events_.LoadEnded(BrowserEvents::LoadEnd::Stopped, info.url());
                        break;
                }
            });
    connect(page, &QWebEnginePage::urlChanged, this, [this](const QUrl& url) {
        ApplySitePreferences(url);
        ReportHistory();
        // The page still shown changed its address (a card, a fragment) while
        // a navigation that became a download was pending: the user has moved
        // on, and that navigation ends as stopped before this change counts.
        if (heldStop_ || rescue_->BinaryDeckArriving()) {
            ReleaseStop();
            EndArrivingDeck(rescue_->DropBinaryDeck());
        }
        events_.UrlCommitted(url);
    });
    connect(page, &QWebEnginePage::loadProgress, &events_, &BrowserEvents::LoadProgress);
    connect(page, &QWebEnginePage::linkHovered, &events_, &BrowserEvents::LinkHovered);
    connect(page->action(QWebEnginePage::Back), &QAction::changed, this,
            &BrowserPane::ReportHistory);
    connect(page->action(QWebEnginePage::Forward), &QAction::changed, this,
            &BrowserPane::ReportHistory);

    connect(page, &QWebEnginePage::newWindowRequested, this, &BrowserPane::OpenNewWindow);
}

void BrowserPane::ConnectEvents() {
    connect(&events_, &BrowserEvents::StatusTextChange, this, [this](const QString& text) {
        Notify([this, text] { emit StatusTextChange(text); }, true);
    });
    connect(&events_, &BrowserEvents::ProgressChange, this, [this](int progress, int progressMax) {
        Notify([this, progress, progressMax] { emit ProgressChange(progress, progressMax); },
               progress >= 0);
    });
    connect(&events_, &BrowserEvents::CommandStateChange, this, [this](int command, bool enable) {
        Notify([this, command, enable] { emit CommandStateChange(command, enable); });
    });
    connect(&events_, &BrowserEvents::DownloadComplete, this,
            [this] { Notify([this] { emit DownloadComplete(); }); });
    connect(&events_, &BrowserEvents::NavigateComplete2, this,
            [this](const QString& url) { Notify([this, url] { emit NavigateComplete2(url); }); });
}

void BrowserPane::Notify(std::function<void()> raise, bool mayDrop) {
    if (!holding_) {
        raise();
        return;
    }
    if (held_.size() >= MostHeldNotifications) {
        const auto oldStatus = std::find_if(
            held_.begin(), held_.end(), [](const HeldNotification& held) { return held.mayDrop; });
        held_.erase(oldStatus == held_.end() ? held_.begin() : oldStatus);
    }
    held_.push_back({mayDrop, std::move(raise)});
}

void BrowserPane::Preload(const QString& url) {
    preloaded_ = QUrl::fromUserInput(url);
    holding_ = true;
    held_.clear();
    activation_->NoteCommand();
    view_->load(*preloaded_);
}

void BrowserPane::ReleaseHeldNotifications() {
    // Raising one may hold another (the load goes on): each is raised in turn.
    for (std::size_t i = 0; i < held_.size() && holding_; ++i) {
        const std::function<void()> raise = held_[i].raise;
        raise();
    }
    held_.clear();
    holding_ = false;
}

void BrowserPane::DropPreload() {
    preloaded_.reset();
    holding_ = false;
    held_.clear();
}

void BrowserPane::OpenNewWindow(QWebEngineNewWindowRequest& request) {
    // Links and forms that ask for a new window (target=_blank, window.open)
    // open in the pane, but only when the user asked for them: a page that
    // opens windows on its own, from a frame or a timer, is refused quietly.
    if (!request.isUserInitiated() || !IsDocumentAddress(request.requestedUrl())) {
        return;
    }
    // The engine hands over the new page it already started, so a form sent
    // with POST arrives with its data, as it would in a new window.
    QWebEnginePage* page = NewPage();
    request.openIn(page);
    AdoptPage(page);
}

void BrowserPane::AdoptPage(QWebEnginePage* page) {
    ReleaseStop();
    EndArrivingDeck(rescue_->DropBinaryDeck());
    QWebEnginePage* old = view_->page();
    disconnect(old, nullptr, this, nullptr);
    disconnect(old, nullptr, &events_, nullptr);
    for (const auto action : {QWebEnginePage::Back, QWebEnginePage::Forward}) {
        disconnect(old->action(action), nullptr, this, nullptr);
    }
    // The old page is still busy raising the request that brought the new
    // one: it goes once that is over.
    old->setParent(nullptr);
    old->deleteLater();
    view_->setPage(page);
    ConnectEngine();
    ReportHistory();
}

void BrowserPane::SetRenderedDecks(wap::RenderedDecks* decks) {
    rescue_->SetRenderedDecks(decks);
}

BrowserPane* BrowserPane::ForPage(const QWebEnginePage* page) {
    QWebEngineView* view = page ? QWebEngineView::forPage(page) : nullptr;
    return view ? qobject_cast<BrowserPane*>(view->parentWidget()) : nullptr;
}

bool BrowserPane::TakeDownload(QWebEngineDownloadRequest* request) {
    if (rescue_->TakeRestartedDeck(request)) {
        return true;
    }
    if (!heldStop_ || request->page() != view_->page()) {
        return false;
    }
    const QUrl url = *heldStop_;
    // Only a deck that arrived past the gateway (https) needs showing here.
    if (!IsHttps(url) || !RawDeckRescue::IsBinaryDeck(request) ||
        request->url().adjusted(QUrl::RemoveFragment) != url.adjusted(QUrl::RemoveFragment) ||
        !rescue_->TakeBinaryDeck(view_->page(), request, url, heldSince_)) {
        // A file to save: the navigation ends once the download manager has
        // decided whose download it is (DownloadDecided).
        return false;
    }
    // The load of the page made from the deck reports this navigation's end.
    heldStop_.reset();
    stopWait_.stop();
    return true;
}

void BrowserPane::DownloadDecided(QWebEngineDownloadRequest* request, bool usersDownload) {
    if (!heldStop_ || request->page() != view_->page()) {
        if (usersDownload) {
            events_.DownloadStarted();
        }
        return;
    }
    if (usersDownload) {
        ReleaseStop();
        return;
    }
    // Nobody asked for this one: what the navigation would have earned is
    // not earned by a page repeating it.
    stopWait_.stop();
    heldStop_.reset();
    events_.LoadAbandoned();
}

void BrowserPane::HoldStop(const QUrl& url) {
    heldStop_ = url;
    heldSince_.start();
    stopWait_.start();
}

void BrowserPane::ReleaseStop() {
    stopWait_.stop();
    if (const std::optional<QUrl> url = std::exchange(heldStop_, std::nullopt)) {
        events_.LoadEnded(BrowserEvents::LoadEnd::Stopped, *url);
    }
}

void BrowserPane::EndArrivingDeck(const QUrl& deck) {
    if (!deck.isEmpty()) {
        events_.LoadEnded(BrowserEvents::LoadEnd::Stopped, deck);
    }
}

void BrowserPane::ReportHistory() {
    const QWebEngineHistory* history = view_->history();
    events_.HistoryChanged(history->canGoBack(), history->canGoForward());
}

void BrowserPane::Navigate(const QString& url) {
    const QUrl address = QUrl::fromUserInput(url);
    if (std::exchange(preloaded_, std::nullopt) == address) {
        // Still holding: what the load raised from now on queues behind what it already did.
        QTimer::singleShot(0, this, &BrowserPane::ReleaseHeldNotifications);
        return;
    }
    DropPreload();
    activation_->NoteCommand();
    view_->load(address);
}

void BrowserPane::GoBack() {
    DropPreload();
    if (!view_->history()->canGoBack()) {
        throw Failure("no page to go back to");
    }
    activation_->NoteUserCommand();
    view_->back();
}

void BrowserPane::GoForward() {
    DropPreload();
    if (!view_->history()->canGoForward()) {
        throw Failure("no page to go forward to");
    }
    activation_->NoteUserCommand();
    view_->forward();
}

void BrowserPane::Stop() {
    DropPreload();
    stopAsked_ = true;
    ReleaseStop();
    EndArrivingDeck(rescue_->DropBinaryDeck());
    view_->stop();
}

void BrowserPane::Refresh() {
    DropPreload();
    activation_->NoteCommand();
    view_->reload();
}

}  // namespace tessaly

namespace tessaly {

void BrowserPane::AddShortcuts() {
    const auto add = [this](const QList<QKeySequence>& keys, auto action) {
        for (const QKeySequence& key : keys) {
            auto* shortcut = new QShortcut(key, this);
            shortcut->setContext(Qt::WindowShortcut);
            connect(shortcut, &QShortcut::activated, this, action);
        }
    };
    // Back and Forward without a page there do nothing, as the toolbar's do.
    add({QKeySequence(Qt::ALT | Qt::Key_Left)}, [this] {
        if (view_->history()->canGoBack()) {
            GoBack();
        }
    });
    add({QKeySequence(Qt::ALT | Qt::Key_Right)}, [this] {
        if (view_->history()->canGoForward()) {
            GoForward();
        }
    });
    add({QKeySequence(Qt::Key_F5)}, &BrowserPane::Refresh);
    add({QKeySequence(Qt::Key_Escape)}, [this] {
        if (findBar_->isVisible()) {
            findBar_->Close();
        } else {
            Stop();
        }
    });
    add({QKeySequence(Qt::CTRL | Qt::Key_Plus), QKeySequence(Qt::CTRL | Qt::Key_Equal),
         QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Equal)},
        &BrowserPane::ZoomIn);
    add({QKeySequence(Qt::CTRL | Qt::Key_Minus)}, &BrowserPane::ZoomOut);
    add({QKeySequence(Qt::CTRL | Qt::Key_0)}, &BrowserPane::ResetZoom);
    add({QKeySequence(Qt::CTRL | Qt::Key_F)}, &BrowserPane::OpenFindBar);
    add({QKeySequence(Qt::CTRL | Qt::Key_I)}, &BrowserPane::PageInfoRequested);
    add({QKeySequence(Qt::CTRL | Qt::Key_U)}, &BrowserPane::SourceRequested);
}

void BrowserPane::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    const bool plain = (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    if (!plain || event->isAutoRepeat()) {
        Browser::keyPressEvent(event);
        return;
    }
    if (key >= Qt::Key_1 && key <= Qt::Key_9) {
        RunPageScript(AccessKeyScript(key - Qt::Key_0));
    } else if (key == Qt::Key_F1 || key == Qt::Key_F2) {
        RunPageScript(SoftKeyScript(key == Qt::Key_F1 ? 0 : 1));
    } else {
        Browser::keyPressEvent(event);
        return;
    }
    event->accept();
}

void BrowserPane::resizeEvent(QResizeEvent* event) {
    Browser::resizeEvent(event);
    findBar_->Place();
}

void BrowserPane::RunPageScript(const QString& script, std::function<void(const QVariant&)> done) {
    QPointer<BrowserPane> pane(this);
    view_->page()->runJavaScript(script, QWebEngineScript::ApplicationWorld,
                                 [pane, done = std::move(done)](const QVariant& result) {
                                     if (pane && done) {
                                         done(result);
                                     }
                                 });
}

void BrowserPane::ApplySitePreferences(const QUrl& url) {
    view_->setZoomFactor(preferences_->Zoom(url));
    // Read only where the page declares nothing itself.
    const QString encoding = preferences_->Encoding(url);
    view_->page()->settings()->setDefaultTextEncoding(encoding);
}

void BrowserPane::ShowUnreachable(const QUrl& url, int code) {
    wap::UnreachableKind kind = UnreachableKindOf(code);
    if (kind == wap::UnreachableKind::None) {
        return;  // not a failure to reach the site: the engine's page says it
    }
    if (kind == wap::UnreachableKind::Other && code == TunnelFailedCode && tunnelFailure_) {
        kind = static_cast<wap::UnreachableKind>(tunnelFailure_(url));
    }
    const std::string page =
        wap::UnreachablePage(kind, url.toString(QUrl::FullyEncoded).toStdString());
    // The engine's error page is shown at the failed address just after the
    // load ends; its content is replaced, so the address, the history and
    // the notifications stay those of the failed load.
    ReplaceErrorPage(url, ReplaceDocumentScript(QString::fromStdString(page)), 0);
}

void BrowserPane::ReplaceErrorPage(const QUrl& url, const QString& script, int attempt) {
    // The error page commits a moment after the failure is reported: looked
    // for every ErrorPageWaitMs, up to MostErrorPageWaits times.
    RunPageScript(ErrorPageScript(script), [this, url, script, attempt](const QVariant& done) {
        if (!done.toBool() && attempt < MostErrorPageWaits && view_->url() == url) {
            QTimer::singleShot(ErrorPageWaitMs, this, [this, url, script, attempt] {
                ReplaceErrorPage(url, script, attempt + 1);
            });
        }
    });
}

void BrowserPane::ZoomIn() {
    view_->setZoomFactor(preferences_->StepZoom(view_->url(), +1));
}

void BrowserPane::ZoomOut() {
    view_->setZoomFactor(preferences_->StepZoom(view_->url(), -1));
}

void BrowserPane::ResetZoom() {
    preferences_->ResetZoom(view_->url());
    view_->setZoomFactor(1.0);
}

void BrowserPane::OpenFindBar() {
    findBar_->Open();
}

QString BrowserPane::Encoding() const {
    return preferences_->Encoding(view_->url());
}

void BrowserPane::SetEncoding(const QString& encoding) {
    preferences_->SetEncoding(view_->url(), encoding);
    ApplySitePreferences(view_->url());
    // The page kept in the cache was read in the old encoding.
    DropPreload();
    activation_->NoteCommand();
    view_->page()->triggerAction(QWebEnginePage::ReloadAndBypassCache);
}

void BrowserPane::ReadPageFacts(std::function<void(const PageFacts&)> facts) {
    PageFacts known;
    known.address = view_->url();
    known.title = view_->title();
    RunPageScript(PageFactsScript(), [known, facts = std::move(facts)](const QVariant& result) {
        PageFacts all = known;
        const QJsonObject read = QJsonDocument::fromJson(result.toString().toUtf8()).object();
        all.contentType = read.value(QStringLiteral("contentType")).toString();
        all.encoding = read.value(QStringLiteral("characterSet")).toString();
        all.bytes = static_cast<qint64>(read.value(QStringLiteral("bytes")).toDouble(-1));
        all.cards = read.value(QStringLiteral("cards")).toInt();
        all.card = read.value(QStringLiteral("card")).toString();
        facts(all);
    });
}

namespace {

// Separators left at an end or next to each other once items are taken out.
void TidySeparators(QMenu& menu) {
    QAction* previous = nullptr;
    for (QAction* action : menu.actions()) {
        if (action->isSeparator() && (previous == nullptr || previous->isSeparator())) {
            menu.removeAction(action);
            continue;
        }
        previous = action;
    }
    if (previous != nullptr && previous->isSeparator()) {
        menu.removeAction(previous);
    }
}

}  // namespace

void BrowserPane::ShowContextMenu(const QPoint& position) {
    if (view_->lastContextMenuRequest() == nullptr) {
        return;  // the engine's menu is built from its request
    }
    QMenu* menu = view_->createStandardContextMenu();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    QWebEnginePage* page = view_->page();
    // A second window or tab, the developer tools and saving the page as a
    // whole do not exist in one pane; the pane's own Back, Forward and
    // Refresh replace the engine's, so they count as the toolbar's do.
    for (const auto action :
         {QWebEnginePage::OpenLinkInNewWindow, QWebEnginePage::OpenLinkInNewTab,
          QWebEnginePage::OpenLinkInNewBackgroundTab, QWebEnginePage::InspectElement,
          QWebEnginePage::SavePage, QWebEnginePage::ViewSource, QWebEnginePage::Back,
          QWebEnginePage::Forward, QWebEnginePage::Reload}) {
        menu->removeAction(page->action(action));
    }
    QAction* first = menu->actions().value(0);
    QAction* back = new QAction(QStringLiteral("后退"), menu);
    back->setEnabled(view_->history()->canGoBack());
    connect(back, &QAction::triggered, this, [this] {
        if (view_->history()->canGoBack()) {
            GoBack();
        }
    });
    QAction* forward = new QAction(QStringLiteral("前进"), menu);
    forward->setEnabled(view_->history()->canGoForward());
    connect(forward, &QAction::triggered, this, [this] {
        if (view_->history()->canGoForward()) {
            GoForward();
        }
    });
    QAction* refresh = new QAction(QStringLiteral("刷新"), menu);
    connect(refresh, &QAction::triggered, this, &BrowserPane::Refresh);
    menu->insertActions(first, {back, forward, refresh});
    menu->insertSeparator(first);

    menu->addSeparator();
    menu->addAction(QStringLiteral("复制页面地址"), this,
                    [this] { QGuiApplication::clipboard()->setText(view_->url().toString()); });
    menu->addAction(QStringLiteral("页面信息"), this, &BrowserPane::PageInfoRequested);
    menu->addAction(QStringLiteral("查看源代码"), this, &BrowserPane::SourceRequested);
    QMenu* encodings = menu->addMenu(QStringLiteral("编码"));
    auto* group = new QActionGroup(encodings);
    const QString chosen = Encoding();
    for (const QString& encoding : SitePreferences::Encodings) {
        QAction* item =
            encodings->addAction(encoding.isEmpty() ? QStringLiteral("自动") : encoding);
        item->setCheckable(true);
        item->setChecked(encoding == chosen);
        group->addAction(item);
        connect(item, &QAction::triggered, this, [this, encoding] { SetEncoding(encoding); });
    }
    TidySeparators(*menu);
    menu->popup(view_->mapToGlobal(position));
}

}  // namespace tessaly
