// Downloads from a click to the file on disk, against real Chromium and
// files served on 127.0.0.1, with the save dialog answered by the test.

#include <QAbstractProxyModel>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>
#include <QWebEngineDownloadRequest>
#include <QWebEngineProfile>
#include <QWebEngineView>
#include <algorithm>
#include <functional>

#include "browser_pane.h"
#include "download_manager.h"
#include "downloads_window.h"
#include "file_names.h"
#include "java_descriptor.h"
#include "local_http_server.h"
#include "page_input.h"
#include "shell_open.h"
#include "web_test_main.h"

using tessaly::DownloadItem;
using tessaly::DownloadManager;
using tessaly::testing::ClickElement;
using tessaly::testing::LocalHttpServer;
using tessaly::testing::WaitForTitle;

namespace {

constexpr int Timeout = 30000;

class RecordingShell : public tessaly::ShellOpener {
public:
    void ShellOpen(QWidget*, const QString& target) override { opened << target; }
    QStringList opened;
};

// Every byte value, in a pattern that does not repeat every 256 bytes.
QByteArray Binary(int size) {
    QByteArray data(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i) {
        data[i] = char((i * 7 + i / 256) & 0xFF);
    }
    return data;
}

LocalHttpServer::Response File(const QByteArray& body, const QByteArray& type) {
    LocalHttpServer::Response response;
    response.contentType = type;
    response.body = body;
    return response;
}

LocalHttpServer::Response Trickled(const QByteArray& body, const QByteArray& type) {
    LocalHttpServer::Response response = File(body, type);
    response.chunkBytes = 16 * 1024;
    response.chunkIntervalMs = 20;
    return response;
}

LocalHttpServer::Response Descriptor(const QByteArray& text) {
    return File(text, "text/vnd.sun.j2me.app-descriptor");
}

QByteArray Read(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

}  // namespace

class DownloadTest : public QObject {
    Q_OBJECT

private slots:
    // --- file names and descriptors, without a browser ---

    void serverNamesBecomePlainSafeFileNames_data() {
        QTest::addColumn<QString>("proposed");
        QTest::addColumn<QString>("safe");
        QTest::newRow("plain") << "game.jar"
                               << "game.jar";
        QTest::newRow("chinese") << "雷霆战机.jar"
                                 << "雷霆战机.jar";
        QTest::newRow("up and out") << "../../evil.sh"
                                    << "evil.sh";
        QTest::newRow("windows path") << "C:\\Windows\\evil.exe"
                                      << "evil.exe";
        QTest::newRow("only dots") << ".."
                                   << "download";
        QTest::newRow("empty") << ""
                               << "download";
        QTest::newRow("hidden") << ".bashrc"
                                << "bashrc";
        QTest::newRow("trailing dots and spaces") << "game.jar . . "
                                                  << "game.jar";
        QTest::newRow("controls") << "ga\x01me\t.jar\x7f"
                                  << "game.jar";
        QTest::newRow("direction override")
            << QString::fromUtf8("game\u202Erab.exe") << "gamerab.exe";
        QTest::newRow("forbidden characters") << "a:b?c*<d>|\"e\".jar"
                                              << "a_b_c__d___e_.jar";
        QTest::newRow("device") << "con.jar"
                                << "_con.jar";
        QTest::newRow("device upper case") << "NUL"
                                           << "_NUL";
        QTest::newRow("device two extensions") << "lpt9.tar.gz"
                                               << "_lpt9.tar.gz";
        QTest::newRow("device with space") << "com1 .txt"
                                           << "_com1 .txt";
        QTest::newRow("not a device") << "console.jar"
                                      << "console.jar";
        QTest::newRow("com0 is not a device") << "com0.jar"
                                              << "com0.jar";
    }
    void serverNamesBecomePlainSafeFileNames() {
        QFETCH(QString, proposed);
        QFETCH(QString, safe);
        QCOMPARE(tessaly::SafeFileName(proposed), safe);
    }

    void longNamesAreShortenedKeepingTheExtension() {
        const QString longName = QString(150, QChar(0x6E38)) + ".jar";  // 450 bytes of 游
        const QString safe = tessaly::SafeFileName(longName);
        QVERIFY(safe.toUtf8().size() <= tessaly::MaxFileNameBytes);
        QVERIFY(safe.toUtf8().size() > tessaly::MaxFileNameBytes - 3);
        QVERIFY(safe.endsWith(".jar"));
        QCOMPARE(safe.chopped(4), QString(safe.size() - 4, QChar(0x6E38)));

        // Characters outside the basic plane are never cut in half.
        const QString emoji = QString::fromUtf8("\U0001F3AE").repeated(80) + ".sis";
        const QString safeEmoji = tessaly::SafeFileName(emoji);
        QVERIFY(safeEmoji.toUtf8().size() <= tessaly::MaxFileNameBytes);
        QCOMPARE(safeEmoji, QString::fromUtf8("\U0001F3AE").repeated(49) + ".sis");

        const QString numbered = tessaly::NumberedFileName(safe, 12);
        QVERIFY(numbered.toUtf8().size() <= tessaly::MaxFileNameBytes);
        QVERIFY(numbered.endsWith(" (12).jar"));
    }

