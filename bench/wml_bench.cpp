// WML decks: how fast the transcoder turns a 200 KB deck into a page, and the
// time from Navigate to DownloadComplete for a deck served as text/vnd.wap.wml
// and converted by the gateway, against the same content served as a plain
// HTML page through the same gateway, in the same run.

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QWebEngineProfile>
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "browser_pane.h"
#include "gateway_route.h"
#include "local_http_server.h"
#include "median.h"
#include "rendered_decks.h"
#include "wap_gateway.h"
#include "web_engine_setup.h"
#include "wml_conversion.h"

namespace {

using tessaly::bench::Median;

constexpr int Loads = 100;

// A deck of news cards in the manner of a portal: paragraphs, links between
// cards and to other decks, a variable, a form field and soft keys.
std::string NewsDeck(std::size_t targetBytes) {
    std::string deck =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<!DOCTYPE wml PUBLIC \"-//WAPFORUM//DTD WML 1.1//EN\" "
        "\"http://www.wapforum.org/DTD/wml_1.1.xml\">\n<wml>\n"
        "<template><do type=\"prev\" label=\"返回\"><prev/></do></template>\n";
    for (int card = 0; deck.size() < targetBytes; ++card) {
        const std::string n = std::to_string(card);
        deck += "<card id=\"c" + n + "\" title=\"新闻 " + n + "\">\n<p align=\"center\"><b>第 " +
                n + " 条新闻</b></p>\n";
        deck +=
            "<p>暑期手机游戏排行出炉，动作类与益智类平分秋色，《忍者跳跳》人气第一。"
            "新游戏大多提供 176&#215;208 与 240&#215;320 两种版本&nbsp;下载前请看清机型。</p>\n";
        deck += "<p>你好，$(nick)！<input name=\"q" + n + "\" title=\"搜索\"/></p>\n";
        deck += "<p><a href=\"#c" + std::to_string(card + 1) +
                "\">下一条</a> | <a href=\"/news.wml?id=" + n + "\">详情</a></p>\n";
        deck +=
            "<do type=\"accept\" label=\"搜索\"><go href=\"/s.wml\" method=\"post\">"
            "<postfield name=\"q\" value=\"$(q" +
            n + ")\"/></go></do>\n</card>\n";
    }
    return deck + "</wml>\n";
}

// The same cards written by hand as one HTML page.
QByteArray NewsHtml(int cards) {
    QByteArray html =
        "<!DOCTYPE html><html lang=\"zh-CN\"><head><meta charset=\"utf-8\"><title>新闻 0</title>"
        "</head><body>";
    for (int card = 0; card < cards; ++card) {
        const QByteArray n = QByteArray::number(card);
        html += "<section" + QByteArray(card ? " hidden" : "") + "><h3>新闻 " + n +
                "</h3><p style=\"text-align:center\"><b>第 " + n + " 条新闻</b></p>";
        html +=
            "<p>暑期手机游戏排行出炉，动作类与益智类平分秋色，《忍者跳跳》人气第一。"
            "新游戏大多提供 176×208 与 240×320 两种版本&nbsp;下载前请看清机型。</p>";
        html += "<p>你好，！<input title=\"搜索\"></p><p><a href=\"#c" +
                QByteArray::number(card + 1) + "\">下一条</a> | <a href=\"/news.wml?id=" + n +
                "\">详情</a></p>";
        html += "<div><button>搜索</button> <button>返回</button></div></section>";
    }
    return html + "</body></html>";
}

void TranscodingThroughput() {
    const std::string deck = NewsDeck(200 * 1024);
    const std::string url = "http://127.0.0.1/news.wml";
    tessaly::wap::ConvertWmlDeck(deck, url, "");  // warm up
    int conversions = 0;
    std::size_t produced = 0;
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 2000 || conversions < 5) {
        produced += tessaly::wap::ConvertWmlDeck(deck, url, "").body.size();
        ++conversions;
    }
    const double seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
    const double megabytesPerSecond =
        static_cast<double>(deck.size()) * conversions / seconds / (1024.0 * 1024.0);
    std::printf(
        "transcoding a %zu-byte deck: %.2f ms per deck, %.1f MB/s (target over 20), "
        "page %zu bytes\n",
        deck.size(), seconds * 1000 / conversions, megabytesPerSecond,
        produced / static_cast<std::size_t>(conversions));
}

}  // namespace

int main(int argc, char* argv[]) {
    tessaly::PrepareWebEngine();
    QApplication app(argc, argv);

    TranscodingThroughput();

    // A deck of the size portals sent (a few KB) against the same content as HTML.
    const std::string deck = NewsDeck(6 * 1024);
    int cards = 0;
    for (std::size_t at = deck.find("<card "); at != std::string::npos;
         at = deck.find("<card ", at + 1)) {
        ++cards;
    }
    tessaly::testing::LocalHttpServer server;
    tessaly::testing::LocalHttpServer::Response html;
    html.body = NewsHtml(cards);
    server.Route("/news.html", html);
    tessaly::testing::LocalHttpServer::Response wml;
    wml.contentType = "text/vnd.wap.wml; charset=utf-8";
    wml.body = QByteArray::fromStdString(deck);
    server.Route("/news.wml", wml);
    server.Page("/start.html", "<p>Start</p>");

    // Both pages go through the gateway, as every page of the program does.
    tessaly::wap::RenderedDecks decks;
    tessaly::wap::WapGateway gateway(decks);
    if (!gateway.Start()) {
        std::printf("the gateway could not listen\n");
        return 1;
    }
    tessaly::RouteBrowserThroughGateway(gateway.Port());
    QWebEngineProfile profile;
    tessaly::SetGatewayCredentials(&profile, QString::fromStdString(gateway.User()),
                                   QString::fromStdString(gateway.Password()));
    tessaly::BrowserPane pane(&profile);
    pane.resize(480, 640);
    pane.show();

    auto timeLoad = [&](const QString& url) {
        QEventLoop loop;
        auto done =
            QObject::connect(&pane, &tessaly::Browser::DownloadComplete, &loop, &QEventLoop::quit);
        QElapsedTimer timer;
        timer.start();
        pane.Navigate(url);
        loop.exec();
        QObject::disconnect(done);
        return static_cast<double>(timer.nsecsElapsed()) / 1e6;
    };

    std::vector<double> wmlTimes, htmlTimes;
    for (int i = 0; i < Loads + 2; ++i) {
        // Each timed load starts from the same small page: what the engine
        // does when it leaves a page (and whether it keeps that page for
        // Back) costs the load that follows, so neither kind of page pays for
        // the other.
        const QString query = QStringLiteral("?n=%1").arg(i);
        timeLoad(server.Url("/start.html") + query);
        const double wmlMs = timeLoad(server.Url("/news.wml") + query);
        timeLoad(server.Url("/start.html") + query + QStringLiteral("&again"));
        const double htmlMs = timeLoad(server.Url("/news.html") + query);
        if (i >= 2) {  // the first loads start the engine's processes
            wmlTimes.push_back(wmlMs);
            htmlTimes.push_back(htmlMs);
        }
    }
    const double wmlMedian = Median(wmlTimes);
    const double htmlMedian = Median(htmlTimes);
    std::printf("deck of %zu bytes (%d cards), converted and shown: %.2f ms (median of %d)\n",
                deck.size(), cards, wmlMedian, Loads);
    std::printf("same content as an HTML page:                 %.2f ms (median of %d)\n",
                htmlMedian, Loads);
    std::printf("WML / HTML (target at most 1.2): %.3f\n", wmlMedian / htmlMedian);
    return 0;
}
