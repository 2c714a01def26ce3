// The browser pane against real Chromium and pages served on 127.0.0.1.

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QWebEnginePage>
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

    void APageLoadRaisesTheFiveNotificationsInOrder() {
        server_.Page("/a", "<p>hello</p>");
        pane_->Navigate(server_.Url("/a"));
        QTRY_VERIFY_WITH_TIMEOUT(log_->Count("DownloadComplete") == 1, LoadTimeoutMs);

        const QStringList& events = log_->events;
        QCOMPARE(log_->Count("Navigate:"), 1);
        QCOMPARE(log_->LastOf("Navigate:"), "Navigate:" + server_.Url("/a"));
        QVERIFY2(log_->Count("Status:") >= 2, qPrintable(events.join('\n')));
        QVERIFY2(log_->FirstIndex("Navigate:") < log_->FirstIndex("Status:"),
                 qPrintable(events.join(" | ")));
        QVERIFY(log_->FirstIndex("Status:") < log_->FirstIndex("Progress:"));
        QVERIFY(log_->FirstIndex("Progress:") < log_->FirstIndex("DownloadComplete"));
        for (const QString& event : events) {
            if (event.startsWith("Progress:") && event != "Progress:-1/10000") {
                const int progress = event.mid(9).section('/', 0, 0).toInt();
                QVERIFY2(progress >= 0 && progress <= 10000, qPrintable(event));
            }
        }
        QCOMPARE(log_->LastOf("Progress:"), QStringLiteral("Progress:-1/10000"));
        QCOMPARE(log_->LastOf("Status:"), QStringLiteral("Status:完成"));
    }

    // The program loads the home page while its splash shows; the main
    // window must hear of that load only once it asks for the page.
    void APreloadedPageRaisesNothingUntilItIsAskedFor() {
        server_.Page("/home", "<p>home</p>");
        server_.Page("/elsewhere", "<p>elsewhere</p>");
        for (const QString& asked : {server_.Url("/home"), server_.Url("/elsewhere")}) {
            log_->events.clear();
            QSignalSpy loaded(pane_->View()->page(), &QWebEnginePage::loadFinished);
            pane_->Preload(server_.Url("/home"));
            QTRY_VERIFY_WITH_TIMEOUT(loaded.count() == 1, LoadTimeoutMs);
            // The engine reports a load's end before loadFinished, so an
            // unheld DownloadComplete would be in the log by now.
            QCoreApplication::processEvents();
            QVERIFY2(log_->events.isEmpty(), qPrintable(log_->events.join(" | ")));

            pane_->Navigate(asked);
            if (asked == server_.Url("/home")) {
                // (Another address may change Back and Forward at once, as any Navigate may.)
                QVERIFY2(log_->events.isEmpty(), "raised before Navigate returned");
            }
            QTRY_VERIFY_WITH_TIMEOUT(log_->Count("DownloadComplete") == 1, LoadTimeoutMs);
            QCOMPARE(log_->Count("Navigate:"), 1);
            QCOMPARE(log_->LastOf("Navigate:"), "Navigate:" + asked);
            QVERIFY(log_->FirstIndex("Navigate:") < log_->FirstIndex("DownloadComplete"));
            QCOMPARE(log_->LastOf("Status:"), QStringLiteral("Status:完成"));
        }
    }

    // A site that refuses the connection: the program's own page says so, at
    // the address the user asked for, and the load ends as a failure once.
    void ASiteThatCannotBeReachedGetsTheProgramsPage() {
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost));
        const QString address = QStringLiteral("http://127.0.0.1:%1/gone").arg(closed.serverPort());
        closed.close();
        pane_->Navigate(address);
        QTRY_COMPARE_WITH_TIMEOUT(pane_->View()->title(), QStringLiteral("网站拒绝了连接"),
                                  LoadTimeoutMs);
        QCOMPARE(pane_->View()->url().toString(), address);
        QCOMPARE(log_->Count("DownloadComplete"), 1);
    }

    void BackAndForwardFollowTheHistory() {
        server_.Page("/one", "<p>one</p>");
        server_.Page("/two", "<p>two</p>");
        pane_->Navigate(server_.Url("/one"));
        QTRY_VERIFY_WITH_TIMEOUT(log_->Count("DownloadComplete") == 1, LoadTimeoutMs);
        QCOMPARE(log_->LastOf("Command:2"), QStringLiteral("Command:2=0"));
        pane_->Navigate(server_.Url("/two"));
        QTRY_VERIFY_WITH_TIMEOUT(log_->Count("DownloadComplete") == 2, LoadTimeoutMs);
        QCOMPARE(log_->LastOf("Command:2"), QStringLiteral("Command:2=1"));
        QCOMPARE(log_->LastOf("Command:1"), QStringLiteral("Command:1=0"));

        pane_->GoBack();
        QTRY_VERIFY_WITH_TIMEOUT(log_->Count("DownloadComplete") == 3, LoadTimeoutMs);
        QCOMPARE(log_->LastOf("Navigate:"), "Navigate:" + server_.Url("/one"));
        QCOMPARE(log_->LastOf("Command:2"), QStringLiteral("Command:2=0"));
        QCOMPARE(log_->LastOf("Command:1"), QStringLiteral("Command:1=1"));
    }

    void GoingBackOrForwardWithoutHistoryFailsAndChangesNothing() {
        QVERIFY_THROWS_EXCEPTION(tessaly::Failure, pane_->GoBack());
        QVERIFY_THROWS_EXCEPTION(tessaly::Failure, pane_->GoForward());
        // The engine reports in order: had either started a load, its
        // events would come before those of the next page.
        server_.Page("/after", "<p>after</p>");
        pane_->Navigate(server_.Url("/after"));
        QTRY_VERIFY_WITH_TIMEOUT(log_->Count("DownloadComplete") == 1, LoadTimeoutMs);
        const int shown = log_->FirstIndex("Navigate:");
        for (int i = 0; i < shown; ++i) {
            QVERIFY2(log_->events[i].startsWith("Command:"), qPrintable(log_->events[i]));
        }
        QCOMPARE(log_->LastOf("Navigate:"), "Navigate:" + server_.Url("/after"));
        QCOMPARE(log_->Count("Navigate:"), 1);
    }

    void RefreshAndStopRaiseWhatALoadRaises() {
        server_.Page("/r", "<p>reload me</p>");
        server_.Page("/slow", "<p>slow</p>", 3000);
        pane_->Navigate(server_.Url("/r"));
        QTRY_VERIFY_WITH_TIMEOUT(log_->Count("DownloadComplete") == 1, LoadTimeoutMs);
        log_->events.clear();

        pane_->Refresh();  // same address: no URL change, still a navigation
        QTRY_VERIFY_WITH_TIMEOUT(log_->Count("DownloadComplete") == 1, LoadTimeoutMs);
        QCOMPARE(log_->Count("Navigate:"), 1);
        QCOMPARE(log_->LastOf("Progress:"), QStringLiteral("Progress:-1/10000"));
        log_->events.clear();

        pane_->Navigate(server_.Url("/slow"));
        QTRY_VERIFY_WITH_TIMEOUT(server_.Requests().contains("/slow"), LoadTimeoutMs);
        pane_->Stop();
        QTRY_VERIFY_WITH_TIMEOUT(log_->Count("DownloadComplete") == 1, 5000);
        QCOMPARE(log_->LastOf("Progress:"), QStringLiteral("Progress:-1/10000"));
        QVERIFY(log_->Count("Status:") >= 1);
        QCOMPARE(log_->Count("Navigate:"), 0);  // stopped before the page arrived
    }

    void ANewWindowTheUserAsksForOpensInThePane() {
        server_.Page("/target", "<p>target</p>");
        server_.Page("/popup", "<a id='l' target='_blank' href='/target'>open</a>");
        pane_->Navigate(server_.Url("/popup"));
        QTRY_VERIFY_WITH_TIMEOUT(log_->Count("DownloadComplete") == 1, LoadTimeoutMs);
        QVERIFY(ClickElement(pane_->View(), "#l"));
        QTRY_VERIFY_WITH_TIMEOUT(log_->LastOf("Navigate:") == "Navigate:" + server_.Url("/target"),
                                 LoadTimeoutMs);
        QTRY_COMPARE_WITH_TIMEOUT(pane_->View()->title(), QStringLiteral("/target"), LoadTimeoutMs);
    }

    void AFormSentToANewWindowKeepsItsData() {
        server_.Page("/sent", "<p>thanks</p>");
        server_.Page("/form",
                     "<form method='post' target='_blank' action='/sent'>"
                     "<input name='nick' value='雷霆'><input id='go' type='submit' value='go'>"
                     "</form>");
        pane_->Navigate(server_.Url("/form"));
        QTRY_VERIFY_WITH_TIMEOUT(log_->Count("DownloadComplete") == 1, LoadTimeoutMs);
        QVERIFY(ClickElement(pane_->View(), "#go"));
        QTRY_COMPARE_WITH_TIMEOUT(pane_->View()->title(), QStringLiteral("/sent"), LoadTimeoutMs);
        const QByteArray request = server_.RequestHeaders("/sent");
        QVERIFY2(request.startsWith("POST /sent "), request.constData());
        QVERIFY2(request.contains("Content-Length: 23"),
                 request.constData());  // nick=%E9%9B%B7%E9%9C%86
    }

    void NewWindowsAPageOpensOnItsOwnAreRefused() {
        // A frame opens a window as it loads, and the page opens a script in
        // a new window: neither replaces the page. Then the user opens one;
        // the engine reports in order, so once it arrives the earlier
        // requests have all been answered.
        server_.Page("/target", "<p>never</p>");
        server_.Page("/asked", "<p>asked</p>");
        server_.Page("/frame",
                     "<script>window.open('/target'); parent.document.title += 'f';</script>");
        server_.Page("/host",
                     "<iframe src='/frame'></iframe><a id='l' target='_blank' href='/asked'>go</a>"
                     "<script>window.open('javascript:document.title=1'); document.title = 'h';"
                     "</script>");
        pane_->Navigate(server_.Url("/host"));
        QVERIFY(!WaitForTitle(pane_->View(), [](const QString& title) {
                     return title == "hf";
                 }).isEmpty());
        QVERIFY(ClickElement(pane_->View(), "#l"));
        QTRY_COMPARE_WITH_TIMEOUT(pane_->View()->title(), QStringLiteral("/asked"), LoadTimeoutMs);
        QVERIFY2(!log_->events.contains("Navigate:" + server_.Url("/target")),
                 qPrintable(log_->events.join('\n')));
        QCOMPARE(log_->Count("Navigate:"), 2);  // the page and the one the user asked for
    }

    void ScriptChangesOfTheAddressCountOnlyWhenTheUserCausesThem() {
        // While loading (its picture takes a while), the page changes its own
        // address; after loading, it changes it in a loop. One page shown.
        LocalHttpServer::Response picture;
        picture.contentType = "image/gif";
        picture.body = QByteArray::fromBase64("R0lGODlhAQABAAAAACw=");
        picture.delayMs = 500;
        server_.Route("/slow.gif", picture);
        server_.Page(
            "/loop",
            "<img src='/slow.gif'><a id='jump' href='#card2' style='position: fixed; left: 0;"
            " top: 0; width: 100px; height: 40px; display: block'>next</a>"
            "<script>history.pushState({}, '', '#loading'); var n = 0;"
            "window.onload = () => setInterval(() => {"
            "  if (n % 2) history.pushState({}, '', '?step=' + n); else location.hash = n;"
            "  document.title = ++n; }, 10);</script>");
        pane_->Navigate(server_.Url("/loop"));
        // Fifty rounds of the loop, well after the page finished loading.
        QVERIFY(!WaitForTitle(pane_->View(), [](const QString& title) {
                     return title.toInt() >= 50;
                 }).isEmpty());
        QCOMPARE(log_->Count("DownloadComplete"), 1);
        QVERIFY2(log_->Count("Navigate:") == 1, qPrintable(log_->events.join('\n')));

        // A click on an in-page link is the user's: one page shown, even
        // while the loop goes on.
        // (The link stays in the corner; the page is too busy to be asked where.)
        tessaly::testing::ClickAt(pane_->View(), QPoint(50, 20));
        QTRY_COMPARE_WITH_TIMEOUT(log_->Count("Navigate:"), 2, LoadTimeoutMs);
        const int rounds = pane_->View()->title().toInt();
        QVERIFY(!WaitForTitle(pane_->View(), [rounds](const QString& title) {
                     return title.toInt() >= rounds + 50;
                 }).isEmpty());
        QCOMPARE(log_->Count("Navigate:"), 2);
    }

    void BackWithinAPageIsTheUsersOwnStep() {
        server_.Page("/anchors", "<a id='down' href='#down'>down</a>");
        pane_->Navigate(server_.Url("/anchors"));
        QTRY_COMPARE_WITH_TIMEOUT(log_->Count("DownloadComplete"), 1, LoadTimeoutMs);
        QVERIFY(ClickElement(pane_->View(), "#down"));
        QTRY_COMPARE_WITH_TIMEOUT(log_->Count("Navigate:"), 2, LoadTimeoutMs);
        pane_->GoBack();  // the toolbar's Back, clicked by the user
        QTRY_COMPARE_WITH_TIMEOUT(log_->Count("Navigate:"), 3, LoadTimeoutMs);
        QCOMPARE(log_->LastOf("Navigate:"), "Navigate:" + server_.Url("/anchors"));
    }

    void TheBuiltInSiteServesOnlyItsOwnFiles() {
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
                     pane_->View(),
                     [](const QString& title) { return title == "shown" || title == "refused"; }),
                 QStringLiteral("refused"));

        // The program's and the toolkit's other resources are not served.
        for (const QString& other : {QStringLiteral("tessaly://qt-project.org/qmessagebox/images/"
                                                    "qtlogo-64.png"),
                                     QStringLiteral("tessaly://start/../qt-project.org/qmessagebox/"
                                                    "images/qtlogo-64.png")}) {
            log_->events.clear();
            pane_->Navigate(other);
            QTRY_VERIFY_WITH_TIMEOUT(log_->Count("DownloadComplete") == 1, LoadTimeoutMs);
            QVERIFY2(log_->LastOf("Status:").startsWith("Status:无法打开网页"), qPrintable(other));
        }
        QVERIFY(QFile::exists(":/qt-project.org/qmessagebox/images/qtlogo-64.png"));
    }

    void TheProgramsProfileKeepsSessionCookiesInMemory() {
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