    void aTakenNameGetsTheNextFreeNumber() {
        QSet<QString> taken{"/d/game.jar", "/d/game (1).jar.part", "/d/game (2).jar"};
        auto isTaken = [&](const QString& path) { return taken.contains(path); };
        QCOMPARE(tessaly::FreeFilePath("/d", "game.jar", isTaken), "/d/game (3).jar");
        QCOMPARE(tessaly::FreeFilePath("/d", "song.mp3", isTaken), "/d/song.mp3");
        QCOMPARE(tessaly::FreeFilePath("/d", "game (2).jar", isTaken), "/d/game (3).jar");
        QCOMPARE(tessaly::FreeFilePath("/d", "game (1).jar", isTaken), "/d/game (3).jar");
        QCOMPARE(tessaly::FreeFilePath("/d", "README",
                                       [](const QString& path) {
                                           return !path.endsWith("(4)") &&
                                                  !path.endsWith("(4).part");
                                       }),
                 "/d/README (4)");
    }

    void aDescriptorNamesItsArchive() {
        const QUrl base("http://wap.example.cn/games/2008/game.jad");
        const auto parse = [&](const QByteArray& text) {
            return tessaly::ParseJavaDescriptor(text, base);
        };

        auto descriptor = parse(
            "\xEF\xBB\xBFMIDlet-Name: 雷霆\r\nMIDlet-Jar-Size:  48213 \r\n"
            "MIDlet-Jar-URL: bin/game.jar?id=3\r\nMIDlet-Jar-URL: other.jar\r\n");
        QCOMPARE(descriptor.jarUrl, QUrl("http://wap.example.cn/games/2008/bin/game.jar?id=3"));
        QCOMPARE(descriptor.jarSize, std::optional<qint64>(48213));

        descriptor = parse("MIDlet-Jar-URL: /root.jar\nMIDlet-Jar-Size: big\n");
        QCOMPARE(descriptor.jarUrl, QUrl("http://wap.example.cn/root.jar"));
        QVERIFY(!descriptor.jarSize);

        QCOMPARE(parse("MIDlet-Jar-URL: https://cdn.example.cn/a.jar").jarUrl,
                 QUrl("https://cdn.example.cn/a.jar"));
        QVERIFY(parse("MIDlet-Jar-URL: file:///etc/passwd").jarUrl.isEmpty());
        QVERIFY(parse("MIDlet-Jar-URL: ftp://example.cn/a.jar").jarUrl.isEmpty());
        QVERIFY(parse("midlet-jar-url: a.jar").jarUrl.isEmpty());
        QVERIFY(parse("MIDlet-Jar-Size: -5\n").jarSize == std::nullopt);
    }

    // --- downloads through the browser ---

    void init() {
        folder_ = std::make_unique<QTemporaryDir>();
        QVERIFY(folder_->isValid());
        proposals_.clear();
        answer_ = [](const QString& proposed) { return proposed; };
        shell_.opened.clear();
        profile_ = new QWebEngineProfile(this);  // in memory
        manager_ = new DownloadManager(
            profile_, shell_,
            [this](QWidget*, const QString& proposed) {
                proposals_ << proposed;
                return answer_(proposed);
            },
            this);
        manager_->setDownloadFolder(dir());
        manager_->setWindowFactory([](tessaly::ShellOpener& shell, QWidget* owner) {
            return new tessaly::DownloadsWindow(shell, owner);
        });
        pane_ = new tessaly::BrowserPane(profile_);
        pane_->resize(400, 300);
        pane_->show();
    }
    void cleanup() {
        delete pane_;
        delete manager_;
        delete profile_;
        folder_.reset();
    }

    void aGameArrivesByteForByteAndCanBeOpenedOnRequest() {
        const QByteArray game = Binary(300 * 1024 + 17);
        server_.route("/games/game.jar", File(game, "application/java-archive"));
        server_.page("/list",
                     "<a id='l' href='/games/game.jar'>下载</a>"
                     "<script>window.onload=()=>document.getElementById('l').click()</script>");
        pane_->Navigate(server_.url("/list"));
        QTRY_VERIFY_WITH_TIMEOUT(doneCount() == 1, Timeout);

        QCOMPARE(proposals_, QStringList{path("game.jar")});
        DownloadItem* item = manager_->items().value(0);
        QCOMPARE(item->state(), DownloadItem::State::Finished);
        QCOMPARE(item->filePath(), path("game.jar"));
        QVERIFY(Read(path("game.jar")) == game);
        QCOMPARE(entries(), QStringList{"game.jar"});  // no partial file left
        QVERIFY(shell_.opened.isEmpty());              // nothing opened unasked

        tessaly::DownloadsWindow* window = downloadsWindow();
        QVERIFY(window && window->isVisible());
        QCOMPARE(window->windowTitle(), QStringLiteral("下载管理"));
        QWidget* row = window->rowFor(item);
        QCOMPARE(label(row, "name"), QStringLiteral("game.jar"));
        QCOMPARE(label(row, "state"), QStringLiteral("已完成"));
        QCOMPARE(label(row, "size"), QStringLiteral("300 KB"));
        QVERIFY(!button(row, "cancel")->isEnabled());
        button(row, "openFile")->click();
        button(row, "openFolder")->click();
        QCOMPARE(shell_.opened,
                 QStringList({QDir::toNativeSeparators(path("game.jar")),
                              QDir::toNativeSeparators(QDir(dir()).absolutePath())}));
    }

