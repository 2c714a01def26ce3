// A deck whose card, on entry, calls a small WMLScript function that sets the
// variable it shows, against the same deck setting the variable with a WML
// refresh task: the time from the start of the load until the card shows the
// result (its title is "结果42"), in the real engine. The unit travels in the
// page, as the sample site's and decks over https do.

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QWebEngineProfile>
#include <QWebEngineView>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "local_http_server.h"
#include "median.h"
#include "web_engine_setup.h"
#include "wml_conversion.h"

namespace {

using tessaly::bench::Median;

constexpr int Loads = 30;

constexpr char WithRefresh[] =
    "<wml><card id=\"a\" title=\"结果$(result)\"><onevent type=\"onenterforward\">"
    "<refresh><setvar name=\"result\" value=\"42\"/></refresh></onevent>"
    "<p>结果：$(result)</p></card></wml>";
constexpr char WithScript[] =
    "<wml><card id=\"a\" title=\"结果$(result)\"><onevent type=\"onenterforward\">"
    "<go href=\"calc.wmls#answer(6, 7)\"/></onevent>"
    "<p>结果：$(result)</p></card></wml>";
constexpr char Script[] =
    "extern function answer(a, b) {\n"
    "  WMLBrowser.setVar(\"result\", a * b);\n"
    "  WMLBrowser.refresh();\n"
    "}\n";

QByteArray Page(const char* deck, const QString& address) {
    const auto scripts = [](const std::string&) -> std::optional<tessaly::wap::FetchedScript> {
        return tessaly::wap::FetchedScript{Script, tessaly::wap::WmlScriptSourceType};
    };
    return QByteArray::fromStdString(
        tessaly::wap::ConvertWmlDeck(deck, address.toStdString(), "utf-8",
                                     tessaly::wap::RuntimeDelivery::InPage, {}, scripts)
            .body);
}

// Milliseconds from load() until the title shows the result.
double TimeToResult(QWebEngineView& view, const QString& url) {
    QEventLoop loop;
    auto shown = QObject::connect(view.page(), &QWebEnginePage::titleChanged, &loop,
                                  [&loop](const QString& title) {
                                      if (title == QStringLiteral("结果42")) {
                                          loop.quit();
                                      }
                                  });
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    QElapsedTimer timer;
    timer.start();
    view.load(QUrl(url));
    loop.exec();
    QObject::disconnect(shown);
    return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

}  // namespace

int main(int argc, char* argv[]) {
    tessaly::PrepareWebEngine();
    QApplication app(argc, argv);
    tessaly::testing::LocalHttpServer server;
    QWebEngineProfile profile;
    QWebEngineView view;
    view.setPage(new QWebEnginePage(&profile, &view));
    view.resize(480, 600);
    view.show();

    std::vector<double> plain, scripted;
    for (int i = 0; i < Loads + 2; ++i) {
        for (const bool script : {false, true}) {
            const QByteArray path =
                QByteArray(script ? "/script" : "/plain") + QByteArray::number(i);
            tessaly::testing::LocalHttpServer::Response page;
            page.body = Page(script ? WithScript : WithRefresh, server.Url(path));
            server.Route(path, page);
            const double ms = TimeToResult(view, server.Url(path));
            if (i >= 2) {  // the first loads start the engine's processes
                (script ? scripted : plain).push_back(ms);
            }
        }
    }
    const double plainMs = Median(plain);
    const double scriptMs = Median(scripted);
    std::printf("deck shows its result, refresh task:     %.2f ms (median of %d)\n", plainMs,
                Loads);
    std::printf("deck shows its result, WMLScript call:   %.2f ms (median of %d)\n", scriptMs,
                Loads);
    std::printf("script / refresh (target at most 1.3): %.3f\n", scriptMs / plainMs);
    return 0;
}
