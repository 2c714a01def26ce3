// The engine-to-notification mapping on its own, driven the way the engine
// reports a reload, a stop, a download link and history changes.

#include <QTest>

#include "browser_event_log.h"
#include "browser_events.h"

using tessaly::BrowserEvents;
using tessaly::testing::BrowserEventLog;

class BrowserEventsTest : public QObject {
    Q_OBJECT

private slots:
    void ALoadWithoutAUrlChangeCommitsAtItsEnd() {
        BrowserEvents events;
        BrowserEventLog log(&events);
        const QUrl url(QStringLiteral("http://127.0.0.1/a"));
        events.LoadStarted(url);
        events.LoadProgress(0);
        events.LoadProgress(60);
        QVERIFY(log.events.isEmpty());  // held until the document commits
        events.LoadEnded(BrowserEvents::LoadEnd::Succeeded, url);

        QCOMPARE(log.events.first(), QStringLiteral("Navigate:http://127.0.0.1/a"));
        QVERIFY(log.events.contains(QStringLiteral("Progress:6000/10000")));
        QCOMPARE(log.Count("Navigate:"), 1);
        QCOMPARE(log.Count("DownloadComplete"), 1);
        QVERIFY(log.FirstIndex("Progress:-1/10000") < log.FirstIndex("DownloadComplete"));
        QCOMPARE(log.events.last(), QStringLiteral("Status:完成"));
    }

    void AStoppedLoadEndsWithoutANavigation() {
        BrowserEvents events;
        BrowserEventLog log(&events);
        const QUrl url(QStringLiteral("http://127.0.0.1/game.jar"));
        events.LoadStarted(url);
        events.LoadProgress(100);
        events.LoadEnded(BrowserEvents::LoadEnd::Stopped, url);
        QCOMPARE(log.events,
                 (QStringList{"Progress:-1/10000", "DownloadComplete", "Status:已停止"}));

        events.LoadEnded(BrowserEvents::LoadEnd::Stopped, url);  // nothing is loading any more
        QCOMPARE(log.events.size(), 3);
    }

    void CommitReportsHistoryAndProgressFollowsWithStatusTexts() {
        BrowserEvents events;
        BrowserEventLog log(&events);
        events.HistoryChanged(true, false);
        log.events.clear();
        const QUrl url(QStringLiteral("http://127.0.0.1/b"));
        events.LoadStarted(url);
        events.UrlCommitted(url);
        events.LoadProgress(40);
        QCOMPARE(log.events.mid(0, 3),
                 (QStringList{"Navigate:http://127.0.0.1/b", "Command:1=0", "Command:2=1"}));
        QVERIFY(log.Count("Status:") >= 2);
        QCOMPARE(log.LastOf("Progress:"), QStringLiteral("Progress:4000/10000"));
    }

    void ACardChangeInARenderedDeckCountsAsAPageShown() {
        BrowserEvents events;
        BrowserEventLog log(&events);
        const QUrl deck(QStringLiteral("http://127.0.0.1/deck.wml"));
        events.SetCardDocumentTest([deck](const QUrl& document) { return document == deck; });
        events.LoadStarted(deck);
        events.LoadEnded(BrowserEvents::LoadEnd::Succeeded, deck);
        log.events.clear();

        events.UrlCommitted(QUrl(QStringLiteral("http://127.0.0.1/deck.wml#two")));
        QCOMPARE(log.events.first(), QStringLiteral("Navigate:http://127.0.0.1/deck.wml#two"));
        QCOMPARE(log.Count("Navigate:"), 1);
        QCOMPARE(log.Count("DownloadComplete"), 1);
        QCOMPARE(log.events.last(), QStringLiteral("Status:完成"));

        // The same kind of change in any other page is no page load.
        log.events.clear();
        events.UrlCommitted(QUrl(QStringLiteral("http://127.0.0.1/page.html#two")));
        QCOMPARE(log.Count("DownloadComplete"), 0);
    }

    void AChangeWithinAPageIsAPageShownOnlyWhenTheUserCausedIt() {
        BrowserEvents events;
        BrowserEventLog log(&events);
        int gestures = 0;  // actions the user has made and not yet used up
        events.SetUserGestureTest([&gestures] { return gestures > 0 && gestures-- > 0; });
        const QUrl page(QStringLiteral("http://127.0.0.1/page.html"));
        events.LoadStarted(page);
        events.UrlCommitted(page);
        events.UrlCommitted(QUrl(QStringLiteral("http://127.0.0.1/page.html#loading")));
        events.UrlCommitted(QUrl(QStringLiteral("http://127.0.0.1/page.html?step=1")));
        events.LoadEnded(BrowserEvents::LoadEnd::Succeeded, page);
        QCOMPARE(log.Count("Navigate:"), 1);  // one load, one page

        for (int i = 0; i < 20; ++i) {
            events.UrlCommitted(QUrl(QStringLiteral("http://127.0.0.1/page.html#%1").arg(i)));
        }
        QCOMPARE(log.Count("Navigate:"), 1);  // a script on its own

        gestures = 1;
        events.UrlCommitted(QUrl(QStringLiteral("http://127.0.0.1/page.html#top")));
        events.UrlCommitted(QUrl(QStringLiteral("http://127.0.0.1/page.html#again")));
        QCOMPARE(log.Count("Navigate:"), 2);
        QCOMPARE(log.LastOf("Navigate:"),
                 QStringLiteral("Navigate:http://127.0.0.1/page.html#top"));
        QCOMPARE(log.Count("DownloadComplete"), 1);
    }

    void HistoryChangesAreReportedOnlyWhenTheyChange() {
        BrowserEvents events;
        BrowserEventLog log(&events);
        events.HistoryChanged(false, false);
        QCOMPARE(log.events, (QStringList{"Command:1=0", "Command:2=0"}));
        events.HistoryChanged(false, false);
        events.HistoryChanged(true, false);
        QCOMPARE(log.events, (QStringList{"Command:1=0", "Command:2=0", "Command:2=1"}));
    }

    void HoveringALinkShowsItsAddressAndLeavingClearsIt() {
        BrowserEvents events;
        BrowserEventLog log(&events);
        events.LinkHovered(QString());  // nothing was hovered: nothing to clear
        events.LinkHovered(QStringLiteral("http://127.0.0.1/c"));
        events.LinkHovered(QString());
        QCOMPARE(log.events, (QStringList{"Status:http://127.0.0.1/c", "Status:"}));
    }
};

QTEST_GUILESS_MAIN(BrowserEventsTest)
#include "browser_events_test.moc"
