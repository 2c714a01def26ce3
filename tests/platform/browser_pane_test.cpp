// The browser pane against real Chromium and pages served on 127.0.0.1.

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QWebEngineProfile>
#include <QWebEngineView>

#include "browser_pane.h"
#include "browser_pane_fixture.h"
#include "browser_profile.h"
#include "failure.h"
#include "local_http_server.h"
#include "page_input.h"
#include "start_page_scheme.h"
#include "web_test_main.h"

using tessaly::BrowserPane;
using tessaly::testing::ClickElement;
using tessaly::testing::LocalHttpServer;
using tessaly::testing::WaitForTitle;

namespace {
constexpr int LoadTimeoutMs = 30000;
}

class BrowserPaneTest : public QObject, tessaly::testing::BrowserPaneFixture {
    Q_OBJECT

private slots:
    void init() {
        MakeProfile(this);
        ShowPane();
    }
    void cleanup() { DeletePane(); }

    void aPageLoadRaisesTheFiveNotificationsInOrder() {
        server_.page("/a", "<p>hello</p>");
        pane_->Navigate(server_.url("/a"));
        QTRY_VERIFY_WITH_TIMEOUT(log_->count("DownloadComplete") == 1, LoadTimeoutMs);

        const QStringList& events = log_->events;
        QCOMPARE(log_->count("Navigate:"), 1);
        QCOMPARE(log_->lastOf("Navigate:"), "Navigate:" + server_.url("/a"));
        QVERIFY2(log_->count("Status:") >= 2, qPrintable(events.join('\n')));
        QVERIFY2(log_->firstIndex("Navigate:") < log_->firstIndex("Status:"),
                 qPrintable(events.join(" | ")));
        QVERIFY(log_->firstIndex("Status:") < log_->firstIndex("Progress:"));
        QVERIFY(log_->firstIndex("Progress:") < log_->firstIndex("DownloadComplete"));
        for (const QString& event : events) {
            if (event.startsWith("Progress:") && event != "Progress:-1/10000") {
                const int progress = event.mid(9).section('/', 0, 0).toInt();
                QVERIFY2(progress >= 0 && progress <= 10000, qPrintable(event));
            }
        }
        QCOMPARE(log_->lastOf("Progress:"), QStringLiteral("Progress:-1/10000"));
        QCOMPARE(log_->lastOf("Status:"), QStringLiteral("Status:完成"));
    }

    void backAndForwardFollowTheHistory() {
        server_.page("/one", "<p>one</p>");
        server_.page("/two", "<p>two</p>");
        pane_->Navigate(server_.url("/one"));
        QTRY_VERIFY_WITH_TIMEOUT(log_->count("DownloadComplete") == 1, LoadTimeoutMs);
        QCOMPARE(log_->lastOf("Command:2"), QStringLiteral("Command:2=0"));
        pane_->Navigate(server_.url("/two"));
        QTRY_VERIFY_WITH_TIMEOUT(log_->count("DownloadComplete") == 2, LoadTimeoutMs);
        QCOMPARE(log_->lastOf("Command:2"), QStringLiteral("Command:2=1"));
        QCOMPARE(log_->lastOf("Command:1"), QStringLiteral("Command:1=0"));

        pane_->GoBack();
        QTRY_VERIFY_WITH_TIMEOUT(log_->count("DownloadComplete") == 3, LoadTimeoutMs);
        QCOMPARE(log_->lastOf("Navigate:"), "Navigate:" + server_.url("/one"));
        QCOMPARE(log_->lastOf("Command:2"), QStringLiteral("Command:2=0"));
        QCOMPARE(log_->lastOf("Command:1"), QStringLiteral("Command:1=1"));
    }

    void goingBackOrForwardWithoutHistoryFailsAndChangesNothing() {
        QVERIFY_THROWS_EXCEPTION(tessaly::Failure, pane_->GoBack());
        QVERIFY_THROWS_EXCEPTION(tessaly::Failure, pane_->GoForward());
        // The engine reports in order: had either started a load, its
        // events would come before those of the next page.
        server_.page("/after", "<p>after</p>");
        pane_->Navigate(server_.url("/after"));
        QTRY_VERIFY_WITH_TIMEOUT(log_->count("DownloadComplete") == 1, LoadTimeoutMs);
        const int shown = log_->firstIndex("Navigate:");
        for (int i = 0; i < shown; ++i) {
            QVERIFY2(log_->events[i].startsWith("Command:"), qPrintable(log_->events[i]));
        }
        QCOMPARE(log_->lastOf("Navigate:"), "Navigate:" + server_.url("/after"));
        QCOMPARE(log_->count("Navigate:"), 1);
    }

