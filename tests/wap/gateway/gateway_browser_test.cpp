// The browser engine with its traffic through the gateway, against sites on
// 127.0.0.1: WAP pages are shown as pages, files arrive byte for byte, and a
// navigation raises the same events as without the gateway.

#include <wbxml/wbxml.h>
#include <wbxml/wbxml_conv.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>
#include <cstdlib>

#include "browser_pane.h"
#include "browser_pane_fixture.h"
#include "download_item.h"
#include "download_manager.h"
#include "gateway_route.h"
#include "local_http_server.h"
#include "page_input.h"
#include "proxy_target.h"
#include "rendered_decks.h"
#include "shell_open.h"
#include "stand_ins.h"
#include "start_page_scheme.h"
#include "wap_gateway.h"
#include "web_engine_setup.h"

using tessaly::BrowserPane;
using tessaly::testing::ClickElement;
using tessaly::testing::LocalHttpServer;
using tessaly::wap::RenderedDecks;
using tessaly::wap::WapGateway;

namespace {

constexpr int Timeout = 30000;

LocalHttpServer::Response Typed(const QByteArray& body, const QByteArray& type) {
    LocalHttpServer::Response response;
    response.contentType = type;
    response.body = body;
    return response;
}

QByteArray Binary(int size) {
    QByteArray data(size, '\0');
    for (int i = 0; i < size; ++i) {
        data[i] = static_cast<char>((i * 31 + i / 251) % 256);
    }
    return data;
}

QByteArray EncodeWmlc(const QByteArray& xml) {
    WBXMLConvXML2WBXML* converter = nullptr;
    wbxml_conv_xml2wbxml_create(&converter);
    wbxml_conv_xml2wbxml_disable_public_id(converter);
    QByteArray input = xml;
    WB_UTINY* out = nullptr;
    WB_ULONG length = 0;
    wbxml_conv_xml2wbxml_run(converter, reinterpret_cast<WB_UTINY*>(input.data()),
                             static_cast<WB_ULONG>(input.size()), &out, &length);
    wbxml_conv_xml2wbxml_destroy(converter);
    QByteArray encoded(reinterpret_cast<const char*>(out), static_cast<qsizetype>(length));
    std::free(out);
    return encoded;
}

QByteArray Deck(const QByteArray& text) {
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>"
           "<!DOCTYPE wml PUBLIC \"-//WAPFORUM//DTD WML 1.1//EN\" "
           "\"http://www.wapforum.org/DTD/wml_1.1.xml\">"
           "<wml><card id=\"c1\" title=\"Deck\"><p>" +
           text + "</p></card></wml>";
}

}  // namespace

class GatewayBrowserTest : public QObject, tessaly::testing::BrowserPaneFixture {
    Q_OBJECT

public:
    GatewayBrowserTest(WapGateway& gateway, RenderedDecks& decks)
        : gateway_(gateway), decks_(decks) {}

private slots:
    void init() {
        MakeProfile(this);
        // The credentials sit beside whatever else the profile owns.
        const QObject* handler = new QObject(profile_);
        tessaly::SetGatewayCredentials(profile_, QString::fromStdString(gateway_.User()),
                                       QString::fromStdString(gateway_.Password()));
        tessaly::SetGatewayCredentials(profile_, QString::fromStdString(gateway_.User()),
                                       QString::fromStdString(gateway_.Password()));
        QVERIFY(profile_->children().contains(handler));
        ShowPane();
    }
    void cleanup() { DeletePane(); }