    void ringtonesAndVideosAreSavedNotPlayed() {
        // Chromium would play these in the page; a click on the link saves them.
        const QByteArray song = "ID3\x03" + Binary(40000);
        server_.route("/ring/song.mp3", File(song, "audio/mpeg"));
        server_.route("/ring/clip.3gp", File(Binary(30000), "video/3gpp"));
        server_.page(
            "/ring/list",
            "<a id='s' href='song.mp3'><b>铃声</b></a> <a id='c' href='clip.3gp'>视频</a>");
        QSignalSpy shown(pane_, &tessaly::Browser::NavigateComplete2);
        QSignalSpy loaded(pane_, &tessaly::Browser::DownloadComplete);
        pane_->Navigate(server_.url("/ring/list"));
        QVERIFY(loaded.wait(Timeout));
        QVERIFY(ClickElement(pane_->view(), "#s b"));
        QTRY_VERIFY_WITH_TIMEOUT(doneCount() == 1, Timeout);
        QVERIFY(ClickElement(pane_->view(), "#c"));
        QTRY_VERIFY_WITH_TIMEOUT(doneCount() == 2, Timeout);

        QCOMPARE(proposals_, QStringList({path("song.mp3"), path("clip.3gp")}));
        QVERIFY(Read(path("song.mp3")) == song);
        QCOMPARE(shown.size(), 1);  // the list stays in the pane
    }

    void aDescriptorBringsItsArchiveAndAWrongSizeFails() {
        const QByteArray jar = Binary(50000);
        server_.route("/wap/bin/game.jar", File(jar, "application/java-archive"));
        LocalHttpServer::Response jad = File(
            "MIDlet-Name: Thunder\r\nMIDlet-Jar-URL: bin/game.jar\r\nMIDlet-Jar-Size: 50000\r\n",
            "text/vnd.sun.j2me.app-descriptor");
        jad.headers.append({QByteArray("Set-Cookie"), QByteArray("sid=42; Path=/")});
        server_.route("/wap/game.jad", jad);
        pane_->Navigate(server_.url("/wap/game.jad"));
        QTRY_VERIFY_WITH_TIMEOUT(doneCount() == 2, Timeout);

        QCOMPARE(proposals_.size(), 1);  // one dialog for both files
        QCOMPARE(manager_->items().value(1)->state(), DownloadItem::State::Finished);
        QVERIFY(Read(path("game.jar")) == jar);
        QCOMPARE(entries(), QStringList({"game.jad", "game.jar"}));
        QVERIFY(server_.requestHeaders("/wap/bin/game.jar").contains("sid=42"));
        QCOMPARE(downloadsWindow()->rowCount(), 2);

        server_.route("/other.jar", File(jar, "application/java-archive"));
        server_.route("/wap/wrong.jad",
                      File("MIDlet-Jar-URL: " + server_.url("/other.jar").toUtf8() +
                               "\nMIDlet-Jar-Size: 12\n",
                           "text/vnd.sun.j2me.app-descriptor"));
        pane_->Navigate(server_.url("/wap/wrong.jad"));
        QTRY_VERIFY_WITH_TIMEOUT(doneCount() == 4, Timeout);
        DownloadItem* wrong = manager_->items().value(3);
        QWidget* row = failedRow(wrong, "大小不符");
        QVERIFY(row);
        QVERIFY(!button(row, "openFile")->isEnabled());
        QTRY_COMPARE_WITH_TIMEOUT(entries(), QStringList({"game.jad", "game.jar", "wrong.jad"}),
                                  5000);
    }

    void unsafeServerNamesAreMadeSafe() {
        LocalHttpServer::Response evil = File("#!/bin/sh\n", "application/octet-stream");
        evil.headers.append({QByteArray("Content-Disposition"),
                             QByteArray("attachment; filename=\"../../evil.sh\"")});
        server_.route("/get", evil);
        server_.route("/con.jar", File("jar", "application/java-archive"));

        pane_->Navigate(server_.url("/get?id=1"));
        QTRY_VERIFY_WITH_TIMEOUT(doneCount() == 1, Timeout);
        pane_->Navigate(server_.url("/con.jar"));
        QTRY_VERIFY_WITH_TIMEOUT(doneCount() == 2, Timeout);

        QCOMPARE(proposals_, QStringList({path("evil.sh"), path("_con.jar")}));
        QCOMPARE(entries(), QStringList({"_con.jar", "evil.sh"}));
        QVERIFY(!QFileInfo::exists(QDir(dir()).absoluteFilePath("../../evil.sh")));
        QVERIFY(!(QFileInfo(path("evil.sh")).permissions() & QFile::ExeUser));
    }

