// The WAP gateway's cost, all in one run: a small page through the gateway
// against the same page with the gateway off, a 64 MiB download the same
// two ways (at full speed, and paced at 100 MiB/s, the fastest link a user
// has), the memory the gateway adds at rest and with many idle connections,
// and a small page loaded while a 2 MB malformed deck is being converted.
// "Off" is a second server whose port the engine is told to reach directly.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>
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

#include <QTcpSocket>
#include <algorithm>
#include <cstdio>
#include <thread>
#include <vector>

#include "gateway_route.h"
#include "local_http_server.h"
#include "median.h"
#include "rendered_decks.h"
#include "wap_gateway.h"
#include "web_engine_setup.h"

namespace {

using tessaly::bench::Median;

constexpr int PageLoads = 40;
constexpr int Downloads = 5;
constexpr qsizetype DownloadBytes = 64 * 1024 * 1024;
// 100 MiB/s: 1 MiB every 10 ms.
constexpr int PaceChunkBytes = 1024 * 1024;
constexpr int PaceIntervalMs = 10;
constexpr int IdleConnections = 1000;
constexpr int HeaderFloodConnections = 2000;
constexpr int HeaderFloodBytes = 200 * 1024;

// Opens `count` connections to the gateway that send `headerBytes` of a
// request header that never ends, the way a hostile local process would;
// raw sockets, so that nothing they send stays in this process's memory.
std::vector<int> OpenIdleConnections(std::uint16_t port, int count, int headerBytes) {
    std::vector<int> sockets;
    const std::string header = "GET http://idle.example/ HTTP/1.1\r\nX-Filler: " +
                               std::string(static_cast<std::size_t>(headerBytes), 'f');
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    for (int i = 0; i < count; ++i) {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        if (fd < 0) {
            break;
        }
        if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            ::close(fd);
            break;
        }
        if (headerBytes > 0) {
            (void)::send(fd, header.data(), header.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
        }
        sockets.push_back(fd);
    }
    return sockets;
}

void CloseAll(std::vector<int>& sockets) {
    for (const int fd : sockets) {
        ::close(fd);
    }
    sockets.clear();
}

// This process opens as many sockets as the gateway serves: room for both.
void RaiseDescriptorLimit() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < 8192) {
        limit.rlim_cur = std::min<rlim_t>(limit.rlim_max, 8192);
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
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
    RaiseDescriptorLimit();
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
    viaGateway.Page("/page", page);
    direct.Page("/page", page);
    tessaly::testing::LocalHttpServer::Response file;
    file.contentType = "application/octet-stream";
    file.body = QByteArray(DownloadBytes, 'x');
    viaGateway.Route("/file.bin", file);
    direct.Route("/file.bin", file);
    file.chunkBytes = PaceChunkBytes;
    file.chunkIntervalMs = PaceIntervalMs;
    viaGateway.Route("/paced.bin", file);
    direct.Route("/paced.bin", file);
    // A deck that fails the first reading and goes through the lenient one.
    tessaly::testing::LocalHttpServer::Response badDeck;
    badDeck.contentType = "text/vnd.wap.wml";
    badDeck.body = "<wml><card><p>";
    while (badDeck.body.size() < 2 * 1024 * 1024) {
        badDeck.body += "A & B &c <b>unclosed ";
    }
    viaGateway.Route("/bad.wml", badDeck);

    // Everything goes through the gateway except the "direct" server's port.
    tessaly::RouteBrowserThroughGateway(gateway.Port());
    QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    flags.replace("<-loopback>",
                  "<-loopback>;127.0.0.1:" + QByteArray::number(QUrl(direct.Url("/")).port()));
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags);

    QWebEngineProfile profile;
    tessaly::SetGatewayCredentials(&profile, QString::fromStdString(gateway.User()),
                                   QString::fromStdString(gateway.Password()));
    QWebEngineView view;
    auto* viewPage = new QWebEnginePage(&profile, &view);
    tessaly::AnswerGatewayAuthentication(viewPage);
    view.setPage(viewPage);
    view.resize(600, 400);
    view.show();

    std::vector<double> through, off;
    for (int i = 0; i < PageLoads + 2; ++i) {
        const QString query = QStringLiteral("?n=%1").arg(i);
        const double gatewayMs = LoadMs(view, viaGateway.Url("/page") + query);
        const double directMs = LoadMs(view, direct.Url("/page") + query);
        if (i >= 2) {  // the first loads start the engine's processes
            through.push_back(gatewayMs);
            off.push_back(directMs);
        }
    }
    if (viaGateway.LastRequestHeaders().indexOf("MIDP-2.0") < 0 ||
        direct.LastRequestHeaders().indexOf("MIDP-2.0") >= 0) {
        std::printf("warning: the two servers were not reached the two ways\n");
    }
    const double pageThrough = Median(through);
    const double pageOff = Median(off);
    std::printf("small page, through the gateway: %.2f ms (median of %d)\n", pageThrough,
                PageLoads);
    std::printf("small page, gateway off:         %.2f ms (median of %d)\n", pageOff, PageLoads);
    std::printf("page through / off (target at most 1.05): %.3f\n", pageThrough / pageOff);

    QTemporaryDir folder;
    const double mibps = static_cast<double>(DownloadBytes) / (1024.0 * 1024.0);
    for (const bool paced : {false, true}) {
        const QString path = paced ? QStringLiteral("/paced.bin") : QStringLiteral("/file.bin");
        std::vector<double> downloadThrough, downloadOff;
        for (int i = 0; i < Downloads; ++i) {
            const QString query = QStringLiteral("?n=%1").arg(i);
            downloadThrough.push_back(
                DownloadMs(*viewPage, viaGateway.Url(path.toUtf8()) + query, folder.path()));
            downloadOff.push_back(
                DownloadMs(*viewPage, direct.Url(path.toUtf8()) + query, folder.path()));
        }
        const double throughRate = mibps / (Median(downloadThrough) / 1000.0);
        const double offRate = mibps / (Median(downloadOff) / 1000.0);
        const char* how = paced ? "paced at 100 MiB/s" : "at full speed";
        std::printf("64 MiB download %s, through the gateway: %.0f ms, %.1f MiB/s (median of %d)\n",
                    how, Median(downloadThrough), throughRate, Downloads);
        std::printf("64 MiB download %s, gateway off:         %.0f ms, %.1f MiB/s (median of %d)\n",
                    how, Median(downloadOff), offRate, Downloads);
        if (paced) {
            std::printf("paced download rate through / off (target at least 0.95): %.3f\n",
                        throughRate / offRate);
        } else {
            std::printf("download rate at full speed through / off (for reference): %.3f\n",
                        throughRate / offRate);
        }
    }

    // A 2 MB malformed deck converting while a small page loads.
    QTcpSocket deckClient;
    deckClient.connectToHost(QHostAddress::LocalHost, gateway.Port());
    deckClient.waitForConnected(5000);
    const QByteArray credentials =
        QByteArray::fromStdString(gateway.User() + ":" + gateway.Password()).toBase64();
    QElapsedTimer deckTimer;
    deckTimer.start();
    deckClient.write("GET " + viaGateway.Url("/bad.wml").toUtf8() +
                     " HTTP/1.1\r\nProxy-Authorization: Basic " + credentials + "\r\n\r\n");
    // The page is asked for once the site has the deck's request.
    WaitFor([&] { return !viaGateway.RequestHeaders("/bad.wml").isEmpty(); }, 5000);
    const double pageWhileDeck = LoadMs(view, viaGateway.Url("/page") + "?during-deck");
    WaitFor([&] { return deckClient.bytesAvailable() > 0; }, 60000);
    std::printf(
        "small page while a 2 MB malformed deck converts: %.2f ms (target under 1000); "
        "the deck's answer began after %lld ms\n",
        pageWhileDeck, static_cast<long long>(deckTimer.elapsed()));

    std::printf("gateway's memory at rest: %.2f MB (target under 5 MB)\n",
                static_cast<double>(atRest - before) / 1024.0);

    const long beforeIdle = ResidentKilobytes();
    std::vector<int> idle = OpenIdleConnections(gateway.Port(), IdleConnections, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    std::printf("gateway's memory with %zu idle connections: %.2f MB more (target under 50 MB)\n",
                idle.size(), static_cast<double>(ResidentKilobytes() - beforeIdle) / 1024.0);
    CloseAll(idle);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));

    const long beforeFlood = ResidentKilobytes();
    std::vector<int> flood =
        OpenIdleConnections(gateway.Port(), HeaderFloodConnections, HeaderFloodBytes);
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    std::printf(
        "gateway's memory with %zu connections each sending %d KB of header: "
        "%.2f MB more\n",
        flood.size(), HeaderFloodBytes / 1024,
        static_cast<double>(ResidentKilobytes() - beforeFlood) / 1024.0);
    CloseAll(flood);
    return 0;
}
