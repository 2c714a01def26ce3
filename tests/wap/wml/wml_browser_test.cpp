// Decks shown by the real browser engine. A loopback server converts each
// deck as the WAP gateway does and serves the page with its headers; the
// sample site's decks come through the program's own tessaly:// scheme.

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QHash>
#include <QInputDialog>
#include <QMessageBox>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QSslKey>
#include <QSslServer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWebEngineCertificateError>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>

#include "browser_pane.h"
#include "browser_pane_fixture.h"
#include "download_manager.h"
#include "page_input.h"
#include "raw_deck_rescue.h"
#include "rendered_decks.h"
#include "shell_open.h"
#include "stand_ins.h"
#include "start_page_scheme.h"
#include "web_test_main.h"
#include "wml_conversion.h"

using tessaly::BrowserPane;

namespace {

constexpr int LoadTimeoutMs = 30000;

// Serves decks converted to pages on 127.0.0.1 and records what was posted.
class DeckServer : public QObject {
public:
    explicit DeckServer(tessaly::wap::RenderedDecks& decks) : decks_(decks) {
        server_.listen(QHostAddress::LocalHost, 0);
        connect(&server_, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = server_.nextPendingConnection()) {
                socket->setParent(this);
                connect(socket, &QTcpSocket::readyRead, this, [this, socket] { Read(socket); });
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
    }

    void Deck(const QByteArray& path, const QByteArray& wml) { decksByPath_.insert(path, wml); }
    QString Url(const QByteArray& path) const {
        return QStringLiteral("http://127.0.0.1:%1%2").arg(server_.serverPort()).arg(path);
    }
    QByteArray PostedTo(const QByteArray& path) const { return posted_.value(path); }

private:
    void Read(QTcpSocket* socket) {
        QByteArray request = socket->property("pending").toByteArray() + socket->readAll();
        const qsizetype headEnd = request.indexOf("\r\n\r\n");
        qsizetype length = 0;
        for (const QByteArray& line : request.left(headEnd).split('\n')) {
            if (line.toLower().startsWith("content-length:")) {
                length = line.mid(15).trimmed().toLongLong();
            }
        }
        if (headEnd < 0 || request.size() < headEnd + 4 + length) {
            socket->setProperty("pending", request);
            return;
        }
        socket->setProperty("pending", QByteArray());
        const QList<QByteArray> words = request.left(request.indexOf("\r\n")).split(' ');
        const QByteArray path = words.value(1).split('?').value(0);
        if (words.value(0) == "POST") {
            posted_.insert(path, request.mid(headEnd + 4, length));
        }
        QByteArray head = "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n";
        std::string body;
        if (decksByPath_.contains(path)) {
            const QByteArray wml = decksByPath_.value(path);
            const std::string address = Url(words.value(1)).toStdString();
            const auto page = tessaly::wap::ConvertWmlDeck(
                std::string_view(wml.constData(), wml.size()), address, "");
            decks_.Add(address);
            body = page.body;
            head =
                "HTTP/1.1 200 OK\r\nContent-Type: " + QByteArray::fromStdString(page.contentType) +
                "\r\nContent-Length: " + QByteArray::number(qsizetype(body.size())) +
                "\r\nCache-Control: no-store\r\n";
            for (const auto& [name, value] : page.headers) {
                head += QByteArray::fromStdString(name + ": " + value + "\r\n");
            }
        }
        socket->write(head + "Connection: close\r\n\r\n");
        socket->write(body.data(), qsizetype(body.size()));
        socket->disconnectFromHost();
    }

    tessaly::wap::RenderedDecks& decks_;
    QTcpServer server_;
    QHash<QByteArray, QByteArray> decksByPath_;
    QHash<QByteArray, QByteArray> posted_;
};

// Serves one raw deck over https on 127.0.0.1 at /deck.<anything>, as a site
// would, and records the cookies each request carried. The first answer sets
// a cookie.
class TlsDeckServer : public QObject {
public:
    explicit TlsDeckServer(QByteArray deck, QByteArray type = "text/vnd.wap.wml; charset=utf-8")
        : deck_(std::move(deck)), type_(std::move(type)) {
        QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        QFile cert(QStringLiteral(TESSALY_TLS_DIR "/loopback.crt"));
        QFile key(QStringLiteral(TESSALY_TLS_DIR "/loopback.key"));
        if (cert.open(QIODevice::ReadOnly) && key.open(QIODevice::ReadOnly)) {
            tls.setLocalCertificate(QSslCertificate(&cert, QSsl::Pem));
            tls.setPrivateKey(QSslKey(&key, QSsl::Rsa, QSsl::Pem));
        }
        tls.setPeerVerifyMode(QSslSocket::VerifyNone);
        server_.setSslConfiguration(tls);
        server_.listen(QHostAddress::LocalHost, 0);
        connect(&server_, &QTcpServer::pendingConnectionAvailable, this, [this] {
            while (QTcpSocket* socket = server_.nextPendingConnection()) {
                socket->setParent(this);
                connect(socket, &QTcpSocket::readyRead, this, [this, socket] { Read(socket); });
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
    }

    QString Url(const char* path) const {
        return QStringLiteral("https://127.0.0.1:%1%2").arg(server_.serverPort()).arg(path);
    }
    QStringList cookies;        // one entry per request for the deck
    QByteArray extraHeaders;    // more header lines for the deck's answer, each ending in CRLF
    bool cutShort = false;      // the deck's answer ends halfway through its body
    QByteArray script;          // WMLScript source served at /calc.wmls, when set
    QStringList scriptCookies;  // one entry per request for the script

private:
    void Read(QTcpSocket* socket) {
        QByteArray request = socket->property("pending").toByteArray() + socket->readAll();
        const qsizetype headEnd = request.indexOf("\r\n\r\n");
        if (headEnd < 0) {
            socket->setProperty("pending", request);
            return;
        }
        QByteArray cookie;
        for (const QByteArray& line : request.left(headEnd).split('\n')) {
            if (line.toLower().startsWith("cookie:")) {
                cookie = line.mid(7).trimmed();
            }
        }
        const bool forDeck = request.startsWith("GET /deck.");
        QByteArray head = "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n";
        QByteArray body;
        if (forDeck) {
            cookies << QString::fromLatin1(cookie);
            body = cutShort ? deck_.left(deck_.size() / 2) : deck_;
            head = "HTTP/1.1 200 OK\r\nContent-Type: " + type_ +
                   "\r\nCache-Control: no-store\r\nSet-Cookie: visitor=42; Secure\r\n"
                   "Content-Length: " +
                   QByteArray::number(deck_.size()) + "\r\n" + extraHeaders;
        }
        if (request.startsWith("GET /calc.wmls") && !script.isEmpty()) {
            scriptCookies << QString::fromLatin1(cookie);
            body = script;
            head =
                "HTTP/1.1 200 OK\r\nContent-Type: text/vnd.wap.wmlscript\r\n"
                "Content-Length: " +
                QByteArray::number(script.size()) + "\r\n";
        }
        socket->write(head + "Connection: close\r\n\r\n" + body);
        socket->disconnectFromHost();
    }

    QByteArray deck_;
    QByteArray type_;
    QSslServer server_;
};

constexpr char TwoCards[] = R"wml(<?xml version="1.0"?>
<wml>
<card id="one" title="第一张">
<p>卡片一的内容 <a href="#two">去第二张</a></p>
</card>
<card id="two" title="第二张">
<p>卡片二的内容 <anchor>返回上一张<prev/></anchor></p>
</card>
</wml>)wml";

constexpr char SoftKeys[] = R"wml(<?xml version="1.0"?>
<wml>
<card id="menu" title="菜单">
<do type="accept" label="甲"><go href="#left"/></do>
<do type="options" label="乙"><go href="#right"/></do>
<p>按左右软键</p>
</card>
<card id="left" title="左"><p>左键到了</p></card>
<card id="right" title="右"><p>右键到了</p></card>
</wml>)wml";

constexpr char Splash[] = R"wml(<?xml version="1.0"?>
<wml>
<card id="splash" title="欢迎" ontimer="#main">
<timer value="5"/>
<p>正在进入</p>
</card>
<card id="main" title="主页"><p>计时已到的主页</p></card>
</wml>)wml";

// Two cards that change places every 100 ms by themselves, each with a link
// to a card that moves on at once (onenterforward).
constexpr char Carousel[] = R"wml(<?xml version="1.0"?>
<wml>
<card id="a" title="甲" ontimer="#b"><timer value="1"/><p><a href="#c">前往</a></p></card>
<card id="b" title="乙" ontimer="#a"><timer value="1"/><p><a href="#c">前往</a></p></card>
<card id="c" title="丙" onenterforward="#d"><p>经过</p></card>
<card id="d" title="丁"><p>终点的内容</p></card>
</wml>)wml";

constexpr char Form[] = R"wml(<?xml version="1.0"?>
<wml>
<card id="form" title="登记">
<p>名字：<input name="who" value="小明"/>
<select name="game"><option value="ninja">忍者</option><option value="racer">赛车</option></select>
<anchor>提交<go href="/submit.wml" method="post">
<postfield name="who" value="$(who)"/><postfield name="game" value="$(game)"/>
<setvar name="seen" value="&lt;b&gt;加粗&lt;/b&gt;"/>
</go></anchor></p>
</card>
</wml>)wml";

