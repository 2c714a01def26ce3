// Throughput of one 64 MiB download from a server on 127.0.0.1: through the
// browser pane and the download manager (from the navigation to the file
// under its final name), against the same file fetched by
// QNetworkAccessManager alone into a file. Run with QT_QPA_PLATFORM=offscreen.
// Judged by the ratio pane / plain over bare loopback, aimed at 0.8 or more;
// a second series has the server pace itself like a fast network.

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QWebEngineDownloadRequest>
#include <QWebEngineProfile>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "../median.h"
#include "browser_pane.h"
#include "download_manager.h"
#include "local_http_server.h"
#include "shell_open.h"
#include "web_engine_setup.h"

namespace {

using tessaly::bench::Median;

constexpr qint64 FileBytes = 64LL * 1024 * 1024;
constexpr int Rounds = 7;
// A second series with the server sending at most this fast, as a fast
// network would, to show the cost of the pane where the network sets the pace.
constexpr int PacedMiBPerSecond = 50;
constexpr int PacedRounds = 3;
constexpr int TimeoutMs = 120000;

class NoShell : public tessaly::ShellOpener {
public:
    void ShellOpen(QWidget*, const QString&) override {}
};

QByteArray Body() {
    QByteArray data(FileBytes, Qt::Uninitialized);
    quint32 x = 2463534242u;  // xorshift: incompressible, reproducible
    for (qint64 i = 0; i < FileBytes; i += 4) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        std::memcpy(data.data() + i, &x, 4);
    }
    return data;
}

double MiBPerSecond(qint64 ms) {
    return double(FileBytes) / (1024.0 * 1024.0) / (double(std::max<qint64>(ms, 1)) / 1000.0);
}

// QNetworkAccessManager alone, writing each chunk to the file as it comes.
// The time in ms, or -1 when the file did not arrive whole.
qint64 FetchPlain(QNetworkAccessManager& network, const QUrl& url, const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return -1;
    }
    QElapsedTimer timer;
    timer.start();
    QNetworkReply* reply = network.get(QNetworkRequest(url));
    QObject::connect(reply, &QNetworkReply::readyRead, [&] { file.write(reply->readAll()); });
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(TimeoutMs, &loop, &QEventLoop::quit);
    loop.exec();
    file.write(reply->readAll());
    file.close();
    const qint64 ms = timer.elapsed();
    const bool ok =
        reply->isFinished() && reply->error() == QNetworkReply::NoError && file.size() == FileBytes;
    reply->abort();
    reply->deleteLater();
    return ok ? ms : -1;
}

struct PaneResult {
    qint64 ms = -1;         // -1 when the file did not arrive whole
    qint64 offeredMs = -1;  // until the engine offered the download
};

// A navigation in the pane, answered by the manager without a dialog.
PaneResult FetchThroughPane(tessaly::BrowserPane& pane, tessaly::DownloadManager& manager,
                            const QString& url) {
    PaneResult result;
    QElapsedTimer timer;
    QEventLoop loop;
    tessaly::DownloadItem* item = nullptr;
    const auto added = QObject::connect(
        &manager, &tessaly::DownloadManager::DownloadAdded, [&](tessaly::DownloadItem* added) {
            item = added;
            result.offeredMs = timer.elapsed();
            QObject::connect(added, &tessaly::DownloadItem::Done, &loop, &QEventLoop::quit);
        });
    QTimer::singleShot(TimeoutMs, &loop, &QEventLoop::quit);
    timer.start();
    pane.Navigate(url);
    loop.exec();
    const qint64 ms = timer.elapsed();
    QObject::disconnect(added);
    if (item && item->GetState() == tessaly::DownloadItem::State::Finished &&
        QFileInfo(item->FilePath()).size() == FileBytes) {
        result.ms = ms;
    }
    if (item) {
        QFile::remove(item->FilePath());
    }
    return result;
}

// The same navigation in a pane of a second profile whose downloads are
// accepted as they come, with nothing else: what the engine alone manages.
qint64 FetchBare(tessaly::BrowserPane& pane, QWebEngineProfile& profile, const QString& folder,
                 const QString& url) {
    QElapsedTimer timer;
    QEventLoop loop;
    QPointer<QWebEngineDownloadRequest> request;
    const auto requested = QObject::connect(
        &profile, &QWebEngineProfile::downloadRequested, [&](QWebEngineDownloadRequest* offered) {
            request = offered;
            offered->setDownloadDirectory(folder);
            offered->setDownloadFileName(QStringLiteral("bare.bin"));
            offered->accept();
            QObject::connect(offered, &QWebEngineDownloadRequest::isFinishedChanged, &loop,
                             &QEventLoop::quit);
        });
    QTimer::singleShot(TimeoutMs, &loop, &QEventLoop::quit);
    timer.start();
    pane.Navigate(url);
    loop.exec();
    const qint64 ms = timer.elapsed();
    QObject::disconnect(requested);
    const QString path = QDir(folder).filePath(QStringLiteral("bare.bin"));
    const bool ok = request && request->state() == QWebEngineDownloadRequest::DownloadCompleted &&
                    QFileInfo(path).size() == FileBytes;
    QFile::remove(path);
    return ok ? ms : -1;
}

}  // namespace