    void refreshAndStopRaiseWhatALoadRaises() {
        server_.page("/r", "<p>reload me</p>");
        server_.page("/slow", "<p>slow</p>", 3000);
        pane_->Navigate(server_.url("/r"));
        QTRY_VERIFY_WITH_TIMEOUT(log_->count("DownloadComplete") == 1, LoadTimeoutMs);
        log_->events.clear();

        pane_->Refresh();  // same address: no URL change, still a navigation
        QTRY_VERIFY_WITH_TIMEOUT(log_->count("DownloadComplete") == 1, LoadTimeoutMs);
        QCOMPARE(log_->count("Navigate:"), 1);
        QCOMPARE(log_->lastOf("Progress:"), QStringLiteral("Progress:-1/10000"));
        log_->events.clear();

        pane_->Navigate(server_.url("/slow"));
        QTRY_VERIFY_WITH_TIMEOUT(server_.requests().contains("/slow"), LoadTimeoutMs);
        pane_->Stop();
        QTRY_VERIFY_WITH_TIMEOUT(log_->count("DownloadComplete") == 1, 5000);
        QCOMPARE(log_->lastOf("Progress:"), QStringLiteral("Progress:-1/10000"));
        QVERIFY(log_->count("Status:") >= 1);
        QCOMPARE(log_->count("Navigate:"), 0);  // stopped before the page arrived
    }

    void aNewWindowTheUserAsksForOpensInThePane() {
        server_.page("/target", "<p>target</p>");
        server_.page("/popup", "<a id='l' target='_blank' href='/target'>open</a>");
        pane_->Navigate(server_.url("/popup"));
        QTRY_VERIFY_WITH_TIMEOUT(log_->count("DownloadComplete") == 1, LoadTimeoutMs);
        QVERIFY(ClickElement(pane_->view(), "#l"));
        QTRY_VERIFY_WITH_TIMEOUT(log_->lastOf("Navigate:") == "Navigate:" + server_.url("/target"),
                                 LoadTimeoutMs);
        QTRY_COMPARE_WITH_TIMEOUT(pane_->view()->title(), QStringLiteral("/target"), LoadTimeoutMs);
    }

    void aFormSentToANewWindowKeepsItsData() {
        server_.page("/sent", "<p>thanks</p>");
        server_.page("/form",
                     "<form method='post' target='_blank' action='/sent'>"
                     "<input name='nick' value='雷霆'><input id='go' type='submit' value='go'>"
                     "</form>");
        pane_->Navigate(server_.url("/form"));
        QTRY_VERIFY_WITH_TIMEOUT(log_->count("DownloadComplete") == 1, LoadTimeoutMs);
        QVERIFY(ClickElement(pane_->view(), "#go"));
        QTRY_COMPARE_WITH_TIMEOUT(pane_->view()->title(), QStringLiteral("/sent"), LoadTimeoutMs);
        const QByteArray request = server_.requestHeaders("/sent");
        QVERIFY2(request.startsWith("POST /sent "), request.constData());
        QVERIFY2(request.contains("Content-Length: 23"),
                 request.constData());  // nick=%E9%9B%B7%E9%9C%86
    }

    void newWindowsAPageOpensOnItsOwnAreRefused() {
        // A frame opens a window as it loads, and the page opens a script in
        // a new window: neither replaces the page. Then the user opens one;
        // the engine reports in order, so once it arrives the earlier
        // requests have all been answered.
        server_.page("/target", "<p>never</p>");
        server_.page("/asked", "<p>asked</p>");
        server_.page("/frame",
                     "<script>window.open('/target'); parent.document.title += 'f';</script>");
        server_.page("/host",
                     "<iframe src='/frame'></iframe><a id='l' target='_blank' href='/asked'>go</a>"
                     "<script>window.open('javascript:document.title=1'); document.title = 'h';"
                     "</script>");
        pane_->Navigate(server_.url("/host"));
        QVERIFY(!WaitForTitle(pane_->view(), [](const QString& title) {
                     return title == "hf";
                 }).isEmpty());
        QVERIFY(ClickElement(pane_->view(), "#l"));
        QTRY_COMPARE_WITH_TIMEOUT(pane_->view()->title(), QStringLiteral("/asked"), LoadTimeoutMs);
        QVERIFY2(!log_->events.contains("Navigate:" + server_.url("/target")),
                 qPrintable(log_->events.join('\n')));
        QCOMPARE(log_->count("Navigate:"), 2);  // the page and the one the user asked for
    }