constexpr char Submitted[] = R"wml(<?xml version="1.0"?>
<wml>
<card title="已提交">
<p>欢迎 $(who)，你选了 $(game:n)。标记：$(seen)</p>
<p><a href="javascript:document.title='被攻破'">坏链接</a></p>
</card>
</wml>)wml";

}  // namespace

class WmlBrowserTest : public QObject, tessaly::testing::BrowserPaneFixture {
    Q_OBJECT

private slots:
    void init() {
        MakeProfile(this);
        auto* handler = new tessaly::StartPageSchemeHandler(profile_);
        handler->SetRenderedDecks(&decks_);
        profile_->installUrlSchemeHandler(tessaly::StartPageScheme, handler);
        ShowPane({480, 600}, [this](BrowserPane& pane) {
            pane.SetCardDocumentTest([this](const QUrl& document) {
                return decks_.Contains(document.toString().toStdString());
            });
            pane.SetRenderedDecks(&decks_);
        });
    }
    void cleanup() { DeletePane(); }

    void CardLinksPrevAndBackEachCountAsAPage() {
        server_.Deck("/cards.wml", TwoCards);
        pane_->Navigate(server_.Url("/cards.wml"));
        WaitForPages(1);
        QVERIFY(Text().contains(QStringLiteral("卡片一的内容")));
        QVERIFY(!Text().contains(QStringLiteral("卡片二的内容")));
        QCOMPARE(pane_->View()->title(), QStringLiteral("第一张"));

        Click("a.wml-link");
        WaitForPages(2);
        QCOMPARE(pane_->View()->url().fragment(), QStringLiteral("two"));
        QTRY_VERIFY_WITH_TIMEOUT(Text().contains(QStringLiteral("卡片二的内容")), LoadTimeoutMs);
        QVERIFY(!Text().contains(QStringLiteral("卡片一的内容")));
        QCOMPARE(pane_->View()->title(), QStringLiteral("第二张"));

        Click("section:not([hidden]) a.wml-link");  // prev
        WaitForPages(3);
        QTRY_VERIFY_WITH_TIMEOUT(Text().contains(QStringLiteral("卡片一的内容")), LoadTimeoutMs);

        pane_->GoForward();
        WaitForPages(4);
        QTRY_VERIFY_WITH_TIMEOUT(Text().contains(QStringLiteral("卡片二的内容")), LoadTimeoutMs);
        pane_->GoBack();
        WaitForPages(5);
        QTRY_VERIFY_WITH_TIMEOUT(Text().contains(QStringLiteral("卡片一的内容")), LoadTimeoutMs);
    }