    void anExistingFileIsNeverOverwritten() {
        server_.route("/a/game.jar", File("first", "application/java-archive"));
        server_.route("/b/game.jar", File("second", "application/java-archive"));
        server_.route("/c/game.jar", File("third", "application/java-archive"));
        pane_->Navigate(server_.url("/a/game.jar"));
        QTRY_VERIFY_WITH_TIMEOUT(doneCount() == 1, Timeout);
        pane_->Navigate(server_.url("/b/game.jar"));
        QTRY_VERIFY_WITH_TIMEOUT(doneCount() == 2, Timeout);
        QCOMPARE(proposals_.value(1), path("game (1).jar"));

        // A file that appears under the proposed name while the dialog is
        // open is kept; the download takes the next number.
        answer_ = [](const QString& proposed) {
            QFile appeared(proposed);
            appeared.open(QIODevice::WriteOnly);
            appeared.write("mine");
            return proposed;
        };
        pane_->Navigate(server_.url("/c/game.jar"));
        QTRY_VERIFY_WITH_TIMEOUT(doneCount() == 3, Timeout);
        QCOMPARE(proposals_.value(2), path("game (2).jar"));

        QCOMPARE(Read(path("game.jar")), QByteArray("first"));
        QCOMPARE(Read(path("game (1).jar")), QByteArray("second"));
        QCOMPARE(Read(path("game (2).jar")), QByteArray("mine"));
        QCOMPARE(Read(path("game (3).jar")), QByteArray("third"));
        QCOMPARE(manager_->items().value(2)->fileName(), QStringLiteral("game (3).jar"));
    }

    void aFileChosenInTheDialogIsReplacedOnlyByAWholeDownload() {
        QFile old(path("old.jar"));
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("old");
        old.close();
        answer_ = [this](const QString&) { return path("old.jar"); };  // confirmed there

        LocalHttpServer::Response slow = File(Binary(2 * 1024 * 1024), "application/java-archive");
        slow.chunkBytes = 16 * 1024;
        slow.chunkIntervalMs = 20;
        server_.route("/slow.jar", slow);
        pane_->Navigate(server_.url("/slow.jar"));
        QTRY_VERIFY_WITH_TIMEOUT(
            manager_->items().size() == 1 && manager_->items().value(0)->receivedBytes() > 0,
            Timeout);
        QCOMPARE(Read(path("old.jar")), QByteArray("old"));
        manager_->items().value(0)->cancel();
        QTRY_COMPARE_WITH_TIMEOUT(entries(), QStringList{"old.jar"}, 5000);
        QCOMPARE(Read(path("old.jar")), QByteArray("old"));

        server_.route("/new.jar", File("new", "application/java-archive"));
        pane_->Navigate(server_.url("/new.jar"));
        QTRY_VERIFY_WITH_TIMEOUT(doneCount() == 2, Timeout);
        QCOMPARE(manager_->items().value(1)->state(), DownloadItem::State::Finished);
        QCOMPARE(Read(path("old.jar")), QByteArray("new"));
        QCOMPARE(entries(), QStringList{"old.jar"});
    }

    void aNameMadeSafeNeverReplacesAFileTheDialogDidNotShow() {
        QFile old(path("game.jar"));
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("old");
        old.close();
        // "game.jar." becomes "game.jar" once made safe: not the file confirmed.
        answer_ = [this](const QString&) { return path("game.jar."); };
        server_.route("/new.jar", File("new", "application/java-archive"));
        pane_->Navigate(server_.url("/new.jar"));
        QTRY_VERIFY_WITH_TIMEOUT(doneCount() == 1, Timeout);
        QCOMPARE(Read(path("game.jar")), QByteArray("old"));
        QCOMPARE(Read(path("game (1).jar")), QByteArray("new"));
    }

