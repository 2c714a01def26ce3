// The keys a WAP user and a browser user expect in the pane, and its context
// menu, against real Chromium and pages served on 127.0.0.1.

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QTest>
#include <QWebEngineView>

#include "browser_pane.h"
#include "browser_pane_fixture.h"
#include "local_http_server.h"
#include "page_input.h"
#include "web_test_main.h"

using tessaly::testing::LocalHttpServer;

namespace {
constexpr int LoadTimeoutMs = 30000;
}

class PageKeysTest : public QObject, tessaly::testing::BrowserPaneFixture {
    Q_OBJECT

private slots:
    void init() {
        MakeProfile(this);
        ShowPane({480, 400});
        pane_->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(pane_));
    }
    void cleanup() { DeletePane(); }

    // Keys the page leaves alone move the pane; in a field they are typing.
    void KeysThePageLeavesActOnThePane() {
        server_.Page("/one", "<p>one</p><a accesskey='2' href='/two'>2.two</a><input id='field'>");
        server_.Page("/two", "<p>two</p>");
        Load("/one");

        Key(Qt::Key_2);
        QTRY_COMPARE_WITH_TIMEOUT(pane_->View()->url().path(), QStringLiteral("/two"),
                                  LoadTimeoutMs);
        QTRY_COMPARE_WITH_TIMEOUT(log_->Count("DownloadComplete"), 2, LoadTimeoutMs);
        Key(Qt::Key_Backspace);
        QTRY_COMPARE_WITH_TIMEOUT(pane_->View()->url().path(), QStringLiteral("/one"),
                                  LoadTimeoutMs);

        // Typing in a field, even Backspace in an empty one, never leaves the page.
        QVERIFY(tessaly::testing::ClickElement(pane_->View(), "#field"));
        Key(Qt::Key_2);
        QTRY_COMPARE_WITH_TIMEOUT(Script("document.getElementById('field').value"), QVariant("2"),
                                  5000);
        Key(Qt::Key_Backspace);
        Key(Qt::Key_Backspace);
        QTRY_COMPARE_WITH_TIMEOUT(Script("document.getElementById('field').value"), QVariant(""),
                                  5000);
        // Going back took a few tens of milliseconds above: half a second
        // is ample for a Backspace that leaked out of the field to show.
        QTest::qWait(500);
        QCOMPARE(pane_->View()->url().path(), QStringLiteral("/one"));
        QCOMPARE(log_->Count("Navigate:"), 3);
    }

    // Zoom is the site's until the program ends: another site starts at 100%.
    void ZoomIsKeptPerSite() {
        server_.Page("/z", "<p>zoom</p>");
        Load("/z");
        QTest::keySequence(pane_->View()->focusProxy(), QKeySequence(Qt::CTRL | Qt::Key_Equal));
        QTest::keySequence(pane_->View()->focusProxy(), QKeySequence(Qt::CTRL | Qt::Key_Equal));
        QCOMPARE(pane_->View()->zoomFactor(), 1.25);
        QTest::keySequence(pane_->View()->focusProxy(), QKeySequence(Qt::CTRL | Qt::Key_Minus));
        QCOMPARE(pane_->View()->zoomFactor(), 1.1);

        // 127.0.0.1 and localhost are two sites to the pane.
        QString other = server_.Url("/z");
        other.replace("127.0.0.1", "localhost");
        pane_->Navigate(other);
        QTRY_COMPARE_WITH_TIMEOUT(log_->Count("DownloadComplete"), 2, LoadTimeoutMs);
        QCOMPARE(pane_->View()->zoomFactor(), 1.0);
        pane_->GoBack();
        QTRY_COMPARE_WITH_TIMEOUT(log_->Count("DownloadComplete"), 3, LoadTimeoutMs);
        QCOMPARE(pane_->View()->zoomFactor(), 1.1);
        QTest::keySequence(pane_->View()->focusProxy(), QKeySequence(Qt::CTRL | Qt::Key_0));
        QCOMPARE(pane_->View()->zoomFactor(), 1.0);
    }

    void FindBarFindsAndEscCloses() {
        server_.Page("/f", "<p>apple pear apple</p>");
        Load("/f");
        QTest::keySequence(pane_->View()->focusProxy(), QKeySequence(Qt::CTRL | Qt::Key_F));
        auto* bar = pane_->findChild<QWidget*>("findBar");
        QVERIFY(bar && bar->isVisible());
        QCOMPARE(bar->geometry().bottom(), pane_->rect().bottom());
        QTest::keyClicks(bar->findChild<QLineEdit*>(), "apple");
        QTRY_VERIFY_WITH_TIMEOUT(bar->findChildren<QLabel*>().value(0)->text().endsWith("/2"),
                                 10000);
        QTest::keyClick(bar->findChild<QLineEdit*>(), Qt::Key_Escape);
        QVERIFY(!bar->isVisible());
    }

    // The user's encoding for a site goes with every plain http request to
    // it (the gateway reads it there), and the page is fetched again.
    void AChosenEncodingGoesWithTheSitesRequests() {
        server_.Page("/e", "<p>e</p>");
        Load("/e");
        QVERIFY(!server_.RequestHeaders("/e").toLower().contains("x-tessaly-charset"));
        pane_->SetEncoding("GBK");
        QTRY_COMPARE_WITH_TIMEOUT(server_.Requests().count("/e"), 2, LoadTimeoutMs);
        QVERIFY(server_.RequestHeaders("/e").toLower().contains("x-tessaly-charset: gbk"));
        QCOMPARE(pane_->Encoding(), QStringLiteral("GBK"));

        pane_->SetEncoding("");  // 自动
        QTRY_COMPARE_WITH_TIMEOUT(server_.Requests().count("/e"), 3, LoadTimeoutMs);
        QVERIFY(!server_.RequestHeaders("/e").toLower().contains("x-tessaly-charset"));
    }

    void TheContextMenuOffersOnlyWhatWorksInOnePane() {
        server_.Page("/m", "<p>menu</p><a href='/m'>link</a>");
        Load("/m");
        QTest::mouseClick(pane_->View()->focusProxy(), Qt::RightButton, {}, QPoint(10, 10));
        QMenu* menu = nullptr;
        QTRY_VERIFY((menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) != nullptr);
        QStringList texts;
        for (QAction* action : menu->actions()) {
            texts << action->text();
        }
        for (const char* wanted :
             {"后退", "前进", "刷新", "复制页面地址", "页面信息", "查看源代码", "编码"}) {
            QVERIFY2(texts.contains(QString::fromUtf8(wanted)), qPrintable(texts.join('|')));
        }
        for (const auto gone :
             {QWebEnginePage::OpenLinkInNewWindow, QWebEnginePage::OpenLinkInNewTab,
              QWebEnginePage::InspectElement, QWebEnginePage::ViewSource}) {
            QVERIFY(!menu->actions().contains(pane_->View()->page()->action(gone)));
        }
        menu->close();
    }

private:
    void Load(const QByteArray& path) {
        const int before = log_->Count("DownloadComplete");
        pane_->Navigate(server_.Url(path));
        QTRY_COMPARE_WITH_TIMEOUT(log_->Count("DownloadComplete"), before + 1, LoadTimeoutMs);
    }
    void Key(Qt::Key key) { QTest::keyClick(pane_->View()->focusProxy(), key); }
    QVariant Script(const QString& script) {
        return tessaly::testing::RunScript(pane_->View(), script, 5000);
    }

    LocalHttpServer server_;
};

TESSALY_WEB_TEST_MAIN(PageKeysTest)
#include "page_keys_test.moc"