    // F1 and F2 are a phone's left and right soft keys: the card's first
    // and second do, each marked with its key.
    void F1AndF2PressTheCardsSoftKeys() {
        server_.Deck("/keys.wml", SoftKeys);
        pane_->Navigate(server_.Url("/keys.wml"));
        WaitForPages(1);
        QCOMPARE(Run("getComputedStyle(document.querySelectorAll('.wml-do')[1], '::before')"
                     ".content"),
                 QVariant(QStringLiteral("\"F2\"")));
        pane_->activateWindow();
        QTest::keyClick(pane_->View()->focusProxy(), Qt::Key_F2);
        QTRY_VERIFY_WITH_TIMEOUT(Text().contains(QStringLiteral("右键到了")), LoadTimeoutMs);
        pane_->GoBack();
        QTRY_VERIFY_WITH_TIMEOUT(Text().contains(QStringLiteral("按左右软键")), LoadTimeoutMs);
        QTest::keyClick(pane_->View()->focusProxy(), Qt::Key_F1);
        QTRY_VERIFY_WITH_TIMEOUT(Text().contains(QStringLiteral("左键到了")), LoadTimeoutMs);
    }

    void ATimerMovesToItsCard() {
        server_.Deck("/splash.wml", Splash);
        pane_->Navigate(server_.Url("/splash.wml"));
        WaitForPages(1);
        // The timer is half a second; the deadline is the load deadline.
        QTRY_VERIFY_WITH_TIMEOUT(Text().contains(QStringLiteral("计时已到的主页")), LoadTimeoutMs);
        WaitForPages(2);
        QCOMPARE(pane_->View()->url().fragment(), QStringLiteral("main"));
    }