    void WapPagesAreShownAsPages() {
        server_.Route("/deck.wml", Typed(Deck("Text of the deck"), "text/vnd.wap.wml"));
        server_.Route("/deck.wmlc", Typed(EncodeWmlc(Deck("Text of the binary deck")),
                                          "application/vnd.wap.wmlc"));
        server_.Route(
            "/page.xhtml",
            Typed("<?xml version=\"1.0\"?><html xmlns=\"http://www.w3.org/1999/xhtml\">"
                  "<head><title>x</title></head><body><p>Mobile profile page</p></body></html>",
                  "application/vnd.wap.xhtml+xml; charset=utf-8"));
        // Not well-formed (a stray '&'): the engine's XML parser would show
        // only its error.
        server_.Route("/bad.xhtml",
                      Typed("<?xml version=\"1.0\"?><html><body><p>Fish & chips</p></body></html>",
                            "application/vnd.wap.xhtml+xml"));
        server_.Page("/page.html", "<p>Plain web page</p>");
        LocalHttpServer::Response moved;
        moved.status = 302;
        moved.headers = {{"Location", server_.Url("/page.html").toUtf8()}};
        server_.Route("/moved", moved);
        QSignalSpy offered(profile_, &QWebEngineProfile::downloadRequested);

        const struct {
            QByteArray path;
            QString text;
            QString landing;
        } visits[] = {
            {"/deck.wml", "Text of the deck", server_.Url("/deck.wml")},
            {"/deck.wmlc", "Text of the binary deck", server_.Url("/deck.wmlc")},
            {"/page.xhtml", "Mobile profile page", server_.Url("/page.xhtml")},
            {"/bad.xhtml", "Fish & chips\n\n本页不是规范的 XHTML", server_.Url("/bad.xhtml")},
            {"/page.html", "Plain web page", server_.Url("/page.html")},
            {"/moved", "Plain web page", server_.Url("/page.html")},
        };
        int navigations = 0;
        for (const auto& visit : visits) {
            ++navigations;
            pane_->Navigate(server_.Url(visit.path));
            QTRY_VERIFY_WITH_TIMEOUT(log_->Count("DownloadComplete") == navigations, Timeout);
            const QString text = PageText();
            QVERIFY2(text.contains(visit.text), qPrintable(visit.path + ": " + text));
            QVERIFY2(!text.contains("<card") && !text.contains("<?xml"), qPrintable(text));
            QCOMPARE(log_->Count("Navigate:"), navigations);
            QCOMPARE(log_->LastOf("Navigate:"), "Navigate:" + visit.landing);
            // Watched for the whole load and its end: nothing was offered as a file.
            QCOMPARE(offered.count(), 0);
            if (visit.path.contains(".wml")) {
                // The deck's runtime, which the gateway serves, ran and
                // recorded the deck in the browser context.
                QVERIFY2(RuntimeRecorded(visit.landing), qPrintable(visit.path));
            }
        }
        QVERIFY(decks_.Contains(server_.Url("/deck.wml").toStdString()));
        QVERIFY(decks_.Contains(server_.Url("/deck.wmlc").toStdString()));
        QVERIFY(!decks_.Contains(server_.Url("/page.html").toStdString()));
        const QByteArray seen = server_.RequestHeaders("/page.html");
        QVERIFY2(seen.contains("MIDP-2.0"), seen.constData());
        QVERIFY(seen.contains("text/vnd.wap.wml"));
    }