    void cancellingMidWayLeavesNoFile() {
        LocalHttpServer::Response slow = File(Binary(4 * 1024 * 1024), "application/zip");
        slow.chunkBytes = 16 * 1024;
        slow.chunkIntervalMs = 20;
        server_.route("/big.zip", slow);
        pane_->Navigate(server_.url("/big.zip"));
        QTRY_VERIFY_WITH_TIMEOUT(
            manager_->items().size() == 1 && manager_->items().value(0)->receivedBytes() > 0,
            Timeout);

        DownloadItem* item = manager_->items().value(0);
        QWidget* row = downloadsWindow()->rowFor(item);
        QCOMPARE(label(row, "state"), QStringLiteral("正在下载"));
        QVERIFY2(label(row, "detail").contains(" / 4.0 MB  "), qPrintable(label(row, "detail")));
        QVERIFY(label(row, "detail").endsWith("/秒"));
        QVERIFY(!QFileInfo::exists(path("big.zip")));  // data sits under the partial name
        QVERIFY(!button(row, "openFile")->isEnabled());
        QVERIFY(!button(row, "openFolder")->isEnabled());

        QCOMPARE(entries().size(), 1);
        QVERIFY2(entries().value(0).startsWith("big.zip.part"), qPrintable(entries().join(',')));
        button(row, "cancel")->click();
        QCOMPARE(item->state(), DownloadItem::State::Cancelled);
        QCOMPARE(label(row, "state"), QStringLiteral("已取消"));
        // Once the engine has let go of the transfer, it writes nothing more.
        QTRY_VERIFY_WITH_TIMEOUT(engineIdle(), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(entries().isEmpty(), 5000);
    }

    void declinedAndMissingDownloadsLeaveNoFile() {
        server_.route("/declined.jar", File("x", "application/java-archive"));
        answer_ = [](const QString&) { return QString(); };  // the user cancels the dialog
        pane_->Navigate(server_.url("/declined.jar"));
        QTRY_VERIFY_WITH_TIMEOUT(proposals_.size() == 1, Timeout);
        // Decided as the dialog returns, before the test runs again.
        QVERIFY(manager_->items().isEmpty());
        QVERIFY(!downloadsWindow());

        // A missing file shows the server's page, or fails: never a file.
        answer_ = [](const QString& proposed) { return proposed; };
        QSignalSpy loaded(pane_, &tessaly::Browser::DownloadComplete);
        pane_->Navigate(server_.url("/missing.jar"));
        QVERIFY(loaded.wait(Timeout));
        // The pane shows the server's page: the answer was no download.
        QTRY_COMPARE_WITH_TIMEOUT(pane_->view()->url(), QUrl(server_.url("/missing.jar")), Timeout);
        QVERIFY(manager_->items().isEmpty());

        // The archive a descriptor names is missing: its row fails.
        const int before = int(manager_->items().size());
        server_.route("/lost.jad",
                      File("MIDlet-Jar-URL: lost.jar\n", "text/vnd.sun.j2me.app-descriptor"));
        pane_->Navigate(server_.url("/lost.jad"));
        QTRY_VERIFY_WITH_TIMEOUT(
            manager_->items().size() == before + 2 && doneCount() == before + 2, Timeout);
        DownloadItem* lost = manager_->items().last();
        QCOMPARE(lost->fileName(), QStringLiteral("lost.jar"));
        QCOMPARE(lost->state(), DownloadItem::State::Failed);
        QCOMPARE(label(downloadsWindow()->rowFor(lost), "state"), QStringLiteral("失败"));
        QTRY_COMPARE_WITH_TIMEOUT(entries(), QStringList{"lost.jad"}, 5000);
    }

    // --- hostile sites and broken transfers ---

    void anArchiveNeverBringsAnother() {
        // Each "archive" is served as a descriptor naming the next one.
        for (int i = 0; i < 5; ++i) {
            server_.route("/chain/" + QByteArray::number(i) + ".jad",
                          Descriptor("MIDlet-Jar-URL: " + QByteArray::number(i + 1) + ".jad\n"));
        }
        pane_->Navigate(server_.url("/chain/0.jad"));
        QTRY_VERIFY_WITH_TIMEOUT(manager_->items().size() >= 2 && doneCount() >= 2, Timeout);
        // A further fetch would have started as the archive finished.
        QCOMPARE(manager_->items().size(), 2);
        QCOMPARE(proposals_.size(), 1);
        QCOMPARE(manager_->items().value(1)->role(), DownloadItem::Role::Archive);
        QCOMPARE(manager_->items().value(1)->state(), DownloadItem::State::Finished);
    }

    void anArchiveStopsOnceItPassesItsDeclaredSize() {
        LocalHttpServer::Response huge =
            Trickled(Binary(5 * 1024 * 1024), "application/java-archive");
        huge.chunkBytes = 64 * 1024;
        huge.chunkIntervalMs = 10;
        server_.route("/huge.jar", huge);
        server_.route("/small.jad", Descriptor("MIDlet-Jar-URL: huge.jar\nMIDlet-Jar-Size: 100\n"));
        pane_->Navigate(server_.url("/small.jad"));
        QTRY_VERIFY_WITH_TIMEOUT(manager_->items().size() == 2 && doneCount() == 2, Timeout);
        const DownloadItem* archive = manager_->items().value(1);
        QCOMPARE(archive->state(), DownloadItem::State::Failed);
        QVERIFY2(archive->failureReason().contains("大小不符"),
                 qPrintable(archive->failureReason()));
        // Stopped as soon as it was known: with the size announced, at once.
        QVERIFY2(archive->receivedBytes() < 1024 * 1024,
                 qPrintable(QString::number(archive->receivedBytes())));
        QTRY_COMPARE_WITH_TIMEOUT(entries(), QStringList{"small.jad"}, 5000);
    }

    void aDescriptorWhoseArchiveCannotBeFetchedSaysSoInItsRow() {
        const QByteArray refused = "ftp://127.0.0.1/games/" + QByteArray(120, 'x') + "/thunder.jar";
        server_.route("/ftp.jad", Descriptor("MIDlet-Jar-URL: " + refused + "\n"));
        pane_->Navigate(server_.url("/ftp.jad"));
        QTRY_VERIFY_WITH_TIMEOUT(doneCount() == 1, Timeout);
        DownloadItem* descriptor = manager_->items().value(0);
        QCOMPARE(manager_->items().size(), 1);
        QWidget* row = failedRow(descriptor, QString::fromUtf8(refused));
        QVERIFY(row);
        // Too long for the row: the row's tooltip shows the whole reason.
        QVERIFY2(row->toolTip().contains(refused), qPrintable(row->toolTip()));
        QCOMPARE(Read(path("ftp.jad")).left(15), QByteArray("MIDlet-Jar-URL:"));  // the file stays

        // An archive on a server that cannot be reached fails in its row.
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost));
        const QByteArray port = QByteArray::number(closed.serverPort());
        closed.close();
        server_.route("/gone.jad",
                      Descriptor("MIDlet-Jar-URL: http://127.0.0.1:" + port + "/gone.jar\n"));
        pane_->Navigate(server_.url("/gone.jad"));
        QTRY_VERIFY_WITH_TIMEOUT(manager_->items().size() == 3 && doneCount() == 3, 90000);
        DownloadItem* gone = manager_->items().value(2);
        QVERIFY(failedRow(gone, QString()));
        QVERIFY(!gone->failureReason().isEmpty());
    }

