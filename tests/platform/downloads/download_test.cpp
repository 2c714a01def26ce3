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

    void ServerNamesBecomePlainSafeFileNames_data() {
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
    void ServerNamesBecomePlainSafeFileNames() {
        QFETCH(QString, proposed);
        QFETCH(QString, safe);
        QCOMPARE(tessaly::SafeFileName(proposed), safe);
    }

    void LongNamesAreShortenedKeepingTheExtension() {
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

    void ATakenNameGetsTheNextFreeNumber() {
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

    void ADescriptorNamesItsArchive() {
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

    // A game's details come from a site: the dialog shows them as text.
    void TheSaveDialogShowsAGamesDetailsAsText() {
        tessaly::wap::JadDetails game;
        game.name = "雷霆<b>飞机</b>";
        game.vendor = "Example & Co";
        game.jarSize = 48213;
        const QString text = tessaly::GameDetailsText(game);
        QCOMPARE(text,
                 QStringLiteral("游戏：雷霆<b>飞机</b>\n厂商：Example & Co\n大小：48,213 字节"));
        QVERIFY(tessaly::GameDetailsText({}).isEmpty());

        std::unique_ptr<QFileDialog> dialog(
            tessaly::CreateSaveDialog(nullptr, Path("game.jad"), text));
        auto* shown = dialog->findChild<QLabel*>("downloadDetails");
        QVERIFY(shown);
        QCOMPARE(shown->textFormat(), Qt::PlainText);
        QCOMPARE(shown->text(), text);
        std::unique_ptr<QFileDialog> plain(tessaly::CreateSaveDialog(nullptr, Path("song.mp3")));
        QVERIFY(!plain->findChild<QLabel*>("downloadDetails"));
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
            [this](QWidget*, const QString& proposed, const QString&) {
                proposals_ << proposed;
                return answer_(proposed);
            },
            this);
        manager_->SetDownloadFolder(Dir());
        manager_->SetWindowFactory([](tessaly::ShellOpener& shell, QWidget* owner) {
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

    void AGameArrivesByteForByteAndCanBeOpenedOnRequest() {
        const QByteArray game = Binary(300 * 1024 + 17);
        server_.Route("/games/game.jar", File(game, "application/java-archive"));
        server_.Page("/list",
                     "<a id='l' href='/games/game.jar'>下载</a>"
                     "<script>window.onload=()=>document.getElementById('l').click()</script>");
        pane_->Navigate(server_.Url("/list"));
        QTRY_VERIFY_WITH_TIMEOUT(DoneCount() == 1, Timeout);

        QCOMPARE(proposals_, QStringList{Path("game.jar")});
        DownloadItem* item = manager_->Items().value(0);
        QCOMPARE(item->GetState(), DownloadItem::State::Finished);
        QCOMPARE(item->FilePath(), Path("game.jar"));
        QVERIFY(Read(Path("game.jar")) == game);
        QCOMPARE(Entries(), QStringList{"game.jar"});  // no partial file left
        QVERIFY(shell_.opened.isEmpty());              // nothing opened unasked

        tessaly::DownloadsWindow* window = DownloadsWindow();
        QVERIFY(window && window->isVisible());
        QCOMPARE(window->windowTitle(), QStringLiteral("下载管理"));
        QWidget* row = window->RowFor(item);
        QCOMPARE(Label(row, "name"), QStringLiteral("game.jar"));
        QCOMPARE(Label(row, "state"), QStringLiteral("已完成"));
        QCOMPARE(Label(row, "size"), QStringLiteral("300 KB"));
        QVERIFY(!Button(row, "cancel")->isEnabled());
        Button(row, "openFile")->click();
        Button(row, "openFolder")->click();
        QCOMPARE(shell_.opened,
                 QStringList({QDir::toNativeSeparators(Path("game.jar")),
                              QDir::toNativeSeparators(QDir(Dir()).absolutePath())}));
    }

    void RingtonesAndVideosAreSavedNotPlayed() {
        // Chromium would play these in the page; a click on the link saves them.
        const QByteArray song = "ID3\x03" + Binary(40000);
        server_.Route("/ring/song.mp3", File(song, "audio/mpeg"));
        server_.Route("/ring/clip.3gp", File(Binary(30000), "video/3gpp"));
        server_.Page(
            "/ring/list",
            "<a id='s' href='song.mp3'><b>铃声</b></a> <a id='c' href='clip.3gp'>视频</a>");
        QSignalSpy shown(pane_, &tessaly::Browser::NavigateComplete2);
        QSignalSpy loaded(pane_, &tessaly::Browser::DownloadComplete);
        pane_->Navigate(server_.Url("/ring/list"));
        QVERIFY(loaded.wait(Timeout));
        QVERIFY(ClickElement(pane_->View(), "#s b"));
        QTRY_VERIFY_WITH_TIMEOUT(DoneCount() == 1, Timeout);
        QVERIFY(ClickElement(pane_->View(), "#c"));
        QTRY_VERIFY_WITH_TIMEOUT(DoneCount() == 2, Timeout);

        QCOMPARE(proposals_, QStringList({Path("song.mp3"), Path("clip.3gp")}));
        QVERIFY(Read(Path("song.mp3")) == song);
        QCOMPARE(shown.size(), 1);  // the list stays in the pane
    }

    void ADescriptorBringsItsArchiveAndAWrongSizeFails() {
        const QByteArray jar = Binary(50000);
        server_.Route("/wap/bin/game.jar", File(jar, "application/java-archive"));
        LocalHttpServer::Response jad = File(
            "MIDlet-Name: Thunder\r\nMIDlet-Jar-URL: bin/game.jar\r\nMIDlet-Jar-Size: 50000\r\n",
            "text/vnd.sun.j2me.app-descriptor");
        jad.headers.append({QByteArray("Set-Cookie"), QByteArray("sid=42; Path=/")});
        server_.Route("/wap/game.jad", jad);
        pane_->Navigate(server_.Url("/wap/game.jad"));
        QTRY_VERIFY_WITH_TIMEOUT(DoneCount() == 2, Timeout);

        QCOMPARE(proposals_.size(), 1);  // one dialog for both files
        QCOMPARE(manager_->Items().value(1)->GetState(), DownloadItem::State::Finished);
        QVERIFY(Read(Path("game.jar")) == jar);
        QCOMPARE(Entries(), QStringList({"game.jad", "game.jar"}));
        QVERIFY(server_.RequestHeaders("/wap/bin/game.jar").contains("sid=42"));
        QCOMPARE(DownloadsWindow()->RowCount(), 2);

        server_.Route("/other.jar", File(jar, "application/java-archive"));
        server_.Route("/wap/wrong.jad",
                      File("MIDlet-Jar-URL: " + server_.Url("/other.jar").toUtf8() +
                               "\nMIDlet-Jar-Size: 12\n",
                           "text/vnd.sun.j2me.app-descriptor"));
        pane_->Navigate(server_.Url("/wap/wrong.jad"));
        QTRY_VERIFY_WITH_TIMEOUT(DoneCount() == 4, Timeout);
        DownloadItem* wrong = manager_->Items().value(3);
        QWidget* row = FailedRow(wrong, "大小不符");
        QVERIFY(row);
        // A whole sentence, with both sizes.
        QVERIFY2(wrong->FailureReason().contains("应为 12 字节") &&
                     wrong->FailureReason().contains("50000 字节") &&
                     wrong->FailureReason().endsWith("。"),
                 qPrintable(wrong->FailureReason()));
        QVERIFY(!Button(row, "openFile")->isEnabled());
        QTRY_COMPARE_WITH_TIMEOUT(Entries(), QStringList({"game.jad", "game.jar", "wrong.jad"}),
                                  5000);

        // Tried again from its row once the site is mended, without a dialog,
        // with the size the descriptor gave still checked.
        QVERIFY(!Button(row, "cancel")->isVisible() && Button(row, "retry")->isVisible());
        server_.Route("/other.jar", File(Binary(12), "application/java-archive"));
        DownloadsWindow()->showMinimized();
        Button(row, "retry")->click();
        QTRY_VERIFY_WITH_TIMEOUT(DoneCount() == 5, Timeout);
        QCOMPARE(manager_->Items().value(4)->GetState(), DownloadItem::State::Finished);
        QCOMPARE(manager_->Items().value(4)->ExpectedSize(), std::optional<qint64>(12));
        QCOMPARE(proposals_.size(), 2);
        QVERIFY(Read(Path("other.jar")) == Binary(12));
        QVERIFY(!DownloadsWindow()->isMinimized());  // brought back by the new download
    }

    void UnsafeServerNamesAreMadeSafe() {
        LocalHttpServer::Response evil = File("#!/bin/sh\n", "application/octet-stream");
        evil.headers.append({QByteArray("Content-Disposition"),
                             QByteArray("attachment; filename=\"../../evil.sh\"")});
        server_.Route("/get", evil);
        server_.Route("/con.jar", File("jar", "application/java-archive"));

        pane_->Navigate(server_.Url("/get?id=1"));
        QTRY_VERIFY_WITH_TIMEOUT(DoneCount() == 1, Timeout);
        pane_->Navigate(server_.Url("/con.jar"));
        QTRY_VERIFY_WITH_TIMEOUT(DoneCount() == 2, Timeout);

        QCOMPARE(proposals_, QStringList({Path("evil.sh"), Path("_con.jar")}));
        QCOMPARE(Entries(), QStringList({"_con.jar", "evil.sh"}));
        QVERIFY(!QFileInfo::exists(QDir(Dir()).absoluteFilePath("../../evil.sh")));
        QVERIFY(!(QFileInfo(Path("evil.sh")).permissions() & QFile::ExeUser));
    }

    void AnExistingFileIsNeverOverwritten() {
        server_.Route("/a/game.jar", File("first", "application/java-archive"));
        server_.Route("/b/game.jar", File("second", "application/java-archive"));
        server_.Route("/c/game.jar", File("third", "application/java-archive"));
        pane_->Navigate(server_.Url("/a/game.jar"));
        QTRY_VERIFY_WITH_TIMEOUT(DoneCount() == 1, Timeout);
        pane_->Navigate(server_.Url("/b/game.jar"));
        QTRY_VERIFY_WITH_TIMEOUT(DoneCount() == 2, Timeout);
        QCOMPARE(proposals_.value(1), Path("game (1).jar"));

        // A file that appears under the proposed name while the dialog is
        // open is kept; the download takes the next number.
        answer_ = [](const QString& proposed) {
            QFile appeared(proposed);
            appeared.open(QIODevice::WriteOnly);
            appeared.write("mine");
            return proposed;
        };
        pane_->Navigate(server_.Url("/c/game.jar"));
        QTRY_VERIFY_WITH_TIMEOUT(DoneCount() == 3, Timeout);
        QCOMPARE(proposals_.value(2), Path("game (2).jar"));

        QCOMPARE(Read(Path("game.jar")), QByteArray("first"));
        QCOMPARE(Read(Path("game (1).jar")), QByteArray("second"));
        QCOMPARE(Read(Path("game (2).jar")), QByteArray("mine"));
        QCOMPARE(Read(Path("game (3).jar")), QByteArray("third"));
        QCOMPARE(manager_->Items().value(2)->FileName(), QStringLiteral("game (3).jar"));
    }

    void AFileChosenInTheDialogIsReplacedOnlyByAWholeDownload() {
        QFile old(Path("old.jar"));
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("old");
        old.close();
        answer_ = [this](const QString&) { return Path("old.jar"); };  // confirmed there

        LocalHttpServer::Response slow = File(Binary(2 * 1024 * 1024), "application/java-archive");
        slow.chunkBytes = 16 * 1024;
        slow.chunkIntervalMs = 20;
        server_.Route("/slow.jar", slow);
        pane_->Navigate(server_.Url("/slow.jar"));
        QTRY_VERIFY_WITH_TIMEOUT(
            manager_->Items().size() == 1 && manager_->Items().value(0)->ReceivedBytes() > 0,
            Timeout);
        QCOMPARE(Read(Path("old.jar")), QByteArray("old"));
        manager_->Items().value(0)->Cancel();
        QTRY_COMPARE_WITH_TIMEOUT(Entries(), QStringList{"old.jar"}, 5000);
        QCOMPARE(Read(Path("old.jar")), QByteArray("old"));

        server_.Route("/new.jar", File("new", "application/java-archive"));
        pane_->Navigate(server_.Url("/new.jar"));
        QTRY_VERIFY_WITH_TIMEOUT(DoneCount() == 2, Timeout);
        QCOMPARE(manager_->Items().value(1)->GetState(), DownloadItem::State::Finished);
        QCOMPARE(Read(Path("old.jar")), QByteArray("new"));
        QCOMPARE(Entries(), QStringList{"old.jar"});
    }

    void ANameMadeSafeNeverReplacesAFileTheDialogDidNotShow() {
        QFile old(Path("game.jar"));
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("old");
        old.close();
        // "game.jar." becomes "game.jar" once made safe: not the file confirmed.
        answer_ = [this](const QString&) { return Path("game.jar."); };
        server_.Route("/new.jar", File("new", "application/java-archive"));
        pane_->Navigate(server_.Url("/new.jar"));
        QTRY_VERIFY_WITH_TIMEOUT(DoneCount() == 1, Timeout);
        QCOMPARE(Read(Path("game.jar")), QByteArray("old"));
        QCOMPARE(Read(Path("game (1).jar")), QByteArray("new"));
    }

    void CancellingMidWayLeavesNoFile() {
        LocalHttpServer::Response slow = File(Binary(4 * 1024 * 1024), "application/zip");
        slow.chunkBytes = 16 * 1024;
        slow.chunkIntervalMs = 20;
        server_.Route("/big.zip", slow);
        pane_->Navigate(server_.Url("/big.zip"));
        QTRY_VERIFY_WITH_TIMEOUT(
            manager_->Items().size() == 1 && manager_->Items().value(0)->ReceivedBytes() > 0,
            Timeout);

        DownloadItem* item = manager_->Items().value(0);
        QWidget* row = DownloadsWindow()->RowFor(item);
        QCOMPARE(Label(row, "state"), QStringLiteral("正在下载"));
        QVERIFY2(Label(row, "detail").contains(" / 4.0 MB  "), qPrintable(Label(row, "detail")));
        QVERIFY(Label(row, "detail").endsWith("/秒"));
        QVERIFY(!QFileInfo::exists(Path("big.zip")));  // data sits under the partial name
        QVERIFY(!Button(row, "openFile")->isEnabled());
        QVERIFY(!Button(row, "openFolder")->isEnabled());

        QCOMPARE(Entries().size(), 1);
        QVERIFY2(Entries().value(0).startsWith("big.zip.part"), qPrintable(Entries().join(',')));
        Button(row, "cancel")->click();
        QCOMPARE(item->GetState(), DownloadItem::State::Cancelled);
        QCOMPARE(Label(row, "state"), QStringLiteral("已取消"));
        // Once the engine has let go of the transfer, it writes nothing more.
        QTRY_VERIFY_WITH_TIMEOUT(EngineIdle(), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(Entries().isEmpty(), 5000);
    }

    void DeclinedAndMissingDownloadsLeaveNoFile() {
        server_.Route("/declined.jar", File("x", "application/java-archive"));
        answer_ = [](const QString&) { return QString(); };  // the user cancels the dialog
        pane_->Navigate(server_.Url("/declined.jar"));
        QTRY_VERIFY_WITH_TIMEOUT(proposals_.size() == 1, Timeout);
        // Decided as the dialog returns, before the test runs again.
        QVERIFY(manager_->Items().isEmpty());
        QVERIFY(!DownloadsWindow());

        // A missing file shows the server's page, or fails: never a file.
        answer_ = [](const QString& proposed) { return proposed; };
        QSignalSpy loaded(pane_, &tessaly::Browser::DownloadComplete);
        pane_->Navigate(server_.Url("/missing.jar"));
        QVERIFY(loaded.wait(Timeout));
        // The pane shows the server's page: the answer was no download.
        QTRY_COMPARE_WITH_TIMEOUT(pane_->View()->url(), QUrl(server_.Url("/missing.jar")), Timeout);
        QVERIFY(manager_->Items().isEmpty());

        // The archive a descriptor names is missing: its row fails.
        const int before = int(manager_->Items().size());
        server_.Route("/lost.jad",
                      File("MIDlet-Jar-URL: lost.jar\n", "text/vnd.sun.j2me.app-descriptor"));
        pane_->Navigate(server_.Url("/lost.jad"));
        QTRY_VERIFY_WITH_TIMEOUT(
            manager_->Items().size() == before + 2 && DoneCount() == before + 2, Timeout);
        DownloadItem* lost = manager_->Items().last();
        QCOMPARE(lost->FileName(), QStringLiteral("lost.jar"));
        QCOMPARE(lost->GetState(), DownloadItem::State::Failed);
        QCOMPARE(Label(DownloadsWindow()->RowFor(lost), "state"), QStringLiteral("失败"));
        QTRY_COMPARE_WITH_TIMEOUT(Entries(), QStringList{"lost.jad"}, 5000);
    }

    // --- hostile sites and broken transfers ---

    void AnArchiveNeverBringsAnother() {
        // Each "archive" is served as a descriptor naming the next one.
        for (int i = 0; i < 5; ++i) {
            server_.Route("/chain/" + QByteArray::number(i) + ".jad",
                          Descriptor("MIDlet-Jar-URL: " + QByteArray::number(i + 1) + ".jad\n"));
        }
        pane_->Navigate(server_.Url("/chain/0.jad"));
        QTRY_VERIFY_WITH_TIMEOUT(manager_->Items().size() >= 2 && DoneCount() >= 2, Timeout);
        // A further fetch would have started as the archive finished.
        QCOMPARE(manager_->Items().size(), 2);
        QCOMPARE(proposals_.size(), 1);
        QCOMPARE(manager_->Items().value(1)->GetRole(), DownloadItem::Role::Archive);
        QCOMPARE(manager_->Items().value(1)->GetState(), DownloadItem::State::Finished);
    }

    void AnArchiveStopsOnceItPassesItsDeclaredSize() {
        LocalHttpServer::Response huge =
            Trickled(Binary(5 * 1024 * 1024), "application/java-archive");
        huge.chunkBytes = 64 * 1024;
        huge.chunkIntervalMs = 10;
        server_.Route("/huge.jar", huge);
        server_.Route("/small.jad", Descriptor("MIDlet-Jar-URL: huge.jar\nMIDlet-Jar-Size: 100\n"));
        pane_->Navigate(server_.Url("/small.jad"));
        QTRY_VERIFY_WITH_TIMEOUT(manager_->Items().size() == 2 && DoneCount() == 2, Timeout);
        const DownloadItem* archive = manager_->Items().value(1);
        QCOMPARE(archive->GetState(), DownloadItem::State::Failed);
        QVERIFY2(archive->FailureReason().contains("大小不符"),
                 qPrintable(archive->FailureReason()));
        // Stopped as soon as it was known: with the size announced, at once.
        QVERIFY2(archive->ReceivedBytes() < 1024 * 1024,
                 qPrintable(QString::number(archive->ReceivedBytes())));
        QTRY_COMPARE_WITH_TIMEOUT(Entries(), QStringList{"small.jad"}, 5000);
    }

    // A descriptor that gives no size still bounds its archive, at 32 MB.
    void AnArchiveOfNoDeclaredSizeStopsPast32Megabytes() {
        server_.Route("/big.jar", File(Binary(33 * 1024 * 1024), "application/java-archive"));
        server_.Route("/nosize.jad", Descriptor("MIDlet-Jar-URL: big.jar\n"));
        pane_->Navigate(server_.Url("/nosize.jad"));
        QTRY_VERIFY_WITH_TIMEOUT(manager_->Items().size() == 2 && DoneCount() == 2, Timeout);
        const DownloadItem* archive = manager_->Items().value(1);
        QCOMPARE(archive->GetState(), DownloadItem::State::Failed);
        QVERIFY2(archive->FailureReason().contains("文件太大"),
                 qPrintable(archive->FailureReason()));
        QTRY_COMPARE_WITH_TIMEOUT(Entries(), QStringList{"nosize.jad"}, 5000);
    }

    void ADescriptorWhoseArchiveCannotBeFetchedSaysSoInItsRow() {
        const QByteArray refused = "ftp://127.0.0.1/games/" + QByteArray(120, 'x') + "/thunder.jar";
        server_.Route("/ftp.jad", Descriptor("MIDlet-Jar-URL: " + refused + "\n"));
        pane_->Navigate(server_.Url("/ftp.jad"));
        QTRY_VERIFY_WITH_TIMEOUT(DoneCount() == 1, Timeout);
        DownloadItem* descriptor = manager_->Items().value(0);
        QCOMPARE(manager_->Items().size(), 1);
        QWidget* row = FailedRow(descriptor, QString::fromUtf8(refused));
        QVERIFY(row);
        // Too long for the row: the row's tooltip shows the whole reason.
        QVERIFY2(row->toolTip().contains(refused), qPrintable(row->toolTip()));
        QCOMPARE(Read(Path("ftp.jad")).left(15), QByteArray("MIDlet-Jar-URL:"));  // the file stays

        // An archive on a server that cannot be reached fails in its row.
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost));
        const QByteArray port = QByteArray::number(closed.serverPort());
        closed.close();
        server_.Route("/gone.jad",
                      Descriptor("MIDlet-Jar-URL: http://127.0.0.1:" + port + "/gone.jar\n"));
        pane_->Navigate(server_.Url("/gone.jad"));
        QTRY_VERIFY_WITH_TIMEOUT(manager_->Items().size() == 3 && DoneCount() == 3, 90000);
        DownloadItem* gone = manager_->Items().value(2);
        QVERIFY(FailedRow(gone, QString()));
        QVERIFY(!gone->FailureReason().isEmpty());
    }

    void APageCannotStartDownloadsOnItsOwn() {
        // The page clicks a download link from a timer; the one download the
        // opening of the page allows asks, nothing else does.
        // (Slow enough that each click's download starts before the next
        // click would cancel it.)
        server_.Route("/auto.jar", File("jar", "application/java-archive"));
        server_.Page("/auto",
                     "<a id='l' href='/auto.jar'>get</a><script>var n = 0;"
                     "setInterval(() => { document.getElementById('l').click();"
                     " document.title = ++n; }, 400);</script>");
        answer_ = [](const QString&) { return QString(); };  // the user declines
        pane_->Navigate(server_.Url("/auto"));
        QVERIFY(!WaitForTitle(pane_->View(), [](const QString& title) {
                     return title.toInt() >= 8;
                 }).isEmpty());
        QCOMPARE(proposals_.size(), 1);
        QVERIFY(manager_->Items().isEmpty());

        // The user's own click still asks.
        answer_ = [](const QString& proposed) { return proposed; };
        QVERIFY(ClickElement(pane_->View(), "#l"));
        QTRY_COMPARE_WITH_TIMEOUT(proposals_.size(), 2, Timeout);
        QTRY_VERIFY_WITH_TIMEOUT(DoneCount() == 1, Timeout);
        QCOMPARE(proposals_.size(), 2);
    }

    void EachDownloadTheUserStartsEndsLikeANavigationOnce() {
        server_.Route("/games/game.jar", File("jar", "application/java-archive"));
        server_.Route("/games/typed.jar", File("typed", "application/java-archive"));
        server_.Page("/list", "<a id='l' href='/games/game.jar'>下载</a>");
        QSignalSpy loaded(pane_, &tessaly::Browser::DownloadComplete);
        QSignalSpy progress(pane_, &tessaly::Browser::ProgressChange);
        const auto ends = [&] {
            return int(std::count_if(progress.begin(), progress.end(),
                                     [](const QList<QVariant>& args) { return args[0] == -1; }));
        };
        pane_->Navigate(server_.Url("/list"));
        QVERIFY(loaded.wait(Timeout));
        loaded.clear();
        progress.clear();

        // A link: the download starts no navigation, yet ends like one.
        QVERIFY(ClickElement(pane_->View(), "#l"));
        QTRY_COMPARE_WITH_TIMEOUT(DoneCount(), 1, Timeout);
        QCOMPARE(loaded.count(), 1);
        QCOMPARE(ends(), 1);

        // Clicked again at once: the same download, asked for and earned once.
        const int offered = RequestCount();
        QVERIFY(ClickElement(pane_->View(), "#l"));
        QTRY_VERIFY_WITH_TIMEOUT(RequestCount() == offered + 1 && EngineIdle(), Timeout);
        QCOMPARE(proposals_.size(), 1);
        QCOMPARE(loaded.count(), 1);

        // Typed: the navigation that became the download ends, once.
        pane_->Navigate(server_.Url("/games/typed.jar"));
        QTRY_COMPARE_WITH_TIMEOUT(DoneCount(), 2, Timeout);
        QCOMPARE(loaded.count(), 2);
        QCOMPARE(ends(), 2);

        // Opened again at once: a repeat, whose navigation ends without a word.
        pane_->Navigate(server_.Url("/games/typed.jar"));
        QTRY_VERIFY_WITH_TIMEOUT(RequestCount() == offered + 3 && EngineIdle(), Timeout);
        QTest::qWait(2500);  // past the time a stopped navigation waits for its download
        QCOMPARE(loaded.count(), 2);
        QCOMPARE(ends(), 2);
        QCOMPARE(proposals_.size(), 2);
        QCOMPARE(Entries(), QStringList({"game.jar", "typed.jar"}));
    }

    void AHeldEnterOnADownloadControlIsOneDownload() {
        // Enter held for 1.5 s on a focused control that opens a game's
        // descriptor, as a deck's <do> does.
        server_.Route("/held.jad", Descriptor("MIDlet-Jar-URL: held.jar\n"));
        server_.Route("/held.jar", File(Binary(1000), "application/java-archive"));
        server_.Page("/deck",
                     "<button id='d' type='button' onclick=\"location.assign('/held.jad')\">"
                     "下载</button>");
        QSignalSpy loaded(pane_, &tessaly::Browser::DownloadComplete);
        pane_->Navigate(server_.Url("/deck"));
        QVERIFY(loaded.wait(Timeout));
        pane_->View()->setFocus();
        pane_->View()->page()->runJavaScript("document.getElementById('d').focus()");
        QWidget* input = pane_->View()->focusProxy();
        QVERIFY(input);
        QTest::simulateEvent(input, true, Qt::Key_Return, {}, QStringLiteral("\r"), false, 200);
        for (int i = 0; i < 30; ++i) {
            QTest::simulateEvent(input, true, Qt::Key_Return, {}, QStringLiteral("\r"), true, 50);
        }
        QTest::simulateEvent(input, false, Qt::Key_Return, {}, QStringLiteral("\r"), false);
        QTRY_COMPARE_WITH_TIMEOUT(DoneCount(), 2, Timeout);
        QTRY_VERIFY_WITH_TIMEOUT(EngineIdle(), Timeout);
        QCOMPARE(proposals_, QStringList{Path("held.jad")});
        QCOMPARE(Entries(), QStringList({"held.jad", "held.jar"}));
        QCOMPARE(loaded.count(), 2);  // the page, and the one download
    }

    void OnlyAKeyPressedForItAnswersTheSaveDialog() {
        std::unique_ptr<QFileDialog> dialog(tessaly::CreateSaveDialog(nullptr, Path("game.jar")));
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
        QCOMPARE(dialog->selectedFiles(), QStringList{Path("game.jar")});
    }

    // A slow download that keeps receiving is no stalled one: 3 MB at
    // 800 KB/s take about twice the stall time.
    void ASlowDownloadThatKeepsReceivingIsNotStalled() {
        manager_->SetStallTimeout(2000);
        server_.Route("/slow.jar", Trickled(Binary(3 * 1024 * 1024), "application/java-archive"));
        pane_->Navigate(server_.Url("/slow.jar"));
        QTRY_VERIFY_WITH_TIMEOUT(DoneCount() == 1, Timeout);
        QCOMPARE(manager_->Items().value(0)->GetState(), DownloadItem::State::Finished);
        QTRY_VERIFY_WITH_TIMEOUT(EngineIdle(), 5000);
    }

    void AStalledDownloadFailsAndADroppedOneAsksNothingMore() {
        manager_->SetStallTimeout(1500);
        LocalHttpServer::Response stall = Trickled(Binary(1024 * 1024), "application/java-archive");
        stall.stallAfterBytes = 64 * 1024;
        server_.Route("/stall.jar", stall);
        pane_->Navigate(server_.Url("/stall.jar"));
        QTRY_VERIFY_WITH_TIMEOUT(DoneCount() == 1, Timeout);
        QVERIFY(FailedRow(manager_->Items().value(0), "停止发送"));
        QTRY_VERIFY_WITH_TIMEOUT(EngineIdle(), 5000);
        QTRY_COMPARE_WITH_TIMEOUT(Entries(), QStringList(), 5000);

        // The server drops the connection half-way: the download fails (the
        // engine's own retry asks no second question), and no internal file
        // name is ever offered.
        manager_->SetStallTimeout(tessaly::DownloadItem::DefaultStallTimeoutMs);
        LocalHttpServer::Response drop = stall;
        drop.closeAfterStallMs = 300;
        server_.Route("/drop.jar", drop);
        pane_->Navigate(server_.Url("/drop.jar"));
        QTRY_VERIFY_WITH_TIMEOUT(DoneCount() == 2, Timeout);
        DownloadItem* dropped = manager_->Items().value(1);
        QCOMPARE(dropped->GetState(), DownloadItem::State::Failed);
        QVERIFY(!dropped->FailureReason().isEmpty());
        QCOMPARE(proposals_, QStringList({Path("stall.jar"), Path("drop.jar")}));
        QCOMPARE(manager_->Items().size(), 2);
        QTRY_COMPARE_WITH_TIMEOUT(Entries(), QStringList(), 5000);
    }

    // --- the save dialog ---

    void TheSaveDialogStartsAtHomeWhenTheDownloadFolderIsMissing() {
        manager_->SetDownloadFolder(Path("no such folder"));
        answer_ = [this](const QString& proposed) { return Path(QFileInfo(proposed).fileName()); };
        server_.Route("/game.jar", File("jar", "application/java-archive"));
        pane_->Navigate(server_.Url("/game.jar"));
        QTRY_VERIFY_WITH_TIMEOUT(DoneCount() == 1, Timeout);
        QCOMPARE(QFileInfo(proposals_.value(0)).absolutePath(), QDir::homePath());
        QVERIFY(!QFileInfo::exists(Path("no such folder")));
    }

    void TheSaveDialogShowsItsColumnsWholeAndInChinese() {
        QFile big(Path("big.jar"));
        QVERIFY(big.open(QIODevice::WriteOnly));
        big.write(Binary(3000));
        big.close();
        QFile small(Path("small.jar"));
        QVERIFY(small.open(QIODevice::WriteOnly));
        small.write("0123456789");
        small.close();

        std::unique_ptr<QFileDialog> dialog(tessaly::CreateSaveDialog(nullptr, Path("new.jar")));
        dialog->show();
        auto* files = qobject_cast<QFileSystemModel*>(dialog->proxyModel()->sourceModel());
        QVERIFY(files);
        const auto shown = [&](const QString& name, int column) {
            const QModelIndex source = files->index(Path(name), column);
            return dialog->proxyModel()->mapFromSource(source).data().toString();
        };
        QTRY_COMPARE_WITH_TIMEOUT(shown("big.jar", 1), QStringLiteral("2.9 KB"), Timeout);
        QCOMPARE(shown("small.jar", 1), QStringLiteral("10 字节"));
        static const QRegularExpression Date(
            QStringLiteral("^\\d{4}/\\d{1,2}/\\d{1,2} \\d{2}:\\d{2}$"));
        QVERIFY2(Date.match(shown("big.jar", 3)).hasMatch(), qPrintable(shown("big.jar", 3)));

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

    void ADownloadCanBeCancelledWhileTheSaveDialogIsOpen() {
        QWidget owner;
        owner.resize(300, 200);
        owner.show();
        manager_->SetWindowOwner(&owner);
        server_.Route("/long.zip", Trickled(Binary(8 * 1024 * 1024), "application/zip"));
        server_.Route("/next.jar", File("jar", "application/java-archive"));
        pane_->Navigate(server_.Url("/long.zip"));
        QTRY_VERIFY_WITH_TIMEOUT(
            manager_->Items().size() == 1 && manager_->Items().value(0)->ReceivedBytes() > 0,
            Timeout);
        DownloadItem* running = manager_->Items().value(0);
        QPushButton* cancel = Button(DownloadsWindow()->RowFor(running), "cancel");

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
        pane_->Navigate(server_.Url("/next.jar"));
        QTRY_VERIFY_WITH_TIMEOUT(dialogSeen, Timeout);
        QTRY_COMPARE_WITH_TIMEOUT(running->GetState(), DownloadItem::State::Cancelled, Timeout);
        manager_->SetWindowOwner(nullptr);
    }

private:
    // The manager's window, as the program makes it.
    tessaly::DownloadsWindow* DownloadsWindow() const {
        return qobject_cast<tessaly::DownloadsWindow*>(manager_->DownloadsWindow());
    }
    QString Dir() const { return folder_->path(); }
    QString Path(const QString& name) const { return QDir(Dir()).absoluteFilePath(name); }
    QStringList Entries() const {
        return QDir(Dir()).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    }
    // The row of item, once checked to show it failed with a reason that
    // contains reasonPart; null when it does not.
    QWidget* FailedRow(const DownloadItem* item, const QString& reasonPart) const {
        QWidget* row = DownloadsWindow()->RowFor(item);
        const bool shown = item->GetState() == DownloadItem::State::Failed &&
                           Label(row, "state") == QStringLiteral("失败") &&
                           Label(row, "detail").contains(reasonPart);
        if (!shown) {
            qWarning("row: %s / %s", qPrintable(Label(row, "state")),
                     qPrintable(Label(row, "detail")));
        }
        return shown ? row : nullptr;
    }
    // Whether the engine has finished with every transfer it was given.
    bool EngineIdle() const {
        for (const auto* request : profile_->findChildren<QWebEngineDownloadRequest*>()) {
            if (!request->isFinished()) {
                return false;
            }
        }
        return true;
    }
    // Downloads the engine has offered so far.
    int RequestCount() const {
        return int(profile_->findChildren<QWebEngineDownloadRequest*>().size());
    }
    int DoneCount() const {
        int n = 0;
        for (const DownloadItem* item : manager_->Items()) {
            n += item->IsActive() ? 0 : 1;
        }
        return n;
    }
    static QString Label(QWidget* row, const char* name) {
        auto* found = row ? row->findChild<QLabel*>(QLatin1String(name)) : nullptr;
        return found ? found->text() : QStringLiteral("<no label>");
    }
    static QPushButton* Button(QWidget* row, const char* name) {
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