    void CardsTheDeckMovesToByItselfEarnOncePerLoad() {
        server_.Deck("/carousel.wml", Carousel);
        QSignalSpy moves(pane_->View()->page(), &QWebEnginePage::urlChanged);
        pane_->Navigate(server_.Url("/carousel.wml"));
        WaitForPages(1);
        QTRY_VERIFY_WITH_TIMEOUT(moves.count() >= 20, LoadTimeoutMs);
        QCOMPARE(log_->Count("DownloadComplete"), 2);  // the load and one card
        QCOMPARE(log_->Count("Navigate:"), 2);

        // The user's click earns as ever; the card it leads on to by itself
        // does not, this load's allowance being spent.
        Click("section:not([hidden]) a.wml-link");
        QTRY_VERIFY_WITH_TIMEOUT(Text().contains(QStringLiteral("终点的内容")), LoadTimeoutMs);
        // Checking an absence: the last card is shown, and an award for it
        // would come with its address change, which reaches the program in
        // a few milliseconds; half a second is a wide margin.
        QTest::qWait(500);
        QCOMPARE(log_->Count("Navigate:"), 3);
        QCOMPARE(log_->Count("DownloadComplete"), 3);

        // Loaded again: one more card of its own.
        pane_->Navigate(server_.Url("/carousel.wml"));
        WaitForPages(4);
        moves.clear();
        QTRY_VERIFY_WITH_TIMEOUT(moves.count() >= 20, LoadTimeoutMs);
        QCOMPARE(log_->Count("Navigate:"), 5);
        QCOMPARE(log_->Count("DownloadComplete"), 5);
    }

    void AFormPostsItsFieldsAndVariablesReachTheNextDeck() {
        server_.Deck("/form.wml", Form);
        server_.Deck("/submit.wml", Submitted);
        pane_->Navigate(server_.Url("/form.wml"));
        WaitForPages(1);
        // The user types a name and picks the second game.
        Run("var i=document.querySelector('input.wml-input');i.value='李<i>雷</i>';"
            "i.dispatchEvent(new Event('input',{bubbles:true}));"
            "var s=document.querySelector('select');s.selectedIndex=1;"
            "s.dispatchEvent(new Event('change',{bubbles:true}));");
        Click("a.wml-link");
        WaitForPages(2);
        QTRY_VERIFY_WITH_TIMEOUT(
            Text().contains(QStringLiteral("已提交")) || Text().contains(QStringLiteral("欢迎")),
            LoadTimeoutMs);
        const QByteArray posted = server_.PostedTo("/submit.wml");
        QCOMPARE(posted, QByteArray("who=%E6%9D%8E%3Ci%3E%E9%9B%B7%3C%2Fi%3E&game=racer"));

        // Variables, markup in them included, arrive as text.
        QTRY_VERIFY_WITH_TIMEOUT(Text().contains(QStringLiteral("欢迎 李<i>雷</i>，你选了 racer")),
                                 LoadTimeoutMs);
        QVERIFY(Text().contains(QStringLiteral("标记：<b>加粗</b>")));
        QCOMPARE(Run("document.querySelectorAll('main i, main b').length").toInt(), 0);

        // A javascript: link is refused and says so.
        Click("a.wml-link");
        QTRY_VERIFY_WITH_TIMEOUT(Text().contains(QStringLiteral("已拒绝")), LoadTimeoutMs);
        QCOMPARE(pane_->View()->title(), QStringLiteral("已提交"));
        QCOMPARE(log_->Count("Navigate:"), 2);
    }

