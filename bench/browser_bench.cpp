// The browser pane's own cost: delivering one status-text notification to a
// receiver, and the time from Navigate to DownloadComplete for a small page
// on 127.0.0.1, against a bare QWebEngineView loading the same page in the
// same run.

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QWebEngineProfile>
#include <QWebEngineView>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "browser_events.h"
#include "browser_pane.h"
#include "local_http_server.h"
#include "median.h"
#include "web_engine_setup.h"

namespace {

using tessaly::bench::Median;

constexpr int Loads = 40;

// The pane forwards each notification of its engine mapping as its own signal.
double NanosecondsPerStatusText() {
    constexpr int Deliveries = 1000000;
    tessaly::BrowserEvents events;
    QObject forwarder;
    long long received = 0;
    QObject::connect(&events, &tessaly::BrowserEvents::StatusTextChange, &forwarder,
                     [&](const QString& text) { received += text.size(); });
    const QString links[2] = {QStringLiteral("http://127.0.0.1/a"),
                              QStringLiteral("http://127.0.0.1/b")};
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < Deliveries; ++i) {
        events.LinkHovered(links[i & 1]);
    }
    const double ns = static_cast<double>(timer.nsecsElapsed()) / Deliveries;
    return received > 0 ? ns : 0;
}

}  // namespace

int main(int argc, char* argv[]) {
    tessaly::PrepareWebEngine();
    QApplication app(argc, argv);
    tessaly::testing::LocalHttpServer server;
    server.Page("/page", "<h1>小页面</h1><p>一个很小的测试页面。</p>");

    std::printf("status-text delivery: %.1f ns per notification\n", NanosecondsPerStatusText());

    QWebEngineProfile profile;
    tessaly::BrowserPane pane(&profile);
    QWebEngineView bare;
    bare.setPage(new QWebEnginePage(&profile, &bare));
    pane.resize(600, 400);
    bare.resize(600, 400);
    pane.show();
    bare.show();

    std::vector<double> paneTimes, bareTimes;
    for (int i = 0; i < Loads + 2; ++i) {
        const QString url = server.Url("/page") + QStringLiteral("?n=%1").arg(i);
        QEventLoop paneLoop;
        auto paneDone = QObject::connect(&pane, &tessaly::Browser::DownloadComplete, &paneLoop,
                                         &QEventLoop::quit);
        QElapsedTimer timer;
        timer.start();
        pane.Navigate(url);
        paneLoop.exec();
        const double paneMs = static_cast<double>(timer.nsecsElapsed()) / 1e6;
        QObject::disconnect(paneDone);

        QEventLoop bareLoop;
        auto bareDone =
            QObject::connect(&bare, &QWebEngineView::loadFinished, &bareLoop, &QEventLoop::quit);
        timer.restart();
        bare.load(QUrl(url + QStringLiteral("&bare")));
        bareLoop.exec();
        const double bareMs = static_cast<double>(timer.nsecsElapsed()) / 1e6;
        QObject::disconnect(bareDone);

        if (i >= 2) {  // the first loads start the engine's processes
            paneTimes.push_back(paneMs);
            bareTimes.push_back(bareMs);
        }
    }
    const double paneMedian = Median(paneTimes);
    const double bareMedian = Median(bareTimes);
    std::printf("Navigate to DownloadComplete, small page: %.2f ms (median of %d)\n", paneMedian,
                Loads);
    std::printf("bare QWebEngineView load:                  %.2f ms (median of %d)\n", bareMedian,
                Loads);
    std::printf("pane / bare view (target at most 1.05): %.3f\n", paneMedian / bareMedian);
    return 0;
}