    void aPageCannotStartDownloadsOnItsOwn() {
        // The page clicks a download link from a timer; the one download the
        // opening of the page allows asks, nothing else does.
        // (Slow enough that each click's download starts before the next
        // click would cancel it.)
        server_.route("/auto.jar", File("jar", "application/java-archive"));
        server_.page("/auto",
                     "<a id='l' href='/auto.jar'>get</a><script>var n = 0;"
                     "setInterval(() => { document.getElementById('l').click();"
                     " document.title = ++n; }, 400);</script>");
        answer_ = [](const QString&) { return QString(); };  // the user declines
        pane_->Navigate(server_.url("/auto"));
        QVERIFY(!WaitForTitle(pane_->view(), [](const QString& title) {
                     return title.toInt() >= 8;
                 }).isEmpty());
        QCOMPARE(proposals_.size(), 1);
        QVERIFY(manager_->items().isEmpty());

        // The user's own click still asks.
        answer_ = [](const QString& proposed) { return proposed; };
        QVERIFY(ClickElement(pane_->view(), "#l"));
        QTRY_COMPARE_WITH_TIMEOUT(proposals_.size(), 2, Timeout);
        QTRY_VERIFY_WITH_TIMEOUT(doneCount() == 1, Timeout);
        QCOMPARE(proposals_.size(), 2);
    }

    void eachDownloadTheUserStartsEndsLikeANavigationOnce() {
        server_.route("/games/game.jar", File("jar", "application/java-archive"));
        server_.route("/games/typed.jar", File("typed", "application/java-archive"));
        server_.page("/list", "<a id='l' href='/games/game.jar'>下载</a>");
        QSignalSpy loaded(pane_, &tessaly::Browser::DownloadComplete);
        QSignalSpy progress(pane_, &tessaly::Browser::ProgressChange);
        const auto ends = [&] {
            return int(std::count_if(progress.begin(), progress.end(),
                                     [](const QList<QVariant>& args) { return args[0] == -1; }));
        };
        pane_->Navigate(server_.url("/list"));
        QVERIFY(loaded.wait(Timeout));
        loaded.clear();
        progress.clear();

        // A link: the download starts no navigation, yet ends like one.
        QVERIFY(ClickElement(pane_->view(), "#l"));
        QTRY_COMPARE_WITH_TIMEOUT(doneCount(), 1, Timeout);
        QCOMPARE(loaded.count(), 1);
        QCOMPARE(ends(), 1);

        // Clicked again at once: the same download, asked for and earned once.
        const int offered = requestCount();
        QVERIFY(ClickElement(pane_->view(), "#l"));
        QTRY_VERIFY_WITH_TIMEOUT(requestCount() == offered + 1 && engineIdle(), Timeout);
        QCOMPARE(proposals_.size(), 1);
        QCOMPARE(loaded.count(), 1);

        // Typed: the navigation that became the download ends, once.
        pane_->Navigate(server_.url("/games/typed.jar"));
        QTRY_COMPARE_WITH_TIMEOUT(doneCount(), 2, Timeout);
        QCOMPARE(loaded.count(), 2);
        QCOMPARE(ends(), 2);

        // Opened again at once: a repeat, whose navigation ends without a word.
        pane_->Navigate(server_.url("/games/typed.jar"));
        QTRY_VERIFY_WITH_TIMEOUT(requestCount() == offered + 3 && engineIdle(), Timeout);
        QTest::qWait(2500);  // past the time a stopped navigation waits for its download
        QCOMPARE(loaded.count(), 2);
        QCOMPARE(ends(), 2);
        QCOMPARE(proposals_.size(), 2);
        QCOMPARE(entries(), QStringList({"game.jar", "typed.jar"}));
    }

    void aHeldEnterOnADownloadControlIsOneDownload() {
        // Enter held for 1.5 s on a focused control that opens a game's
        // descriptor, as a deck's <do> does.
        server_.route("/held.jad", Descriptor("MIDlet-Jar-URL: held.jar\n"));
        server_.route("/held.jar", File(Binary(1000), "application/java-archive"));
        server_.page("/deck",
                     "<button id='d' type='button' onclick=\"location.assign('/held.jad')\">"
                     "下载</button>");
        QSignalSpy loaded(pane_, &tessaly::Browser::DownloadComplete);
        pane_->Navigate(server_.url("/deck"));
        QVERIFY(loaded.wait(Timeout));
        pane_->view()->setFocus();
        pane_->view()->page()->runJavaScript("document.getElementById('d').focus()");
        QWidget* input = pane_->view()->focusProxy();
        QVERIFY(input);
        QTest::simulateEvent(input, true, Qt::Key_Return, {}, QStringLiteral("\r"), false, 200);
        for (int i = 0; i < 30; ++i) {
            QTest::simulateEvent(input, true, Qt::Key_Return, {}, QStringLiteral("\r"), true, 50);
        }
        QTest::simulateEvent(input, false, Qt::Key_Return, {}, QStringLiteral("\r"), false);
        QTRY_COMPARE_WITH_TIMEOUT(doneCount(), 2, Timeout);
        QTRY_VERIFY_WITH_TIMEOUT(engineIdle(), Timeout);
        QCOMPARE(proposals_, QStringList{path("held.jad")});
        QCOMPARE(entries(), QStringList({"held.jad", "held.jar"}));
        QCOMPARE(loaded.count(), 2);  // the page, and the one download
    }