    void ABrokenDeckShowsWhereItBroke() {
        server_.Deck("/broken.wml", "<wml><card><p>没有结束\n</card></wml>");
        pane_->Navigate(server_.Url("/broken.wml"));
        WaitForPages(1);
        QVERIFY(Text().contains(QStringLiteral("此 WML 页面有错误")));
        QVERIFY(Text().contains(QStringLiteral("第 2 行")));
    }

    void TheSampleSiteRunsFromTheProgram() {
        // The splash card's timer (two seconds) leads to the portal deck.
        pane_->Navigate(QStringLiteral("tessaly://start/wap/splash.wml"));
        WaitForPages(1);
        QTRY_VERIFY_WITH_TIMEOUT(Text().contains(QStringLiteral("新闻资讯")), LoadTimeoutMs);
        WaitForPages(2);
        Click("section:not([hidden]) a.wml-link[href$='#about']");
        WaitForPages(3);
        QTRY_VERIFY_WITH_TIMEOUT(Text().contains(QStringLiteral("无需联网")), LoadTimeoutMs);

        pane_->Navigate(QStringLiteral("tessaly://start/wap/gbk.wml"));
        WaitForPages(4);
        QVERIFY2(Text().contains(QStringLiteral("镕、喆、堃")), qPrintable(Text()));
    }

    // The sample site's scripts come with its decks: the converter loads a
    // second unit with use url; the guessing game asks with a dialog.
    void TheSampleSitesScriptsRun() {
        QStringList asked;
        QTimer answerer;
        connect(&answerer, &QTimer::timeout, this, [&asked] {
            QWidget* modal = QApplication::activeModalWidget();
            if (auto* input = qobject_cast<QInputDialog*>(modal)) {
                asked << input->labelText();
                input->setTextValue(QStringLiteral("50"));
                input->accept();
            } else if (auto* box = qobject_cast<QMessageBox*>(modal)) {
                asked << box->text();
                for (QAbstractButton* button : box->buttons()) {
                    if (button->text() == QStringLiteral("取消")) {
                        button->click();  // no second game
                    }
                }
            }
        });
        answerer.start(20);

        pane_->Navigate(QStringLiteral("tessaly://start/wap/script.wml#convert"));
        WaitForPages(1);
        Click("section:not([hidden]) a.wml-link");
        QTRY_VERIFY2_WITH_TIMEOUT(Text().contains(QStringLiteral("结果：71.00 元")),
                                  qPrintable(Text()), LoadTimeoutMs);

        pane_->Navigate(QStringLiteral("tessaly://start/wap/script.wml#guess"));
        QTRY_VERIFY2_WITH_TIMEOUT(Text().contains(QStringLiteral("我想好了")), qPrintable(Text()),
                                  LoadTimeoutMs);
        Click("section:not([hidden]) a.wml-link");
        QTRY_VERIFY2_WITH_TIMEOUT(Text().contains(QStringLiteral("已猜 1 次")), qPrintable(Text()),
                                  LoadTimeoutMs);
        QVERIFY(Text().contains(QStringLiteral("50 太")) ||
                Text().contains(QStringLiteral("猜中了")));
        QCOMPARE(asked.value(0), QStringLiteral("猜一个 1 到 100 之间的数："));
    }

    void ALocalDeckOpenedDirectlyIsShownConverted() {
        // Reached by address rather than through the gateway: the engine
        // shows the deck as source until it is written over.
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        QFile deck(folder.filePath(QStringLiteral("cards.wml")));
        QVERIFY(deck.open(QIODevice::WriteOnly));
        deck.write(TwoCards);
        deck.close();
        QSignalSpy rescued(pane_->DeckRescue(), &tessaly::RawDeckRescue::Rescued);

        const QUrl address = QUrl::fromLocalFile(deck.fileName());
        pane_->Navigate(address.toString());
        WaitForPages(1);
        QTRY_COMPARE_WITH_TIMEOUT(rescued.count(), 1, LoadTimeoutMs);
        QTRY_VERIFY_WITH_TIMEOUT(Text().contains(QStringLiteral("卡片一的内容")), LoadTimeoutMs);
        QVERIFY(!Text().contains(QStringLiteral("<card")));
        QVERIFY(!Text().contains(QStringLiteral("卡片二的内容")));
        QCOMPARE(pane_->View()->url(), address);
        QTRY_COMPARE_WITH_TIMEOUT(pane_->View()->title(), QStringLiteral("第一张"), LoadTimeoutMs);
        QCOMPARE(rescued.count(), 1);
        qInfo("local deck shown converted %lld ms after its load ended",
              rescued.at(0).at(1).toLongLong());

        // The rescue added no navigation; the card link is a card change.
        Click("a.wml-link");
        WaitForPages(2);
        QTRY_VERIFY_WITH_TIMEOUT(Text().contains(QStringLiteral("卡片二的内容")), LoadTimeoutMs);
        QCOMPARE(pane_->View()->url().fragment(), QStringLiteral("two"));
        QCOMPARE(rescued.count(), 1);

        // Back leaves the deck for the page before it, not for its source.
        server_.Deck("/before.wml", Splash);
        pane_->Navigate(server_.Url("/before.wml"));
        WaitForPages(3);
        pane_->GoBack();
        WaitForPages(4);
        QTRY_VERIFY_WITH_TIMEOUT(Text().contains(QStringLiteral("卡片二的内容")), LoadTimeoutMs);
        QVERIFY(!Text().contains(QStringLiteral("<card")));
    }