    // A card calls a WMLScript function through the gateway, which compiles
    // it: the script reads and sets variables, shows a dialog (the program's
    // own), and goes to another card; a script that never ends is stopped
    // with a notice under the card, and the card stays usable; a script
    // cannot keep the user in dialogs.
    void ADeckRunsTheScriptItCalls() {
        server_.Route("/play.wml",
                      Typed("<?xml version=\"1.0\" encoding=\"utf-8\"?><wml>"
                            "<card id=\"a\" title=\"开始\"><p><input name=\"who\" value=\"小明\"/>"
                            "<anchor>出发<go href=\"play.wmls#play('$(who)', 3)\"/></anchor> "
                            "<anchor>死循环<go href=\"play.wmls#spin()\"/></anchor> "
                            "<anchor>连续对话<go href=\"play.wmls#nag()\"/></anchor></p></card>"
                            "<card id=\"b\" title=\"到达\"><p>问候：$(greeting)</p></card></wml>",
                            "text/vnd.wap.wml"));
        server_.Route("/play.wmls",
                      Typed("extern function play(who, times) {\n"
                            "  var text = \"\";\n"
                            "  for (var i = 0; i < times; i++) { text += who; }\n"
                            "  WMLBrowser.setVar(\"greeting\", \"<b>\" + text + \"</b>\");\n"
                            "  Dialogs.alert(\"来自脚本：\" + String.length(text));\n"
                            "  WMLBrowser.go(\"#b\");\n"
                            "}\n"
                            "extern function spin() { while (true) { } }\n"
                            "extern function nag() {\n"
                            "  for (var i = 0; i < 20; i++) { Dialogs.alert(\"又来了\" + i); }\n"
                            "}\n",
                            "text/vnd.wap.wmlscript; charset=utf-8"));
        QStringList dialogs;
        QTimer answerer;
        connect(&answerer, &QTimer::timeout, this, [&dialogs] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                dialogs << box->windowTitle() + u'|' + box->text();
                box->buttons().first()->click();
            }
        });
        answerer.start(20);

        pane_->Navigate(server_.Url("/play.wml"));
        QTRY_VERIFY_WITH_TIMEOUT(log_->Count("DownloadComplete") == 1, Timeout);
        QVERIFY(ClickElement(pane_->View(), QStringLiteral("a.wml-link")));
        QTRY_VERIFY2_WITH_TIMEOUT(PageText().contains(QStringLiteral("问候：<b>小明小明小明</b>")),
                                  qPrintable(PageText() + dialogs.join(u'/')), Timeout);
        QCOMPARE(pane_->View()->url().fragment(), QStringLiteral("b"));
        QCOMPARE(dialogs, QStringList{QStringLiteral("127.0.0.1 的消息|来自脚本：6")});

        pane_->GoBack();
        QTRY_VERIFY_WITH_TIMEOUT(PageText().contains(QStringLiteral("死循环")), Timeout);
        QVERIFY(ClickElement(pane_->View(),
                             QStringLiteral("section:not([hidden]) a.wml-link:nth-of-type(2)")));
        QTRY_VERIFY_WITH_TIMEOUT(PageText().contains(QStringLiteral("脚本运行超时")), Timeout);
        // Still usable.
        dialogs.clear();
        QVERIFY(ClickElement(pane_->View(),
                             QStringLiteral("section:not([hidden]) a.wml-link:nth-of-type(3)")));
        QTRY_VERIFY_WITH_TIMEOUT(
            PageText().contains(QStringLiteral("已阻止本页脚本继续弹出对话框")), Timeout);
        // The script ran to its end, all twenty asked for: five were shown.
        QCOMPARE(dialogs.size(), 5);
        QVERIFY(dialogs.last().endsWith(QStringLiteral("又来了4")));
    }

    void FilesArriveByteForByte() {
        QTemporaryDir folder;
        tessaly::testing::RecordingShell shell;
        tessaly::DownloadManager manager(
            profile_, shell,
            [](QWidget*, const QString& proposed, const QString&) { return proposed; });
        manager.SetDownloadFolder(folder.path());
        const QByteArray game = Binary(200 * 1024 + 3);
        const QByteArray video = Binary(5 * 1024 * 1024 + 11);
        server_.Route("/game.jar", Typed(game, "application/java-archive"));
        server_.Route("/clip.3gp", Typed(video, "video/3gpp"));
        server_.Page("/files", "<a id='g' href='/game.jar'>g</a> <a id='v' href='/clip.3gp'>v</a>");
        pane_->Navigate(server_.Url("/files"));
        QTRY_COMPARE_WITH_TIMEOUT(log_->Count("DownloadComplete"), 1, Timeout);
        // Each download is the user's own click, as a page may not start one.
        QVERIFY(ClickElement(pane_->View(), "#g"));
        QTRY_COMPARE_WITH_TIMEOUT(manager.Items().size(), 1, Timeout);
        QVERIFY(ClickElement(pane_->View(), "#v"));
        const auto finished = [&] {
            int done = 0;
            for (const tessaly::DownloadItem* item : manager.Items()) {
                done += item->GetState() == tessaly::DownloadItem::State::Finished ? 1 : 0;
            }
            return done;
        };
        QTRY_VERIFY_WITH_TIMEOUT(finished() == 2, Timeout);
        QVERIFY(Read(folder.filePath("game.jar")) == game);
        QVERIFY(Read(folder.filePath("clip.3gp")) == video);
    }

    void ASiteThatResetsIsAFailedLoad() {
        QTcpServer site;
        QVERIFY(site.listen(QHostAddress::LocalHost, 0));
        connect(&site, &QTcpServer::newConnection, this, [&site] {
            while (QTcpSocket* socket = site.nextPendingConnection()) {
                connect(socket, &QTcpSocket::readyRead, socket, [socket] { socket->abort(); });
            }
        });
        QSignalSpy finished(pane_->View()->page(), &QWebEnginePage::loadFinished);
        pane_->Navigate(QStringLiteral("http://127.0.0.1:%1/").arg(site.serverPort()));
        QTRY_VERIFY_WITH_TIMEOUT(!finished.isEmpty(), Timeout);
        QCOMPARE(finished.first().first().toBool(), false);
        QTRY_COMPARE_WITH_TIMEOUT(log_->Count("DownloadComplete"), 1, Timeout);
        QCOMPARE(log_->Count("Navigate:"), 1);
        // The gateway's page says what happened, not the engine's about a proxy.
        const QString text = PageText();
        QVERIFY2(text.contains(QStringLiteral("网站中断了连接")), qPrintable(text));
    }

    void TheStartPageAddressBoxOpensATypedHost() {
        profile_->installUrlSchemeHandler(tessaly::StartPageScheme,
                                          new tessaly::StartPageSchemeHandler(profile_));
        server_.Page("/typed.html", "<p>Typed address</p>");
        pane_->Navigate(QStringLiteral("tessaly://start/index.html"));
        QTRY_COMPARE_WITH_TIMEOUT(log_->Count("DownloadComplete"), 1, Timeout);
        // Typed as a bare host and port, without http://.
        const QString typed = server_.Url("/typed.html").mid(QStringLiteral("http://").size());
        pane_->View()->page()->runJavaScript(
            QStringLiteral("document.getElementById('address').value = '%1';"
                           "document.getElementById('open').click();")
                .arg(typed));
        QTRY_COMPARE_WITH_TIMEOUT(log_->Count("DownloadComplete"), 2, Timeout);
        QCOMPARE(log_->LastOf("Navigate:"), "Navigate:" + server_.Url("/typed.html"));
        const QString text = PageText();
        QVERIFY2(text.contains("Typed address"), qPrintable(text));
    }