    void onlyAKeyPressedForItAnswersTheSaveDialog() {
        std::unique_ptr<QFileDialog> dialog(tessaly::CreateSaveDialog(nullptr, path("game.jar")));
        QSignalSpy answered(dialog.get(), &QDialog::finished);
        dialog->show();
        auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        QVERIFY(name);
        const auto enter = [&](bool repeat) {
            QTest::simulateEvent(name, true, Qt::Key_Return, {}, QStringLiteral("\r"), repeat);
            QTest::simulateEvent(name, false, Qt::Key_Return, {}, QStringLiteral("\r"), repeat);
        };
        enter(false);  // meant for the page the dialog just covered
        QTest::qWait(int(tessaly::SaveDialogArmMs) + 100);
        for (int i = 0; i < 5; ++i) {
            enter(true);  // a key held since then
        }
        QCOMPARE(answered.count(), 0);
        QVERIFY(dialog->isVisible());

        enter(false);
        QTRY_COMPARE_WITH_TIMEOUT(answered.count(), 1, Timeout);
        QCOMPARE(dialog->result(), int(QDialog::Accepted));
        QCOMPARE(dialog->selectedFiles(), QStringList{path("game.jar")});
    }

    void aStalledDownloadFailsAndADroppedOneAsksNothingMore() {
        manager_->setStallTimeout(1500);
        LocalHttpServer::Response stall = Trickled(Binary(1024 * 1024), "application/java-archive");
        stall.stallAfterBytes = 64 * 1024;
        server_.route("/stall.jar", stall);
        pane_->Navigate(server_.url("/stall.jar"));
        QTRY_VERIFY_WITH_TIMEOUT(doneCount() == 1, Timeout);
        QVERIFY(failedRow(manager_->items().value(0), "停止发送"));
        QTRY_VERIFY_WITH_TIMEOUT(engineIdle(), 5000);
        QTRY_COMPARE_WITH_TIMEOUT(entries(), QStringList(), 5000);

        // The server drops the connection half-way: the download fails (the
        // engine's own retry asks no second question), and no internal file
        // name is ever offered.
        manager_->setStallTimeout(tessaly::DownloadItem::DefaultStallTimeoutMs);
        LocalHttpServer::Response drop = stall;
        drop.closeAfterStallMs = 300;
        server_.route("/drop.jar", drop);
        pane_->Navigate(server_.url("/drop.jar"));
        QTRY_VERIFY_WITH_TIMEOUT(doneCount() == 2, Timeout);
        DownloadItem* dropped = manager_->items().value(1);
        QCOMPARE(dropped->state(), DownloadItem::State::Failed);
        QVERIFY(!dropped->failureReason().isEmpty());
        QCOMPARE(proposals_, QStringList({path("stall.jar"), path("drop.jar")}));
        QCOMPARE(manager_->items().size(), 2);
        QTRY_COMPARE_WITH_TIMEOUT(entries(), QStringList(), 5000);
    }

    // --- the save dialog ---

    void theSaveDialogStartsAtHomeWhenTheDownloadFolderIsMissing() {
        manager_->setDownloadFolder(path("no such folder"));
        answer_ = [this](const QString& proposed) { return path(QFileInfo(proposed).fileName()); };
        server_.route("/game.jar", File("jar", "application/java-archive"));
        pane_->Navigate(server_.url("/game.jar"));
        QTRY_VERIFY_WITH_TIMEOUT(doneCount() == 1, Timeout);
        QCOMPARE(QFileInfo(proposals_.value(0)).absolutePath(), QDir::homePath());
        QVERIFY(!QFileInfo::exists(path("no such folder")));
    }