int main(int argc, char* argv[]) {
    tessaly::PrepareWebEngine();
    QApplication app(argc, argv);

    // The server runs on a thread of its own, as a real server would, so
    // that serving does not compete with either client for the main thread.
    const QByteArray body = Body();
    QThread serverThread;
    serverThread.start();
    QObject serverContext;
    serverContext.moveToThread(&serverThread);
    tessaly::testing::LocalHttpServer* server = nullptr;
    QMetaObject::invokeMethod(
        &serverContext,
        [&] {
            server = new tessaly::testing::LocalHttpServer;
            tessaly::testing::LocalHttpServer::Response response;
            response.contentType = "application/octet-stream";
            response.body = body;
            for (int round = 0; round <= Rounds; ++round) {
                server->Route(QStringLiteral("/loopback-%1.bin").arg(round).toLatin1(), response);
            }
            response.chunkBytes = PacedMiBPerSecond * 1024 * 1024 / 100;
            response.chunkIntervalMs = 10;
            for (int round = 0; round <= PacedRounds; ++round) {
                server->Route(QStringLiteral("/paced-%1.bin").arg(round).toLatin1(), response);
            }
        },
        Qt::BlockingQueuedConnection);
    const QString base = server->Url("");

    QTemporaryDir folder;
    NoShell shell;
    auto* profile = new QWebEngineProfile;
    auto* manager = new tessaly::DownloadManager(
        profile, shell, [](QWidget*, const QString& proposed, const QString&) { return proposed; });
    manager->SetDownloadFolder(folder.path());
    auto* pane = new tessaly::BrowserPane(profile);
    pane->resize(400, 300);
    pane->show();
    auto* bareProfile = new QWebEngineProfile;
    auto* barePane = new tessaly::BrowserPane(bareProfile);
    barePane->resize(400, 300);
    barePane->show();
    QNetworkAccessManager network;
    const QString plainPath = QDir(folder.path()).filePath("plain.bin");

    // Round 0 of each series warms up and is not counted.
    struct Rates {
        double plain = 0;
        double pane = 0;
        double bare = 0;
    };
    const auto series = [&](const char* name, int rounds, Rates* rates) {
        std::vector<double> plain;
        std::vector<double> viaPane;
        std::vector<double> bare;
        for (int round = 0; round <= rounds; ++round) {
            const QString path = QStringLiteral("/%1-%2.bin").arg(QLatin1String(name)).arg(round);
            const qint64 plainMs = FetchPlain(network, QUrl(base + path + "?plain"), plainPath);
            QFile::remove(plainPath);
            const PaneResult paneResult = FetchThroughPane(*pane, *manager, base + path + "?pane");
            const qint64 bareMs =
                FetchBare(*barePane, *bareProfile, folder.path(), base + path + "?bare");
            if (plainMs < 0 || paneResult.ms < 0 || bareMs < 0) {
                std::printf("%s round %d failed (plain %lld, pane %lld, engine alone %lld ms)\n",
                            name, round, static_cast<long long>(plainMs),
                            static_cast<long long>(paneResult.ms), static_cast<long long>(bareMs));
                return false;
            }
            std::printf(
                "%s round %d%s: QNetworkAccessManager %4.0f MiB/s (%4lld ms), pane + "
                "manager %4.0f MiB/s (%4lld ms, offered after %lld ms), engine alone "
                "%4.0f MiB/s\n",
                name, round, round == 0 ? " (warm-up)" : "", MiBPerSecond(plainMs),
                static_cast<long long>(plainMs), MiBPerSecond(paneResult.ms),
                static_cast<long long>(paneResult.ms), static_cast<long long>(paneResult.offeredMs),
                MiBPerSecond(bareMs));
            std::fflush(stdout);
            if (round > 0) {
                plain.push_back(MiBPerSecond(plainMs));
                viaPane.push_back(MiBPerSecond(paneResult.ms));
                bare.push_back(MiBPerSecond(bareMs));
            }
        }
        *rates = {Median(plain), Median(viaPane), Median(bare)};
        return true;
    };
    Rates loopback;
    Rates paced;
    const bool ok = series("loopback", Rounds, &loopback) && series("paced", PacedRounds, &paced);

    delete barePane;
    delete bareProfile;
    delete pane;
    delete manager;
    delete profile;
    QMetaObject::invokeMethod(
        &serverContext, [&] { delete server; }, Qt::BlockingQueuedConnection);
    serverThread.quit();
    serverThread.wait();
    if (!ok) {
        return 1;
    }

    const auto report = [](const Rates& rates) {
        std::printf("    QNetworkAccessManager to a file: %7.1f MiB/s\n", rates.plain);
        std::printf("    pane + DownloadManager:          %7.1f MiB/s\n", rates.pane);
        std::printf("    pane, engine alone (bare accept): %6.1f MiB/s\n", rates.bare);
        std::printf("    ratio pane + manager / plain: %.2f\n", rates.pane / rates.plain);
        std::printf("    ratio pane + manager / engine alone: %.2f\n", rates.pane / rates.bare);
    };
    std::printf("64 MiB download from 127.0.0.1, medians\n");
    std::printf("  as fast as loopback goes (%d rounds; aim: pane / plain at least 0.80):\n",
                Rounds);
    report(loopback);
    std::printf("  server paced at %d MiB/s (%d rounds):\n", PacedMiBPerSecond, PacedRounds);
    report(paced);
    return 0;
}