    void scriptChangesOfTheAddressCountOnlyWhenTheUserCausesThem() {
        // While loading (its picture takes a while), the page changes its own
        // address; after loading, it changes it in a loop. One page shown.
        LocalHttpServer::Response picture;
        picture.contentType = "image/gif";
        picture.body = QByteArray::fromBase64("R0lGODlhAQABAAAAACw=");
        picture.delayMs = 500;
        server_.route("/slow.gif", picture);
        server_.page(
            "/loop",
            "<img src='/slow.gif'><a id='jump' href='#card2' style='position: fixed; left: 0;"
            " top: 0; width: 100px; height: 40px; display: block'>next</a>"
            "<script>history.pushState({}, '', '#loading'); var n = 0;"
            "window.onload = () => setInterval(() => {"
            "  if (n % 2) history.pushState({}, '', '?step=' + n); else location.hash = n;"
            "  document.title = ++n; }, 10);</script>");
        pane_->Navigate(server_.url("/loop"));
        // Fifty rounds of the loop, well after the page finished loading.
        QVERIFY(!WaitForTitle(pane_->view(), [](const QString& title) {
                     return title.toInt() >= 50;
                 }).isEmpty());
        QCOMPARE(log_->count("DownloadComplete"), 1);
        QVERIFY2(log_->count("Navigate:") == 1, qPrintable(log_->events.join('\n')));

        // A click on an in-page link is the user's: one page shown, even
        // while the loop goes on.
        // (The link stays in the corner; the page is too busy to be asked where.)
        tessaly::testing::ClickAt(pane_->view(), QPoint(50, 20));
        QTRY_COMPARE_WITH_TIMEOUT(log_->count("Navigate:"), 2, LoadTimeoutMs);
        const int rounds = pane_->view()->title().toInt();
        QVERIFY(!WaitForTitle(pane_->view(), [rounds](const QString& title) {
                     return title.toInt() >= rounds + 50;
                 }).isEmpty());
        QCOMPARE(log_->count("Navigate:"), 2);
    }

    void backWithinAPageIsTheUsersOwnStep() {
        server_.page("/anchors", "<a id='down' href='#down'>down</a>");
        pane_->Navigate(server_.url("/anchors"));
        QTRY_COMPARE_WITH_TIMEOUT(log_->count("DownloadComplete"), 1, LoadTimeoutMs);
        QVERIFY(ClickElement(pane_->view(), "#down"));
        QTRY_COMPARE_WITH_TIMEOUT(log_->count("Navigate:"), 2, LoadTimeoutMs);
        pane_->GoBack();  // the toolbar's Back, clicked by the user
        QTRY_COMPARE_WITH_TIMEOUT(log_->count("Navigate:"), 3, LoadTimeoutMs);
        QCOMPARE(log_->lastOf("Navigate:"), "Navigate:" + server_.url("/anchors"));
    }

    void theBuiltInSiteServesOnlyItsOwnFiles() {
        profile_->installUrlSchemeHandler(tessaly::StartPageScheme,
                                          new tessaly::StartPageSchemeHandler(profile_));
        // A local file its page may not show: the built-in site is a web site
        // like any other.
        QTemporaryDir local;
        QVERIFY(local.isValid());
        QFile picture(local.filePath("probe.gif"));
        QVERIFY(picture.open(QIODevice::WriteOnly));
        picture.write(QByteArray::fromBase64("R0lGODlhAQABAAAAACw="));
        picture.close();
        pane_->Navigate("tessaly://start/local_file_probe.html#" + picture.fileName());
        QCOMPARE(WaitForTitle(
                     pane_->view(),
                     [](const QString& title) { return title == "shown" || title == "refused"; }),
                 QStringLiteral("refused"));

        // The program's and the toolkit's other resources are not served.
        for (const QString& other : {QStringLiteral("tessaly://qt-project.org/qmessagebox/images/"
                                                    "qtlogo-64.png"),
                                     QStringLiteral("tessaly://start/../qt-project.org/qmessagebox/"
                                                    "images/qtlogo-64.png")}) {
            log_->events.clear();
            pane_->Navigate(other);
            QTRY_VERIFY_WITH_TIMEOUT(log_->count("DownloadComplete") == 1, LoadTimeoutMs);
            QVERIFY2(log_->lastOf("Status:").startsWith("Status:无法打开网页"), qPrintable(other));
        }
        QVERIFY(QFile::exists(":/qt-project.org/qmessagebox/images/qtlogo-64.png"));
    }

    void theProgramsProfileKeepsSessionCookiesInMemory() {
        QTemporaryDir programFolder;
        QVERIFY(QDir(programFolder.path()).mkdir("Data"));
        QWebEngineProfile* profile = tessaly::CreateBrowserProfile(programFolder.path(), this);
        QVERIFY(!profile->isOffTheRecord());
        QCOMPARE(profile->persistentCookiesPolicy(), QWebEngineProfile::AllowPersistentCookies);
        delete profile;
    }

private:
    LocalHttpServer server_;
};

TESSALY_WEB_TEST_MAIN(BrowserPaneTest)
#include "browser_pane_test.moc"
