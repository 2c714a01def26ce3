// The browser pane against real Chromium and pages served on 127.0.0.1.

#include <QSignalSpy>
#include <QTest>
#include <QWebEngineProfile>

#include "browser_event_log.h"
#include "browser_pane.h"
#include "failure.h"
#include "local_http_server.h"
#include "web_test_main.h"

using tessaly::BrowserPane;
using tessaly::testing::BrowserEventLog;
using tessaly::testing::LocalHttpServer;

namespace {
constexpr int LoadTimeoutMs = 30000;
}

class BrowserPaneTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        profile_ = new QWebEngineProfile(this);  // in memory: nothing left behind
        pane_ = new BrowserPane(profile_);
        pane_->resize(400, 300);
        pane_->show();
        log_ = new BrowserEventLog(pane_);
    }
    void cleanup() {
        delete log_;
        delete pane_;
        delete profile_;
    }

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
        QTest::qWait(200);
        QVERIFY(log_->events.isEmpty());
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
        QTest::qWait(300);
        pane_->Stop();
        QTRY_VERIFY_WITH_TIMEOUT(log_->count("DownloadComplete") == 1, 5000);
        QCOMPARE(log_->lastOf("Progress:"), QStringLiteral("Progress:-1/10000"));
        QVERIFY(log_->count("Status:") >= 1);
        QCOMPARE(log_->count("Navigate:"), 0);  // stopped before the page arrived
    }

    void aLinkToANewWindowOpensInThePane() {
        server_.page("/target", "<p>target</p>");
        server_.page("/popup",
                     "<a id='l' target='_blank' href='/target'>open</a>"
                     "<script>window.onload=()=>document.getElementById('l').click()</script>");
        pane_->Navigate(server_.url("/popup"));
        QTRY_VERIFY_WITH_TIMEOUT(log_->lastOf("Navigate:") == "Navigate:" + server_.url("/target"),
                                 LoadTimeoutMs);
    }

private:
    LocalHttpServer server_;
    QWebEngineProfile* profile_ = nullptr;
    BrowserPane* pane_ = nullptr;
    BrowserEventLog* log_ = nullptr;
};

TESSALY_WEB_TEST_MAIN(BrowserPaneTest)
#include "browser_pane_test.moc"