private:
    static QByteArray Read(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    bool RuntimeRecorded(const QString& url) {
        QVariant history;
        bool done = false;
        pane_->View()->page()->runJavaScript(
            QStringLiteral("JSON.parse(sessionStorage.getItem('tessaly.wml.context')).history"),
            [&](const QVariant& result) {
                history = result;
                done = true;
            });
        return QTest::qWaitFor([&] { return done; }, Timeout) &&
               history.toList().contains(QVariant(url));
    }

    QString PageText() {
        QString text;
        bool done = false;
        pane_->View()->page()->toPlainText([&](const QString& result) {
            text = result;
            done = true;
        });
        if (!QTest::qWaitFor([&] { return done; }, Timeout)) {
            return QStringLiteral("(no text within the time allowed)");
        }
        return text;
    }

    WapGateway& gateway_;
    RenderedDecks& decks_;
    LocalHttpServer server_;
};

int main(int argc, char* argv[]) {
    tessaly::PrepareWebEngine();
    RenderedDecks decks;
    WapGateway gateway(decks);
    if (!gateway.Start()) {
        return 1;
    }
    tessaly::RouteBrowserThroughGateway(gateway.Port());
    QApplication app(argc, argv);
    GatewayBrowserTest test(gateway, decks);
    return QTest::qExec(&test, argc, argv);
}

#include "gateway_browser_test.moc"