    void ADeckOverHttpsIsShownConvertedWithTheSitesCookies() {
        TlsDeckServer site(TwoCards);
        // The certificate is our own, for 127.0.0.1 only.
        connect(pane_->View()->page(), &QWebEnginePage::certificateError, this,
                [](QWebEngineCertificateError error) { error.acceptCertificate(); });
        QSignalSpy rescued(pane_->DeckRescue(), &tessaly::RawDeckRescue::Rescued);

        pane_->Navigate(site.Url("/deck.wml"));
        WaitForPages(1);
        QTRY_COMPARE_WITH_TIMEOUT(rescued.count(), 1, LoadTimeoutMs);
        QTRY_VERIFY_WITH_TIMEOUT(Text().contains(QStringLiteral("卡片一的内容")), LoadTimeoutMs);
        QVERIFY(!Text().contains(QStringLiteral("<card")));
        QVERIFY(!Text().contains(QStringLiteral("卡片二的内容")));
        QCOMPARE(pane_->View()->url(), QUrl(site.Url("/deck.wml")));
        QCOMPARE(rescued.count(), 1);
        qInfo("https deck shown converted %lld ms after its load ended",
              rescued.at(0).at(1).toLongLong());
        // One more request for the deck, and it carried the site's cookie.
        QCOMPARE(site.cookies, QStringList({QString(), QStringLiteral("visitor=42")}));

        Click("a.wml-link");
        WaitForPages(2);
        QTRY_VERIFY_WITH_TIMEOUT(Text().contains(QStringLiteral("卡片二的内容")), LoadTimeoutMs);
        QCOMPARE(pane_->View()->url().fragment(), QStringLiteral("two"));
        QCOMPARE(rescued.count(), 1);
    }

    // A deck over https carries the unit it calls: the program fetched it
    // from the site, with the site's cookies, and compiled it.
    void ADeckOverHttpsRunsTheScriptItCalls() {
        TlsDeckServer site(
            "<wml><card title=\"算\"><onevent type=\"onenterforward\">"
            "<go href=\"calc.wmls#answer(6, 7)\"/></onevent>"
            "<p>结果：$(result)</p></card></wml>");
        site.script = "extern function answer(a, b) { WMLBrowser.setVar(\"result\", a * b); }";
        connect(pane_->View()->page(), &QWebEnginePage::certificateError, this,
                [](QWebEngineCertificateError error) { error.acceptCertificate(); });
        pane_->Navigate(site.Url("/deck.wml"));
        QTRY_VERIFY2_WITH_TIMEOUT(Text().contains(QStringLiteral("结果：42")), qPrintable(Text()),
                                  LoadTimeoutMs);
        QCOMPARE(site.scriptCookies, QStringList{QStringLiteral("visitor=42")});
    }