    void theSaveDialogShowsItsColumnsWholeAndInChinese() {
        QFile big(path("big.jar"));
        QVERIFY(big.open(QIODevice::WriteOnly));
        big.write(Binary(3000));
        big.close();
        QFile small(path("small.jar"));
        QVERIFY(small.open(QIODevice::WriteOnly));
        small.write("0123456789");
        small.close();

        std::unique_ptr<QFileDialog> dialog(tessaly::CreateSaveDialog(nullptr, path("new.jar")));
        dialog->show();
        auto* files = qobject_cast<QFileSystemModel*>(dialog->proxyModel()->sourceModel());
        QVERIFY(files);
        const auto shown = [&](const QString& name, int column) {
            const QModelIndex source = files->index(path(name), column);
            return dialog->proxyModel()->mapFromSource(source).data().toString();
        };
        QTRY_COMPARE_WITH_TIMEOUT(shown("big.jar", 1), QStringLiteral("2.9 KB"), Timeout);
        QCOMPARE(shown("small.jar", 1), QStringLiteral("10 字节"));
        static const QRegularExpression date(
            QStringLiteral("^\\d{4}/\\d{1,2}/\\d{1,2} \\d{2}:\\d{2}$"));
        QVERIFY2(date.match(shown("big.jar", 3)).hasMatch(), qPrintable(shown("big.jar", 3)));

        auto* list = dialog->findChild<QTreeView*>(QStringLiteral("treeView"));
        QVERIFY(list && list->isVisible());
        QHeaderView* header = list->header();
        for (int column = 1; column <= 3; ++column) {
            QTRY_VERIFY2_WITH_TIMEOUT(
                header->sectionSize(column) >=
                    static_cast<QAbstractItemView*>(list)->sizeHintForColumn(column),
                qPrintable(QString::number(column)), Timeout);
        }
        QVERIFY(header->sectionSize(0) >= 150);  // room for the name
        QVERIFY(header->length() <= list->viewport()->width());
    }

    void aDownloadCanBeCancelledWhileTheSaveDialogIsOpen() {
        QWidget owner;
        owner.resize(300, 200);
        owner.show();
        manager_->setWindowOwner(&owner);
        server_.route("/long.zip", Trickled(Binary(8 * 1024 * 1024), "application/zip"));
        server_.route("/next.jar", File("jar", "application/java-archive"));
        pane_->Navigate(server_.url("/long.zip"));
        QTRY_VERIFY_WITH_TIMEOUT(
            manager_->items().size() == 1 && manager_->items().value(0)->receivedBytes() > 0,
            Timeout);
        DownloadItem* running = manager_->items().value(0);
        QPushButton* cancel = button(downloadsWindow()->rowFor(running), "cancel");

        bool dialogSeen = false;
        answer_ = [&](const QString& proposed) {
            // The real dialog, answered once 取消 was clicked in the
            // downloads window while it was open.
            QTimer::singleShot(0, [&] {
                QTRY_VERIFY_WITH_TIMEOUT(
                    qobject_cast<QFileDialog*>(QApplication::activeModalWidget()), Timeout);
                dialogSeen = true;
                QWindow* window = cancel->window()->windowHandle();
                QTest::mouseClick(window, Qt::LeftButton, {},
                                  cancel->mapTo(cancel->window(), cancel->rect().center()));
                QApplication::activeModalWidget()->close();
            });
            return tessaly::AskSavePathWithDialog(&owner, proposed);
        };
        pane_->Navigate(server_.url("/next.jar"));
        QTRY_VERIFY_WITH_TIMEOUT(dialogSeen, Timeout);
        QTRY_COMPARE_WITH_TIMEOUT(running->state(), DownloadItem::State::Cancelled, Timeout);
        manager_->setWindowOwner(nullptr);
    }

private:
    // The manager's window, as the program makes it.
    tessaly::DownloadsWindow* downloadsWindow() const {
        return qobject_cast<tessaly::DownloadsWindow*>(manager_->downloadsWindow());
    }
    QString dir() const { return folder_->path(); }
    QString path(const QString& name) const { return QDir(dir()).absoluteFilePath(name); }
    QStringList entries() const {
        return QDir(dir()).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    }
    // The row of item, once checked to show it failed with a reason that
    // contains reasonPart; null when it does not.
    QWidget* failedRow(const DownloadItem* item, const QString& reasonPart) const {
        QWidget* row = downloadsWindow()->rowFor(item);
        const bool shown = item->state() == DownloadItem::State::Failed &&
                           label(row, "state") == QStringLiteral("失败") &&
                           label(row, "detail").contains(reasonPart);
        if (!shown) {
            qWarning("row: %s / %s", qPrintable(label(row, "state")),
                     qPrintable(label(row, "detail")));
        }
        return shown ? row : nullptr;
    }
    // Whether the engine has finished with every transfer it was given.
    bool engineIdle() const {
        for (const auto* request : profile_->findChildren<QWebEngineDownloadRequest*>()) {
            if (!request->isFinished()) {
                return false;
            }
        }
        return true;
    }
    // Downloads the engine has offered so far.
    int requestCount() const {
        return int(profile_->findChildren<QWebEngineDownloadRequest*>().size());
    }
    int doneCount() const {
        int n = 0;
        for (const DownloadItem* item : manager_->items()) {
            n += item->isActive() ? 0 : 1;
        }
        return n;
    }
    static QString label(QWidget* row, const char* name) {
        auto* found = row ? row->findChild<QLabel*>(QLatin1String(name)) : nullptr;
        return found ? found->text() : QStringLiteral("<no label>");
    }
    static QPushButton* button(QWidget* row, const char* name) {
        return row->findChild<QPushButton*>(QLatin1String(name));
    }

    LocalHttpServer server_;
    RecordingShell shell_;
    std::unique_ptr<QTemporaryDir> folder_;
    QStringList proposals_;
    std::function<QString(const QString&)> answer_;
    QWebEngineProfile* profile_ = nullptr;
    DownloadManager* manager_ = nullptr;
    tessaly::BrowserPane* pane_ = nullptr;
};

TESSALY_WEB_TEST_MAIN(DownloadTest)
#include "download_test.moc"
