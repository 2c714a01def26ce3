// The WAP gateway's cost, all in one run: a small page through the gateway
// against the same page with the gateway off, a 64 MiB download the same
// two ways, and the memory the gateway adds at rest. "Off" is a second
// server whose port the engine is told to reach directly.

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <QWebEngineDownloadRequest>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>
#include <algorithm>
#include <cstdio>
#include <thread>
#include <vector>

#include "gateway_route.h"
#include "local_http_server.h"
#include "rendered_decks.h"
#include "wap_gateway.h"
#include "web_engine_setup.h"

namespace {

constexpr int PageLoads = 40;
constexpr int Downloads = 5;
constexpr qsizetype DownloadBytes = 64 * 1024 * 1024;

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

long ResidentKilobytes() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) {
        return 0;
    }
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:")) {
            return line.mid(6).trimmed().split(' ').value(0).toLong();
        }
    }
    return 0;
}

// Waits for `done` with a deadline; false when it never came.
template <class Condition>
bool WaitFor(Condition done, int ms) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < ms) {
        QEventLoop loop;
        QTimer::singleShot(2, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return done();
}

double LoadMs(QWebEngineView& view, const QString& url) {
    bool finished = false;
    auto connection =
        QObject::connect(&view, &QWebEngineView::loadFinished, [&](bool) { finished = true; });
    QElapsedTimer timer;
    timer.start();
    view.load(QUrl(url));
    WaitFor([&] { return finished; }, 30000);
    QObject::disconnect(connection);
    return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

double DownloadMs(QWebEnginePage& page, const QString& url, const QString& folder) {
    QWebEngineDownloadRequest* download = nullptr;
    auto connection = QObject::connect(page.profile(), &QWebEngineProfile::downloadRequested,
                                       [&](QWebEngineDownloadRequest* request) {
                                           request->setDownloadDirectory(folder);
                                           request->accept();
                                           download = request;
                                       });
    QElapsedTimer timer;
    timer.start();
    page.download(QUrl(url));
    WaitFor([&] { return download && download->isFinished(); }, 120000);
    const double ms = static_cast<double>(timer.nsecsElapsed()) / 1e6;
    QObject::disconnect(connection);
    if (download && download->receivedBytes() != DownloadBytes) {
        std::printf("warning: download received %lld bytes\n",
                    static_cast<long long>(download->receivedBytes()));
    }
    if (download) {
        QFile::remove(download->downloadDirectory() + "/" + download->downloadFileName());
    }
    return ms;
}

}  // namespace

int main(int argc, char* argv[]) {
    tessaly::PrepareWebEngine();
    QApplication app(argc, argv);

    const long before = ResidentKilobytes();
    tessaly::wap::RenderedDecks decks;
    tessaly::wap::WapGateway gateway(decks);
    if (!gateway.Start()) {
        std::printf("the gateway could not listen\n");
        return 1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const long atRest = ResidentKilobytes();

    tessaly::testing::LocalHttpServer viaGateway;
    tessaly::testing::LocalHttpServer direct;
    const QByteArray page = "<h1>小页面</h1><p>一个很小的测试页面。</p>";
    viaGateway.page("/page", page);
    direct.page("/page", page);
    tessaly::testing::LocalHttpServer::Response file;
    file.contentType = "application/octet-stream";
    file.body = QByteArray(DownloadBytes, 'x');
    viaGateway.route("/file.bin", file);
    direct.route("/file.bin", file);

    // Everything goes through the gateway except the "direct" server's port.
    tessaly::RouteBrowserThroughGateway(gateway.port());
    QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    flags.replace("<-loopback>",
                  "<-loopback>;127.0.0.1:" + QByteArray::number(QUrl(direct.url("/")).port()));
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags);

    QWebEngineProfile profile;
    tessaly::SetGatewayCredentials(&profile, QString::fromStdString(gateway.user()),
                                   QString::fromStdString(gateway.password()));
    QWebEngineView view;
    auto* viewPage = new QWebEnginePage(&profile, &view);
    tessaly::AnswerGatewayAuthentication(viewPage);
    view.setPage(viewPage);
    view.resize(600, 400);
    view.show();

    std::vector<double> through, off;
    for (int i = 0; i < PageLoads + 2; ++i) {
        const QString query = QStringLiteral("?n=%1").arg(i);
        const double gatewayMs = LoadMs(view, viaGateway.url("/page") + query);
        const double directMs = LoadMs(view, direct.url("/page") + query);
        if (i >= 2) {  // the first loads start the engine's processes
            through.push_back(gatewayMs);
            off.push_back(directMs);
        }
    }
    if (viaGateway.lastRequestHeaders().indexOf("MIDP-2.0") < 0 ||
        direct.lastRequestHeaders().indexOf("MIDP-2.0") >= 0) {
        std::printf("warning: the two servers were not reached the two ways\n");
    }
    const double pageThrough = Median(through);
    const double pageOff = Median(off);
    std::printf("small page, through the gateway: %.2f ms (median of %d)\n", pageThrough,
                PageLoads);
    std::printf("small page, gateway off:         %.2f ms (median of %d)\n", pageOff, PageLoads);
    std::printf("page through / off (target at most 1.05): %.3f\n", pageThrough / pageOff);

    QTemporaryDir folder;
    std::vector<double> downloadThrough, downloadOff;
    for (int i = 0; i < Downloads; ++i) {
        const QString query = QStringLiteral("?n=%1").arg(i);
        downloadThrough.push_back(
            DownloadMs(*viewPage, viaGateway.url("/file.bin") + query, folder.path()));
        downloadOff.push_back(
            DownloadMs(*viewPage, direct.url("/file.bin") + query, folder.path()));
    }
    const double mibps = static_cast<double>(DownloadBytes) / (1024.0 * 1024.0);
    const double throughRate = mibps / (Median(downloadThrough) / 1000.0);
    const double offRate = mibps / (Median(downloadOff) / 1000.0);
    std::printf("64 MiB download, through the gateway: %.0f ms, %.1f MiB/s (median of %d)\n",
                Median(downloadThrough), throughRate, Downloads);
    std::printf("64 MiB download, gateway off:         %.0f ms, %.1f MiB/s (median of %d)\n",
                Median(downloadOff), offRate, Downloads);
    std::printf("download rate through / off (target at least 0.95): %.3f\n",
                throughRate / offRate);

    std::printf("gateway's memory at rest: %.2f MB (target under 5 MB)\n",
                static_cast<double>(atRest - before) / 1024.0);
    return 0;
}