    void ABinaryDeckOverHttpsIsShownAsItsPageNotOfferedAsAFile() {
        // cards.wmlc is cards.wml encoded by libwbxml2's xml2wbxml.
        QFile binary(QStringLiteral(TESSALY_WML_DECKS "/cards.wmlc"));
        QVERIFY(binary.open(QIODevice::ReadOnly));
        TlsDeckServer site(binary.readAll(), "application/vnd.wap.wmlc");
        connect(pane_->View()->page(), &QWebEnginePage::certificateError, this,
                [](QWebEngineCertificateError error) { error.acceptCertificate(); });
        tessaly::testing::RecordingShell shell;
        QStringList asked;
        tessaly::DownloadManager downloads(
            profile_, shell, [&asked](QWidget*, const QString& proposed, const QString&) {
                asked << proposed;
                return QString();
            });
        // The deck passes through a folder made in the temporary folder.
        QTemporaryDir temporary;
        QVERIFY(temporary.isValid());
        const QByteArray oldTemporary = qgetenv("TMPDIR");
        qputenv("TMPDIR", QFile::encodeName(temporary.path()));
        const auto restore = qScopeGuard([&] {
            if (oldTemporary.isEmpty()) {
                qunsetenv("TMPDIR");
            } else {
                qputenv("TMPDIR", oldTemporary);
            }
        });
        QSignalSpy rescued(pane_->DeckRescue(), &tessaly::RawDeckRescue::Rescued);

        const QString address = site.Url("/deck.wmlc");
        pane_->Navigate(address);
        WaitForPages(1);
        QTRY_COMPARE_WITH_TIMEOUT(rescued.count(), 1, LoadTimeoutMs);
        QTRY_VERIFY_WITH_TIMEOUT(Text().contains(QStringLiteral("欢迎光临")), LoadTimeoutMs);
        QVERIFY(!Text().contains(QStringLiteral("这是第二张卡片")));
        QCOMPARE(pane_->View()->url(), QUrl(address));
        QCOMPARE(Run(QStringLiteral("location.href")).toString(), address);
        QCOMPARE(log_->LastOf("Navigate:"), "Navigate:" + address);
        // The stopped navigation was not reported: the page is its end.
        QCOMPARE(log_->Count("Status:已停止"), 0);
        QVERIFY2(asked.isEmpty() && downloads.Items().isEmpty(), qPrintable(asked.join(' ')));
        // The navigation's own answer was used, not a second request, and
        // nothing of it stays on disk.
        QCOMPARE(site.cookies, QStringList({QString()}));
        QVERIFY(QDir(temporary.path()).isEmpty());
        qInfo("binary deck shown converted %lld ms after its load ended",
              rescued.at(0).at(1).toLongLong());

        Click("a.wml-link");
        WaitForPages(2);
        QTRY_VERIFY_WITH_TIMEOUT(Text().contains(QStringLiteral("这是第二张卡片")), LoadTimeoutMs);
        QCOMPARE(pane_->View()->url().fragment(), QStringLiteral("second"));
        QCOMPARE(rescued.count(), 1);

        // One that cannot be decoded is not lost: its page says so, as the
        // gateway's does.
        TlsDeckServer broken("\x03\x04 not a deck", "application/vnd.wap.wmlc");
        pane_->Navigate(broken.Url("/deck.wmlc"));
        WaitForPages(3);
        QTRY_VERIFY_WITH_TIMEOUT(Text().contains(QStringLiteral("无法显示此页")), LoadTimeoutMs);
        QCOMPARE(pane_->View()->url(), QUrl(broken.Url("/deck.wmlc")));
        QVERIFY(asked.isEmpty() && downloads.Items().isEmpty());
        QVERIFY(QDir(temporary.path()).isEmpty());

        // One whose transfer breaks off is a failed load, not a broken deck.
        binary.seek(0);
        TlsDeckServer cut(binary.readAll(), "application/vnd.wap.wmlc");
        cut.cutShort = true;
        pane_->Navigate(cut.Url("/deck.wmlc"));
        WaitForPages(4);
        QCOMPARE(log_->LastOf("Status:"), "Status:无法打开网页 " + cut.Url("/deck.wmlc"));
        QVERIFY(asked.isEmpty() && downloads.Items().isEmpty());
        QVERIFY(QDir(temporary.path()).isEmpty());

        // One the site sends as a named attachment is a file to save, never
        // a page of that site.
        binary.seek(0);
        TlsDeckServer attachment(binary.readAll(), "application/vnd.wap.wmlc");
        attachment.extraHeaders = "Content-Disposition: attachment; filename=\"game.wmlc\"\r\n";
        pane_->Navigate(attachment.Url("/deck.wmlc"));
        QTRY_COMPARE_WITH_TIMEOUT(asked.size(), 1, LoadTimeoutMs);
        QVERIFY2(asked.first().endsWith(QLatin1String("game.wmlc")), qPrintable(asked.first()));
        QCOMPARE(pane_->View()->url(), QUrl(broken.Url("/deck.wmlc")));
    }

    // A card reached by the first card's onenterforward goes back at once:
    // the prev returns to the first card (running its onenterbackward), it
    // does not leave the deck, even though both moves happen while the deck
    // is still loading.
    void APrevOnEnteringACardReachedOnEnteringReturnsToTheFirstCard() {
        server_.Deck("/before.wml", "<wml><card title=\"前\"><p>之前的页面</p></card></wml>");
        server_.Deck("/bounce.wml",
                     "<wml><card id=\"a\" title=\"甲\" onenterforward=\"#b\">"
                     "<onevent type=\"onenterbackward\"><refresh>"
                     "<setvar name=\"back\" value=\"回来了\"/></refresh></onevent>"
                     "<p>状态：$(back)</p></card>"
                     "<card id=\"b\" title=\"乙\"><onevent "
                     "type=\"onenterforward\"><prev/></onevent><p>乙的内容</p></card></wml>");
        pane_->Navigate(server_.Url("/before.wml"));
        WaitForPages(1);
        pane_->Navigate(server_.Url("/bounce.wml"));
        QTRY_VERIFY_WITH_TIMEOUT(Text().contains(QStringLiteral("状态：回来了")), LoadTimeoutMs);
        QCOMPARE(pane_->View()->url().adjusted(QUrl::RemoveFragment),
                 QUrl(server_.Url("/bounce.wml")));
        QCOMPARE(pane_->View()->title(), QStringLiteral("甲"));
    }

    void APrevWithNowhereToGoKeepsTheVariablesItSet() {
        server_.Deck("/alone.wml",
                     "<wml><card title=\"独\"><p>标记：$(mark) <anchor>设置<prev>"
                     "<setvar name=\"mark\" value=\"已设\"/></prev></anchor></p></card></wml>");
        pane_->Navigate(server_.Url("/alone.wml"));
        WaitForPages(1);
        Click("a.wml-link");
        // The deck is the first of the session: prev goes nowhere, and
        // leaving the deck must not lose what it set.
        QTRY_VERIFY_WITH_TIMEOUT(
            Run(QStringLiteral("JSON.parse(sessionStorage.getItem('tessaly.wml.context'))"
                               ".vars.v_mark === '已设'"))
                .toBool(),
            LoadTimeoutMs);
        pane_->Refresh();
        WaitForPages(2);
        QTRY_VERIFY_WITH_TIMEOUT(Text().contains(QStringLiteral("标记：已设")), LoadTimeoutMs);
    }

private:
    void WaitForPages(int pages) {
        QTRY_VERIFY2_WITH_TIMEOUT(log_->Count("DownloadComplete") >= pages,
                                  qPrintable(log_->events.join('\n')), LoadTimeoutMs);
        QTRY_COMPARE_WITH_TIMEOUT(log_->Count("Navigate:"), pages, LoadTimeoutMs);
        QCOMPARE(log_->Count("DownloadComplete"), pages);
    }

    QVariant Run(const QString& script) {
        return tessaly::testing::RunScript(pane_->View(), script, LoadTimeoutMs);
    }

    QString Text() { return Run(QStringLiteral("document.body.innerText")).toString(); }

    // A click as the user makes it, with the mouse: the engine treats what
    // follows as the user's own doing (history entries made without a user
    // gesture are skipped by Back).
    void Click(const char* selector) {
        const QString script =
            QStringLiteral(
                "(function(){var e=document.querySelector(\"%1\");if(!e)return null;"
                "e.scrollIntoView({block:'center'});var r=e.getBoundingClientRect();"
                "return [Math.round(r.left+Math.min(r.width/2,8)),"
                "Math.round(r.top+r.height/2)];})()")
                .arg(QLatin1String(selector));
        const QVariantList at = Run(script).toList();
        QVERIFY2(at.size() == 2, selector);
        QWidget* surface = pane_->View()->focusProxy();
        QVERIFY(surface);
        const QPoint point(at[0].toInt(), at[1].toInt());
        QTest::mouseMove(surface, point);
        QTest::mouseClick(surface, Qt::LeftButton, {}, point);
    }

    tessaly::wap::RenderedDecks decks_;
    DeckServer server_{decks_};
};

TESSALY_WEB_TEST_MAIN(WmlBrowserTest)
#include "wml_browser_test.moc"
